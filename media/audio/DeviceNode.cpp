#include "media/audio/DeviceNode.h"

#include "media/Logging.h"
#include "media/devices/DeviceManager.h"

#include <QDebug>

#include <algorithm>

namespace media::audio {

namespace {
constexpr unsigned long kThreadStopWaitMs = 5000;
}

DeviceNode::DeviceNode(const DeviceTexts& texts, const ProcessorCharacter& character)
    : m_texts(texts)
    , m_ioThread(std::make_unique<QThread>())
    , m_character(character)
{
    m_ioThread->setObjectName(QString::fromLatin1(texts.threadName));
    m_ioThread->start(QThread::TimeCriticalPriority);
    moveToThread(m_ioThread.get());
    m_clock.start();
}

DeviceNode::~DeviceNode()
{
    // A subclass that forgot shutdown() would leave its stream running on a live thread.
    Q_ASSERT(!m_ioThread);
}

void DeviceNode::shutdown()
{
    if (!m_ioThread)
        return;
    onIoThread([this] {
        stopHere();
        releaseStream();
        releaseAdapter();
    });
    QThread* thread = m_ioThread.release();
    thread->quit();
    if (QThread::currentThread() == thread) {
        // Destroyed on its own thread: the thread object goes once its loop has ended.
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        return;
    }
    thread->wait(kThreadStopWaitMs);
    delete thread;
}

void DeviceNode::configure(
    const QAudioDevice& device, const QAudioFormat& format, quint64 ringFrames)
{
    // The manager reads the host's lists on the main thread; the node looks devices up there.
    devices::DeviceManager::instance().initializeAudio();
    onIoThread([&] { configureHere(device, format, ringFrames); });
}

bool DeviceNode::start()
{
    return onIoThread([this] { return startHere(); });
}

void DeviceNode::stop()
{
    onIoThread([this] { stopHere(); });
}

QAudioDevice DeviceNode::currentDevice()
{
    return onIoThread([this] { return m_device; });
}

void DeviceNode::configureHere(
    const QAudioDevice& device, const QAudioFormat& format, quint64 ringFrames)
{
    stopHere();
    m_device = device;
    m_format = format;
    m_ringFrames = ringFrames;

    const QAudioFormat::SampleFormat sampleFormat = format.sampleFormat();
    if (sampleFormat != QAudioFormat::Float && sampleFormat != QAudioFormat::Int16)
        qCWarning(lcMedia).noquote() << m_texts.wireFormat << sampleFormat;

    const int channels = format.channelCount();
    if (channels < 1 || channels > kMaxChannels) {
        qCWarning(lcMedia).noquote()
            << m_texts.implausibleChannelCount << channels << "from format" << format << "on device"
            << device.description() << "— clamping to 1. Likely uninitialised QAudioFormat;"
            << "investigate the device-lookup path.";
    }
    m_channelCount = quint64(std::clamp(channels, 1, kMaxChannels));

    const int rate = format.sampleRate();
    if (rate < 1 || rate > kMaxSampleRate) {
        qCWarning(lcMedia).noquote()
            << m_texts.implausibleSampleRate << rate << "from format" << format << "on device"
            << device.description() << m_texts.rateBailOut;
        return;
    }

    m_ring.setCapacity(channelCount() * ringFrames);
    createAdapter();
    // The first stream gets at least 1024 frames of platform buffer; rebuilt ones do not.
    createStream(std::max<quint64>(ringFrames / 4, 1024));
    m_deviceDescription = device.description();
    m_deviceId = device.id();
    m_deviceLost = false;
    if (!m_deviceManagerHooked) {
        // The node is the context, so the hook runs on this thread and ends with the node.
        connectDeviceHook();
        m_deviceManagerHooked = true;
    }
}

bool DeviceNode::startHere()
{
    if (!isConfigured()) {
        qCWarning(lcMedia).noquote() << m_texts.notConfigured;
        return false;
    }
    if (!m_clock.isValid())
        m_clock.start();
    if (!m_watchdog && !m_device.isNull()) {
        m_watchdog = std::make_unique<LiveWatchdog>(QString::fromLatin1(m_texts.watchdogName),
            kWatchdogPeriodMs, [this] { watchdogTick(); });
        m_watchdog->start();
    }
    if (platformState() == QAudio::ActiveState)
        return true;
    openAdapter();
    m_liveness.markStartIntent(nowMs());
    m_stopRequested = false;
    startStream();
    return platformState() != QAudio::StoppedState;
}

void DeviceNode::stopHere()
{
    m_stopRequested = true;
    if (m_watchdog) {
        m_watchdog->stop();
        m_watchdog.reset();
    }
    m_liveness.clearStartIntent();
    stopStream();
    closeAdapter();
}

void DeviceNode::handleStreamState(QAudio::State newState)
{
    const auto previous = QAudio::State(m_streamState.exchange(newState));
    const QAudio::Error error = platformError();
    emit deviceStateChanged(newState, error);

    if (previous == QAudio::ActiveState && newState != QAudio::ActiveState && !m_stopRequested) {
        m_liveness.markStartIntent(nowMs());
        // Idle only means the stream ran dry; the watchdog decides if it stays that way.
        if (newState == QAudio::IdleState)
            return;
        qCWarning(lcMedia).noquote()
            << QString::fromUtf8(m_texts.stateDropped).arg(int(newState)).arg(int(error));
        queueRebuild();
        return;
    }
    const StateReport report = m_liveness.stateChanged(error, nowMs());
    if (report.gaveUp)
        emit watchdogGaveUp();
    if (report.rebuild)
        queueRebuild();
}

QAudioDevice DeviceNode::lookupDevice() const
{
    if (m_deviceId.isEmpty())
        return findHostDevice(m_deviceDescription);
    const QList<QAudioDevice> devices = hostDevices();
    const auto found = std::find_if(devices.cbegin(), devices.cend(),
        [this](const QAudioDevice& device) { return device.id() == m_deviceId; });
    return found == devices.cend() ? QAudioDevice() : *found;
}

void DeviceNode::rebuildStream()
{
    if (m_deviceDescription.isEmpty() && m_deviceId.isEmpty() && m_device.isNull())
        return;
    m_stopRequested = true;
    const QString name
        = m_deviceDescription.isEmpty() ? m_device.description() : m_deviceDescription;
    const QAudioDevice found = lookupDevice();
    if (found.isNull()) {
        // Said before the old stream goes: Qt's sink can hold this thread for a long while
        // once the server has killed its stream, and the loss must show at once.
        if (!m_deviceLost.exchange(true)) {
            qCWarning(lcMedia).noquote() << m_texts.devicePrefix << name
                                         << "is no longer present on the host. Pausing rebuild;"
                                         << "will resume when the device reappears.";
            emit deviceRebuilt(m_liveness.rebuildCount());
        }
    }
    // Even the stream of a vanished device is stopped and released here, on its own thread:
    // Qt's PulseAudio stream crashes when released elsewhere while its timer lives on here.
    releaseStream();
    if (found.isNull()) {
        m_device = QAudioDevice();
        return;
    }
    m_device = found;
    m_deviceLost = false;
    createStream(m_ringFrames / 4);
    openAdapter();
    // A rebuild is a start: if the new stream never becomes active, the watchdog retries.
    m_liveness.markStartIntent(nowMs());
    startStream();
    m_stopRequested = false;
    emit deviceRebuilt(m_liveness.rebuildCount());
}

void DeviceNode::onDevicesChanged()
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, &DeviceNode::onDevicesChanged, Qt::QueuedConnection);
        return;
    }
    if (m_deviceDescription.isEmpty() && m_deviceId.isEmpty())
        return;
    const QAudioDevice found = lookupDevice();
    if (!m_deviceLost) {
        // The server moves the streams of a removed device to another one, where they play
        // on without a stall or an error; only the host's list shows that the device left.
        if (found.isNull() && !m_stopRequested)
            queueRebuild();
        return;
    }
    if (found.isNull())
        return;
    qCInfo(lcMedia).noquote() << m_texts.devicePrefix << m_deviceDescription
                              << "is back on the host — attempting rebuild";
    m_device = found;
    m_deviceLost = false;
    queueRebuild();
}

void DeviceNode::watchdogTick()
{
    const bool active = m_streamState.load() == QAudio::ActiveState;
    const quint64 samples = m_counters.sampleCounter.load();
    const qint64 now = nowMs();
    beforeTick(now);

    const TickReport report = m_liveness.tick(active, samples, now);
    if (report.health == TickReport::Health::BecameUnhealthy)
        emit audioUnhealthy(QString::fromLatin1(DeviceLiveness::kPostGiveUpTimeout));
    else if (report.health == TickReport::Health::BecameHealthy)
        emit audioHealthy();
    if (report.gaveUp)
        emit watchdogGaveUp();
    if (report.recovered) {
        qCInfo(lcMedia).noquote() << QString::fromUtf8(m_texts.recovered)
                                         .arg(report.recoveredFrom)
                                         .arg(report.recoveredTo);
        emit deviceRebuilt(0);
    }
    if (!report.rebuild)
        return;
    if (report.gaveUp)
        qCInfo(lcMedia).noquote() << QString::fromUtf8(m_texts.retry).arg(report.rebuildCount);
    else
        qCWarning(lcMedia).noquote()
            << QString::fromUtf8(m_texts.stalled).arg(report.stallMs).arg(report.rebuildCount);
    queueRebuild();
}

} // namespace media::audio
