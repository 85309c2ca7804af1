#pragma once

#include <QtGlobal>

// Marsaglia's 32-bit xorshift generator (shifts 13, 17, 5): cheap, allocation-free noise
// with a repeatable sequence for a given seed.
struct XorShift32 {
    quint32 state;

    quint32 next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }

    // The next value scaled to [0, 1].
    double uniform() { return next() / 4294967295.0; }
};
