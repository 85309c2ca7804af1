#include "core/AudioContext.h"
#include "processors/sources/NoiseProcessor.h"
#include "processors/sources/OscProcessor.h"
#include "processors/sources/SampleProcessor.h"
#include "processors/sources/SawProcessor.h"
#include "processors/sources/WaveRegistry.h"

#include <QtTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <numbers>

namespace {

constexpr double kRate = 44100.0;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kStep = 200.0 / 44100.0;
constexpr double kSawDetune[SawProcessor::kVoices] = { -0.9, -0.6, -0.3, 0.0, 0.3, 0.6, 0.9 };

QSharedPointer<Processor> makeSource(const QString& type)
{
    static const QHash<QString, std::function<QSharedPointer<Processor>()>> makers = {
        { "Saw", [] { return QSharedPointer<SawProcessor>::create(44100); } },
        { "Noise", [] { return QSharedPointer<NoiseProcessor>::create(44100); } },
        { "Sample", [] { return QSharedPointer<SampleProcessor>::create(44100); } },
        { "Osc", [] { return QSharedPointer<OscProcessor>::create(44100); } },
    };
    return makers.value(type)();
}

// Renders one block into a buffer prefilled with `fill`, so writers can be told from adders.
QVector<double> render(Processor& processor, int frames, double fill = 0.0)
{
    QVector<double> block(frames, fill);
    AudioContext context;
    context.frames = quint64(frames);
    context.channels = 1;
    context.data = block.data();
    processor.process(context);
    return block;
}

void deliver(Processor& processor, const QList<quint32>& lanes, quint32 serial)
{
    processor.applyRow(lanes.constData(), int(lanes.size()), serial);
}

// Empty when the blocks agree within `tolerance`, else the first sample that differs.
QString firstMismatch(
    const QVector<double>& actual, const QVector<double>& expected, double tolerance)
{
    if (actual.size() != expected.size())
        return QString("%1 samples, expected %2").arg(actual.size()).arg(expected.size());
    for (int i = 0; i < actual.size(); ++i) {
        if (std::abs(actual[i] - expected[i]) > tolerance)
            return QString("sample %1: %2, expected %3")
                .arg(i)
                .arg(actual[i], 0, 'g', 17)
                .arg(expected[i], 0, 'g', 17);
    }
    return {};
}

// Phase of a saw voice `samples` samples after `start`; fmod keeps the sign, so voices tuned
// below zero run into negative phases.
double sawPhase(double start, double hz, int samples)
{
    return std::fmod(start + samples * hz * kTwoPi / kRate, kTwoPi);
}

double sawOutput(const std::array<double, SawProcessor::kVoices>& phases, double level)
{
    double sum = 0.0;
    for (double phase : phases)
        sum += 2.0 * phase / kTwoPi - 1.0;
    return sum / SawProcessor::kVoices * level;
}

// Saw output for `frames` samples from the phases `start`, at `hz` and a level per sample.
// The phases stand still while the level is inaudible; the level here never rises again.
QVector<double> sawBlock(const std::array<double, SawProcessor::kVoices>& start, double hz,
    int frames, const std::function<double(int)>& levelAt)
{
    std::array<double, SawProcessor::kVoices> phases {};
    QVector<double> out(frames);
    for (int n = 1; n <= frames; ++n) {
        const double level = levelAt(n);
        if (level <= 0.0001)
            continue;
        for (int k = 0; k < SawProcessor::kVoices; ++k)
            phases[k] = sawPhase(start[k], hz + kSawDetune[k], n);
        out[n - 1] = sawOutput(phases, level);
    }
    return out;
}

// Level after n samples of a linear ramp from `from` to `to`.
double rampLevel(double from, double to, int n)
{
    return from < to ? std::min(from + n * kStep, to) : std::max(from - n * kStep, to);
}

// The noise generator written out from its definition.
struct XorShift {
    quint32 s = 123456789;
    double next()
    {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return double(qint32(s)) / 2147483648.0;
    }
};

} // namespace

#define COMPARE_BLOCKS(actual, expected, tolerance)                                                \
    do {                                                                                           \
        const QString mismatch = firstMismatch(actual, expected, tolerance);                       \
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));                                        \
    } while (false)

class SourcesTest : public QObject {
    Q_OBJECT

private slots:
    void schemasMatchTheirTables_data();
    void schemasMatchTheirTables();
    void charactersAreGenerators_data();
    void charactersAreGenerators();

    void silentSawFadesItsOffset_data();
    void silentSawFadesItsOffset();
    void sawNoteDrivesTheDetunedVoices_data();
    void sawNoteDrivesTheDetunedVoices();
    void sawSecondRow_data();
    void sawSecondRow();

    void noiseFollowsGateAndVolume_data();
    void noiseFollowsGateAndVolume();

    void sampleVoicesFillUp_data();
    void sampleVoicesFillUp();
    void sampleGainFromVolumeLane_data();
    void sampleGainFromVolumeLane();
    void sampleNoteOffStopsAll();
    void sampleFinishedVoicesStayTaken_data();
    void sampleFinishedVoicesStayTaken();
    void sampleWithoutDataIsSilent();

    void oscAlternatesAtFullScale_data();
    void oscAlternatesAtFullScale();
};

void SourcesTest::schemasMatchTheirTables_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("lanes");
    QTest::addColumn<int>("lane");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::addColumn<quint32>("valueType");
    QTest::addColumn<quint32>("minimum");
    QTest::addColumn<quint32>("maximum");
    QTest::addColumn<quint32>("empty");
    QTest::addColumn<quint32>("defaultValue");

    const auto row = [](const char* tag, const QString& type, int lanes, int lane,
                         const QString& name, const QString& description, ValueType valueType,
                         quint32 minimum, quint32 maximum, quint32 empty, quint32 defaultValue) {
        QTest::newRow(tag) << type << lanes << lane << name << description << quint32(valueType)
                           << minimum << maximum << empty << defaultValue;
    };
    const auto note = ValueType::MidiNote;
    const auto byte = ValueType::Byte;
    row("Saw note", "Saw", 2, 0, "Note", "Oscillator frequency", note, 0, 255, 255, 255);
    row("Saw volume", "Saw", 2, 1, "Volume", "Amplitude of signal", byte, 0, 255, 255, 128);
    row("Noise note", "Noise", 2, 0, "Note", "Trigger (any note=on, off=off)", note, 0, 253, 255,
        255);
    row("Noise volume", "Noise", 2, 1, "Volume", "Output volume", byte, 0, 254, 255, 128);
    row("Sample note", "Sample", 2, 0, "Note", "Trigger sample playback", note, 0, 255, 255, 255);
    row("Sample volume", "Sample", 2, 1, "Volume", "Playback volume", byte, 0, 255, 255, 128);
    row("Osc shape", "Osc", 3, 0, "Shape", "Oscillator wave shape", byte, 0, 3, 4, 0);
    row("Osc note", "Osc", 3, 1, "Note", "Oscillator frequency", note, 0, 255, 255, 255);
    row("Osc volume", "Osc", 3, 2, "Volume", "Amplitude of signal", byte, 0, 255, 255, 128);
}

void SourcesTest::schemasMatchTheirTables()
{
    QFETCH(QString, type);
    QFETCH(int, lanes);
    QFETCH(int, lane);
    QFETCH(QString, name);
    QFETCH(QString, description);
    QFETCH(quint32, valueType);
    QFETCH(quint32, minimum);
    QFETCH(quint32, maximum);
    QFETCH(quint32, empty);
    QFETCH(quint32, defaultValue);

    const auto schema = makeSource(type)->schema();
    QVERIFY(schema);
    QCOMPARE(schema->nodeParameters.size(), lanes);
    QVERIFY(schema->trackParameters.isEmpty());
    const auto descriptor = schema->nodeParameters.at(lane);
    QCOMPARE(descriptor->name, name);
    QCOMPARE(descriptor->description, description);
    QCOMPARE(descriptor->type, valueType);
    QCOMPARE(descriptor->minimum, minimum);
    QCOMPARE(descriptor->maximum, maximum);
    QCOMPARE(descriptor->empty, empty);
    QCOMPARE(descriptor->defaultValue, defaultValue);
    QCOMPARE(descriptor->flag, quint8(0));
}

void SourcesTest::charactersAreGenerators_data()
{
    QTest::addColumn<QString>("type");
    for (const char* type : { "Saw", "Noise", "Sample", "Osc" })
        QTest::newRow(type) << QString(type);
}

void SourcesTest::charactersAreGenerators()
{
    QFETCH(QString, type);
    const ProcessorCharacter c = makeSource(type)->character();
    QCOMPARE(c.typeID, type);
    QVERIFY(!c.takesAudioInput);
    QVERIFY(c.givesAudioOutput);
    QVERIFY(c.userCreatable);
    QVERIFY(c.userVisible);
    QVERIFY(!c.intrinsicToSong);
    QVERIFY(!c.intrinsicTrack);
}

void SourcesTest::silentSawFadesItsOffset_data()
{
    QTest::addColumn<QList<quint32>>("row");
    QTest::newRow("fresh node") << QList<quint32> {};
    QTest::newRow("empty note") << QList<quint32> { 255, 255 };
    QTest::newRow("empty note with a volume") << QList<quint32> { 255, 0x40 };
    QTest::newRow("note-off") << QList<quint32> { 254 };
}

// A fresh saw is silent at level 0.8: the level ramps to zero while every voice sits near
// phase 0, each contributing about -1.
void SourcesTest::silentSawFadesItsOffset()
{
    QFETCH(QList<quint32>, row);
    SawProcessor saw(44100);
    if (!row.isEmpty())
        deliver(saw, row, 0);

    const QVector<double> out = render(saw, 256, 9.0);

    const auto expected = sawBlock({}, 0.0, 256, [](int n) { return rampLevel(0.8, 0.0, n); });
    COMPARE_BLOCKS(out, expected, 1e-12);
    QVERIFY(std::abs(out.first() + (0.8 - kStep)) < 1e-3);
    // 0.8 / (200 / 44100) = 176.4 samples of fade.
    QCOMPARE(std::count_if(out.begin(), out.end(), [](double v) { return v != 0.0; }), 176);
}

void SourcesTest::sawNoteDrivesTheDetunedVoices_data()
{
    QTest::addColumn<quint32>("note");
    QTest::addColumn<quint32>("volumeLane");
    QTest::addColumn<float>("frequency");
    QTest::addColumn<double>("volume");
    QTest::newRow("A-4 at the start level") << 69u << 255u << 440.0f << 0.8;
    QTest::newRow("A-5 at full volume") << 81u << 255u << 880.0f << 0.8;
    QTest::newRow("A-3 quieter") << 57u << 64u << 220.0f << 64.0 / 255.0;
    QTest::newRow("C-5 in single precision")
        << 60u << 254u << 440.0f * std::pow(2.0f, -9.0f / 12.0f) << 254.0 / 255.0;
    QTest::newRow("volume zero") << 69u << 0u << 440.0f << 0.0;
}

void SourcesTest::sawNoteDrivesTheDetunedVoices()
{
    QFETCH(quint32, note);
    QFETCH(quint32, volumeLane);
    QFETCH(float, frequency);
    QFETCH(double, volume);
    SawProcessor saw(44100);
    deliver(saw, { note, volumeLane }, 1);

    const QVector<double> out = render(saw, 1024);

    const auto expected
        = sawBlock({}, frequency, 1024, [volume](int n) { return rampLevel(0.8, volume, n); });
    COMPARE_BLOCKS(out, expected, 1e-9);
}

void SourcesTest::sawSecondRow_data()
{
    QTest::addColumn<QList<quint32>>("row");
    QTest::addColumn<quint32>("serial");
    QTest::addColumn<bool>("silenced");
    QTest::newRow("note-off fades out") << QList<quint32> { 254, 255 } << 2u << true;
    QTest::newRow("empty note keeps playing") << QList<quint32> { 255, 255 } << 2u << false;
    QTest::newRow("note-off on the same serial is ignored")
        << QList<quint32> { 254, 255 } << 1u << false;
}

void SourcesTest::sawSecondRow()
{
    QFETCH(QList<quint32>, row);
    QFETCH(quint32, serial);
    QFETCH(bool, silenced);
    SawProcessor saw(44100);
    deliver(saw, { 69, 255 }, 1);
    render(saw, 512);
    deliver(saw, row, serial);

    const QVector<double> out = render(saw, 512);

    std::array<double, SawProcessor::kVoices> phases {};
    for (int k = 0; k < SawProcessor::kVoices; ++k)
        phases[k] = sawPhase(0.0, 440.0 + kSawDetune[k], 512);
    const auto expected = silenced
        ? sawBlock(phases, 0.0, 512, [](int n) { return rampLevel(0.8, 0.0, n); })
        : sawBlock(phases, 440.0, 512, [](int) { return 0.8; });
    COMPARE_BLOCKS(out, expected, 1e-9);
    QCOMPARE(out.last() == 0.0, silenced);
}

void SourcesTest::noiseFollowsGateAndVolume_data()
{
    QTest::addColumn<QList<quint32>>("row");
    QTest::addColumn<double>("target");
    QTest::addColumn<quint32>("closeSerial");
    QTest::newRow("any note opens at the start volume") << QList<quint32> { 60 } << 0.5 << 2u;
    QTest::newRow("lowest note opens") << QList<quint32> { 0, 255 } << 0.5 << 2u;
    QTest::newRow("volume 254 is full scale") << QList<quint32> { 60, 254 } << 1.0 << 2u;
    QTest::newRow("volume 100 of 254") << QList<quint32> { 60, 100 } << 100.0 / 254.0 << 2u;
    QTest::newRow("note-off stays closed") << QList<quint32> { 254, 254 } << 0.0 << 2u;
    QTest::newRow("empty note stays closed") << QList<quint32> { 255, 200 } << 0.0 << 2u;
    QTest::newRow("close on the same serial is ignored") << QList<quint32> { 60 } << 0.5 << 1u;
}

// The gate opens on the first row and a note-off on a second row closes it; both ramps run at
// 200 / 44100 per sample over the xorshift generator's signed output.
void SourcesTest::noiseFollowsGateAndVolume()
{
    QFETCH(QList<quint32>, row);
    QFETCH(double, target);
    QFETCH(quint32, closeSerial);
    NoiseProcessor noise(44100);
    XorShift generator;

    deliver(noise, row, 1);
    const QVector<double> opened = render(noise, 512, 9.0);
    QVector<double> expected(512);
    for (int n = 1; n <= 512; ++n)
        expected[n - 1] = rampLevel(0.0, target, n) * generator.next();
    COMPARE_BLOCKS(opened, expected, 1e-12);

    deliver(noise, { 254 }, closeSerial);
    const bool closes = closeSerial != 1;
    const QVector<double> closed = render(noise, 512, 9.0);
    for (int n = 1; n <= 512; ++n)
        expected[n - 1] = (closes ? rampLevel(target, 0.0, n) : target) * generator.next();
    COMPARE_BLOCKS(closed, expected, 1e-12);
    // A full unit of level is gone within 220.5 samples.
    if (closes)
        QVERIFY(std::all_of(closed.begin() + 221, closed.end(), [](double v) { return v == 0.0; }));
}

void SourcesTest::sampleVoicesFillUp_data()
{
    QTest::addColumn<int>("triggers");
    QTest::addColumn<double>("voices");
    QTest::newRow("one") << 1 << 1.0;
    QTest::newRow("nineteen") << 19 << 19.0;
    QTest::newRow("twenty") << 20 << 20.0;
    QTest::newRow("the twenty-first is ignored") << 21 << 20.0;
    QTest::newRow("thirty") << 30 << 20.0;
}

void SourcesTest::sampleVoicesFillUp()
{
    QFETCH(int, triggers);
    QFETCH(double, voices);
    SampleProcessor sample(44100);
    sample.setSampleData(QVector<float>(1000, 0.5f));
    for (int t = 0; t < triggers; ++t)
        deliver(sample, { 60, 255 }, quint32(t));

    const QVector<double> out = render(sample, 256, 9.0);

    COMPARE_BLOCKS(out, QVector<double>(256, voices * 0.5), 0.0);
}

void SourcesTest::sampleGainFromVolumeLane_data()
{
    QTest::addColumn<QList<quint32>>("row");
    QTest::addColumn<float>("gain");
    QTest::newRow("volume lane absent") << QList<quint32> { 60 } << 1.0f;
    QTest::newRow("volume lane empty") << QList<quint32> { 60, 255 } << 1.0f;
    QTest::newRow("volume zero") << QList<quint32> { 60, 0 } << 0.0f;
    QTest::newRow("volume 51") << QList<quint32> { 60, 51 } << 0.2f;
    QTest::newRow("volume 128") << QList<quint32> { 0, 128 } << float(128.0 / 255.0);
    QTest::newRow("volume 254") << QList<quint32> { 253, 254 } << float(254.0 / 255.0);
}

// One voice plays the sample from its start, scaled by the gain, and falls silent at its end.
void SourcesTest::sampleGainFromVolumeLane()
{
    QFETCH(QList<quint32>, row);
    QFETCH(float, gain);
    QVector<float> data(300);
    for (int i = 0; i < data.size(); ++i)
        data[i] = float(i) / 300.0f - 0.5f;
    SampleProcessor sample(44100);
    sample.setSampleData(data);
    deliver(sample, row, 1);

    const QVector<double> out = render(sample, 512, 9.0);

    QVector<double> expected(512);
    for (int i = 0; i < data.size(); ++i)
        expected[i] = double(data[i] * gain);
    COMPARE_BLOCKS(out, expected, 1e-7);
}

void SourcesTest::sampleNoteOffStopsAll()
{
    QVector<float> data(1000);
    for (int i = 0; i < data.size(); ++i)
        data[i] = float(i) / 1000.0f;
    SampleProcessor sample(44100);
    sample.setSampleData(data);
    for (quint32 serial : { 1u, 2u, 3u })
        deliver(sample, { 60 }, serial);
    QVector<double> expected(64);
    for (int i = 0; i < 64; ++i)
        expected[i] = 3.0 * data[i];
    COMPARE_BLOCKS(render(sample, 64), expected, 1e-7);

    deliver(sample, { 254 }, 4);
    COMPARE_BLOCKS(render(sample, 64, 9.0), QVector<double>(64, 0.0), 0.0);

    // The next trigger finds a free voice and starts from the top.
    deliver(sample, { 60 }, 5);
    for (int i = 0; i < 64; ++i)
        expected[i] = data[i];
    COMPARE_BLOCKS(render(sample, 64), expected, 1e-7);
}

void SourcesTest::sampleFinishedVoicesStayTaken_data()
{
    QTest::addColumn<int>("earlierTriggers");
    QTest::addColumn<double>("laterLevel");
    QTest::newRow("a free voice remains") << 19 << 0.5;
    QTest::newRow("every voice finished") << 20 << 0.0;
}

// Voices that ran past the end stay silent and keep their slot until a note-off.
void SourcesTest::sampleFinishedVoicesStayTaken()
{
    QFETCH(int, earlierTriggers);
    QFETCH(double, laterLevel);
    SampleProcessor sample(44100);
    sample.setSampleData(QVector<float>(100, 0.5f));
    for (int t = 0; t < earlierTriggers; ++t)
        deliver(sample, { 60 }, quint32(t));

    QVector<double> expected(256, 0.0);
    std::fill(expected.begin(), expected.begin() + 100, earlierTriggers * 0.5);
    COMPARE_BLOCKS(render(sample, 256), expected, 0.0);
    COMPARE_BLOCKS(render(sample, 256, 9.0), QVector<double>(256, 0.0), 0.0);

    deliver(sample, { 60 }, 100);
    expected.fill(0.0);
    std::fill(expected.begin(), expected.begin() + 100, laterLevel);
    COMPARE_BLOCKS(render(sample, 256), expected, 0.0);
}

void SourcesTest::sampleWithoutDataIsSilent()
{
    SampleProcessor sample(44100);
    deliver(sample, { 60 }, 1);
    COMPARE_BLOCKS(render(sample, 128, 9.0), QVector<double>(128, 0.0), 0.0);
    // A row with no lanes starts nothing.
    sample.applyRow(nullptr, 0, 2);
    sample.setSampleData(QVector<float>(128, 0.25f));
    COMPARE_BLOCKS(render(sample, 128), QVector<double>(128, 0.25), 0.0);
}

void SourcesTest::oscAlternatesAtFullScale_data()
{
    QTest::addColumn<QList<int>>("blocks");
    QTest::newRow("one block") << QList<int> { 11 };
    QTest::newRow("odd then even") << QList<int> { 5, 6 };
    QTest::newRow("single samples") << QList<int> { 1, 1, 1, 1 };
}

// No wave shape is registered, so the one voice alternates +1, -1, ... across blocks; rows do
// not reach the voices.
void SourcesTest::oscAlternatesAtFullScale()
{
    QFETCH(QList<int>, blocks);
    QVERIFY(!WaveRegistry::instance().find("sin"));
    QTest::ignoreMessage(QtDebugMsg, "OSC NODE VOICE");
    OscProcessor osc(44100);
    deliver(osc, { 1, 60, 200 }, 1);

    int n = 0;
    for (int frames : blocks) {
        QVector<double> expected(frames);
        for (double& v : expected)
            v = n++ % 2 == 0 ? 1.0 : -1.0;
        COMPARE_BLOCKS(render(osc, frames, 9.0), expected, 0.0);
    }
}

QTEST_GUILESS_MAIN(SourcesTest)
#include "tst_sources.moc"
