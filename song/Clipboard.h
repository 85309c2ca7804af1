#pragma once

#include "core/DataStream.h"

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

class QMimeData;

// The MIME side of the clipboard blocks: each block travels as one byte array under its
// private type in a fresh QMimeData.
namespace clipboard {

std::unique_ptr<QMimeData> wrap(const QString& mimeType, const QByteArray& bytes);
// The bytes under `mimeType`; nothing when there is no data or it lacks the type.
std::optional<QByteArray> unwrap(const QMimeData* data, const QString& mimeType);

// The system clipboard; both do nothing (or return null) without a GUI application.
void place(std::unique_ptr<QMimeData> data);
const QMimeData* current();

// The block codec both clipboard formats share. A Block has `void write(QDataStream&)
// const`, `bool read(QDataStream&)` and `kMimeType`.
template <class Block> QByteArray encode(const Block& block)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    datastream::prepare(stream);
    block.write(stream);
    return bytes;
}

// The block the bytes hold; nothing when they do not hold a whole one.
template <class Block> std::optional<Block> decode(const QByteArray& bytes)
{
    QDataStream stream(bytes);
    datastream::prepare(stream);
    Block block;
    if (!block.read(stream))
        return std::nullopt;
    return block;
}

// The block under its MIME type in `data`; nothing when it is absent or damaged.
template <class Block> std::optional<Block> blockIn(const QMimeData* data)
{
    const auto bytes = unwrap(data, QString::fromLatin1(Block::kMimeType));
    return bytes ? decode<Block>(*bytes) : std::nullopt;
}

// Reads `count` cells of at least `minBytes` each after checking that they can be there, so
// a hostile count allocates nothing; true when all were read.
template <class Cell, class ReadCell>
bool readCells(
    QDataStream& stream, qint64 count, qint64 minBytes, QList<Cell>& cells, ReadCell readCell)
{
    if (!datastream::plausibleCount(stream, count, minBytes))
        return false;
    cells.reserve(count);
    for (qint64 i = 0; i < count && datastream::healthy(stream); ++i)
        cells.append(readCell(stream));
    return datastream::healthy(stream) && cells.size() == count;
}

} // namespace clipboard
