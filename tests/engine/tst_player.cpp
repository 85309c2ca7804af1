#include "../media/PulseControl.h"
#include "engine/ZarnPlayer.h"
#include "media/devices/DeviceManager.h"
#include "processors/sources/SawProcessor.h"
#include "song/Graph.h"
#include "song/Sequencer.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

constexpr int kRate = 44100;

// A saw into the song's Output; without a track its pattern of one note loops while playing.
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

} // namespace

class PlayerTest : public QObject {
    Q_OBJECT

private slots:
    void rendersOneBlockPerTick();
    void playsInRealTimeIntoTheDevice();
};

// Block sizes are clamped to 64..8192; asking for the size in force changes nothing.
// Without an output node nothing paces the player: every tick renders a block, unless the
// player is in render mode. With 4096 samples per tick, every fourth block of 1024 frames
// crosses a tick; the status goes out every twentieth block.
void PlayerTest::rendersOneBlockPerTick()
{
    ZarnPlayer player;
    QSignalSpy spy(&player, &ZarnPlayer::bufferSampleCountChanged);
    QTest::ignoreMessage(QtDebugMsg, "ZarnPlayer: Buffer size changed to 64 samples");
    QList<int> sizes;
    for (const int requested : { 10, 100000, 8192, 1024 }) {
        player.onBufferSizeChanged(requested);
        sizes.append(player.bufferSize());
    }
    QCOMPARE(sizes, (QList<int> { 64, 8192, 8192, 1024 }));
    QCOMPARE(spy.count(), 3);
    const SongPointer song = sawSong();
    Position& position = song->sequencer->position;
    position.samplesPerTickValue = 4096;
    player.setSong(song);
    QTest::ignoreMessage(QtWarningMsg, "DeviceSubgraph::start: not configured");
    QCOMPARE(player.setRunning(true), false);
    QCOMPARE(player.setRunning(false), true);
    player.setMode(ZarnPlayer::Render);
    player.renderTick();
    QCOMPARE(position.playPos.sample, 0);
    QCOMPARE(player.status().buffers, quint64(0));
    player.setMode(ZarnPlayer::Live);
    QSignalSpy status(&player, &ZarnPlayer::engineStatusChanged);
    QSignalSpy moved(&player, &ZarnPlayer::positionChanged);
    for (int block = 0; block < 60; ++block)
        player.renderTick();
    QCOMPARE(position.playPos.sample, 60 * ZarnPlayer::kDefaultBufferSize);
    QCOMPARE(status.count(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(status.at(i).at(0).value<EngineStatus>().buffers, quint64(20 * (i + 1)));
    QVERIFY(status.last().at(0).value<EngineStatus>().playing);
    QCOMPARE(moved.count(), 60 / 4);
    position.playing = false;
    player.renderTick();
    QVERIFY(!player.status().playing);
    song->graph->changed = true; // as an edit leaves it: the plan is rebuilt on the next tick
    QTest::ignoreMessage(QtDebugMsg, "Topology adjusted");
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(".*")); // the plan's own build log
    player.renderTick();
    QVERIFY(!song->graph->changed);
    QCOMPARE(player.deviceSubgraph().engine.plan(), player.deviceSubgraph().plan);
}

// A device by a name nobody has falls back to the first one that takes the format. Then
// the player renders into the test server's null sink at the sink's pace.
void PlayerTest::playsInRealTimeIntoTheDevice()
{
    if (!pulse::serverAnswers())
        QSKIP("No PulseAudio server answers (scripts/test starts one)");
    const QByteArray sink = "zarn_null";
    const auto outputs = media::devices::DeviceManager::instance().audioOutputs();
    if (media::devices::DeviceManager::instance().findAudioOutput(sink.toHex()).isNull())
        QSKIP("The server has no null sink named zarn_null");
    ZarnPlayer player;
    const QString fallback = "ZarnPlayer: Falling back to compatible device: ";
    QTest::ignoreMessage(QtDebugMsg, qPrintable(fallback + outputs.first().description()));
    player.onOutputChanged(QStringLiteral("there is no device called this"));
    QCOMPARE(player.format().sampleRate(), kRate);
    QCOMPARE(player.deviceSubgraph().device.id(), outputs.first().id());
    player.debug = false;
    player.onOutputChanged(QString::fromLatin1(sink.toHex()));
    QCOMPARE(player.deviceSubgraph().device.id(), sink);
    player.setSong(sawSong());
    player.setRunning(true);
    // A new stream on the null sink may take a couple of seconds to be consumed at its
    // pace (it first takes in a buffer's worth); time starts once a second has gone out.
    const auto& node = player.deviceSubgraph().outputNode;
    QTRY_VERIFY_WITH_TIMEOUT(node->sampleCount() > quint64(2 * kRate), 15000);
    QSignalSpy status(&player, &ZarnPlayer::engineStatusChanged);
    QSignalSpy position(&player, &ZarnPlayer::positionChanged);
    const quint64 before = node->sampleCount();
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(2000);
    const quint64 played = (node->sampleCount() - before) / quint64(player.format().channelCount());
    const double expected = kRate * clock.elapsed() / 1000.0;
    player.setRunning(false);
    // Two seconds are about 86 blocks of 1024 frames, four status reports.
    QVERIFY2(status.count() >= 3, qPrintable(QString::number(status.count())));
    QVERIFY(!position.isEmpty());
    // The sink takes what the time waited is worth, give or take a scheduler's slack.
    QVERIFY2(played > 0.6 * expected && played < 1.4 * expected,
        qPrintable(QString("%1 of %2").arg(played).arg(expected)));
}

QTEST_GUILESS_MAIN(PlayerTest)
#include "tst_player.moc"
