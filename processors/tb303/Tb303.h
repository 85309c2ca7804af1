#pragma once

#include "processors/tb303/Lag.h"
#include "processors/tb303/Line.h"
#include "processors/tb303/Pulse.h"
#include "processors/tb303/Saw.h"
#include "processors/units/Biquad.h"
#include "processors/units/FastMath.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

// The bass voice: saw or pulse, two linear envelope ramps, a resonant low-pass that
// tracks pitch and envelope, and a tanh saturator. Its per-sample tanh and tangent come
// from fastMath and the glide's power of two from std::exp2; kReference keeps the plain
// std:: calls that the tests hold the fast voice to. render() gives exactly the samples
// of as many tick() calls.
template <class T, bool kReference = false> class Tb303 : public Unit<T> {
public:
    static constexpr T kNormalDecay = T(0.3);
    static constexpr T kAccentDecay = T(0.18);
    static constexpr T kNoteOffDecay = T(0.05);
    static constexpr T kNormalSlide = T(0.01);
    static constexpr T kSlide = T(0.08);
    static constexpr T kAccentGain = T(1.5);
    static constexpr T kControlLag = T(0.005);

    explicit Tb303(T sampleRate)
        : sampleRate(sampleRate)
        , pulse(sampleRate, kA4, T(1), T(0.5))
        , saw(sampleRate, kA4, T(1))
        , decayLine(sampleRate, T(1), T(0), kNormalDecay)
        , attackLine(sampleRate, T(0), T(1), T(0.01))
        , filter(sampleRate, Biquad<T>::LowPass, kA4 / sampleRate, T(4))
        , pitchLag(sampleRate)
        , cutoffLag(sampleRate)
        , resonanceLag(sampleRate)
        , envModLag(sampleRate)
    {
        filter.computeCoefficients();
    }

    void noteOn(T midiNote, bool accent, bool slide)
    {
        attackLine.restart();
        decayLine.duration = accent ? kAccentDecay : kNormalDecay;
        slideTime = slide ? kSlide : kNormalSlide;
        accentGain = accent ? kAccentGain : T(1);
        note = midiNote;
        decayLine.restart();
    }

    // Restarts the decay from full level as a short fade.
    void noteOff()
    {
        decayLine.duration = kNoteOffDecay;
        decayLine.restart();
    }

    T tick() override
    {
        const Step step = advance();
        if (step.redesign) {
            typename Biquad<T>::Design design;
            if (filter.designWith(step.frequency, step.q, tanPi, design))
                filter.use(design);
        }
        return saturate(T(4) * filter.process(step.input));
    }

    // The samples of `frames` ticks, worked out in passes over short chunks: first the
    // envelopes, smoothers and oscillator, then the filter designs, which no longer wait
    // on one another or on the filter, then the filter and the saturator.
    void render(T* out, qsizetype frames)
    {
        for (qsizetype done = 0; done < frames;) {
            const qsizetype n = std::min(frames - done, kChunk);
            renderChunk(out + done, n);
            done += n;
        }
    }

    T sampleRate;
    Pulse<T> pulse;
    Saw<T> saw;
    Line<T> decayLine;
    Line<T> attackLine;
    Biquad<T> filter;
    Lag<T> pitchLag;
    Lag<T> cutoffLag;
    Lag<T> resonanceLag;
    Lag<T> envModLag;
    T note = T(0); // MIDI note number the pitch glides to
    T slideTime = kNormalSlide; // seconds
    int waveform = 0; // 0 saw, otherwise pulse
    T accentGain = T(1);
    T cutoff = T(8); // multiple of the note frequency
    T resonance = T(4); // filter Q
    T envMod = T(1);

private:
    static constexpr T kA4 = T(440);
    static constexpr qsizetype kChunk = 64;

    // One sample's controls: the filter's input and, when they changed, its settings.
    struct Step {
        T input;
        T frequency;
        T q;
        bool redesign;
    };

    static T tanPi(T f)
    {
        if constexpr (kReference)
            return std::tan(std::numbers::pi_v<T> * f);
        else
            return T(fastMath::tanPi(f));
    }

    static T saturate(T y)
    {
        if constexpr (kReference)
            return std::tanh(y);
        else
            return T(fastMath::tanh(y));
    }

    // Inlined into the chunk loop, so its record never passes through memory. With
    // `controlsSettled` the cutoff, resonance and modulation smoothers are known to
    // stand still, and their steps, which would change nothing, are left out.
    [[gnu::always_inline]] Step advance(bool controlsSettled = false)
    {
        const T a = decayLine.tick();
        const T b = attackLine.tick();

        prime(pitchLag, note);
        if (slideTime > T(0))
            follow(pitchLag, note, slideTime, m_pitchRest);
        if (pitchLag.value != m_pitch)
            setPitch(pitchLag.value);

        if (!controlsSettled) {
            prime(cutoffLag, cutoff);
            follow(cutoffLag, cutoff, kControlLag, m_cutoffRest);
            prime(resonanceLag, resonance);
            follow(resonanceLag, resonance, kControlLag, m_resonanceRest);
            prime(envModLag, envMod);
            follow(envModLag, envMod, kControlLag, m_envModRest);
        }

        const T normalized
            = (envModLag.value * a * b * cutoffLag.value * m_frequency * accentGain + T(20))
            / sampleRate;
        // Once the envelope has ended and the smoothers have settled, the same
        // coefficients would be designed again; skip that.
        const bool redesign
            = normalized != m_designedFrequency || resonanceLag.value != m_designedQ;
        if (redesign) {
            m_designedFrequency = normalized;
            m_designedQ = resonanceLag.value;
        }
        const T o = waveform ? pulse.tick() : saw.tick();
        return { o * a * b * accentGain, normalized, resonanceLag.value, redesign };
    }

    // The chunk's inputs and designs, and the filter during its pass, live on the stack:
    // a store into a member array could be any member, which would then be read again
    // after every sample.
    void renderChunk(T* out, qsizetype n)
    {
        std::array<T, kChunk> input;
        std::array<Pending, kChunk> designs;
        qsizetype count = 0;
        // Only a row changes the settings, so smoothers at rest stay so for the chunk.
        const bool controlsSettled = settled(cutoffLag, cutoff, m_cutoffRest)
            && settled(resonanceLag, resonance, m_resonanceRest)
            && settled(envModLag, envMod, m_envModRest);
        for (qsizetype i = 0; i < n; ++i) {
            const Step step = advance(controlsSettled);
            input[i] = step.input;
            if (step.redesign) {
                // Field by field: a whole record built on the stack and copied in
                // stalls on its own stores.
                Pending& d = designs[count++];
                d.at = i;
                d.frequency = step.frequency;
                d.q = step.q;
            }
        }
        for (qsizetype j = 0; j < count; ++j) {
            Pending& d = designs[j];
            d.valid = filter.designWith(d.frequency, d.q, tanPi, d.design);
        }
        Biquad<T> section = filter;
        for (qsizetype i = 0, j = 0; i < n; ++i) {
            if (j < count && designs[j].at == i) {
                if (designs[j].valid)
                    section.use(designs[j].design);
                ++j;
            }
            out[i] = T(4) * section.process(input[i]);
        }
        filter = section;
        if constexpr (kReference) {
            for (qsizetype i = 0; i < n; ++i)
                out[i] = saturate(out[i]);
        } else {
            fastMath::tanh(out, out, std::size_t(n));
        }
    }

    // A smoothing step whose result equalled its starting value changes nothing again
    // until the input or the time constant changes, so it can be skipped.
    struct Rest {
        bool still = false;
        T input = T(0);
        T seconds = T(0);
    };

    static void prime(Lag<T>& lag, T x)
    {
        if (!lag.primed) {
            lag.value = x;
            lag.primed = true;
        }
    }
    // Whether prime() and a follow() towards `x` at the control lag would leave the lag
    // as it is.
    static bool settled(const Lag<T>& lag, T x, const Rest& rest)
    {
        return lag.primed && rest.still && x == rest.input && kControlLag == rest.seconds;
    }
    static void follow(Lag<T>& lag, T x, T seconds, Rest& rest)
    {
        if (rest.still && x == rest.input && seconds == rest.seconds)
            return;
        const T next = lag.value + (x - lag.value) / (lag.sampleRate * seconds);
        rest = { next == lag.value, x, seconds };
        lag.value = next;
    }

    void setPitch(T pitch)
    {
        m_pitch = pitch;
        if constexpr (kReference)
            m_frequency = kA4 * std::pow(T(2), (pitch - T(69)) / T(12));
        else
            m_frequency = kA4 * std::exp2((pitch - T(69)) / T(12));
        pulse.setFrequency(m_frequency);
        saw.increment = m_frequency / saw.sampleRate;
    }

    T m_pitch = std::numeric_limits<T>::quiet_NaN();
    T m_frequency = kA4;
    T m_designedFrequency = std::numeric_limits<T>::quiet_NaN();
    T m_designedQ = std::numeric_limits<T>::quiet_NaN();
    Rest m_pitchRest;
    Rest m_cutoffRest;
    Rest m_resonanceRest;
    Rest m_envModRest;

    // A design worked out ahead of the filter, for the chunk's sample `at`.
    struct Pending {
        qsizetype at;
        T frequency;
        T q;
        typename Biquad<T>::Design design;
        bool valid = false;
    };
};
