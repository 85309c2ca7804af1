#pragma once

#include "processors/units/Unit.h"

#include <algorithm>
#include <cmath>

// Feed-forward peak compressor with a 1 ms attack and a 50 ms release, clipped to ±1.
template <class T> class CompressorUnit final : public Unit<T> {
public:
    explicit CompressorUnit(T sampleRate)
        : sampleRate(sampleRate)
        , attackCoeff(std::exp(T(-1) / (sampleRate / T(1000))))
        , releaseCoeff(std::exp(T(-1) / (sampleRate * kReleaseMs / T(1000))))
    {
    }

    T process(T x)
    {
        const T a = std::abs(x);
        const T c = a > env ? attackCoeff : releaseCoeff;
        env = (T(1) - c) * a + c * env;
        T g = T(1);
        if (env > threshold) {
            const T over = T(20) * std::log10(env / threshold);
            g = std::pow(T(10), -(over - over / ratio) / T(20));
        }
        return std::clamp(g * x, T(-1), T(1));
    }

    T tick() override { return process(T(0)); }

    T sampleRate;
    T env = T(0);
    T threshold = T(0.7); // linear
    T ratio = T(4);
    T attackCoeff;
    T releaseCoeff;

private:
    static constexpr T kReleaseMs = T(50);
};
