#include "processors/channel/ChannelAGCPumpProcessor.h"
#include "processors/channel/ChannelAttenuationProcessor.h"
#include "processors/channel/ChannelClippingProcessor.h"
#include "processors/channel/ChannelDCOffsetProcessor.h"
#include "processors/channel/ChannelDistortionProcessor.h"
#include "processors/channel/ChannelDopplerProcessor.h"
#include "processors/channel/ChannelDropoutProcessor.h"
#include "processors/channel/ChannelEchoProcessor.h"
#include "processors/channel/ChannelFreqAttenProcessor.h"
#include "processors/channel/ChannelNoiseProcessor.h"
#include "processors/channel/ChannelPinkNoiseProcessor.h"
#include "processors/channel/ChannelStripProcessor.h"
#include "processors/channel/ChannelToneProcessor.h"
#include "processors/units/XorShift.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <numeric>
#include <random>

namespace {

using Samples = QVector<double>;
using Row = QVector<quint32>;

constexpr int kRate = 44100;
constexpr quint32 kEmptyByte = 0xFF;
constexpr quint32 kEmptyWord = 0xFFFF;

const QHash<QString, std::function<QSharedPointer<Processor>()>>& creators()
{
    static const QHash<QString, std::function<QSharedPointer<Processor>()>> table = {
        { "ChNoise", [] { return QSharedPointer<ChannelNoiseProcessor>::create(kRate); } },
        { "ChPinkNoise", [] { return QSharedPointer<ChannelPinkNoiseProcessor>::create(kRate); } },
        { "ChEcho", [] { return QSharedPointer<ChannelEchoProcessor>::create(kRate); } },
        { "ChDistortion",
            [] { return QSharedPointer<ChannelDistortionProcessor>::create(kRate); } },
        { "ChAttenuation",
            [] { return QSharedPointer<ChannelAttenuationProcessor>::create(kRate); } },
        { "ChClipping", [] { return QSharedPointer<ChannelClippingProcessor>::create(kRate); } },
        { "ChDCOffset", [] { return QSharedPointer<ChannelDCOffsetProcessor>::create(kRate); } },
        { "ChDropout", [] { return QSharedPointer<ChannelDropoutProcessor>::create(kRate); } },
        { "ChTone", [] { return QSharedPointer<ChannelToneProcessor>::create(kRate); } },
        { "ChDoppler", [] { return QSharedPointer<ChannelDopplerProcessor>::create(kRate); } },
        { "ChFreqAtten", [] { return QSharedPointer<ChannelFreqAttenProcessor>::create(kRate); } },
        { "ChAGCPump", [] { return QSharedPointer<ChannelAGCPumpProcessor>::create(kRate); } },
        { "ChannelStrip", [] { return QSharedPointer<ChannelStripProcessor>::create(kRate); } },
    };
    return table;
}

QSharedPointer<Processor> make(const QString& typeID)
{
    return creators().value(typeID)();
}

// A row with `value` in `lane` and every other lane of the schema empty.
Row rowWith(Processor& p, int lane, quint32 value)
{
    Row row;
    const auto schema = p.schema();
    for (const auto& d : schema->nodeParameters)
        row.append(d->empty);
    row[lane] = value;
    return row;
}

void apply(Processor& p, const Row& row, quint32 serial = 1)
{
    p.applyRow(row.constData(), int(row.size()), serial);
}

void setLane(Processor& p, int lane, quint32 value, quint32 serial = 1)
{
    apply(p, rowWith(p, lane, value), serial);
}

Samples render(Processor& p, Samples samples)
{
    AudioContext context;
    context.frames = quint64(samples.size());
    context.data = samples.data();
    p.process(context);
    return samples;
}

// Uniform test input in [-0.9, 0.9].
Samples varied(int count)
{
    XorShift32 random { 2463534242u };
    Samples samples(count);
    for (double& x : samples)
        x = 1.8 * random.uniform() - 0.9;
    return samples;
}

double rmsDb(const Samples& samples, int from)
{
    double sum = 0.0;
    for (qsizetype i = from; i < samples.size(); ++i)
        sum += samples[i] * samples[i];
    return 10.0 * std::log10(sum / double(samples.size() - from));
}

double snrDb(quint32 v)
{
    return v / 254.0 * 59.0 + 1.0;
}

// What a stage holds: whether it is on, and one of its amounts.
struct Probe {
    bool enabled;
    double amount;
};
using Reader = std::function<Probe(const Processor&)>;

template <class P, class Stage, class Field> Reader single(Field Stage::*field)
{
    return [field](const Processor& p) {
        const Stage& s = static_cast<const P&>(p).stage();
        return Probe { s.enabled, double(s.*field) };
    };
}

template <class Stage, class Field>
Reader strip(Stage ChannelStripProcessor::Stages::*stage, Field Stage::*field)
{
    return [stage, field](const Processor& p) {
        const Stage& s = static_cast<const ChannelStripProcessor&>(p).stages().*stage;
        return Probe { s.enabled, double(s.*field) };
    };
}

using Strip = ChannelStripProcessor::Stages;

const QHash<QString, Reader>& readers()
{
    static const QHash<QString, Reader> table = {
        { "ChNoise sigma", single<ChannelNoiseProcessor>(&WhiteNoiseImpairment::sigma) },
        { "ChPinkNoise amplitude",
            single<ChannelPinkNoiseProcessor>(&PinkNoiseImpairment::amplitude) },
        { "ChEcho delaySamples", single<ChannelEchoProcessor>(&EchoImpairment::delaySamples) },
        { "ChEcho gain", single<ChannelEchoProcessor>(&EchoImpairment::gain) },
        { "ChDistortion drive", single<ChannelDistortionProcessor>(&DistortionImpairment::drive) },
        { "ChAttenuation linearGain",
            single<ChannelAttenuationProcessor>(&AttenuationImpairment::linearGain) },
        { "ChClipping threshold",
            single<ChannelClippingProcessor>(&ClippingImpairment::threshold) },
        { "ChDCOffset offset", single<ChannelDCOffsetProcessor>(&DCOffsetImpairment::offset) },
        { "ChDropout rate", single<ChannelDropoutProcessor>(&DropoutImpairment::rate) },
        { "ChDropout burst", single<ChannelDropoutProcessor>(&DropoutImpairment::burst) },
        { "ChTone frequency", single<ChannelToneProcessor>(&ToneImpairment::frequency) },
        { "ChTone amplitude", single<ChannelToneProcessor>(&ToneImpairment::amplitude) },
        { "ChDoppler velocity", single<ChannelDopplerProcessor>(&DopplerImpairment::velocity) },
        { "ChFreqAtten lowCut", single<ChannelFreqAttenProcessor>(&FreqAttenImpairment::lowCut) },
        { "ChFreqAtten highCut", single<ChannelFreqAttenProcessor>(&FreqAttenImpairment::highCut) },
        { "ChAGCPump attackMs", single<ChannelAGCPumpProcessor>(&AGCPumpImpairment::attackMs) },
        { "ChAGCPump releaseMs", single<ChannelAGCPumpProcessor>(&AGCPumpImpairment::releaseMs) },
        { "ChannelStrip sigma", strip(&Strip::whiteNoise, &WhiteNoiseImpairment::sigma) },
        { "ChannelStrip delaySamples", strip(&Strip::echo, &EchoImpairment::delaySamples) },
        { "ChannelStrip threshold", strip(&Strip::clipping, &ClippingImpairment::threshold) },
        { "ChannelStrip amplitude", strip(&Strip::tone, &ToneImpairment::amplitude) },
    };
    return table;
}

Probe probe(const Processor& p, const QString& field)
{
    return readers().value(p.character().typeID + " " + field)(p);
}

} // namespace

class ChannelTest : public QObject {
    Q_OBJECT

private slots:
    void characters_data();
    void characters();
    void schemasMatchTheTables_data();
    void schemasMatchTheTables();
    void lanesMapToTheirAmounts_data();
    void lanesMapToTheirAmounts();
    void laneZeroDisablesWithoutForgetting_data();
    void laneZeroDisablesWithoutForgetting();
    void disabledPassesThrough_data();
    void disabledPassesThrough();
    void samplesFollowTheFormulas_data();
    void samplesFollowTheFormulas();

    void uniformIsMadeFromTwoOutputs_data();
    void uniformIsMadeFromTwoOutputs();
    void noiseLevelFollowsTheSnr_data();
    void noiseLevelFollowsTheSnr();
    void identicalSeedsGiveIdenticalOutput_data();
    void identicalSeedsGiveIdenticalOutput();

    void echoArrivesAfterTheDelay_data();
    void echoArrivesAfterTheDelay();
    void resetClearsTheDelayLines_data();
    void resetClearsTheDelayLines();
    void dropoutBurstSilencesBurstPlusOne();
    void dropoutRateSetsTheTriggerChance_data();
    void dropoutRateSetsTheTriggerChance();
    void dopplerDelayDrifts_data();
    void dopplerDelayDrifts();
    void shelvesCutOutsideTheBand_data();
    void shelvesCutOutsideTheBand();
    void agcPumpSettlesAtTheTarget_data();
    void agcPumpSettlesAtTheTarget();

    void onlyTheStripSkipsARepeatedSerial_data();
    void onlyTheStripSkipsARepeatedSerial();
    void stripRunsTheStagesInOrder_data();
    void stripRunsTheStagesInOrder();
    void hostileRowsKeepTheOutputFinite_data();
    void hostileRowsKeepTheOutputFinite();
};

void ChannelTest::characters_data()
{
    QTest::addColumn<QString>("typeID");
    for (const QString& typeID : creators().keys())
        QTest::newRow(qPrintable(typeID)) << typeID;
}

void ChannelTest::characters()
{
    QFETCH(QString, typeID);
    const auto p = make(typeID);
    const ProcessorCharacter& c = p->character();
    QCOMPARE(c.typeID, typeID);
    QCOMPARE((QList<bool> { c.takesAudioInput, c.givesAudioOutput, c.userCreatable, c.userVisible,
                 c.intrinsicToSong, c.intrinsicTrack }),
        (QList<bool> { true, true, true, true, false, false }));
}

void ChannelTest::schemasMatchTheTables_data()
{
    QTest::addColumn<QString>("typeID");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("descriptions");
    QTest::addColumn<QString>("kinds"); // B for Byte, W for Word
    QTest::addColumn<QList<quint32>>("defaults");

    QTest::newRow("ChNoise") << "ChNoise" << QStringList { "SNR" }
                             << QStringList { "Noise SNR dB (0=off)" } << "B"
                             << QList<quint32> { 0 };
    QTest::newRow("ChPinkNoise") << "ChPinkNoise" << QStringList { "SNR" }
                                 << QStringList { "Pink noise SNR dB" } << "B"
                                 << QList<quint32> { 0 };
    QTest::newRow("ChEcho") << "ChEcho" << QStringList { "Delay", "Gain" }
                            << QStringList { "Echo delay samples", "Echo gain" } << "WB"
                            << QList<quint32> { 0, 51 };
    QTest::newRow("ChDistortion") << "ChDistortion" << QStringList { "Drive" }
                                  << QStringList { "Distortion drive" } << "B"
                                  << QList<quint32> { 0 };
    QTest::newRow("ChAttenuation")
        << "ChAttenuation" << QStringList { "GainDb" } << QStringList { "Attenuation dB" } << "B"
        << QList<quint32> { 0 };
    QTest::newRow("ChClipping") << "ChClipping" << QStringList { "Threshold" }
                                << QStringList { "Clip threshold" } << "B" << QList<quint32> { 0 };
    QTest::newRow("ChDCOffset") << "ChDCOffset" << QStringList { "Offset" }
                                << QStringList { "DC offset" } << "B" << QList<quint32> { 0 };
    QTest::newRow("ChDropout") << "ChDropout" << QStringList { "Rate", "Burst" }
                               << QStringList { "Dropout rate", "Burst length" } << "BB"
                               << QList<quint32> { 0, 1 };
    QTest::newRow("ChTone") << "ChTone" << QStringList { "Freq", "Ampl" }
                            << QStringList { "Tone Hz", "Tone amplitude" } << "WB"
                            << QList<quint32> { 0, 0 };
    QTest::newRow("ChDoppler") << "ChDoppler" << QStringList { "Velocity" }
                               << QStringList { "Doppler velocity" } << "B" << QList<quint32> { 0 };
    QTest::newRow("ChFreqAtten") << "ChFreqAtten" << QStringList { "LowCut", "HighCut" }
                                 << QStringList { "Low freq rolloff Hz", "High freq rolloff Hz" }
                                 << "WW" << QList<quint32> { 0, 0 };
    QTest::newRow("ChAGCPump") << "ChAGCPump" << QStringList { "Attack", "Release" }
                               << QStringList { "Attack ms", "Release ms" } << "BB"
                               << QList<quint32> { 0, 0 };
    QTest::newRow("ChannelStrip") << "ChannelStrip"
                                  << QStringList { "Noise SNR", "Echo Delay", "Echo Gain",
                                         "Distortion", "Attenuation", "Clipping", "Tone Freq",
                                         "Tone Ampl" }
                                  << QStringList { "White noise level (0=off, dB)",
                                         "Echo delay (samples)", "Echo reflection gain",
                                         "Speaker distortion (0=off)", "Volume loss dB (0=off)",
                                         "Clip threshold (0=off)", "Interference tone Hz (0=off)",
                                         "Tone amplitude" }
                                  << "BWBBBBWB" << QList<quint32> { 0, 0, 51, 0, 0, 0, 0, 0 };
}

void ChannelTest::schemasMatchTheTables()
{
    QFETCH(QString, typeID);
    QFETCH(QStringList, names);
    QFETCH(QStringList, descriptions);
    QFETCH(QString, kinds);
    QFETCH(QList<quint32>, defaults);

    const auto schema = make(typeID)->schema();
    QVERIFY(schema->trackParameters.isEmpty());
    QCOMPARE(schema->nodeParameters.size(), names.size());
    for (int i = 0; i < names.size(); ++i) {
        const auto& d = *schema->nodeParameters.at(i);
        const bool word = kinds.at(i) == 'W';
        QCOMPARE(d.name, names.at(i));
        QCOMPARE(d.description, descriptions.at(i));
        QCOMPARE(d.valueType(), word ? ValueType::Word : ValueType::Byte);
        QCOMPARE((QList<quint32> { d.minimum, d.maximum, d.empty, d.defaultValue }),
            (QList<quint32> {
                0, word ? 65534u : 254u, word ? kEmptyWord : kEmptyByte, defaults.at(i) }));
    }
}

void ChannelTest::lanesMapToTheirAmounts_data()
{
    QTest::addColumn<QString>("typeID");
    QTest::addColumn<int>("lane");
    QTest::addColumn<quint32>("value");
    QTest::addColumn<QString>("field");
    QTest::addColumn<double>("expected");
    QTest::addColumn<bool>("enables");

    QTest::newRow("SNR 254 is 60 dB") << "ChNoise" << 0 << 254u << "sigma" << 0.001 << true;
    QTest::newRow("SNR 1") << "ChNoise" << 0 << 1u << "sigma" << std::pow(10.0, -snrDb(1) / 20.0)
                           << true;
    QTest::newRow("pink SNR 127") << "ChPinkNoise" << 0 << 127u << "amplitude"
                                  << std::pow(10.0, -30.5 / 20.0) << true;
    QTest::newRow("echo 65534 is the ring")
        << "ChEcho" << 0 << 65534u << "delaySamples" << 4410.0 << true;
    QTest::newRow("echo 1 is one sample") << "ChEcho" << 0 << 1u << "delaySamples" << 1.0 << true;
    QTest::newRow("echo gain 0") << "ChEcho" << 1 << 0u << "gain" << 0.0 << false;
    QTest::newRow("echo gain 127") << "ChEcho" << 1 << 127u << "gain" << 0.5 << false;
    QTest::newRow("drive 127") << "ChDistortion" << 0 << 127u << "drive" << 0.5 << true;
    QTest::newRow("loss 254 is 40 dB")
        << "ChAttenuation" << 0 << 254u << "linearGain" << 0.01 << true;
    QTest::newRow("clip 1") << "ChClipping" << 0 << 1u << "threshold" << 0.05 + 0.95 / 254.0
                            << true;
    QTest::newRow("rate 254") << "ChDropout" << 0 << 254u << "rate" << 0.1 << true;
    QTest::newRow("burst 0") << "ChDropout" << 1 << 0u << "burst" << 1.0 << false;
    QTest::newRow("burst 254") << "ChDropout" << 1 << 254u << "burst" << 255.0 << false;
    QTest::newRow("tone 65534") << "ChTone" << 0 << 65534u << "frequency" << 20000.0 << true;
    QTest::newRow("tone ampl 254") << "ChTone" << 1 << 254u << "amplitude" << 1.0 << false;
    QTest::newRow("velocity 254") << "ChDoppler" << 0 << 254u << "velocity" << 0.01 << true;
    QTest::newRow("low cut 65534") << "ChFreqAtten" << 0 << 65534u << "lowCut" << 2000.0 << true;
    QTest::newRow("low cut 0 still enables") << "ChFreqAtten" << 0 << 0u << "lowCut" << 0.0 << true;
    QTest::newRow("high cut 0") << "ChFreqAtten" << 1 << 0u << "highCut" << 2000.0 << true;
    QTest::newRow("high cut 65534") << "ChFreqAtten" << 1 << 65534u << "highCut" << 20000.0 << true;
    QTest::newRow("attack 254") << "ChAGCPump" << 0 << 254u << "attackMs" << 100.0 << true;
    QTest::newRow("release 0") << "ChAGCPump" << 1 << 0u << "releaseMs" << 10.0 << false;
    QTest::newRow("release 254") << "ChAGCPump" << 1 << 254u << "releaseMs" << 2000.0 << false;
    QTest::newRow("strip noise") << "ChannelStrip" << 0 << 254u << "sigma" << 0.001 << true;
    QTest::newRow("strip echo") << "ChannelStrip" << 1 << 65534u << "delaySamples" << 4410.0
                                << true;
    QTest::newRow("strip clip") << "ChannelStrip" << 5 << 1u << "threshold" << 0.05 + 0.95 / 254.0
                                << true;
    QTest::newRow("strip tone ampl") << "ChannelStrip" << 7 << 127u << "amplitude" << 0.5 << false;
}

void ChannelTest::lanesMapToTheirAmounts()
{
    QFETCH(QString, typeID);
    QFETCH(int, lane);
    QFETCH(quint32, value);
    QFETCH(QString, field);
    QFETCH(double, expected);
    QFETCH(bool, enables);

    const auto p = make(typeID);
    setLane(*p, lane, value);
    const Probe after = probe(*p, field);
    QCOMPARE(after.enabled, enables);
    QVERIFY2(std::abs(after.amount - expected) <= 1e-12 * std::max(1.0, std::abs(expected)),
        qPrintable(QString("%1, expected %2").arg(after.amount, 0, 'g', 17).arg(expected)));
}

void ChannelTest::laneZeroDisablesWithoutForgetting_data()
{
    QTest::addColumn<QString>("typeID");
    QTest::addColumn<int>("lane");
    QTest::addColumn<QString>("field");

    QTest::newRow("ChNoise") << "ChNoise" << 0 << "sigma";
    QTest::newRow("ChPinkNoise") << "ChPinkNoise" << 0 << "amplitude";
    QTest::newRow("ChEcho") << "ChEcho" << 0 << "delaySamples";
    QTest::newRow("ChDistortion") << "ChDistortion" << 0 << "drive";
    QTest::newRow("ChAttenuation") << "ChAttenuation" << 0 << "linearGain";
    QTest::newRow("ChClipping") << "ChClipping" << 0 << "threshold";
    QTest::newRow("ChDCOffset") << "ChDCOffset" << 0 << "offset";
    QTest::newRow("ChDropout") << "ChDropout" << 0 << "rate";
    QTest::newRow("ChTone") << "ChTone" << 0 << "frequency";
    QTest::newRow("ChDoppler") << "ChDoppler" << 0 << "velocity";
    QTest::newRow("ChAGCPump") << "ChAGCPump" << 0 << "attackMs";
    QTest::newRow("strip noise") << "ChannelStrip" << 0 << "sigma";
    QTest::newRow("strip echo") << "ChannelStrip" << 1 << "delaySamples";
    QTest::newRow("strip clipping") << "ChannelStrip" << 5 << "threshold";
}

void ChannelTest::laneZeroDisablesWithoutForgetting()
{
    QFETCH(QString, typeID);
    QFETCH(int, lane);
    QFETCH(QString, field);

    const auto p = make(typeID);
    setLane(*p, lane, 100, 1);
    const Probe on = probe(*p, field);
    QVERIFY(on.enabled);
    setLane(*p, lane, 0, 2);
    const Probe off = probe(*p, field);
    QVERIFY(!off.enabled);
    QVERIFY(off.amount == on.amount);
    const Samples input = varied(512);
    QCOMPARE(render(*p, input), input);
    // The empty value leaves it off.
    setLane(*p, lane, p->schema()->nodeParameters.at(lane)->empty, 3);
    QVERIFY(!probe(*p, field).enabled);
}

void ChannelTest::disabledPassesThrough_data()
{
    QTest::addColumn<QString>("typeID");
    QTest::addColumn<int>("lane"); // a lane that does not switch the stage on, or -1
    QTest::addColumn<quint32>("value");

    for (const QString& typeID : creators().keys())
        QTest::newRow(qPrintable(typeID + " as built")) << typeID << -1 << 0u;
    QTest::newRow("echo gain alone") << "ChEcho" << 1 << 254u;
    QTest::newRow("burst alone") << "ChDropout" << 1 << 254u;
    QTest::newRow("tone amplitude alone") << "ChTone" << 1 << 254u;
    QTest::newRow("release alone") << "ChAGCPump" << 1 << 0u;
    QTest::newRow("strip echo gain alone") << "ChannelStrip" << 2 << 254u;
    QTest::newRow("strip tone amplitude alone") << "ChannelStrip" << 7 << 254u;
}

void ChannelTest::disabledPassesThrough()
{
    QFETCH(QString, typeID);
    QFETCH(int, lane);
    QFETCH(quint32, value);

    const auto p = make(typeID);
    if (lane >= 0)
        setLane(*p, lane, value);
    const Samples input = varied(9000);
    QCOMPARE(render(*p, input), input);
}

void ChannelTest::samplesFollowTheFormulas_data()
{
    QTest::addColumn<QString>("typeID");
    QTest::addColumn<Row>("row");
    QTest::addColumn<double>("input");
    QTest::addColumn<double>("expected");

    const double clip1 = 0.05 + 0.95 / 254.0; // about 0.0537
    QTest::newRow("clip 1 above") << "ChClipping" << Row { 1 } << 0.8 << clip1;
    QTest::newRow("clip 1 below") << "ChClipping" << Row { 1 } << -0.8 << -clip1;
    QTest::newRow("clip 1 inside") << "ChClipping" << Row { 1 } << 0.02 << 0.02;
    QTest::newRow("clip 254 at full scale") << "ChClipping" << Row { 254 } << 1.5 << 1.0;
    QTest::newRow("drive 254") << "ChDistortion" << Row { 254 } << 0.5
                               << std::tanh(0.5 + (0.5 * 0.25 + 0.3 * 0.125));
    QTest::newRow("drive 127") << "ChDistortion" << Row { 127 } << -0.4
                               << std::tanh(-0.4 + 0.5 * (0.5 * 0.16 - 0.3 * 0.064));
    QTest::newRow("loss 20 dB") << "ChAttenuation" << Row { 127 } << 0.6 << 0.06;
    QTest::newRow("offset 254") << "ChDCOffset" << Row { 254 } << -0.3 << -0.1;
    // The first sample of the tone is one phase step in.
    QTest::newRow("tone 20 kHz") << "ChTone" << Row { 65534, 127 } << 0.25
                                 << 0.25 + 0.5 * std::sin(2.0 * std::numbers::pi * 20000.0 / kRate);
    QTest::newRow("tone without amplitude") << "ChTone" << Row { 65534, 0 } << 0.25 << 0.25;
}

void ChannelTest::samplesFollowTheFormulas()
{
    QFETCH(QString, typeID);
    QFETCH(Row, row);
    QFETCH(double, input);
    QFETCH(double, expected);

    const auto p = make(typeID);
    apply(*p, row);
    const double output = render(*p, Samples { input }).at(0);
    QVERIFY2(std::abs(output - expected) < 1e-12,
        qPrintable(QString("%1, expected %2").arg(output, 0, 'g', 17).arg(expected, 0, 'g', 17)));
}

void ChannelTest::uniformIsMadeFromTwoOutputs_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::newRow("white noise") << 42u;
    QTest::newRow("strip pink noise") << 43u;
    QTest::newRow("dropout") << 77u;
    QTest::newRow("pink noise") << 123u;
}

void ChannelTest::uniformIsMadeFromTwoOutputs()
{
    QFETCH(quint32, seed);

    ChannelRandom random(seed);
    std::mt19937 reference(seed);
    for (int i = 0; i < 2000; ++i) {
        const double a = double(reference());
        const double b = double(reference());
        const double expected
            = (b * std::pow(2.0, 21) + std::floor(a / std::pow(2.0, 11))) * std::pow(2.0, -53);
        const double u = random.uniform();
        QVERIFY(u == expected);
        QVERIFY(u >= 0.0 && u < 1.0);
    }
}

void ChannelTest::noiseLevelFollowsTheSnr_data()
{
    QTest::addColumn<QString>("typeID");
    QTest::addColumn<quint32>("lane");
    QTest::addColumn<double>("expectedDb");
    QTest::addColumn<double>("toleranceDb");

    QTest::newRow("white 254") << "ChNoise" << 254u << -60.0 << 0.05;
    QTest::newRow("white 1") << "ChNoise" << 1u << -snrDb(1) << 0.05;
    QTest::newRow("white 1 is about 1.2 dB") << "ChNoise" << 1u << -1.2 << 0.1;
    QTest::newRow("strip 254") << "ChannelStrip" << 254u << -60.0 << 0.05;
    // Seventeen uniform values of variance 1/3 summed and divided by 17.
    const double pinkDb = 10.0 * std::log10(1.0 / 51.0);
    QTest::newRow("pink 254") << "ChPinkNoise" << 254u << -60.0 + pinkDb << 0.3;
    QTest::newRow("pink 1") << "ChPinkNoise" << 1u << -snrDb(1) + pinkDb << 0.3;
}

void ChannelTest::noiseLevelFollowsTheSnr()
{
    QFETCH(QString, typeID);
    QFETCH(quint32, lane);
    QFETCH(double, expectedDb);
    QFETCH(double, toleranceDb);

    const auto p = make(typeID);
    setLane(*p, 0, lane);
    // The slowest pink row is first drawn at sample 32768.
    constexpr int kSettle = 1 << 15;
    const double level = rmsDb(render(*p, Samples(kSettle + (1 << 20), 0.0)), kSettle);
    QVERIFY2(std::abs(level - expectedDb) < toleranceDb,
        qPrintable(QString("%1 dB, expected %2 dB").arg(level).arg(expectedDb)));
}

void ChannelTest::identicalSeedsGiveIdenticalOutput_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<Row>("row");

    QTest::newRow("white noise") << "ChNoise"
                                 << "ChNoise" << Row { 100 };
    QTest::newRow("pink noise") << "ChPinkNoise"
                                << "ChPinkNoise" << Row { 100 };
    QTest::newRow("dropout") << "ChDropout"
                             << "ChDropout" << Row { 254, 3 };
    QTest::newRow("strip and white noise share seed 42") << "ChannelStrip"
                                                         << "ChNoise" << Row { 100 };
}

void ChannelTest::identicalSeedsGiveIdenticalOutput()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(Row, row);

    const auto a = make(first);
    const auto b = make(second);
    apply(*a, row);
    apply(*b, row);
    const Samples input = varied(20000);
    const Samples output = render(*a, input);
    QVERIFY(output != input);
    QCOMPARE(output, render(*b, input));
}

void ChannelTest::echoArrivesAfterTheDelay_data()
{
    QTest::addColumn<QString>("typeID");
    QTest::addColumn<Row>("row");
    QTest::addColumn<int>("delay");

    QTest::newRow("65534 is the whole ring") << "ChEcho" << Row { 65534, 127 } << 4410;
    QTest::newRow("1 is one sample") << "ChEcho" << Row { 1, 127 } << 1;
    QTest::newRow("strip 65534") << "ChannelStrip" << Row { 0, 65534, 127 } << 4410;
    QTest::newRow("strip 1") << "ChannelStrip" << Row { 0, 1, 127 } << 1;
}

void ChannelTest::echoArrivesAfterTheDelay()
{
    QFETCH(QString, typeID);
    QFETCH(Row, row);
    QFETCH(int, delay);

    const auto p = make(typeID);
    apply(*p, row);
    Samples expected(3 * 4410, 0.0);
    expected[0] = 1.0;
    expected[delay] = 0.5;
    QCOMPARE(render(*p, Samples { 1.0 } + Samples(3 * 4410 - 1, 0.0)), expected);
}

void ChannelTest::resetClearsTheDelayLines_data()
{
    QTest::addColumn<QString>("typeID");
    QTest::addColumn<Row>("row");

    QTest::newRow("echo") << "ChEcho" << Row { 65534, 254 };
    QTest::newRow("doppler") << "ChDoppler" << Row { 254 };
    QTest::newRow("strip") << "ChannelStrip" << Row { 0, 65534, 254 };
}

void ChannelTest::resetClearsTheDelayLines()
{
    QFETCH(QString, typeID);
    QFETCH(Row, row);

    const auto p = make(typeID);
    apply(*p, row);
    const Samples input = varied(4410);
    render(*p, input);
    p->reset();
    // Without the reset the line would give back the last 4410 samples.
    const Samples silence(2 * 4410, 0.0);
    QCOMPARE(render(*p, silence), silence);
}

void ChannelTest::dropoutBurstSilencesBurstPlusOne()
{
    ChannelDropoutProcessor p(kRate);
    apply(p, { 254, 254 });
    const Samples output = render(p, Samples(200000, 1.0));
    // Runs of silence are whole bursts of 256 (a trigger may follow at once); the last run
    // may be cut by the end of the block.
    int runs = 0;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= output.size(); ++i) {
        const bool silent = i < output.size() && output[i] == 0.0;
        if (silent && start < 0)
            start = i;
        if (!silent && start >= 0 && i < output.size()) {
            QCOMPARE((i - start) % 256, 0);
            ++runs;
        }
        if (!silent)
            start = -1;
    }
    QVERIFY(runs > 10);
}

void ChannelTest::dropoutRateSetsTheTriggerChance_data()
{
    QTest::addColumn<quint32>("rateLane");
    QTest::addColumn<double>("chance");
    QTest::newRow("254 is one in ten") << 254u << 0.1;
    QTest::newRow("127 is one in twenty") << 127u << 0.05;
}

void ChannelTest::dropoutRateSetsTheTriggerChance()
{
    QFETCH(quint32, rateLane);
    QFETCH(double, chance);

    ChannelDropoutProcessor p(kRate);
    apply(p, { rateLane, 0 }); // burst 1: every trigger silences two samples
    const Samples output = render(p, Samples(400000, 1.0));
    const double silent = double(std::count(output.begin(), output.end(), 0.0));
    const double triggers = silent / 2.0;
    // The sample after a trigger is silenced without a draw.
    const double draws = double(output.size()) - triggers;
    QVERIFY2(
        std::abs(triggers / draws - chance) < 0.004, qPrintable(QString::number(triggers / draws)));
}

void ChannelTest::dopplerDelayDrifts_data()
{
    QTest::addColumn<quint32>("lane");
    QTest::newRow("254") << 254u;
    QTest::newRow("127") << 127u;
}

void ChannelTest::dopplerDelayDrifts()
{
    QFETCH(quint32, lane);

    ChannelDopplerProcessor p(kRate);
    setLane(p, ChannelDopplerProcessor::Velocity, lane);
    const double velocity = lane / 254.0 * 0.01;
    Samples ramp(20000);
    std::iota(ramp.begin(), ramp.end(), 0.0);
    const Samples output = render(p, ramp);
    // Sample n reads half a ring back, moved by r = (n + 1) × velocity: whole samples move
    // the read point back, the fraction blends towards the newer neighbour.
    for (int n = 2100; n < ramp.size(); n += 97) {
        const double r = (n + 1) * velocity;
        if (std::abs(r - std::round(r)) < 1e-6)
            continue;
        const double expected = n - 1024 - std::trunc(r) + (r - std::floor(r));
        QVERIFY2(std::abs(output[n] - expected) < 1e-6,
            qPrintable(QString("sample %1: %2, expected %3").arg(n).arg(output[n]).arg(expected)));
    }
}

void ChannelTest::shelvesCutOutsideTheBand_data()
{
    QTest::addColumn<Row>("row");
    QTest::addColumn<double>("frequency");
    QTest::addColumn<double>("gainDb");

    // Far from a 2 kHz corner a shelf gives its full -6 dB or nothing.
    QTest::newRow("high shelf above") << Row { kEmptyWord, 0 } << 16000.0 << -6.0;
    QTest::newRow("high shelf below") << Row { kEmptyWord, 0 } << 100.0 << 0.0;
    QTest::newRow("low shelf below") << Row { 65534, kEmptyWord } << 40.0 << -6.0;
    QTest::newRow("low shelf above") << Row { 65534, kEmptyWord } << 16000.0 << 0.0;
    QTest::newRow("low corner 0 bypasses") << Row { 0, kEmptyWord } << 40.0 << 0.0;
}

void ChannelTest::shelvesCutOutsideTheBand()
{
    QFETCH(Row, row);
    QFETCH(double, frequency);
    QFETCH(double, gainDb);

    ChannelFreqAttenProcessor p(kRate);
    apply(p, row);
    Samples sine(kRate);
    for (int n = 0; n < sine.size(); ++n)
        sine[n] = std::sin(2.0 * std::numbers::pi * frequency * n / kRate);
    const Samples output = render(p, sine);
    const double level = rmsDb(output, kRate / 2) - rmsDb(sine, kRate / 2);
    QVERIFY2(std::abs(level - gainDb) < 0.4, qPrintable(QString("%1 dB").arg(level)));
}

void ChannelTest::agcPumpSettlesAtTheTarget_data()
{
    QTest::addColumn<double>("input");
    QTest::addColumn<double>("expected");

    QTest::newRow("quiet is raised") << 0.1 << 0.5;
    QTest::newRow("loud is lowered") << 2.0 << 0.5;
    QTest::newRow("gain at most 10") << 0.01 << 0.1;
    QTest::newRow("gain at least 0.1") << -8.0 << -0.8;
    QTest::newRow("near silence keeps unity") << 0.00005 << 0.00005;
}

void ChannelTest::agcPumpSettlesAtTheTarget()
{
    QFETCH(double, input);
    QFETCH(double, expected);

    ChannelAGCPumpProcessor p(kRate);
    apply(p, { 1, 0 });
    const Samples output = render(p, Samples(kRate, input));
    QVERIFY2(std::abs(output.last() - expected) < 1e-9 * std::max(1.0, std::abs(input)),
        qPrintable(QString::number(output.last(), 'g', 17)));
}

void ChannelTest::onlyTheStripSkipsARepeatedSerial_data()
{
    QTest::addColumn<QString>("typeID");
    QTest::addColumn<bool>("skips");
    QTest::newRow("strip") << "ChannelStrip" << true;
    QTest::newRow("single") << "ChClipping" << false;
}

void ChannelTest::onlyTheStripSkipsARepeatedSerial()
{
    QFETCH(QString, typeID);
    QFETCH(bool, skips);

    // Clipping is lane 5 of the strip and lane 0 of the single processor.
    const auto p = make(typeID);
    const int lane = skips ? int(ChannelStripProcessor::Clipping) : 0;
    setLane(*p, lane, 254, 7);
    setLane(*p, lane, 1, 7);
    QCOMPARE(probe(*p, "threshold").amount, skips ? 1.0 : 0.05 + 0.95 / 254.0);
}

void ChannelTest::stripRunsTheStagesInOrder_data()
{
    QTest::addColumn<Row>("stripRow");

    QTest::newRow("every lane") << Row { 200, 300, 200, 254, 60, 100, 2000, 200 };
    QTest::newRow("loss then drive") << Row { 0, 0, 51, 254, 200, 0, 0, 0 };
    QTest::newRow("tone then clip") << Row { 0, 0, 51, 0, 0, 20, 40000, 254 };
    QTest::newRow("echo then noise") << Row { 150, 700, 254, 0, 0, 0, 0, 0 };
}

void ChannelTest::stripRunsTheStagesInOrder()
{
    QFETCH(Row, stripRow);
    using S = ChannelStripProcessor;

    ChannelStripProcessor strip(kRate);
    apply(strip, stripRow);
    // The same lanes on single processors, chained in the strip's order.
    const QList<QPair<QString, Row>> chain = {
        { "ChAttenuation", { stripRow[S::Attenuation] } },
        { "ChDistortion", { stripRow[S::Distortion] } },
        { "ChEcho", { stripRow[S::EchoDelay], stripRow[S::EchoGain] } },
        { "ChNoise", { stripRow[S::NoiseSnr] } },
        { "ChTone", { stripRow[S::ToneFreq], stripRow[S::ToneAmpl] } },
        { "ChClipping", { stripRow[S::Clipping] } },
    };
    Samples expected = varied(10000);
    const Samples input = expected;
    for (const auto& [typeID, row] : chain) {
        const auto p = make(typeID);
        apply(*p, row);
        expected = render(*p, expected);
    }
    QCOMPARE(render(strip, input), expected);
}

void ChannelTest::hostileRowsKeepTheOutputFinite_data()
{
    QTest::addColumn<QString>("typeID");
    for (const QString& typeID : creators().keys())
        QTest::newRow(qPrintable(typeID)) << typeID;
}

void ChannelTest::hostileRowsKeepTheOutputFinite()
{
    QFETCH(QString, typeID);

    const auto p = make(typeID);
    XorShift32 random { 88172645u };
    const Samples input = varied(256);
    for (quint32 serial = 0; serial < 300; ++serial) {
        Row row(int(random.next() % 10));
        for (quint32& v : row) {
            const quint32 pick = random.next();
            // Mostly edge values, sometimes anything at all.
            const quint32 edges[] = { 0, 1, 254, 255, 256, 65534, 65535, 65536, 0xFFFFFFFF };
            v = pick % 4 == 0 ? random.next() : edges[pick % std::size(edges)];
        }
        apply(*p, row, serial);
        for (double y : render(*p, input))
            QVERIFY(std::isfinite(y));
    }
}

QTEST_GUILESS_MAIN(ChannelTest)
#include "tst_channel.moc"
