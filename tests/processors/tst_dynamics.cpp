#include "processors/dynamics/AGCProcessor.h"
#include "processors/dynamics/CompressorProcessor.h"

#include "InstrumentTesting.h"

#include <memory>
#include <numbers>
#include <random>

using namespace instrumentTesting;

namespace {

using Agc = AgcUnit<double>;

constexpr quint32 kSame = 128;

const auto a440 = [](int n, double amplitude) {
    return amplitude * std::sin(2.0 * std::numbers::pi * 440.0 * n / kRate);
};

// An AGC whose Mode lane selects `mode` and leaves the rest at the factory values.
std::unique_ptr<AGCProcessor> agcIn(quint32 modeLane)
{
    auto p = std::make_unique<AGCProcessor>(kRate);
    deliver(*p, { modeLane, kSame, kSame, kSame, kSame });
    return p;
}

} // namespace

class DynamicsTest : public QObject {
    Q_OBJECT

private slots:
    void fastGainLawsFollowTheReference_data();
    void fastGainLawsFollowTheReference();
    void agcLanesMapToTheirRanges_data();
    void agcLanesMapToTheirRanges();
    void offModeIsTheSoftLimit_data();
    void offModeIsTheSoftLimit();
    void maxGainOfOneNeverAmplifies();
    void normalModeHoldsTheGainInSilence();
    void blockRmsChangesTheGainOncePerBlock();
    void primerLocksAndReleases();
    void agcOutputStaysInsideFullScale();
    void compressorFollowsItsEnvelope_data();
    void compressorFollowsItsEnvelope();
    void nonFiniteInputPassesOver_data();
    void nonFiniteInputPassesOver();
};

// 128 leaves a lane as it is; the mode lane splits 0 to 255 into five equal parts. The
// time lanes take effect at once: 1 - exp(-1 / (ms / 1000 x rate)).
void DynamicsTest::agcLanesMapToTheirRanges_data()
{
    const DataTable<int, quint32, double> add("lane", "value", "expected");
    add("mode kept", 0, kSame, 2.0);
    add("target 0", 1, 0u, 0.0);
    add("target 204", 1, 204u, 0.8);
    add("max gain 0", 2, 0u, 1.0);
    add("max gain 160", 2, 160u, std::pow(500.0, 160.0 / 255.0));
    add("max gain kept", 2, kSame, 50.0);
    add("attack 0", 3, 0u, 0.1);
    add("attack 255", 3, 255u, 50.0);
    add("release 150", 4, 150u, 10.0 * std::pow(200.0, 150.0 / 255.0));
    add("release 255", 4, 255u, 2000.0);
    for (const auto& [v, mode] : QList<QPair<quint32, int>> { { 0, 0 }, { 51, 0 }, { 52, 1 },
             { 102, 1 }, { 103, 2 }, { 153, 2 }, { 154, 3 }, { 204, 3 }, { 205, 4 }, { 255, 4 } })
        add(qPrintable(QString("mode lane %1").arg(v)), 0, v, mode);
}

void DynamicsTest::agcLanesMapToTheirRanges()
{
    const auto [lane, value, expected] = fetch<int, quint32, double>("lane", "value", "expected");
    const auto coefficient
        = [](double ms) { return 1.0 - std::exp(-1.0 / std::max(1.0, ms * 0.001 * kRate)); };
    AGCProcessor p(kRate);
    Row row(5, kSame);
    row[lane] = value;
    deliver(p, row);
    const Agc::Config& c = p.unit().config;
    const QList<double> fields = { double(c.mode), c.target, c.maxGain, c.attackMs, c.releaseMs };
    QVERIFY(qFuzzyCompare(fields[lane], expected) || fields[lane] == expected);
    QVERIFY(qFuzzyCompare(p.unit().attackCoeff, coefficient(c.attackMs)));
    QVERIFY(qFuzzyCompare(p.unit().releaseCoeff, coefficient(c.releaseMs)));
}

// Half of full scale passes; above it the curve bends towards 1 as 0.5 + 0.5 tanh(2 (|x| -
// 0.5)).
void DynamicsTest::offModeIsTheSoftLimit_data()
{
    const DataTable<double, double> add("x", "y");
    add("below half", 0.3, 0.3);
    add("half", -0.5, -0.5);
    add("above half", 0.8, 0.5 + 0.5 * std::tanh(0.6));
    add("far above full scale", -2.0, -(0.5 + 0.5 * std::tanh(3.0)));
}

void DynamicsTest::offModeIsTheSoftLimit()
{
    const auto [x, y] = fetch<double, double>("x", "y");
    QVERIFY(qFuzzyCompare(renderOne(*agcIn(0), x), y));
}

// With a max gain of 1 nothing is ever amplified.
void DynamicsTest::maxGainOfOneNeverAmplifies()
{
    AGCProcessor never(kRate);
    deliver(never, { 60, kSame, 0, kSame, kSame });
    const Samples input = sine(440.0, 0.02, kRate);
    QCOMPARE(render(never, input), input);
}

// The envelope only moves while a signal is present: once the slow level has fallen
// below the threshold the gain holds.
void DynamicsTest::normalModeHoldsTheGainInSilence()
{
    const auto p = agcIn(60);
    for (int n = 0; n < kRate / 2; ++n)
        renderOne(*p, a440(n, 0.1));
    const Agc& unit = p->unit();
    while (unit.slowLevel > unit.config.threshold)
        renderOne(*p, 0.0);
    const double held = unit.gain;
    QVERIFY(held > 1.0);
    render(*p, 2 * kRate);
    QCOMPARE(unit.gain, held);
}

// A level of 0.1 asks for 0.8 / 0.1 = 8; each block of 1024 moves a tenth of the way.
void DynamicsTest::blockRmsChangesTheGainOncePerBlock()
{
    const auto p = agcIn(180);
    const QList<double> gains = { 1.7, 0.8 + 0.9 * 1.7, 0.8 + 0.9 * (0.8 + 0.9 * 1.7) };
    double expected = 1.0;
    for (int n = 0; n < 3 * 1024; ++n) {
        QVERIFY(qFuzzyCompare(renderOne(*p, 0.1), expected * 0.1));
        if (n % 1024 == 1023)
            expected = gains[n / 1024];
        QVERIFY2(qFuzzyCompare(p->unit().gain, expected), qPrintable(QString::number(n)));
    }
}

// Priming lasts 0.1 s (4410 samples) of signal and then holds the gain; 0.2 s (8820
// samples) without signal returns to idle, and the next signal primes again.
void DynamicsTest::primerLocksAndReleases()
{
    const auto p = agcIn(230);
    const Agc& unit = p->unit();
    const auto present = [&] { return unit.slowLevel > unit.config.threshold; };
    int n = 0;
    while (!present()) {
        QCOMPARE(unit.primeState, quint32(Agc::Idle));
        renderOne(*p, a440(n++, 0.5));
    }
    // The sample that brought the signal was the first of the priming.
    int priming = 1;
    for (; unit.primeState == Agc::Priming; ++priming)
        renderOne(*p, a440(n++, 0.5));
    QCOMPARE(priming, 4410);
    QCOMPARE(unit.primeState, quint32(Agc::Locked));
    const double locked = unit.gain;
    for (int k = 0; k < kRate; ++k)
        renderOne(*p, a440(n++, k < kRate / 2 ? 0.5 : 0.05));
    QCOMPARE(unit.gain, locked);
    while (present())
        renderOne(*p, 0.0);
    int silent = 1; // the sample that took the level below the threshold
    for (; unit.primeState != Agc::Idle; ++silent)
        renderOne(*p, 0.0);
    QCOMPARE(silent, 8820);
    while (!present())
        renderOne(*p, a440(n++, 0.5));
    QCOMPARE(unit.primeState, quint32(Agc::Priming));
}

// The highest gain ceiling, a quiet passage to raise the gain, then full-scale and
// far louder material.
void DynamicsTest::agcOutputStaysInsideFullScale()
{
    Samples input = sine(440.0, 0.01, kRate);
    for (int n = 0; n < kRate / 10; ++n)
        input.append(n % 2 ? 1.0 : -1.0);
    input += sine(440.0, 1e6, kRate / 10);
    for (const quint32 modeLane : { 0u, 60u, 110u, 180u, 230u }) { // each mode
        AGCProcessor p(kRate);
        deliver(p, { modeLane, 255, 255, kSame, kSame });
        for (const double y : render(p, input))
            QVERIFY2(
                std::abs(y) < 1.0, qPrintable(QString("%1: %2").arg(modeLane).arg(y, 0, 'g', 17)));
    }
}

// A peak envelope (1 ms attack, 50 ms release) over the threshold is brought down to the
// threshold plus the excess over the ratio, in decibels; the output is clipped to ±1. Steps
// from one level to another after 3000 samples; fingerprints recorded from that model.
void DynamicsTest::compressorFollowsItsEnvelope_data()
{
    const DataTable<Row, double, double, Samples> add("row", "first", "second", "golden");
    add("kept: 0.7, 4:1", { kSame, kSame }, 0.9, 0.5, { 0.39730038799053813, 0.27464754070202241 });
    add("179, 64", { 179, 64 }, -0.95, 0.2, { 0.29798401181111117, -0.019364450122957014 });
    add("lowest threshold, 20:1", { 0, 255 }, 0.01, -0.002,
        { 8.580111016616021e-07, -3.6236710307125062e-06 });
    add("ratio 1 only clips", { 255, 0 }, 3.0, -0.5, { 0.625, -0.062479166666666669 });
}

void DynamicsTest::compressorFollowsItsEnvelope()
{
    const auto [row, first, second, golden]
        = fetch<Row, double, double, Samples>("row", "first", "second", "golden");
    CompressorProcessor p(kRate);
    deliver(p, row);
    Samples input(6000, first);
    std::fill(input.begin() + 3000, input.end(), second);
    COMPARE_FINGERPRINT(render(p, input), golden);
}

// One bad sample from upstream must not lodge in the envelope and silence the node:
// the output stays finite and a sine played afterwards is heard again.
void DynamicsTest::nonFiniteInputPassesOver_data()
{
    const DataTable<bool, double> add("agc", "bad");
    add("agc, NaN", true, kNaN);
    add("agc, -inf", true, -kInf);
    add("compressor, NaN", false, kNaN);
    add("compressor, inf", false, kInf);
}

void DynamicsTest::nonFiniteInputPassesOver()
{
    const auto [agc, bad] = fetch<bool, double>("agc", "bad");
    std::unique_ptr<Processor> p;
    if (agc)
        p = agcIn(1);
    else
        p = std::make_unique<CompressorProcessor>(kRate);
    Samples input = sine(440.0, 0.3, 4410);
    input[100] = bad;
    const Samples output = render(*p, input);
    for (int n = 0; n < output.size(); ++n)
        QVERIFY2(std::isfinite(output[n]), qPrintable(QString::number(n)));
    QVERIFY(peak(output, output.size() / 2) > 0.1);
}

// The compressor's gain law and the AGC's limiter against their std:: forms, on noise
// whose level, threshold and ratio change every block.
void DynamicsTest::fastGainLawsFollowTheReference_data()
{
    const DataTable<bool, double> add("compressor", "loudest");
    add("compressor, quiet", true, 0.5);
    add("compressor, hot", true, 4.0);
    add("compressor, absurd", true, 1e30);
    add("limiter", false, 3.0);
    add("limiter, absurd", false, 1e30);
}

void DynamicsTest::fastGainLawsFollowTheReference()
{
    const auto [compressor, loudest] = fetch<bool, double>("compressor", "loudest");
    CompressorUnit<double> fast(kRate);
    CompressorUnit<double, true> reference(kRate);
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    double worst = 0.0;
    for (int block = 0; block < 240; ++block) {
        fast.threshold = reference.threshold = std::max(0.001, unit(random));
        fast.ratio = reference.ratio = 1.0 + 19.0 * unit(random);
        const double level = loudest * std::pow(unit(random), 4.0);
        for (int i = 0; i < 1024; ++i) {
            const double x = level * (2.0 * unit(random) - 1.0);
            const double a = compressor ? fast.process(x) : Agc::softLimit(x);
            const double b
                = compressor ? reference.process(x) : AgcUnit<double, true>::softLimit(x);
            worst = std::max(worst, std::abs(a - b));
        }
    }
    QVERIFY2(worst < 1e-13, qPrintable(QString::number(worst)));
}

QTEST_GUILESS_MAIN(DynamicsTest)
#include "tst_dynamics.moc"
