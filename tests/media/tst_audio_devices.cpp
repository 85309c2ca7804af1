#include "PulseControl.h"
#include "media/audio/AudioInputNode.h"
#include "media/audio/AudioOutputNode.h"
#include "media/devices/DeviceManager.h"

#include <QMediaDevices>
#include <QTimer>
#include <QtTest>

#include <cmath>
#include <memory>
#include <vector>

using namespace media::audio;
using media::devices::DeviceManager;

namespace {

constexpr int kRate = 44100;
constexpr double kToneLevel = 0.5;
constexpr size_t kWindow = 4410; // 0.1 s: exactly 44 cycles of the 440 Hz tone
const QByteArray kSinkId("zarn_null");

// Waits up to 5 s for the host's list to show a device; null when it never does.
QAudioDevice waitForDevice(QList<QAudioDevice> (*list)(), const QByteArray& id)
{
    QElapsedTimer clock;
    for (clock.start(); clock.elapsed() < 5000; QTest::qWait(10))
        for (const QAudioDevice& device : list())
            if (device.id() == id)
                return device;
    return {};
}

QAudioFormat int16(int rate = kRate, int channels = 2)
{
    QAudioFormat format;
    format.setSampleRate(rate);
    format.setChannelCount(channels);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

// Hands the node one mono block, as the player and the scope do.
void processMono(DeviceNode& node, std::vector<double>& block)
{
    AudioContext context;
    context.frames = block.size();
    context.data = block.data();
    node.process(context);
}

// Amplitude of one frequency in a stretch of samples.
double goertzel(const float* samples, double hz)
{
    const double coefficient = 2.0 * std::cos(2.0 * M_PI * hz / kRate);
    double s1 = 0.0, s2 = 0.0;
    for (size_t i = 0; i < kWindow; ++i) {
        const double s = samples[i] + coefficient * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return 2.0 * std::sqrt(std::max(s1 * s1 + s2 * s2 - coefficient * s1 * s2, 0.0)) / kWindow;
}

// Plays the tone the way the player does: one mono block whenever the ring has room.
struct ToneFeeder {
    explicit ToneFeeder(AudioOutputNode& node)
    {
        QObject::connect(&timer, &QTimer::timeout, [this, &node] {
            while (node.ring().freeSpace() >= block.size() * node.channelCount()) {
                for (double& sample : block) {
                    sample = kToneLevel * std::sin(phase);
                    phase = std::fmod(phase + 2.0 * M_PI * 440.0 / kRate, 2.0 * M_PI);
                }
                processMono(node, block);
            }
        });
        timer.start(5);
    }
    std::vector<double> block = std::vector<double>(1024);
    double phase = 0.0;
    QTimer timer;
};

} // namespace

class AudioDevicesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void managerFindsAndFollowsDevices();
    void configureChecksTheFormat_data();
    void configureChecksTheFormat();
    void playsAndRecordsTheTone();
    void lostDeviceWaitsForTheHook();

private:
    QAudioDevice m_sink, m_record;
};

void AudioDevicesTest::initTestCase()
{
    if (!pulse::serverAnswers())
        QSKIP("No PulseAudio server answers `pactl info`; start one (scripts/test does).");
    // The script's null sink, and a source fed by its monitor (monitors are not inputs here).
    m_sink = waitForDevice(&QMediaDevices::audioOutputs, kSinkId);
    m_record = waitForDevice(&QMediaDevices::audioInputs, "zarn_record");
    if (m_sink.isNull() || m_record.isNull())
        QSKIP("The server lacks zarn_null or zarn_record; start it as scripts/test does.");
}

void AudioDevicesTest::managerFindsAndFollowsDevices()
{
    DeviceManager& manager = DeviceManager::instance();
    const QString hex = DeviceManager::hexId(m_sink);
    QCOMPARE(hex, QString::fromLatin1(kSinkId.toHex()));
    // By id, by description, by a description that drifted a little; never an input.
    for (const QString& text : { hex, m_sink.description(), m_sink.description() + " 2" })
        QCOMPARE(manager.findAudioOutput(text).id(), kSinkId);
    QVERIFY(manager.findAudioOutput(QStringLiteral("no such device at all, really")).isNull());
    QVERIFY(manager.findAudioOutput(QString()).isNull());
    const QString recordHex = DeviceManager::hexId(m_record);
    QCOMPARE(manager.findAudioInput(recordHex).id(), m_record.id());
    QVERIFY(manager.findAudioOutput(recordHex).isNull());
    QList<QByteArray> order;
    QObject receiver;
    connect(&manager, &DeviceManager::audioOutputsChanged, &receiver, [&] { order += "outputs"; });
    connect(&manager, &DeviceManager::devicesChanged, &receiver, [&] { order += "devices"; });
    const auto alike = [&] {
        int count = 0;
        for (const QAudioDevice& device : manager.audioOutputs())
            count += device.description() == m_sink.description() ? 1 : 0;
        return count;
    };
    // Without a description of its own the twin is described like the first null sink.
    pulse::Module twin("module-null-sink sink_name=zarn_twin");
    QVERIFY(!twin.index.isEmpty());
    QTRY_VERIFY(!order.isEmpty());
    QTest::qWait(300); // a second notice for the same change must not follow
    QCOMPARE(order, QList<QByteArray>({ "outputs", "devices" }));
    QCOMPARE(alike(), 2);
    // An exact id wins over an equal description.
    const QString twinHex = QString::fromLatin1(QByteArray("zarn_twin").toHex());
    QCOMPARE(manager.findAudioOutput(twinHex).id(), QByteArray("zarn_twin"));
    QCOMPARE(manager.findAudioOutput(hex).id(), kSinkId);
    QVERIFY(twin.unload());
    QTRY_VERIFY(order.size() >= 3);
    QTest::qWait(300);
    // Qt lists no monitors, so the inputs did not change: one notice of each again.
    QCOMPARE(order, QList<QByteArray>({ "outputs", "devices", "outputs", "devices" }));
    QCOMPARE(alike(), 1);
    QVERIFY(manager.findAudioOutput(twinHex).isNull());
}

void AudioDevicesTest::configureChecksTheFormat_data()
{
    QTest::addColumn<bool>("output");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("rate");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<quint64>("usedChannels");
    // A bad channel count is clamped; a bad rate opens no stream at all.
    const QString clamped = " — clamping to 1\\.";
    QTest::newRow("no channels") << true << 0 << kRate << "channelCount 0.*" + clamped << 1ull;
    QTest::newRow("40 channels") << true << 40 << kRate << "channelCount 40.*" + clamped << 32ull;
    QTest::newRow("rate 500000") << true << 2 << 500000
                                 << "sampleRate 500000.* — bailing out without opening a sink\\."
                                 << 2ull;
    QTest::newRow("input, rate 0")
        << false << 2 << 0 << "sampleRate 0.* — bailing out without opening a source\\." << 2ull;
}

void AudioDevicesTest::configureChecksTheFormat()
{
    QFETCH(bool, output);
    QFETCH(int, channels);
    QFETCH(int, rate);
    QFETCH(QString, warning);
    QFETCH(quint64, usedChannels);
    AudioOutputNode out;
    AudioInputNode in;
    DeviceNode* node = output ? static_cast<DeviceNode*>(&out) : &in;
    const QString name = output ? "AudioOutputNode" : "AudioInputNode";
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^" + name + ": implausible " + warning));
    node->configure(output ? m_sink : m_record, int16(rate, channels));
    QCOMPARE(node->channelCount(), usedChannels);
    if (rate == kRate)
        return;
    QTest::ignoreMessage(QtWarningMsg, qPrintable(name + "::start: not configured"));
    QVERIFY(!node->start());
}

void AudioDevicesTest::playsAndRecordsTheTone()
{
    AudioOutputNode output;
    output.configure(m_sink, int16());
    QVERIFY(output.start());
    ToneFeeder feeder(output);
    // The null sink may take a couple of seconds to start consuming a new stream.
    QTRY_VERIFY_WITH_TIMEOUT(output.sampleCount() > quint64(kRate), 8000);
    // Recorded through an input node, drained every 50 ms through process() as the scope does.
    AudioInputNode input;
    input.configure(m_record, int16());
    QVERIFY(input.start());
    std::vector<float> recorded;
    std::vector<double> block;
    QTimer drain;
    QObject::connect(&drain, &QTimer::timeout, [&] {
        block.assign(input.ring().available() / input.channelCount(), 0.0);
        processMono(input, block);
        recorded.insert(recorded.end(), block.begin(), block.end());
    });
    drain.start(50);
    QTest::qWait(2500);
    drain.stop();
    input.stop();
    output.stop();
    QCOMPARE(output.streamState(), QAudio::StoppedState);
    QVERIFY(input.sampleCount() >= quint64(kRate));
    QCOMPARE(input.overflowTotal(), quint64(0));
    // The tone at its level in each of the last five windows, and no 1 kHz leak.
    QVERIFY(recorded.size() >= 5 * kWindow);
    for (size_t w = 1; w <= 5; ++w) {
        const float* start = recorded.data() + recorded.size() - kWindow * w;
        const double level = goertzel(start, 440.0);
        QVERIFY2(std::abs(level - kToneLevel) < 0.05, qPrintable(QString::number(level)));
        QVERIFY2(goertzel(start, 1000.0) < 0.01, qPrintable(QString::number(w)));
    }
}

void AudioDevicesTest::lostDeviceWaitsForTheHook()
{
    const QString load = "module-null-sink sink_name=zarn_lost rate=44100 channels=2 "
                         "sink_properties=device.description=ZarnLost";
    auto module = std::make_unique<pulse::Module>(load);
    const QAudioDevice sink = waitForDevice(&QMediaDevices::audioOutputs, "zarn_lost");
    QVERIFY(!sink.isNull());
    AudioOutputNode node;
    node.configure(sink, int16());
    QVERIFY(node.start());
    ToneFeeder feeder(node);
    QTRY_VERIFY_WITH_TIMEOUT(node.sampleCount() > quint64(kRate), 8000);
    // Counted from here, as a slow start may have rebuilt once; the loss is announced once.
    int rebuilt = 0;
    QObject receiver;
    connect(&node, &AudioOutputNode::deviceRebuilt, &receiver, [&rebuilt] { ++rebuilt; });
    QTest::ignoreMessage(QtWarningMsg,
        "AudioOutputNode: device ZarnLost is no longer present on the host. Pausing rebuild; "
        "will resume when the device reappears.");
    QVERIFY(module->unload());
    // The server moves the stream to zarn_null, where it plays on without a stall or an
    // error: only the host's list, read every second, tells of the loss.
    QTRY_VERIFY_WITH_TIMEOUT(node.isDeviceLost(), 5000);
    QVERIFY(node.currentDevice().isNull());
    QTRY_COMPARE_WITH_TIMEOUT(rebuilt, 1, 1000);
    // Nothing of the node plays on the device the server chose instead.
    QTRY_COMPARE_WITH_TIMEOUT(pulse::pactl({ "list", "short", "sink-inputs" }), QString(), 2000);
    const qint32 attempts = node.rebuildCount();
    QTRY_VERIFY_WITH_TIMEOUT(node.rebuildCount() > attempts, 5000);
    QCOMPARE(rebuilt, 1);
    // Back on the host: the next watchdog attempt is 3 s away, so the hook is first.
    module = std::make_unique<pulse::Module>(load);
    QVERIFY(!waitForDevice(&QMediaDevices::audioOutputs, "zarn_lost").isNull());
    QTest::ignoreMessage(
        QtInfoMsg, "AudioOutputNode: device ZarnLost is back on the host — attempting rebuild");
    node.onDevicesChanged();
    QTRY_COMPARE_WITH_TIMEOUT(rebuilt, 2, 2000);
    QVERIFY(!node.isDeviceLost());
    QCOMPARE(node.currentDevice().id(), QByteArray("zarn_lost"));
    QTRY_COMPARE_WITH_TIMEOUT(node.streamState(), QAudio::ActiveState, 3000);
    const quint64 resumedAt = node.sampleCount();
    QTRY_VERIFY_WITH_TIMEOUT(node.sampleCount() > resumedAt + kRate, 8000);
    // Played on the device itself, not on the one the server would choose.
    const QString sinks = pulse::pactl({ "list", "short", "sinks" });
    const QString lostIndex = sinks.split(u'\n').filter("zarn_lost").value(0).section(u'\t', 0, 0);
    QVERIFY(!lostIndex.isEmpty());
    QCOMPARE(pulse::pactl({ "list", "short", "sink-inputs" }).section(u'\t', 1, 1), lostIndex);
    // A second notification changes nothing now that the device is in use.
    node.onDevicesChanged();
    QTest::qWait(500);
    node.stop();
    QCOMPARE(rebuilt, 2);
}

QTEST_GUILESS_MAIN(AudioDevicesTest)
#include "tst_audio_devices.moc"
