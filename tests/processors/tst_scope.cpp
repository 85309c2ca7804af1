#include "processors/scope/ScopeProcessor.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace {

using Samples = QVector<double>;

constexpr int kRate = 44100;
constexpr int kBins = 256;

// The analyser's bin frequencies: 20 Hz to 20 kHz, evenly spaced in log frequency.
double binFrequency(int k)
{
    return std::exp(std::log(20.0) + (std::log(20000.0) - std::log(20.0)) * k / (kBins - 1));
}

double binAlpha(int k)
{
    const double f = binFrequency(k);
    return 1.0 - std::exp(-f / (kRate * std::log(f + 1.0)));
}

void feed(ScopeProcessor& scope, Samples samples)
{
    AudioContext context;
    context.frames = quint64(samples.size());
    context.data = samples.data();
    scope.process(context);
}

Samples sines(const QList<int>& bins, double amplitude, int count)
{
    Samples samples(count, 0.0);
    for (int k : bins) {
        for (int n = 0; n < count; ++n)
            samples[n]
                += amplitude * std::sin(2.0 * std::numbers::pi * binFrequency(k) * n / kRate);
    }
    return samples;
}

} // namespace

class ScopeTest : public QObject {
    Q_OBJECT

private slots:
    void isAHiddenSinkWithoutLanes();
    void sineFillsItsBin_data();
    void sineFillsItsBin();
    void silenceDecaysEveryBin_data();
    void silenceDecaysEveryBin();
    void snapshotsEvery64Samples_data();
    void snapshotsEvery64Samples();
    void blocksReuseTheirStorage_data();
    void blocksReuseTheirStorage();
    void nonFiniteInputIsForgotten_data();
    void nonFiniteInputIsForgotten();
    void runMatchesStepToTheBit_data();
    void runMatchesStepToTheBit();
};

void ScopeTest::isAHiddenSinkWithoutLanes()
{
    ScopeProcessor scope(kRate);
    const ProcessorCharacter& c = scope.character();
    QCOMPARE(c.typeID, QString("Scope"));
    QCOMPARE((QList<bool> { c.takesAudioInput, c.givesAudioOutput, c.userCreatable, c.userVisible,
                 c.intrinsicToSong, c.intrinsicTrack }),
        (QList<bool> { true, false, false, false, false, false }));
    const auto schema = scope.schema();
    QVERIFY(schema->nodeParameters.isEmpty());
    QVERIFY(schema->trackParameters.isEmpty());
}

void ScopeTest::sineFillsItsBin_data()
{
    QTest::addColumn<int>("bin");
    QTest::addColumn<double>("amplitude");
    QTest::newRow("bin 60, about 100 Hz") << 60 << 1.0;
    QTest::newRow("bin 160") << 160 << 0.5;
    QTest::newRow("bin 230") << 230 << 0.25;
}

void ScopeTest::sineFillsItsBin()
{
    QFETCH(int, bin);
    QFETCH(double, amplitude);

    ScopeProcessor scope(kRate);
    feed(scope, sines({ bin }, amplitude, 2 * kRate));
    const double full = amplitude * amplitude / 4.0;
    const auto& spectrum = scope.spectrum();
    QVERIFY2(
        std::abs(spectrum[bin] / full - 1.0) < 0.01, qPrintable(QString::number(spectrum[bin])));
    for (int k : { bin - 40, bin + 40, bin - 80, bin + 80 }) {
        if (k >= 0 && k < kBins)
            QVERIFY2(spectrum[k] < 1e-3 * full, qPrintable(QString("bin %1").arg(k)));
    }
}

void ScopeTest::silenceDecaysEveryBin_data()
{
    QTest::addColumn<int>("bin");
    QTest::newRow("lowest") << 0;
    QTest::newRow("middle") << 128;
    QTest::newRow("highest") << 255;
}

void ScopeTest::silenceDecaysEveryBin()
{
    QFETCH(int, bin);

    // Settled on its own sine, a bin's two smoothers hold the same value s; in silence the
    // first decays as p1^n and the second as (2 p2^n − p1^n) s, with p1 = 1 − alpha and
    // p2 = 1 − alpha / 2.
    ScopeProcessor scope(kRate);
    constexpr int kSettle = 64 * 3446; // five seconds, ending on a snapshot
    feed(scope, sines({ 0, 128, 255 }, 0.3, kSettle));
    const std::vector<double> before = scope.spectrum();
    constexpr int kSilence = 2048;
    feed(scope, Samples(kSilence, 0.0));
    const double p1 = 1.0 - binAlpha(bin);
    const double p2 = 1.0 - binAlpha(bin) / 2.0;
    const double expected = std::pow(2.0 * std::pow(p2, kSilence) - std::pow(p1, kSilence), 2);
    const double ratio = scope.spectrum()[bin] / before[bin];
    QVERIFY2(std::abs(ratio - expected) < 0.02 * expected + 1e-9,
        qPrintable(QString("%1, expected %2").arg(ratio).arg(expected)));

    // Long silence takes every bin towards zero.
    feed(scope, Samples(5 * kRate, 0.0));
    const double peak = *std::max_element(before.begin(), before.end());
    for (double power : scope.spectrum())
        QVERIFY(power < 1e-9 * peak);
}

void ScopeTest::snapshotsEvery64Samples_data()
{
    QTest::addColumn<QList<int>>("blocks");
    QTest::addColumn<int>("snapshots");
    QTest::newRow("empty block") << QList<int> { 0 } << 0;
    QTest::newRow("one short") << QList<int> { 63 } << 0;
    QTest::newRow("across blocks") << QList<int> { 63, 1 } << 1;
    QTest::newRow("three exact") << QList<int> { 64, 64, 64 } << 3;
    QTest::newRow("odd blocks") << QList<int> { 100, 100, 0, 57 } << 4;
    QTest::newRow("default block") << QList<int> { 1024, 1024 } << 32;
}

void ScopeTest::snapshotsEvery64Samples()
{
    QFETCH(QList<int>, blocks);
    QFETCH(int, snapshots);

    ScopeProcessor scope(kRate);
    Samples last;
    for (int length : blocks) {
        last = sines({ 200 }, 0.5, length);
        feed(scope, last);
    }
    QCOMPARE(scope.blockCount(), quint64(blocks.size()));
    QCOMPARE(scope.snapshotCount(), quint64(snapshots));
    QCOMPARE(Samples(scope.lastBlock().begin(), scope.lastBlock().end()), last);
    // Until the first snapshot the spectrum stays as built.
    const bool anyPower = std::any_of(
        scope.spectrum().begin(), scope.spectrum().end(), [](double p) { return p > 0; });
    QCOMPARE(anyPower, snapshots > 0);
}

void ScopeTest::blocksReuseTheirStorage_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("64") << 64;
    QTest::newRow("1024") << 1024;
    QTest::newRow("8192") << 8192;
}

void ScopeTest::blocksReuseTheirStorage()
{
    QFETCH(int, length);

    ScopeProcessor scope(kRate);
    const double* copy = scope.lastBlock().data();
    const double* spectrum = scope.spectrum().data();
    feed(scope, Samples(length, 0.25));
    feed(scope, Samples(length / 2, 0.25));
    QCOMPARE(scope.lastBlock().data(), copy);
    QCOMPARE(scope.spectrum().data(), spectrum);
    QCOMPARE(scope.spectrum().size(), std::size_t(kBins));
}

void ScopeTest::nonFiniteInputIsForgotten_data()
{
    QTest::addColumn<double>("bad");
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("infinity") << -std::numeric_limits<double>::infinity();
}

void ScopeTest::nonFiniteInputIsForgotten()
{
    QFETCH(double, bad);

    ScopeProcessor scope(kRate);
    Samples block = sines({ 230 }, 0.5, 64);
    block[10] = bad;
    feed(scope, block);
    QVERIFY(std::all_of(
        scope.spectrum().begin(), scope.spectrum().end(), [](double p) { return p == 0.0; }));
    feed(scope, sines({ 230 }, 0.5, kRate / 2));
    QVERIFY(std::abs(scope.spectrum()[230] / (0.25 * 0.25) - 1.0) < 0.01);
}

void ScopeTest::runMatchesStepToTheBit_data()
{
    QTest::addColumn<int>("bins");
    QTest::addColumn<int>("chunk");
    QTest::newRow("one long run") << 256 << 1500;
    QTest::newRow("runs of 7") << 256 << 7;
    QTest::newRow("runs of 64") << 256 << 64;
    QTest::newRow("bins not a multiple of the group") << 7 << 100;
}

void ScopeTest::runMatchesStepToTheBit()
{
    QFETCH(int, bins);
    QFETCH(int, chunk);

    SpectrumAnalyser::Config config;
    config.bins = bins;
    SpectrumAnalyser byStep(config);
    SpectrumAnalyser byRun(config);
    // Long enough to cross several renormalisations.
    Samples input = sines({ 30, 150, 240 }, 0.3, 1500);
    input[700] = 1.0;
    for (double x : input)
        byStep.step(x);
    for (qsizetype at = 0; at < input.size(); at += chunk)
        byRun.run(input.constData() + at, quint64(std::min<qsizetype>(chunk, input.size() - at)));
    // Exact comparison: the block loop may not change a single value.
    for (int k = 0; k < bins; ++k)
        QVERIFY2(byRun.power(k) == byStep.power(k), qPrintable(QString("bin %1").arg(k)));
}

QTEST_GUILESS_MAIN(ScopeTest)
#include "tst_scope.moc"
