#pragma once

#include <QByteArray>
#include <QDataStream>

// The encoding shared by the song file and the clipboard: big-endian, the library's
// default version and floating-point precision (a float is written as an 8-byte double).
namespace datastream {

void prepare(QDataStream& stream);

// A zero-terminated byte string whose uint32 count includes the terminating zero.
void writeCharString(QDataStream& stream, const QByteArray& text);
QByteArray readCharString(QDataStream& stream);

// True when `count` records of at least `minBytes` each can still be in the stream.
// A count that cannot fit marks the stream corrupt, so a hostile count never drives
// an allocation or a loop past the data.
bool plausibleCount(QDataStream& stream, qint64 count, qint64 minBytes);

// True while the stream has read nothing past its end and found nothing corrupt.
inline bool healthy(const QDataStream& stream) { return stream.status() == QDataStream::Ok; }

} // namespace datastream
