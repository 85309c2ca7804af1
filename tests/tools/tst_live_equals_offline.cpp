#include "../media/PulseControl.h"
#include "media/devices/DeviceManager.h"
#include "song/Sequencer.h"
#include "song/SongFile.h"
#include "tools/play/PlayCommand.h"
#include "tools/play/PlayOptions.h"
#include "tools/render/RenderOptions.h"
#include "tools/render/SongRender.h"

#include <QProcess>
#include <QtEndian>
#include <QtTest>

#include <algorithm>

namespace {

constexpr int kSeconds = 4;
constexpr int kRate = 44100;
constexpr qsizetype kChunk = 4096;
constexpr int kMissedChunks = 3; // the first, and at most two spoilt by gaps

// The offline render as the output node puts it on a 16-bit wire: the block as floats,
// clamped, truncated.
QList<qint16> offline(const QString& path)
{
    const SongPointer song = Song::createEmpty();
    if (!loadSong(song, path))
        return {};
    render::SongRender session(song, render::Options::kDefaultBlock,
        render::renderLength(song->sequencer->position, kSeconds, true));
    QList<qint16> samples;
    while (!session.done())
        for (qsizetype i = 0, frames = session.next(); i < frames; ++i)
            samples.append(qint16(std::clamp(double(float(session.data()[i])), -1.0, 1.0) * 32767));
    return samples;
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
    recorder.start("parec",
        QString("-d zarn_null.monitor --raw --format=s16le --rate=44100 --channels=1").split(' '));
    QVERIFY(recorder.waitForStarted(5000));
    QTest::qWait(300); // the recorder is listening before the first block
    QString errText;
    QTextStream out(stdout), err(&errText);
    play::Console console { out, err, false, nullptr };
    const int code = play::run({ song, "--device", QString::fromLatin1(sink.toHex()), "--seconds",
                                   QString::number(kSeconds + 1) },
        console);
    QTest::qWait(300);
    recorder.terminate();
    QVERIFY(recorder.waitForFinished(5000));
    QVERIFY2(code == play::Success, qPrintable(errText));
    // Each chunk of the render is looked for in the recording, in order, every sample within
    // one step of the wire's quantisation. The recording starts when the device wakes, so the
    // first chunk may be missing; a machine too busy to feed the server leaves a gap of
    // silence, which spoils the chunk it falls in but shifts nothing after it.
    const QByteArray raw = recorder.readAllStandardOutput();
    QList<qint16> live;
    for (qsizetype i = 0; i + 1 < raw.size(); i += 2)
        live.append(qFromLittleEndian<qint16>(raw.constData() + i));
    const auto near = [](qint16 a, qint16 b) { return std::abs(int(a) - int(b)) <= 1; };
    auto from = live.cbegin();
    int found = 0;
    const int chunks = int(expected.size() / kChunk);
    for (int chunk = 0; chunk < chunks; ++chunk) {
        const auto stretch = expected.cbegin() + chunk * kChunk;
        const auto at = std::search(from, live.cend(), stretch, stretch + kChunk, near);
        found += at != live.cend();
        from = at != live.cend() ? at + kChunk : from;
    }
    QVERIFY2(found >= chunks - kMissedChunks,
        qPrintable(QString("%1 of %2 chunks heard; %3").arg(found).arg(chunks).arg(errText)));
}

QTEST_GUILESS_MAIN(LiveEqualsOfflineTest)
#include "tst_live_equals_offline.moc"
