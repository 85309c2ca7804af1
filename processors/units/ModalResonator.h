#pragma once

#include "processors/units/Unit.h"

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

// A bank of decaying two-pole resonators driven by one input; the output is the sum of
// the modes. Room for the modes is reserved up front, so rebuilding the bank while
// playing never allocates.
template <class T> class ModalResonator final : public Unit<T> {
public:
    struct Mode {
        T c1;
        T c2;
        T gain;
        T y1;
        T y2;
    };

    ModalResonator(T sampleRate, int capacity)
        : sampleRate(sampleRate)
        , m_capacity(std::size_t(capacity))
    {
        modes.reserve(m_capacity);
    }

    // A mode at `frequency` Hz that falls by 60 dB in `ringTime` seconds, at rest.
    static Mode tuned(T sampleRate, T frequency, T ringTime, T gain)
    {
        const T w = T(2) * std::numbers::pi_v<T> * frequency / sampleRate;
        const T samples = sampleRate * ringTime;
        const T r = samples > T(0) ? std::pow(T(0.001), T(1) / samples) : T(0);
        return { T(2) * r * std::cos(w), r * r, gain, T(0), T(0) };
    }

    // Adds a tuned mode; a mode beyond the reserved room is dropped rather than allocated.
    void addMode(T frequency, T ringTime, T gain)
    {
        if (modes.size() < m_capacity)
            modes.push_back(tuned(sampleRate, frequency, ringTime, gain));
    }

    void clearModes() { modes.clear(); }

    // Silences every mode without changing its tuning.
    void rest()
    {
        for (Mode& m : modes) {
            m.y1 = T(0);
            m.y2 = T(0);
        }
    }

    // `n` samples of process() for a bank of exactly N modes: with the count known to the
    // compiler, each mode's state stays in registers from sample to sample.
    template <std::size_t N> void process(const T* input, T* output, qsizetype n)
    {
        Q_ASSERT(modes.size() == N);
        std::array<Mode, N> bank;
        std::copy_n(modes.begin(), N, bank.begin());
        for (qsizetype i = 0; i < n; ++i) {
            T sum = T(0);
            for (Mode& m : bank) {
                const T y = m.c1 * m.y1 - m.c2 * m.y2 + m.gain * input[i];
                m.y2 = m.y1;
                m.y1 = y;
                sum += y;
            }
            output[i] = sum;
        }
        std::copy_n(bank.begin(), N, modes.begin());
    }

    T process(T input)
    {
        T sum = T(0);
        for (Mode& m : modes) {
            const T y = m.c1 * m.y1 - m.c2 * m.y2 + m.gain * input;
            m.y2 = m.y1;
            m.y1 = y;
            sum += y;
        }
        return sum;
    }

    // The free ring of the modes.
    T tick() override { return process(T(0)); }

    T sampleRate;
    std::vector<Mode> modes;

private:
    std::size_t m_capacity;
};
