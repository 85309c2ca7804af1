#pragma once

#include <QByteArray>

#include <bit>

// Big-endian pieces of the stream encoding written out by hand, so expected bytes in
// tests do not come from the code under test.
namespace handbytes {

inline const auto i8 = [](qint8 v) { return QByteArray(1, char(v)); };
inline const auto u32
    = [](quint32 v) { return i8(qint8(v >> 24)) + char(v >> 16) + char(v >> 8) + char(v); };
inline const auto i64 = [](qint64 v) { return u32(quint32(quint64(v) >> 32)) + u32(quint32(v)); };
inline const auto f64 = [](double v) { return i64(std::bit_cast<qint64>(v)); };

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
