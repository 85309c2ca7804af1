#include "song/PatternClipboard.h"

#include "song/Clipboard.h"
#include "core/DataStream.h"
#include "song/Logging.h"

#include <QDebug>
#include <QIODevice>
#include <QMimeData>

#include <algorithm>

namespace {

// name (an empty string still takes its count), value type, flag, index in group, lane
constexpr qint64 kMinColumnBytes = 4 + 4 + 1 + 4 + 4;
// the presence flag of an absent cell
constexpr qint64 kMinCellBytes = 1;
constexpr qint32 kNoDescriptorType = -1;

// Where a flat parameter index sits in the row layout of a schema.
class CellLayout {
public:
    explicit CellLayout(const NodeParameterSchema& schema)
        : m_schema(schema)
        , m_nodeCount(schema.nodeParameters.size())
        , m_trackCount(schema.trackParameters.size())
    {
    }

    qint64 nodeCount() const { return m_nodeCount; }
    qint64 trackCount() const { return m_trackCount; }

    // Lane 0 holds the node parameters; without track parameters everything past them
    // counts as lane 1.
    qint64 laneOf(qint64 flat) const
    {
        if (flat < m_nodeCount)
            return 0;
        return m_trackCount > 0 ? 1 + (flat - m_nodeCount) / m_trackCount : 1;
    }
    qint64 indexInGroupOf(qint64 flat) const
    {
        if (flat < m_nodeCount)
            return flat;
        return m_trackCount > 0 ? (flat - m_nodeCount) % m_trackCount : flat - m_nodeCount;
    }
    // First flat index of a lane.
    qint64 baseOf(qint64 lane) const
    {
        return lane == 0 ? 0 : m_nodeCount + (lane - 1) * m_trackCount;
    }

    // The descriptor of a cell within the lanes a pattern can have; this bound also keeps a
    // hostile block from growing a row without limit.
    ParameterPointer descriptorAt(qint64 flat) const
    {
        if (flat < 0 || flat >= m_nodeCount + qint64(Pattern::kMaxLanes) * m_trackCount)
            return {};
        return m_schema.parameterOfCell(flat);
    }

private:
    const NodeParameterSchema& m_schema;
    qint64 m_nodeCount;
    qint64 m_trackCount;
};

// The destination of one clipboard column.
struct Target {
    qint64 index = -1;
    ParameterPointer descriptor;
};

QString nonNull(const QString& text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

QString instanceIdOf(const zarn::Node& node)
{
    return node.processor ? nonNull(node.processor->instanceId()) : QStringLiteral("");
}

PatternColumn columnOf(const CellLayout& layout, qint64 flat)
{
    const ParameterPointer descriptor = layout.descriptorAt(flat);
    PatternColumn column;
    column.name = descriptor ? nonNull(descriptor->name) : QStringLiteral("");
    column.valueType = descriptor ? qint32(descriptor->type) : 0;
    column.isNodeParameter = flat < layout.nodeCount();
    column.indexInGroup = qint32(layout.indexInGroupOf(flat));
    column.lane = qint32(layout.laneOf(flat));
    return column;
}

PatternCell cellOf(const Row* row, const ParameterPointer& descriptor, qint64 flat)
{
    if (!row || !descriptor || flat < 0)
        return {};
    const quint32 value = flat < row->cells.size() ? row->cells.at(flat) : 0;
    return value != descriptor->empty ? PatternCell { true, value } : PatternCell {};
}

bool fits(const Target& target, const PatternColumn& column)
{
    return target.descriptor && qint64(target.descriptor->type) == qint64(column.valueType);
}

Target targetAt(const CellLayout& layout, qint64 flat)
{
    return { flat, layout.descriptorAt(flat) };
}

// Each column's target by the rule of its shape; empty, after the warning, when refused.
QList<Target> mapColumns(const PatternBlock& block, const CellLayout& layout,
    const QString& destinationId, const PatternSpot& spot)
{
    const QList<PatternColumn>& columns = block.columns;
    if (columns.size() == 1) {
        const Target target = targetAt(layout, spot.parameter);
        if (fits(target, columns.first()))
            return { target };
        qCWarning(lcSong).noquote().nospace()
            << "Paste: ValueType mismatch (clipboard: " << columns.first().valueType << " dest: "
            << (target.descriptor ? qint64(target.descriptor->type) : kNoDescriptorType) << ")";
        return {};
    }
    const bool oneLane = std::all_of(columns.cbegin(), columns.cend(),
        [&](const PatternColumn& c) { return c.lane == columns.first().lane; });
    if (!oneLane && block.processorId != destinationId) {
        qCWarning(lcSong).noquote().nospace()
            << "Paste: processor type mismatch (clipboard: " << block.processorId
            << " dest: " << destinationId << ")";
        return {};
    }
    const qint64 cursorBase = layout.baseOf(layout.laneOf(spot.parameter));
    const char* mismatch = oneLane ? "Paste: column schema mismatch at param"
                                   : "Paste: multi-column schema mismatch at param";
    QList<Target> targets;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        const PatternColumn& column = columns.at(i);
        const qint64 base
            = oneLane ? cursorBase : (column.lane < 0 ? -1 : layout.baseOf(column.lane));
        const Target target = targetAt(layout, base < 0 ? -1 : column.indexInGroup + base);
        if (!fits(target, column)) {
            qCWarning(lcSong).noquote() << mismatch << i;
            return {};
        }
        targets.append(target);
    }
    return targets;
}

RowPointer rowForWriting(Pattern& pattern, int tick)
{
    RowPointer row = pattern.makeNeutralRow();
    if (!row)
        row = RowPointer::create();
    pattern.setRow(tick, row);
    return row;
}

} // namespace

PatternBlock PatternBlock::copy(const zarn::Node& node, const Pattern& pattern,
    const NodeParameterSchema& schema, const PatternRange& range)
{
    const CellLayout layout(schema);
    const int firstTick = std::min(range.firstTick, range.lastTick);
    const int lastTick = std::max(range.firstTick, range.lastTick);
    const int firstParameter = std::min(range.firstParameter, range.lastParameter);
    const int lastParameter = std::max(range.firstParameter, range.lastParameter);

    PatternBlock block;
    block.processorId = instanceIdOf(node);
    block.tickCount = lastTick - firstTick + 1;
    for (int p = firstParameter; p <= lastParameter; ++p)
        block.columns.append(columnOf(layout, p));
    for (int t = firstTick; t <= lastTick; ++t) {
        const RowPointer row = pattern.rowAt(t);
        for (int p = firstParameter; p <= lastParameter; ++p)
            block.cells.append(cellOf(row.data(), layout.descriptorAt(p), p));
    }
    return block;
}

void PatternBlock::write(QDataStream& stream) const
{
    stream << nonNull(processorId) << tickCount << qint32(columns.size());
    for (const PatternColumn& c : columns)
        stream << nonNull(c.name) << c.valueType << c.isNodeParameter << c.indexInGroup << c.lane;
    for (const PatternCell& cell : cells) {
        stream << cell.present;
        if (cell.present)
            stream << cell.value;
    }
}

bool PatternBlock::read(QDataStream& stream)
{
    qint32 columnCount = 0;
    stream >> processorId >> tickCount >> columnCount;
    columns.clear();
    cells.clear();
    if (tickCount < 0 || !datastream::plausibleCount(stream, columnCount, kMinColumnBytes))
        return false;
    columns.reserve(columnCount);
    for (qint32 i = 0; i < columnCount && datastream::healthy(stream); ++i) {
        PatternColumn c;
        stream >> c.name >> c.valueType >> c.isNodeParameter >> c.indexInGroup >> c.lane;
        columns.append(c);
    }
    return clipboard::readCells(
        stream, qint64(tickCount) * columnCount, kMinCellBytes, cells, [](QDataStream& in) {
            PatternCell cell;
            in >> cell.present;
            if (cell.present)
                in >> cell.value;
            return cell;
        });
}

bool PatternBlock::pasteInto(const zarn::Node& node, Pattern& pattern,
    const NodeParameterSchema& schema, const PatternSpot& spot) const
{
    if (columns.isEmpty())
        return false;
    const CellLayout layout(schema);
    const QList<Target> targets = mapColumns(*this, layout, instanceIdOf(node), spot);
    if (targets.isEmpty())
        return false;
    const qsizetype width = columns.size();
    for (qint64 k = 0; k < tickCount; ++k) {
        const qint64 tick = spot.tick + k;
        if (tick >= pattern.length)
            break;
        if (tick < 0)
            continue;
        for (qsizetype j = 0; j < width; ++j) {
            const PatternCell& cell = cells.at(k * width + j);
            RowPointer row = pattern.rowAt(int(tick));
            if (!row && !cell.present)
                continue;
            if (!row)
                row = rowForWriting(pattern, int(tick));
            const quint32 empty = targets.at(j).descriptor->empty;
            row->setCell(int(targets.at(j).index), cell.present ? cell.value : empty, empty);
        }
    }
    return true;
}

namespace patternClipboard {

std::unique_ptr<QMimeData> copy(const zarn::NodePointer& node, const PatternPointer& pattern,
    const SchemaPointer& schema, const PatternRange& range)
{
    if (!node || !pattern || !schema)
        return nullptr;
    return clipboard::wrap(QString::fromLatin1(PatternBlock::kMimeType),
        clipboard::encode(PatternBlock::copy(*node, *pattern, *schema, range)));
}

bool paste(const QMimeData* data, const zarn::NodePointer& node, const PatternPointer& pattern,
    const SchemaPointer& schema, const PatternSpot& spot)
{
    if (!node || !pattern || !schema)
        return false;
    const auto block = clipboard::blockIn<PatternBlock>(data);
    return block && block->pasteInto(*node, *pattern, *schema, spot);
}

} // namespace patternClipboard
