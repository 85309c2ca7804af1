#pragma once

#include "core/EngineRate.h"
#include "processors/units/FastMath.h"
#include "processors/units/Unit.h"

#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

// Automatic gain control: raises quiet material towards a target peak, never beyond
// maxGain, and ends in a soft limiter that keeps the output inside ±1. kReference bends
// the limiter with std::tanh, as the measure for the fast one.
template <class T, bool kReference = false> class AgcUnit final : public Unit<T> {
public:
    enum Mode : quint32 { Off, Normal, FreezeOnSignal, BlockRms, PrimerLocked };
    enum PrimeState : quint32 { Idle, Priming, Locked };

    struct Config {
        T sampleRate = T(kEngineRate);
        T target = T(0.8);
        T attackMs = T(1);
        T releaseMs = T(300);
        T maxGain = T(50);
        T threshold = T(0.005); // the level above which a signal is present
        T outputGain = T(1);
        quint32 mode = FreezeOnSignal;
        quint32 blockLength = 1024;
        T blockSmoothing = T(0.1);
        quint32 primeSamples = 4410;
        quint32 primeReleaseSamples = 8820;
    };

    static constexpr int kHistoryCapacity = 200;
    static constexpr quint32 kHistoryDecimation = 512;

    explicit AgcUnit(const Config& config = Config())
    {
        history.reserve(kHistoryCapacity);
        configure(config);
    }

    // Takes a whole configuration and starts the gain afresh.
    void configure(const Config& newConfig)
    {
        config = newConfig;
        updateCoefficients();
        reset();
    }

    // One-pole coefficient for a time constant of `ms` milliseconds.
    T coefficientFor(T ms) const
    {
        return T(1) - std::exp(T(-1) / std::max(T(1), ms * T(0.001) * config.sampleRate));
    }
    void updateCoefficients()
    {
        attackCoeff = coefficientFor(config.attackMs);
        releaseCoeff = coefficientFor(config.releaseMs);
    }

    // Drops the level and primer state; the history is kept.
    void reset()
    {
        slowLevel = T(0);
        peakEnv = kInitialPeak;
        gain = T(1);
        blockSum = T(0);
        blockCount = 0;
        primeState = Idle;
        primeCountdown = 0;
        silenceCount = 0;
        meanSquare = T(0);
    }

    T process(T x)
    {
        const T a = std::abs(x);
        slowLevel += (a - slowLevel) * kSlowRate;
        const bool present = slowLevel > config.threshold;
        const T y = gained(x, a, present);
        record();
        return softLimit(y);
    }

    T tick() override { return process(T(0)); }

    // Half of full scale passes untouched; above it the curve bends towards ±1 without
    // reaching it.
    static T softLimit(T y)
    {
        const T magnitude = std::abs(y);
        if (magnitude <= kKnee)
            return y;
        T curve;
        if constexpr (kReference)
            curve = std::tanh(T(2) * (magnitude - kKnee));
        else
            curve = T(fastMath::tanh(T(2) * (magnitude - kKnee)));
        const T bent = kKnee + kKnee * curve;
        // Far above the knee tanh rounds to 1, so the curve is held below full scale.
        return std::copysign(std::min(bent, kBelowFullScale), y);
    }

    Config config;
    T peakEnv = kInitialPeak;
    T slowLevel = T(0);
    T gain = T(1);
    T attackCoeff = T(0);
    T releaseCoeff = T(0);
    T blockSum = T(0);
    quint32 blockCount = 0;
    quint32 primeState = Idle;
    qint32 primeCountdown = 0; // signed: a priming of zero samples locks at once
    quint32 silenceCount = 0;
    T meanSquare = T(0);
    std::vector<T> history; // the gain every kHistoryDecimation samples, at most 200 entries
    quint32 historyDecimation = kHistoryDecimation;
    quint32 historyCounter = 0;

private:
    static constexpr T kInitialPeak = T(0.01);
    static constexpr T kSlowRate = T(0.001);
    static constexpr T kMinPeak = T(1e-6);
    static constexpr T kMinBlockRms = T(1e-8);
    static constexpr T kMeanSquareWindow = T(64);
    static constexpr T kMinMeanSquare = T(1e-12);
    static constexpr T kMinPrimeRms = T(1e-6);
    static constexpr T kSineRms = T(0.707); // a sine's rms against its peak
    static constexpr T kKnee = T(0.5);
    static constexpr T kBelowFullScale = T(1) - std::numeric_limits<T>::epsilon() / T(2);

    T gained(T x, T a, bool present)
    {
        switch (config.mode) {
        case Off:
            return config.outputGain * x;
        case Normal:
        case FreezeOnSignal:
            followPeak(a, present);
            return gain * x * config.outputGain;
        case BlockRms: {
            const T y = gain * x * config.outputGain;
            accumulateBlock(x);
            return y;
        }
        case PrimerLocked:
        default:
            prime(x, present);
            return gain * x * config.outputGain;
        }
    }

    void followPeak(T a, bool present)
    {
        if (present) {
            peakEnv += (a - peakEnv) * (a > peakEnv ? attackCoeff : releaseCoeff);
            peakEnv = std::max(peakEnv, kMinPeak);
        }
        const T g = std::min(config.maxGain, config.target / peakEnv);
        // Frozen while a signal plays: the gain may only fall.
        if (config.mode == FreezeOnSignal && present) {
            if (g < gain)
                gain = g;
        } else {
            gain = g;
        }
    }

    T clampedGain(T wanted) const { return std::max(T(1), std::min(config.maxGain, wanted)); }

    void accumulateBlock(T x)
    {
        blockSum += x * x;
        if (++blockCount < config.blockLength)
            return;
        const T rms = std::sqrt(blockSum / T(blockCount));
        if (rms > kMinBlockRms) {
            gain = clampedGain(config.target / rms) * config.blockSmoothing
                + (T(1) - config.blockSmoothing) * gain;
        }
        blockSum = T(0);
        blockCount = 0;
    }

    void prime(T x, bool present)
    {
        meanSquare += (x * x - meanSquare) / kMeanSquareWindow;
        const T rms = std::sqrt(std::max(meanSquare, kMinMeanSquare));
        if (present && primeState == Idle) {
            primeState = Priming;
            primeCountdown = qint32(
                std::min<quint32>(config.primeSamples, std::numeric_limits<qint32>::max()));
        }
        if (primeState == Priming) {
            if (rms > kMinPrimeRms)
                gain += (clampedGain(config.target * kSineRms / rms) - gain) * attackCoeff;
            if (--primeCountdown <= 0)
                primeState = Locked;
        }
        if (!present && primeState != Idle) {
            if (++silenceCount >= config.primeReleaseSamples) {
                primeState = Idle;
                silenceCount = 0;
            }
        } else {
            silenceCount = 0;
        }
    }

    void record()
    {
        if (++historyCounter < historyDecimation)
            return;
        historyCounter = 0;
        if (history.size() < std::size_t(kHistoryCapacity))
            history.push_back(gain);
    }
};
