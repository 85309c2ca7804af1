#pragma once

#include "processors/Processor.h"
#include "processors/units/FastMath.h"
#include "processors/units/SineVoice.h"
#include "processors/units/Unit.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

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

    // The samples of `n` ticks, the chunk's sines taken together.
    void render(T* out, qsizetype n)
    {
        sineVoice::render<kReference>(out, n, [this] {
            step();
            return std::pair { env, phase };
        });
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
