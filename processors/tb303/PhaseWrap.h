#pragma once

#include <cmath>

// Brings an oscillator phase back into (0, 1] exactly as repeated subtraction of 1 does.
// A phase past 2, which only increments of more than a cycle per sample reach, loses its
// whole cycles at once instead, so an absurd note value cannot stall the render; the
// result is the same, since each subtraction of 1 is exact.
template <class T> T wrapPhase(T phase)
{
    if (phase > T(2)) {
        if (!std::isfinite(phase))
            return T(0);
        const T fraction = phase - std::floor(phase);
        return fraction > T(0) ? fraction : T(1);
    }
    if (phase > T(1))
        phase -= T(1);
    return phase;
}
