#include "../media/PulseControl.h"
#include "media/devices/DeviceManager.h"
#include "song/Sequencer.h"
#include "song/SongFile.h"
#include "tools/play/PlayCommand.h"
#include "tools/play/PlayOptions.h"
#include "tools/render/RenderOptions.h"
#include "tools/render/SongRender.h"

#include <QProcess>
#include <QtTest>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kSeconds = 4;
constexpr int kRate = 44100;
constexpr qsizetype kChunk = 4096;
constexpr int kMissedChunks = 3; // the first, and at most two spoilt by gaps

// What the output node puts on a 16-bit wire: the block as floats, clamped, truncated.
qint16 onTheWire(double x)
{
    return qint16(std::clamp(double(float(x)), -1.0, 1.0) * 32767.0);
}

QList<qint16> offline(const QString& path)
{
    const SongPointer song = Song::createEmpty();
    if (!loadSong(song, path))
        return {};
    const render::Length length = render::renderLength(song->sequencer->position, kSeconds, true);
    render::SongRender session(song, render::Options::kDefaultBlock, length);
    QList<qint16> samples;
    while (!session.done()) {
        const qsizetype frames = session.next();
        for (qsizetype i = 0; i < frames; ++i)
            samples.append(onTheWire(session.data()[i]));
    }
    return samples;
}

QList<qint16> samplesOf(const QByteArray& raw)
{
    QList<qint16> samples(raw.size() / 2);
    std::memcpy(samples.data(), raw.constData(), size_t(samples.size()) * 2);
    return samples;
}

// Where `stretch` begins in the recording at or after `from`, every sample within one step
// of the wire's quantisation; -1 when it is not there.
qsizetype findInRecording(const QList<qint16>& live, const QList<qint16>& stretch, qsizetype from)
{
    for (qsizetype at = std::max<qsizetype>(from, 0); at + stretch.size() <= live.size(); ++at) {
        qsizetype i = 0;
        while (i < stretch.size() && std::abs(int(live[at + i]) - int(stretch[i])) <= 1)
            ++i;
        if (i == stretch.size())
            return at;
    }
    return -1;
}

} // namespace

// What a user hears is what an export gives: zarn-play into the test server's null sink,
// recorded from its monitor, matches the offline render sample for sample once aligned.
class LiveEqualsOfflineTest : public QObject {
    Q_OBJECT

private slots:
    void playedMatchesRendered();
};

void LiveEqualsOfflineTest::playedMatchesRendered()
{
    if (!pulse::serverAnswers())
        QSKIP("No PulseAudio server answers (scripts/test starts one)");
    const QByteArray sink = "zarn_null";
    if (media::devices::DeviceManager::instance().findAudioOutput(sink.toHex()).isNull())
        QSKIP("The server has no null sink named zarn_null");
    const QString song = QStringLiteral(ZARN_EXAMPLES_DIR "/first-song.zarn");
    const QList<qint16> expected = offline(song);
    QCOMPARE(expected.size(), kSeconds * kRate);

    QProcess recorder;
    recorder.start(QStringLiteral("parec"),
        { QStringLiteral("-d"), QStringLiteral("zarn_null.monitor"), QStringLiteral("--raw"),
            QStringLiteral("--format=s16le"), QStringLiteral("--rate=44100"),
            QStringLiteral("--channels=1") });
    QVERIFY(recorder.waitForStarted(5000));
    QTest::qWait(300); // the recorder is listening before the first block
    QString outText;
    QString errText;
    QTextStream out(&outText);
    QTextStream err(&errText);
    play::Console console { out, err, false, nullptr };
    const int code
        = play::run({ song, QStringLiteral("--device"), QString::fromLatin1(sink.toHex()),
                        QStringLiteral("--seconds"), QString::number(kSeconds + 1) },
            console);
    QTest::qWait(300);
    recorder.terminate();
    QVERIFY(recorder.waitForFinished(5000));
    QVERIFY2(code == play::Success, qPrintable(errText));

    // The render is cut into chunks and each is looked for in the recording, in order. The
    // recording starts when the device wakes, so the first chunk may be missing; a machine
    // too busy to feed the server in time leaves a gap of silence, which spoils the chunk it
    // falls in but shifts nothing after it. Every chunk the device played must be there,
    // sample for sample.
    const QList<qint16> live = samplesOf(recorder.readAllStandardOutput());
    qsizetype from = 0;
    int found = 0;
    int chunks = 0;
    for (qsizetype start = 0; start + kChunk <= expected.size(); start += kChunk, ++chunks) {
        const qsizetype at = findInRecording(live, expected.mid(start, kChunk), from);
        if (at < 0)
            continue;
        ++found;
        from = at + kChunk;
    }
    QVERIFY2(found >= chunks - kMissedChunks,
        qPrintable(QStringLiteral("%1 of %2 chunks heard; %3")
                       .arg(found)
                       .arg(chunks)
                       .arg(errText.trimmed())));
}

QTEST_GUILESS_MAIN(LiveEqualsOfflineTest)
#include "tst_live_equals_offline.moc"
