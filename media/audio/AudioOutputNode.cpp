#include "media/audio/AudioOutputNode.h"

#include "media/devices/DeviceManager.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace media::audio {

namespace {

const DeviceTexts kTexts {
    "audio-io-out",
    "audio-livewd-out",
    "AudioOutputNode: wire format must be Float or Int16, got",
    "AudioOutputNode: implausible channelCount",
    "AudioOutputNode: implausible sampleRate",
    "— bailing out without opening a sink.",
    "AudioOutputNode::start: not configured",
    "AudioOutputNode: state dropped from ActiveState to %1 (Qt err=%2) without stop() — "
    "assuming device failure; re-marking start intent + queuing rebuildSink probe.",
    "AudioOutputNode: stream recovered on its own after watchdog gave up (bytes %1 -> "
    "%2). Resetting watchdog with 30 s post-recovery lockout.",
    "AudioOutputNode: post-give-up retry — attempting QAudioSink rebuild (cumulative "
    "rebuild #%1)",
    "AudioOutputNode: stream stalled silently (no Qt error, sample counter frozen ≥ %1ms) — "
    "rebuilding QAudioSink (rebuild #%2)",
    "AudioOutputNode: device",
};

// Conversion happens through this much stack space at a time.
constexpr quint64 kChunkSamples = 512;
constexpr double kInt16Scale = 32767.0;
// Qt's PulseAudio sink moves audio in 20 ms periods and never starts the stream when the
// server grants less than two of them, so the sink buffer has this floor.
constexpr quint64 kMinSinkFrames = 4096;

void encode(const float* samples, quint64 count, QAudioFormat::SampleFormat format, char* out)
{
    if (format != QAudioFormat::Int16) {
        std::memcpy(out, samples, count * sizeof(float));
        return;
    }
    for (quint64 i = 0; i < count; ++i) {
        const double x = std::isnan(samples[i]) ? 0.0 : double(samples[i]);
        const auto value = qint16(std::clamp(x, -1.0, 1.0) * kInt16Scale);
        std::memcpy(out + i * sizeof(qint16), &value, sizeof(qint16));
    }
}

} // namespace

AudioOutputNode::AudioOutputNode()
    : DeviceNode(
        kTexts, ProcessorCharacter("media.audio.output", true, false, true, true, false, false))
{
}

AudioOutputNode::~AudioOutputNode()
{
    shutdown();
}

void AudioOutputNode::process(AudioContext& context)
{
    if (context.frames == 0 || context.channels == 0 || !context.data)
        return;
    const quint64 ch = std::max<quint64>(channelCount(), 1);
    const quint64 frames = context.frames;
    const bool spreadMono = context.channels == 1 && ch >= 2;
    if (m_interleaved.size() < frames * ch)
        m_interleaved.resize(frames * ch);
    for (quint64 f = 0; f < frames; ++f) {
        for (quint64 c = 0; c < ch; ++c) {
            const quint64 source = spreadMono ? 0 : c;
            m_interleaved[f * ch + c]
                = source < context.channels ? float(context.data[source * frames + f]) : 0.0f;
        }
    }
    const quint64 written = m_ring.write(m_interleaved.data(), frames * ch);
    m_droppedSamples += frames * ch - written;
}

void AudioOutputNode::setVolume(float volume)
{
    onIoThread([this, volume] {
        m_volume = volume;
        if (m_sink)
            m_sink->setVolume(volume);
    });
}

void AudioOutputNode::rebuildSink()
{
    rebuildStream();
}

bool AudioOutputNode::isConfigured() const
{
    return m_sink && m_feed;
}

void AudioOutputNode::createAdapter()
{
    m_feed = QSharedPointer<FeedDevice>::create(
        m_ring, m_counters, m_silenceIntended, m_format.sampleFormat(), channelCount());
    openAdapter();
}

void AudioOutputNode::openAdapter()
{
    // Unbuffered, so every pull of the sink reaches readData with the sink's own size.
    if (m_feed && !m_feed->isOpen())
        m_feed->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

void AudioOutputNode::closeAdapter()
{
    if (m_feed)
        m_feed->close();
}

void AudioOutputNode::releaseAdapter()
{
    m_feed.reset();
}

void AudioOutputNode::createStream(quint64 bufferFrames)
{
    releaseStream();
    m_sink = QSharedPointer<QAudioSink>::create(m_device, m_format);
    const quint64 frames = std::max(bufferFrames, kMinSinkFrames);
    const qint64 bytes = qint64(frames * bytesPerSample(m_format.sampleFormat()) * channelCount());
    if (bytes > 0)
        m_sink->setBufferSize(bytes);
    m_sink->setVolume(m_volume);
    connect(m_sink.get(), &QAudioSink::stateChanged, this, &AudioOutputNode::handleStreamState);
}

QAudio::State AudioOutputNode::platformState() const
{
    return m_sink ? m_sink->state() : QAudio::StoppedState;
}

QAudio::Error AudioOutputNode::platformError() const
{
    return m_sink ? m_sink->error() : QAudio::NoError;
}

void AudioOutputNode::startStream()
{
    m_sink->start(m_feed.get());
}

void AudioOutputNode::stopStream()
{
    if (m_sink)
        m_sink->stop();
}

void AudioOutputNode::releaseStream()
{
    if (!m_sink)
        return;
    // Qt's PulseAudio sink must be stopped on its own thread before it goes, or its timer
    // touches a freed stream.
    disconnect(m_sink.get(), nullptr, this, nullptr);
    m_sink->stop();
    m_sink.reset();
}

QList<QAudioDevice> AudioOutputNode::hostDevices() const
{
    return devices::DeviceManager::instance().audioOutputs();
}

QAudioDevice AudioOutputNode::findHostDevice(const QString& description) const
{
    return devices::DeviceManager::instance().findAudioOutput(description);
}

void AudioOutputNode::queueRebuild()
{
    QMetaObject::invokeMethod(this, &AudioOutputNode::rebuildSink, Qt::QueuedConnection);
}

void AudioOutputNode::beforeTick(qint64 nowMs)
{
    m_underrunReport.check(m_counters.underrunCount.load(), nowMs);
}

AudioOutputNode::FeedDevice::FeedDevice(AudioRing& ring, StreamCounters& counters,
    const std::atomic<bool>& silenceIntended, QAudioFormat::SampleFormat format,
    quint64 channelCount)
    : m_ring(ring)
    , m_counters(counters)
    , m_silenceIntended(silenceIntended)
    , m_format(format)
    , m_channelCount(std::max<quint64>(channelCount, 1))
{
}

qint64 AudioOutputNode::FeedDevice::bytesAvailable() const
{
    return QIODevice::bytesAvailable() + qint64(bytesPerSample(m_format) * m_ring.available());
}

qint64 AudioOutputNode::FeedDevice::readData(char* data, qint64 maxSize)
{
    if (!data || maxSize < 1)
        return 0;
    const quint64 bytes = bytesPerSample(m_format);
    const quint64 frames = quint64(maxSize) / (bytes * m_channelCount);
    if (frames == 0)
        return 0;
    const quint64 n = frames * m_channelCount;

    float chunk[kChunkSamples];
    bool ranDry = false;
    for (quint64 done = 0; done < n;) {
        const quint64 want = std::min(kChunkSamples, n - done);
        const quint64 got = ranDry ? 0 : m_ring.read(chunk, want);
        if (got < want) {
            std::fill(chunk + got, chunk + want, 0.0f);
            ranDry = true;
        }
        encode(chunk, want, m_format, data + done * bytes);
        done += want;
    }
    if (ranDry && !m_silenceIntended.load(std::memory_order_relaxed))
        ++m_counters.underrunCount;
    m_counters.sampleCounter += n;
    return qint64(n * bytes);
}

void AudioOutputNode::connectDeviceHook()
{
    connect(&devices::DeviceManager::instance(), &devices::DeviceManager::audioOutputsChanged, this,
        &AudioOutputNode::onDevicesChanged);
}

} // namespace media::audio
