#pragma once

#include "processors/Processor.h"
#include "processors/units/Biquad.h"
#include "processors/units/Unit.h"

// A square wave rung through a resonant band-pass under an exponential decay.
template <class T> class DingUnit final : public Unit<T> {
public:
    static constexpr T kQ = T(4);
    static constexpr T kStartFrequency = T(880);
    // The voice falls silent below this level.
    static constexpr T kSilence = T(0.0001);

    explicit DingUnit(T sampleRate)
        : sampleRate(sampleRate)
        , resonator(sampleRate, Biquad<T>::BandPass, kStartFrequency / sampleRate, kQ)
    {
        resonator.computeCoefficients();
    }

    // Centres the band-pass on the current frequency; its state rings on.
    void retune()
    {
        resonator.type = Biquad<T>::BandPass;
        resonator.gainDb = T(0);
        resonator.frequency = frequency / resonator.sampleRate;
        resonator.q = kQ;
        resonator.computeCoefficients();
    }

    // Starts a note at `hz` from phase 0 and full amplitude.
    void start(T hz)
    {
        frequency = hz;
        retune();
        phase = T(0);
        active = true;
        env = amplitude;
    }

    T tick() override
    {
        if (!active)
            return T(0);
        phase += frequency / sampleRate;
        if (phase >= T(1))
            phase -= T(1);
        const T y = resonator.process(phase < T(0.5) ? T(1) : T(-1));
        const T e = env;
        env = decay * e;
        if (env < kSilence) {
            active = false;
            env = T(0);
        }
        return e * y;
    }

    T sampleRate;
    Biquad<T> resonator;
    T phase = T(0);
    T frequency = kStartFrequency;
    T amplitude = T(0.8);
    T decay = T(0.99998);
    T env = T(0);
    bool active = false;
};

// A pitched ding: each note restarts the voice at the note's frequency.
class DingProcessor final : public Processor {
public:
    enum Lane { Note, Volume, Decay };

    explicit DingProcessor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;

private:
    DingUnit<double> m_voice;
    bool m_triggerPending = false;
    double m_pendingFrequency = 880.0;
};
