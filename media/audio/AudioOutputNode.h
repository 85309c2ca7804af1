#pragma once

#include "media/audio/DeviceNode.h"
#include "media/audio/StreamReports.h"

#include <QAudioSink>
#include <QIODevice>
#include <QSharedPointer>

#include <vector>

namespace media::audio {

// Plays the engine's blocks on one output device. The engine writes converted samples
// into the ring with process(); the sink pulls them on the node's I/O thread.
class AudioOutputNode final : public DeviceNode {
    Q_OBJECT

public:
    class FeedDevice;

    AudioOutputNode();
    ~AudioOutputNode() override;

    // Engine thread: interleaves the block (mono goes to every channel) and queues it.
    void process(AudioContext& context) override;

    // Applied now and to every sink made later.
    void setVolume(float volume);
    // Any thread: while set, the engine means to send nothing, and a dry ring is silence
    // rather than an underrun.
    void setSilenceIntended(bool intended) { m_silenceIntended.store(intended); }
    quint64 droppedSamples() const { return m_droppedSamples.load(); }

public slots:
    void rebuildSink();

private:
    bool isConfigured() const override;
    void createAdapter() override;
    void openAdapter() override;
    void closeAdapter() override;
    void releaseAdapter() override;
    void createStream(quint64 bufferFrames) override;
    QAudio::State platformState() const override;
    QAudio::Error platformError() const override;
    void startStream() override;
    void stopStream() override;
    void releaseStream() override;
    QList<QAudioDevice> hostDevices() const override;
    QAudioDevice findHostDevice(const QString& description) const override;
    void queueRebuild() override;
    void connectDeviceHook() override;
    void beforeTick(qint64 nowMs) override;

    // Declared before the feed, which holds on to it, so it outlives the feed.
    std::atomic<bool> m_silenceIntended { false };
    QSharedPointer<QAudioSink> m_sink;
    float m_volume = 1.0f;
    QSharedPointer<FeedDevice> m_feed;
    std::atomic<quint64> m_droppedSamples { 0 };
    UnderrunReport m_underrunReport;
    // Interleaving space for process(), grown only when a larger block arrives.
    std::vector<float> m_interleaved;
};

// What the sink pulls from: whole frames from the ring in the wire format, silence where
// the ring ran dry, counted as an underrun unless the silence is intended. Never allocates.
class AudioOutputNode::FeedDevice final : public QIODevice {
public:
    FeedDevice(AudioRing& ring, StreamCounters& counters, const std::atomic<bool>& silenceIntended,
        QAudioFormat::SampleFormat format, quint64 channelCount);

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    AudioRing& m_ring;
    StreamCounters& m_counters;
    const std::atomic<bool>& m_silenceIntended;
    const QAudioFormat::SampleFormat m_format;
    const quint64 m_channelCount;
};

} // namespace media::audio
