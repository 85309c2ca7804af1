#pragma once

#include <QByteArray>

#include <cstring>

// Big-endian pieces of the stream encoding written out by hand, so expected bytes in
// tests do not come from the code under test.
namespace handbytes {

inline QByteArray u32(quint32 v)
{
    const char bytes[] = { char(v >> 24), char(v >> 16), char(v >> 8), char(v) };
    return QByteArray(bytes, sizeof bytes);
}

inline QByteArray i64(qint64 v)
{
    return u32(quint32(quint64(v) >> 32)) + u32(quint32(v));
}

inline QByteArray f64(double v)
{
    quint64 bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    return i64(qint64(bits));
}

inline QByteArray i8(qint8 v)
{
    return QByteArray(1, char(v));
}

// A string: byte count of the UTF-16 data, then big-endian code units.
inline QByteArray utf16(const char* latin)
{
    QByteArray units;
    for (const char* c = latin; *c; ++c)
        units += QByteArray(1, '\0') + *c;
    return u32(quint32(units.size())) + units;
}

// A character string: count including the terminating zero, the bytes, the zero.
inline QByteArray chars(const char* latin)
{
    return u32(quint32(qstrlen(latin) + 1)) + QByteArray(latin) + i8(0);
}

} // namespace handbytes
