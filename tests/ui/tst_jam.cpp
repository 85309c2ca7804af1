#include "../media/PulseControl.h"
#include "KeyScript.h"
#include "engine/ZarnPlayer.h"
#include "processors/io/OutputProcessor.h"
#include "song/Graph.h"
#include "song/Sequencer.h"
#include "ui/pattern/PatternView.h"
#include "ui/transport/TrackerTransport.h"
#include "ui/undo/SongHistory.h"

#include <QAbstractButton>
#include <QtTest>

namespace {

constexpr quint32 kUntouched = 0xFFFFFFFF;

// A Saw (Note, Volume) with a 16-row pattern in the editor, and the transport wired to it.
struct Bench {
    SongPointer song = Song::createNewSong(16);
    zarn::NodePointer saw = zarn::Node::create(QStringLiteral("Saw"), song);
    PatternPointer pattern = PatternPointer::create(QStringLiteral("00"), saw, 16);
    SongHistory history;
    PatternView view;
    TrackerTransport transport;

    Bench()
    {
        song->graph->addNode(saw);
        song->graph->connect(saw, song->graph->nodes.first());
        saw->addPattern(pattern);
        history.setSong(song);
        view.setSong(song);
        view.setHistory(&history);
        view.showPattern(saw, pattern);
        transport.setSong(song->sequencer);
        QObject::connect(&transport, &TrackerTransport::jamChanged, &view, &PatternView::setJam);
    }
    void click(const char* button) { transport.findChild<QAbstractButton*>(button)->click(); }
    quint32 sounding() const { return saw->processor->nodeValues.value(0, kUntouched); }
    // The cells of parameter p that hold a value, as "tick:value".
    QString cells(int p) const
    {
        QStringList out;
        for (int t = 0; t < pattern->length; ++t)
            if (const RowPointer r = pattern->rowAt(t); r && r->cells.value(p) != 255)
                out << QStringLiteral("%1:%2").arg(t).arg(r->cells.value(p));
        return out.join(' ');
    }
};

} // namespace

class JamTest : public QObject {
    Q_OBJECT

private slots:
    void pianoKeysPlayOrType_data();
    void pianoKeysPlayOrType();
    void aKeySoundsInTheNextBlock();
    void aRecordedPassIsOneUndoStep();
};

// Base octave 4: Z is 48, C 52. Right goes from a note's name to its octave, then to Volume.
void JamTest::pianoKeysPlayOrType_data()
{
    QTest::addColumn<bool>("jam");
    QTest::addColumn<QString>("moves");
    QTest::addColumn<int>("key");
    QTest::addColumn<quint32>("played");
    QTest::addColumn<QString>("typed"); // into the cursor's parameter
    QTest::newRow("note types") << false << "" << int(Qt::Key_Z) << kUntouched << "0:48";
    QTest::newRow("JAM on note plays") << true << "" << int(Qt::Key_Z) << 48u << "";
    QTest::newRow("octave takes neither") << false << "Right" << int(Qt::Key_Q) << kUntouched << "";
    QTest::newRow("hex plays a non-digit") << false << "Right Right" << int(Qt::Key_Z) << 48u << "";
    QTest::newRow("hex types a digit")
        << false << "Right Right" << int(Qt::Key_C) << kUntouched << "0:192";
    QTest::newRow("JAM on hex plays") << true << "Right Right" << int(Qt::Key_C) << 52u << "";
}

void JamTest::pianoKeysPlayOrType()
{
    QFETCH(bool, jam);
    QFETCH(QString, moves);
    QFETCH(int, key);
    QFETCH(quint32, played);
    Bench bench;
    if (jam)
        bench.click("toggleButtonJam");
    pressKeys(&bench.view, moves);
    const int parameter = bench.view.cursor().parameterIndex;
    QTest::keyPress(&bench.view, Qt::Key(key));
    QCOMPARE(bench.sounding(), played);
    QTest::keyRelease(&bench.view, Qt::Key(key));
    QCOMPARE(bench.sounding(), played == kUntouched ? kUntouched : 254u);
    QTEST(bench.cells(parameter), "typed");
}

// The note reaches the processor at the key press, before the player's next block, and
// the Output hears it; the release silences it.
void JamTest::aKeySoundsInTheNextBlock()
{
    if (!pulse::serverAnswers())
        QSKIP("No PulseAudio server answers; run under scripts/with-pulse.");
    Bench bench;
    bench.click("toggleButtonJam");
    const auto output = bench.song->graph->nodes.first()->processor.staticCast<OutputProcessor>();
    double last = -1.0; // the peak of the blocks rendered since the last look
    const auto peak = [&] {
        const OutputProcessor::MeterReading m = output->takeMeter();
        return m.samples > 0 ? last = m.peak : last;
    };
    ZarnPlayer player;
    player.onOutputChanged(QString::fromLatin1(QByteArray("zarn_null").toHex()));
    player.setSong(bench.song);
    player.setRunning(true);
    QTRY_COMPARE_WITH_TIMEOUT(peak(), 0.0, 10000);
    QTest::keyPress(&bench.view, Qt::Key_Z);
    QCOMPARE(bench.sounding(), 48u);
    QTRY_VERIFY(peak() > 0.1);
    QTest::keyRelease(&bench.view, Qt::Key_Z);
    QTRY_COMPARE(peak(), 0.0);
}

// Notes land on the row under the play position, wrapped into the pattern, until playing stops.
void JamTest::aRecordedPassIsOneUndoStep()
{
    Bench bench;
    Position& position = bench.song->sequencer->position;
    position.samplesPerTickValue = 100;
    for (const char* button : { "toggleButtonJam", "toggleButtonRecord", "toggleButtonPlay" })
        bench.click(button);
    // Z is let go within its own row, so its end goes to the next one.
    const int ticks[] = { 1, 1, 19, 21 };
    for (int i = 0; i < 4; ++i) {
        position.playPos.sample = ticks[i] * 100;
        const Qt::Key key = i < 2 ? Qt::Key_Z : Qt::Key_Q;
        i % 2 ? QTest::keyRelease(&bench.view, key) : QTest::keyPress(&bench.view, key);
    }
    QCOMPARE(bench.cells(0), QStringLiteral("1:48 2:254 3:60 5:254"));
    bench.click("toggleButtonPlay");
    QTRY_COMPARE(bench.history.stack().count(), 1);
    bench.history.undo();
    QVERIFY(bench.cells(0).isEmpty());
}

QTEST_MAIN(JamTest)
#include "tst_jam.moc"
