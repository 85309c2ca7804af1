#pragma once

#include "processors/Processor.h"
#include "processors/units/FastMath.h"
#include "processors/units/SineVoice.h"
#include "processors/units/Unit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <utility>

// A free-running sine whose pitch and loudness drift towards random targets, each held
// for a random time. The sine comes from fastMath; kReference keeps std::sin, the
// measure for it.
template <class T, bool kReference = false> class DribbleUnit final : public Unit<T> {
public:
    static constexpr T kTwoPi = T(2) * std::numbers::pi_v<T>;

    explicit DribbleUnit(T sampleRate)
        : sampleRate(sampleRate)
        , pitchTarget(draw())
        , pitchPos(pitchTarget)
        , pitchHold(qint32(T(0.05) * sampleRate))
        , ampTarget(draw())
        , amp(ampTarget)
        , ampHold(qint32(T(0.08) * sampleRate))
    {
    }

    // The runtime's rand() narrowed to 0..32767, whatever its own range.
    static int drawRaw() { return std::rand() / (RAND_MAX / 32768 + 1); }
    // A draw scaled to [0, 1].
    static T draw() { return T(drawRaw()) / T(32767); }

    T tick() override
    {
        step();
        if constexpr (kReference)
            return std::sin(phase) * amp;
        else
            return T(fastMath::sin2Pi(phase * (T(1) / kTwoPi))) * amp;
    }

    // The samples of `n` ticks, the chunk's sines taken together.
    void render(T* out, qsizetype n)
    {
        sineVoice::render<kReference>(out, n, [this] {
            step();
            return std::pair { amp, phase };
        });
    }

    T sampleRate;
    T pitchTarget;
    T pitchPos;
    T pitchSmoothing = T(0.001);
    qint32 pitchCountdown = 0;
    qint32 pitchHold;
    T ampTarget;
    T amp;
    T ampSmoothing = T(0.002);
    qint32 ampCountdown = 0;
    qint32 ampHold;
    T phase = T(0);
    T minFrequency = T(200);
    T maxFrequency = T(2000);

private:
    void step()
    {
        if (--pitchCountdown < 1) {
            pitchTarget = draw();
            pitchCountdown = holdFor(pitchHold);
        }
        pitchPos = pitchTarget * pitchSmoothing + (T(1) - pitchSmoothing) * pitchPos;
        if (--ampCountdown < 1) {
            ampTarget = draw();
            ampCountdown = holdFor(ampHold);
        }
        amp = ampTarget * ampSmoothing + (T(1) - ampSmoothing) * amp;
        const T f = (maxFrequency - minFrequency) * pitchPos + minFrequency;
        phase += kTwoPi * f / sampleRate;
        if (phase >= kTwoPi)
            phase -= kTwoPi;
    }

    // Between half and one and a half times `hold` samples.
    static qint32 holdFor(qint32 hold)
    {
        return qint32(T(hold) * T(drawRaw()) / T(32767)) + hold / 2;
    }
};

// Dribble: a wandering tone between two frequency limits; it sounds without notes.
class DribbleProcessor final : public Processor {
public:
    enum Lane { MinFreq, MaxFreq, Speed };

    explicit DribbleProcessor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;

private:
    DribbleUnit<double> m_unit;
};
