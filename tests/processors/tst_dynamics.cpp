#include "processors/dynamics/AGCProcessor.h"
#include "processors/dynamics/CompressorProcessor.h"

#include <QtTest>

#include <cmath>
#include <limits>
#include <memory>
#include <numbers>

namespace {

using Samples = QVector<double>;
using Row = QVector<quint32>;
using Agc = AgcUnit<double>;

constexpr int kRate = 44100;
constexpr quint32 kSame = 128;

void apply(Processor& p, const Row& row, quint32 serial = 1)
{
    p.applyRow(row.constData(), int(row.size()), serial);
}

double run(Processor& p, double x)
{
    AudioContext context;
    context.frames = 1;
    context.data = &x;
    p.process(context);
    return x;
}

Samples render(Processor& p, Samples samples)
{
    AudioContext context;
    context.frames = quint64(samples.size());
    context.data = samples.data();
    p.process(context);
    return samples;
}

Samples constant(int count, double level)
{
    return Samples(count, level);
}

double sine(int n, double amplitude)
{
    return amplitude * std::sin(2.0 * std::numbers::pi * 440.0 * n / kRate);
}

double agcCoefficient(double ms)
{
    return 1.0 - std::exp(-1.0 / std::max(1.0, ms * 0.001 * kRate));
}

// An AGC whose Mode lane selects `mode` and leaves the rest at the factory values.
std::unique_ptr<AGCProcessor> agcIn(quint32 modeLane)
{
    auto p = std::make_unique<AGCProcessor>(kRate);
    apply(*p, { modeLane, kSame, kSame, kSame, kSame });
    return p;
}

} // namespace

class DynamicsTest : public QObject {
    Q_OBJECT

private slots:
    void schemasMatchTheTables_data();
    void schemasMatchTheTables();
    void agcLanesMapToTheirRanges_data();
    void agcLanesMapToTheirRanges();
    void offModeIsTheSoftLimit_data();
    void offModeIsTheSoftLimit();
    void maxGainZeroNeverAmplifies();
    void silenceInNormalModeKeepsTheGain();
    void blockRmsChangesTheGainOncePerBlock();
    void primerLocksAndReleases();
    void agcOutputStaysInsideFullScale_data();
    void agcOutputStaysInsideFullScale();

    void ratioOneIsUnity_data();
    void ratioOneIsUnity();
    void gainReductionFollowsTheRatio_data();
    void gainReductionFollowsTheRatio();
    void compressorClipsToFullScale_data();
    void compressorClipsToFullScale();
    void nonFiniteInputPassesOver_data();
    void nonFiniteInputPassesOver();
};

void DynamicsTest::schemasMatchTheTables_data()
{
    QTest::addColumn<QString>("processor");
    QTest::addColumn<int>("lane");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::addColumn<quint32>("defaultLane");

    QTest::newRow("AGC Mode") << "AGC" << 0 << "Mode"
                              << "0=Off 1=Normal 2=FreezeOnSignal 3=BlockRms 4=PrimerLocked"
                              << 128u;
    QTest::newRow("AGC Target") << "AGC" << 1 << "Target"
                                << "Target peak amplitude (0.0–1.0)" << 204u;
    QTest::newRow("AGC Max Gain") << "AGC" << 2 << "Max Gain"
                                  << "Ceiling on AGC amplification (log mapped, 1–500)" << 160u;
    QTest::newRow("AGC Attack") << "AGC" << 3 << "Attack"
                                << "Attack time (log mapped, 0.1–50 ms)" << 64u;
    QTest::newRow("AGC Release") << "AGC" << 4 << "Release"
                                 << "Release time (log mapped, 10–2000 ms)" << 150u;
    QTest::newRow("Compressor Threshold") << "Compressor" << 0 << "Threshold"
                                          << "Compression threshold (0.0-1.0)" << 179u;
    QTest::newRow("Compressor Ratio") << "Compressor" << 1 << "Ratio"
                                      << "Compression ratio (1:1 to 20:1)" << 64u;
}

void DynamicsTest::schemasMatchTheTables()
{
    QFETCH(QString, processor);
    QFETCH(int, lane);
    QFETCH(QString, name);
    QFETCH(QString, description);
    QFETCH(quint32, defaultLane);

    const auto schema
        = processor == "AGC" ? AGCProcessor(kRate).schema() : CompressorProcessor(kRate).schema();
    QCOMPARE(schema->nodeParameters.size(), processor == "AGC" ? 5 : 2);
    QVERIFY(schema->trackParameters.isEmpty());
    const auto p = schema->nodeParameters.at(lane);
    QCOMPARE(p->name, name);
    QCOMPARE(p->description, description);
    QCOMPARE(p->type, quint32(ValueType::Byte));
    QCOMPARE((QList<quint32> { p->minimum, p->maximum, p->empty, p->defaultValue }),
        (QList<quint32> { 0, 255, 128, defaultLane }));
}

void DynamicsTest::agcLanesMapToTheirRanges_data()
{
    QTest::addColumn<int>("lane");
    QTest::addColumn<quint32>("value");
    QTest::addColumn<double>("expected");

    const QList<QPair<quint32, int>> modes
        = { { 0, 0 }, { 51, 0 }, { 52, 1 }, { 102, 1 }, { 103, 2 }, { 127, 2 }, { 129, 2 },
              { 153, 2 }, { 154, 3 }, { 204, 3 }, { 205, 4 }, { 255, 4 } };
    for (const auto& [v, mode] : modes)
        QTest::addRow("mode %u", v) << 0 << v << double(mode);
    QTest::newRow("mode unchanged") << 0 << kSame << 2.0;
    QTest::newRow("target 0") << 1 << 0u << 0.0;
    QTest::newRow("target 204") << 1 << 204u << 0.8;
    QTest::newRow("target 255") << 1 << 255u << 1.0;
    QTest::newRow("max gain 0") << 2 << 0u << 1.0;
    QTest::newRow("max gain 160") << 2 << 160u << std::pow(500.0, 160.0 / 255.0);
    QTest::newRow("max gain 255") << 2 << 255u << 500.0;
    QTest::newRow("max gain unchanged") << 2 << kSame << 50.0;
    QTest::newRow("attack 0") << 3 << 0u << 0.1;
    QTest::newRow("attack 255") << 3 << 255u << 50.0;
    QTest::newRow("attack unchanged") << 3 << kSame << 1.0;
    QTest::newRow("release 0") << 4 << 0u << 10.0;
    QTest::newRow("release 150") << 4 << 150u << 10.0 * std::pow(200.0, 150.0 / 255.0);
    QTest::newRow("release 255") << 4 << 255u << 2000.0;
}

void DynamicsTest::agcLanesMapToTheirRanges()
{
    QFETCH(int, lane);
    QFETCH(quint32, value);
    QFETCH(double, expected);

    AGCProcessor p(kRate);
    Row row(5, kSame);
    row[lane] = value;
    apply(p, row);
    const Agc::Config& c = p.unit().config;
    const QList<double> fields = { double(c.mode), c.target, c.maxGain, c.attackMs, c.releaseMs };
    QVERIFY(qFuzzyCompare(fields[lane], expected) || fields[lane] == expected);
    // The time lanes take effect at once.
    QVERIFY(qFuzzyCompare(p.unit().attackCoeff, agcCoefficient(c.attackMs)));
    QVERIFY(qFuzzyCompare(p.unit().releaseCoeff, agcCoefficient(c.releaseMs)));
}

void DynamicsTest::offModeIsTheSoftLimit_data()
{
    QTest::addColumn<double>("input");
    QTest::addColumn<double>("expected");
    QTest::newRow("quiet") << 0.3 << 0.3;
    QTest::newRow("at the knee") << -0.5 << -0.5;
    QTest::newRow("above the knee") << 0.8 << 0.5 + 0.5 * std::tanh(0.6);
    QTest::newRow("far above") << -2.0 << -(0.5 + 0.5 * std::tanh(3.0));
}

void DynamicsTest::offModeIsTheSoftLimit()
{
    QFETCH(double, input);
    QFETCH(double, expected);

    const auto p = agcIn(0);
    QVERIFY(qFuzzyCompare(run(*p, input), expected));
}

void DynamicsTest::maxGainZeroNeverAmplifies()
{
    AGCProcessor p(kRate);
    apply(p, { 60, kSame, 0, kSame, kSame });
    Samples input;
    for (int n = 0; n < kRate; ++n)
        input.append(sine(n, 0.02));
    QCOMPARE(render(p, input), input);
}

// The envelope only moves while a signal is present: once the slow level has fallen
// below the threshold the gain holds.
void DynamicsTest::silenceInNormalModeKeepsTheGain()
{
    const auto p = agcIn(60);
    for (int n = 0; n < kRate / 2; ++n)
        run(*p, sine(n, 0.1));
    const Agc& unit = p->unit();
    while (unit.slowLevel > unit.config.threshold)
        run(*p, 0.0);
    const double held = unit.gain;
    QVERIFY(held > 1.0);
    for (int n = 0; n < 2 * kRate; ++n) {
        run(*p, 0.0);
        QCOMPARE(unit.gain, held);
    }
}

void DynamicsTest::blockRmsChangesTheGainOncePerBlock()
{
    const auto p = agcIn(180);
    // A level of 0.1 asks for 0.8 / 0.1 = 8; each block moves a tenth of the way.
    const QList<double> gains = { 1.7, 0.8 + 0.9 * 1.7, 0.8 + 0.9 * (0.8 + 0.9 * 1.7) };
    double expected = 1.0;
    for (int n = 0; n < 3 * 1024; ++n) {
        const double y = run(*p, 0.1);
        QVERIFY(qFuzzyCompare(y, expected * 0.1));
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
        run(*p, sine(n++, 0.5));
    }
    // The sample that brought the signal was the first of the priming.
    int priming = 1;
    for (; unit.primeState == Agc::Priming; ++priming)
        run(*p, sine(n++, 0.5));
    QCOMPARE(priming, 4410);
    QCOMPARE(unit.primeState, quint32(Agc::Locked));
    const double locked = unit.gain;
    for (int k = 0; k < kRate; ++k)
        run(*p, sine(n++, k < kRate / 2 ? 0.5 : 0.05));
    QCOMPARE(unit.gain, locked);

    while (present())
        run(*p, 0.0);
    int silent = 1; // the sample that took the level below the threshold
    for (; unit.primeState != Agc::Idle; ++silent)
        run(*p, 0.0);
    QCOMPARE(silent, 8820);

    while (!present())
        run(*p, sine(n++, 0.5));
    QCOMPARE(unit.primeState, quint32(Agc::Priming));
}

void DynamicsTest::agcOutputStaysInsideFullScale_data()
{
    QTest::addColumn<quint32>("modeLane");
    QTest::newRow("off") << 0u;
    QTest::newRow("normal") << 60u;
    QTest::newRow("freeze") << 110u;
    QTest::newRow("block rms") << 180u;
    QTest::newRow("primer") << 230u;
}

// The highest gain ceiling, a quiet passage to raise the gain, then full-scale and
// far louder material.
void DynamicsTest::agcOutputStaysInsideFullScale()
{
    QFETCH(quint32, modeLane);

    AGCProcessor p(kRate);
    apply(p, { modeLane, 255, 255, kSame, kSame });
    Samples input;
    for (int n = 0; n < kRate; ++n)
        input.append(sine(n, 0.01));
    for (int n = 0; n < kRate / 10; ++n)
        input.append(n % 2 ? 1.0 : -1.0);
    for (int n = 0; n < kRate / 10; ++n)
        input.append(sine(n, 1e6));
    for (const double y : render(p, input))
        QVERIFY2(std::abs(y) < 1.0, qPrintable(QString::number(y, 'g', 17)));
}

void DynamicsTest::ratioOneIsUnity_data()
{
    QTest::addColumn<double>("level");
    QTest::newRow("quiet") << 0.01;
    QTest::newRow("half") << 0.5;
    QTest::newRow("loud") << -0.99;
}

void DynamicsTest::ratioOneIsUnity()
{
    QFETCH(double, level);

    CompressorProcessor p(kRate);
    apply(p, { 0, 0 });
    Samples input;
    for (int n = 0; n < kRate / 10; ++n)
        input.append(sine(n, level));
    QCOMPARE(render(p, input), input);
}

void DynamicsTest::gainReductionFollowsTheRatio_data()
{
    QTest::addColumn<Row>("row");
    QTest::addColumn<double>("level");
    QTest::addColumn<double>("threshold");
    QTest::addColumn<double>("ratio");
    QTest::newRow("below threshold") << Row { kSame, kSame } << 0.5 << 0.7 << 4.0;
    // Threshold lane 0 is 0.001, ratio lane 255 is 20:1.
    QTest::newRow("20 dB over at 20:1") << Row { 0, 255 } << 0.01 << 0.001 << 20.0;
    QTest::newRow("factory") << Row { kSame, kSame } << 0.9 << 0.7 << 4.0;
    QTest::newRow("defaults") << Row { 179, 64 } << -0.95 << 179.0 / 255.0
                              << 64.0 / 255.0 * 19.0 + 1.0;
}

// After half a second of a steady level the envelope has settled on it.
void DynamicsTest::gainReductionFollowsTheRatio()
{
    QFETCH(Row, row);
    QFETCH(double, level);
    QFETCH(double, threshold);
    QFETCH(double, ratio);

    CompressorProcessor p(kRate);
    apply(p, row);
    const Samples out = render(p, constant(kRate / 2, level));
    const double a = std::abs(level);
    const double over = a > threshold ? 20.0 * std::log10(a / threshold) : 0.0;
    const double expected = level * std::pow(10.0, -(over - over / ratio) / 20.0);
    QVERIFY2(std::abs(out.last() - expected) < 1e-9,
        qPrintable(QString("%1, expected %2").arg(out.last()).arg(expected)));
}

void DynamicsTest::compressorClipsToFullScale_data()
{
    QTest::addColumn<double>("input");
    QTest::addColumn<double>("expected");
    QTest::newRow("above") << 3.0 << 1.0;
    QTest::newRow("below") << -2.0 << -1.0;
    QTest::newRow("inside") << 0.5 << 0.5;
}

void DynamicsTest::compressorClipsToFullScale()
{
    QFETCH(double, input);
    QFETCH(double, expected);

    CompressorProcessor p(kRate);
    apply(p, { 255, 0 });
    QCOMPARE(run(p, input), expected);
}

void DynamicsTest::nonFiniteInputPassesOver_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<double>("bad");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const char* type : { "AGC", "Compressor" }) {
        QTest::addRow("%s nan", type) << QString::fromLatin1(type) << nan;
        QTest::addRow("%s inf", type) << QString::fromLatin1(type) << inf;
        QTest::addRow("%s -inf", type) << QString::fromLatin1(type) << -inf;
    }
}

// One bad sample from upstream must not lodge in the envelope and silence the node:
// the output stays finite and a sine played afterwards is heard again.
void DynamicsTest::nonFiniteInputPassesOver()
{
    QFETCH(QString, type);
    QFETCH(double, bad);

    std::unique_ptr<Processor> p;
    if (type == QLatin1String("AGC"))
        p = agcIn(1);
    else
        p = std::make_unique<CompressorProcessor>(kRate);
    Samples input(4410);
    for (int n = 0; n < input.size(); ++n)
        input[n] = sine(n, 0.3);
    input[100] = bad;
    const Samples output = render(*p, input);
    double tail = 0.0;
    for (int n = 0; n < output.size(); ++n) {
        QVERIFY2(std::isfinite(output[n]), qPrintable(QString::number(n)));
        if (n >= output.size() / 2)
            tail = std::max(tail, std::abs(output[n]));
    }
    QVERIFY2(tail > 0.1, qPrintable(QString::number(tail)));
}

QTEST_GUILESS_MAIN(DynamicsTest)
#include "tst_dynamics.moc"
