#pragma once

#include "media/audio/AudioRing.h"
#include "media/audio/DeviceLiveness.h"
#include "media/audio/LiveWatchdog.h"
#include "core/AudioNode.h"

#include <QAudio>
#include <QAudioDevice>
#include <QAudioFormat>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <atomic>
#include <memory>
#include <type_traits>

namespace media::audio {

// What a device node logs; each node names itself and its platform stream. The entries
// with %1, %2 markers take their numbers through QString::arg, which checks their types.
struct DeviceTexts {
    const char* threadName;
    const char* watchdogName;
    const char* wireFormat;
    const char* implausibleChannelCount;
    const char* implausibleSampleRate;
    const char* rateBailOut;
    const char* notConfigured;
    const char* stateDropped;
    const char* recovered;
    const char* retry;
    const char* stalled;
    const char* devicePrefix;
};

// Counters the device adapter updates on the I/O thread and the watchdog reads.
struct StreamCounters {
    // Samples the platform stream pulled or pushed, silence included.
    std::atomic<quint64> sampleCounter { 0 };
    // Transfers that came up short.
    std::atomic<quint64> underrunCount { 0 };
};

// Bytes of one sample on the wire: 16-bit integers, or 32-bit floats for anything else.
inline quint64 bytesPerSample(QAudioFormat::SampleFormat format)
{
    return format == QAudioFormat::Int16 ? 2 : 4;
}

// What the output and input nodes share: the I/O thread that owns the platform stream and
// runs every change to it, the ring, the liveness watchdog with its rebuild policy, the
// stream state handler and the device hook. Subclasses supply the platform stream.
class DeviceNode : public QObject, public AudioNode {
    Q_OBJECT

public:
    static constexpr quint64 kDefaultRingFrames = 8192;
    static constexpr int kMaxChannels = 32;
    static constexpr int kMaxSampleRate = 384000;
    static constexpr qint64 kWatchdogPeriodMs = 250;

    ~DeviceNode() override;

    // These three run on the I/O thread; callers elsewhere wait for them.
    void configure(const QAudioDevice& device, const QAudioFormat& format,
        quint64 ringFrames = kDefaultRingFrames);
    bool start();
    void stop();

    const ProcessorCharacter& character() const override { return m_character; }

    // The engine's side of the ring (producer for output, consumer for input).
    AudioRing& ring() { return m_ring; }
    quint64 channelCount() const { return m_channelCount.load(std::memory_order_relaxed); }
    quint64 sampleCount() const { return m_counters.sampleCounter.load(); }
    quint64 underrunCount() const { return m_counters.underrunCount.load(); }
    bool isDeviceLost() const { return m_deviceLost.load(); }
    qint32 rebuildCount() const { return m_liveness.rebuildCount(); }
    QAudio::State streamState() const { return QAudio::State(m_streamState.load()); }
    QAudioDevice currentDevice();

signals:
    void deviceStateChanged(QAudio::State newState, QAudio::Error error);
    void deviceRebuilt(int rebuildCountSoFar);
    void watchdogGaveUp();
    void audioUnhealthy(const QString& reason);
    void audioHealthy();

public slots:
    // Called after the host's device list changed: drops a device in use that left the host
    // and rebuilds a lost one that came back.
    void onDevicesChanged();

protected:
    DeviceNode(const DeviceTexts& texts, const ProcessorCharacter& character);

    // Subclass destructors call this while their stream members still exist.
    void shutdown();
    // The body of the subclass's rebuild slot.
    void rebuildStream();
    void handleStreamState(QAudio::State newState);
    qint64 nowMs() const { return m_clock.elapsed(); }
    const QElapsedTimer& clock() const { return m_clock; }

    template <typename Function> auto onIoThread(Function function) -> decltype(function());

    // The platform stream, all on the I/O thread.
    virtual bool isConfigured() const = 0;
    virtual void createAdapter() = 0;
    virtual void openAdapter() = 0;
    virtual void closeAdapter() = 0;
    virtual void releaseAdapter() = 0;
    // A new stream for `m_device` and `m_format`, its state wired to handleStreamState.
    virtual void createStream(quint64 bufferFrames) = 0;
    virtual QAudio::State platformState() const = 0;
    virtual QAudio::Error platformError() const = 0;
    virtual void startStream() = 0;
    virtual void stopStream() = 0;
    virtual void releaseStream() = 0;
    virtual QList<QAudioDevice> hostDevices() const = 0;
    virtual QAudioDevice findHostDevice(const QString& description) const = 0;
    virtual void queueRebuild() = 0;
    // Connects the device manager's list change of this node's direction to the hook.
    virtual void connectDeviceHook() = 0;
    // Watchdog thread, before the liveness tick.
    virtual void beforeTick(qint64) { }

    QAudioFormat m_format;
    QAudioDevice m_device;
    quint64 m_ringFrames = kDefaultRingFrames;
    AudioRing m_ring;
    StreamCounters m_counters;

private:
    void configureHere(const QAudioDevice& device, const QAudioFormat& format, quint64 ringFrames);
    bool startHere();
    void stopHere();
    QAudioDevice lookupDevice() const;
    void watchdogTick();

    const DeviceTexts& m_texts;
    std::unique_ptr<QThread> m_ioThread;
    const ProcessorCharacter m_character;
    std::atomic<quint64> m_channelCount { 1 };
    DeviceLiveness m_liveness;
    std::atomic<int> m_streamState { QAudio::ActiveState };
    QElapsedTimer m_clock;
    std::unique_ptr<LiveWatchdog> m_watchdog;
    QString m_deviceDescription;
    QByteArray m_deviceId;
    std::atomic<bool> m_deviceLost { false };
    bool m_stopRequested = false;
    bool m_deviceManagerHooked = false;
};

template <typename Function> auto DeviceNode::onIoThread(Function function) -> decltype(function())
{
    using Result = decltype(function());
    if (QThread::currentThread() == m_ioThread.get())
        return function();
    if constexpr (std::is_void_v<Result>) {
        QMetaObject::invokeMethod(this, function, Qt::BlockingQueuedConnection);
    } else {
        Result result {};
        QMetaObject::invokeMethod(
            this, [&] { result = function(); }, Qt::BlockingQueuedConnection);
        return result;
    }
}

} // namespace media::audio
