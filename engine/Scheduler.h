#pragma once

#include <QtGlobal>

class Graph;
class Pattern;
class Position;
class Sequencer;

namespace zarn {
class Node;
}

// How song time moves and how tracker rows reach processors, once per block. No state
// of its own: the schedule follows from the position and the song data at the start
// of each block, and processors ignore a row serial they have already applied.
// Allocation-free, lock-free and silent, as befits the render path.
namespace scheduler {

// The tick of a sample on the position's grid; a grid below one tick counts as one sample.
qint32 tickOf(const Position& position, qint64 sample);

// The row a node plays at a tick: `index` into `pattern`, or no pattern when the node plays
// nothing there (before its first entry, on a break or mute, past the pattern's end).
struct PlayingRow {
    const Pattern* pattern = nullptr;
    qint64 index = -1;
};
PlayingRow playingRow(const Sequencer& sequencer, const zarn::Node& node, qint32 tick);

// Hands every node the row current at the play position's tick, with the tick as the
// row serial: tracked nodes from their track's entry, the others looping their first
// pattern from tick 0. Runs whether or not the transport plays.
void deliverRows(const Sequencer& sequencer, const Graph& graph);

// Moves a playing position on by `frames` samples and folds it at the sequence end.
// Returns the number of tick boundaries crossed (0 while stopped).
qint32 advance(Position& position, quint64 frames);

} // namespace scheduler
