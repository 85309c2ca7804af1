#include "processors/channel/Impairments.h"
#include "processors/effects/LaneScale.h"

#include <bit>

namespace {

// SNR lanes span 1 to 60 dB.
constexpr double kMinSnrDb = 1.0;
constexpr double kSnrSpanDb = 59.0;
constexpr double kMaxLossDb = 40.0;
constexpr double kClipSpan = 0.95;
constexpr double kMinClipLane = 0.05;
constexpr double kMinClip = 0.01;
constexpr double kMaxOffset = 0.2;
constexpr double kMaxDropoutRate = 0.1;
constexpr double kMinToneHz = 20.0;
constexpr double kToneSpanHz = 19980.0;
constexpr double kMaxVelocity = 0.01;
constexpr double kLowCornerSpanHz = 2000.0;
constexpr double kMinHighCornerHz = 2000.0;
constexpr double kHighCornerSpanHz = 18000.0;
constexpr double kLowShelfHz = 200.0;
constexpr double kHighShelfHz = 8000.0;
constexpr double kShelfQ = 0.707;
constexpr double kMinAttackMs = 0.5;
constexpr double kAttackSpanMs = 99.5;
constexpr double kMinReleaseMs = 10.0;
constexpr double kReleaseSpanMs = 1990.0;

// The first lane's rule: 0 switches the stage off and keeps its amount, anything else
// switches it on and sets the amount.
template <class SetAmount> void switchOn(bool& enabled, quint32 v, SetAmount setAmount)
{
    enabled = v != 0;
    if (enabled)
        setAmount();
}

double snrDbFor(quint32 v)
{
    return laneScale::byte(v) * kSnrSpanDb + kMinSnrDb;
}

double amplitudeBelowFullScale(double db)
{
    return std::pow(10.0, -db / 20.0);
}

} // namespace

void WhiteNoiseImpairment::applySnr(quint32 v)
{
    switchOn(enabled, v, [&] {
        snrDb = snrDbFor(v);
        sigma = amplitudeBelowFullScale(snrDb);
    });
}

void PinkNoiseImpairment::applySnr(quint32 v)
{
    switchOn(enabled, v, [&] {
        snrDb = snrDbFor(v);
        amplitude = amplitudeBelowFullScale(snrDb);
    });
}

double PinkNoiseImpairment::next()
{
    ++counter;
    const int k = counter < 1 ? 0 : std::min(std::countr_zero(counter), kRows - 1);
    sum -= rows[k];
    const double r = 2.0 * random.uniform() - 1.0;
    sum += r;
    rows[k] = r;
    return (2.0 * random.uniform() - 1.0 + sum) / double(kRows + 1);
}

void EchoImpairment::applyDelay(quint32 v)
{
    switchOn(enabled, v, [&] {
        delaySamples = std::min(kMaxDelay, 1 + quint32(laneScale::word(v) * (kMaxDelay - 1)));
    });
}

void EchoImpairment::applyGain(quint32 v)
{
    gain = laneScale::byte(v);
}

void EchoImpairment::clear()
{
    line.clear();
}

void DistortionImpairment::applyDrive(quint32 v)
{
    switchOn(enabled, v, [&] { drive = laneScale::byte(v); });
}

void AttenuationImpairment::applyGainDb(quint32 v)
{
    switchOn(enabled, v, [&] {
        gainDb = -(laneScale::byte(v) * kMaxLossDb);
        linearGain = std::pow(10.0, gainDb / 20.0);
    });
}

void ClippingImpairment::applyThreshold(quint32 v)
{
    switchOn(enabled, v,
        [&] { threshold = std::max(kMinClip, laneScale::byte(v) * kClipSpan + kMinClipLane); });
}

void DCOffsetImpairment::applyOffset(quint32 v)
{
    switchOn(enabled, v, [&] { offset = laneScale::byte(v) * kMaxOffset; });
}

void DropoutImpairment::applyRate(quint32 v)
{
    switchOn(enabled, v, [&] { rate = laneScale::byte(v) * kMaxDropoutRate; });
}

void DropoutImpairment::applyBurst(quint32 v)
{
    burst = v + 1;
}

void ToneImpairment::applyFrequency(quint32 v)
{
    switchOn(enabled, v, [&] {
        frequency = laneScale::word(v) * kToneSpanHz + kMinToneHz;
        increment = kTwoPi * frequency / sampleRate;
    });
}

void ToneImpairment::applyAmplitude(quint32 v)
{
    amplitude = laneScale::byte(v);
}

void DopplerImpairment::applyVelocity(quint32 v)
{
    switchOn(enabled, v, [&] { velocity = laneScale::byte(v) * kMaxVelocity; });
}

void DopplerImpairment::clear()
{
    line.clear();
    readOffset = 0.0;
}

FreqAttenImpairment::FreqAttenImpairment(double sampleRate)
    : sampleRate(sampleRate)
    , lowShelf(sampleRate, Biquad<double>::LowShelf, kLowShelfHz / sampleRate, kShelfQ, -shelfDb)
    , highShelf(sampleRate, Biquad<double>::HighShelf, kHighShelfHz / sampleRate, kShelfQ, -shelfDb)
{
    lowShelf.computeCoefficients();
    highShelf.computeCoefficients();
}

// Both lanes switch the stage on, even at 0: a zero low corner only bypasses its shelf.
void FreqAttenImpairment::applyLowCut(quint32 v)
{
    enabled = true;
    lowCut = laneScale::word(v) * kLowCornerSpanHz;
    redesign(lowShelf, lowCut);
}

void FreqAttenImpairment::applyHighCut(quint32 v)
{
    enabled = true;
    highCut = laneScale::word(v) * kHighCornerSpanHz + kMinHighCornerHz;
    redesign(highShelf, highCut);
}

void FreqAttenImpairment::redesign(Biquad<double>& shelf, double cornerHz)
{
    shelf.frequency = cornerHz / sampleRate;
    shelf.q = kShelfQ;
    shelf.gainDb = -shelfDb;
    shelf.computeCoefficients();
    shelf.clearState();
}

AGCPumpImpairment::AGCPumpImpairment(double sampleRate)
    : sampleRate(sampleRate)
{
    follower.attackCoeff = EnvelopeFollower<double>::coefficient(sampleRate, attackMs);
    follower.releaseCoeff = EnvelopeFollower<double>::coefficient(sampleRate, releaseMs);
}

void AGCPumpImpairment::applyAttack(quint32 v)
{
    switchOn(enabled, v, [&] {
        attackMs = laneScale::byte(v) * kAttackSpanMs + kMinAttackMs;
        follower.attackCoeff = EnvelopeFollower<double>::coefficient(sampleRate, attackMs);
    });
}

void AGCPumpImpairment::applyRelease(quint32 v)
{
    releaseMs = laneScale::byte(v) * kReleaseSpanMs + kMinReleaseMs;
    follower.releaseCoeff = EnvelopeFollower<double>::coefficient(sampleRate, releaseMs);
}
