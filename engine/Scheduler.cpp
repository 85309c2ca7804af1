#include "engine/Scheduler.h"

#include "song/Graph.h"
#include "song/Sequencer.h"

#include <algorithm>
#include <limits>

namespace {

// Row slot `index` of the pattern; null past its length, past its slots or in an empty slot.
const Row* rowOf(const Pattern& pattern, qint64 index)
{
    if (index < 0 || index >= pattern.length || index >= pattern.rows.size())
        return nullptr;
    return pattern.rows.at(index).data();
}

const Row* rowOf(const scheduler::PlayingRow& playing)
{
    return playing.pattern ? rowOf(*playing.pattern, playing.index) : nullptr;
}

// Keeps what the parameter view shows in step with the rows: every entered node value
// replaces the cached one. A cache the processor never filled stays empty. Unchanged
// values are not written, so a steady row never detaches a list the view shares.
void updateValueCache(AudioNode& audio, const Row& row)
{
    const qsizetype count
        = std::min({ audio.nodeValues.size(), audio.nodeEmpties.size(), row.cells.size() });
    for (qsizetype i = 0; i < count; ++i) {
        const quint32 value = row.cells.at(i);
        if (value != audio.nodeEmpties.at(i) && value != audio.nodeValues.at(i))
            audio.nodeValues[i] = value;
    }
}

void apply(const zarn::Node& node, const Row* row, qint32 tick)
{
    if (!row || !node.processor)
        return;
    Processor& processor = *node.processor;
    processor.applyRow(row->cells.constData(), int(row->cells.size()), quint32(tick));
    updateValueCache(processor, *row);
}

// The slot of the entry in force at `tick`: the nearest filled slot at or before it.
qint64 entryStart(const Track& track, qint32 tick)
{
    if (tick < 0)
        return -1;
    for (qint64 slot = std::min<qint64>(tick, track.entries.size() - 1); slot >= 0; --slot)
        if (track.entries.at(slot))
            return slot;
    return -1;
}

// A break or mute entry has no pattern, so its node keeps its last values.
scheduler::PlayingRow trackRow(const Track& track, qint32 tick)
{
    const qint64 start = entryStart(track, tick);
    if (start < 0)
        return {};
    const PatternPointer& pattern = track.entries.at(start)->pattern;
    if (!pattern || tick - start >= pattern->length)
        return {};
    return { pattern.data(), tick - start };
}

// A node without a track loops its first pattern, aligned to tick 0.
scheduler::PlayingRow loopedRow(const zarn::Node& node, qint32 tick)
{
    if (tick < 0 || node.patterns.isEmpty() || !node.patterns.first())
        return {};
    const Pattern& pattern = *node.patterns.first();
    if (pattern.length <= 0)
        return {};
    return { &pattern, tick % pattern.length };
}

bool hasTrack(const Sequencer& sequencer, const zarn::NodePointer& node)
{
    return std::any_of(sequencer.tracks.cbegin(), sequencer.tracks.cend(),
        [&node](const TrackPointer& track) { return track && track->node == node; });
}

} // namespace

namespace scheduler {

qint32 tickOf(const Position& position, qint64 sample)
{
    const qint64 samplesPerTick = std::max(position.samplesPerTick(), 1);
    return qint32(sample / samplesPerTick);
}

PlayingRow playingRow(const Sequencer& sequencer, const zarn::Node& node, qint32 tick)
{
    for (const TrackPointer& track : sequencer.tracks)
        if (track && track->node.data() == &node)
            return trackRow(*track, tick);
    return loopedRow(node, tick);
}

void deliverRows(const Sequencer& sequencer, const Graph& graph)
{
    const qint32 tick = tickOf(sequencer.position, sequencer.position.playPos.sample);
    for (const TrackPointer& track : sequencer.tracks)
        if (track && track->node)
            apply(*track->node, rowOf(trackRow(*track, tick)), tick);
    for (const zarn::NodePointer& node : graph.nodes)
        if (node && !hasTrack(sequencer, node))
            apply(*node, rowOf(loopedRow(*node, tick)), tick);
}

qint32 advance(Position& position, quint64 frames)
{
    if (!position.playing)
        return 0;
    constexpr qint64 kLast = std::numeric_limits<qint32>::max();
    const qint64 start = position.playPos.sample;
    // Samples are 32-bit: a position that would pass the last one stays there.
    const qint64 end = std::min(start + qint64(std::min<quint64>(frames, kLast)), kLast);
    position.playPos.sample = qint32(end);
    // Ticks never go back as samples grow, and move by at most one per sample, so the
    // boundaries crossed sample by sample are the difference of the two ticks.
    const qint32 crossed = tickOf(position, end) - tickOf(position, start);
    position.wrapPlayPosition();
    return crossed;
}

} // namespace scheduler
