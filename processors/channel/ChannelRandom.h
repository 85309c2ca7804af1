#pragma once

#include "processors/units/MersenneTwister.h"

#include <QtGlobal>

#include <cmath>
#include <numbers>

// The channel effects' random source: a Mersenne Twister with a fixed seed per impairment,
// so a song sounds the same on every render. The twister is our own, draw for draw the
// standard library's, which spent most of a channel effect's time refilling.
class ChannelRandom {
public:
    explicit ChannelRandom(quint32 seed)
        : m_engine(seed)
    {
    }

    // [0, 1) with 53 random bits: all of the second output above 21 bits of the first.
    double uniform()
    {
        const quint32 a = quint32(m_engine());
        const quint32 b = quint32(m_engine());
        return (double(b) * kTwoTo21 + double(a >> 11)) * kTwoToMinus53;
    }

    // A standard normal sample by the polar method; only the first coordinate is kept.
    double normal()
    {
        for (;;) {
            const double x1 = 2.0 * uniform() - 1.0;
            const double x2 = 2.0 * uniform() - 1.0;
            const double s = x1 * x1 + x2 * x2;
            if (s < 1.0 && x1 != 0.0 && x2 != 0.0)
                return s > kRescaleBelow ? x1 * std::sqrt(-2.0 * std::log(s) / s)
                                         : rescaledNormal(x1, x2, s);
        }
    }

private:
    static constexpr double kTwoTo21 = 2097152.0;
    static constexpr double kTwoToMinus53 = 1.0 / 9007199254740992.0;
    static constexpr double kRescaleBelow = 0.0001;

    // Near the centre of the disc the pair is scaled up by a power of two (exactly), so the
    // radius is formed from full-precision values before its logarithm is taken.
    static double rescaledNormal(double x1, double x2, double s)
    {
        int exponent = 0;
        std::frexp(s, &exponent);
        const int shift = -exponent / 2;
        const double y1 = std::ldexp(x1, shift);
        const double y2 = std::ldexp(x2, shift);
        const double t = y1 * y1 + y2 * y2; // s × 4^shift
        const double logS = std::log(t) - 2.0 * shift * std::numbers::ln2;
        return y1 * std::sqrt(-2.0 * logS / t);
    }

    MersenneTwister m_engine;
};
