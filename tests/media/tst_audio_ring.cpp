#include "media/audio/AudioRing.h"

#include <QtTest>

#include <thread>
#include <vector>

using media::audio::AudioRing;

class AudioRingTest : public QObject {
    Q_OBJECT

private slots:
    void holdsOneLessThanItsSize_data();
    void holdsOneLessThanItsSize();
    void partialReadLeavesTheRest();
    void nullPointersChangeNothing();
    void setCapacityEmptiesTheRing();
    void clampsOversizedRequests();
    void threadsSeeTheSequenceAcrossWraps();
};

void AudioRingTest::holdsOneLessThanItsSize_data()
{
    QTest::addColumn<quint64>("requested");
    QTest::addColumn<quint64>("holds");
    // The size is the smallest power of two above the request; one slot stays empty.
    QTest::newRow("zero") << quint64(0) << quint64(0);
    QTest::newRow("one") << quint64(1) << quint64(1);
    QTest::newRow("three") << quint64(3) << quint64(3);
    QTest::newRow("8192") << quint64(8192) << quint64(16383);
    QTest::newRow("16384") << quint64(16384) << quint64(32767);
}

void AudioRingTest::holdsOneLessThanItsSize()
{
    QFETCH(quint64, requested);
    QFETCH(quint64, holds);
    AudioRing ring;
    ring.setCapacity(requested);
    QCOMPARE(ring.capacity(), holds);

    std::vector<float> source(holds + 1);
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = float(i + 1);
    // The sample after the last that fits is refused: the count comes back one short.
    QCOMPARE(ring.write(source.data(), holds + 1), holds);
    QCOMPARE(ring.available(), holds);
    QCOMPARE(ring.freeSpace(), quint64(0));
    QCOMPARE(ring.write(source.data(), 1), quint64(0));

    std::vector<float> out(holds + 1, -1.0f);
    QCOMPARE(ring.read(out.data(), holds + 1), holds);
    for (quint64 i = 0; i < holds; ++i)
        QCOMPARE(out[i], float(i + 1));
    QCOMPARE(out[holds], -1.0f);
}

void AudioRingTest::partialReadLeavesTheRest()
{
    AudioRing ring;
    ring.setCapacity(64);
    const float source[10] = { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9 };
    float out[10] = {};
    QCOMPARE(ring.write(source, 10), quint64(10));
    QCOMPARE(ring.read(out, 4), quint64(4));
    QCOMPARE(ring.available(), quint64(6));
    QCOMPARE(ring.read(out, 10), quint64(6));
    QCOMPARE(out[0], 4.0f);
    QCOMPARE(out[5], 9.0f);
    QCOMPARE(ring.available(), quint64(0));
}

void AudioRingTest::nullPointersChangeNothing()
{
    AudioRing ring;
    const float one = 1.0f;
    float out = 0.0f;
    // Before any capacity there is no storage at all.
    QCOMPARE(ring.write(&one, 1), quint64(0));
    QCOMPARE(ring.read(&out, 1), quint64(0));
    QCOMPARE(ring.available(), quint64(0));

    ring.setCapacity(8);
    QCOMPARE(ring.write(&one, 1), quint64(1));
    QCOMPARE(ring.write(nullptr, 4), quint64(0));
    QCOMPARE(ring.read(nullptr, 4), quint64(0));
    QCOMPARE(ring.available(), quint64(1));
    QCOMPARE(ring.read(&out, 1), quint64(1));
    QCOMPARE(out, 1.0f);
}

void AudioRingTest::setCapacityEmptiesTheRing()
{
    AudioRing ring;
    ring.setCapacity(16);
    const float source[5] = { 1, 2, 3, 4, 5 };
    float out[5] = {};
    ring.write(source, 5);
    ring.read(out, 2);
    ring.setCapacity(16);
    QCOMPARE(ring.available(), quint64(0));
    QCOMPARE(ring.read(out, 5), quint64(0));
    // The old samples are gone for good: the next read sees only what follows.
    const float seven = 7.0f;
    ring.write(&seven, 1);
    QCOMPARE(ring.read(out, 5), quint64(1));
    QCOMPARE(out[0], 7.0f);
}

void AudioRingTest::clampsOversizedRequests()
{
    AudioRing ring;
    QTest::ignoreMessage(QtWarningMsg,
        "AudioRing::setCapacity: clamping request 16777217 → 16777216 (over kMaxRingFrames). "
        "Caller likely passed a junk channelCount or sample rate. Investigate upstream.");
    ring.setCapacity(AudioRing::kMaxRingFrames + 1);
    QCOMPARE(ring.capacity(), quint64(33554432 - 1));
}

void AudioRingTest::threadsSeeTheSequenceAcrossWraps()
{
    // A small ring and odd chunk sizes make the indices wrap hundreds of thousands of times.
    constexpr quint64 kTotal = 4'000'000;
    AudioRing ring;
    ring.setCapacity(1000);

    std::thread producer([&ring] {
        float chunk[37];
        quint64 next = 0;
        while (next < kTotal) {
            const quint64 want = std::min<quint64>(37, kTotal - next);
            for (quint64 i = 0; i < want; ++i)
                chunk[i] = float((next + i) % 16777216);
            next += ring.write(chunk, want);
        }
    });

    quint64 expected = 0;
    quint64 mismatches = 0;
    float chunk[53];
    while (expected < kTotal) {
        const quint64 got = ring.read(chunk, 53);
        for (quint64 i = 0; i < got; ++i, ++expected) {
            if (chunk[i] != float(expected % 16777216))
                ++mismatches;
        }
    }
    producer.join();
    QCOMPARE(mismatches, quint64(0));
    QCOMPARE(ring.available(), quint64(0));
}

QTEST_GUILESS_MAIN(AudioRingTest)
#include "tst_audio_ring.moc"
