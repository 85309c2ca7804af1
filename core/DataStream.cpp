#include "core/DataStream.h"

#include <QIODevice>

namespace datastream {

void prepare(QDataStream& stream)
{
    stream.setByteOrder(QDataStream::BigEndian);
    stream.setVersion(QDataStream::Qt_DefaultCompiledVersion);
    stream.setFloatingPointPrecision(QDataStream::DoublePrecision);
}

void writeCharString(QDataStream& stream, const QByteArray& text)
{
    stream << quint32(text.size() + 1);
    stream.writeRawData(text.constData(), int(text.size()));
    stream << qint8(0);
}

QByteArray readCharString(QDataStream& stream)
{
    quint32 count = 0;
    stream >> count;
    if (count == 0 || !plausibleCount(stream, count, 1))
        return {};
    QByteArray bytes(qsizetype(count), Qt::Uninitialized);
    if (stream.readRawData(bytes.data(), int(count)) != int(count)) {
        stream.setStatus(QDataStream::ReadPastEnd);
        return {};
    }
    bytes.chop(1); // the terminating zero
    return bytes;
}

bool plausibleCount(QDataStream& stream, qint64 count, qint64 minBytes)
{
    if (stream.status() != QDataStream::Ok)
        return false;
    if (count < 0) {
        stream.setStatus(QDataStream::ReadCorruptData);
        return false;
    }
    const QIODevice* device = stream.device();
    const qint64 available = device ? device->bytesAvailable() : 0;
    if (minBytes > 0 && count > available / minBytes) {
        stream.setStatus(QDataStream::ReadCorruptData);
        return false;
    }
    return true;
}

} // namespace datastream
