#include "processors/io/MixerStrip.h"

#include <QString>

#include <cmath>

namespace {

constexpr double kGainDbPerStep = 0.25;
constexpr double kShelfDb = 12.0;
constexpr double kButterworthQ = 0.7071067811865476;
constexpr double kRampSeconds = 0.005;

struct Sweep {
    double from;
    double to;
};
constexpr Sweep kHighPassSweep { 20.0, 5000.0 };
constexpr Sweep kLowPassSweep { 20000.0, 500.0 };
constexpr double kLowShelfHz = 120.0;
constexpr double kHighShelfHz = 6000.0;

double amount(int dial)
{
    return std::abs(dial) / double(StripDials::kMax);
}

// Exponential, so equal dial steps are equal musical intervals.
double sweep(const Sweep& range, int dial)
{
    return range.from * std::pow(range.to / range.from, amount(dial));
}

Biquad<double> section(int dial, double sampleRate, Biquad<double>::Type filter,
    Biquad<double>::Type shelf, const Sweep& range, double shelfHz)
{
    Biquad<double> biquad;
    if (dial == 0)
        return biquad; // a pass-through until designed
    const bool filtering = dial > 0;
    biquad = Biquad<double>(sampleRate, filtering ? filter : shelf,
        (filtering ? sweep(range, dial) : shelfHz) / sampleRate, kButterworthQ,
        filtering ? 0.0 : amount(dial) * kShelfDb);
    biquad.computeCoefficients();
    return biquad;
}

} // namespace

bool StripDials::valid() const
{
    for (const qint32 dial : { gain, highPass, lowPass })
        if (dial < kMin || dial > kMax)
            return false;
    return true;
}

namespace stripdials {

double gainDb(int dial)
{
    return dial * kGainDbPerStep;
}

Biquad<double> highPassSection(int dial, double sampleRate)
{
    return section(dial, sampleRate, Biquad<double>::HighPass, Biquad<double>::LowShelf,
        kHighPassSweep, kLowShelfHz);
}

Biquad<double> lowPassSection(int dial, double sampleRate)
{
    return section(dial, sampleRate, Biquad<double>::LowPass, Biquad<double>::HighShelf,
        kLowPassSweep, kHighShelfHz);
}

QString describe(Dial dial, int value)
{
    const auto db = [](double v) { return QString::asprintf("%+.1f dB", v); };
    if (dial == Dial::Gain)
        return db(gainDb(value));
    if (value == 0)
        return QStringLiteral("Flat");
    const bool high = dial == Dial::HighPass;
    if (value < 0)
        return (high ? QStringLiteral("Low shelf ") : QStringLiteral("High shelf "))
            + db(amount(value) * kShelfDb);
    const double hz = sweep(high ? kHighPassSweep : kLowPassSweep, value);
    return (high ? QStringLiteral("High-pass %1 Hz") : QStringLiteral("Low-pass %1 Hz"))
        .arg(qRound(hz));
}

} // namespace stripdials

MixerStrip::MixerStrip(int sampleRate)
    : m_sampleRate(sampleRate)
    , m_gain { 1.0, fullSwingStep(sampleRate, kRampSeconds) }
{
}

void MixerStrip::setDials(const StripDials& dials)
{
    if (!dials.valid() || dials == m_dials)
        return;
    const bool refilter = dials.highPass != m_dials.highPass || dials.lowPass != m_dials.lowPass;
    m_dials = dials;
    m_targetGain = std::pow(10.0, stripdials::gainDb(dials.gain) / 20.0);
    if (refilter)
        design();
}

void MixerStrip::setSampleRate(int hz)
{
    if (hz == m_sampleRate)
        return;
    m_sampleRate = hz;
    m_gain.step = fullSwingStep(hz, kRampSeconds);
    design();
}

// New coefficients keep the running state, so a turn of the dial does not restart the filter.
void MixerStrip::design()
{
    const auto redesign = [](Biquad<double>& into, int dial, Biquad<double> designed) {
        if (dial != 0) {
            designed.s1 = into.s1;
            designed.s2 = into.s2;
        }
        into = designed;
    };
    const double rate = m_sampleRate > 0 ? m_sampleRate : kEngineRate;
    redesign(m_highPass, m_dials.highPass, stripdials::highPassSection(m_dials.highPass, rate));
    redesign(m_lowPass, m_dials.lowPass, stripdials::lowPassSection(m_dials.lowPass, rate));
}

void MixerStrip::process(double* samples, quint64 frames)
{
    // Flat and settled: not one sample changes, not even by rounding.
    if (m_dials.flat() && m_gain.level == 1.0)
        return;
    const bool highPass = m_dials.highPass != 0;
    const bool lowPass = m_dials.lowPass != 0;
    for (quint64 i = 0; i < frames; ++i) {
        double x = samples[i] * m_gain.next(m_targetGain);
        if (highPass)
            x = m_highPass.process(x);
        if (lowPass)
            x = m_lowPass.process(x);
        samples[i] = x;
    }
}
