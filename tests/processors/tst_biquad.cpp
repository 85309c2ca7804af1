#include "processors/units/Biquad.h"
#include "processors/units/FastMath.h"

#include "InstrumentTesting.h"

#include <complex>
#include <random>

namespace {

using Filter = Biquad<double>;
using Numbers = QList<double>;

Filter designed(int type, double frequency, double q, double gainDb)
{
    Filter f(44100.0, type, frequency, q, gainDb);
    f.computeCoefficients();
    return f;
}

// |H(e^jw)| of the filter's own coefficients at a normalized frequency.
double responseOf(const Filter& f, double frequency)
{
    const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * frequency);
    const std::complex<double> z2 = z1 * z1;
    return std::abs((f.b0 + f.b1 * z1 + f.b2 * z2) / (1.0 + f.a1 * z1 + f.a2 * z2));
}

const auto gainFactor = [](double gainDb) { return std::pow(10.0, gainDb / 20.0); };

// A shelf's gain at its corner is the geometric middle of its two plateaus.
double shelfCorner(double gainDb)
{
    const double v = gainFactor(std::abs(gainDb));
    const double g = std::sqrt((v * v + 1.0) / 2.0);
    return gainDb < 0 ? 1.0 / g : g;
}

} // namespace

class BiquadTest : public QObject {
    Q_OBJECT

private slots:
    void coefficientsMatchHandDerivedValues_data();
    void coefficientsMatchHandDerivedValues();
    void responseFollowsThePrototype_data();
    void responseFollowsThePrototype();
    void processIsTheDifferenceEquation();
    void decayingStateNeverTurnsDenormal();
    void fastTangentDesignsTheSameSection_data();
    void fastTangentDesignsTheSameSection();
};

// At a quarter of the rate K = tan(pi/4) = 1, and with Q = 1 and V = 2 every entry
// (b0 b1 b2 a1 a2) reduces to a small fraction worked out by hand.
void BiquadTest::coefficientsMatchHandDerivedValues_data()
{
    const instrumentTesting::DataTable<int, double, Numbers> add("type", "gainDb", "expected");
    const double sixDb = 20.0 * std::log10(2.0);
    const double s2 = std::numbers::sqrt2;
    const double shelf = 2.0 + s2;
    add("low pass", Filter::LowPass, 0.0, { 1 / 3., 2 / 3., 1 / 3., 0, 1 / 3. });
    add("high pass", Filter::HighPass, 0.0, { 1 / 3., -2 / 3., 1 / 3., 0, 1 / 3. });
    add("band pass", Filter::BandPass, 0.0, { 1 / 3., 0, -1 / 3., 0, 1 / 3. });
    add("notch", Filter::Notch, 0.0, { 2 / 3., 0, 2 / 3., 0, 1 / 3. });
    add("peaking boost", Filter::Peaking, sixDb, { 4 / 3., 0, 0, 0, 1 / 3. });
    add("peaking cut", Filter::Peaking, -sixDb, { 3 / 4., 0, 1 / 4., 0, 0 });
    add("low shelf boost", Filter::LowShelf, sixDb,
        { 5 / shelf, 2 / shelf, 1 / shelf, 0, (2 - s2) / shelf });
    add("low shelf cut", Filter::LowShelf, -sixDb, { shelf / 5, 0, (2 - s2) / 5, 2 / 5., 1 / 5. });
    add("high shelf boost", Filter::HighShelf, sixDb,
        { 5 / shelf, -2 / shelf, 1 / shelf, 0, (2 - s2) / shelf });
    add("high shelf cut", Filter::HighShelf, -sixDb,
        { shelf / 5, 0, (2 - s2) / 5, -2 / 5., 1 / 5. });
}

void BiquadTest::coefficientsMatchHandDerivedValues()
{
    const auto [type, gainDb, expected]
        = instrumentTesting::fetch<int, double, Numbers>("type", "gainDb", "expected");
    const Filter f = designed(type, 0.25, 1.0, gainDb);
    COMPARE_BLOCKS((Numbers { f.b0, f.b1, f.b2, f.a1, f.a2 }), expected, 1e-12);
}

// Away from a quarter of the rate: the gain at DC, at the corner (which the bilinear
// transform maps exactly from the analog prototype) and at Nyquist.
void BiquadTest::responseFollowsThePrototype_data()
{
    const instrumentTesting::DataTable<int, double, double, double, Numbers> add(
        "type", "corner", "q", "gainDb", "gains");
    const double v = gainFactor(9.0);
    add("low pass", Filter::LowPass, 0.05, 4.0, 0.0, { 1, 4, 0 });
    add("high pass", Filter::HighPass, 0.1, 2.0, 0.0, { 0, 2, 1 });
    add("band pass", Filter::BandPass, 0.1, 3.0, 0.0, { 0, 1, 0 });
    add("notch", Filter::Notch, 0.15, 1.0, 0.0, { 1, 0, 1 });
    add("peaking boost", Filter::Peaking, 0.1, 2.0, 9.0, { 1, v, 1 });
    add("peaking cut", Filter::Peaking, 0.3, 1.5, -9.0, { 1, 1 / v, 1 });
    add("low shelf boost", Filter::LowShelf, 0.05, 9.0, 9.0, { v, shelfCorner(9.0), 1 });
    add("low shelf cut", Filter::LowShelf, 0.05, 0.3, -9.0, { 1 / v, shelfCorner(-9.0), 1 });
    add("high shelf boost", Filter::HighShelf, 0.2, 1.0, 9.0, { 1, shelfCorner(9.0), v });
    add("high shelf cut", Filter::HighShelf, 0.2, 1.0, -9.0, { 1, shelfCorner(-9.0), 1 / v });
}

void BiquadTest::responseFollowsThePrototype()
{
    const auto [type, corner, q, gainDb, gains]
        = instrumentTesting::fetch<int, double, double, double, Numbers>(
            "type", "corner", "q", "gainDb", "gains");
    const Filter f = designed(type, corner, q, gainDb);
    COMPARE_BLOCKS(
        (Numbers { responseOf(f, 0.0), responseOf(f, corner), responseOf(f, 0.5) }), gains, 1e-9);
}

// y[n] = b0 x[n] + b1 x[n-1] + b2 x[n-2] - a1 y[n-1] - a2 y[n-2], on noise. A non-finite
// input clears the state, so the section answers the next input from rest.
void BiquadTest::processIsTheDifferenceEquation()
{
    Filter f = designed(Filter::Peaking, 0.07, 3.0, 7.0);
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (const double x : instrumentTesting::noise(500, 12345)) {
        const double y = f.b0 * x + f.b1 * x1 + f.b2 * x2 - f.a1 * y1 - f.a2 * y2;
        QVERIFY2(std::abs(f.process(x) - y) < 1e-12, qPrintable(QString::number(x)));
        x2 = std::exchange(x1, x);
        y2 = std::exchange(y1, y);
    }
    for (const double bad : { instrumentTesting::kNaN, -instrumentTesting::kInf }) {
        QVERIFY(!std::isfinite(f.process(bad)));
        QCOMPARE(f.process(1.0), f.b0);
    }
}

void BiquadTest::decayingStateNeverTurnsDenormal()
{
    Filter f = designed(Filter::LowPass, 0.01, 0.707, 0.0);
    f.process(1.0);
    for (int n = 0; n < 200000 && (f.s1 != 0.0 || f.s2 != 0.0); ++n) {
        f.tick();
        for (const double s : { f.s1, f.s2 })
            QVERIFY2(s == 0.0 || std::abs(s) >= 1e-18, qPrintable(QString::number(s)));
    }
    QCOMPARE(f.tick(), 0.0);
}

// A design from fastMath::tanPi against std::tan, over the whole clamped frequency range
// on a log scale, with random Q and gain; out-of-range frequencies clamp alike.
void BiquadTest::fastTangentDesignsTheSameSection_data()
{
    const instrumentTesting::DataTable<int> add("type");
    add("low pass", Filter::LowPass);
    add("high pass", Filter::HighPass);
    add("band pass", Filter::BandPass);
    add("notch", Filter::Notch);
    add("peaking", Filter::Peaking);
    add("low shelf", Filter::LowShelf);
    add("high shelf", Filter::HighShelf);
}

void BiquadTest::fastTangentDesignsTheSameSection()
{
    const auto [type] = instrumentTesting::fetch<int>("type");
    std::mt19937_64 random(type);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    double worst = 0.0;
    for (int i = 0; i < 20000; ++i) {
        const double frequency = 1e-5 * std::pow(6e4, unit(random)); // past both clamps
        Filter exact(
            44100.0, type, frequency, 0.1 + 30.0 * unit(random), 48.0 * unit(random) - 24.0);
        Filter fast = exact;
        exact.computeCoefficients();
        fast.computeCoefficientsWith(fastMath::tanPi);
        for (const auto member :
            { &Filter::b0, &Filter::b1, &Filter::b2, &Filter::a1, &Filter::a2 })
            worst = std::max(worst,
                std::abs(fast.*member - exact.*member) / std::max(1.0, std::abs(exact.*member)));
    }
    QVERIFY2(worst < 1e-12, qPrintable(QString::number(worst)));
}

QTEST_GUILESS_MAIN(BiquadTest)
#include "tst_biquad.moc"
