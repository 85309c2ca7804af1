#include "processors/effects/AmpProcessor.h"
#include "processors/effects/AverageProcessor.h"
#include "processors/effects/DelayProcessor.h"
#include "processors/effects/DistortionProcessor.h"
#include "processors/effects/RecursionProcessor.h"
#include "processors/effects/TremoloProcessor.h"
#include "core/DataStream.h"

#include <QBuffer>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

namespace {

using Samples = QVector<double>;
using Row = QVector<quint32>;

constexpr quint32 kEmptyWord = 0xFFFF;
constexpr quint32 kEmptyByte = 0xFF;
constexpr int kRate = 44100;

double word(quint32 v)
{
    return v / 65534.0;
}
double byte(quint32 v)
{
    return v / 254.0;
}

QSharedPointer<Processor> make(const QString& className)
{
    static const QHash<QString, std::function<QSharedPointer<Processor>()>> creators = {
        { "Amp", [] { return QSharedPointer<AmpProcessor>::create(kRate); } },
        { "Delay", [] { return QSharedPointer<DelayProcessor>::create(kRate); } },
        { "Tremolo", [] { return QSharedPointer<TremoloProcessor>::create(kRate); } },
        { "Distortion", [] { return QSharedPointer<DistortionProcessor>::create(kRate); } },
        { "Recursion", [] { return QSharedPointer<RecursionProcessor>::create(kRate); } },
        { "Average", [] { return QSharedPointer<AverageProcessor>::create(kRate); } },
    };
    return creators.value(className)();
}

// Runs the samples through in blocks, so state must carry across block edges.
Samples render(Processor& processor, Samples samples, qsizetype blockSize = 1000)
{
    for (qsizetype start = 0; start < samples.size(); start += blockSize) {
        AudioContext context;
        context.frames = quint64(std::min(blockSize, samples.size() - start));
        context.data = samples.data() + start;
        processor.process(context);
    }
    return samples;
}

void apply(Processor& processor, const Row& row, quint32 serial)
{
    processor.applyRow(row.constData(), int(row.size()), serial);
}

Samples impulse(qsizetype length)
{
    Samples samples(length, 0.0);
    samples[0] = 1.0;
    return samples;
}

// Empty when the blocks agree within `tolerance`, else where they first differ.
QString mismatch(const Samples& actual, const Samples& expected, double tolerance)
{
    if (actual.size() != expected.size())
        return QString("sizes %1 and %2").arg(actual.size()).arg(expected.size());
    for (qsizetype i = 0; i < actual.size(); ++i) {
        if (!(std::abs(actual[i] - expected[i]) <= tolerance))
            return QString("sample %1: %2, expected %3").arg(i).arg(actual[i]).arg(expected[i]);
    }
    return {};
}

#define COMPARE_BLOCKS(actual, expected, tolerance)                                                \
    do {                                                                                           \
        const QString difference = mismatch(actual, expected, tolerance);                          \
        QVERIFY2(difference.isEmpty(), qPrintable(difference));                                    \
    } while (false)

QByteArray bytes(const std::function<void(QDataStream&)>& write)
{
    QByteArray data;
    QDataStream stream(&data, QIODevice::WriteOnly);
    datastream::prepare(stream);
    write(stream);
    return data;
}

void load(Processor& processor, const QByteArray& data)
{
    QDataStream stream(data);
    datastream::prepare(stream);
    processor.loadState(stream);
}

QByteArray saved(Processor& processor)
{
    return bytes([&](QDataStream& stream) { processor.saveState(stream); });
}

} // namespace

class EffectsTest : public QObject {
    Q_OBJECT

private slots:
    void characters_data();
    void characters();
    void schemas_data();
    void schemas();

    void ampRampsToTarget_data();
    void ampRampsToTarget();
    void ampResetJumps_data();
    void ampResetJumps();
    void repeatedSerialIsIgnored();

    void delayEchoes_data();
    void delayEchoes();
    void delayRestartsOnTimeChangeAndReset_data();
    void delayRestartsOnTimeChangeAndReset();
    void delayKeepsItsLineWhenTimeIsUnchanged();
    void delayGrownPartReadsSilence();

    void tremolo_data();
    void tremolo();

    void distortion_data();
    void distortion();

    void recursionPassesInputThrough();
    void recursionState_data();
    void recursionState();

    void averageIsMovingMean_data();
    void averageIsMovingMean();
    void averageState_data();
    void averageState();
};

void EffectsTest::characters_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("typeID");
    const auto row = [](const char* tag, const char* className, const char* typeID) {
        QTest::newRow(tag) << QString(className) << QString(typeID);
    };
    row("amp", "Amp", "Amp");
    row("delay", "Delay", "Delay");
    row("tremolo", "Tremolo", "Tremolo");
    row("distortion", "Distortion", "Distortion");
    row("recursion", "Recursion", "Recursion");
    row("average shares the delay's name", "Average", "Delay");
}

void EffectsTest::characters()
{
    QFETCH(QString, className);
    QFETCH(QString, typeID);
    const auto character = make(className)->character();
    QCOMPARE(character.typeID, typeID);
    QVERIFY(character.takesAudioInput);
    QVERIFY(character.givesAudioOutput);
    QVERIFY(character.userCreatable);
    QVERIFY(character.userVisible);
    QVERIFY(!character.intrinsicToSong);
    QVERIFY(!character.intrinsicTrack);
}

void EffectsTest::schemas_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<int>("laneCount");
    QTest::addColumn<int>("lane");
    QTest::addColumn<quint32>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::addColumn<quint32>("maximum");
    QTest::addColumn<quint32>("empty");
    QTest::addColumn<quint32>("defaultValue");

    const auto row = [](const char* tag, const char* cls, int count, int lane, ValueType type,
                         const char* name, const char* description, quint32 maximum, quint32 empty,
                         quint32 defaultValue) {
        QTest::newRow(tag) << QString(cls) << count << lane << quint32(type) << QString(name)
                           << QString(description) << maximum << empty << defaultValue;
    };
    const auto W = ValueType::Word;
    const auto B = ValueType::Byte;
    row("amp percentage", "Amp", 2, 0, W, "Percentage", "Volume percentage (0-100%)", 65534, 65535,
        65534);
    row("amp decibel", "Amp", 2, 1, W, "Decibel", "Gain boost (0 to +48 dB)", 65534, 65535, 0);
    row("delay dry", "Delay", 4, 0, W, "Dry", "Dry signal level", 65534, 65535, 65534);
    row("delay wet", "Delay", 4, 1, W, "Wet", "Wet (delayed) signal level", 65534, 65535, 32767);
    row("delay feedback", "Delay", 4, 2, W, "Feedback", "Feedback amount", 65534, 65535, 6554);
    row("delay time", "Delay", 4, 3, W, "Time", "Delay time in milliseconds (1-2000)", 65534, 65535,
        13107);
    row("tremolo rate", "Tremolo", 2, 0, B, "Rate", "LFO speed (0.1-20 Hz)", 254, 255, 51);
    row("tremolo depth", "Tremolo", 2, 1, B, "Depth", "Modulation depth (0-100%)", 254, 255, 128);
    row("distortion drive", "Distortion", 2, 0, B, "Drive", "Distortion drive (1x-20x)", 254, 255,
        26);
    row("distortion mix", "Distortion", 2, 1, B, "Mix", "Dry/wet mix (0=clean, max=distorted)", 254,
        255, 254);
    row("recursion dry", "Recursion", 2, 0, W, "Dry Gain", "Gain of dry signal", 65535, 65535,
        32767);
    row("recursion wet", "Recursion", 2, 1, W, "Wet Gain", "Gain of wet signal", 65535, 65535,
        32767);
    row("average dry", "Average", 3, 0, W, "Dry Gain", "Gain of dry signal", 65535, 65535, 32767);
    row("average wet", "Average", 3, 1, W, "Wet Gain", "Gain of wet signal", 65535, 65535, 32767);
    row("average size", "Average", 3, 2, W, "Size", "Number of samples", 65535, 65535, 32767);
}

void EffectsTest::schemas()
{
    QFETCH(QString, className);
    QFETCH(int, laneCount);
    QFETCH(int, lane);
    QFETCH(quint32, type);
    QFETCH(QString, name);
    QFETCH(QString, description);
    QFETCH(quint32, maximum);
    QFETCH(quint32, empty);
    QFETCH(quint32, defaultValue);

    const auto schema = make(className)->schema();
    QVERIFY(schema);
    QCOMPARE(schema->nodeParameters.size(), laneCount);
    QVERIFY(schema->trackParameters.isEmpty());
    const auto p = schema->nodeParameters.at(lane);
    QCOMPARE(p->type, type);
    QCOMPARE(p->name, name);
    QCOMPARE(p->description, description);
    QCOMPARE(p->minimum, 0u);
    QCOMPARE(p->maximum, maximum);
    QCOMPARE(p->empty, empty);
    QCOMPARE(p->defaultValue, defaultValue);
    QCOMPARE(p->flag, quint8(0));
}

void EffectsTest::ampRampsToTarget_data()
{
    QTest::addColumn<Row>("row");
    QTest::addColumn<double>("target");
    QTest::newRow("percentage 0 fades out") << Row { 0, kEmptyWord } << 0.0;
    QTest::newRow("half volume") << Row { 32767, kEmptyWord } << 0.5;
    QTest::newRow("boost alone keeps the volume")
        << Row { kEmptyWord, 8191 } << std::pow(10.0, word(8191) * 48.0 / 20.0);
    QTest::newRow("full volume, full boost") << Row { 65534, 65534 } << std::pow(10.0, 48.0 / 20.0);
    QTest::newRow("quarter volume, 24 dB")
        << Row { 16383, 32767 } << word(16383) * std::pow(10.0, 24.0 / 20.0);
    QTest::newRow("empty lanes") << Row { kEmptyWord, kEmptyWord } << 1.0;
    QTest::newRow("no lanes") << Row {} << 1.0;
}

void EffectsTest::ampRampsToTarget()
{
    QFETCH(Row, row);
    QFETCH(double, target);
    AmpProcessor amp(kRate);
    apply(amp, row, 0);

    // From a gain of 1, at most 200/44100 per sample, the first step already taken.
    const double step = 200.0 / 44100.0;
    Samples expected(600);
    for (qsizetype n = 0; n < expected.size(); ++n) {
        const double moved = double(n + 1) * step;
        expected[n] = target > 1.0 ? std::min(1.0 + moved, target) : std::max(1.0 - moved, target);
    }
    COMPARE_BLOCKS(render(amp, Samples(600, 1.0), 64), expected, 1e-12);
}

void EffectsTest::ampResetJumps_data()
{
    QTest::addColumn<Row>("row");
    QTest::addColumn<double>("gain");
    QTest::addColumn<double>("tolerance");
    QTest::newRow("silence") << Row { 0, 0 } << 0.0 << 0.0;
    QTest::newRow("48 dB is about 251.2") << Row { 65534, 65534 } << 251.2 << 0.05;
    QTest::newRow("untouched") << Row {} << 1.0 << 0.0;
}

void EffectsTest::ampResetJumps()
{
    QFETCH(Row, row);
    QFETCH(double, gain);
    QFETCH(double, tolerance);
    AmpProcessor amp(kRate);
    apply(amp, row, 0);
    amp.reset();
    COMPARE_BLOCKS(render(amp, Samples(16, -1.0)), Samples(16, -gain), tolerance);
}

void EffectsTest::repeatedSerialIsIgnored()
{
    AmpProcessor amp(kRate);
    apply(amp, { 0, kEmptyWord }, 7);
    apply(amp, { 65534, kEmptyWord }, 7);
    amp.reset();
    COMPARE_BLOCKS(render(amp, Samples(4, 1.0)), Samples(4, 0.0), 0.0);

    apply(amp, { 65534, kEmptyWord }, 8);
    amp.reset();
    COMPARE_BLOCKS(render(amp, Samples(4, 1.0)), Samples(4, 1.0), 0.0);
}

void EffectsTest::delayEchoes_data()
{
    QTest::addColumn<Row>("row");
    QTest::addColumn<double>("dry");
    QTest::addColumn<double>("wet");
    QTest::addColumn<double>("feedback");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("echoes");

    const quint32 e = kEmptyWord;
    QTest::newRow("fresh") << Row { e, e, e, e } << 1.0 << 0.5 << 0.1 << 17640 << 3;
    QTest::newRow("time 0 is 1 ms") << Row { 0, 65534, 0, 0 } << 0.0 << 1.0 << 0.0 << 44 << 3;
    QTest::newRow("time max is 2 s")
        << Row { 0, 65534, 0, 65534 } << 0.0 << 1.0 << 0.0 << 88200 << 1;
    QTest::newRow("default time") << Row { e, e, e, 13107 } << 1.0 << 0.5 << 0.1 << 17675 << 2;
    QTest::newRow("full feedback decays")
        << Row { 65534, 65534, 65534, 0 } << 1.0 << 1.0 << 0.99 << 44 << 300;
    QTest::newRow("dry part fed back")
        << Row { 65534, 32767, 32767, 100 } << 1.0 << 0.5 << 0.495 << 178 << 8;
    QTest::newRow("no dry part to feed back")
        << Row { 0, 65534, 32767, 1000 } << 0.0 << 1.0 << 0.495 << 1389 << 6;
    QTest::newRow("wet off") << Row { 16383, 0, 32767, 0 } << word(16383) << 0.0 << 0.495 << 44
                             << 4;
}

void EffectsTest::delayEchoes()
{
    QFETCH(Row, row);
    QFETCH(double, dry);
    QFETCH(double, wet);
    QFETCH(double, feedback);
    QFETCH(int, length);
    QFETCH(int, echoes);
    DelayProcessor delay(kRate);
    apply(delay, row, 0);

    // An impulse comes back every `length` samples: the first echo carries what went
    // into the line (the fed-back dry part plus the feed-forward input), each later one
    // is scaled by feedback x wet again.
    Samples expected(qsizetype(echoes) * length + length / 2 + 1, 0.0);
    expected[0] = dry;
    double echo = wet * (feedback * dry + 1.0 - feedback);
    for (int k = 1; k <= echoes; ++k, echo *= feedback * wet)
        expected[qsizetype(k) * length] = echo;
    const Samples actual = render(delay, impulse(expected.size()), 1024);
    COMPARE_BLOCKS(actual, expected, 1e-12);

    for (int k = 2; k <= echoes; ++k)
        QVERIFY(std::abs(actual[k * length]) <= std::abs(actual[(k - 1) * length]));
}

void EffectsTest::delayRestartsOnTimeChangeAndReset_data()
{
    QTest::addColumn<int>("silenceBefore");
    QTest::addColumn<Row>("change");
    QTest::addColumn<int>("length");
    const quint32 e = kEmptyWord;
    QTest::newRow("longer time") << 1000 << Row { e, e, e, 100 } << 178;
    QTest::newRow("shorter time") << 1000 << Row { e, e, e, 0 } << 44;
    QTest::newRow("reset") << 1000 << Row {} << 1389;
    QTest::newRow("reset mid-line") << 77 << Row {} << 1389;
}

void EffectsTest::delayRestartsOnTimeChangeAndReset()
{
    QFETCH(int, silenceBefore);
    QFETCH(Row, change);
    QFETCH(int, length);
    DelayProcessor delay(kRate);
    apply(delay, { 0, 65534, 0, 1000 }, 0);
    render(delay, Samples(silenceBefore, 0.0));
    if (change.isEmpty())
        delay.reset();
    else
        apply(delay, change, 1);

    // However far the line had run, the echo comes exactly one length later.
    Samples expected(2 * length, 0.0);
    expected[length] = 1.0;
    COMPARE_BLOCKS(render(delay, impulse(expected.size())), expected, 0.0);
}

void EffectsTest::delayKeepsItsLineWhenTimeIsUnchanged()
{
    DelayProcessor delay(kRate);
    apply(delay, { 0, 65534, 0, 100 }, 0);
    const Samples head = render(delay, impulse(10));
    apply(delay, { kEmptyWord, kEmptyWord, kEmptyWord, 100 }, 1);
    const Samples tail = render(delay, Samples(300, 0.0));

    Samples expected(310, 0.0);
    expected[178] = 1.0;
    COMPARE_BLOCKS(head + tail, expected, 0.0);
}

void EffectsTest::delayGrownPartReadsSilence()
{
    DelayProcessor delay(kRate);
    apply(delay, { 0, 65534, 0, 100 }, 0); // 178 samples
    render(delay, Samples(178, 1.0)); // every slot now holds 1
    apply(delay, { kEmptyWord, kEmptyWord, kEmptyWord, 0 }, 1); // 44 samples
    apply(delay, { kEmptyWord, kEmptyWord, kEmptyWord, 100 }, 2); // back to 178

    // The restarted line reads slots 1, 2, ... 177 and then 0: the 44 kept slots still
    // hold their ones, the 134 slots that came back must be silent.
    Samples expected(178, 0.0);
    for (int slot = 0; slot < 44; ++slot)
        expected[(slot + 177) % 178] = 1.0;
    COMPARE_BLOCKS(render(delay, Samples(178, 0.0)), expected, 0.0);
}

void EffectsTest::tremolo_data()
{
    QTest::addColumn<int>("sampleRate");
    QTest::addColumn<Row>("row");
    QTest::addColumn<double>("rate");
    QTest::addColumn<double>("depth");
    QTest::newRow("no depth is identity") << kRate << Row { 51, 0 } << byte(51) * 19.9 + 0.1 << 0.0;
    QTest::newRow("full depth at 20 Hz") << kRate << Row { 254, 254 } << 20.0 << 1.0;
    QTest::newRow("full depth at 0.1 Hz") << kRate << Row { 0, 254 } << 0.1 << 1.0;
    QTest::newRow("half depth") << kRate << Row { 127, 127 } << 10.05 << 0.5;
    QTest::newRow("fresh") << kRate << Row { kEmptyByte, kEmptyByte } << 4.0 << 0.5;
    QTest::newRow("own sample rate") << 48000 << Row { 254, 254 } << 20.0 << 1.0;
}

void EffectsTest::tremolo()
{
    QFETCH(int, sampleRate);
    QFETCH(Row, row);
    QFETCH(double, rate);
    QFETCH(double, depth);
    TremoloProcessor tremolo(sampleRate);
    apply(tremolo, row, 0);

    // One whole cycle and a little more, starting at phase 0.
    const auto period = qsizetype(std::ceil(sampleRate / rate));
    Samples expected(period + 10);
    for (qsizetype n = 0; n < expected.size(); ++n) {
        const double phase = std::fmod(double(n) * rate / sampleRate, 1.0);
        const double level = std::sin(2.0 * std::numbers::pi * phase) * 0.5 + 0.5;
        expected[n] = 1.0 - depth * (1.0 - level);
    }
    const Samples gains = render(tremolo, Samples(expected.size(), 1.0));
    COMPARE_BLOCKS(gains, expected, 1e-9);

    const auto [lowest, highest] = std::minmax_element(gains.begin(), gains.end());
    QVERIFY(std::abs(*highest - 1.0) < 1e-6);
    QVERIFY(std::abs(*lowest - (1.0 - depth)) < 1e-6);
}

void EffectsTest::distortion_data()
{
    QTest::addColumn<Row>("row");
    QTest::addColumn<double>("drive");
    QTest::addColumn<double>("mix");
    QTest::newRow("mix 0 is identity") << Row { 200, 0 } << byte(200) * 19.0 + 1.0 << 0.0;
    QTest::newRow("drive 0, full mix is tanh") << Row { 0, 254 } << 1.0 << 1.0;
    QTest::newRow("full drive") << Row { 254, 254 } << 20.0 << 1.0;
    QTest::newRow("half and half") << Row { 127, 127 } << 10.5 << 0.5;
    QTest::newRow("fresh") << Row { kEmptyByte, kEmptyByte } << byte(26) * 19.0 + 1.0 << 1.0;
    QTest::newRow("mix only") << Row { kEmptyByte, 64 } << byte(26) * 19.0 + 1.0 << byte(64);
}

void EffectsTest::distortion()
{
    QFETCH(Row, row);
    QFETCH(double, drive);
    QFETCH(double, mix);
    DistortionProcessor distortion(kRate);
    apply(distortion, row, 0);

    Samples input(401);
    Samples expected(input.size());
    for (qsizetype n = 0; n < input.size(); ++n) {
        const double x = -2.0 + double(n) / 100.0;
        input[n] = x;
        expected[n] = (1.0 - mix) * x + mix * std::tanh(drive * x) / std::sqrt(drive);
    }
    COMPARE_BLOCKS(render(distortion, input, 64), expected, 1e-12);
}

void EffectsTest::recursionPassesInputThrough()
{
    RecursionProcessor recursion(kRate);
    Samples input(300);
    for (qsizetype n = 0; n < input.size(); ++n)
        input[n] = std::sin(double(n) * 0.3) * 0.8;
    COMPARE_BLOCKS(render(recursion, input, 64), input, 0.0);

    load(recursion, bytes([](QDataStream& s) { s << 2.0f << 3.0f; }));
    COMPARE_BLOCKS(render(recursion, input, 64), input, 0.0);
}

void EffectsTest::recursionState_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray zero(16, '\0');
    // Two floats, each written as an 8-byte big-endian double.
    const QByteArray halfAndMinusQuarter = QByteArray::fromHex("3FE0000000000000BFD0000000000000");
    QTest::newRow("fresh") << QByteArray() << zero;
    QTest::newRow("round trip") << halfAndMinusQuarter << halfAndMinusQuarter;
    QTest::newRow("truncated changes nothing") << halfAndMinusQuarter.left(12) << zero;
}

void EffectsTest::recursionState()
{
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, expected);
    RecursionProcessor recursion(kRate);
    if (!stored.isEmpty())
        load(recursion, stored);
    QCOMPARE(saved(recursion), expected);
}

void EffectsTest::averageIsMovingMean_data()
{
    QTest::addColumn<qint32>("size");
    QTest::addColumn<bool>("resetAfterWarmUp");
    QTest::newRow("size 1") << 1 << false;
    QTest::newRow("size 3") << 3 << false;
    QTest::newRow("size 8") << 8 << false;
    QTest::newRow("size 8 after reset") << 8 << true;
    QTest::newRow("size 0 passes through") << 0 << false;
    QTest::newRow("negative size passes through") << -5 << false;
}

void EffectsTest::averageIsMovingMean()
{
    QFETCH(qint32, size);
    QFETCH(bool, resetAfterWarmUp);
    AverageProcessor average(kRate);
    load(average, bytes([&](QDataStream& s) { s << 0.0 << 0.0 << size; }));
    if (resetAfterWarmUp) {
        render(average, Samples(20, 5.0));
        average.reset();
    }

    Samples input(100);
    for (qsizetype n = 0; n < input.size(); ++n)
        input[n] = std::sin(double(n) * 0.7) + double(n % 5) * 0.25;
    Samples expected = input;
    if (size >= 1) {
        for (qsizetype n = 0; n < input.size(); ++n) {
            double sum = 0.0;
            for (qsizetype k = std::max<qsizetype>(0, n - size + 1); k <= n; ++k)
                sum += input[k];
            expected[n] = sum / size;
        }
    }
    COMPARE_BLOCKS(render(average, input, 7), expected, 1e-12);
}

void EffectsTest::averageState_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<double>("firstOutputOfOnes");

    const auto state = [](double dry, double wet, qint32 size) {
        return bytes([=](QDataStream& s) { s << dry << wet << size; });
    };
    QTest::newRow("fresh") << QByteArray() << state(0.0, 0.0, 0) << 1.0;
    QTest::newRow("round trip") << state(0.25, 0.75, 4) << state(0.25, 0.75, 4) << 0.25;
    QTest::newRow("hostile size is capped at 10 s")
        << state(1.0, 1.0, 0x7FFFFFFF) << state(1.0, 1.0, 441000) << 1.0 / 441000.0;
    QTest::newRow("truncated changes nothing")
        << state(0.5, 0.5, 4).left(18) << state(0.0, 0.0, 0) << 1.0;
}

void EffectsTest::averageState()
{
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, expected);
    QFETCH(double, firstOutputOfOnes);
    AverageProcessor average(kRate);
    if (!stored.isEmpty())
        load(average, stored);
    QCOMPARE(saved(average), expected);
    QCOMPARE(render(average, Samples(1, 1.0)).first(), firstOutputOfOnes);
}

QTEST_GUILESS_MAIN(EffectsTest)
#include "tst_effects.moc"
