#include "tools/render/SongRender.h"

#include "core/EngineRate.h"
#include "song/Graph.h"
#include "song/Position.h"
#include "song/Sequencer.h"
#include "tools/render/RenderOptions.h"

#include <algorithm>
#include <cmath>

namespace render {

quint64 framesOf(double seconds)
{
    return quint64(std::llround(seconds * kEngineRate));
}

namespace {

// Starts the transport at the sequence begin, as pressing play there does.
SongPointer startAtBegin(const SongPointer& song)
{
    if (song && song->sequencer && song->graph) {
        startSongFromBeginning(*song->sequencer, *song->graph);
        song->sequencer->position.playing = true;
    }
    return song;
}

} // namespace

Length renderLength(const Position& position, double seconds, bool limited)
{
    const qint64 sequence = qint64(position.sequenceEnd.sample) - position.sequenceBegin.sample;
    if (position.sequenceEnd.sample <= 0 || sequence <= 0 || position.looping)
        return { framesOf(seconds), false };
    const quint64 limit = framesOf(limited ? seconds : Options::kMaxSeconds);
    return { std::min(quint64(sequence), limit), true };
}

SongRender::SongRender(const SongPointer& song, quint64 blockFrames, const Length& length)
    : m_renderer(startAtBegin(song), blockFrames)
    , m_length(length)
{
}

qsizetype SongRender::next()
{
    if (done())
        return 0;
    m_renderer.render();
    const quint64 frames = std::min(m_renderer.blockFrames(), m_length.frames - m_rendered);
    m_rendered += frames;
    return qsizetype(frames);
}

} // namespace render
