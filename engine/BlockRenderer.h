#pragma once

#include "engine/AudioEngine.h"
#include "engine/Buffer.h"
#include "engine/Context.h"
#include "engine/SongPlanBuilder.h"
#include "song/Song.h"

#include <QtGlobal>

class Graph;
class Sequencer;

// The steps of one block shared by the real-time player and the offline renderer, after
// any rebuild: deliver the current rows, execute the engine's plan into `mix`, advance the
// position. Returns the tick boundaries crossed. Allocation-free once the plan's storage
// has grown to the block.
qint32 renderSongBlock(
    Sequencer& sequencer, Graph& graph, AudioEngine& engine, zarn::Context& context, Buffer& mix);

// A start from the sequence begin, shared by the player and the offline renderer: the play
// position goes to the begin and every node gets a fresh processor that reads the song's
// saved state, so nothing an earlier play left behind (a lane's fade, a reverb tail, a
// ringing voice) is heard and the song sounds the same every time it starts. The runtime's
// random sequence starts over too, for the processors that draw from it. Allocates: call it
// between blocks, never from the render path. The graph is marked for a rebuild.
void startSongFromBeginning(Sequencer& sequencer, Graph& graph);

// Renders a song block by block exactly as the real-time player does: rebuild the plan
// when the graph's topology changed, deliver the current rows, execute the plan into
// the mono mix block, advance the play position. No I/O and no timing of its own, so
// the player and the offline renderer share it.
class BlockRenderer {
public:
    static constexpr quint64 kDefaultBlockFrames = 1024;
    static constexpr quint64 kMinBlockFrames = 64;
    static constexpr quint64 kMaxBlockFrames = 8192;

    explicit BlockRenderer(const SongPointer& song, quint64 blockFrames = kDefaultBlockFrames);
    BlockRenderer(const BlockRenderer&) = delete;
    BlockRenderer& operator=(const BlockRenderer&) = delete;

    // Renders one block into block(); returns the tick boundaries the position crossed.
    // Allocation-free unless the graph changed or the plan lays out its storage.
    qint32 render();

    // Puts the play position on the sequence begin with fresh processors; not for the
    // render path.
    void startFromSequenceBegin();

    // Reconfiguration, not for the render path: the mix block is reallocated.
    void setBlockFrames(quint64 frames);
    quint64 blockFrames() const { return m_mix.size(); }

    const Buffer& block() const { return m_mix; }
    const SongPointer& song() const { return m_song; }
    zarn::Context& context() { return m_context; }
    AudioEngine& engine() { return m_engine; }
    const AudioEngine& engine() const { return m_engine; }
    // The build log of the last plan built.
    const QStringList& buildLog() const { return m_builder.log(); }

    static quint64 clampBlockFrames(qint64 frames);

private:
    void rebuildIfChanged();

    SongPointer m_song;
    AudioEngine m_engine;
    zarn::Context m_context;
    Buffer m_mix;
    SongPlanBuilder m_builder;
};
