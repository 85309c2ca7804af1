#include "processors/reverb/CheapReverbProcessor.h"
#include "processors/reverb/ReverbProcessor.h"

#include "InstrumentTesting.h"

#include <memory>

using namespace instrumentTesting;

namespace {

using LaneValues = QList<QPair<int, quint32>>;

constexpr quint32 kEmpty = 0xFF;

std::unique_ptr<ReverbProcessor> reverbWith(const LaneValues& lanes)
{
    Row row(ReverbProcessor::LaneCount, kEmpty);
    for (const auto& [lane, value] : lanes)
        row[lane] = value;
    auto p = std::make_unique<ReverbProcessor>(kRate);
    deliver(*p, row);
    return p;
}

// The wet output only, from an impulse.
Samples impulseResponse(LaneValues lanes, int count)
{
    lanes.append({ ReverbProcessor::DryWet, 254 });
    return render(*reverbWith(lanes), impulse(count));
}

// Seconds the backward-integrated energy takes to fall from -5 dB to -65 dB.
double sixtyDecibelFall(const Samples& h)
{
    QList<double> remaining(h.size() + 1, 0.0);
    for (qsizetype i = h.size() - 1; i >= 0; --i)
        remaining[i] = remaining[i + 1] + h[i] * h[i];
    const auto firstBelow = [&](double db) {
        qsizetype i = 0;
        while (i < h.size() && 10.0 * std::log10(remaining[i] / remaining[0]) > db)
            ++i;
        return i;
    };
    return double(firstBelow(-65.0) - firstBelow(-5.0)) / kRate;
}

// Energy of the first difference against the energy, from `from` on: the share of the
// high band.
double brightness(const Samples& h, int from)
{
    double energy = 0.0;
    double edges = 0.0;
    for (qsizetype n = from; n < h.size(); ++n) {
        energy += h[n] * h[n];
        edges += (h[n] - h[n - 1]) * (h[n] - h[n - 1]);
    }
    return edges / energy;
}

} // namespace

class ReverbTest : public QObject {
    Q_OBJECT

private slots:
    void dryWetBlendsSanitizedInputWithWet();
    void onlyChangedReverbLanesUpdate_data();
    void onlyChangedReverbLanesUpdate();
    void lanesChangeTheSound_data();
    void lanesChangeTheSound();
    void impulseResponseAsRecorded_data();
    void impulseResponseAsRecorded();
    void tailFallsSixtyDecibelsInTheDecayTime();
    void outputIsFiniteAndInRange();
    void cheapDecaySetsCombFeedback_data();
    void cheapDecaySetsCombFeedback();
};

// Non-finite or denormal input is silence and the rest is held to ±1, on the dry and the
// wet path alike.
void ReverbTest::dryWetBlendsSanitizedInputWithWet()
{
    Samples input = noise(3000);
    const Samples hostile = { kNaN, kInf, -kInf, 2.0, -3.0, 1e-20, -1e-19, 0.25 };
    const Samples cleaned = { 0.0, 0.0, 0.0, 1.0, -1.0, 0.0, 0.0, 0.25 };
    std::copy(hostile.begin(), hostile.end(), input.begin() + 100);
    Samples dry = input;
    std::copy(cleaned.begin(), cleaned.end(), dry.begin() + 100);
    const Samples wet = render(*reverbWith({ { ReverbProcessor::DryWet, 254 } }), input);
    for (const quint32 dryWet : { 0u, 64u, 200u }) {
        const Samples mixed = render(*reverbWith({ { ReverbProcessor::DryWet, dryWet } }), input);
        const double w = dryWet / 254.0;
        for (int n = 0; n < input.size(); ++n)
            QVERIFY2(std::abs(mixed[n] - (dry[n] * (1.0 - w) + wet[n] * w)) < 1e-15,
                qPrintable(QString("%1 at sample %2").arg(dryWet).arg(n)));
    }
    const auto cheap = QSharedPointer<CheapReverbProcessor>::create(kRate);
    deliver(*cheap, { kEmpty, 0, kEmpty });
    QCOMPARE(render(*cheap, Samples { 0.5, kNaN, kInf, -2.0, 1e-19, -0.25 }),
        (Samples { 0.5, 0.0, 0.0, -1.0, 0.0, -0.25 }));
}

void ReverbTest::onlyChangedReverbLanesUpdate_data()
{
    const DataTable<QList<Row>, quint32> add("rows", "updates");
    const Row density = { kEmpty, 100 };
    add("all empty", { Row(20, kEmpty) }, 0u);
    add("no lanes", { Row() }, 0u);
    add("above the range", { Row(20, 0x1FF) }, 0u);
    add("the blend only", { Row { 200 } }, 0u);
    add("the same value again", { density, density }, 1u);
    add("a new value", { density, Row { kEmpty, 101 } }, 2u);
    add("every lane", { Row(20, 3) }, 1u);
}

void ReverbTest::onlyChangedReverbLanesUpdate()
{
    const auto [rows, updates] = fetch<QList<Row>, quint32>("rows", "updates");
    ReverbProcessor p(kRate);
    p.setActive(1);
    const quint64 before = p.reverb().updateCount();
    quint32 serial = 10;
    for (const Row& row : rows)
        deliver(p, row, serial++);
    QCOMPARE(p.reverb().updateCount() - before, quint64(updates));
}

// Full wet from an impulse. Without echo depth the echo interval has nothing left to
// change. HF decay is 0.1 + v / 254 * 1.9: lane 120 is just below 1, lane 121 just above;
// at or above 1 the high band is not damped at all.
void ReverbTest::lanesChangeTheSound_data()
{
    using R = ReverbProcessor;
    const DataTable<LaneValues, LaneValues, bool> add("first", "second", "differ");
    add("echo time without depth", { { R::EchoDepth, 0 }, { R::EchoTime, 0 } },
        { { R::EchoDepth, 0 }, { R::EchoTime, 254 } }, false);
    add("echo time with depth", { { R::EchoDepth, 100 }, { R::EchoTime, 0 } },
        { { R::EchoDepth, 100 }, { R::EchoTime, 254 } }, true);
    add("HF decay just below 1", { { R::DecayHF, 120 } }, { { R::DecayHF, 254 } }, true);
    add("HF decay just above 1", { { R::DecayHF, 121 } }, { { R::DecayHF, 254 } }, false);
    add("density", {}, { { R::Density, 254 } }, false);
}

void ReverbTest::lanesChangeTheSound()
{
    const auto [first, second, differ]
        = fetch<LaneValues, LaneValues, bool>("first", "second", "differ");
    QCOMPARE(impulseResponse(first, kRate) != impulseResponse(second, kRate), differ);
}

// Half a second of the wet response, recorded once the reverb matched its definition.
void ReverbTest::impulseResponseAsRecorded_data()
{
    using R = ReverbProcessor;
    const DataTable<LaneValues, Samples> add("lanes", "golden");
    add("defaults", {}, { 2.3277597742714583e-06, 9.8165901637029249e-06 });
    add("damped, scattered, echoing",
        { { R::DecayHF, 40 }, { R::Diffusion, 100 }, { R::Density, 100 }, { R::EchoDepth, 100 },
            { R::ModDepth, 100 } },
        { 5.7760263302991689e-07, 1.0417125946923676e-05 });
}

void ReverbTest::impulseResponseAsRecorded()
{
    const auto [lanes, golden] = fetch<LaneValues, Samples>("lanes", "golden");
    COMPARE_FINGERPRINT(impulseResponse(lanes, kRate / 2), golden);
}

// No high-band damping, so the whole band decays at the one rate; with the least, the
// high band falls so much faster that the tail is far duller.
void ReverbTest::tailFallsSixtyDecibelsInTheDecayTime()
{
    for (const quint32 decayTime : { 5u, 18u, 63u }) { // 0.5, 1.49 and 5 s
        const double seconds = 0.1 + decayTime / 254.0 * 19.9;
        const Samples h = impulseResponse(
            { { ReverbProcessor::DecayTime, decayTime }, { ReverbProcessor::DecayHF, 254 } },
            int((2.5 * seconds + 0.5) * kRate));
        const double fall = sixtyDecibelFall(h);
        QVERIFY2(fall > 0.85 * seconds && fall < 1.15 * seconds,
            qPrintable(QString("60 dB in %1 s for a decay time of %2 s").arg(fall).arg(seconds)));
        const Samples dull = impulseResponse(
            { { ReverbProcessor::DecayTime, decayTime }, { ReverbProcessor::DecayHF, 0 } },
            int(h.size()));
        QVERIFY(brightness(dull, kRate / 4) < 0.5 * brightness(h, kRate / 4));
    }
}

// Hostile input under extreme settings; a reset then silences the tail.
void ReverbTest::outputIsFiniteAndInRange()
{
    Samples input = noise(20000);
    const Samples hostile = { kNaN, kInf, -kInf, 1e300, -1e300, 5e-324, 1.0, -1.0 };
    for (int n = 0; n < 4000; ++n)
        input[n * 5] = hostile[n % hostile.size()];
    for (const quint32 allLanes : { kEmpty, 0u, 254u, 127u }) {
        ReverbProcessor p(kRate);
        deliver(p, Row(20, allLanes));
        for (const double y : render(p, input, 777))
            QVERIFY2(std::isfinite(y) && std::abs(y) <= 1.0, qPrintable(QString::number(y)));
        p.reset();
        QCOMPARE(peak(render(p, kRate)), 0.0);
    }
}

// Fully wet, the shortest comb (1422 samples) answers an impulse alone at 1422 and 2844: a
// quarter of the comb passes each all-pass at half, so 1/16, then the feedback times that,
// less the damped share. No other comb or all-pass path lands on either sample.
void ReverbTest::cheapDecaySetsCombFeedback_data()
{
    const DataTable<quint32, quint32, double> add("decay", "damping", "feedback");
    add("shortest", 0u, 0u, 0.5);
    add("longest", 254u, 0u, 0.95);
    add("middle, half damped", 127u, 127u, 0.725 * 0.5);
}

void ReverbTest::cheapDecaySetsCombFeedback()
{
    const auto [decay, damping, feedback]
        = fetch<quint32, quint32, double>("decay", "damping", "feedback");
    const auto p = QSharedPointer<CheapReverbProcessor>::create(kRate);
    deliver(*p, { decay, 254, damping });
    const Samples h = render(*p, impulse(3000));
    QCOMPARE(h[1421], 0.0);
    QCOMPARE(h[1422], 1.0 / 16.0);
    QVERIFY(qFuzzyCompare(h[2844], feedback / 16.0));
}

QTEST_GUILESS_MAIN(ReverbTest)
#include "tst_reverb.moc"
