#include "processors/units/Biquad.h"

#include <QtTest>

#include <cmath>
#include <complex>
#include <limits>
#include <numbers>

namespace {

using Filter = Biquad<double>;

constexpr double kPi = std::numbers::pi;
const double kButterworthQ = 1.0 / std::numbers::sqrt2;
// Test tones are whole numbers of cycles in this many samples, so a DFT bin reads
// their amplitude without leakage.
constexpr int kPeriod = 1024;
constexpr int kSettle = 8 * kPeriod;
constexpr int kMeasure = 8 * kPeriod;

double bin(int k)
{
    return double(k) / kPeriod;
}

Filter designed(int type, double frequency, double q, double gainDb)
{
    Filter f(44100.0, type, frequency, q, gainDb);
    f.computeCoefficients();
    return f;
}

// |H(e^jw)| of the filter's own coefficients at a normalized frequency.
double responseOf(const Filter& f, double frequency)
{
    const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * frequency);
    const std::complex<double> z2 = z1 * z1;
    return std::abs((f.b0 + f.b1 * z1 + f.b2 * z2) / (1.0 + f.a1 * z1 + f.a2 * z2));
}

// Steady-state amplitude of the filter's answer to a unit sine.
double measuredGain(Filter f, double frequency)
{
    const double w = 2.0 * kPi * frequency;
    for (int n = 0; n < kSettle; ++n)
        f.process(std::sin(w * n));
    std::complex<double> sum;
    for (int n = kSettle; n < kSettle + kMeasure; ++n)
        sum += f.process(std::sin(w * n)) * std::polar(1.0, -w * n);
    return 2.0 * std::abs(sum) / kMeasure;
}

double gainFactor(double gainDb)
{
    return std::pow(10.0, gainDb / 20.0);
}

} // namespace

class BiquadTest : public QObject {
    Q_OBJECT

private slots:
    void sinesFollowTheResponse_data();
    void sinesFollowTheResponse();
    void coefficientsMatchHandDerivedValues_data();
    void coefficientsMatchHandDerivedValues();
    void clampsAreWrittenBackAndUsed_data();
    void clampsAreWrittenBackAndUsed();
    void unknownTypeKeepsCoefficients_data();
    void unknownTypeKeepsCoefficients();
    void gainTypesAtZeroDecibelsPassTheSignal_data();
    void gainTypesAtZeroDecibelsPassTheSignal();
    void nonFiniteInputResetsTheState_data();
    void nonFiniteInputResetsTheState();
    void decayingStateNeverTurnsDenormal();
};

// Every type, at its corner frequency, has a gain known from its analog prototype
// (the bilinear transform maps the corner exactly); at other frequencies the measured
// gain must match the transfer function of the coefficients, which a wrongly wired
// filtering step fails.
void BiquadTest::sinesFollowTheResponse_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<double>("corner");
    QTest::addColumn<double>("q");
    QTest::addColumn<double>("gainDb");
    QTest::addColumn<double>("gainAtCorner");

    const auto shelfCorner = [](double db) {
        const double v = gainFactor(std::abs(db));
        const double g = std::sqrt((v * v + 1.0) / 2.0);
        return db < 0 ? 1.0 / g : g;
    };
    QTest::newRow("low-pass Butterworth") << 0 << bin(51) << kButterworthQ << 0.0 << kButterworthQ;
    QTest::newRow("low-pass resonant") << 0 << bin(205) << 4.0 << 0.0 << 4.0;
    QTest::newRow("high-pass") << 1 << bin(102) << 2.0 << 0.0 << 2.0;
    QTest::newRow("band-pass") << 2 << bin(102) << 3.0 << 0.0 << 1.0;
    QTest::newRow("notch") << 3 << bin(154) << 1.0 << 0.0 << 0.0;
    QTest::newRow("peaking boost") << 4 << bin(102) << 2.0 << 6.0 << gainFactor(6.0);
    QTest::newRow("peaking cut") << 4 << bin(102) << 1.5 << -9.0 << gainFactor(-9.0);
    QTest::newRow("low shelf boost") << 5 << bin(51) << 9.0 << 6.0 << shelfCorner(6.0);
    QTest::newRow("low shelf cut") << 5 << bin(51) << 0.3 << -6.0 << shelfCorner(-6.0);
    QTest::newRow("high shelf boost") << 6 << bin(205) << 1.0 << 9.0 << shelfCorner(9.0);
    QTest::newRow("high shelf cut") << 6 << bin(205) << 1.0 << -6.0 << shelfCorner(-6.0);
}

void BiquadTest::sinesFollowTheResponse()
{
    QFETCH(int, type);
    QFETCH(double, corner);
    QFETCH(double, q);
    QFETCH(double, gainDb);
    QFETCH(double, gainAtCorner);

    const Filter f = designed(type, corner, q, gainDb);
    QVERIFY2(std::abs(measuredGain(f, corner) - gainAtCorner) < 1e-6,
        qPrintable(QString::number(measuredGain(f, corner))));
    for (const int k : { 3, 20, 51, 102, 154, 205, 307, 400, 461, 500 }) {
        const double expected = responseOf(f, bin(k));
        const double measured = measuredGain(f, bin(k));
        QVERIFY2(std::abs(measured - expected) < 1e-6 * std::max(1.0, expected),
            qPrintable(
                QString("bin %1: measured %2, expected %3").arg(k).arg(measured).arg(expected)));
    }
}

// At a quarter of the rate K = tan(pi/4) = 1, and with Q = 1 and V = 2 every table
// entry reduces to a small fraction worked out by hand.
void BiquadTest::coefficientsMatchHandDerivedValues_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<double>("gainDb");
    QTest::addColumn<QList<double>>("expected"); // b0 b1 b2 a1 a2

    const double sixDb = 20.0 * std::log10(2.0);
    const double s2 = std::numbers::sqrt2;
    const double shelf = 2.0 + s2;
    QTest::newRow("low-pass") << 0 << 0.0 << QList<double> { 1 / 3., 2 / 3., 1 / 3., 0, 1 / 3. };
    QTest::newRow("high-pass") << 1 << 0.0 << QList<double> { 1 / 3., -2 / 3., 1 / 3., 0, 1 / 3. };
    QTest::newRow("band-pass") << 2 << 0.0 << QList<double> { 1 / 3., 0, -1 / 3., 0, 1 / 3. };
    QTest::newRow("notch") << 3 << 0.0 << QList<double> { 2 / 3., 0, 2 / 3., 0, 1 / 3. };
    QTest::newRow("peaking +6") << 4 << sixDb << QList<double> { 4 / 3., 0, 0, 0, 1 / 3. };
    QTest::newRow("peaking -6") << 4 << -sixDb << QList<double> { 3 / 4., 0, 1 / 4., 0, 0 };
    QTest::newRow("low shelf +6") << 5 << sixDb
                                  << QList<double> { 5 / shelf, 2 / shelf, 1 / shelf, 0,
                                         (2 - s2) / shelf };
    QTest::newRow("low shelf -6") << 5 << -sixDb
                                  << QList<double> { shelf / 5, 0, (2 - s2) / 5, 2 / 5., 1 / 5. };
    QTest::newRow("high shelf +6")
        << 6 << sixDb << QList<double> { 5 / shelf, -2 / shelf, 1 / shelf, 0, (2 - s2) / shelf };
    QTest::newRow("high shelf -6")
        << 6 << -sixDb << QList<double> { shelf / 5, 0, (2 - s2) / 5, -2 / 5., 1 / 5. };
}

void BiquadTest::coefficientsMatchHandDerivedValues()
{
    QFETCH(int, type);
    QFETCH(double, gainDb);
    QFETCH(QList<double>, expected);

    const Filter f = designed(type, 0.25, 1.0, gainDb);
    const QList<double> actual { f.b0, f.b1, f.b2, f.a1, f.a2 };
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(std::abs(actual[i] - expected[i]) < 1e-12,
            qPrintable(
                QString("coefficient %1: %2, expected %3").arg(i).arg(actual[i]).arg(expected[i])));
}

void BiquadTest::clampsAreWrittenBackAndUsed_data()
{
    QTest::addColumn<double>("frequency");
    QTest::addColumn<double>("q");
    QTest::addColumn<double>("usedFrequency");
    QTest::addColumn<double>("usedQ");

    QTest::newRow("negative frequency") << -0.2 << 1.0 << 0.0001 << 1.0;
    QTest::newRow("zero frequency") << 0.0 << 1.0 << 0.0001 << 1.0;
    QTest::newRow("lowest frequency") << 0.0001 << 1.0 << 0.0001 << 1.0;
    QTest::newRow("20 kHz at 44.1 kHz") << 20000.0 / 44100.0 << 1.0 << 20000.0 / 44100.0 << 1.0;
    QTest::newRow("highest frequency") << 0.4999 << 1.0 << 0.4999 << 1.0;
    QTest::newRow("Nyquist") << 0.5 << 1.0 << 0.4999 << 1.0;
    QTest::newRow("above Nyquist") << 3.0 << 1.0 << 0.4999 << 1.0;
    QTest::newRow("zero Q") << 0.1 << 0.0 << 0.1 << 0.001;
    QTest::newRow("negative Q") << 0.1 << -4.0 << 0.1 << 0.001;
    QTest::newRow("lowest Q") << 0.1 << 0.001 << 0.1 << 0.001;
}

void BiquadTest::clampsAreWrittenBackAndUsed()
{
    QFETCH(double, frequency);
    QFETCH(double, q);
    QFETCH(double, usedFrequency);
    QFETCH(double, usedQ);

    for (int type = Filter::LowPass; type <= Filter::HighShelf; ++type) {
        const Filter f = designed(type, frequency, q, 3.0);
        QCOMPARE(f.frequency, usedFrequency);
        QCOMPARE(f.q, usedQ);
        const Filter reference = designed(type, usedFrequency, usedQ, 3.0);
        QCOMPARE(f.b0, reference.b0);
        QCOMPARE(f.b1, reference.b1);
        QCOMPARE(f.b2, reference.b2);
        QCOMPARE(f.a1, reference.a1);
        QCOMPARE(f.a2, reference.a2);
        QVERIFY(std::isfinite(f.b0) && std::isfinite(f.a1) && std::isfinite(f.a2));
    }
}

void BiquadTest::unknownTypeKeepsCoefficients_data()
{
    QTest::addColumn<int>("type");
    QTest::newRow("7") << 7;
    QTest::newRow("255") << 255;
    QTest::newRow("negative") << -1;
}

void BiquadTest::unknownTypeKeepsCoefficients()
{
    QFETCH(int, type);
    Filter f = designed(Filter::BandPass, 0.1, 2.0, 0.0);
    const Filter before = f;
    f.type = type;
    f.frequency = 0.3;
    f.computeCoefficients();
    QCOMPARE(f.b0, before.b0);
    QCOMPARE(f.b1, before.b1);
    QCOMPARE(f.b2, before.b2);
    QCOMPARE(f.a1, before.a1);
    QCOMPARE(f.a2, before.a2);
}

void BiquadTest::gainTypesAtZeroDecibelsPassTheSignal_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<double>("frequency");
    QTest::addColumn<double>("q");
    QTest::newRow("peaking") << 4 << 0.1 << 5.0;
    QTest::newRow("peaking, low Q") << 4 << 0.4 << 0.2;
    QTest::newRow("low shelf") << 5 << 0.02 << 1.0;
    QTest::newRow("high shelf") << 6 << 0.3 << 1.0;
}

void BiquadTest::gainTypesAtZeroDecibelsPassTheSignal()
{
    QFETCH(int, type);
    QFETCH(double, frequency);
    QFETCH(double, q);

    Filter f = designed(type, frequency, q, 0.0);
    quint32 seed = 12345;
    for (int n = 0; n < 4096; ++n) {
        seed = seed * 1664525u + 1013904223u;
        const double x = double(seed) / 4294967296.0 - 0.5;
        QVERIFY2(std::abs(f.process(x) - x) < 1e-12, qPrintable(QString::number(n)));
    }
}

void BiquadTest::nonFiniteInputResetsTheState_data()
{
    QTest::addColumn<double>("input");
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("+inf") << std::numeric_limits<double>::infinity();
    QTest::newRow("-inf") << -std::numeric_limits<double>::infinity();
}

void BiquadTest::nonFiniteInputResetsTheState()
{
    QFETCH(double, input);
    Filter f = designed(Filter::LowPass, 0.05, 2.0, 0.0);
    for (int n = 0; n < 100; ++n)
        f.process(1.0);
    QVERIFY(!std::isfinite(f.process(input)));
    QCOMPARE(f.s1, 0.0);
    QCOMPARE(f.s2, 0.0);
    // From a cleared state the answer to an impulse starts with b0, then b1 - a1 b0.
    QCOMPARE(f.process(1.0), f.b0);
    QCOMPARE(f.process(0.0), f.b1 - f.a1 * f.b0);
}

void BiquadTest::decayingStateNeverTurnsDenormal()
{
    Filter f = designed(Filter::LowPass, 0.01, 0.707, 0.0);
    f.process(1.0);
    bool silent = false;
    for (int n = 0; n < 200000 && !silent; ++n) {
        f.tick();
        for (const double s : { f.s1, f.s2 })
            QVERIFY2(s == 0.0 || std::abs(s) >= 1e-18, qPrintable(QString::number(s)));
        silent = f.s1 == 0.0 && f.s2 == 0.0;
    }
    QVERIFY(silent);
    QCOMPARE(f.tick(), 0.0);
}

QTEST_GUILESS_MAIN(BiquadTest)
#include "tst_biquad.moc"
