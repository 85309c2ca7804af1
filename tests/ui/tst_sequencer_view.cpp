#include "../song/FakeProcessor.h"
#include "KeyScript.h"
#include "song/Clipboard.h"
#include "song/Graph.h"
#include "song/SequenceClipboard.h"
#include "song/Sequencer.h"
#include "song/Song.h"
#include "ui/sequencer/SequencerView.h"
#include "ui/undo/SongHistory.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QSignalSpy>
#include <QtTest>

namespace {

constexpr int kTicksPerStep = 4;
enum Column { OutputColumn, BassColumn, HatsColumn, BareColumn };

// A new song's Output track, then Bass (patterns 00-02), Hats (00) and Bare (none), on a
// grid of four ticks a step. Bass starts 00 at step 0, 01 at step 2 and breaks at step 3;
// Hats starts its pattern at step 0. The cursor stands on Bass at step 0.
struct Arranger {
    SongPointer song = Song::createNewSong(16);
    Sequencer& sequencer = *song->sequencer;
    zarn::NodePointer bass = node("Bass", 3);
    zarn::NodePointer hats = node("Hats", 1);
    zarn::NodePointer bare = node("Bare", 0);
    SongHistory history;
    SequencerView view;
    QStringList boxes;
    QStringList questions;
    zarn::NodePointer chosen;

    Arranger()
    {
        sequencer.position.ticksPerStepValue = kTicksPerStep;
        for (const auto& n : { bass, hats, bare })
            sequencer.addTrack(n);
        Track& b = *sequencer.tracks.at(BassColumn);
        b.setEntry(0, bass->patterns.at(0));
        b.setEntry(2 * kTicksPerStep, bass->patterns.at(1));
        b.setBreak(3 * kTicksPerStep);
        sequencer.tracks.at(HatsColumn)->setEntry(0, hats->patterns.at(0));
        song->untaint(QStringLiteral("test"));
        history.setSong(song);
        view.setHistory(&history);
        view.resize(700, 400);
        view.setSong(song);
        view.inform = [this](const QString& t, const QString& text) { boxes << t + ": " + text; };
        view.ask = [this](const QString&, const QString& question) {
            questions << question;
            return true;
        };
        view.chooseNode = [this](const QList<zarn::NodePointer>&) { return chosen; };
        sequencer.moveCursorAbsolute(BassColumn, 0);
    }
    zarn::NodePointer node(const char* name, int patterns)
    {
        auto n = zarn::NodePointer::create();
        n->name = QString::fromLatin1(name);
        n->uniqueID = n->name + QStringLiteral("-id");
        n->processor = QSharedPointer<FakeProcessor>::create();
        for (int i = 0; i < patterns; ++i)
            n->patterns.append(PatternPointer::create(QStringLiteral("P%1").arg(i), n, 8));
        song->graph->addNode(n);
        return n;
    }
    void press(const QString& keys) { pressKeys(&view, keys); }
    // Each track as its node's name and a character per step: the pattern's number, b for a
    // break, . for nothing; then the markers in steps and the cursor as column:step.
    QString arrangement() const
    {
        QStringList parts;
        for (const TrackPointer& track : sequencer.tracks) {
            QString steps;
            for (int i = 0; i < track->entries.size(); i += kTicksPerStep) {
                const EntryPointer e = track->entries.at(i);
                steps += !e      ? QChar('.')
                    : e->pattern ? QChar('0' + int(track->node->patterns.indexOf(e->pattern)))
                                 : QChar('b');
            }
            parts << track->node->name.left(4) + ':' + steps;
        }
        const Position& p = sequencer.position;
        parts << QString("B%1 E%2 L%3 @%4:%5")
                     .arg(p.sequenceBegin.step())
                     .arg(p.sequenceEnd.step())
                     .arg(p.loopBegin.step())
                     .arg(p.cursorColumn)
                     .arg(p.cursor.step());
        return parts.join(' ');
    }
    // What a save writes of the arrangement: the tracks and the three markers.
    QByteArray bytes() const
    {
        QByteArray out;
        QDataStream stream(&out, QIODevice::WriteOnly);
        for (const TrackPointer& track : sequencer.tracks)
            track->write(stream);
        const Position& p = sequencer.position;
        stream << p.sequenceBegin.sample << p.sequenceEnd.sample << p.loopBegin.sample;
        return out;
    }
    void copyToClipboard(const SequenceBlock& block)
    {
        QApplication::clipboard()->setMimeData(
            clipboard::wrap(QString::fromLatin1(SequenceBlock::kMimeType), block.encode())
                .release());
    }
};

const QString kStart = "Outp: Bass:0.1b Hats:0 Bare:";

} // namespace

class SequencerViewTest : public QObject {
    Q_OBJECT

private slots:
    void editsUndoToTheSameBytes_data();
    void editsUndoToTheSameBytes();
    void refusalsWriteNothingAndSayWhy_data();
    void refusalsWriteNothingAndSayWhy();
    void enterPatternNavigates_data();
    void enterPatternNavigates();
    void tracksAddAndRemove();
    void contextMenuPlacesAndUnpauses();
    void mouseMovesCursorAndPlayPosition_data();
    void mouseMovesCursorAndPlayPosition();
    void scrollFollowsPlayAndWheel();
    void paintMarksCursorSelectionAndMarkers();
    void damagedGridStaysInRange_data();
    void damagedGridStaysInRange();
};

void SequencerViewTest::editsUndoToTheSameBytes_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("arrangement");
    QTest::addColumn<int>("steps"); // on the undo stack
    QTest::newRow("erase advances") << "."
                                    << "Outp: Bass:..1b Hats:0 Bare: B0 E0 L0 @1:1" << 1;
    QTest::newRow("break advances") << "Down ,"
                                    << "Outp: Bass:0b1b Hats:0 Bare: B0 E0 L0 @1:2" << 1;
    QTest::newRow("insert row stays") << "Down Insert"
                                      << "Outp: Bass:0..1b Hats:0 Bare: B0 E0 L0 @1:1" << 1;
    QTest::newRow("delete row stays") << "Delete"
                                      << "Outp: Bass:.1b Hats:0 Bare: B0 E0 L0 @1:0" << 1;
    QTest::newRow("wide insert") << "Ctrl+I"
                                 << "Outp:... Bass:.0.1b Hats:.0 Bare:... B0 E0 L0 @1:0" << 1;
    QTest::newRow("wide delete") << "Ctrl+D"
                                 << "Outp: Bass:.1b Hats: Bare: B0 E0 L0 @1:0" << 1;
    QTest::newRow("erase on nothing") << "Down ." << kStart + " B0 E0 L0 @1:2" << 0;
    QTest::newRow("up at step 0 stays") << "Up ."
                                        << "Outp: Bass:..1b Hats:0 Bare: B0 E0 L0 @1:1" << 1;
    QTest::newRow("page down, first step") << "PgDown Ctrl+Home ,"
                                           << "Outp: Bass:b.1b Hats:0 Bare: B0 E0 L0 @1:1" << 1;
    QTest::newRow("last step is the latest entry")
        << "Right Ctrl+End ,"
        << "Outp: Bass:0.1b Hats:0..b Bare: B0 E0 L0 @2:4" << 1;
    QTest::newRow("end and home") << "End , Home"
                                  << "Outp: Bass:0.1b Hats:0 Bare:b B0 E0 L0 @0:1" << 1;
    QTest::newRow("begin then end")
        << "Down Down Ctrl+B Down Down Ctrl+E" << kStart + " B2 E4 L2 @1:4" << 2;
    QTest::newRow("end past the last entry, then loop")
        << "Ctrl+End Down Down Ctrl+E Up Ctrl+L" << kStart + " B0 E5 L4 @1:4" << 2;
    QTest::newRow("loop past the end pushes the end")
        << "Down Ctrl+E Down Down Ctrl+L" << kStart + " B0 E4 L3 @1:3" << 2;
    QTest::newRow("move track right") << "Ctrl+Right"
                                      << "Outp: Hats:0 Bass:0.1b Bare: B0 E0 L0 @2:0" << 1;
    QTest::newRow("no track left of the first")
        << "Home Ctrl+Left" << kStart + " B0 E0 L0 @0:0" << 0;
    QTest::newRow("two digits place a pattern")
        << "Down 0 2"
        << "Outp: Bass:021b Hats:0 Bare: B0 E0 L0 @1:2" << 1;
    QTest::newRow("a digit then a move places nothing")
        << "Down 1 Down 2" << kStart + " B0 E0 L0 @1:2" << 0;
    QTest::newRow("space cycles on") << "Space Space"
                                     << "Outp: Bass:2.1b Hats:0 Bare: B0 E0 L0 @1:0" << 2;
    QTest::newRow("space wraps round") << "Space Space Space" << kStart + " B0 E0 L0 @1:0" << 3;
    QTest::newRow("shift space on nothing takes the last")
        << "Down Shift+Space"
        << "Outp: Bass:021b Hats:0 Bare: B0 E0 L0 @1:1" << 1;
    QTest::newRow("cut a block") << "Down Shift+Down Shift+Right Ctrl+X"
                                 << "Outp: Bass:0..b Hats:0 Bare: B0 E0 L0 @2:2" << 1;
    QTest::newRow("copy and paste further down")
        << "Shift+Down Ctrl+C Down Down Down Down Ctrl+V"
        << "Outp: Bass:0.1b.0. Hats:0 Bare: B0 E0 L0 @1:5" << 1;
    QTest::newRow("ctrl and shifted plus add a track")
        << "Ctrl+Shift++" << kStart + " Bass: B0 E0 L0 @4:0" << 1;
}

// Every edit lands as the sequencer rules say, and undoing all of it gives back the saved
// bytes exactly, as redoing gives back the edited ones.
void SequencerViewTest::editsUndoToTheSameBytes()
{
    QFETCH(QString, keys);
    QFETCH(QString, arrangement);
    QFETCH(int, steps);
    Arranger a;
    a.chosen = a.bass;
    const QByteArray before = a.bytes();
    a.press(keys);
    QCOMPARE(a.arrangement(), arrangement);
    QCOMPARE(a.history.stack().count(), steps);
    const QByteArray after = a.bytes();
    QVERIFY(a.song->changed || after == before);
    while (a.history.stack().canUndo())
        a.history.undo();
    QCOMPARE(a.bytes(), before);
    QVERIFY(!a.song->changed);
    while (a.history.stack().canRedo())
        a.history.redo();
    QCOMPARE(a.bytes(), after);
}

void SequencerViewTest::refusalsWriteNothingAndSayWhy_data()
{
    QTest::addColumn<int>("blockTrack"); // -1: no block on the clipboard
    QTest::addColumn<QStringList>("blockNodes");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("said");
    const QStringList bass = { "Bass" };
    QTest::newRow("paste off its column") << int(BassColumn) << bass << "Right Ctrl+V"
                                          << "Paste: cursor not at original start column";
    QTest::newRow("paste wider than the tracks left")
        << int(BareColumn) << QStringList { "Bare", "Bass" } << "End Ctrl+V"
        << "Paste: not enough tracks";
    QTest::newRow("paste onto another node")
        << int(BassColumn) << QStringList { "Hats" } << "Ctrl+V"
        << "Paste: track mismatch at column 1";
    QTest::newRow("a node without patterns") << -1 << QStringList() << "End Space"
                                             << "Bare has no patterns to place";
    QTest::newRow("typed past the node's patterns") << -1 << QStringList() << "0 3"
                                                    << "Bass has no pattern 03";
    QTest::newRow("a letter is a digit too") << -1 << QStringList() << "0 A"
                                             << "Bass has no pattern 0A";
}

void SequencerViewTest::refusalsWriteNothingAndSayWhy()
{
    QFETCH(int, blockTrack);
    QFETCH(QStringList, blockNodes);
    QFETCH(QString, keys);
    QFETCH(QString, said);
    Arranger a;
    if (blockTrack >= 0) {
        SequenceBlock block;
        block.firstTrack = blockTrack;
        for (const QString& name : blockNodes)
            for (const auto& n : a.song->graph->nodes)
                if (n->name == name)
                    block.trackIds << n->uniqueID;
        block.stepCount = 1;
        block.cells = QList<SequenceCell>(
            blockNodes.size(), SequenceCell { true, Entry::BreakEntry, false, {} });
        a.copyToClipboard(block);
    }
    QSignalSpy status(&a.view, &SequencerView::statusMessage);
    const QByteArray before = a.bytes();
    a.press(keys);
    QCOMPARE(a.bytes(), before);
    QCOMPARE(a.history.stack().count(), 0);
    QVERIFY(!a.song->changed);
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.first().first().toString(), said);
}

void SequencerViewTest::enterPatternNavigates_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<bool>("withPattern");
    QTest::newRow("on a pattern") << "Down Down Return" << true;
    QTest::newRow("on a break") << "Down Down Down Return" << false;
    QTest::newRow("on nothing") << "Down Return" << false;
}

void SequencerViewTest::enterPatternNavigates()
{
    QFETCH(QString, keys);
    QFETCH(bool, withPattern);
    Arranger a;
    QSignalSpy navigate(&a.view, &SequencerView::navigate);
    a.press(keys);
    QCOMPARE(navigate.count(), 1);
    const QString node = a.bass->uniqueID;
    QCOMPARE(navigate.first().first().toString(),
        withPattern ? QString("pattern(%1,%2)").arg(node, a.bass->patterns.at(1)->uniqueID)
                    : QString("pattern(%1)").arg(node));
}

// Removing asks with the node's name and undoes whole; the Output's only track stays; the
// menu adds a track for the node chosen and offers it first the next time.
void SequencerViewTest::tracksAddAndRemove()
{
    Arranger a;
    const QByteArray before = a.bytes();
    a.press("Ctrl+-");
    QCOMPARE(a.questions, QStringList { "Remove the track of Bass with all its entries?" });
    QCOMPARE(a.arrangement(), "Outp: Hats:0 Bare: B0 E0 L0 @1:0");
    a.press("Ctrl+Z");
    QCOMPARE(a.bytes(), before);

    a.press("Home Ctrl+-");
    QCOMPARE(a.boxes.size(), 1);
    QVERIFY(a.boxes.first().startsWith("Remove Track: Output"));
    QCOMPARE(a.bytes(), before);
    QCOMPARE(a.questions.size(), 1);

    QMenu* menu = a.view.addTrackMenu();
    QStringList names;
    for (QAction* action : menu->actions())
        if (!action->isSeparator())
            names << action->text();
    QCOMPARE(names, QStringList({ "Output", "Bass", "Hats", "Bare" }));
    menu->actions().at(1)->trigger(); // after the section: Output
    QCOMPARE(a.arrangement(), kStart + " Outp: B0 E0 L0 @4:0");
    a.press("Ctrl+Return");
    QMenu* shown = a.view.findChild<QMenu*>();
    QCOMPARE(shown->activeAction()->text(), "Output");
    shown->close();
    a.press("Home Ctrl+-"); // with a second track, the Output's first may go
    QCOMPARE(a.arrangement(), "Bass:0.1b Hats:0 Bare: Outp: B0 E0 L0 @0:0");
}

void SequencerViewTest::contextMenuPlacesAndUnpauses()
{
    Arranger a;
    a.bass->processor->paused = true;
    a.bass->processor->peakMs = 12.46;
    a.press("Down");
    QMenu* menu = a.view.contextMenu();
    QAction* unpause = nullptr;
    QMenu* place = nullptr;
    for (QAction* action : menu->actions()) {
        if (action->text().startsWith("&Unpause"))
            unpause = action;
        if (action->menu())
            place = action->menu();
    }
    QVERIFY(unpause && place);
    QCOMPARE(unpause->text(), "&Unpause Bass");
    QCOMPARE(unpause->toolTip(), "Node was auto-paused (peak: 12.5 ms)");
    QCOMPARE(place->actions().size(), 3);
    QCOMPARE(place->actions().at(2)->text(), "02 P2");
    place->actions().at(2)->trigger();
    unpause->trigger();
    QCOMPARE(a.arrangement(), "Outp: Bass:021b Hats:0 Bare: B0 E0 L0 @1:1");
    QVERIFY(!a.bass->processor->paused);
    QCOMPARE(a.bass->processor->peakMs, 0.0);
    a.press("End Left");
    QVERIFY(!a.view.contextMenu()->actions().last()->text().startsWith("&Unpause"));
    // A right click elsewhere takes the cursor along, since the menu acts at the cursor.
    const QPoint at = a.view.cellRect(5, BassColumn).center();
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, a.view.mapToGlobal(at));
    QApplication::sendEvent(&a.view, &click);
    QCOMPARE(a.view.cursorStep(), 5);
    QCOMPARE(a.view.cursorColumn(), int(BassColumn));
    a.view.findChild<QMenu*>()->close();
    // Inside a marked block it keeps the block, for a cut or copy from the menu.
    a.press("Shift+Down Shift+Down");
    const QPoint inside = a.view.cellRect(6, BassColumn).center();
    QContextMenuEvent second(QContextMenuEvent::Mouse, inside, a.view.mapToGlobal(inside));
    QApplication::sendEvent(&a.view, &second);
    QVERIFY(a.view.hasSelection());
    QCOMPARE(a.view.cursorStep(), 7);
    a.view.findChild<QMenu*>()->close();
}

void SequencerViewTest::mouseMovesCursorAndPlayPosition_data()
{
    QTest::addColumn<int>("endStep"); // 0: the sequence has no end
    QTest::addColumn<int>("column"); // -1: the gutter
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("cursor");
    QTest::addColumn<int>("playStep");
    QTest::newRow("a cell") << 0 << int(HatsColumn) << 5 << "2:5" << 0;
    QTest::newRow("the gutter, no end") << 0 << -1 << 7 << "1:0" << 7;
    QTest::newRow("the gutter past the end") << 3 << -1 << 7 << "1:0" << 3;
    QTest::newRow("the gutter before the end") << 3 << -1 << 2 << "1:0" << 2;
}

void SequencerViewTest::mouseMovesCursorAndPlayPosition()
{
    QFETCH(int, endStep);
    QFETCH(int, column);
    QFETCH(int, step);
    QFETCH(QString, cursor);
    QFETCH(int, playStep);
    Arranger a;
    Position& p = a.sequencer.position;
    p.sequenceEnd.sample = endStep * kTicksPerStep * p.samplesPerTick();
    QSignalSpy moved(&a.view, &SequencerView::playPositionMoved);
    const QRect cell = a.view.cellRect(step, std::max(column, 0));
    const QPoint at = column < 0 ? QPoint(4, cell.center().y()) : cell.center();
    QTest::mouseClick(&a.view, Qt::LeftButton, {}, at);
    QCOMPARE(QString("%1:%2").arg(p.cursorColumn).arg(p.cursor.step()), cursor);
    QCOMPARE(p.playPos.step(), playStep);
    QCOMPARE(moved.count(), column < 0 ? 1 : 0);
    QVERIFY(!a.song->changed);
}

void SequencerViewTest::scrollFollowsPlayAndWheel()
{
    Arranger a;
    Position& p = a.sequencer.position;
    p.playPos.sample = 100 * kTicksPerStep * p.samplesPerTick();
    a.view.playPositionChanged();
    QCOMPARE(p.scrollStep, 0); // stopped: the view stays where the user looks
    p.playing = true;
    a.view.playPositionChanged();
    QVERIFY(p.scrollStep <= 100 && 100 < p.scrollStep + p.scrollHeight - 2);
    QWheelEvent wheel(QPointF(50, 50), QPointF(50, 50), QPoint(), QPoint(0, -240), Qt::NoButton,
        Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&a.view, &wheel);
    QCOMPARE(a.view.cursorStep(), 2); // two notches down
    a.view.resize(a.view.cellRect(0, 2).x() + 10, 400); // room for two tracks
    a.press("End");
    const QRect last = a.view.cellRect(2, BareColumn);
    QVERIFY(a.view.rect().contains(last));
    a.press("Home");
    QVERIFY(a.view.rect().contains(a.view.cellRect(2, OutputColumn).center()));
}

void SequencerViewTest::paintMarksCursorSelectionAndMarkers()
{
    Arranger a;
    a.press("Down Down Ctrl+B Up Shift+Down Shift+Right");
    const QImage image = a.view.grab().toImage();
    const QPalette palette = a.view.palette();
    const QRect cursor = a.view.cellRect(2, HatsColumn);
    QCOMPARE(image.pixelColor(cursor.right() - 3, cursor.center().y()),
        palette.color(QPalette::Highlight));
    const QRect selected = a.view.cellRect(1, BassColumn);
    const QColor base = image.pixelColor(selected.right() - 3, selected.top() + 2);
    QVERIFY(base != palette.color(QPalette::Base) && base != palette.color(QPalette::Highlight));
    const QRect outside = a.view.cellRect(1, BareColumn);
    QCOMPARE(image.pixelColor(outside.right() - 3, outside.top() + 2),
        image.pixelColor(5, outside.top() + 2)); // the row's own colour, as in the gutter
    // The sequence begin is a line at the top of step 2, across the tracks.
    const QRect begin = a.view.cellRect(2, BareColumn);
    const QColor green(90, 200, 120);
    QVERIFY(image.pixelColor(begin.center().x(), begin.top()) == green
        || image.pixelColor(begin.center().x(), begin.top() - 1) == green);
}

void SequencerViewTest::damagedGridStaysInRange_data()
{
    QTest::addColumn<int>("scrollStep");
    QTest::addColumn<int>("ticksPerStep");
    QTest::addColumn<int>("samplesPerTick");
    QTest::newRow("scrolled to the last int") << INT_MAX << 1 << 1;
    QTest::newRow("scrolled below zero") << INT_MIN << 4 << 64;
    QTest::newRow("a huge grid") << 5 << INT_MAX << 0;
}

// What a damaged file may hold: drawing, paging and a click in the step numbers neither
// overflow (the sanitizers would stop the test) nor leave the cursor where samples wrap.
void SequencerViewTest::damagedGridStaysInRange()
{
    QFETCH(int, scrollStep);
    QFETCH(int, ticksPerStep);
    QFETCH(int, samplesPerTick);
    Arranger a;
    a.view.show(); // shown already, as in the window, so no resize follows the song
    QVERIFY(QTest::qWaitForWindowExposed(&a.view));
    Position& p = a.sequencer.position;
    p.scrollStep = scrollStep;
    p.ticksPerStepValue = ticksPerStep;
    p.samplesPerTickValue = samplesPerTick;
    a.view.setSong(a.song);
    QVERIFY(p.scrollStep >= 0);
    a.view.grab();
    for (int i = 0; i < 3; ++i)
        a.press("PgDown");
    QTest::mouseClick(
        &a.view, Qt::LeftButton, {}, QPoint(4, a.view.cellRect(p.scrollStep + 2, 0).y() + 2));
    a.view.grab();
    QVERIFY(p.cursor.sample >= 0);
}

QTEST_MAIN(SequencerViewTest)
#include "tst_sequencer_view.moc"
