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
        const T level = sine(phase) * T(0.5) + T(0.5);
        const T gain = T(1) - depth * (T(1) - level);
        phase += rate / sampleRate;
        if (phase >= T(1))
            phase -= T(1);
        return gain;
    }

    // Scales `n` samples by the gains of as many tick() calls, with the settings held in
    // registers for the run: only the phase steps wait on one another.
    void apply(T* data, quint64 n)
    {
        T p = phase;
        const T step = rate / sampleRate;
        const T d = depth;
        for (quint64 i = 0; i < n; ++i) {
            const T level = sine(p) * T(0.5) + T(0.5);
            data[i] *= T(1) - d * (T(1) - level);
            p += step;
            if (p >= T(1))
                p -= T(1);
        }
        phase = p;
    }

private:
    static T sine(T cycles)
    {
        if constexpr (kReference)
            return std::sin(T(2) * std::numbers::pi_v<T> * cycles);
        else
            return T(fastMath::sin2Pi(cycles));
    }
};
