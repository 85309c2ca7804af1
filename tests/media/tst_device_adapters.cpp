#include "media/audio/AudioInputNode.h"
#include "media/audio/AudioOutputNode.h"

#include <QtTest>

#include <cmath>
#include <vector>

using namespace media::audio;
using Samples = std::vector<double>;
constexpr auto i16 = QAudioFormat::Int16;
constexpr auto f32 = QAudioFormat::Float;

namespace {

// What the ring holds and the platform asks for; the wire's samples that go out (then silence).
struct Feed {
    QAudioFormat::SampleFormat format;
    quint64 channels;
    std::vector<float> queued;
    bool silenceIntended;
    int maxSize;
    Samples sent;
    quint64 underruns;
};

// Bytes the platform hands over, and the samples the ring keeps of them.
struct Capture {
    QAudioFormat::SampleFormat format;
    quint64 channels;
    QByteArray bytes;
    quint64 ringSize;
    int consumed;
    Samples kept;
};

template <typename T> QByteArray bytesOf(const std::vector<T>& samples)
{
    return QByteArray(
        reinterpret_cast<const char*>(samples.data()), qsizetype(samples.size() * sizeof(T)));
}

} // namespace

class DeviceAdaptersTest : public QObject {
    Q_OBJECT

private slots:
    void feedSendsWholeFramesAndPadsWithSilence_data();
    void feedSendsWholeFramesAndPadsWithSilence();
    void captureTakesWholeFramesAndDropsTheExcess_data();
    void captureTakesWholeFramesAndDropsTheExcess();
};

void DeviceAdaptersTest::feedSendsWholeFramesAndPadsWithSilence_data()
{
    QTest::addColumn<Feed>("feed");
    // Clamped to +-1, scaled by 32767 and truncated toward zero; NaN is silence.
    QTest::newRow("int16, a byte short of 4 frames")
        << Feed { i16, 2, { 1.5f, -2.0f, 0.5f, -0.25f, 0.0f, NAN, 1.0f, 0.1f }, false, 15,
               { 32767, -32767, 16383, -8191, 0, 0 }, 0 };
    QTest::newRow("int16, under a frame") << Feed { i16, 2, { 1, 1 }, false, 3, {}, 0 };
    QTest::newRow("float, 3 channels, a byte short of 2 frames")
        << Feed { f32, 3, { 0.5f, 2, -3, 4, 5, 6 }, false, 23, { 0.5, 2, -3 }, 0 };
    // Anything but Int16 travels as 4-byte samples.
    QTest::newRow("int32") << Feed { QAudioFormat::Int32, 1, { 0.25f, 3 }, false, 10, { 0.25, 3 },
        0 };
    // A dry ring is an underrun, unless the renderer sends nothing on purpose.
    QTest::newRow("float, runs dry") << Feed { f32, 1, { 1, 1, 1 }, false, 8000, { 1, 1, 1 }, 1 };
    QTest::newRow("float, silence intended")
        << Feed { f32, 1, { 1, 1, 1 }, true, 8000, { 1, 1, 1 }, 0 };
    // Longer than one conversion chunk, so the silence spans chunks.
    QTest::newRow("int16, runs dry after 700")
        << Feed { i16, 1, std::vector<float>(700, 1.0f), false, 4000, Samples(700, 32767), 1 };
}

void DeviceAdaptersTest::feedSendsWholeFramesAndPadsWithSilence()
{
    QFETCH(Feed, feed);
    AudioRing ring;
    ring.setCapacity(4096);
    ring.write(feed.queued.data(), feed.queued.size());
    StreamCounters counters; // counted on from earlier transfers
    counters.sampleCounter = 100;
    counters.underrunCount = 5;
    const std::atomic<bool> silenceIntended { feed.silenceIntended };
    AudioOutputNode::FeedDevice device(ring, counters, silenceIntended, feed.format, feed.channels);
    QVERIFY(device.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    const qsizetype bytesPer = feed.format == QAudioFormat::Int16 ? 2 : 4;
    QCOMPARE(device.bytesAvailable(), qint64(feed.queued.size()) * bytesPer);
    const QByteArray out = device.read(feed.maxSize);
    const qsizetype frameBytes = bytesPer * qsizetype(feed.channels);
    QCOMPARE(out.size(), feed.maxSize / frameBytes * frameBytes);
    Samples got;
    for (qsizetype at = 0; at < out.size(); at += bytesPer)
        got.push_back(bytesPer == 2 ? qFromUnaligned<qint16>(out.constData() + at)
                                    : qFromUnaligned<float>(out.constData() + at));
    feed.sent.resize(got.size(), 0.0);
    QCOMPARE(got, feed.sent);
    QCOMPARE(counters.sampleCounter.load(), 100 + got.size());
    QCOMPARE(counters.underrunCount.load(), 5 + feed.underruns);
    QCOMPARE(ring.available(), feed.queued.size() - std::min(feed.queued.size(), got.size()));
}

void DeviceAdaptersTest::captureTakesWholeFramesAndDropsTheExcess_data()
{
    QTest::addColumn<Capture>("capture");
    // Divided by 32768, not the 32767 of the output side.
    QTest::newRow("int16 stereo, odd sample")
        << Capture { i16, 2, bytesOf(std::vector<qint16> { -32768, 16384, 32767, 1, 7 }), 64, 8,
               { -1.0, 0.5, 32767 / 32768.0, 1 / 32768.0 } };
    QTest::newRow("int16 stereo, under a frame") << Capture { i16, 2, QByteArray(3, 1), 64, 0, {} };
    QTest::newRow("float stereo, a byte short") << Capture { f32, 2,
        bytesOf(std::vector<float> { 0.25f, -3, 4, 5 }).left(15), 64, 8, { 0.25, -3 } };
    // 1100 samples in chunks of 512 into room for 1023: the third chunk is not tried.
    std::vector<qint16> many(1100);
    Samples kept(1023);
    for (size_t i = 0; i < many.size(); ++i) {
        many[i] = qint16(i * 16);
        if (i < kept.size())
            kept[i] = i * 16 / 32768.0;
    }
    QTest::newRow("overflow") << Capture { i16, 1, bytesOf(many), 600, 2200, kept };
}

void DeviceAdaptersTest::captureTakesWholeFramesAndDropsTheExcess()
{
    QFETCH(Capture, capture);
    AudioRing ring;
    ring.setCapacity(capture.ringSize);
    StreamCounters counters;
    counters.sampleCounter = 100;
    OverflowReport overflow;
    QElapsedTimer clock;
    clock.start();
    AudioInputNode::CaptureDevice device(
        ring, counters, overflow, clock, capture.format, capture.channels);
    QVERIFY(device.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const quint64 taken
        = quint64(capture.consumed) / (capture.format == QAudioFormat::Int16 ? 2 : 4);
    if (taken > capture.kept.size()) // only the overflow row
        QTest::ignoreMessage(QtWarningMsg,
            QRegularExpression("OVERFLOW — dropped 77 samples \\(total 77, ring capacity 1023 "));
    QCOMPARE(device.write(capture.bytes), qint64(capture.consumed));
    QCOMPARE(counters.sampleCounter.load(), 100 + taken);
    QCOMPARE(overflow.overflowTotal.load(), taken - capture.kept.size());
    std::vector<float> out(ring.available());
    ring.read(out.data(), out.size());
    QCOMPARE(Samples(out.begin(), out.end()), capture.kept);
}

QTEST_GUILESS_MAIN(DeviceAdaptersTest)
#include "tst_device_adapters.moc"
