#pragma once

#include "media/audio/DeviceNode.h"
#include "media/audio/StreamReports.h"

#include <QAudioSource>
#include <QIODevice>
#include <QSharedPointer>

#include <vector>

namespace media::audio {

// Captures one input device into the ring; one consumer drains it, either directly or
// through process().
class AudioInputNode final : public DeviceNode {
    Q_OBJECT

public:
    class CaptureDevice;

    AudioInputNode();
    ~AudioInputNode() override;

    // Consumer thread: fills the block from the ring, channel by channel; channels the
    // device does not have are silent.
    void process(AudioContext& context) override;

    quint64 overflowTotal() const { return m_overflow.overflowTotal.load(); }

public slots:
    void rebuildSource();

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

    QSharedPointer<QAudioSource> m_source;
    QSharedPointer<CaptureDevice> m_capture;
    OverflowReport m_overflow;
    // De-interleaving space for process(), grown only when a larger block arrives.
    std::vector<float> m_interleaved;
};

// What the source pushes into: whole frames converted to float and written to the ring;
// what does not fit is dropped and reported. Never allocates.
class AudioInputNode::CaptureDevice final : public QIODevice {
public:
    CaptureDevice(AudioRing& ring, StreamCounters& counters, OverflowReport& overflow,
        const QElapsedTimer& clock, QAudioFormat::SampleFormat format, quint64 channelCount);

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 length) override;

private:
    AudioRing& m_ring;
    StreamCounters& m_counters;
    OverflowReport& m_overflow;
    const QElapsedTimer& m_clock;
    const QAudioFormat::SampleFormat m_format;
    const quint64 m_channelCount;
};

} // namespace media::audio
