#include "processors/ProcessorFactory.h"
#include "processors/channel/ChannelDropoutProcessor.h"
#include "processors/channel/ChannelFreqAttenProcessor.h"
#include "processors/channel/ChannelStripProcessor.h"
#include "processors/units/MersenneTwister.h"
#include "processors/units/XorShift.h"

#include "InstrumentTesting.h"

#include <numbers>
#include <random>

using namespace instrumentTesting;

namespace {

constexpr quint32 kEW = 0xFFFF; // an empty word lane

const QStringList kChannelTypes = { "ChNoise", "ChPinkNoise", "ChEcho", "ChDistortion",
    "ChAttenuation", "ChClipping", "ChDCOffset", "ChDropout", "ChTone", "ChDoppler", "ChFreqAtten",
    "ChAGCPump", "ChannelStrip" };

QSharedPointer<Processor> make(const QString& typeID)
{
    return ProcessorFactory::instance().create(typeID);
}

// Sets `value` in `lane` with every other lane of the schema empty.
void setLane(Processor& p, int lane, quint32 value)
{
    Row row;
    for (const auto& d : p.schema()->nodeParameters)
        row.append(d->empty);
    if (lane >= 0)
        row[lane] = value;
    deliver(p, row);
}

double rmsDb(const Samples& samples, qsizetype from)
{
    double sum = 0.0;
    for (qsizetype i = from; i < samples.size(); ++i)
        sum += samples[i] * samples[i];
    return 10.0 * std::log10(sum / double(samples.size() - from));
}

// An impulse and its echo after `delay` samples at half level.
Samples echoed(int delay)
{
    Samples out = impulse(4500);
    out[delay] = 0.5;
    return out;
}

Samples steps(double first, double second)
{
    Samples out(6000, first);
    std::fill(out.begin() + 3000, out.end(), second);
    return out;
}

} // namespace

class ChannelTest : public QObject {
    Q_OBJECT

private slots:
    void twisterDrawsAsTheStandardEngine_data();
    void twisterDrawsAsTheStandardEngine();
    void disabledPassesThrough_data();
    void disabledPassesThrough();
    void outputFollowsTheDefinition_data();
    void outputFollowsTheDefinition();
    void uniformIsMadeFromTwoOutputs();
    void noiseLevelFollowsTheSnr_data();
    void noiseLevelFollowsTheSnr();
    void dropoutSilencesWholeBursts_data();
    void dropoutSilencesWholeBursts();
    void shelvesCutOutsideTheBand_data();
    void shelvesCutOutsideTheBand();
    void stripRunsTheStagesInOrder_data();
    void stripRunsTheStagesInOrder();
    void hostileRowsKeepTheOutputFinite();
};

// A stage is off until its first lane switches it on; every other lane is left empty as
// the schema marks it. Each type as built, then a lane that does not switch it on.
void ChannelTest::disabledPassesThrough_data()
{
    const DataTable<QString, int, quint32> add("typeID", "lane", "value");
    add("echo gain alone", "ChEcho", 1, 254u);
    add("dropout burst alone", "ChDropout", 1, 254u);
    add("tone amplitude alone", "ChTone", 1, 254u);
    add("pump release alone", "ChAGCPump", 1, 0u);
    add("clipping at 0", "ChClipping", 0, 0u);
    add("strip echo gain", "ChannelStrip", 2, 254u);
    add("strip tone amplitude", "ChannelStrip", 7, 254u);
    for (const QString& typeID : kChannelTypes)
        add(qPrintable(typeID + " as built"), typeID, -1, 0u);
}

void ChannelTest::disabledPassesThrough()
{
    const auto [typeID, lane, value] = fetch<QString, int, quint32>("typeID", "lane", "value");
    const Samples input = noise(9000, 3, 0.9);
    const auto p = make(typeID);
    setLane(*p, lane, value);
    QCOMPARE(render(*p, input), input);
}

void ChannelTest::outputFollowsTheDefinition_data()
{
    // The expected output is every sample, or a fingerprint.
    const DataTable<QString, Row, Samples, Samples> add("typeID", "row", "input", "expected");
    const auto one = [&](const char* tag, const char* type, const Row& row, double x, double y) {
        add(tag, type, row, { x }, { y });
    };
    const double clip1 = 0.05 + 0.95 / 254.0; // about 0.0537
    one("clip 1 above", "ChClipping", { 1 }, 0.8, clip1);
    one("clip 1 below", "ChClipping", { 1 }, -0.8, -clip1);
    one("clip 1 inside", "ChClipping", { 1 }, 0.02, 0.02);
    one("clip 254 at full scale", "ChClipping", { 254 }, 1.5, 1.0);
    one("drive 254", "ChDistortion", { 254 }, 0.5, std::tanh(0.5 + (0.5 * 0.25 + 0.3 * 0.125)));
    one("drive 127", "ChDistortion", { 127 }, -0.4,
        std::tanh(-0.4 + 0.5 * (0.5 * 0.16 - 0.3 * 0.064)));
    one("loss 20 dB", "ChAttenuation", { 127 }, 0.6, 0.06);
    one("offset 254", "ChDCOffset", { 254 }, -0.3, -0.1);
    // The first sample of the tone is one phase step in.
    one("tone 20 kHz", "ChTone", { 65534, 127 }, 0.25,
        0.25 + 0.5 * std::sin(2.0 * std::numbers::pi * 20000.0 / kRate));
    one("tone without amplitude", "ChTone", { 65534, 0 }, 0.25, 0.25);
    // The echo's ring holds 4410 samples, which is where the longest delay reads.
    add("echo 65534", "ChEcho", { 65534, 127 }, impulse(4500), echoed(4410));
    add("echo 1", "ChEcho", { 1, 127 }, impulse(4500), echoed(1));
    add("strip echo 1000", "ChannelStrip", { 0, 1000, 127 }, impulse(4500), echoed(68));
    // Fingerprints recorded from models of the definitions. The doppler's sample n reads half
    // a ring (1024) back plus what the read point has drifted, velocity (0.01 at 254) per
    // sample: whole samples move it back, the fraction blends towards the newer neighbour.
    // The pump's peak envelope (attack 0.5 to 100 ms, release 10 to 2000 ms) asks for the
    // gain that brings it to 0.5, within 0.1 to 10, or unity below 1e-4; the gain moves a
    // hundredth of the way there per sample.
    const auto print = [&](const char* tag, const char* type, const Row& row, const Samples& in,
                           double energy, double moment) {
        add(tag, type, row, in, { energy, moment });
    };
    print("doppler 254", "ChDoppler", { 254 }, noise(8000, 5), 0.1204166209737724,
        0.0017302979506378796);
    print("pump, fastest", "ChAGCPump", { 1, 0 }, steps(0.1, 2.0), 1.2300976326967721,
        0.33574800479454847);
    print("pump, slowest, gain limits", "ChAGCPump", { 254, 254 }, steps(0.01, -8.0),
        132.36324275641419, -1.9936513432876095);
    print("pump, near silence", "ChAGCPump", { 127, 127 }, steps(0.00005, 0.5), 1.8717623280597542,
        0.52784529901875799);
}

void ChannelTest::outputFollowsTheDefinition()
{
    const auto [typeID, row, input, expected]
        = fetch<QString, Row, Samples, Samples>("typeID", "row", "input", "expected");
    const auto p = make(typeID);
    deliver(*p, row);
    const Samples output = render(*p, input);
    if (expected.size() == input.size())
        COMPARE_BLOCKS(output, expected, 1e-12);
    else
        COMPARE_FINGERPRINT(output, expected);
}

// [0, 1) with 53 random bits: all of the second Mersenne Twister output above 21 bits of
// the first.
void ChannelTest::uniformIsMadeFromTwoOutputs()
{
    ChannelRandom random(42);
    std::mt19937 reference(42);
    for (int i = 0; i < 2000; ++i) {
        const double a = double(reference());
        const double b = double(reference());
        QCOMPARE(random.uniform(), (b * 2097152.0 + std::floor(a / 2048.0)) * std::pow(2.0, -53));
    }
}

// The first lane at 254 is a 60 dB signal-to-noise ratio against full scale. The slowest
// pink row is first drawn at sample 32768.
void ChannelTest::noiseLevelFollowsTheSnr_data()
{
    const DataTable<QString, double, double> add("typeID", "expectedDb", "toleranceDb");
    add("white", "ChNoise", -60.0, 0.05);
    add("strip", "ChannelStrip", -60.0, 0.05);
    // Pink noise sums seventeen uniform values of variance 1/3 and divides by 17.
    add("pink", "ChPinkNoise", -60.0 + 10.0 * std::log10(1.0 / 51.0), 0.3);
}

void ChannelTest::noiseLevelFollowsTheSnr()
{
    const auto [typeID, expectedDb, toleranceDb]
        = fetch<QString, double, double>("typeID", "expectedDb", "toleranceDb");
    const auto p = make(typeID);
    deliver(*p, { 254 });
    const double level = rmsDb(render(*p, Samples((1 << 15) + (1 << 20), 0.0)), 1 << 15);
    QVERIFY2(std::abs(level - expectedDb) < toleranceDb, qPrintable(QString("%1 dB").arg(level)));
}

// A trigger silences its own sample and `burst` more without drawing again, so runs of
// silence are whole multiples of burst + 1 (a trigger may follow at once), and the share
// of triggers among the draws is the rate.
void ChannelTest::dropoutSilencesWholeBursts_data()
{
    const DataTable<quint32, quint32, double> add("rateLane", "burstLane", "chance");
    add("one in ten, bursts of 1", 254u, 0u, 0.1);
    add("one in twenty, bursts of 255", 127u, 254u, 0.05);
}

void ChannelTest::dropoutSilencesWholeBursts()
{
    const auto [rateLane, burstLane, chance]
        = fetch<quint32, quint32, double>("rateLane", "burstLane", "chance");
    ChannelDropoutProcessor p(kRate);
    deliver(p, { rateLane, burstLane });
    const Samples output = render(p, Samples(400000, 1.0));
    const qsizetype length = burstLane + 2;
    qsizetype start = -1;
    for (qsizetype i = 0; i < output.size(); ++i) {
        if (output[i] == 0.0 && start < 0)
            start = i;
        if (output[i] != 0.0 && start >= 0) {
            QCOMPARE((i - start) % length, 0);
            start = -1;
        }
    }
    const double triggers = double(std::count(output.begin(), output.end(), 0.0)) / length;
    const double draws = double(output.size()) - triggers * (length - 1);
    QVERIFY2(std::abs(triggers / draws - chance) < 0.1 * chance,
        qPrintable(QString::number(triggers / draws)));
}

// Far from a 2 kHz corner a shelf gives its full -6 dB or nothing; a low corner of 0
// bypasses.
void ChannelTest::shelvesCutOutsideTheBand_data()
{
    const DataTable<Row, double, double> add("row", "frequency", "gainDb");
    add("high shelf above", { kEW, 0 }, 16000.0, -6.0);
    add("high shelf below", { kEW, 0 }, 100.0, 0.0);
    add("low shelf below", { 65534, kEW }, 40.0, -6.0);
    add("low shelf above", { 65534, kEW }, 16000.0, 0.0);
    add("low corner 0 bypasses", { 0, kEW }, 40.0, 0.0);
}

void ChannelTest::shelvesCutOutsideTheBand()
{
    const auto [row, frequency, gainDb] = fetch<Row, double, double>("row", "frequency", "gainDb");
    ChannelFreqAttenProcessor p(kRate);
    deliver(p, row);
    const Samples tone = sine(frequency, 1.0, kRate);
    const double level = rmsDb(render(p, tone), kRate / 2) - rmsDb(tone, kRate / 2);
    QVERIFY2(std::abs(level - gainDb) < 0.4, qPrintable(QString("%1 dB").arg(level)));
}

// The same lanes on single processors, chained in the strip's order. A second row with the
// same serial is skipped by the strip, where the single processors take every row.
void ChannelTest::stripRunsTheStagesInOrder_data()
{
    const DataTable<Row> add("stripRow");
    add("every lane", { 200, 300, 200, 254, 60, 100, 2000, 200 });
    add("loss then drive", { 0, 0, 51, 254, 200, 0, 0, 0 });
    add("tone then clip", { 0, 0, 51, 0, 0, 20, 40000, 254 });
    add("echo then noise", { 150, 700, 254, 0, 0, 0, 0, 0 });
}

void ChannelTest::stripRunsTheStagesInOrder()
{
    using S = ChannelStripProcessor;
    QFETCH(Row, stripRow);
    ChannelStripProcessor strip(kRate);
    deliver(strip, stripRow);
    deliver(strip, Row(8, 1));
    const QList<QPair<QString, Row>> chain = {
        { "ChAttenuation", { stripRow[S::Attenuation] } },
        { "ChDistortion", { stripRow[S::Distortion] } },
        { "ChEcho", { stripRow[S::EchoDelay], stripRow[S::EchoGain] } },
        { "ChNoise", { stripRow[S::NoiseSnr] } },
        { "ChTone", { stripRow[S::ToneFreq], stripRow[S::ToneAmpl] } },
        { "ChClipping", { stripRow[S::Clipping] } },
    };
    const Samples input = noise(10000, 3, 0.9);
    Samples expected = input;
    for (const auto& [typeID, row] : chain) {
        const auto p = make(typeID);
        deliver(*p, row);
        expected = render(*p, expected);
    }
    QCOMPARE(render(strip, input), expected);
}

// Mostly edge values, sometimes anything at all, in rows of any length.
void ChannelTest::hostileRowsKeepTheOutputFinite()
{
    for (const QString& typeID : kChannelTypes) {
        const auto p = make(typeID);
        XorShift32 random { 88172645u };
        const Samples input = noise(256, 3, 0.9);
        const quint32 edges[] = { 0, 1, 254, 255, 256, 65534, 65535, 65536, 0xFFFFFFFF };
        for (quint32 serial = 0; serial < 300; ++serial) {
            Row row(int(random.next() % 10));
            for (quint32& v : row) {
                const quint32 pick = random.next();
                v = pick % 4 == 0 ? random.next() : edges[pick % std::size(edges)];
            }
            deliver(*p, row, serial);
            for (double y : render(*p, input))
                QVERIFY2(std::isfinite(y), qPrintable(typeID));
        }
    }
}

// Several refills' worth of draws from seeds at the edges and in between.
void ChannelTest::twisterDrawsAsTheStandardEngine_data()
{
    const DataTable<quint32> add("seed");
    add("zero", 0u);
    add("one", 1u);
    add("the standard default", 5489u);
    add("all bits", 0xFFFFFFFFu);
}

void ChannelTest::twisterDrawsAsTheStandardEngine()
{
    const auto [seed] = fetch<quint32>("seed");
    std::mt19937 standard(seed);
    MersenneTwister ours(seed);
    for (int i = 0; i < 10 * MersenneTwister::kWords + 7; ++i)
        QCOMPARE(ours(), quint32(standard()));
}

QTEST_GUILESS_MAIN(ChannelTest)
#include "tst_channel.moc"
