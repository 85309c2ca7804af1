#include "processors/reverb/CheapReverbProcessor.h"
#include "processors/reverb/ReverbProcessor.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace {

using Samples = QVector<double>;
using Row = QVector<quint32>;
using LaneValues = QList<QPair<int, quint32>>;

constexpr int kRate = 44100;
constexpr quint32 kEmpty = 0xFF;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A row of twenty empty lanes with some of them set.
Row reverbRow(const LaneValues& lanes)
{
    Row row(ReverbProcessor::LaneCount, kEmpty);
    for (const auto& [lane, value] : lanes)
        row[lane] = value;
    return row;
}

void apply(Processor& p, const Row& row, quint32 serial = 1)
{
    p.applyRow(row.constData(), int(row.size()), serial);
}

Samples render(Processor& p, Samples samples, qsizetype blockSize)
{
    for (qsizetype start = 0; start < samples.size(); start += blockSize) {
        AudioContext context;
        context.frames = quint64(std::min(blockSize, samples.size() - start));
        context.data = samples.data() + start;
        p.process(context);
    }
    return samples;
}

Samples render(Processor& p, const Samples& samples)
{
    return render(p, samples, 1024);
}

Samples noise(int count, quint32 seed = 11)
{
    Samples out;
    for (int n = 0; n < count; ++n) {
        seed = seed * 1664525u + 1013904223u;
        out.append(double(seed) / 4294967296.0 * 1.6 - 0.8);
    }
    return out;
}

Samples impulse(int count)
{
    Samples out(count, 0.0);
    out[0] = 1.0;
    return out;
}

std::unique_ptr<ReverbProcessor> reverbWith(const LaneValues& lanes)
{
    auto p = std::make_unique<ReverbProcessor>(kRate);
    apply(*p, reverbRow(lanes));
    return p;
}

// The wet output only, from an impulse.
Samples impulseResponse(const LaneValues& lanes, int count)
{
    LaneValues wet = lanes;
    wet.append({ ReverbProcessor::DryWet, 254 });
    return render(*reverbWith(wet), impulse(count));
}

// Seconds the backward-integrated energy takes to fall from -5 dB to -65 dB.
double sixtyDecibelFall(const Samples& h)
{
    QVector<double> remaining(h.size() + 1, 0.0);
    for (qsizetype i = h.size() - 1; i >= 0; --i)
        remaining[i] = remaining[i + 1] + h[i] * h[i];
    const auto firstBelow = [&](double db) {
        for (qsizetype i = 0; i < h.size(); ++i) {
            if (10.0 * std::log10(remaining[i] / remaining[0]) <= db)
                return i;
        }
        return h.size();
    };
    return double(firstBelow(-65.0) - firstBelow(-5.0)) / kRate;
}

// Energy of the first difference against the energy, over [from, to): the share of the
// high band.
double brightness(const Samples& h, int from, int to)
{
    double energy = 0.0;
    double edges = 0.0;
    for (int n = from; n < to; ++n) {
        energy += h[n] * h[n];
        edges += (h[n] - h[n - 1]) * (h[n] - h[n - 1]);
    }
    return edges / energy;
}

} // namespace

class ReverbTest : public QObject {
    Q_OBJECT

private slots:
    void schemaMatchesTheTable_data();
    void schemaMatchesTheTable();
    void dryWetBlendsSanitizedInputWithWet_data();
    void dryWetBlendsSanitizedInputWithWet();
    void wetHasNoDryPath();
    void onlyChangedReverbLanesUpdate_data();
    void onlyChangedReverbLanesUpdate();
    void emptyRowLeavesTheSoundAlone();
    void echoDepthZeroRemovesTheEcho_data();
    void echoDepthZeroRemovesTheEcho();
    void decayHFAtOrAboveOneDisablesDamping_data();
    void decayHFAtOrAboveOneDisablesDamping();
    void lowDecayHFDullsTheTail();
    void tailFallsSixtyDecibelsInTheDecayTime_data();
    void tailFallsSixtyDecibelsInTheDecayTime();
    void outputIsFiniteAndInRange_data();
    void outputIsFiniteAndInRange();
    void blockSizeDoesNotChangeTheOutput_data();
    void blockSizeDoesNotChangeTheOutput();
    void resetSilencesTheTail();

    void cheapDecaySetsCombFeedback_data();
    void cheapDecaySetsCombFeedback();
    void cheapDryPassesSanitizedInput();
};

void ReverbTest::schemaMatchesTheTable_data()
{
    QTest::addColumn<bool>("cheap");
    QTest::addColumn<int>("lane");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::addColumn<quint32>("defaultLane");

    QTest::newRow("0") << false << 0 << "DryWet"
                       << "Dry/wet mix (0=dry, max=wet)" << 76u;
    QTest::newRow("1") << false << 1 << "Density"
                       << "Late reverb density" << 254u;
    QTest::newRow("2") << false << 2 << "Diffusion"
                       << "Echo diffusion/scattering" << 254u;
    QTest::newRow("3") << false << 3 << "Gain"
                       << "Master reverb gain" << 81u;
    QTest::newRow("4") << false << 4 << "GainHF"
                       << "High-frequency gain" << 226u;
    QTest::newRow("5") << false << 5 << "GainLF"
                       << "Low-frequency gain" << 254u;
    QTest::newRow("6") << false << 6 << "DecayTime"
                       << "Reverb tail length (0.1-20s)" << 18u;
    QTest::newRow("7") << false << 7 << "DecayHF"
                       << "HF decay ratio relative to base" << 98u;
    QTest::newRow("8") << false << 8 << "DecayLF"
                       << "LF decay ratio relative to base" << 120u;
    QTest::newRow("9") << false << 9 << "ReflGain"
                       << "Early reflections level" << 4u;
    QTest::newRow("10") << false << 10 << "ReflDelay"
                        << "Early reflections pre-delay (s)" << 6u;
    QTest::newRow("11") << false << 11 << "LateGain"
                        << "Late reverb level" << 32u;
    QTest::newRow("12") << false << 12 << "LateDelay"
                        << "Late reverb pre-delay (s)" << 28u;
    QTest::newRow("13") << false << 13 << "EchoTime"
                        << "Echo repeat interval (s)" << 254u;
    QTest::newRow("14") << false << 14 << "EchoDepth"
                        << "Echo prominence" << 0u;
    QTest::newRow("15") << false << 15 << "ModTime"
                        << "Chorus/vibrato rate (s)" << 13u;
    QTest::newRow("16") << false << 16 << "ModDepth"
                        << "Chorus depth" << 0u;
    QTest::newRow("17") << false << 17 << "AirAbsHF"
                        << "Distance HF rolloff" << 240u;
    QTest::newRow("18") << false << 18 << "HFRef"
                        << "HF crossover frequency (Hz)" << 53u;
    QTest::newRow("19") << false << 19 << "LFRef"
                        << "LF crossover frequency (Hz)" << 60u;
    QTest::newRow("cheap Decay") << true << 0 << "Decay"
                                 << "Reverb decay time" << 128u;
    QTest::newRow("cheap DryWet") << true << 1 << "DryWet"
                                  << "Dry/wet mix (0=dry, max=wet)" << 77u;
    QTest::newRow("cheap Damping") << true << 2 << "Damping"
                                   << "High-frequency damping" << 128u;
}

void ReverbTest::schemaMatchesTheTable()
{
    QFETCH(bool, cheap);
    QFETCH(int, lane);
    QFETCH(QString, name);
    QFETCH(QString, description);
    QFETCH(quint32, defaultLane);

    const auto schema
        = cheap ? CheapReverbProcessor(kRate).schema() : ReverbProcessor(kRate).schema();
    QCOMPARE(schema->nodeParameters.size(), cheap ? 3 : 20);
    QVERIFY(schema->trackParameters.isEmpty());
    const auto p = schema->nodeParameters.at(lane);
    QCOMPARE(p->name, name);
    QCOMPARE(p->description, description);
    QCOMPARE(p->type, quint32(ValueType::Byte));
    QCOMPARE((QList<quint32> { p->minimum, p->maximum, p->empty, p->defaultValue }),
        (QList<quint32> { 0, 254, 255, defaultLane }));
}

void ReverbTest::dryWetBlendsSanitizedInputWithWet_data()
{
    QTest::addColumn<quint32>("dryWet");
    QTest::newRow("dry") << 0u;
    QTest::newRow("quarter") << 64u;
    QTest::newRow("half") << 127u;
    QTest::newRow("mostly wet") << 200u;
}

void ReverbTest::dryWetBlendsSanitizedInputWithWet()
{
    QFETCH(quint32, dryWet);

    Samples input = noise(3000);
    const Samples hostile = { kNaN, kInf, -kInf, 2.0, -3.0, 1e-20, -1e-19, 0.25 };
    const Samples cleaned = { 0.0, 0.0, 0.0, 1.0, -1.0, 0.0, 0.0, 0.25 };
    std::copy(hostile.begin(), hostile.end(), input.begin() + 100);
    Samples dry = input;
    std::copy(cleaned.begin(), cleaned.end(), dry.begin() + 100);

    const Samples wet = render(*reverbWith({ { ReverbProcessor::DryWet, 254 } }), input);
    const Samples mixed = render(*reverbWith({ { ReverbProcessor::DryWet, dryWet } }), input);
    const double w = dryWet / 254.0;
    for (int n = 0; n < input.size(); ++n)
        QVERIFY2(std::abs(mixed[n] - (dry[n] * (1.0 - w) + wet[n] * w)) < 1e-15,
            qPrintable(QString("sample %1").arg(n)));
}

// The network delays everything by at least a sample, so an impulse at full wet is silent
// on its own sample and only the room answers afterwards.
void ReverbTest::wetHasNoDryPath()
{
    const Samples h = impulseResponse({}, kRate / 2);
    QCOMPARE(h[0], 0.0);
    QVERIFY(std::any_of(h.begin(), h.end(), [](double y) { return std::abs(y) > 1e-4; }));
}

void ReverbTest::onlyChangedReverbLanesUpdate_data()
{
    QTest::addColumn<QList<Row>>("rows");
    QTest::addColumn<quint64>("updates");

    const Row density = reverbRow({ { ReverbProcessor::Density, 100 } });
    QTest::newRow("all empty") << QList<Row> { Row(20, kEmpty) } << quint64(0);
    QTest::newRow("no lanes") << QList<Row> { Row() } << quint64(0);
    QTest::newRow("above the range") << QList<Row> { Row(20, 0x1FF) } << quint64(0);
    QTest::newRow("blend only") << QList<Row> { reverbRow({ { ReverbProcessor::DryWet, 200 } }) }
                                << quint64(0);
    QTest::newRow("one lane") << QList<Row> { density } << quint64(1);
    QTest::newRow("same value again") << QList<Row> { density, density } << quint64(1);
    QTest::newRow("new value") << QList<Row> { density,
        reverbRow({ { ReverbProcessor::Density, 101 } }) }
                               << quint64(2);
    QTest::newRow("every lane") << QList<Row> { Row(20, 3) } << quint64(1);
}

void ReverbTest::onlyChangedReverbLanesUpdate()
{
    QFETCH(QList<Row>, rows);
    QFETCH(quint64, updates);

    ReverbProcessor p(kRate);
    p.setActive(1);
    const quint64 before = p.reverb().updateCount();
    quint32 serial = 10;
    for (const Row& row : rows)
        apply(p, row, serial++);
    QCOMPARE(p.reverb().updateCount() - before, updates);
}

void ReverbTest::emptyRowLeavesTheSoundAlone()
{
    const Samples input = noise(4000);
    ReverbProcessor fresh(kRate);
    const Samples expected = render(fresh, input);
    QCOMPARE(render(*reverbWith({}), input), expected);
}

void ReverbTest::echoDepthZeroRemovesTheEcho_data()
{
    QTest::addColumn<quint32>("echoDepth");
    QTest::addColumn<bool>("echoTimeHeard");
    QTest::newRow("no echo") << 0u << false;
    QTest::newRow("some echo") << 100u << true;
    QTest::newRow("full echo") << 254u << true;
}

// Without echo depth the echo interval has nothing left to change.
void ReverbTest::echoDepthZeroRemovesTheEcho()
{
    QFETCH(quint32, echoDepth);
    QFETCH(bool, echoTimeHeard);

    const auto withEchoTime = [&](quint32 time) {
        return impulseResponse(
            { { ReverbProcessor::EchoDepth, echoDepth }, { ReverbProcessor::EchoTime, time } },
            kRate);
    };
    QCOMPARE(withEchoTime(0) != withEchoTime(254), echoTimeHeard);
}

void ReverbTest::decayHFAtOrAboveOneDisablesDamping_data()
{
    QTest::addColumn<quint32>("decayHF");
    QTest::addColumn<bool>("damped");
    // 0.1 + v / 254 * 1.9: lane 120 is just below 1, lane 121 just above.
    QTest::newRow("0.1") << 0u << true;
    QTest::newRow("just below 1") << 120u << true;
    QTest::newRow("just above 1") << 121u << false;
    QTest::newRow("1.5") << 187u << false;
}

// Undamped settings sound like the undamped maximum, 2.0; damped ones do not.
void ReverbTest::decayHFAtOrAboveOneDisablesDamping()
{
    QFETCH(quint32, decayHF);
    QFETCH(bool, damped);

    const auto withDecayHF = [](quint32 v) {
        return impulseResponse({ { ReverbProcessor::DecayHF, v } }, kRate / 2);
    };
    QCOMPARE(withDecayHF(decayHF) != withDecayHF(254), damped);
}

void ReverbTest::lowDecayHFDullsTheTail()
{
    const auto tailBrightness = [](quint32 decayHF) {
        const Samples h = impulseResponse({ { ReverbProcessor::DecayHF, decayHF } }, kRate);
        return brightness(h, kRate / 4, kRate);
    };
    QVERIFY(tailBrightness(0) < 0.5 * tailBrightness(254));
}

void ReverbTest::tailFallsSixtyDecibelsInTheDecayTime_data()
{
    QTest::addColumn<quint32>("decayTime");
    QTest::newRow("half a second") << 5u;
    QTest::newRow("1.49 s") << 18u;
    QTest::newRow("five seconds") << 63u;
}

void ReverbTest::tailFallsSixtyDecibelsInTheDecayTime()
{
    QFETCH(quint32, decayTime);

    const double seconds = 0.1 + decayTime / 254.0 * 19.9;
    // No high-band damping, so the whole band decays at the one rate.
    const Samples h = impulseResponse(
        { { ReverbProcessor::DecayTime, decayTime }, { ReverbProcessor::DecayHF, 254 } },
        int((2.5 * seconds + 0.5) * kRate));
    const double fall = sixtyDecibelFall(h);
    QVERIFY2(fall > 0.85 * seconds && fall < 1.15 * seconds,
        qPrintable(QString("60 dB in %1 s for a decay time of %2 s").arg(fall).arg(seconds)));
}

void ReverbTest::outputIsFiniteAndInRange_data()
{
    QTest::addColumn<quint32>("allLanes");
    QTest::newRow("defaults") << kEmpty;
    QTest::newRow("all lowest") << 0u;
    QTest::newRow("all highest") << 254u;
    QTest::newRow("all middle") << 127u;
}

void ReverbTest::outputIsFiniteAndInRange()
{
    QFETCH(quint32, allLanes);

    ReverbProcessor p(kRate);
    apply(p, Row(20, allLanes));
    Samples input = noise(20000);
    const Samples hostile = { kNaN, kInf, -kInf, 1e300, -1e300, 5e-324, 1.0, -1.0 };
    for (int n = 0; n < 4000; ++n)
        input[n * 5] = hostile[n % hostile.size()];
    for (const double y : render(p, input, 777))
        QVERIFY2(std::isfinite(y) && std::abs(y) <= 1.0, qPrintable(QString::number(y)));
}

void ReverbTest::blockSizeDoesNotChangeTheOutput_data()
{
    QTest::addColumn<int>("blockSize");
    QTest::newRow("1") << 1;
    QTest::newRow("333") << 333;
    QTest::newRow("2048") << 2048;
    QTest::newRow("2049") << 2049;
    QTest::newRow("4096") << 4096;
    QTest::newRow("8192") << 8192;
}

void ReverbTest::blockSizeDoesNotChangeTheOutput()
{
    QFETCH(int, blockSize);

    // Modulation and echo on, so every part of the network runs.
    const LaneValues lanes = { { ReverbProcessor::ModDepth, 200 }, { ReverbProcessor::ModTime, 2 },
        { ReverbProcessor::EchoDepth, 120 }, { ReverbProcessor::DryWet, 180 } };
    const Samples input = noise(3 * 8192);
    const Samples expected = render(*reverbWith(lanes), input, 64);
    QCOMPARE(render(*reverbWith(lanes), input, blockSize), expected);
}

void ReverbTest::resetSilencesTheTail()
{
    auto p = reverbWith({ { ReverbProcessor::DryWet, 254 } });
    render(*p, noise(5000));
    p->reset();
    for (const double y : render(*p, Samples(kRate, 0.0)))
        QCOMPARE(y, 0.0);
}

void ReverbTest::cheapDecaySetsCombFeedback_data()
{
    QTest::addColumn<quint32>("decay");
    QTest::addColumn<double>("feedback");
    QTest::newRow("0") << 0u << 0.5;
    QTest::newRow("127") << 127u << 0.725;
    QTest::newRow("254") << 254u << 0.95;
}

// Undamped and fully wet, the shortest comb (1422 samples) answers an impulse alone at
// 1422 and 2844: a quarter of the comb passes each all-pass at half, so 1/16, then the
// feedback times that. No other comb or all-pass path lands on either sample.
void ReverbTest::cheapDecaySetsCombFeedback()
{
    QFETCH(quint32, decay);
    QFETCH(double, feedback);

    const auto p = QSharedPointer<CheapReverbProcessor>::create(kRate);
    apply(*p, { decay, 254, 0 });
    const Samples h = render(*p, impulse(3000));
    QCOMPARE(h[1421], 0.0);
    QCOMPARE(h[1422], 1.0 / 16.0);
    QVERIFY(qFuzzyCompare(h[2844], feedback / 16.0));
}

void ReverbTest::cheapDryPassesSanitizedInput()
{
    const auto p = QSharedPointer<CheapReverbProcessor>::create(kRate);
    apply(*p, { kEmpty, 0, kEmpty });
    const Samples input = { 0.5, kNaN, kInf, -2.0, 1e-19, -0.25 };
    QCOMPARE(render(*p, input), (Samples { 0.5, 0.0, 0.0, -1.0, 0.0, -0.25 }));
}

QTEST_GUILESS_MAIN(ReverbTest)
#include "tst_reverb.moc"
