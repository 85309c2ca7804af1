#pragma once

#include "engine/ProcessorContext.h"

class Position;
class Song;

namespace zarn {

// The context of one loaded song, read through the song's position. Without a
// position the grid reads 64 samples per tick and 64 ticks per step, and time stands at 0.
class Context : public ProcessorContext {
public:
    static constexpr qint32 kFallbackGranularity = 64;

    Context() = default;
    Context(Song* song, Position* position)
        : song(song)
        , position(position)
    {
    }

    qint32 ticksPerStep() const override;
    qint32 samplesPerTick() const override;
    bool isPlaying() const override;
    bool isLooping() const override;
    bool isRecording() const override;
    qint32 currentStep() const override;
    qint32 currentTick() const override;
    qint32 currentSample() const override;
    qint32 sequenceStep() const override;
    qint64 firstCounter() const override { return counters[0]; }
    qint64 secondCounter() const override { return counters[1]; }

    Song* song = nullptr; // not owned
    Position* position = nullptr; // not owned; the song's grid and play position
    qint64 counters[2] = { 0, 0 }; // kept for the owner; the engine never changes them
    quint64 blockFrames = 0; // the player's block size, written before every block

private:
    // The step of a sample on this context's grid.
    qint32 stepOf(qint32 sample) const;
};

} // namespace zarn
