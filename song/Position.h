#pragma once

#include "core/EngineRate.h"

#include <QDataStream>
#include <QDebug>

// Supplies the two numbers that turn a sample count into ticks and steps.
class GranularityProvider {
public:
    virtual ~GranularityProvider() = default;
    virtual qint32 ticksPerStep() const = 0;
    virtual qint32 samplesPerTick() const = 0;
};

// A sample position read through the grid of the provider that owns it; without a
// provider both numbers read as 64.
struct Point {
    qint32 sample = 0;
    const GranularityProvider* provider = nullptr;

    static constexpr qint32 kFallbackGranularity = 64;

    qint32 samplesPerTick() const;
    qint32 ticksPerStep() const;
    qint32 tick() const; // absolute tick
    qint32 sampleInTick() const;
    qint32 tickInStep() const;
    qint32 step() const;

    friend bool operator==(const Point& a, const Point& b) { return a.sample == b.sample; }
    friend auto operator<=>(const Point& a, const Point& b) { return a.sample <=> b.sample; }
};

QDebug operator<<(QDebug debug, const Point& point);

// The song's tempo grid, the sequencer view state and its six sample positions.
class Position : public GranularityProvider {
public:
    Position();
    // A copy keeps the source's provider pointers in its points.
    Position(const Position& other) = default;
    Position& operator=(const Position& other) = default;

    qint32 ticksPerStep() const override { return ticksPerStepValue; }
    qint32 samplesPerTick() const override { return samplesPerTickValue; }

    void updateNumbers();
    // Chooses the beats per minute and ticks per beat from which updateNumbers gives the
    // stored samples per tick back exactly, preferring the current ticks per beat and a
    // plain tempo. False, with nothing changed, when no whole numbers do.
    bool matchTempoToSamplesPerTick();
    void wrapPlayPosition();

    void write(QDataStream& stream) const;
    void read(QDataStream& stream);

    bool debug = false;
    bool playing = false;
    bool looping = false;
    bool recording = false;
    qint32 ticksPerStepValue = 16;
    qint32 samplesPerTickValue = 64; // the formula's value arrives with the first updateNumbers
    qint32 ticksPerBeat = 4;
    qint32 beatsPerMinute = 120;
    qint32 samplesPerSecond = kEngineRate;
    qint32 cursorColumn = 0;
    qint32 scrollStep = 0;
    qint32 scrollHeight = 0;
    Point cursor;
    Point playPos;
    Point shownPlayPos;
    Point sequenceBegin;
    Point sequenceEnd;
    Point loopBegin;
};

QDebug operator<<(QDebug debug, const Position& position);
