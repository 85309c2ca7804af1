#include "processors/bells/DingProcessor.h"
#include "processors/bells/DribbleProcessor.h"
#include "processors/bells/KaguraSuzuProcessor.h"

#include "InstrumentTesting.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

using namespace instrumentTesting;

namespace {

constexpr double kRate = 44100.0;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Kagura suzu: Bells, Brightness, Decay, BellSize untouched; a note at empty velocity, struck.
const QList<quint32> kStrike = { 12, 128, 128, 128, 60, 255, 1 };

QVector<double> struck(const QList<quint32>& row, int frames)
{
    KaguraSuzuProcessor bells(44100);
    deliver(bells, row, 0);
    return render(bells, frames);
}

// Magnitude of one frequency in a Hann-windowed signal.
double magnitudeAt(const QVector<double>& x, double hz)
{
    std::complex<double> sum;
    const int n = int(x.size());
    for (int i = 0; i < n; ++i) {
        const double window = 0.5 - 0.5 * std::cos(kTwoPi * i / (n - 1));
        sum += x[i] * window * std::polar(1.0, -kTwoPi * hz * i / kRate);
    }
    return std::abs(sum);
}

int signChanges(const QVector<double>& x, int from, int to)
{
    int changes = 0;
    for (int i = from + 1; i < to; ++i)
        changes += (x[i] > 0) != (x[i - 1] > 0);
    return changes;
}

// Frequency of a slowly changing sine over a short window, from
// y[n-1] + y[n+1] = 2 cos(w) y[n].
double localFrequency(const QVector<double>& y, int from, int length)
{
    double across = 0.0;
    double power = 0.0;
    for (int n = from; n < from + length; ++n) {
        across += y[n] * (y[n - 1] + y[n + 1]);
        power += 2.0 * y[n] * y[n];
    }
    return std::acos(std::clamp(across / power, -1.0, 1.0)) * kRate / kTwoPi;
}

} // namespace

class BellsTest : public QObject {
    Q_OBJECT

private slots:
    void schemaMatchesTable_data();
    void schemaMatchesTable();
    void kaguraShortRowIsIgnoredButRecorded();
    void kaguraModeLane_data();
    void kaguraModeLane();
    void kaguraStrikeScalesWithVelocity_data();
    void kaguraStrikeScalesWithVelocity();
    void kaguraBellSizeKeepsPartialsBelowLimit_data();
    void kaguraBellSizeKeepsPartialsBelowLimit();
    void kaguraBellsLaneHoldsTheCount_data();
    void kaguraBellsLaneHoldsTheCount();
    void kaguraMoreBellsCollideHarder();
    void dingNoteLane_data();
    void dingNoteLane();
    void dingPitchFollowsTheNote_data();
    void dingPitchFollowsTheNote();
    void dingLevelAndDecayKeepTheNoteRinging_data();
    void dingLevelAndDecayKeepTheNoteRinging();
    void dribbleStaysWithinItsLimits_data();
    void dribbleStaysWithinItsLimits();
};

void BellsTest::schemaMatchesTable_data()
{
    addSchemaColumns();
    const auto note = ValueType::MidiNote;
    const auto byte = ValueType::Byte;
    const QString suzu = "Kagura Suzu";
    addLane(suzu, 0, "Bells", "Number of bells in cluster", byte, { 3, 24, 12, 12 });
    addLane(
        suzu, 1, "Brightness", "Bell brightness / high partial mix", byte, { 0, 255, 128, 128 });
    addLane(suzu, 2, "Decay", "Ring-out decay time", byte, { 0, 255, 128, 160 });
    addLane(suzu, 3, "BellSize", "Bell size (low=large/deep, high=tiny/bright)", byte,
        { 0, 255, 128, 128 });
    addLane(suzu, 4, "Note", "Trigger note", note, { 0, 255, 255, 255 });
    addLane(suzu, 5, "Velocity", "Shake/strike intensity", byte, { 0, 255, 255, 128 });
    addLane(suzu, 6, "Mode", "Shake (0) vs Strike (1)", ValueType::Switch, { 0, 1, 2, 0 });
    addLane("Ding", 0, "Note", "Trigger ding sound", note, { 0, 255, 255, 255 });
    addLane("Ding", 1, "Volume", "Amplitude of signal", byte, { 0, 254, 255, 204 });
    addLane("Ding", 2, "Decay", "Ring decay time", byte, { 0, 254, 255, 224 });
    addLane("Dribble", 0, "MinFreq", "Minimum frequency", byte, { 0, 254, 255, 20 });
    addLane("Dribble", 1, "MaxFreq", "Maximum frequency", byte, { 0, 254, 255, 160 });
    addLane("Dribble", 2, "Speed", "Modulation speed", byte, { 0, 254, 255, 64 });
}

void BellsTest::schemaMatchesTable()
{
    QFETCH(QString, type);
    if (type == "Kagura Suzu")
        checkLane(KaguraSuzuProcessor(44100), 4, 3);
    else if (type == "Ding")
        checkLane(DingProcessor(44100), 3, 0);
    else
        checkLane(DribbleProcessor(44100), 3, 0);
}

void BellsTest::kaguraShortRowIsIgnoredButRecorded()
{
    KaguraSuzuProcessor bells(44100);
    deliver(bells, kStrike.mid(0, 6), 3);
    QCOMPARE(peak(render(bells, 512)), 0.0);
    deliver(bells, kStrike, 3);
    QCOMPARE(peak(render(bells, 512)), 0.0);
    deliver(bells, kStrike, 4);
    QVERIFY(peak(render(bells, 512)) > 0.0);
}

void BellsTest::kaguraModeLane_data()
{
    QTest::addColumn<quint32>("mode");
    QTest::addColumn<bool>("strikes");
    QTest::newRow("shake") << 0u << false;
    QTest::newRow("strike") << 1u << true;
    QTest::newRow("empty strikes") << 2u << true;
}

// A strike hands over its energy at once; a shake feeds it in over 0.3 s.
void BellsTest::kaguraModeLane()
{
    QFETCH(quint32, mode);
    QFETCH(bool, strikes);
    QList<quint32> row = kStrike;
    row[KaguraSuzuProcessor::Mode] = mode;
    const QVector<double> out = struck(row, 4096);
    QVERIFY(peak(out) > 0.0);
    QCOMPARE(out == struck(kStrike, 4096), strikes);
}

void BellsTest::kaguraStrikeScalesWithVelocity_data()
{
    QTest::addColumn<quint32>("velocityLane");
    QTest::addColumn<double>("velocity");
    QTest::newRow("empty is half") << 255u << 0.5;
    QTest::newRow("102") << 102u << 0.4;
}

// While the energy 12 V^2 stays above 1, every bell collides on every sample, so the
// whole sound is linear in V = sqrt(energy / 12): compare with a strike at 204 (0.8).
void BellsTest::kaguraStrikeScalesWithVelocity()
{
    QFETCH(quint32, velocityLane);
    QFETCH(double, velocity);
    QList<quint32> row = kStrike;
    row[KaguraSuzuProcessor::Velocity] = 204;
    const QVector<double> reference = struck(row, 2000);
    row[KaguraSuzuProcessor::Velocity] = velocityLane;
    const QVector<double> out = struck(row, 2000);
    const double tolerance = 1e-9 * peak(reference);
    for (int i = 0; i < out.size(); ++i)
        QVERIFY2(std::abs(out[i] - reference[i] * velocity / 0.8) < tolerance,
            qPrintable(QString::number(i)));
}

void BellsTest::kaguraBellSizeKeepsPartialsBelowLimit_data()
{
    QTest::addColumn<quint32>("bellSize");
    QTest::addColumn<double>("base");
    QTest::addColumn<bool>("present");
    // Partials are kept below 0.45 * 44100 = 19845 Hz.
    QTest::newRow("scale 4 keeps 4880 (19520 Hz)") << 255u << 4880.0 << true;
    QTest::newRow("scale 4 drops 5170 (20680 Hz)") << 255u << 5170.0 << false;
    QTest::newRow("scale 3.82 keeps 5170 (19768 Hz)") << 243u << 5170.0 << true;
}

void BellsTest::kaguraBellSizeKeepsPartialsBelowLimit()
{
    QFETCH(quint32, bellSize);
    QFETCH(double, base);
    QFETCH(bool, present);
    QList<quint32> row = kStrike;
    row[KaguraSuzuProcessor::BellSize] = bellSize;
    const QVector<double> out = struck(row, 16384);
    // A partial stands far above the floor the random impulses leave between partials.
    const double hz = base * (bellSize / 255.0 * 3.75 + 0.25);
    double floor = 0.0;
    for (const double offset : { -300.0, -150.0, 150.0, 300.0 })
        floor += magnitudeAt(out, hz + offset) / 4.0;
    const double prominence = magnitudeAt(out, hz) / floor;
    QVERIFY2(
        present ? prominence > 10.0 : prominence < 3.0, qPrintable(QString::number(prominence)));
}

void BellsTest::kaguraBellsLaneHoldsTheCount_data()
{
    QTest::addColumn<quint32>("lane");
    QTest::addColumn<quint32>("count");
    QTest::newRow("empty keeps the count") << 12u << 24u;
    QTest::newRow("below the range is ignored") << 2u << 24u;
    QTest::newRow("above the range is ignored") << 25u << 24u;
    QTest::newRow("in range sets the count") << 3u << 3u;
}

// The count is set to 24 first; a strike row then carries `lane`.
void BellsTest::kaguraBellsLaneHoldsTheCount()
{
    QFETCH(quint32, lane);
    QFETCH(quint32, count);
    KaguraSuzuProcessor bells(44100);
    deliver(bells, { 24, 128, 128, 128, 255, 255, 2 }, 0);
    QList<quint32> row = kStrike;
    row[KaguraSuzuProcessor::Bells] = lane;
    deliver(bells, row, 1);
    row[KaguraSuzuProcessor::Bells] = count;
    QCOMPARE(render(bells, 2048), struck(row, 2048));
}

// The first sample is proportional to sqrt(bells) times the sum over the bells of a
// draw in [0.5, 1]: 24 bells give at least sqrt(8) * 12 / 3 = 11.3 times what 3 give.
void BellsTest::kaguraMoreBellsCollideHarder()
{
    QList<quint32> row = kStrike;
    row[KaguraSuzuProcessor::Velocity] = 254;
    row[KaguraSuzuProcessor::Bells] = 24;
    const double many = std::abs(struck(row, 1)[0]);
    row[KaguraSuzuProcessor::Bells] = 3;
    const double few = std::abs(struck(row, 1)[0]);
    QVERIFY(few > 0.0);
    QVERIFY(many > 11.3 * few);
}

void BellsTest::dingNoteLane_data()
{
    QTest::addColumn<quint32>("note");
    QTest::addColumn<bool>("sounds");
    QTest::newRow("lowest note") << 0u << true;
    QTest::newRow("A4") << 69u << true;
    QTest::newRow("highest note") << 253u << true;
    QTest::newRow("note off") << 254u << false;
    QTest::newRow("empty") << 255u << false;
}

void BellsTest::dingNoteLane()
{
    QFETCH(quint32, note);
    QFETCH(bool, sounds);
    DingProcessor ding(44100);
    deliver(ding, { note, 255, 255 }, 0);
    QCOMPARE(peak(render(ding, 4096)) > 0.0, sounds);
}

void BellsTest::dingPitchFollowsTheNote_data()
{
    QTest::addColumn<quint32>("note");
    QTest::addColumn<double>("hz");
    QTest::newRow("A3") << 57u << 220.0;
    QTest::newRow("A4") << 69u << 440.0;
    QTest::newRow("E6") << 88u << 440.0 * std::pow(2.0, 19.0 / 12.0);
}

// The band-pass sits on the fundamental; one second holds 2 * hz sign changes.
void BellsTest::dingPitchFollowsTheNote()
{
    QFETCH(quint32, note);
    QFETCH(double, hz);
    DingProcessor ding(44100);
    deliver(ding, { note, 255, 255 }, 0);
    const QVector<double> out = render(ding, 4410 + 44100);
    QVERIFY(std::abs(signChanges(out, 4410, out.size()) - 2.0 * hz) <= 4.0);
}

void BellsTest::dingLevelAndDecayKeepTheNoteRinging_data()
{
    QTest::addColumn<QList<quint32>>("row");
    QTest::addColumn<double>("decay"); // per sample after the row
    QTest::newRow("volume") << QList<quint32> { 255, 51, 255 } << 0.99998;
    QTest::newRow("decay") << QList<quint32> { 255, 255, 0 } << 0.999;
    QTest::newRow("longest decay") << QList<quint32> { 255, 255, 254 } << 0.99999;
}

// Neither restarts the note: the wave and the envelope go on, only the decay per sample
// changes, so against an untouched note the ratio is (decay / 0.99998)^n.
void BellsTest::dingLevelAndDecayKeepTheNoteRinging()
{
    QFETCH(QList<quint32>, row);
    QFETCH(double, decay);
    DingProcessor changed(44100);
    DingProcessor untouched(44100);
    for (DingProcessor* ding : { &changed, &untouched }) {
        deliver(*ding, { 69, 255, 255 }, 0);
        render(*ding, 1000);
    }
    deliver(changed, row, 1);
    deliver(untouched, { 255, 255, 255 }, 1);
    const QVector<double> out = render(changed, 2000);
    const QVector<double> expected = render(untouched, 2000);
    for (int n = 0; n < out.size(); ++n) {
        const double want = expected[n] * std::pow(decay / 0.99998, n);
        QVERIFY2(std::abs(out[n] - want) < 1e-9, qPrintable(QString::number(n)));
    }
}

void BellsTest::dribbleStaysWithinItsLimits_data()
{
    QTest::addColumn<quint32>("minLane");
    QTest::addColumn<quint32>("maxLane");
    QTest::addColumn<double>("lowest");
    QTest::addColumn<double>("highest");
    QTest::newRow("MinFreq 254, MaxFreq 0: a steady 5000 Hz") << 254u << 0u << 5000.0 << 5000.0;
    QTest::newRow("MinFreq 254, MaxFreq 254: 5000 to 20000 Hz")
        << 254u << 254u << 5000.0 << 20000.0;
    QTest::newRow("MinFreq 254, MaxFreq 127: 5000 to 12500 Hz")
        << 254u << 127u << 5000.0 << 12500.0;
    QTest::newRow("MinFreq 254 alone: 500 Hz wide") << 254u << 255u << 5000.0 << 5500.0;
}

// Five seconds at the fastest wander, read in windows of 64 samples.
void BellsTest::dribbleStaysWithinItsLimits()
{
    QFETCH(quint32, minLane);
    QFETCH(quint32, maxLane);
    QFETCH(double, lowest);
    QFETCH(double, highest);
    DribbleProcessor dribble(44100);
    deliver(dribble, { minLane, maxLane, 254 }, 0);
    render(dribble, 4410); // the old pitch glides away
    const QVector<double> out = render(dribble, 5 * 44100);
    double low = highest;
    double high = lowest;
    for (int from = 1; from + 65 < out.size(); from += 64) {
        const double hz = localFrequency(out, from, 64);
        QVERIFY2(hz > lowest * 0.98 && hz < highest * 1.02, qPrintable(QString::number(hz)));
        low = std::min(low, hz);
        high = std::max(high, hz);
    }
    // The wander reaches both ends of the range.
    QVERIFY(low < lowest + 0.1 * (highest - lowest) + 50.0);
    QVERIFY(high > highest - 0.1 * (highest - lowest) - 50.0);
}

QTEST_GUILESS_MAIN(BellsTest)
#include "tst_bells.moc"
