#include "core/DataStream.h"
#include "processors/effects/AmpProcessor.h"
#include "processors/effects/AverageProcessor.h"
#include "processors/effects/DelayProcessor.h"
#include "processors/effects/DistortionProcessor.h"
#include "processors/effects/RecursionProcessor.h"
#include "processors/effects/TremoloProcessor.h"

#include "InstrumentTesting.h"

#include <cstring>
#include <functional>
#include <numbers>
#include <random>

using namespace instrumentTesting;

namespace {

constexpr quint32 kE = 0xFFFF; // an empty word lane
constexpr quint32 kEB = 0xFF; // an empty byte lane

QSharedPointer<Processor> make(const QString& type)
{
    if (type == "Amp")
        return QSharedPointer<AmpProcessor>::create(kRate);
    if (type == "Tremolo")
        return QSharedPointer<TremoloProcessor>::create(kRate);
    if (type == "Distortion")
        return QSharedPointer<DistortionProcessor>::create(kRate);
    return QSharedPointer<AverageProcessor>::create(kRate);
}

QByteArray bytes(const std::function<void(QDataStream&)>& write)
{
    QByteArray data;
    QDataStream stream(&data, QIODevice::WriteOnly);
    datastream::prepare(stream);
    write(stream);
    return data;
}

const auto averageState = [](double dry, double wet, qint32 size) {
    return bytes([=](QDataStream& s) { s << dry << wet << size; });
};

void load(Processor& processor, const QByteArray& data)
{
    QDataStream stream(data);
    datastream::prepare(stream);
    processor.loadState(stream);
}

// From a gain of 1 towards `target`, at most 200/44100 per sample, the first step taken.
Samples ramp(double target)
{
    Samples out(1000);
    for (qsizetype n = 0; n < out.size(); ++n) {
        const double moved = double(n + 1) * 200.0 / 44100.0;
        out[n] = target > 1.0 ? std::min(1.0 + moved, target) : std::max(1.0 - moved, target);
    }
    return out;
}

// 1 - depth (1 - level) for an LFO level of sin(2 pi phase) / 2 + 1/2, over a whole cycle
// and a little more from phase 0.
Samples tremolo(double rate, double depth)
{
    Samples out(qsizetype(std::ceil(kRate / rate)) + 10);
    for (qsizetype n = 0; n < out.size(); ++n) {
        const double phase = std::fmod(double(n) * rate / kRate, 1.0);
        out[n] = 1.0 - depth * (1.0 - (std::sin(2.0 * std::numbers::pi * phase) * 0.5 + 0.5));
    }
    return out;
}

Samples line()
{
    Samples out(401);
    for (qsizetype n = 0; n < out.size(); ++n)
        out[n] = -2.0 + double(n) / 100.0;
    return out;
}

// (1 - mix) x + mix tanh(drive x) / sqrt(drive), over -2 to 2.
Samples distorted(double drive, double mix)
{
    Samples out = line();
    for (double& x : out)
        x = (1.0 - mix) * x + mix * std::tanh(drive * x) / std::sqrt(drive);
    return out;
}

} // namespace

class EffectsTest : public QObject {
    Q_OBJECT

private slots:
    void outputFollowsTheDefinition_data();
    void outputFollowsTheDefinition();
    void delayEchoes_data();
    void delayEchoes();
    void delayRestartsOnTimeChangeAndReset_data();
    void delayRestartsOnTimeChangeAndReset();
    void averageIsMovingMean_data();
    void averageIsMovingMean();
    void stateRoundTrip_data();
    void stateRoundTrip();
    void fastShapesFollowStd_data();
    void fastShapesFollowStd();
    void tremoloFollowsTheReference();
};

// Rows all carry serial 7, so only the first of them counts. The amp's volume is its
// percentage lane times its decibel lane (0 to +48 dB), reached by a ramp; a reset jumps.
// The tremolo's rate runs 0.1 to 20 Hz, its depth 0 to 1; the distortion's drive 1 to 20,
// its mix 0 to 1.
void EffectsTest::outputFollowsTheDefinition_data()
{
    const DataTable<QString, QList<Row>, Samples, Samples> add("type", "rows", "input", "expected");
    const auto byte = [](quint32 v) { return v / 254.0; };
    const auto amp = [&](const char* tag, const QList<Row>& rows, double target) {
        add(tag, "Amp", rows, Samples(1000, 1.0), ramp(target));
    };
    amp("percentage 0 fades out", { { 0, kE } }, 0.0);
    amp("boost alone keeps the volume", { { kE, 8191 } }, std::pow(10.0, 8191 / 65534.0 * 2.4));
    amp("quarter volume, 24 dB", { { 16383, 32767 } }, 16383 / 65534.0 * std::pow(10.0, 1.2));
    amp("empty lanes", { { kE, kE } }, 1.0);
    amp("repeated serial ignored", { { 0, kE }, { 65534, kE } }, 0.0);
    const auto trem = [&](const char* tag, const Row& row, double rate, double depth) {
        const Samples gains = tremolo(rate, depth);
        add(tag, "Tremolo", { row }, Samples(gains.size(), 1.0), gains);
    };
    trem("no depth is identity", { 51, 0 }, byte(51) * 19.9 + 0.1, 0.0);
    trem("full depth at 20 Hz", { 254, 254 }, 20.0, 1.0);
    trem("half depth at 0.1 Hz", { 0, 127 }, 0.1, 0.5);
    trem("fresh", { kEB, kEB }, 4.0, 0.5);
    const auto dist = [&](const char* tag, const Row& row, double drive, double mix) {
        add(tag, "Distortion", { row }, line(), distorted(drive, mix));
    };
    dist("mix 0 is identity", { 200, 0 }, byte(200) * 19.0 + 1.0, 0.0);
    dist("drive 0, full mix is tanh", { 0, 254 }, 1.0, 1.0);
    dist("half and half", { 127, 127 }, 10.5, 0.5);
    dist("mix only", { kEB, 64 }, byte(26) * 19.0 + 1.0, byte(64));
}

void EffectsTest::outputFollowsTheDefinition()
{
    const auto [type, rows, input, expected]
        = fetch<QString, QList<Row>, Samples, Samples>("type", "rows", "input", "expected");
    const auto p = make(type);
    for (const Row& row : rows)
        deliver(*p, row, 7);
    COMPARE_BLOCKS(render(*p, input, 64), expected, 1e-9);
    if (type != "Amp")
        return;
    p->reset();
    COMPARE_BLOCKS(render(*p, Samples(16, -1.0)), Samples(16, -expected.last()), 1e-12);
}

// An impulse comes back every `length` samples: the first echo carries what went into the
// line (the fed-back dry part plus the feed-forward input), each later one is scaled by
// feedback x wet again.
void EffectsTest::delayEchoes_data()
{
    const DataTable<Row, double, double, double, int, int> add(
        "row", "dry", "wet", "feedback", "length", "echoes");
    add("fresh", { kE, kE, kE, kE }, 1.0, 0.5, 0.1, 17640, 3);
    add("time 0 is 1 ms", { 0, 65534, 0, 0 }, 0.0, 1.0, 0.0, 44, 3);
    add("time max is 2 s", { 0, 65534, 0, 65534 }, 0.0, 1.0, 0.0, 88200, 1);
    add("full feedback decays", { 65534, 65534, 65534, 0 }, 1.0, 1.0, 0.99, 44, 300);
    add("half wet, half feedback", { 65534, 32767, 32767, 100 }, 1.0, 0.5, 0.495, 178, 8);
    add("no dry part to feed back", { 0, 65534, 32767, 1000 }, 0.0, 1.0, 0.495, 1389, 6);
}

void EffectsTest::delayEchoes()
{
    const auto [row, dry, wet, feedback, length, echoes]
        = fetch<Row, double, double, double, int, int>(
            "row", "dry", "wet", "feedback", "length", "echoes");
    DelayProcessor delay(kRate);
    deliver(delay, row, 0);
    Samples expected(qsizetype(echoes) * length + length / 2 + 1, 0.0);
    expected[0] = dry;
    double echo = wet * (feedback * dry + 1.0 - feedback);
    for (int k = 1; k <= echoes; ++k, echo *= feedback * wet)
        expected[qsizetype(k) * length] = echo;
    COMPARE_BLOCKS(render(delay, impulse(int(expected.size()))), expected, 1e-12);
}

// An impulse, then `silenceBefore` samples; however far the line had run, a changed time
// or a reset makes the next impulse come back exactly one length later.
void EffectsTest::delayRestartsOnTimeChangeAndReset_data()
{
    const DataTable<int, Row, int> add("silenceBefore", "change", "length");
    add("a longer time", 1000, { kE, kE, kE, 100 }, 178);
    add("a shorter time", 1000, { kE, kE, kE, 0 }, 44);
    add("the same time keeps the line", 10, { kE, kE, kE, 1000 }, 1379);
    add("a reset", 77, {}, 1389);
}

void EffectsTest::delayRestartsOnTimeChangeAndReset()
{
    const auto [silenceBefore, change, length]
        = fetch<int, Row, int>("silenceBefore", "change", "length");
    DelayProcessor delay(kRate);
    deliver(delay, { 0, 65534, 0, 1000 }, 0);
    const bool keeps = change == Row { kE, kE, kE, 1000 };
    render(delay, keeps ? impulse(silenceBefore) : Samples(silenceBefore, 0.0));
    if (change.isEmpty())
        delay.reset();
    else
        deliver(delay, change, 1);
    Samples expected(2 * 1389, 0.0);
    expected[length] = 1.0;
    COMPARE_BLOCKS(
        render(delay, keeps ? Samples(expected.size(), 0.0) : impulse(2 * 1389)), expected, 0.0);
}

void EffectsTest::averageIsMovingMean_data()
{
    const DataTable<int, bool> add("size", "resetAfterWarmUp");
    add("size 1", 1, false);
    add("size 8 after a reset", 8, true);
    add("a negative size passes through", -5, false);
}

void EffectsTest::averageIsMovingMean()
{
    const auto [size, resetAfterWarmUp] = fetch<int, bool>("size", "resetAfterWarmUp");
    AverageProcessor average(kRate);
    load(average, averageState(0.0, 0.0, size));
    if (resetAfterWarmUp) {
        render(average, Samples(20, 5.0));
        average.reset();
    }
    const Samples input = noise(100);
    Samples expected = input;
    for (qsizetype n = 0; size >= 1 && n < input.size(); ++n) {
        double sum = 0.0;
        for (qsizetype k = std::max<qsizetype>(0, n - size + 1); k <= n; ++k)
            sum += input[k];
        expected[n] = sum / size;
    }
    COMPARE_BLOCKS(render(average, input, 7), expected, 1e-12);
}

// The recursion keeps two gains and passes its input; the average keeps two gains and its
// size, capped at ten seconds. A truncated record changes nothing.
void EffectsTest::stateRoundTrip_data()
{
    const DataTable<bool, QByteArray, QByteArray, double> add(
        "average", "stored", "expected", "firstOutputOfOnes");
    // Two floats, each written as an 8-byte big-endian double.
    const QByteArray gains = QByteArray::fromHex("3FE0000000000000BFD0000000000000");
    add("recursion", false, gains, gains, 1.0);
    add("recursion truncated", false, gains.left(12), QByteArray(16, 0), 1.0);
    add("average", true, averageState(0.25, 0.75, 4), averageState(0.25, 0.75, 4), 0.25);
    add("average size capped", true, averageState(1.0, 1.0, 0x7FFFFFFF),
        averageState(1.0, 1.0, 441000), 1.0 / 441000.0);
    add("average truncated", true, averageState(0.5, 0.5, 4).left(18), averageState(0, 0, 0), 1.0);
}

void EffectsTest::stateRoundTrip()
{
    const auto [average, stored, expected, firstOutputOfOnes]
        = fetch<bool, QByteArray, QByteArray, double>(
            "average", "stored", "expected", "firstOutputOfOnes");
    AverageProcessor averageProcessor(kRate);
    RecursionProcessor recursion(kRate);
    Processor& p = average ? static_cast<Processor&>(averageProcessor) : recursion;
    load(p, stored);
    QCOMPARE(bytes([&](QDataStream& stream) { p.saveState(stream); }), expected);
    QCOMPARE(renderOne(p, 1.0), firstOutputOfOnes);
}

// The distortion's tanh and the tremolo's sine against std::, on random arguments across
// each range and at the non-finite ends.
void EffectsTest::fastShapesFollowStd_data()
{
    const DataTable<bool, double, double> add("sine", "low", "high");
    add("tanh near zero", false, -1e-3, 1e-3);
    add("tanh, the bend", false, -4.0, 4.0);
    add("tanh, saturating", false, -40.0, 40.0);
    add("tanh, overdriven", false, -1e6, 1e6);
    add("sine, one cycle", true, 0.0, 1.0);
    add("sine, many cycles", true, -1e3, 1e3);
}

void EffectsTest::fastShapesFollowStd()
{
    const auto [sine, low, high] = fetch<bool, double, double>("sine", "low", "high");
    const auto fast = [sine](double x) { return sine ? fastMath::sin2Pi(x) : fastMath::tanh(x); };
    const auto exact
        = [sine](double x) { return sine ? std::sin(2.0 * std::numbers::pi * x) : std::tanh(x); };
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> uniform(low, high);
    double worst = 0.0;
    Samples xs(1000000);
    for (double& x : xs) {
        x = uniform(random);
        worst = std::max(worst, std::abs(fast(x) - exact(x)));
    }
    // std::sin rounds 2 pi x first, an error that grows with x.
    QVERIFY2(worst < 2e-15 * std::max(1.0, sine ? high : 1.0), qPrintable(QString::number(worst)));
    for (const double x : { kInf, -kInf, kNaN })
        QCOMPARE(std::isnan(fast(x)), std::isnan(exact(x)) || sine);

    // The array forms, lanes and tail, give each value exactly, at every branch's edge too.
    for (const double x : { 0x1p-27, -0x1p-27, 0x1.fffffffffffffp-28, 20.0, -20.0, 0.25, -0.25,
             0.75, 0x1p50, -0x1p50, 0x1p52, kInf, -kInf, kNaN, 0.0, -0.0 })
        xs.append(x);
    xs.append(0.5);
    Samples ys(xs.size());
    using ArrayForm = void (*)(const double*, double*, std::size_t);
    const ArrayForm form = sine ? ArrayForm(fastMath::sin2Pi) : ArrayForm(fastMath::tanh);
    form(xs.constData(), ys.data(), std::size_t(xs.size()));
    for (qsizetype i = 0; i < xs.size(); ++i) {
        const double y = fast(xs[i]);
        QVERIFY2(std::memcmp(&y, &ys[i], sizeof y) == 0, qPrintable(QString::number(xs[i])));
    }
    if (!sine)
        QCOMPARE(fast(kInf), 1.0);
}

// Random rates, depths and block lengths, long enough for the phase to wrap many times:
// the fast unit scaling whole blocks against the reference one gain at a time.
void EffectsTest::tremoloFollowsTheReference()
{
    TremoloUnit<double> fast;
    TremoloUnit<double, true> reference;
    std::mt19937 random(5);
    std::uniform_real_distribution<double> rate(0.1, 20.0);
    std::uniform_real_distribution<double> sample(-1.0, 1.0);
    double worst = 0.0;
    for (int block = 0; block < 240; ++block) {
        fast.rate = reference.rate = rate(random);
        fast.depth = reference.depth = rate(random) / 20.0;
        Samples in(qsizetype(rate(random) * 200.0));
        for (double& x : in)
            x = sample(random);
        Samples out = in;
        fast.apply(out.data(), quint64(out.size()));
        for (qsizetype i = 0; i < in.size(); ++i)
            worst = std::max(worst, std::abs(out[i] - in[i] * reference.tick()));
    }
    QVERIFY2(worst < 1e-14, qPrintable(QString::number(worst)));
}

QTEST_GUILESS_MAIN(EffectsTest)
#include "tst_effects.moc"
