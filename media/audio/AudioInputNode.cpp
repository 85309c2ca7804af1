#include "media/audio/AudioInputNode.h"

#include "media/devices/DeviceManager.h"

#include <algorithm>
#include <cstring>

namespace media::audio {

namespace {

const DeviceTexts kTexts {
    "audio-io-in",
    "audio-livewd-in",
    "AudioInputNode: wire format must be Float or Int16, got",
    "AudioInputNode: implausible channelCount",
    "AudioInputNode: implausible sampleRate",
    "— bailing out without opening a source.",
    "AudioInputNode::start: not configured",
    "AudioInputNode: state dropped from ActiveState to %1 (Qt err=%2) without stop() — "
    "assuming device failure; re-marking start intent + queuing rebuildSource probe.",
    "AudioInputNode: stream recovered on its own after watchdog gave up (bytes %1 -> "
    "%2). Resetting watchdog with 30 s post-recovery lockout.",
    "AudioInputNode: post-give-up retry — attempting QAudioSource rebuild (cumulative "
    "rebuild #%1)",
    "AudioInputNode: stream stalled silently (no Qt error, sample counter frozen ≥ %1ms) — "
    "rebuilding QAudioSource (rebuild #%2)",
    "AudioInputNode: device",
};

constexpr quint64 kChunkSamples = 512;
// Not the output's 32767: -32768 must land exactly on -1.0.
constexpr float kInt16Scale = 1.0f / 32768.0f;

void decode(const char* in, quint64 count, QAudioFormat::SampleFormat format, float* samples)
{
    if (format != QAudioFormat::Int16) {
        std::memcpy(samples, in, count * sizeof(float));
        return;
    }
    for (quint64 i = 0; i < count; ++i) {
        qint16 value = 0;
        std::memcpy(&value, in + i * sizeof(qint16), sizeof(qint16));
        samples[i] = float(value) * kInt16Scale;
    }
}

} // namespace

AudioInputNode::AudioInputNode()
    : DeviceNode(
        kTexts, ProcessorCharacter("media.audio.input", false, true, true, true, false, false))
{
}

AudioInputNode::~AudioInputNode()
{
    shutdown();
}

void AudioInputNode::process(AudioContext& context)
{
    if (context.frames == 0 || !context.data)
        return;
    const quint64 ch = std::max<quint64>(channelCount(), 1);
    const quint64 frames = context.frames;
    const quint64 n = frames * ch;
    if (m_interleaved.size() < n)
        m_interleaved.resize(n);
    const quint64 got = m_ring.read(m_interleaved.data(), n);
    if (got < n) {
        std::fill(
            m_interleaved.begin() + qsizetype(got), m_interleaved.begin() + qsizetype(n), 0.0f);
        ++m_counters.underrunCount;
    }
    for (quint64 c = 0; c < context.channels; ++c) {
        double* plane = context.data + c * frames;
        for (quint64 f = 0; f < frames; ++f)
            plane[f] = c < ch ? double(m_interleaved[f * ch + c]) : 0.0;
    }
}

void AudioInputNode::rebuildSource()
{
    rebuildStream();
}

bool AudioInputNode::isConfigured() const
{
    return m_source && m_capture;
}

void AudioInputNode::createAdapter()
{
    m_capture = QSharedPointer<CaptureDevice>::create(
        m_ring, m_counters, m_overflow, clock(), m_format.sampleFormat(), channelCount());
    openAdapter();
}

void AudioInputNode::openAdapter()
{
    if (m_capture && !m_capture->isOpen())
        m_capture->open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

void AudioInputNode::closeAdapter()
{
    if (m_capture)
        m_capture->close();
}

void AudioInputNode::releaseAdapter()
{
    m_capture.reset();
}

void AudioInputNode::createStream(quint64)
{
    // The source keeps the platform's own buffer size.
    releaseStream();
    m_source = QSharedPointer<QAudioSource>::create(m_device, m_format);
    connect(m_source.get(), &QAudioSource::stateChanged, this, &AudioInputNode::handleStreamState);
}

QAudio::State AudioInputNode::platformState() const
{
    return m_source ? m_source->state() : QAudio::StoppedState;
}

QAudio::Error AudioInputNode::platformError() const
{
    return m_source ? m_source->error() : QAudio::NoError;
}

void AudioInputNode::startStream()
{
    m_source->start(m_capture.get());
}

void AudioInputNode::stopStream()
{
    if (m_source)
        m_source->stop();
}

void AudioInputNode::releaseStream()
{
    if (!m_source)
        return;
    // Stopped on this thread before it goes, like the output's sink.
    disconnect(m_source.get(), nullptr, this, nullptr);
    m_source->stop();
    m_source.reset();
}

QList<QAudioDevice> AudioInputNode::hostDevices() const
{
    return devices::DeviceManager::instance().audioInputs();
}

QAudioDevice AudioInputNode::findHostDevice(const QString& description) const
{
    return devices::DeviceManager::instance().findAudioInput(description);
}

void AudioInputNode::queueRebuild()
{
    QMetaObject::invokeMethod(this, &AudioInputNode::rebuildSource, Qt::QueuedConnection);
}

AudioInputNode::CaptureDevice::CaptureDevice(AudioRing& ring, StreamCounters& counters,
    OverflowReport& overflow, const QElapsedTimer& clock, QAudioFormat::SampleFormat format,
    quint64 channelCount)
    : m_ring(ring)
    , m_counters(counters)
    , m_overflow(overflow)
    , m_clock(clock)
    , m_format(format)
    , m_channelCount(std::max<quint64>(channelCount, 1))
{
}

qint64 AudioInputNode::CaptureDevice::writeData(const char* data, qint64 length)
{
    if (!data || length < 1)
        return 0;
    const quint64 bytes = bytesPerSample(m_format);
    const quint64 frames = quint64(length) / (bytes * m_channelCount);
    if (frames == 0)
        return 0;
    const quint64 n = frames * m_channelCount;

    float chunk[kChunkSamples];
    quint64 written = 0;
    for (quint64 done = 0; done < n && written == done;) {
        const quint64 want = std::min(kChunkSamples, n - done);
        decode(data + done * bytes, want, m_format, chunk);
        written += m_ring.write(chunk, want);
        done += want;
    }
    if (written < n)
        m_overflow.add(n - written, m_ring.capacity(), m_clock.elapsed());
    m_counters.sampleCounter += n;
    return qint64(n * bytes);
}

void AudioInputNode::connectDeviceHook()
{
    connect(&devices::DeviceManager::instance(), &devices::DeviceManager::audioInputsChanged, this,
        &AudioInputNode::onDevicesChanged);
}

} // namespace media::audio
