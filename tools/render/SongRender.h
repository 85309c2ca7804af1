#pragma once

#include "engine/BlockRenderer.h"
#include "song/Song.h"

class Position;

namespace render {

// How much of a song a render covers.
struct Length {
    quint64 frames = 0;
    bool toSequenceEnd = false; // the song stops by itself at its sequence end
};

// Engine frames in `seconds`, rounded.
quint64 framesOf(double seconds);

// To the sequence end when the song has one after its begin and does not loop (never
// past `limitSeconds` when `limited`), otherwise `seconds`.
Length renderLength(const Position& position, double seconds, bool limited);

// Plays a song from its sequence begin, block by block through the player's own
// renderer, and hands out the frames that belong to the render.
class SongRender {
public:
    SongRender(const SongPointer& song, quint64 blockFrames, const Length& length);

    // Renders the next block; returns how many of its frames belong to the render
    // (the last block may be cut), 0 once the render is complete.
    qsizetype next();
    const double* data() const { return m_renderer.block().data(); }
    // The plan of the last block: its output buffers hold that block per Output node.
    PlanPointer plan() const { return m_renderer.engine().plan(); }

    quint64 renderedFrames() const { return m_rendered; }
    quint64 totalFrames() const { return m_length.frames; }
    bool done() const { return m_rendered >= m_length.frames; }

private:
    BlockRenderer m_renderer;
    Length m_length;
    quint64 m_rendered = 0;
};

} // namespace render
