#pragma once

#include "core/EngineRate.h"
#include "processors/units/FastMath.h"
#include "processors/units/Unit.h"

#include <algorithm>
#include <array>
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
        const T gain = gainOf(sine(phase), depth);
        phase += rate / sampleRate;
        if (phase >= T(1))
            phase -= T(1);
        return gain;
    }

    // Scales `n` samples by the gains of as many tick() calls. Only the phase steps wait
    // on one another; the sines of a chunk of them are then taken together.
    void apply(T* data, quint64 n)
    {
        const T step = rate / sampleRate;
        const T d = depth;
        std::array<T, kChunk> sines;
        for (quint64 done = 0; done < n;) {
            const quint64 count = std::min<quint64>(n - done, kChunk);
            T p = phase;
            for (quint64 i = 0; i < count; ++i) {
                sines[i] = p;
                p += step;
                if (p >= T(1))
                    p -= T(1);
            }
            phase = p;
            if constexpr (kReference) {
                for (quint64 i = 0; i < count; ++i)
                    sines[i] = sine(sines[i]);
            } else {
                fastMath::sin2Pi(sines.data(), sines.data(), count);
            }
            for (quint64 i = 0; i < count; ++i) {
                data[done + i] *= gainOf(sines[i], d);
            }
            done += count;
        }
    }

private:
    static constexpr quint64 kChunk = 256;

    // The sine's swing between -1 and 1 as a gain between 1 - depth and 1.
    static T gainOf(T sine, T depth)
    {
        const T level = sine * T(0.5) + T(0.5);
        return T(1) - depth * (T(1) - level);
    }

    static T sine(T cycles)
    {
        if constexpr (kReference)
            return std::sin(T(2) * std::numbers::pi_v<T> * cycles);
        else
            return T(fastMath::sin2Pi(cycles));
    }
};
