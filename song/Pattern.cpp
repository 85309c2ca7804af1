#include "song/Pattern.h"

#include "core/DataStream.h"
#include "song/Logging.h"
#include "song/Node.h"
#include "song/RandomId.h"

#include <QDebug>

namespace {

constexpr qint64 kMinSlotBytes = 1; // the presence byte of an empty slot
constexpr qint64 kCellBytes = 4;

RowPointer readRow(QDataStream& stream)
{
    qint64 count = 0;
    stream >> count;
    qCDebug(lcSong).noquote().nospace() << "Stream IN Row: size=" << count;
    if (count < 1 || !datastream::plausibleCount(stream, count, kCellBytes))
        return RowPointer::create();
    auto row = RowPointer::create();
    row->cells.reserve(count);
    for (qint64 i = 0; i < count && datastream::healthy(stream); ++i) {
        quint32 cell = 0;
        stream >> cell;
        row->cells.append(cell);
    }
    return row;
}

void writeRow(QDataStream& stream, const Row& row)
{
    qCDebug(lcSong).noquote().nospace() << "Stream OUT Row: size=" << row.cells.size();
    stream << qint64(row.cells.size());
    for (const quint32 cell : row.cells)
        stream << cell;
}

} // namespace

void Row::setCell(int index, quint32 value, quint32 fill)
{
    if (index < 0)
        return;
    if (index >= cells.size())
        cells.resize(index + 1, fill);
    cells[index] = value;
}

Pattern::Pattern(const QString& name, const QSharedPointer<zarn::Node>& node, int length)
    : length(length < 1 ? kDefaultLength : length)
    , node(node)
    , name(name)
    , uniqueID(randomIdentifier())
{
}

RowPointer Pattern::rowAt(int index) const
{
    if (index < 0 || index >= rows.size())
        return {};
    return rows.at(index);
}

void Pattern::setRow(int index, const RowPointer& row)
{
    if (index < 0) {
        qCWarning(lcSong).noquote() << "Trying to set row on index below zero" << index;
        return;
    }
    if (index >= rows.size())
        rows.resize(index + 1);
    if (index >= length)
        length = index + 1;
    rows[index] = row;
}

RowPointer Pattern::makeNeutralRow() const
{
    const auto owner = node.toStrongRef();
    if (!owner) {
        qCWarning(lcSong).noquote() << "No node, cant make neutral row";
        return {};
    }
    const SchemaPointer schema = owner->processor ? owner->processor->schema() : SchemaPointer();
    if (!schema) {
        qCWarning(lcSong).noquote() << "No schema, cant make neutral row";
        return {};
    }
    auto row = RowPointer::create();
    int next = 0;
    const auto appendEmpties = [&](const QList<ParameterPointer>& parameters) {
        for (const auto& p : parameters)
            row->setCell(next++, p->empty, p->empty);
    };
    appendEmpties(schema->nodeParameters);
    for (int lane = 0; lane < lanes; ++lane)
        appendEmpties(schema->trackParameters);
    return row;
}

bool Pattern::addLane()
{
    if (lanes + 1 > kMaxLanes)
        return false;
    ++lanes;
    return true;
}

bool Pattern::removeLane()
{
    if (lanes - 1 < kMinLanes)
        return false;
    --lanes;
    return true;
}

void Pattern::write(QDataStream& stream) const
{
    const qint64 slotCount = rows.size();
    qCDebug(lcSong).noquote().nospace() << "Stream OUT Pattern: name=" << name
                                        << ", uniqueID=" << uniqueID << ", size=" << slotCount;
    stream << name << uniqueID << length << slotCount;
    for (qint64 i = 0; i < slotCount; ++i) {
        const RowPointer& row = rows.at(i);
        stream << qint8(row ? 1 : 0);
        if (!row)
            continue;
        stream << qint32(i);
        writeRow(stream, *row);
    }
}

void Pattern::read(QDataStream& stream)
{
    qint64 slotCount = 0;
    stream >> name >> uniqueID >> length >> slotCount;
    qCDebug(lcSong).noquote().nospace() << "Stream IN Pattern: name=" << name
                                        << ", uniqueID=" << uniqueID << ", size=" << slotCount;
    // The lane count is not stored.
    lanes = 1;
    rows.clear();
    if (slotCount < 1 || !datastream::plausibleCount(stream, slotCount, kMinSlotBytes))
        return;
    rows.resize(slotCount);
    for (qint64 i = 0; i < slotCount && datastream::healthy(stream); ++i) {
        bool present = false;
        stream >> present;
        if (!present)
            continue;
        qint32 index = 0;
        stream >> index;
        const RowPointer row = readRow(stream);
        // A damaged index must not reach outside the slot list; such a row is dropped.
        if (datastream::healthy(stream) && index >= 0 && index < rows.size())
            rows[index] = row;
    }
}
