#pragma once

#include <QtGlobal>

// Typed lane values as fractions: word lanes run 0 to 65534, byte lanes 0 to 254.
namespace laneScale {

inline constexpr double kWordFull = 65534.0;
inline constexpr double kByteFull = 254.0;

inline double word(quint32 value)
{
    return value / kWordFull;
}
inline double byte(quint32 value)
{
    return value / kByteFull;
}

} // namespace laneScale
