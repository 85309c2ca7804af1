#include "SongSketch.h"

#include "engine/SongPlanBuilder.h"
#include "processors/ProcessorFactory.h"
#include "song/Graph.h"
#include "song/Sequencer.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {

const QString kOutputType = QStringLiteral("Output");
const QString kSettingsPattern = QStringLiteral("Settings");
constexpr quint32 kHitNote = 60;
constexpr double kColumnWidth = 200.0;
constexpr double kRowHeight = 110.0;
constexpr double kMargin = 80.0;

} // namespace

SongSketch::SongSketch(int beatsPerMinute, int ticksPerBeat, int ticksPerStep)
    : m_song(Song::createNewSong(Pattern::kDefaultLength))
    , m_ticksPerStep(ticksPerStep)
{
    Position& position = m_song->sequencer->position;
    position.beatsPerMinute = beatsPerMinute;
    position.ticksPerBeat = ticksPerBeat;
    position.ticksPerStepValue = ticksPerStep;
    position.updateNumbers();
    for (const auto& node : std::as_const(m_song->graph->nodes))
        if (node->typeName() == kOutputType)
            m_output = node;
    if (!m_output)
        problem(QStringLiteral("a new song has no Output node"));
}

zarn::NodePointer SongSketch::node(const QString& type, const QString& name)
{
    const auto node = zarn::Node::create(type, m_song);
    if (!node->processor)
        problem(QStringLiteral("processor type '%1' is not registered").arg(type));
    for (const auto& other : std::as_const(m_song->graph->nodes))
        if (other->name == name)
            problem(QStringLiteral("two nodes are called '%1'").arg(name));
    node->setName(name);
    m_song->graph->addNode(node);
    return node;
}

void SongSketch::chain(const QList<zarn::NodePointer>& nodes)
{
    zarn::NodePointer previous;
    for (const auto& node : nodes) {
        if (!node)
            continue;
        if (previous) {
            const auto result = m_song->graph->connect(previous, node);
            if (!result.ok)
                problem(
                    QStringLiteral("%1 > %2: %3").arg(previous->name, node->name, result.message));
        }
        previous = node;
    }
}

PatternPointer SongSketch::pattern(const zarn::NodePointer& node, const QString& name, int length)
{
    const auto pattern = PatternPointer::create(name, node, length);
    node->addPattern(pattern);
    return pattern;
}

void SongSketch::settings(const zarn::NodePointer& node, const Cells& cells)
{
    const auto fixed = pattern(node, kSettingsPattern, 1);
    node->patterns.move(node->patterns.size() - 1, 0);
    set(fixed, 0, cells);
}

RowPointer SongSketch::rowFor(const PatternPointer& pattern, int row)
{
    if (RowPointer existing = pattern->rowAt(row))
        return existing;
    RowPointer fresh = pattern->makeNeutralRow();
    if (!fresh)
        fresh = RowPointer::create();
    pattern->setRow(row, fresh);
    return fresh;
}

void SongSketch::set(const PatternPointer& pattern, int row, const Cells& cells)
{
    if (row < 0 || row >= pattern->length) {
        problem(QStringLiteral("row %1 lies outside pattern '%2'").arg(row).arg(pattern->name));
        return;
    }
    const RowPointer target = rowFor(pattern, row);
    for (const auto& [lane, value] : cells) {
        if (lane < 0 || lane >= target->cells.size())
            problem(QStringLiteral("pattern '%1' has no lane %2").arg(pattern->name).arg(lane));
        else
            target->cells[lane] = value;
    }
}

int SongSketch::midiNote(const QString& token)
{
    static const QRegularExpression form(QStringLiteral("^([A-G])([-#])([0-9])$"));
    static const QHash<QChar, int> semitones
        = { { 'C', 0 }, { 'D', 2 }, { 'E', 4 }, { 'F', 5 }, { 'G', 7 }, { 'A', 9 }, { 'B', 11 } };
    const auto match = form.match(token);
    if (!match.hasMatch())
        return -1;
    const int sharp = match.captured(2) == QLatin1String("#") ? 1 : 0;
    // "C-5" is MIDI note 60, as the pattern editor shows it.
    return 12 * match.captured(3).toInt() + semitones.value(match.captured(1).at(0)) + sharp;
}

void SongSketch::notes(const PatternPointer& pattern, int lane, const QString& text)
{
    const QStringList tokens
        = text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    for (int row = 0; row < tokens.size(); ++row) {
        const QString& token = tokens.at(row);
        if (token == QLatin1String("."))
            continue;
        const int note = token == QLatin1String("off") ? int(kNoteOff) : midiNote(token);
        if (note < 0)
            problem(QStringLiteral("'%1' in pattern '%2' is not a note").arg(token, pattern->name));
        else
            set(pattern, row, { { lane, quint32(note) } });
    }
}

void SongSketch::hits(const PatternPointer& pattern, int noteLane, const QString& text,
    int velocityLane, quint32 soft, quint32 loud)
{
    for (int row = 0; row < text.size(); ++row) {
        const QChar mark = text.at(row);
        if (mark == QLatin1Char('-')) {
            set(pattern, row, { { noteLane, kNoteOff } });
        } else if (mark == QLatin1Char('x') || mark == QLatin1Char('X')) {
            Cells cells { { noteLane, kHitNote } };
            if (velocityLane >= 0)
                cells.append({ velocityLane, mark == QLatin1Char('X') ? loud : soft });
            set(pattern, row, cells);
        }
    }
}

void SongSketch::ramp(
    const PatternPointer& pattern, int lane, int first, int last, quint32 from, quint32 to)
{
    for (int row = first; row <= last; ++row) {
        const double t = last > first ? double(row - first) / (last - first) : 1.0;
        set(pattern, row, { { lane, quint32(std::lround(from + (double(to) - from) * t)) } });
    }
}

TrackPointer SongSketch::track(const zarn::NodePointer& node)
{
    for (const auto& existing : std::as_const(m_song->sequencer->tracks))
        if (existing->node == node)
            return existing;
    return m_song->sequencer->addTrack(node);
}

void SongSketch::play(
    const TrackPointer& track, const PatternPointer& pattern, const QList<int>& steps)
{
    for (int step : steps)
        track->setEntry(step * m_ticksPerStep, pattern);
}

void SongSketch::pause(const TrackPointer& track, int step)
{
    track->setBreak(step * m_ticksPerStep);
}

void SongSketch::sequence(int beginStep, int endStep)
{
    Sequencer& sequencer = *m_song->sequencer;
    sequencer.moveCursorAbsolute(0, beginStep);
    sequencer.setSequenceBegin();
    sequencer.moveCursorAbsolute(0, endStep);
    sequencer.setSequenceEnd();
    sequencer.moveCursorAbsolute(0, beginStep);
    sequencer.movePlayPositionAbsolute(beginStep * m_ticksPerStep);
}

QHash<zarn::Node*, int> SongSketch::depths() const
{
    QHash<zarn::Node*, int> depth;
    const Graph& graph = *m_song->graph;
    for (const auto& node : graph.nodes)
        depth.insert(node.data(), 0);
    // The longest path from a source; the graph has no cycles, so this settles.
    for (qsizetype round = 0; round < graph.nodes.size(); ++round)
        for (const auto& c : graph.connections)
            depth[c->to.data()]
                = std::max(depth.value(c->to.data()), depth.value(c->from.data()) + 1);
    return depth;
}

void SongSketch::arrange()
{
    const auto depth = depths();
    QHash<int, int> filled;
    for (const auto& node : std::as_const(m_song->graph->nodes)) {
        const int column = depth.value(node.data());
        const int row = filled[column]++;
        node->setPosition(QPointF(kMargin + column * kColumnWidth, kMargin + row * kRowHeight));
    }
}

void SongSketch::checkWiring()
{
    const Graph& graph = *m_song->graph;
    SongPlanBuilder builder;
    const auto plan = builder.build(graph);
    QHash<AudioNode*, int> order;
    for (int i = 0; i < plan->steps().size(); ++i)
        for (const auto& processor : plan->steps().at(i)->processors)
            order.insert(processor.data(), i);

    for (const auto& node : graph.nodes) {
        const auto leaving = std::count_if(graph.connections.cbegin(), graph.connections.cend(),
            [&node](const ConnectionPointer& c) { return c->from == node; });
        if (leaving > 1)
            problem(QStringLiteral("'%1' feeds %2 nodes; only the first would hear it clean")
                        .arg(node->name)
                        .arg(leaving));
        if (!order.contains(node->processor.data()))
            problem(QStringLiteral("'%1' is never processed").arg(node->name));
    }
    for (const auto& c : graph.connections)
        if (order.value(c->from->processor.data()) >= order.value(c->to->processor.data()))
            problem(
                QStringLiteral("'%1' is processed after '%2', which it feeds, so it is not heard")
                    .arg(c->from->name, c->to->name));
    if (plan->outputs().isEmpty())
        problem(QStringLiteral("the song has no output"));
}
