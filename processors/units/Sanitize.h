#pragma once

#include <algorithm>
#include <cmath>

// Keeps the reverbs' feedback networks clean: anything non-finite becomes silence,
// denormal-sized values become zero, and the rest is held to full scale.
inline double sanitizeSample(double x)
{
    constexpr double kFloor = 1e-18;
    if (!std::isfinite(x) || std::abs(x) < kFloor)
        return 0.0;
    return std::clamp(x, -1.0, 1.0);
}

// For units whose state follows the signal (envelopes, gains): one non-finite input
// would otherwise stay in that state for good and silence the node.
inline double finiteOrSilence(double x)
{
    return std::isfinite(x) ? x : 0.0;
}
