#include "engine/BlockRenderer.h"

#include "core/EngineRate.h"
#include "engine/Scheduler.h"
#include "song/Graph.h"
#include "song/Sequencer.h"

#include <algorithm>
#include <cstdlib>

namespace {

quint64 clampedFrames(quint64 frames)
{
    return BlockRenderer::clampBlockFrames(
        qint64(std::min(frames, BlockRenderer::kMaxBlockFrames)));
}

} // namespace

BlockRenderer::BlockRenderer(const SongPointer& song, quint64 blockFrames)
    : m_song(song)
    , m_context(song.data(), song && song->sequencer ? &song->sequencer->position : nullptr)
    , m_mix(clampedFrames(blockFrames))
{
    // A song handed over is built at once, whatever its graph's flag says.
    if (m_song && m_song->graph)
        m_song->graph->changed = true;
}

quint64 BlockRenderer::clampBlockFrames(qint64 frames)
{
    return quint64(std::clamp<qint64>(frames, kMinBlockFrames, kMaxBlockFrames));
}

void BlockRenderer::setBlockFrames(quint64 frames)
{
    const quint64 clamped = clampedFrames(frames);
    if (clamped != m_mix.size())
        m_mix.resize(clamped);
}

void BlockRenderer::rebuildIfChanged()
{
    Graph& graph = *m_song->graph;
    if (!graph.changed)
        return;
    m_engine.setPlan(m_builder.build(graph));
    graph.changed = false;
    for (const auto& node : std::as_const(graph.nodes))
        if (node && node->processor)
            node->processor->setSampleRate(kEngineRate);
}

void startSongFromBeginning(Sequencer& sequencer, Graph& graph)
{
    // The state rand() has before anyone seeds it.
    std::srand(1);
    Position& position = sequencer.position;
    position.playPos.sample = position.sequenceBegin.sample;
    for (const auto& node : std::as_const(graph.nodes))
        if (node)
            node->renewProcessor();
    graph.changed = true;
}

qint32 renderSongBlock(
    Sequencer& sequencer, Graph& graph, AudioEngine& engine, zarn::Context& context, Buffer& mix)
{
    context.blockFrames = mix.size();
    scheduler::deliverRows(sequencer, graph);
    execute(engine, context, mix);
    return scheduler::advance(sequencer.position, mix.size());
}

void BlockRenderer::startFromSequenceBegin()
{
    if (m_song && m_song->graph && m_song->sequencer)
        startSongFromBeginning(*m_song->sequencer, *m_song->graph);
}

qint32 BlockRenderer::render()
{
    std::fill_n(m_mix.data(), m_mix.size(), 0.0);
    if (!m_song || !m_song->graph || !m_song->sequencer)
        return 0;
    rebuildIfChanged();
    return renderSongBlock(*m_song->sequencer, *m_song->graph, m_engine, m_context, m_mix);
}
