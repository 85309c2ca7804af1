#include "processors/percussion/DrumProcessor.h"
#include "processors/percussion/TaikoProcessor.h"

#include "InstrumentTesting.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <numbers>

using namespace instrumentTesting;

namespace {

constexpr double kPi = std::numbers::pi;
// Taiko lane values that leave a node parameter as it is, and a row that only strikes.
constexpr quint32 kKeep = 128;
const QList<quint32> kStrike = { kKeep, kKeep, kKeep, kKeep, kKeep, kKeep, 60, 255, 128 };

double gridPeak(const CircularMembrane<double>& head)
{
    double result = 0.0;
    for (double x : head.current)
        result = std::max(result, std::abs(x));
    return result;
}

// A drum row: note, volume, attack, decay, pitch.
QList<quint32> drumRow(quint32 note, quint32 attack, quint32 decay, quint32 pitch)
{
    return { note, 255, attack, decay, pitch };
}

} // namespace

class DrumsTest : public QObject {
    Q_OBJECT

private slots:
    void schemaMatchesTable_data();
    void schemaMatchesTable();
    void drumNoteLane_data();
    void drumNoteLane();
    void drumEnvelopeFollowsAttackAndDecay_data();
    void drumEnvelopeFollowsAttackAndDecay();
    void drumPitchSweepsFromStartToEnd_data();
    void drumPitchSweepsFromStartToEnd();
    void drumNewNoteRestartsTheHit();
    void taikoShortRowIsIgnoredButRecorded();
    void taikoStaysBoundedUnderHardStrikes_data();
    void taikoStaysBoundedUnderHardStrikes();
    void taikoMuteMakesTheNextStrikeShort();
    void taikoMiddleValueChangesNothing_data();
    void taikoMiddleValueChangesNothing();
    void taikoStrikeShape_data();
    void taikoStrikeShape();
    void taikoResetSilences();
};

void DrumsTest::schemaMatchesTable_data()
{
    addSchemaColumns();
    const auto note = ValueType::MidiNote;
    const auto byte = ValueType::Byte;
    addLane("Drum", 0, "Note", "Trigger drum hit", note, { 0, 255, 255, 255 });
    addLane("Drum", 1, "Volume", "Amplitude of signal", byte, { 0, 255, 255, 128 });
    addLane("Drum", 2, "Attack", "Attack time", byte, { 0, 254, 255, 46 });
    addLane("Drum", 3, "Decay", "Decay time", byte, { 0, 254, 255, 92 });
    addLane("Drum", 4, "Pitch", "Pitch sweep (low to high)", byte, { 0, 254, 255, 128 });
    addLane("Taiko", 0, "Tension", "Membrane tension (pitch)", byte, { 0, 255, 128, 128 });
    addLane("Taiko", 1, "Size", "Drum size / body resonance", byte, { 0, 255, 128, 160 });
    addLane(
        "Taiko", 2, "Damping", "Head damping (low=short, high=long)", byte, { 0, 255, 128, 96 });
    addLane("Taiko", 3, "Gain", "Output gain", byte, { 0, 255, 128, 64 });
    addLane("Taiko", 4, "BodyDecay", "Body resonance ring time", byte, { 0, 255, 128, 88 });
    addLane("Taiko", 5, "Nonlinear", "Pitch drop on hard hits", byte, { 0, 255, 128, 128 });
    addLane("Taiko", 6, "Note", "Trigger note", note, { 0, 255, 255, 255 });
    addLane("Taiko", 7, "Velocity", "Strike velocity", byte, { 0, 255, 255, 128 });
    addLane("Taiko", 8, "Position", "Strike position (centre to edge)", byte, { 0, 255, 128, 64 });
}

// The drum has node lanes only; the taiko's last three are per track.
void DrumsTest::schemaMatchesTable()
{
    QFETCH(QString, type);
    if (type == "Drum")
        checkLane(DrumProcessor(44100), 5, 0);
    else
        checkLane(TaikoProcessor(44100), 6, 3);
}

void DrumsTest::drumNoteLane_data()
{
    QTest::addColumn<quint32>("note");
    QTest::addColumn<bool>("sounds");
    QTest::newRow("lowest note") << 0u << true;
    QTest::newRow("middle C") << 60u << true;
    QTest::newRow("highest note") << 253u << true;
    QTest::newRow("note off") << 254u << false;
    QTest::newRow("empty") << 255u << false;
}

void DrumsTest::drumNoteLane()
{
    QFETCH(quint32, note);
    QFETCH(bool, sounds);
    DrumProcessor drum(44100);
    deliver(drum, drumRow(note, 255, 255, 255), 0);
    QCOMPARE(peak(render(drum, 2000)) > 0.1, sounds);
}

void DrumsTest::drumEnvelopeFollowsAttackAndDecay_data()
{
    QTest::addColumn<quint32>("attackLane");
    QTest::addColumn<quint32>("decayLane");
    QTest::addColumn<double>("attack");
    QTest::addColumn<double>("decay");
    QTest::newRow("shortest attack, longest decay") << 0u << 254u << 10.0 << 8000.0;
    QTest::newRow("longest attack, shortest decay") << 254u << 0u << 500.0 << 200.0;
    QTest::newRow("untouched") << 255u << 255u << 100.0 << 2000.0;
}

// The output is env * sin(phase) with a known phase, so the envelope target can be read
// back from it: target = (env[n] - 0.99 env[n-1]) / 0.01.
void DrumsTest::drumEnvelopeFollowsAttackAndDecay()
{
    QFETCH(quint32, attackLane);
    QFETCH(quint32, decayLane);
    QFETCH(double, attack);
    QFETCH(double, decay);
    const double total = attack + decay;
    DrumProcessor drum(44100);
    deliver(drum, drumRow(60, attackLane, decayLane, 254), 0);
    const QVector<double> out = render(drum, int(total) + 200);

    double phase = 0.0;
    double lastEnv = 0.0;
    double lastSin = 0.0;
    int checked = 0;
    for (int n = 1; n <= out.size(); ++n) {
        const double t = std::min(1.0, n / total);
        phase += (1.0 - t) * 1.3 + t * 0.1;
        const double s = std::sin(phase);
        const double env = out[n - 1] / s;
        if (std::abs(s) > 0.3 && std::abs(lastSin) > 0.3) {
            const double target = n < attack ? n / attack
                : n < total                  ? 1.0 - (n - attack) / decay
                                             : 0.0;
            QVERIFY2(std::abs((env - 0.99 * lastEnv) / 0.01 - target) < 1e-6,
                qPrintable(QString::number(n)));
            ++checked;
        }
        lastEnv = env;
        lastSin = s;
    }
    QVERIFY(checked > out.size() / 2);
}

void DrumsTest::drumPitchSweepsFromStartToEnd_data()
{
    QTest::addColumn<quint32>("pitchLane");
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end");
    QTest::newRow("low") << 0u << 0.1 << 0.02;
    QTest::newRow("middle") << 127u << 0.7 << 0.06;
    QTest::newRow("high") << 254u << 1.3 << 0.1;
    QTest::newRow("untouched") << 255u << 0.5 << 0.1;
}

// Over the hit the phase runs total*start + (end - start)(total + 1)/2 radians; the
// envelope stays positive, so the output changes sign once per pi.
void DrumsTest::drumPitchSweepsFromStartToEnd()
{
    QFETCH(quint32, pitchLane);
    QFETCH(double, start);
    QFETCH(double, end);
    const int total = 2100;
    DrumProcessor drum(44100);
    deliver(drum, drumRow(60, 255, 255, pitchLane), 0);
    const QVector<double> out = render(drum, total);
    int changes = 0;
    for (int i = 1; i < total; ++i)
        changes += (out[i] > 0) != (out[i - 1] > 0);
    const double sweep = total * start + (end - start) * (total + 1) / 2.0;
    QVERIFY2(
        std::abs(changes - std::floor(sweep / kPi)) <= 1, qPrintable(QString::number(changes)));
}

void DrumsTest::drumNewNoteRestartsTheHit()
{
    DrumProcessor struckTwice(44100);
    DrumProcessor struckOnce(44100);
    deliver(struckTwice, drumRow(60, 255, 255, 255), 0);
    render(struckTwice, 1000);
    deliver(struckTwice, drumRow(40, 255, 255, 255), 1);
    deliver(struckOnce, drumRow(60, 255, 255, 255), 0);
    QCOMPARE(render(struckTwice, 3000), render(struckOnce, 3000));
}

void DrumsTest::taikoShortRowIsIgnoredButRecorded()
{
    TaikoProcessor taiko(44100);
    deliver(taiko, kStrike.mid(0, 8), 7);
    QCOMPARE(peak(render(taiko, 512)), 0.0);
    deliver(taiko, kStrike, 7);
    QCOMPARE(peak(render(taiko, 512)), 0.0);
    deliver(taiko, kStrike, 8);
    QVERIFY(peak(render(taiko, 512)) > 0.0);
}

void DrumsTest::taikoStaysBoundedUnderHardStrikes_data()
{
    QTest::addColumn<QList<quint32>>("settings"); // the six node lanes
    QTest::addColumn<quint32>("position");
    QTest::newRow("tight, small, undamped, loud, centre")
        << QList<quint32> { 255, 0, 255, 255, 255, 255 } << 0u;
    QTest::newRow("tight, small, undamped, loud, edge")
        << QList<quint32> { 255, 0, 255, 255, 255, 255 } << 200u;
    QTest::newRow("slack, large, linear") << QList<quint32> { 0, 255, 255, 255, 255, 0 } << 60u;
}

// A strike every 64 samples for a second at full velocity.
void DrumsTest::taikoStaysBoundedUnderHardStrikes()
{
    QFETCH(QList<quint32>, settings);
    QFETCH(quint32, position);
    TaikoProcessor taiko(44100);
    double loudest = 0.0;
    double largest = 0.0;
    for (quint32 block = 0; block < 44100 / 64; ++block) {
        deliver(taiko, settings + QList<quint32> { 60, 254, position }, block);
        for (int i = 0; i < 64; ++i) {
            const double y = render(taiko, 1)[0];
            QVERIFY2(std::abs(y) <= 1.0, qPrintable(QString::number(y)));
            const double grid = gridPeak(taiko.membrane());
            QVERIFY2(grid <= 2.0, qPrintable(QString::number(grid)));
            loudest = std::max(loudest, std::abs(y));
            largest = std::max(largest, grid);
        }
    }
    // Hundreds of strikes on a nearly lossless head pile up far beyond the limit.
    QCOMPARE(largest, 2.0);
    QVERIFY(loudest > 0.5);
}

void DrumsTest::taikoMuteMakesTheNextStrikeShort()
{
    TaikoProcessor muted(44100);
    TaikoProcessor open(44100);
    QList<quint32> mute = kStrike;
    mute[TaikoProcessor::Note] = 254;
    deliver(muted, mute, 0);
    deliver(muted, kStrike, 1);
    deliver(open, kStrike, 1);
    render(muted, 300);
    render(open, 300);
    // The head's amplitude falls by sqrt(loss) per step: 0.9^150 (1.4e-7) of the 0.015
    // dent when muted, 0.9994^150 (91%) when open.
    QVERIFY(gridPeak(muted.membrane()) < 1e-8);
    QVERIFY(gridPeak(open.membrane()) > 1e-3);
    // The body rings on by itself, but without the head feeding it the tail is weak.
    const QVector<double> mutedTail = render(muted, 8000);
    const QVector<double> openTail = render(open, 8000);
    QVERIFY(peak(mutedTail, 4000) < 0.1 * peak(openTail, 4000));
}

void DrumsTest::taikoMiddleValueChangesNothing_data()
{
    QTest::addColumn<int>("lane");
    for (int lane = TaikoProcessor::Tension; lane <= TaikoProcessor::Nonlinear; ++lane)
        QTest::newRow(qPrintable(QString("lane %1").arg(lane))) << lane;
}

// 128 in any of the six node lanes is empty; its neighbour 129 is an ordinary value.
void DrumsTest::taikoMiddleValueChangesNothing()
{
    QFETCH(int, lane);
    TaikoProcessor reference(44100);
    deliver(reference, kStrike, 0);
    const QVector<double> expected = render(reference, 4000);
    for (const quint32 value : { 128u, 129u }) {
        TaikoProcessor taiko(44100);
        QList<quint32> row = kStrike;
        row[lane] = value;
        deliver(taiko, row, 0);
        QCOMPARE(render(taiko, 4000) == expected, value == 128);
    }
}

void DrumsTest::taikoStrikeShape_data()
{
    QTest::addColumn<quint32>("velocityLane");
    QTest::addColumn<quint32>("positionLane");
    QTest::addColumn<int>("ring");
    QTest::addColumn<double>("distance"); // from the strike centre to point 0 of the ring
    // R = max(0.18 * 12, 1) = 2.16; the centre sits on ring 11 * position.
    QTest::newRow("centre, ring 1") << 255u << 0u << 1 << 1.0;
    QTest::newRow("centre, ring 2") << 255u << 0u << 2 << 2.0;
    QTest::newRow("centre, ring 3 outside") << 255u << 0u << 3 << 3.0;
    QTest::newRow("empty position is 0.3") << 255u << 128u << 3 << 0.3;
    QTest::newRow("rim") << 255u << 255u << 11 << 0.0;
    QTest::newRow("rim, ring 9") << 255u << 255u << 9 << 2.0;
    QTest::newRow("soft, rim") << 51u << 255u << 10 << 1.0;
}

void DrumsTest::taikoStrikeShape()
{
    QFETCH(quint32, velocityLane);
    QFETCH(quint32, positionLane);
    QFETCH(int, ring);
    QFETCH(double, distance);
    TaikoProcessor taiko(44100);
    QList<quint32> row = kStrike;
    row[TaikoProcessor::Velocity] = velocityLane;
    row[TaikoProcessor::Position] = positionLane;
    deliver(taiko, row, 0);
    const double radius = 2.16;
    const double velocity = velocityLane == 255 ? 0.5 : velocityLane / 255.0;
    const double dent = distance < radius ? (std::cos(distance * kPi / radius) + 1.0) / 2.0 : 0.0;
    const auto& head = taiko.membrane();
    QCOMPARE(head.current[0], 0.0);
    QVERIFY(qFuzzyCompare(1.0 + head.current[head.ringStart[ring]], 1.0 + dent * 0.03 * velocity));
    QVERIFY(qFuzzyCompare(
        1.0 + head.previous[head.ringStart[ring]], 1.0 + dent * 0.03 * velocity * 0.95));
    // The rim is held still from the first step on.
    render(taiko, 1);
    for (int i = head.ringStart[11]; i < head.totalPoints; ++i)
        QCOMPARE(head.current[i], 0.0);
}

void DrumsTest::taikoResetSilences()
{
    TaikoProcessor taiko(44100);
    deliver(taiko, kStrike, 0);
    QVERIFY(peak(render(taiko, 2000)) > 0.0);
    taiko.reset();
    QCOMPARE(peak(render(taiko, 2000)), 0.0);
    QCOMPARE(gridPeak(taiko.membrane()), 0.0);
}

QTEST_GUILESS_MAIN(DrumsTest)
#include "tst_drums.moc"
