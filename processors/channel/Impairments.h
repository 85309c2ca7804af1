#pragma once

#include "core/EngineRate.h"
#include "processors/channel/ChannelRandom.h"
#include "processors/units/Biquad.h"
#include "processors/units/DelayLine.h"
#include "processors/units/EnvelopeFollower.h"

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

// The stages of a poor transmission channel. Each single-impairment processor drives one
// of them and the channel strip chains them all, so every stage and its lane mappings exist
// once. A stage is off at construction and passes the signal unchanged until its first
// lane switches it on; `apply...` takes a lane value that is present and not empty.

// The rate the impairments are built for.
inline constexpr double kChannelRate = kEngineRate;

// Added white noise at a signal-to-noise ratio of 1 to 60 dB below full scale.
struct WhiteNoiseImpairment {
    static constexpr quint32 kSeed = 42;

    explicit WhiteNoiseImpairment(quint32 seed = kSeed)
        : random(seed)
    {
    }

    void applySnr(quint32 v);
    double process(double x) { return enabled ? x + sigma * random.normal() : x; }

    double sigma = 0.1;
    double snrDb = 20.0;
    bool enabled = false;
    ChannelRandom random;
};

// Added pink noise by summing sixteen held random rows: row k is redrawn when the sample
// count has k trailing zero bits, so each row changes half as often as the one below.
struct PinkNoiseImpairment {
    static constexpr int kRows = 16;

    explicit PinkNoiseImpairment(quint32 seed)
        : random(seed)
    {
    }

    void applySnr(quint32 v);
    double process(double x) { return enabled ? x + amplitude * next() : x; }
    double next();

    std::array<double, kRows> rows {};
    double sum = 0.0;
    quint32 counter = 0;
    double amplitude = 0.1;
    double snrDb = 20.0;
    bool enabled = false;
    ChannelRandom random;
};

// One reflection up to 0.1 s late; the line holds the dry signal, so nothing feeds back.
struct EchoImpairment {
    static constexpr quint32 kMaxDelay = 4410; // 0.1 s

    EchoImpairment()
        : line(kMaxDelay)
    {
    }

    void applyDelay(quint32 v);
    void applyGain(quint32 v);
    void clear();

    double process(double x)
    {
        if (!enabled || delaySamples < 1)
            return x;
        const double e = line.delayed(delaySamples);
        line.push(x);
        return x + gain * e;
    }

    DelayLine<double> line;
    quint32 delaySamples = 0;
    double gain = 0.0;
    bool enabled = false;
};

// Speaker distortion: even and odd harmonics ahead of a tanh.
struct DistortionImpairment {
    void applyDrive(quint32 v);

    double process(double x) const
    {
        if (!enabled || drive <= 0.0)
            return x;
        return std::tanh(x + drive * (0.5 * x * x + 0.3 * x * x * x));
    }

    double drive = 0.0;
    bool enabled = false;
};

// Volume loss of up to 40 dB.
struct AttenuationImpairment {
    void applyGainDb(quint32 v);
    double process(double x) const { return enabled ? x * linearGain : x; }

    double gainDb = 0.0;
    double linearGain = 1.0;
    bool enabled = false;
};

// Hard clipping at ±threshold.
struct ClippingImpairment {
    void applyThreshold(quint32 v);
    double process(double x) const { return enabled ? std::clamp(x, -threshold, threshold) : x; }

    double threshold = 1.0;
    bool enabled = false;
};

struct DCOffsetImpairment {
    void applyOffset(quint32 v);
    double process(double x) const { return enabled ? x + offset : x; }

    double offset = 0.0;
    bool enabled = false;
};

// Whether a stage would hand a whole block on unchanged, its state untouched: stages that
// can tell cheaply say so, and their block is then skipped.
template <class Stage> bool passesThrough(const Stage& stage)
{
    if constexpr (requires { stage.passesThrough(); })
        return stage.passesThrough();
    else
        return false;
}

// Random silences: a trigger silences its own sample and `burst` more.
struct DropoutImpairment {
    static constexpr quint32 kSeed = 77;

    explicit DropoutImpairment(quint32 seed = kSeed)
        : random(seed)
    {
    }

    void applyRate(quint32 v);
    void applyBurst(quint32 v);

    // Switched off, it hands every sample on and draws nothing.
    bool passesThrough() const { return !enabled; }

    double process(double x)
    {
        if (!enabled)
            return x;
        if (remaining >= 1) {
            --remaining;
            return 0.0;
        }
        if (random.uniform() < rate) {
            remaining = burst;
            return 0.0;
        }
        return x;
    }

    double rate = 0.0; // per sample
    quint32 burst = 1;
    quint32 remaining = 0;
    bool enabled = false;
    ChannelRandom random;
};

// An interfering sine of 20 Hz to 20 kHz.
struct ToneImpairment {
    explicit ToneImpairment(double sampleRate)
        : sampleRate(sampleRate)
    {
    }

    void applyFrequency(quint32 v);
    void applyAmplitude(quint32 v);

    double process(double x)
    {
        if (!enabled || amplitude <= 0.0 || frequency <= 0.0)
            return x;
        phase += increment;
        if (phase > kTwoPi)
            phase -= kTwoPi;
        return x + amplitude * std::sin(phase);
    }

    static constexpr double kTwoPi = 2.0 * std::numbers::pi;

    double sampleRate;
    double frequency = 0.0;
    double increment = 0.0; // radians per sample at `frequency`
    double amplitude = 0.0;
    double phase = 0.0;
    bool enabled = false;
};

// A delay that drifts by `velocity` samples per sample: a small constant pitch shift,
// read half a ring behind the writer and jumping back a whole ring when it wraps.
struct DopplerImpairment {
    static constexpr qint64 kLength = 2048;

    DopplerImpairment()
        : line(kLength)
    {
    }

    void applyVelocity(quint32 v);
    void clear();

    double process(double x)
    {
        if (!enabled)
            return x;
        line.push(x);
        readOffset += velocity;
        // The read point only drifts forward (the velocity is never negative), and the
        // whole rings it has drifted drop out in the line's mask.
        const double p = double(kLength / 2) + readOffset;
        const double whole = std::floor(p);
        const double f = p - whole;
        const auto back = quint64(whole);
        return line.delayed(back + 1) * (1.0 - f) + line.delayed(back) * f;
    }

    DelayLine<double> line;
    double velocity = 0.0;
    double readOffset = 0.0;
    bool enabled = false;
};

// Band limiting by two shelves that cut `shelfDb` below the low and above the high corner.
struct FreqAttenImpairment {
    explicit FreqAttenImpairment(double sampleRate);

    void applyLowCut(quint32 v);
    void applyHighCut(quint32 v);

    double process(double x)
    {
        if (!enabled)
            return x;
        if (lowCut > 0.0)
            x = lowShelf.process(x);
        if (highCut > 0.0 && highCut < sampleRate / 2.0)
            x = highShelf.process(x);
        return x;
    }

    double sampleRate;
    double lowCut = 0.0; // Hz
    double highCut = 0.0; // Hz
    double shelfDb = 6.0;
    Biquad<double> lowShelf;
    Biquad<double> highShelf;
    bool enabled = false;

private:
    void redesign(Biquad<double>& shelf, double cornerHz);
};

// The pumping of a fast automatic gain control that pulls every level towards `target`.
struct AGCPumpImpairment {
    explicit AGCPumpImpairment(double sampleRate);

    void applyAttack(quint32 v);
    void applyRelease(quint32 v);

    double process(double x)
    {
        if (!enabled)
            return x;
        // One non-finite input would otherwise hold the envelope, and the gain, for good.
        if (!std::isfinite(follower.follow(std::abs(x))))
            follower.env = 0.0;
        const double g
            = follower.env > kQuiet ? std::clamp(target / follower.env, kMinGain, kMaxGain) : 1.0;
        gain = kGainKeep * gain + kGainTake * g;
        return gain * x;
    }

    static constexpr double kQuiet = 0.0001;
    static constexpr double kMinGain = 0.1;
    static constexpr double kMaxGain = 10.0;
    // The gain moves a hundredth of the way to g per sample.
    static constexpr double kGainKeep = 0.99;
    static constexpr double kGainTake = 0.01;

    double sampleRate;
    double attackMs = 5.0;
    double releaseMs = 300.0;
    EnvelopeFollower<double> follower; // attack and release coefficients and the envelope
    double target = 0.5;
    double gain = 1.0;
    bool enabled = false;
};
