#include "media/audio/AudioInputNode.h"
#include "media/audio/AudioOutputNode.h"

#include "MessageLog.h"

#include <QAudioSource>
#include <QBuffer>
#include <QMediaDevices>
#include <QProcess>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

using media::audio::AudioInputNode;
using media::audio::AudioOutputNode;

namespace {

constexpr int kRate = 44100;
constexpr double kToneHz = 440.0;
constexpr double kToneLevel = 0.5;
constexpr quint64 kBlockFrames = 1024;
// 0.1 s: exactly 44 cycles of the tone.
constexpr size_t kWindow = 4410;
const QString kNullSink = QStringLiteral("zarn_null");

QString pactl(const QStringList& arguments, bool* ok = nullptr)
{
    QProcess process;
    process.start("pactl", arguments);
    const bool done = process.waitForFinished(5000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
    if (ok)
        *ok = done;
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

// A module loaded into the server for one test, unloaded when it goes out of scope.
class PulseModule {
public:
    explicit PulseModule(const QStringList& arguments)
    {
        bool ok = false;
        const QString index = pactl(QStringList { "load-module" } + arguments, &ok);
        if (ok)
            m_index = index;
    }
    ~PulseModule() { unload(); }
    PulseModule(const PulseModule&) = delete;
    PulseModule& operator=(const PulseModule&) = delete;

    bool isLoaded() const { return !m_index.isEmpty(); }
    bool unload()
    {
        bool ok = false;
        if (isLoaded())
            pactl({ "unload-module", m_index }, &ok);
        m_index.clear();
        return ok;
    }

private:
    QString m_index;
};

// The platform does not list monitors as inputs, so recordings go through a remapped
// source that is an ordinary input on top of the sink's monitor.
std::unique_ptr<PulseModule> recordingSourceFor(const QString& sink)
{
    return std::make_unique<PulseModule>(QStringList { "module-remap-source",
        "master=" + sink + ".monitor", "source_name=" + sink + "_rec",
        "source_properties=device.description=" + sink + "_rec" });
}

QAudioDevice findDevice(const QList<QAudioDevice>& devices, const QString& id)
{
    for (const QAudioDevice& device : devices) {
        if (device.id() == id.toUtf8())
            return device;
    }
    return {};
}

// Waits up to 5 s for the host's list to show a device; null when it never does.
QAudioDevice waitForDevice(QList<QAudioDevice> (*list)(), const QString& id)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 5000) {
        const QAudioDevice device = findDevice(list(), id);
        if (!device.isNull())
            return device;
        QTest::qWait(10);
    }
    return {};
}

QAudioFormat stereo(QAudioFormat::SampleFormat sampleFormat, int rate = kRate, int channels = 2)
{
    QAudioFormat format;
    format.setSampleRate(rate);
    format.setChannelCount(channels);
    format.setSampleFormat(sampleFormat);
    return format;
}

// Amplitude of one frequency in a stretch of samples.
double goertzel(const float* samples, size_t count, double hz)
{
    const double coefficient = 2.0 * std::cos(2.0 * M_PI * hz / kRate);
    double s1 = 0.0;
    double s2 = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double s = samples[i] + coefficient * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / double(count);
}

// Plays the tone the way the player does: one mono block whenever the ring has room.
class ToneFeeder {
public:
    explicit ToneFeeder(AudioOutputNode& node)
        : m_node(node)
        , m_block(kBlockFrames)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { feed(); });
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.start(5);
    }

private:
    void feed()
    {
        while (m_node.ring().freeSpace() >= kBlockFrames * m_node.channelCount()) {
            for (double& sample : m_block) {
                sample = kToneLevel * std::sin(m_phase);
                m_phase = std::fmod(m_phase + 2.0 * M_PI * kToneHz / kRate, 2.0 * M_PI);
            }
            AudioContext context;
            context.frames = kBlockFrames;
            context.channels = 1;
            context.data = m_block.data();
            m_node.process(context);
        }
    }

    AudioOutputNode& m_node;
    std::vector<double> m_block;
    double m_phase = 0.0;
    QTimer m_timer;
};

// Records channel 0 of a device, the tone's monitor, as floats.
class MonitorRecorder {
public:
    explicit MonitorRecorder(const QAudioDevice& device)
        : m_source(device, stereo(QAudioFormat::Float))
    {
        m_buffer.open(QIODevice::WriteOnly);
        m_source.start(&m_buffer);
    }
    ~MonitorRecorder() { m_source.stop(); }

    std::vector<float> channel0()
    {
        m_source.stop();
        const QByteArray& bytes = m_buffer.data();
        std::vector<float> out(size_t(bytes.size()) / 8);
        for (size_t i = 0; i < out.size(); ++i)
            std::memcpy(&out[i], bytes.constData() + i * 8, 4);
        return out;
    }

private:
    QBuffer m_buffer;
    QAudioSource m_source;
};

// The weakest tone level among the last windows, and the strongest 1 kHz leak.
struct ToneCheck {
    double weakest = 1e9;
    double median = 0.0;
    double leak = 0.0;
};

ToneCheck checkTone(const std::vector<float>& samples, int windows)
{
    ToneCheck check;
    if (samples.size() < kWindow * size_t(windows))
        return { 0.0, 1.0 };
    std::vector<double> levels;
    for (int w = 1; w <= windows; ++w) {
        const float* start = samples.data() + samples.size() - kWindow * size_t(w);
        levels.push_back(goertzel(start, kWindow, kToneHz));
        check.leak = std::max(check.leak, goertzel(start, kWindow, 1000.0));
    }
    std::sort(levels.begin(), levels.end());
    check.weakest = levels.front();
    check.median = levels[levels.size() / 2];
    return check;
}

} // namespace

class AudioDevicesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void configureChecksTheFormat_data();
    void configureChecksTheFormat();
    void processInterleavesBlocks_data();
    void processInterleavesBlocks();
    void inputProcessFillsChannels_data();
    void inputProcessFillsChannels();
    void outputPlaysTheTone();
    void lostDeviceWaitsForTheHook();
    void inputNodeRecordsTheMonitor();

private:
    QAudioDevice m_sink;
    QAudioDevice m_monitor;
    std::unique_ptr<PulseModule> m_recording;
};

void AudioDevicesTest::initTestCase()
{
    bool ok = false;
    pactl({ "info" }, &ok);
    if (!ok)
        QSKIP("No PulseAudio server answers `pactl info`; start one (scripts/test does).");
    m_sink = findDevice(QMediaDevices::audioOutputs(), kNullSink);
    if (m_sink.isNull())
        QSKIP("The server has no zarn_null sink; start it as scripts/test does.");
    m_recording = recordingSourceFor(kNullSink);
    QVERIFY(m_recording->isLoaded());
    m_monitor = waitForDevice(&QMediaDevices::audioInputs, kNullSink + "_rec");
    QVERIFY(!m_monitor.isNull());
}

void AudioDevicesTest::cleanupTestCase()
{
    m_recording.reset();
}

void AudioDevicesTest::configureChecksTheFormat_data()
{
    QTest::addColumn<bool>("output");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("rate");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<quint64>("usedChannels");
    QTest::addColumn<bool>("configured");
    const QString clamp = " from format .* on device .* — clamping to 1\\. Likely uninitialised "
                          "QAudioFormat; investigate the device-lookup path\\.$";
    QTest::newRow("no channels") << true << 0 << kRate
                                 << "^AudioOutputNode: implausible channelCount 0" + clamp
                                 << quint64(1) << true;
    QTest::newRow("40 channels") << true << 40 << kRate
                                 << "^AudioOutputNode: implausible channelCount 40" + clamp
                                 << quint64(32) << true;
    QTest::newRow("input, no channels")
        << false << 0 << kRate << "^AudioInputNode: implausible channelCount 0" + clamp
        << quint64(1) << true;
    QTest::newRow("rate 0") << true << 2 << 0
                            << "^AudioOutputNode: implausible sampleRate 0 from format .* on "
                               "device .* — bailing out without opening a sink\\.$"
                            << quint64(2) << false;
    QTest::newRow("rate 500000") << true << 2 << 500000
                                 << "^AudioOutputNode: implausible sampleRate 500000 from format "
                                    ".* — bailing out without opening a sink\\.$"
                                 << quint64(2) << false;
    QTest::newRow("input, rate 0") << false << 2 << 0
                                   << "^AudioInputNode: implausible sampleRate 0 from format .* "
                                      "— bailing out without opening a source\\.$"
                                   << quint64(2) << false;
}

void AudioDevicesTest::configureChecksTheFormat()
{
    QFETCH(bool, output);
    QFETCH(int, channels);
    QFETCH(int, rate);
    QFETCH(QString, warning);
    QFETCH(quint64, usedChannels);
    QFETCH(bool, configured);
    std::unique_ptr<media::audio::DeviceNode> node;
    if (output)
        node = std::make_unique<AudioOutputNode>();
    else
        node = std::make_unique<AudioInputNode>();
    const QAudioDevice device = output ? m_sink : m_monitor;

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
    node->configure(device, stereo(QAudioFormat::Int16, rate, channels));
    QCOMPARE(node->channelCount(), usedChannels);
    if (configured)
        return;
    // No sink or source was made, so there is nothing to start.
    QTest::ignoreMessage(QtWarningMsg,
        output ? "AudioOutputNode::start: not configured"
               : "AudioInputNode::start: not configured");
    QVERIFY(!node->start());
}

void AudioDevicesTest::processInterleavesBlocks_data()
{
    QTest::addColumn<int>("contextChannels");
    QTest::addColumn<int>("deviceChannels");
    QTest::addColumn<std::vector<float>>("interleaved");
    // Two frames; the context holds channel c of frame f as 10 * (c + 1) + f.
    QTest::newRow("mono to stereo") << 1 << 2 << std::vector<float> { 10, 10, 11, 11 };
    QTest::newRow("stereo to stereo") << 2 << 2 << std::vector<float> { 10, 20, 11, 21 };
    QTest::newRow("three to stereo") << 3 << 2 << std::vector<float> { 10, 20, 11, 21 };
    QTest::newRow("stereo to three") << 2 << 3 << std::vector<float> { 10, 20, 0, 11, 21, 0 };
    QTest::newRow("mono to mono") << 1 << 1 << std::vector<float> { 10, 11 };
}

void AudioDevicesTest::processInterleavesBlocks()
{
    QFETCH(int, contextChannels);
    QFETCH(int, deviceChannels);
    QFETCH(std::vector<float>, interleaved);
    AudioOutputNode node;
    // Configured but not started: nothing pulls from the ring.
    node.configure(m_sink, stereo(QAudioFormat::Float, kRate, deviceChannels));
    std::vector<double> block;
    for (int c = 0; c < contextChannels; ++c) {
        for (int f = 0; f < 2; ++f)
            block.push_back(10.0 * (c + 1) + f);
    }
    AudioContext context;
    context.frames = 2;
    context.channels = quint64(contextChannels);
    context.data = block.data();
    node.process(context);

    std::vector<float> queued(node.ring().available());
    node.ring().read(queued.data(), queued.size());
    QCOMPARE(queued, interleaved);
    QCOMPARE(node.droppedSamples(), quint64(0));
}

void AudioDevicesTest::inputProcessFillsChannels_data()
{
    QTest::addColumn<int>("contextChannels");
    QTest::addColumn<std::vector<double>>("planar");
    // Two captured frames of two channels: {1, 2}, {3, 4}.
    QTest::newRow("into four channels") << 4 << std::vector<double> { 1, 3, 2, 4, 0, 0, 0, 0 };
    QTest::newRow("into one channel") << 1 << std::vector<double> { 1, 3 };
}

void AudioDevicesTest::inputProcessFillsChannels()
{
    QFETCH(int, contextChannels);
    QFETCH(std::vector<double>, planar);
    AudioInputNode node;
    node.configure(m_monitor, stereo(QAudioFormat::Float));
    const float captured[] = { 1, 2, 3, 4 };
    node.ring().write(captured, 4);

    std::vector<double> block(size_t(2 * contextChannels), -1.0);
    AudioContext context;
    context.frames = 2;
    context.channels = quint64(contextChannels);
    context.data = block.data();
    node.process(context);
    QCOMPARE(block, planar);
    QCOMPARE(node.underrunCount(), quint64(0));

    // Nothing left: a silent block and one underrun.
    node.process(context);
    QCOMPARE(block, std::vector<double>(block.size(), 0.0));
    QCOMPARE(node.underrunCount(), quint64(1));
}

void AudioDevicesTest::outputPlaysTheTone()
{
    AudioOutputNode node;
    node.configure(m_sink, stereo(QAudioFormat::Int16));
    QVERIFY(node.start());
    ToneFeeder feeder(node);
    // Past the start-up latency and fade-in before listening.
    // The null sink may take a couple of seconds to start consuming a new stream.
    QTRY_VERIFY_WITH_TIMEOUT(node.sampleCount() > quint64(kRate), 8000);
    MonitorRecorder recorder(m_monitor);
    QTest::qWait(1500);
    const ToneCheck check = checkTone(recorder.channel0(), 5);
    node.stop();
    QVERIFY2(
        std::abs(check.weakest - kToneLevel) < 0.05, qPrintable(QString::number(check.weakest)));
    QVERIFY2(check.leak < 0.01, qPrintable(QString::number(check.leak)));
    QCOMPARE(node.streamState(), QAudio::StoppedState);
}

void AudioDevicesTest::lostDeviceWaitsForTheHook()
{
    const QString name = "zarn_lost";
    const QStringList load { "module-null-sink", "sink_name=" + name, "rate=44100", "channels=2",
        "sink_properties=device.description=ZarnLost" };
    auto module = std::make_unique<PulseModule>(load);
    QVERIFY(module->isLoaded());
    const QAudioDevice sink = waitForDevice(&QMediaDevices::audioOutputs, name);
    QVERIFY(!sink.isNull());

    const MessageLog log;
    const QString lost = "AudioOutputNode: device ZarnLost is no longer present on the host. "
                         "Pausing rebuild; will resume when the device reappears.";
    const QString back
        = "AudioOutputNode: device ZarnLost is back on the host — attempting rebuild";
    AudioOutputNode node;
    node.configure(sink, stereo(QAudioFormat::Int16));
    QVERIFY(node.start());
    ToneFeeder feeder(node);
    QTRY_VERIFY_WITH_TIMEOUT(node.sampleCount() > quint64(kRate), 8000);

    // Counted from here: a stream the server was slow to start may have been rebuilt once
    // already.
    int rebuilt = 0;
    QObject receiver;
    connect(&node, &AudioOutputNode::deviceRebuilt, &receiver, [&rebuilt] { ++rebuilt; });
    QVERIFY(module->unload());
    // The server moves the stream to zarn_null, where it plays on without a stall or an
    // error, so the loss can only come from the host's list, which the manager reads every
    // second.
    QTRY_VERIFY_WITH_TIMEOUT(node.isDeviceLost(), 5000);
    QVERIFY(node.currentDevice().isNull());
    QTRY_COMPARE_WITH_TIMEOUT(rebuilt, 1, 1000);
    // Nothing of the node plays on the device the server chose instead.
    QTRY_COMPARE_WITH_TIMEOUT(pactl({ "list", "short", "sink-inputs" }), QString(), 2000);
    // Further attempts find nothing and stay quiet.
    const qint32 attempts = node.rebuildCount();
    QTRY_VERIFY_WITH_TIMEOUT(node.rebuildCount() > attempts, 5000);
    QCOMPARE(log.count(lost), 1);
    QCOMPARE(rebuilt, 1);

    // Back on the host: the next watchdog attempt is 3 s away, so the hook is first.
    module = std::make_unique<PulseModule>(load);
    QVERIFY(module->isLoaded());
    QVERIFY(!waitForDevice(&QMediaDevices::audioOutputs, name).isNull());
    node.onDevicesChanged();
    QTRY_COMPARE_WITH_TIMEOUT(rebuilt, 2, 2000);
    QCOMPARE(log.count(back), 1);
    QVERIFY(!node.isDeviceLost());
    QCOMPARE(node.currentDevice().id(), name.toUtf8());
    QTRY_COMPARE_WITH_TIMEOUT(node.streamState(), QAudio::ActiveState, 3000);
    const quint64 resumedAt = node.sampleCount();
    QTRY_VERIFY_WITH_TIMEOUT(node.sampleCount() > resumedAt + kRate, 8000);
    // A second notification changes nothing now that the device is in use.
    node.onDevicesChanged();

    const auto recording = recordingSourceFor(name);
    const QAudioDevice monitor = waitForDevice(&QMediaDevices::audioInputs, name + "_rec");
    QVERIFY(!monitor.isNull());
    MonitorRecorder recorder(monitor);
    QTest::qWait(1500);
    const ToneCheck check = checkTone(recorder.channel0(), 5);
    node.stop();
    QVERIFY2(
        std::abs(check.weakest - kToneLevel) < 0.05, qPrintable(QString::number(check.weakest)));
    QCOMPARE(log.count(back), 1);
    QCOMPARE(log.count(lost), 1);
    QCOMPARE(rebuilt, 2);
}

void AudioDevicesTest::inputNodeRecordsTheMonitor()
{
    AudioOutputNode output;
    output.configure(m_sink, stereo(QAudioFormat::Int16));
    QVERIFY(output.start());
    ToneFeeder feeder(output);
    QTRY_VERIFY_WITH_TIMEOUT(output.sampleCount() > quint64(kRate), 8000);

    AudioInputNode input;
    input.configure(m_monitor, stereo(QAudioFormat::Int16));
    QVERIFY(input.start());
    std::vector<float> recorded;
    std::vector<double> block;
    QTimer drain;
    // Drains like the scope: every 50 ms, whatever has arrived, through process().
    connect(&drain, &QTimer::timeout, [&] {
        const quint64 frames = input.ring().available() / input.channelCount();
        if (frames == 0)
            return;
        block.assign(frames, 0.0);
        AudioContext context;
        context.frames = frames;
        context.channels = 1;
        context.data = block.data();
        input.process(context);
        recorded.insert(recorded.end(), block.begin(), block.end());
    });
    drain.start(50);
    QTest::qWait(2500);
    drain.stop();
    input.stop();
    output.stop();

    QVERIFY(input.sampleCount() >= quint64(kRate));
    QCOMPARE(input.overflowTotal(), quint64(0));
    // Two players, a recorder and a drain share a small machine here; a late block on the
    // way out would dent one window, so the level is read from the middle one.
    const ToneCheck check = checkTone(recorded, 5);
    QVERIFY2(std::abs(check.median - kToneLevel) < 0.05, qPrintable(QString::number(check.median)));
    QVERIFY2(check.leak < 0.01, qPrintable(QString::number(check.leak)));
}

QTEST_GUILESS_MAIN(AudioDevicesTest)
#include "tst_audio_devices.moc"
