#pragma once

#include "processors/units/EnvelopeFollower.h"
#include "processors/units/Unit.h"

#include <algorithm>
#include <cmath>

// Feed-forward peak compressor with a 1 ms attack and a 50 ms release, clipped to ±1.
// kReference keeps the gain law in decibels through std::log10 and std::pow, as the
// measure for the cheaper base-2 form.
template <class T, bool kReference = false> class CompressorUnit final : public Unit<T> {
public:
    explicit CompressorUnit(T sampleRate)
        : sampleRate(sampleRate)
    {
        envelope.attackCoeff = EnvelopeFollower<T>::coefficient(sampleRate, kAttackMs);
        envelope.releaseCoeff = EnvelopeFollower<T>::coefficient(sampleRate, kReleaseMs);
    }

    T process(T x)
    {
        const T env = envelope.follow(std::abs(x));
        T g = T(1);
        if (env > threshold) {
            if constexpr (kReference) {
                const T over = T(20) * std::log10(env / threshold);
                g = std::pow(T(10), -(over - over / ratio) / T(20));
            } else {
                // The same law without decibels: (env / threshold)^(1/ratio - 1).
                const T slope = T(1) / ratio - T(1);
                g = std::exp2(slope * std::log2(env / threshold));
            }
        }
        return std::clamp(g * x, T(-1), T(1));
    }

    T tick() override { return process(T(0)); }

    T sampleRate;
    EnvelopeFollower<T> envelope;
    T threshold = T(0.7); // linear
    T ratio = T(4);

private:
    static constexpr T kAttackMs = T(1);
    static constexpr T kReleaseMs = T(50);
};
