#include "media/audio/AudioRing.h"

#include <QtTest>

#include <thread>
#include <vector>

using media::audio::AudioRing;

class AudioRingTest : public QObject {
    Q_OBJECT

private slots:
    void refusesWhatItCannotTake();
    void threadsSeeTheSequenceAcrossWraps();
};

void AudioRingTest::refusesWhatItCannotTake()
{
    AudioRing ring;
    const float source[5] = { 1, 2, 3, 4, 5 };
    float out[5] = {};
    QCOMPARE(ring.write(source, 1) + ring.read(out, 1), quint64(0)); // no storage yet
    ring.setCapacity(8);
    QCOMPARE(ring.write(source, 5), quint64(5));
    QCOMPARE(ring.write(nullptr, 4) + ring.read(nullptr, 4), quint64(0));
    QCOMPARE(ring.available(), quint64(5));
    // A new capacity drops what was queued; only what follows is read.
    ring.setCapacity(8);
    ring.write(source + 4, 1);
    QCOMPARE(ring.read(out, 5), quint64(1));
    QCOMPARE(out[0], 5.0f);
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
        for (quint64 next = 0; next < kTotal;) {
            const quint64 want = std::min<quint64>(37, kTotal - next);
            for (quint64 i = 0; i < want; ++i)
                chunk[i] = float((next + i) % 16777216);
            next += ring.write(chunk, want);
        }
    });
    quint64 expected = 0, mismatches = 0;
    float chunk[53];
    while (expected < kTotal) {
        const quint64 got = ring.read(chunk, 53);
        for (quint64 i = 0; i < got; ++i, ++expected)
            mismatches += chunk[i] != float(expected % 16777216) ? 1 : 0;
    }
    producer.join();
    QCOMPARE(mismatches, quint64(0));
    QCOMPARE(ring.available(), quint64(0));
}

QTEST_GUILESS_MAIN(AudioRingTest)
#include "tst_audio_ring.moc"
