#include "tools/render/SongInfo.h"

#include "song/Graph.h"
#include "song/Sequencer.h"

#include <QJsonArray>

namespace render {

namespace {

const char* const kEntryTypeNames[] = { "pattern", "break", "mute" };

QJsonValue idOf(const zarn::NodePointer& node)
{
    return node ? QJsonValue(node->uniqueID) : QJsonValue();
}

QJsonObject patternInfo(const Pattern& pattern)
{
    return { { "name", pattern.name }, { "uniqueID", pattern.uniqueID },
        { "length", pattern.length } };
}

QJsonObject nodeInfo(const zarn::Node& node)
{
    QJsonArray patterns;
    for (const PatternPointer& pattern : node.patterns)
        if (pattern)
            patterns.append(patternInfo(*pattern));
    return { { "name", node.name }, { "uniqueID", node.uniqueID }, { "type", node.typeName() },
        { "position", QJsonObject { { "x", node.position.x() }, { "y", node.position.y() } } },
        { "patterns", patterns } };
}

QString entryTypeName(qint32 type)
{
    const bool known = type >= 0 && type < qint32(std::size(kEntryTypeNames));
    return known ? QString::fromLatin1(kEntryTypeNames[type]) : QString::number(type);
}

QJsonObject trackInfo(const Track& track, qint32 ticksPerStep)
{
    QJsonArray entries;
    for (qsizetype tick = 0; tick < track.entries.size(); ++tick) {
        const EntryPointer& entry = track.entries.at(tick);
        if (!entry)
            continue;
        entries.append(QJsonObject { { "tick", qint64(tick) },
            { "step", qint64(tick / ticksPerStep) }, { "type", entryTypeName(entry->type) },
            { "pattern", entry->pattern ? QJsonValue(entry->pattern->uniqueID) : QJsonValue() } });
    }
    return { { "uniqueID", track.uniqueID }, { "node", idOf(track.node) }, { "entries", entries } };
}

QJsonObject positionInfo(const Position& position)
{
    return { { "samplesPerTick", position.samplesPerTickValue },
        { "ticksPerStep", position.ticksPerStepValue }, { "scrollStep", position.scrollStep },
        { "cursor", position.cursor.sample }, { "playPos", position.playPos.sample },
        { "sequenceBegin", position.sequenceBegin.sample },
        { "sequenceEnd", position.sequenceEnd.sample } };
}

} // namespace

QJsonObject songInfo(const Song& song)
{
    QJsonArray nodes, connections, tracks;
    if (song.graph) {
        for (const zarn::NodePointer& node : std::as_const(song.graph->nodes))
            if (node)
                nodes.append(nodeInfo(*node));
        for (const ConnectionPointer& c : std::as_const(song.graph->connections))
            if (c)
                connections.append(
                    QJsonObject { { "from", idOf(c->from) }, { "to", idOf(c->to) } });
    }
    QJsonObject info { { "nodes", nodes }, { "connections", connections } };
    if (song.sequencer) {
        const Position& position = song.sequencer->position;
        for (const TrackPointer& track : std::as_const(song.sequencer->tracks))
            if (track)
                tracks.append(trackInfo(*track, std::max(position.ticksPerStep(), 1)));
        info.insert("position", positionInfo(position));
    }
    info.insert("tracks", tracks);
    return info;
}

} // namespace render
