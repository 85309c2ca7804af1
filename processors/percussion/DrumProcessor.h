#pragma once

#include "processors/Processor.h"
#include "processors/units/FastMath.h"
#include "processors/units/Unit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

// A sine whose pitch sweeps from a start to an end rate over one hit, under a linear
// attack/decay envelope. Lengths are counted in samples. The sine comes from fastMath;
// kReference keeps std::sin, the measure for it.
template <class T, bool kReference = false> class Drum final : public Unit<T> {
public:
    explicit Drum(int sampleRate)
        : sampleRate(sampleRate)
    {
    }

    // Starts a hit; the smoothed envelope climbs again from silence.
    void restart()
    {
        counter = T(0);
        phase = T(0);
        env = T(0);
    }

    T tick() override
    {
        step();
        if constexpr (kReference)
            return env * std::sin(phase);
        else
            return env * T(fastMath::sin2Pi(phase * (T(1) / kTwoPi)));
    }

    // The samples of `n` ticks: the envelope and phase steps of a chunk first, then the
    // sines of the chunk together.
    void render(T* out, qsizetype n)
    {
        std::array<T, kChunk> level;
        for (qsizetype done = 0; done < n;) {
            const qsizetype count = std::min(n - done, kChunk);
            T* chunk = out + done;
            for (qsizetype i = 0; i < count; ++i) {
                step();
                level[i] = env;
                chunk[i] = kReference ? phase : phase * (T(1) / kTwoPi);
            }
            if constexpr (kReference) {
                for (qsizetype i = 0; i < count; ++i)
                    chunk[i] = std::sin(chunk[i]);
            } else {
                fastMath::sin2Pi(chunk, chunk, std::size_t(count));
            }
            for (qsizetype i = 0; i < count; ++i)
                chunk[i] = level[i] * chunk[i];
            done += count;
        }
    }

    static constexpr T kTwoPi = T(2) * std::numbers::pi_v<T>;

    int sampleRate;
    T attack = T(100);
    T decay = T(2000);
    T total = T(2100);
    T startIncrement = T(0.5);
    T endIncrement = T(0.1);
    T counter = T(2100);
    T phase = T(0);
    T envTarget = T(0);
    T env = T(0);

private:
    static constexpr qsizetype kChunk = 256;

    void step()
    {
        counter += T(1);
        if (counter < attack)
            envTarget = counter / attack;
        else if (counter < total)
            envTarget = T(1) - (counter - attack) / decay;
        else
            envTarget = T(0);
        env = env * T(0.99) + envTarget * T(0.01);
        const T t = std::min(T(1), counter / total);
        const T increment = (T(1) - t) * startIncrement + t * endIncrement;
        // Increments stay below 2 pi, so one subtraction keeps the phase in range.
        phase += increment;
        if (phase >= kTwoPi)
            phase -= kTwoPi;
    }
};

// A synthetic drum voice: any note starts a hit with a falling pitch sweep.
class DrumProcessor final : public Processor {
public:
    enum Lane { Note, Volume, Attack, Decay, Pitch };

    explicit DrumProcessor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;

private:
    Drum<double> m_voice;
    bool m_triggerPending = false;
};
