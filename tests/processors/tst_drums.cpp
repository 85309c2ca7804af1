#include "processors/percussion/DrumProcessor.h"
#include "processors/percussion/TaikoProcessor.h"

#include "processors/units/FlushDenormals.h"

#include "InstrumentTesting.h"

#include <QRandomGenerator>

#include <numbers>
#include <numeric>
#include <optional>

using namespace instrumentTesting;

namespace {

constexpr double kPi = std::numbers::pi;
// Taiko lane values that leave a node parameter as it is, and a row that only strikes.
constexpr quint32 kKeep = 128;
const Row kStrike = { kKeep, kKeep, kKeep, kKeep, kKeep, kKeep, 60, 255, 128 };

double gridPeak(const CircularMembrane<double>& head)
{
    double result = 0.0;
    for (double x : head.current)
        result = std::max(result, std::abs(x));
    return result;
}

// The head's time step written out point by point, as plainly as it reads, to hold the
// vectorised step to.
struct PlainHead {
    std::vector<double> u;
    std::vector<double> p;

    explicit PlainHead(const CircularMembrane<double>& head)
        : u(head.current)
        , p(head.previous)
    {
    }

    double tick(const CircularMembrane<double>& head)
    {
        const auto& start = head.ringStart;
        const auto& points = head.ringPoints;
        const auto update = [&head](double x, double before, double laplacian) {
            const double c = head.nonlinear > 0.0
                ? std::min(0.45, (head.nonlinear * (x * x) + 1.0) * head.courant2)
                : head.courant2;
            return std::clamp((2.0 * x - before + c * laplacian) * head.loss, -2.0, 2.0);
        };
        const auto nearest = [&](int ring, double theta) {
            return u[std::size_t(
                start[ring] + int(theta * points[ring] / (2.0 * kPi) + 0.5) % points[ring])];
        };
        std::vector<double> n(u.size(), 0.0);
        double sum = 0.0;
        for (int k = 0; k < points[1]; ++k)
            sum += u[std::size_t(start[1] + k)];
        n[0] = update(u[0], p[0], sum / points[1] - u[0]);
        for (int j = 1; j < head.rings - 1; ++j) {
            for (int k = 0; k < points[j]; ++k) {
                const double theta = k * (2.0 * kPi) / points[j];
                const auto i = std::size_t(start[j] + k);
                const double inner = j == 1 ? u[0] : nearest(j - 1, theta);
                const double left = u[std::size_t(start[j] + (k - 1 + points[j]) % points[j])];
                const double right = u[std::size_t(start[j] + (k + 1) % points[j])];
                n[i] = update(u[i], p[i],
                    (left + right - 2.0 * u[i]) / (j * j)
                        + (inner + nearest(j + 1, theta) - 2.0 * u[i]));
            }
        }
        p = std::exchange(u, n);
        return u[std::size_t(start[head.pickupRing])];
    }
};

} // namespace

class DrumsTest : public QObject {
    Q_OBJECT

private slots:
    void drumHitFollowsItsLanes_data();
    void drumHitFollowsItsLanes();
    void taikoTakesWholeRowsOnce();
    void taikoStaysBoundedUnderHardStrikes_data();
    void taikoStaysBoundedUnderHardStrikes();
    void taikoStrikeShape_data();
    void taikoStrikeShape();
    void taikoRendersAsRecorded_data();
    void taikoRendersAsRecorded();
    void headStepsLikeThePlainStep_data();
    void headStepsLikeThePlainStep();
    void drumSineFollowsStdSin();
};

// Lanes: note, volume, attack (10 to 500 samples), decay (200 to 8000), pitch (a phase step
// from 0.1 to 1.3 at the start and 0.02 to 0.1 at the end). A later note restarts the hit.
// The fingerprints, of the hit and of the restarted one, were recorded from the drum written
// out from its definition: a linear attack and decay, smoothed by a one-pole, under a sine
// whose phase step sweeps linearly from start to end over the hit.
void DrumsTest::drumHitFollowsItsLanes_data()
{
    const DataTable<Row, Samples, Samples> add("row", "hit", "again");
    const Samples untouched { 0.11031130563702846, 1.9403977621433339e-06 };
    add("empty lanes: 100, 2000, 0.5, 0.1", { 60, 255, 255, 255, 255 },
        { 0.039396894870473917, 2.4517156880804771e-07 }, untouched);
    add("shortest attack, longest decay", { 0, 255, 0, 254, 0 },
        { 0.15606043428364777, 1.6623770544937925e-05 },
        { 0.32078875253192785, 0.0024879486841332668 });
    add("silent, longest attack, shortest decay", { 253, 0, 254, 0, 254 },
        { 0.011770912368476053, -3.6811955210966987e-06 },
        { 0.032958554631732945, -2.8860572764247125e-05 });
    add("middle: 255, 4100, 0.7, 0.06", { 60, 255, 127, 127, 127 },
        { 0.084841557312955534, 1.3665623113584548e-06 },
        { 0.2274257447730251, -0.00044360602721346296 });
    add("note off", { 254, 255, 255, 255, 255 }, { 0, 0 }, untouched);
    add("no note", { 255 }, { 0, 0 }, untouched);
}

void DrumsTest::drumHitFollowsItsLanes()
{
    const auto [row, hit, again] = fetch<Row, Samples, Samples>("row", "hit", "again");
    DrumProcessor drum(44100);
    deliver(drum, row, 1);
    COMPARE_FINGERPRINT(render(drum, 8400), hit);
    deliver(drum, { 40 }, 2);
    COMPARE_FINGERPRINT(render(drum, 3000), again);
}

// A row short of a lane is ignored but takes its serial; a reset brings the head to rest.
void DrumsTest::taikoTakesWholeRowsOnce()
{
    TaikoProcessor taiko(44100);
    deliver(taiko, kStrike.mid(0, 8), 7);
    QCOMPARE(peak(render(taiko, 512)), 0.0);
    deliver(taiko, kStrike, 7);
    QCOMPARE(peak(render(taiko, 512)), 0.0);
    deliver(taiko, kStrike, 8);
    QVERIFY(peak(render(taiko, 512)) > 0.0);
    taiko.reset();
    QCOMPARE(peak(render(taiko, 2000)), 0.0);
    QCOMPARE(gridPeak(taiko.membrane()), 0.0);
}

// A strike every 64 samples for a second at full velocity: hundreds of strikes on a nearly
// lossless head pile up far beyond the limit the grid is held to.
void DrumsTest::taikoStaysBoundedUnderHardStrikes_data()
{
    const DataTable<Row, quint32> add("settings", "position");
    const Row loud { 255, 0, 255, 255, 255, 255 };
    add("tight, small, undamped, loud at the centre", loud, 0u);
    add("tight, small, undamped, loud at the edge", loud, 200u);
    add("slack, large and linear", { 0, 255, 255, 255, 255, 0 }, 60u);
}

void DrumsTest::taikoStaysBoundedUnderHardStrikes()
{
    const auto [settings, position] = fetch<Row, quint32>("settings", "position");
    TaikoProcessor taiko(44100);
    double loudest = 0.0;
    double largest = 0.0;
    for (quint32 block = 0; block < 44100 / 64; ++block) {
        deliver(taiko, settings + Row { 60, 254, position }, block);
        for (int i = 0; i < 64; ++i) {
            const double y = render(taiko, 1)[0];
            QVERIFY2(std::abs(y) <= 1.0, qPrintable(QString::number(y)));
            const double grid = gridPeak(taiko.membrane());
            QVERIFY2(grid <= 2.0, qPrintable(QString::number(grid)));
            loudest = std::max(loudest, std::abs(y));
            largest = std::max(largest, grid);
        }
    }
    QCOMPARE(largest, 2.0);
    QVERIFY(loudest > 0.5);
}

// R = max(0.18 * 12, 1) = 2.16; the centre sits on ring 11 * position; the distance is from
// there to point 0 of the ring.
void DrumsTest::taikoStrikeShape_data()
{
    const DataTable<quint32, quint32, int, double> add(
        "velocityLane", "positionLane", "ring", "distance");
    add("centre, ring 2", 255u, 0u, 2, 2.0);
    add("centre, ring 3", 255u, 0u, 3, 3.0);
    add("empty position is 0.3", 255u, 128u, 3, 0.3);
    add("edge, rim ring", 255u, 255u, 11, 0.0);
    add("edge, ring 9", 255u, 255u, 9, 2.0);
    add("velocity 51, ring 10", 51u, 255u, 10, 1.0);
}

void DrumsTest::taikoStrikeShape()
{
    const auto [velocityLane, positionLane, ring, distance]
        = fetch<quint32, quint32, int, double>("velocityLane", "positionLane", "ring", "distance");
    TaikoProcessor taiko(44100);
    Row row = kStrike;
    row[TaikoProcessor::Velocity] = velocityLane;
    row[TaikoProcessor::Position] = positionLane;
    deliver(taiko, row, 0);
    const double velocity = velocityLane == 255 ? 0.5 : velocityLane / 255.0;
    const double dent = distance < 2.16 ? (std::cos(distance * kPi / 2.16) + 1.0) / 2.0 : 0.0;
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

// Half a second of a strike, recorded once the drum matched its definition.
void DrumsTest::taikoRendersAsRecorded_data()
{
    const DataTable<Row, Samples> add("row", "golden");
    add("empty lanes", kStrike, { 0.10108644331220371, 0.0030046245646390365 });
    add("off centre, every lane set", { 200, 50, 200, 200, 100, 254, 48, 200, 180 },
        { 0.0055401276114438658, -0.00042204814414283548 });
}

void DrumsTest::taikoRendersAsRecorded()
{
    const auto [row, golden] = fetch<Row, Samples>("row", "golden");
    TaikoProcessor taiko(44100);
    deliver(taiko, row, 0);
    COMPARE_FINGERPRINT(render(taiko, kRate / 2), golden);
}

// Random strikes, tensions, sizes, damping and stiffness, segment after segment, through
// the head's vectorised step and the plain one: every sample and, after each segment, every
// point must be equal. A heavy mute lets a flushed head come to rest, so the skipped steps
// of a head at rest are held to the plain step too.
void DrumsTest::headStepsLikeThePlainStep_data()
{
    const DataTable<MembraneLanes, bool, bool> add("lanes", "stiffening", "flushed");
    add("SSE2, stiffening, flushed", MembraneLanes::Sse2, true, true);
    add("SSE2, linear, flushed", MembraneLanes::Sse2, false, true);
    add("SSE2, stiffening, subnormals kept", MembraneLanes::Sse2, true, false);
    add("AVX2, stiffening, flushed", MembraneLanes::Avx2, true, true);
    add("AVX2, linear, subnormals kept", MembraneLanes::Avx2, false, false);
    add("AVX-512, stiffening, flushed", MembraneLanes::Avx512, true, true);
    add("AVX-512, linear, subnormals kept", MembraneLanes::Avx512, false, false);
}

void DrumsTest::headStepsLikeThePlainStep()
{
    const auto [lanes, stiffening, flushed]
        = fetch<MembraneLanes, bool, bool>("lanes", "stiffening", "flushed");
    if (lanes > widestMembraneLanes())
        QSKIP("this processor lacks these lanes");
    std::optional<FlushDenormals> flush;
    if (flushed)
        flush.emplace();
    QRandomGenerator random(7);
    const auto between
        = [&random](double low, double high) { return low + random.bounded(high - low); };
    CircularMembrane<double> head;
    head.lanes = lanes;
    bool rested = false;
    for (int segment = 0; segment < 12; ++segment) {
        const bool mute = segment % 4 == 3;
        head.tension = between(0.2, 1.8);
        head.size = between(0.15, 0.75);
        head.updateCourant();
        head.loss = mute ? 0.9 : between(0.95, 0.9999);
        head.nonlinear = stiffening ? random.bounded(16.0) : 0.0;
        if (!mute)
            head.strike(random.bounded(1.0), random.bounded(1.0));
        PlainHead plain(head);
        Samples expected(mute ? 20000 : 3000);
        Samples actual(expected.size());
        for (double& x : expected)
            x = plain.tick(head);
        for (qsizetype done = 0; done < actual.size();) {
            const qsizetype frames
                = std::min(actual.size() - done, qsizetype(random.bounded(1, 700)));
            rested = rested || head.atRest();
            head.render(actual.data() + done, frames);
            done += frames;
        }
        const auto at = firstDifference(actual, expected);
        QVERIFY2(
            !at, qPrintable(QString("segment %1, sample %2").arg(segment).arg(at.value_or(0))));
        QVERIFY2(head.current == plain.u && head.previous == plain.p,
            qPrintable(QString::number(segment)));
    }
    QCOMPARE(rested, flushed);
}

// Random hits with random attack, decay and sweep, ringing into silence and cut short,
// through the voice with the polynomial sine, rendered in chunks, and through one with
// std::sin a tick at a time.
void DrumsTest::drumSineFollowsStdSin()
{
    const FlushDenormals flush;
    QRandomGenerator random(5);
    Drum<double> fast(kRate);
    Drum<double, true> plain(kRate);
    double worst = 0.0;
    for (int hit = 0; hit < 60; ++hit) {
        const double attack = 10.0 + random.bounded(490.0);
        const double decay = 200.0 + random.bounded(7800.0);
        const double sweep = random.bounded(1.0);
        const auto start = [&](auto& voice) {
            voice.attack = attack;
            voice.decay = decay;
            voice.total = attack + decay;
            voice.startIncrement = sweep * 1.2 + 0.1;
            voice.endIncrement = sweep * 0.08 + 0.02;
            voice.restart();
        };
        start(fast);
        start(plain);
        Samples rendered(random.bounded(200, 40000));
        fast.render(rendered.data(), rendered.size());
        for (const double x : rendered)
            worst = std::max(worst, std::abs(x - plain.tick()));
    }
    QVERIFY2(worst < 1e-12, qPrintable(QString::number(worst)));
}

QTEST_GUILESS_MAIN(DrumsTest)
#include "tst_drums.moc"
