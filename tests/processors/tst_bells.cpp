#include "processors/bells/DingProcessor.h"
#include "processors/bells/DribbleProcessor.h"
#include "processors/bells/KaguraSuzuProcessor.h"

#include "InstrumentTesting.h"

#include <cstdlib>

using namespace instrumentTesting;

namespace {

// Kagura suzu: Bells, Brightness, Decay, BellSize untouched; a note at empty velocity, struck.
const Row kStrike = { 12, 128, 128, 128, 60, 255, 1 };

Samples struck(const Row& row, int frames)
{
    KaguraSuzuProcessor bells(44100);
    deliver(bells, row, 0);
    return render(bells, frames);
}

} // namespace

class BellsTest : public QObject {
    Q_OBJECT

private slots:
    void kaguraTakesWholeRowsOnce();
    void kaguraModeLane_data();
    void kaguraModeLane();
    void kaguraStrikeScalesWithVelocity_data();
    void kaguraStrikeScalesWithVelocity();
    void kaguraRendersAsRecorded_data();
    void kaguraRendersAsRecorded();
    void kaguraBellsLaneHoldsTheCount_data();
    void kaguraBellsLaneHoldsTheCount();
    void dingFollowsItsLanes_data();
    void dingFollowsItsLanes();
    void dribbleWandersWithinItsLimits_data();
    void dribbleWandersWithinItsLimits();
};

void BellsTest::kaguraTakesWholeRowsOnce()
{
    KaguraSuzuProcessor bells(44100);
    deliver(bells, kStrike.mid(0, 6), 3);
    QCOMPARE(peak(render(bells, 512)), 0.0);
    deliver(bells, kStrike, 3);
    QCOMPARE(peak(render(bells, 512)), 0.0);
    deliver(bells, kStrike, 4);
    QVERIFY(peak(render(bells, 512)) > 0.0);
}

// A strike hands over its energy at once; a shake feeds it in over 0.3 s.
void BellsTest::kaguraModeLane_data()
{
    const DataTable<quint32, bool> add("mode", "strikes");
    add("shake", 0u, false);
    add("strike", 1u, true);
    add("empty strikes", 2u, true);
}

void BellsTest::kaguraModeLane()
{
    const auto [mode, strikes] = fetch<quint32, bool>("mode", "strikes");
    Row row = kStrike;
    row[KaguraSuzuProcessor::Mode] = mode;
    const Samples out = struck(row, 4096);
    QVERIFY(peak(out) > 0.0);
    QCOMPARE(out == struck(kStrike, 4096), strikes);
}

// While the energy 12 V^2 stays above 1, every bell collides on every sample, so the
// whole sound is linear in V = sqrt(energy / 12): compare with a strike at 204 (0.8).
void BellsTest::kaguraStrikeScalesWithVelocity_data()
{
    const DataTable<quint32, double> add("velocityLane", "velocity");
    add("empty is half", 255u, 0.5);
    add("102 is 0.4", 102u, 0.4);
}

void BellsTest::kaguraStrikeScalesWithVelocity()
{
    const auto [velocityLane, velocity] = fetch<quint32, double>("velocityLane", "velocity");
    Row row = kStrike;
    row[KaguraSuzuProcessor::Velocity] = 204;
    const Samples reference = struck(row, 2000);
    row[KaguraSuzuProcessor::Velocity] = velocityLane;
    const Samples out = struck(row, 2000);
    for (qsizetype i = 0; i < out.size(); ++i)
        QVERIFY2(std::abs(out[i] - reference[i] * velocity / 0.8) < 1e-9 * peak(reference),
            qPrintable(QString("sample %1").arg(i)));
}

// Half a second at the ends of the bells, brightness, decay and size lanes, recorded once
// the bells matched their definition.
void BellsTest::kaguraRendersAsRecorded_data()
{
    const DataTable<Row, Samples> add("row", "golden");
    add("3 bright, short and small, struck", { 3, 254, 254, 0, 60, 255, 1 },
        { 0.0065249737034085275, 1.6036263412250195e-06 });
    add("24 dull, long and large, shaken", { 24, 0, 0, 254, 60, 255, 0 },
        { 0.00016017172046483397, -2.4452191957366246e-08 });
}

void BellsTest::kaguraRendersAsRecorded()
{
    const auto [row, golden] = fetch<Row, Samples>("row", "golden");
    COMPARE_FINGERPRINT(struck(row, kRate / 2), golden);
}

// The count is set to 24 first; a strike row then carries `lane`.
void BellsTest::kaguraBellsLaneHoldsTheCount_data()
{
    const DataTable<quint32, quint32> add("lane", "count");
    add("empty", 12u, 24u);
    add("2 is below the range", 2u, 24u);
    add("25 is above the range", 25u, 24u);
    add("3", 3u, 3u);
}

void BellsTest::kaguraBellsLaneHoldsTheCount()
{
    const auto [lane, count] = fetch<quint32, quint32>("lane", "count");
    KaguraSuzuProcessor bells(44100);
    deliver(bells, { 24, 128, 128, 128, 255, 255, 2 }, 0);
    Row row = kStrike;
    row[KaguraSuzuProcessor::Bells] = lane;
    deliver(bells, row, 1);
    row[KaguraSuzuProcessor::Bells] = count;
    QCOMPARE(render(bells, 2048), struck(row, 2048));
}

// Lanes: note, volume (over 255) and decay (0.999 to 0.99999 per sample); from sample 1000
// a second row sets volume 51 and the shortest decay, which only changes the decay. Recorded
// from a model: a square wave from phase 0 through a band-pass (Q 4) on its frequency (in
// single precision), under an envelope that stops below 1e-4.
void BellsTest::dingFollowsItsLanes_data()
{
    const DataTable<Row, Samples> add("row", "golden");
    add("440 Hz at 0.8", { 69, 255, 255 }, { 0.066015611005258434, -8.3797068474160416e-07 });
    add("0.2, decay 0.999", { 0, 51, 0 }, { 2.880637464201624e-05, 9.8134837104801864e-05 });
    add("decay 0.99999", { 253, 254, 254 }, { 5.3521896197529278e-10, -1.0847150065620431e-13 });
    add("note alone", { 88 }, { 0.072582013301339066, -2.4971946517405855e-07 });
    add("note off", { 254, 255, 255 }, { 0, 0 });
    add("no note", { 255, 51, 0 }, { 0, 0 });
}

void BellsTest::dingFollowsItsLanes()
{
    const auto [row, golden] = fetch<Row, Samples>("row", "golden");
    DingProcessor ding(44100);
    deliver(ding, row, 0);
    Samples out = render(ding, 1000);
    deliver(ding, { 255, 51, 0 }, 1);
    out += render(ding, 9000);
    COMPARE_FINGERPRINT(out, golden);
}

// Lanes: the lower limit (20 to 5000 Hz), the upper one (up to 20 kHz, or 500 Hz above the
// lower when empty) and the speed: holds of 0.2 s down to 0.02 s for the pitch, 1.6 times
// that for the level, smoothing 0.0005 to 0.0055. Recorded from a model drawing from rand()
// seeded alike: targets held for half to one and a half times their hold, approached by a
// one-pole, the pitch scaled between the limits.
void BellsTest::dribbleWandersWithinItsLimits_data()
{
    const DataTable<Row, Samples> add("row", "golden");
    const Samples untouched { 0.20032245686920663, 5.743803376578442e-05 };
    add("200 to 2000 Hz, holds 2205 and 3528, 0.001", {}, untouched);
    add("the upper limit alone is ignored", { 255, 0, 255 }, untouched);
    add("from 5 kHz, fastest", { 254, 0, 254 }, { 0.1928678943686587, -2.3983502162127497e-05 });
    add("to 12.5 kHz", { 254, 127, 127 }, { 0.19811487389103438, -6.3986007067027475e-06 });
    add("20 to 520 Hz", { 0, 255, 0 }, { 0.17145477272209081, -0.00010488328389385007 });
}

void BellsTest::dribbleWandersWithinItsLimits()
{
    const auto [row, golden] = fetch<Row, Samples>("row", "golden");
    std::srand(7);
    DribbleProcessor dribble(44100);
    deliver(dribble, row, 0);
    COMPARE_FINGERPRINT(render(dribble, 44100), golden);
}

QTEST_GUILESS_MAIN(BellsTest)
#include "tst_bells.moc"
