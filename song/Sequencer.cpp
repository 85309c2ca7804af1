#include "song/Sequencer.h"

#include "core/DataStream.h"
#include "song/Graph.h"
#include "song/Logging.h"
#include "song/Song.h"

#include <QDebug>
#include <QSet>

#include <algorithm>

namespace {

// A uniqueID string and the entry count.
constexpr qint64 kMinTrackBytes = 4 + 8;

// A step in samples, with the wrap-around of 32-bit arithmetic rather than undefined
// overflow, so any grid a file carries stays harmless.
qint32 stepsToSamples(const Position& position, qint32 steps)
{
    return qint32(
        quint32(steps) * quint32(position.ticksPerStep()) * quint32(position.samplesPerTick()));
}

bool drivesTrack(const zarn::Node& node)
{
    return node.processor && node.processor->character().intrinsicTrack;
}

// The node that owns the first pattern the track starts.
zarn::NodePointer ownerOfFirstPattern(const Track& track)
{
    for (const EntryPointer& entry : track.entries)
        if (entry && entry->pattern)
            if (const auto owner = entry->pattern->node.toStrongRef())
                return owner;
    return {};
}

// Patterns by uniqueID in graph order; the first node holding an id wins.
Track::PatternLookup patternsOf(const Graph& graph)
{
    Track::PatternLookup lookup;
    for (const auto& node : graph.nodes)
        for (const PatternPointer& pattern : node->patterns)
            if (!pattern->uniqueID.isEmpty() && !lookup.contains(pattern->uniqueID))
                lookup.insert(pattern->uniqueID, pattern);
    return lookup;
}

} // namespace

Sequencer::Sequencer(const QSharedPointer<Song>& song)
    : song(song)
{
}

void Sequencer::taint(const char* reason) const
{
    taintSong(song, reason);
}

TrackPointer Sequencer::addTrack(const zarn::NodePointer& node)
{
    auto track = TrackPointer::create(node);
    tracks.append(track);
    taint("addTrack");
    return track;
}

bool Sequencer::moveTrack(int index, int delta)
{
    const qint64 target = qint64(index) + delta;
    if (index < 0 || index >= tracks.size() || target < 0 || target >= tracks.size())
        return false;
    tracks.swapItemsAt(index, qsizetype(target));
    taint("moveTrack");
    return true;
}

bool Sequencer::removeTrack(int index)
{
    if (index < 0 || index >= tracks.size())
        return false;
    tracks.removeAt(index);
    taint("removeTrack");
    return true;
}

bool Sequencer::moveCursorAbsolute(int column, int step)
{
    Position& p = position;
    const qint32 oldStep = p.cursor.step();
    const qint32 oldColumn = p.cursorColumn;

    step = std::max(step, 0);
    if (step < p.scrollStep)
        p.scrollStep = step;
    if (qint64(step) >= qint64(p.scrollStep) + p.scrollHeight - 2)
        p.scrollStep = qint32(qint64(step) - p.scrollHeight + 2);
    p.cursor.sample = stepsToSamples(p, step);
    // The upper bound comes last, so a sequencer without tracks has column -1.
    p.cursorColumn = qint32(std::min<qint64>(std::max(column, 0), tracks.size() - 1));

    // The cursor is view state: moving it changes nothing a save would write differently.
    return p.cursor.step() != oldStep || p.cursorColumn != oldColumn;
}

bool Sequencer::placePlayPosition(int tick)
{
    Position& p = position;
    const qint32 oldTick = p.playPos.tick();
    p.playPos.sample = qint32(qint64(std::max(tick, 0)) * p.samplesPerTick());
    if (p.playPos < p.sequenceBegin)
        p.playPos = p.sequenceBegin;
    // An end of 0 means the sequence has no end.
    if (p.sequenceEnd.sample > 0 && p.playPos > p.sequenceEnd)
        p.playPos = p.sequenceEnd;
    return p.playPos.tick() != oldTick;
}

// The play position is where listening stands, not part of the music: moving it leaves
// the song unchanged.
bool Sequencer::movePlayPositionAbsolute(int tick)
{
    return placePlayPosition(tick);
}

bool Sequencer::setPlayPositionAtCursor()
{
    return placePlayPosition(position.cursor.tick());
}

bool Sequencer::setSequenceBegin()
{
    Position& p = position;
    const Point old = p.sequenceBegin;
    p.sequenceBegin = p.cursor;
    if (p.sequenceBegin >= p.sequenceEnd) {
        p.sequenceEnd = p.sequenceBegin;
        moveSteps(p.sequenceEnd, 1);
    }
    if (p.sequenceBegin >= p.loopBegin)
        p.loopBegin = p.sequenceBegin;

    const bool moved = p.sequenceBegin != old;
    if (moved)
        taint("setSequenceBegin");
    return moved;
}

bool Sequencer::setSequenceEnd()
{
    Position& p = position;
    const Point old = p.sequenceEnd;
    const Point oldBegin = p.sequenceBegin;
    p.sequenceEnd = p.cursor;
    if (p.sequenceBegin == p.sequenceEnd) {
        p.sequenceBegin.sample = 0;
    } else if (p.sequenceEnd < p.sequenceBegin) {
        p.sequenceBegin = p.sequenceEnd;
        moveSteps(p.sequenceBegin, -1);
    }
    if (p.sequenceEnd != old || p.sequenceBegin != oldBegin)
        taint("setSequenceEnd");
    bool moved = p.sequenceEnd != old;
    if (p.sequenceEnd < p.loopBegin) {
        p.loopBegin = p.sequenceEnd;
        moveSteps(p.loopBegin, -1);
        moved = true;
    }
    return moved;
}

bool Sequencer::setLoopBegin()
{
    Position& p = position;
    const Point old = p.loopBegin;
    const Point oldBegin = p.sequenceBegin;
    const Point oldEnd = p.sequenceEnd;
    p.loopBegin = p.cursor;
    if (p.loopBegin < p.sequenceBegin) {
        p.sequenceBegin = p.loopBegin;
    } else if (p.loopBegin >= p.sequenceEnd) {
        p.sequenceEnd = p.loopBegin;
        moveSteps(p.sequenceEnd, 1);
    }

    // The loop begin itself is not saved; the markers it pushes along are.
    if (p.sequenceBegin != oldBegin || p.sequenceEnd != oldEnd)
        taint("setLoopBegin");
    return p.loopBegin != old;
}

void Sequencer::moveSteps(Point& point, int steps) const
{
    point.sample = qint32(qint64(point.sample) + stepsToSamples(position, steps));
}

void Sequencer::write(QDataStream& stream) const
{
    qCDebug(lcSong).noquote().nospace() << "Stream OUT Sequencer: size=" << tracks.size();
    position.write(stream);
    stream << qint64(tracks.size());
    for (const TrackPointer& track : tracks)
        track->write(stream);
}

void Sequencer::read(QDataStream& stream, const Graph& graph)
{
    position.read(stream);
    qint64 count = 0;
    stream >> count;
    qCDebug(lcSong).noquote().nospace() << "Stream IN Sequencer: size=" << count;
    tracks.clear();
    if (!datastream::plausibleCount(stream, count, kMinTrackBytes))
        return;
    const Track::PatternLookup patterns = patternsOf(graph);
    for (qint64 i = 0; i < count && datastream::healthy(stream); ++i) {
        auto track = TrackPointer::create();
        track->read(stream, patterns);
        tracks.append(track);
    }
    bindTrackNodes(graph);
}

// A track drives the node owning its first pattern; a track without patterns takes the
// first node of a track-driven type that no track drives yet, in graph order.
void Sequencer::bindTrackNodes(const Graph& graph)
{
    QSet<const zarn::Node*> driven;
    for (const TrackPointer& track : tracks) {
        track->node = ownerOfFirstPattern(*track);
        if (track->node)
            driven.insert(track->node.data());
    }
    for (const TrackPointer& track : tracks) {
        if (track->node)
            continue;
        const auto free = std::find_if(
            graph.nodes.cbegin(), graph.nodes.cend(), [&driven](const zarn::NodePointer& n) {
                return drivesTrack(*n) && !driven.contains(n.data());
            });
        if (free == graph.nodes.cend())
            continue;
        track->node = *free;
        driven.insert(free->data());
    }
}
