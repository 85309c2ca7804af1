#include "../media/PulseControl.h"
#include "engine/ZarnPlayer.h"
#include "media/devices/DeviceManager.h"
#include "processors/sources/SawProcessor.h"
#include "song/Graph.h"
#include "song/Sequencer.h"

#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <numbers>

namespace {

constexpr int kRate = 44100;

// A new song whose Output hears a saw with no track, so its one-row first pattern, note
// 69, loops for as long as the song plays.
SongPointer sawSong()
{
    const SongPointer song = Song::createNewSong(16);
    const auto saw = zarn::Node::create(QStringLiteral("Saw"), song);
    song->graph->addNode(saw);
    song->graph->connect(saw, song->graph->nodes.first());
    const auto pattern = PatternPointer::create(QStringLiteral("Tone"), saw, 1);
    const auto row = pattern->makeNeutralRow();
    row->cells[SawProcessor::Note] = 69;
    pattern->setRow(0, row);
    saw->addPattern(pattern);
    song->sequencer->position.playing = true;
    return song;
}

// Power of one frequency in a recording (Goertzel), normalised by its length.
double powerAt(const QList<double>& samples, double hz)
{
    const double coefficient = 2.0 * std::cos(2.0 * std::numbers::pi * hz / kRate);
    double previous = 0.0;
    double older = 0.0;
    for (const double x : samples) {
        const double current = x + coefficient * previous - older;
        older = previous;
        previous = current;
    }
    const double power = previous * previous + older * older - coefficient * previous * older;
    return power / double(samples.size() * samples.size());
}

QList<double> monoOf(const QByteArray& raw)
{
    QList<double> samples;
    const auto* values = reinterpret_cast<const qint16*>(raw.constData());
    for (qsizetype i = 0; i < raw.size() / 2; ++i)
        samples.append(values[i] / 32768.0);
    return samples;
}

} // namespace

class PlayerTest : public QObject {
    Q_OBJECT

private slots:
    void bufferSizeIsClamped_data();
    void bufferSizeIsClamped();
    void startingWithoutAnOutputWarns();
    void statusEveryTwentiethBlock();
    void renderModeStandsStill();
    void topologyChangeRebuildsOnTheNextTick();
    void unknownDeviceFallsBack();
    void playsInRealTimeIntoTheDevice();
};

void PlayerTest::bufferSizeIsClamped_data()
{
    QTest::addColumn<int>("requested");
    QTest::addColumn<int>("expected");
    QTest::newRow("below") << 10 << 64;
    QTest::newRow("above") << 100000 << 8192;
    QTest::newRow("inside") << 300 << 300;
}

void PlayerTest::bufferSizeIsClamped()
{
    QFETCH(int, requested);
    QFETCH(int, expected);
    ZarnPlayer player;
    QSignalSpy spy(&player, &ZarnPlayer::bufferSampleCountChanged);
    QTest::ignoreMessage(QtDebugMsg,
        qPrintable(QStringLiteral("ZarnPlayer: Buffer size changed to %1 samples").arg(expected)));
    player.onBufferSizeChanged(requested);
    QCOMPARE(player.bufferSize(), expected);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), expected);
    player.onBufferSizeChanged(requested); // the same size again changes nothing
    QCOMPARE(spy.count(), 1);
}

void PlayerTest::startingWithoutAnOutputWarns()
{
    ZarnPlayer player;
    QTest::ignoreMessage(QtWarningMsg, "DeviceSubgraph::start: not configured");
    QCOMPARE(player.setRunning(true), false);
    QCOMPARE(player.setRunning(false), true);
}

// Without an output node nothing paces the player, so every tick renders a block.
void PlayerTest::statusEveryTwentiethBlock()
{
    ZarnPlayer player;
    player.debug = false;
    player.setSong(sawSong());
    QSignalSpy status(&player, &ZarnPlayer::engineStatusChanged);
    QSignalSpy position(&player, &ZarnPlayer::positionChanged);
    for (int block = 0; block < 60; ++block)
        player.renderTick();
    QCOMPARE(status.count(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(status.at(i).at(0).value<EngineStatus>().buffers, quint64(20 * (i + 1)));
    QVERIFY(status.last().at(0).value<EngineStatus>().playing);
    QCOMPARE(position.count(), 60); // a 1024-frame block crosses ticks of the default grid
}

void PlayerTest::renderModeStandsStill()
{
    ZarnPlayer player;
    player.debug = false;
    const SongPointer song = sawSong();
    player.setSong(song);
    player.setMode(ZarnPlayer::Render);
    for (int block = 0; block < 30; ++block)
        player.renderTick();
    QCOMPARE(song->sequencer->position.playPos.sample, 0);
    QCOMPARE(player.status().buffers, quint64(0));
    player.setMode(ZarnPlayer::Live);
    player.renderTick();
    QCOMPARE(song->sequencer->position.playPos.sample, ZarnPlayer::kDefaultBufferSize);
}

void PlayerTest::topologyChangeRebuildsOnTheNextTick()
{
    ZarnPlayer player;
    const SongPointer song = Song::createNewSong(16);
    player.setSong(song);
    player.renderTick(); // a loaded song may still carry its change flag
    const auto saw = zarn::Node::create(QStringLiteral("Saw"), song);
    song->graph->addNode(saw);
    song->graph->connect(saw, song->graph->nodes.first());
    QTest::ignoreMessage(QtDebugMsg, "Topology adjusted");
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(".*")); // the plan's own build log
    player.renderTick();
    QVERIFY(!song->graph->changed);
    QCOMPARE(player.deviceSubgraph().engine.plan(), player.deviceSubgraph().plan);
}

void PlayerTest::unknownDeviceFallsBack()
{
    if (!pulse::serverAnswers())
        QSKIP("No PulseAudio server answers (scripts/test starts one)");
    const auto outputs = media::devices::DeviceManager::instance().audioOutputs();
    if (outputs.isEmpty())
        QSKIP("The server offers no output device");
    ZarnPlayer player;
    QTest::ignoreMessage(QtDebugMsg,
        qPrintable(QStringLiteral("ZarnPlayer: Falling back to compatible device: %1")
                       .arg(outputs.first().description())));
    player.onOutputChanged(QStringLiteral("there is no device called this"));
    QCOMPARE(player.format().sampleRate(), kRate);
    QVERIFY(player.deviceSubgraph().outputNode);
    QCOMPARE(player.deviceSubgraph().device.id(), outputs.first().id());
}

// The player renders in real time into the test server's null sink; parec records the
// sink's monitor, which must hold the saw's 440 Hz fundamental.
void PlayerTest::playsInRealTimeIntoTheDevice()
{
    if (!pulse::serverAnswers())
        QSKIP("No PulseAudio server answers (scripts/test starts one)");
    const QByteArray sink = "zarn_null";
    if (media::devices::DeviceManager::instance().findAudioOutput(sink.toHex()).isNull())
        QSKIP("The server has no null sink named zarn_null");

    ZarnPlayer player;
    player.debug = false;
    player.onOutputChanged(QString::fromLatin1(sink.toHex()));
    QCOMPARE(player.deviceSubgraph().device.id(), sink);
    const SongPointer song = sawSong();
    player.setSong(song);

    QProcess recorder;
    recorder.start(QStringLiteral("parec"),
        { QStringLiteral("-d"), QStringLiteral("zarn_null.monitor"), QStringLiteral("--raw"),
            QStringLiteral("--format=s16le"), QStringLiteral("--rate=44100"),
            QStringLiteral("--channels=1"), QStringLiteral("--latency-msec=50") });
    QVERIFY(recorder.waitForStarted(5000));
    player.setRunning(true);
    // A new stream on the null sink may take a couple of seconds to be consumed at its
    // pace (it first takes in a buffer's worth); time starts once a second has gone out.
    const auto& node = player.deviceSubgraph().outputNode;
    QTRY_VERIFY_WITH_TIMEOUT(node->sampleCount() > quint64(2 * kRate), 15000);
    QSignalSpy status(&player, &ZarnPlayer::engineStatusChanged);
    QSignalSpy position(&player, &ZarnPlayer::positionChanged);
    QTest::qWait(2000);
    player.setRunning(false);
    recorder.terminate();
    QVERIFY(recorder.waitForFinished(5000));

    // Two seconds are about 86 blocks of 1024 frames: four status reports at least three.
    QVERIFY2(status.count() >= 3, qPrintable(QString::number(status.count())));
    QVERIFY(!position.isEmpty());
    const QList<double> recording = monoOf(recorder.readAllStandardOutput());
    const auto loud = std::find_if(
        recording.cbegin(), recording.cend(), [](double x) { return std::abs(x) > 0.01; });
    QVERIFY2(loud != recording.cend(), "the recording is silent");
    const qsizetype start = qsizetype(loud - recording.cbegin()) + kRate / 10;
    const QList<double> steady = recording.mid(start, kRate / 2);
    QCOMPARE(steady.size(), kRate / 2);
    const double tone = powerAt(steady, 440.0);
    const double between = powerAt(steady, 660.0);
    QVERIFY2(tone > 1e-4, qPrintable(QString::number(tone)));
    QVERIFY2(tone > 100.0 * between, qPrintable(QStringLiteral("%1 vs %2").arg(tone).arg(between)));
}

QTEST_GUILESS_MAIN(PlayerTest)
#include "tst_player.moc"
