#include "media/audio/AudioInputNode.h"
#include "media/audio/AudioOutputNode.h"

#include <QtTest>

#include <cstring>
#include <vector>

using media::audio::AudioInputNode;
using media::audio::AudioOutputNode;
using media::audio::AudioRing;
using media::audio::OverflowReport;
using media::audio::StreamCounters;

namespace {

// Live playback, where a dry ring is an underrun.
const std::atomic<bool> kLive { false };

std::vector<qint16> int16s(const QByteArray& bytes)
{
    std::vector<qint16> out(size_t(bytes.size()) / 2);
    std::memcpy(out.data(), bytes.constData(), out.size() * 2);
    return out;
}

QByteArray bytesOf(const std::vector<qint16>& samples)
{
    return QByteArray(reinterpret_cast<const char*>(samples.data()), qsizetype(samples.size() * 2));
}

std::vector<float> drain(AudioRing& ring)
{
    std::vector<float> out(ring.available());
    ring.read(out.data(), out.size());
    return out;
}

} // namespace

class DeviceAdaptersTest : public QObject {
    Q_OBJECT

private slots:
    void feedReadsWholeFrames_data();
    void feedReadsWholeFrames();
    void feedConvertsToInt16();
    void feedPadsUnderrunsWithSilence_data();
    void feedPadsUnderrunsWithSilence();
    void captureConsumesWholeFrames_data();
    void captureConsumesWholeFrames();
    void captureScalesInt16();
    void captureDropsWhatDoesNotFit();
};

void DeviceAdaptersTest::feedReadsWholeFrames_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("maxSize");
    QTest::addColumn<int>("bytes");
    QTest::newRow("int16 stereo 1000") << int(QAudioFormat::Int16) << 2 << 1000 << 1000;
    QTest::newRow("int16 stereo 1001") << int(QAudioFormat::Int16) << 2 << 1001 << 1000;
    QTest::newRow("int16 stereo 3") << int(QAudioFormat::Int16) << 2 << 3 << 0;
    QTest::newRow("float stereo 1007") << int(QAudioFormat::Float) << 2 << 1007 << 1000;
    QTest::newRow("float mono 5") << int(QAudioFormat::Float) << 1 << 5 << 4;
    QTest::newRow("float 3 channels 11") << int(QAudioFormat::Float) << 3 << 11 << 0;
    // Anything but Int16 travels as 4-byte samples.
    QTest::newRow("int32 mono 10") << int(QAudioFormat::Int32) << 1 << 10 << 8;
}

void DeviceAdaptersTest::feedReadsWholeFrames()
{
    QFETCH(int, format);
    QFETCH(int, channels);
    QFETCH(int, maxSize);
    QFETCH(int, bytes);
    AudioRing ring;
    ring.setCapacity(4096);
    std::vector<float> full(4096, 0.25f);
    ring.write(full.data(), full.size());
    StreamCounters counters;
    AudioOutputNode::FeedDevice feed(
        ring, counters, kLive, QAudioFormat::SampleFormat(format), quint64(channels));
    QVERIFY(feed.open(QIODevice::ReadOnly | QIODevice::Unbuffered));

    QByteArray out(maxSize, '\x55');
    QCOMPARE(feed.read(out.data(), maxSize), qint64(bytes));
    const quint64 bytesPer = format == QAudioFormat::Int16 ? 2 : 4;
    QCOMPARE(counters.sampleCounter.load(), quint64(bytes) / bytesPer);
    QCOMPARE(ring.available(), 4096 - quint64(bytes) / bytesPer);
    QCOMPARE(counters.underrunCount.load(), quint64(0));
}

void DeviceAdaptersTest::feedConvertsToInt16()
{
    AudioRing ring;
    ring.setCapacity(16);
    // Clamped to +-1 and scaled by 32767, truncated toward zero.
    const float samples[] = { 1.5f, -2.0f, 0.5f, -0.25f, 0.0f, 1.0f };
    ring.write(samples, 6);
    StreamCounters counters;
    AudioOutputNode::FeedDevice feed(ring, counters, kLive, QAudioFormat::Int16, 2);
    QVERIFY(feed.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    QCOMPARE(feed.bytesAvailable(), qint64(12));
    const QByteArray out = feed.read(12);
    QCOMPARE(int16s(out), (std::vector<qint16> { 32767, -32767, 16383, -8191, 0, 32767 }));
}

void DeviceAdaptersTest::feedPadsUnderrunsWithSilence_data()
{
    QTest::addColumn<int>("queued");
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("intended");
    QTest::newRow("empty, float") << 0 << int(QAudioFormat::Float) << false;
    QTest::newRow("3 queued, float") << 3 << int(QAudioFormat::Float) << false;
    QTest::newRow("empty, int16") << 0 << int(QAudioFormat::Int16) << false;
    // Longer than one conversion chunk, so the silence spans chunks.
    QTest::newRow("700 queued, int16") << 700 << int(QAudioFormat::Int16) << false;
    // Rendering sends nothing on purpose: the same silence, but no underruns.
    QTest::newRow("3 queued, float, intended") << 3 << int(QAudioFormat::Float) << true;
}

void DeviceAdaptersTest::feedPadsUnderrunsWithSilence()
{
    QFETCH(int, queued);
    QFETCH(int, format);
    QFETCH(bool, intended);
    constexpr int kSamples = 2000;
    AudioRing ring;
    ring.setCapacity(4096);
    const std::vector<float> ones(size_t(queued), 1.0f);
    ring.write(ones.data(), ones.size());
    StreamCounters counters;
    const auto sampleFormat = QAudioFormat::SampleFormat(format);
    const std::atomic<bool> silenceIntended { intended };
    AudioOutputNode::FeedDevice feed(ring, counters, silenceIntended, sampleFormat, 1);
    QVERIFY(feed.open(QIODevice::ReadOnly | QIODevice::Unbuffered));

    const int bytesPer = sampleFormat == QAudioFormat::Int16 ? 2 : 4;
    for (quint64 call = 1; call <= 2; ++call) {
        const QByteArray out = feed.read(kSamples * bytesPer);
        QCOMPARE(out.size(), kSamples * bytesPer);
        QCOMPARE(counters.underrunCount.load(), intended ? 0 : call);
        QCOMPARE(counters.sampleCounter.load(), call * kSamples);
        for (int i = 0; i < kSamples; ++i) {
            const bool queuedSample = call == 1 && i < queued;
            double value = 0.0;
            if (sampleFormat == QAudioFormat::Int16) {
                qint16 s = 0;
                std::memcpy(&s, out.constData() + i * 2, 2);
                value = s / 32767.0;
            } else {
                float s = 0;
                std::memcpy(&s, out.constData() + i * 4, 4);
                value = s;
            }
            QCOMPARE(value, queuedSample ? 1.0 : 0.0);
        }
    }
}

void DeviceAdaptersTest::captureConsumesWholeFrames_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("consumed");
    QTest::newRow("int16 stereo 10") << int(QAudioFormat::Int16) << 2 << 10 << 8;
    QTest::newRow("int16 stereo 3") << int(QAudioFormat::Int16) << 2 << 3 << 0;
    QTest::newRow("float stereo 20") << int(QAudioFormat::Float) << 2 << 20 << 16;
    QTest::newRow("float mono 4") << int(QAudioFormat::Float) << 1 << 4 << 4;
}

void DeviceAdaptersTest::captureConsumesWholeFrames()
{
    QFETCH(int, format);
    QFETCH(int, channels);
    QFETCH(int, length);
    QFETCH(int, consumed);
    AudioRing ring;
    ring.setCapacity(64);
    StreamCounters counters;
    OverflowReport overflow;
    QElapsedTimer clock;
    clock.start();
    AudioInputNode::CaptureDevice capture(
        ring, counters, overflow, clock, QAudioFormat::SampleFormat(format), quint64(channels));
    QVERIFY(capture.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const QByteArray zeros(length, '\0');
    QCOMPARE(capture.write(zeros), qint64(consumed));
    const quint64 bytesPer = format == QAudioFormat::Int16 ? 2 : 4;
    QCOMPARE(ring.available(), quint64(consumed) / bytesPer);
    QCOMPARE(counters.sampleCounter.load(), quint64(consumed) / bytesPer);
}

void DeviceAdaptersTest::captureScalesInt16()
{
    AudioRing ring;
    ring.setCapacity(64);
    StreamCounters counters;
    OverflowReport overflow;
    QElapsedTimer clock;
    clock.start();
    AudioInputNode::CaptureDevice capture(ring, counters, overflow, clock, QAudioFormat::Int16, 2);
    QVERIFY(capture.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    // Divided by 32768, not the 32767 of the output side.
    capture.write(bytesOf({ -32768, 16384, 32767, 1 }));
    QCOMPARE(
        drain(ring), (std::vector<float> { -1.0f, 0.5f, 32767.0f / 32768.0f, 1.0f / 32768.0f }));
}

void DeviceAdaptersTest::captureDropsWhatDoesNotFit()
{
    AudioRing ring;
    ring.setCapacity(8);
    StreamCounters counters;
    OverflowReport overflow;
    QElapsedTimer clock;
    clock.start();
    AudioInputNode::CaptureDevice capture(ring, counters, overflow, clock, QAudioFormat::Int16, 1);
    QVERIFY(capture.open(QIODevice::WriteOnly | QIODevice::Unbuffered));

    std::vector<qint16> samples(20);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = qint16(i * 1024);
    // 15 of the 20 fit; the whole frames are consumed anyway.
    QTest::ignoreMessage(QtWarningMsg,
        "AudioInputNode: capture ring OVERFLOW — dropped 5 samples (total 5, ring capacity 15 "
        "frames). Consumer is not draining in real time; any in-flight acoustic frame is torn "
        "(§RC).");
    QCOMPARE(capture.write(bytesOf(samples)), qint64(40));
    QCOMPARE(overflow.overflowTotal.load(), quint64(5));
    QCOMPARE(counters.sampleCounter.load(), quint64(20));
    const std::vector<float> kept = drain(ring);
    QCOMPARE(kept.size(), size_t(15));
    QCOMPARE(kept.back(), 14 * 1024 / 32768.0f);
}

QTEST_GUILESS_MAIN(DeviceAdaptersTest)
#include "tst_device_adapters.moc"
