#pragma once

#include "core/EngineRate.h"
#include "processors/units/FastMath.h"
#include "processors/units/Unit.h"

#include <cmath>
#include <numbers>

// Sine amplitude modulation: the gain swings between 1 and 1 - depth at `rate` Hz.
// kReference takes the sine from std::sin, as the measure for the fast one.
template <typename T, bool kReference = false> struct TremoloUnit final : Unit<T> {
    T sampleRate = T(kEngineRate);
    T phase = T(0); // in cycles
    T rate = T(4);
    T depth = T(0.5);

    // The gain for the current sample; the oscillator then moves on by one sample.
    T tick() override
    {
        T sine;
        if constexpr (kReference)
            sine = std::sin(T(2) * std::numbers::pi_v<T> * phase);
        else
            sine = T(fastMath::sin2Pi(phase));
        const T level = sine * T(0.5) + T(0.5);
        const T gain = T(1) - depth * (T(1) - level);
        phase += rate / sampleRate;
        if (phase >= T(1))
            phase -= T(1);
        return gain;
    }
};
