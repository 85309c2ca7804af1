#include "../song/FakeProcessor.h"
#include "KeyScript.h"
#include "song/PatternClipboard.h"
#include "song/Sequencer.h"
#include "song/Song.h"
#include "ui/pattern/PatternEdits.h"
#include "ui/pattern/PatternNames.h"
#include "ui/pattern/PatternView.h"
#include "ui/undo/SongHistory.h"

#include <QClipboard>
#include <QMimeData>
#include <QSignalSpy>
#include <QtTest>

namespace {

// Flat parameters: a switch, a byte and a word of the node, then lanes of a note and a byte.
// Characters: On 0, Gain 1-2, Rate 3-6, lane 1 Note 7-9 (8 is never a position), Vel 10-11.
enum Flat { On, Gain, Rate, Lane1Note, Lane1Vel, Lane2Note, Lane2Vel };
constexpr int kLength = 8;
constexpr quint32 kNoRow = 0xFFFFFFFF;

struct Cell {
    int tick;
    int parameter;
    quint32 value; // kNoRow: the tick has no row
};
using Cells = QList<Cell>;

// A view on pattern "Bass 03" of a node, with the song's history and the boxes it showed.
struct Editor {
    SongPointer song = Song::createEmpty();
    zarn::NodePointer node = zarn::NodePointer::create();
    PatternPointer pattern = PatternPointer::create(QStringLiteral("Bass 03"), node, kLength);
    SongHistory history;
    PatternView view;
    QStringList boxes;

    explicit Editor(int lanes = 2, const Cells& cells = {})
    {
        node->processor = QSharedPointer<FakeProcessor>::create();
        pattern->lanes = lanes;
        node->patterns.append(pattern);
        for (const Cell& c : cells)
            patternEdits::writeCell(
                *pattern, *node->processor->schema(), c.tick, c.parameter, c.value);
        history.setSong(song);
        view.setHistory(&history);
        view.setSong(song);
        view.showPattern(node, pattern);
        view.inform
            = [this](const QString& title, const QString& text) { boxes << title + ": " + text; };
        view.resize(800, 400);
    }
    void press(const QString& keys) { pressKeys(&view, keys); }
    QByteArray bytes() const
    {
        QByteArray out;
        QDataStream stream(&out, QIODevice::WriteOnly);
        pattern->write(stream);
        stream << pattern->lanes;
        return out;
    }
    quint32 cell(int tick, int parameter) const
    {
        if (!pattern->rowAt(tick))
            return kNoRow;
        return patternEdits::cellAt(*pattern, *node->processor->schema(), tick, parameter);
    }
};

} // namespace

Q_DECLARE_METATYPE(Cells)

class PatternViewTest : public QObject {
    Q_OBJECT

private slots:
    void typing_data();
    void typing();
    void selection_data();
    void selection();
    void editsUndoToTheSameBytes_data();
    void editsUndoToTheSameBytes();
    void refusalsWriteNothing_data();
    void refusalsWriteNothing();
    void typingDownAColumnIsOneStep();
    void changedFlagFollowsTheCleanState();
    void copyPatternFlow();
    void newEditAndDeleteFlows();
    void cellTexts_data();
    void cellTexts();
    void wheelMovesTheCursor();
    void playLineFollowsThePosition_data();
    void playLineFollowsThePosition();
    void paintMarksCursorSelectionAndPlayRow();
};

// From tick 2 at base octave 4. `preset` is written at the cell first (kNoRow: nothing).
void PatternViewTest::typing_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<quint32>("preset");
    QTest::addColumn<quint32>("value");
    QTest::addColumn<int>("tick");
    QTest::newRow("F on an empty byte's first character")
        << "Right F" << int(Gain) << kNoRow << 0xF0u << 3;
    QTest::newRow("F on the second makes the empty value")
        << "Right Right F" << int(Gain) << 0xF0u << 0xFFu << 3;
    QTest::newRow("a word's second character")
        << "Home Right Right Right Right 7" << int(Rate) << 0x1234u << 0x1734u << 3;
    QTest::newRow("switch on") << "1" << int(On) << kNoRow << 1u << 3;
    QTest::newRow("a switch takes no 5") << "5" << int(On) << kNoRow << kNoRow << 2;
    QTest::newRow("Z") << "Tab Z" << int(Lane1Note) << kNoRow << 48u << 3;
    QTest::newRow("Q") << "Tab Q" << int(Lane1Note) << kNoRow << 60u << 3;
    QTest::newRow("P") << "Tab P" << int(Lane1Note) << kNoRow << 76u << 3;
    QTest::newRow("L") << "Tab L" << int(Lane1Note) << kNoRow << 61u << 3;
    QTest::newRow("1 is a note-off") << "Tab 1" << int(Lane1Note) << kNoRow << 254u << 3;
    QTest::newRow("a keypad key is no note")
        << "Tab Num+Z" << int(Lane1Note) << kNoRow << kNoRow << 2;
    QTest::newRow("keypad slash lowers the octave")
        << "Num+/ Tab Z" << int(Lane1Note) << kNoRow << 36u << 3;
    QTest::newRow("octave 7 on C#5") << "Tab Right 7" << int(Lane1Note) << 61u << 85u << 3;
    QTest::newRow("octave on an empty note")
        << "Tab Right 7" << int(Lane1Note) << 255u << 255u << 3;
    QTest::newRow("lane 2 from the end")
        << "End Left Left Left Z" << int(Lane2Note) << kNoRow << 48u << 3;
    QTest::newRow("erase") << "Right ." << int(Gain) << 0x20u << 0xFFu << 3;
}

void PatternViewTest::typing()
{
    QFETCH(QString, keys);
    QFETCH(int, parameter);
    QFETCH(quint32, preset);
    Editor editor(2, preset == kNoRow ? Cells() : Cells { { 2, parameter, preset } });
    editor.press("Down Down " + keys);
    QTEST(editor.cell(2, parameter), "value");
    QTEST(editor.view.cursor().tick, "tick");
}

// Span as (first tick, last tick, first parameter, last parameter), or all -1 for none.
void PatternViewTest::selection_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QList<int>>("span");
    const QString atFive = "Down Down Down Down Down ";
    QTest::newRow("mark begin runs to the end")
        << atFive + "Ctrl+B" << 1 << QList<int> { 5, 7, On, On };
    QTest::newRow("marked twice: a range")
        << atFive + "Ctrl+B Ctrl+B" << 2 << QList<int> { 5, 7, On, On };
    QTest::newRow("four more come back to 2")
        << atFive + "Ctrl+B Ctrl+B Ctrl+B Ctrl+B Ctrl+B Ctrl+B" << 2 << QList<int> { 5, 7, On, On };
    QTest::newRow("one lane") << "Tab Ctrl+B Ctrl+B Ctrl+B" << 3
                              << QList<int> { 0, 7, Lane1Note, Lane1Vel };
    QTest::newRow("everything") << "Ctrl+B Ctrl+B Ctrl+B Ctrl+B" << 4
                                << QList<int> { 0, 7, On, Lane2Vel };
    QTest::newRow("mark end starts at 0")
        << "Down Down Right Ctrl+E" << 1 << QList<int> { 0, 2, Gain, Gain };
    QTest::newRow("begin then end")
        << "Down Ctrl+B Down Down Ctrl+E" << 1 << QList<int> { 1, 3, On, On };
    QTest::newRow("Shift+Down once: the anchor row")
        << atFive + "Shift+Down" << 2 << QList<int> { 5, 5, On, On };
    QTest::newRow("twice: 5 and 6")
        << atFive + "Shift+Down Shift+Down" << 2 << QList<int> { 5, 6, On, On };
    QTest::newRow("up twice: 4 and 5")
        << atFive + "Shift+Up Shift+Up" << 2 << QList<int> { 4, 5, On, On };
    QTest::newRow("across parameters")
        << "Shift+Right Shift+Right Shift+Right Shift+Down" << 2 << QList<int> { 0, 0, On, Rate };
    QTest::newRow("a Shift block widened to its lane")
        << "Right Right Right Shift+Down Ctrl+B Ctrl+B" << 3 << QList<int> { 1, 1, On, Rate };
    QTest::newRow("escape clears") << "Ctrl+B Escape" << 1 << QList<int> { -1, -1, -1, -1 };
}

void PatternViewTest::selection()
{
    QFETCH(QString, keys);
    QFETCH(QList<int>, span);
    Editor editor;
    editor.press(keys);
    const PatternSelection& s = editor.view.selection();
    QCOMPARE(s.active, span[0] >= 0);
    if (!s.active)
        return;
    QTEST(s.mode, "mode");
    const auto got = s.span(3, 2, 2);
    QCOMPARE(
        QList<int>({ got.firstTick, got.lastTick, got.firstParameter, got.lastParameter }), span);
}

// Each edit is one undo step back to the exact bytes, and redo brings its result back.
void PatternViewTest::editsUndoToTheSameBytes_data()
{
    QTest::addColumn<Cells>("preset");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<Cells>("expected");
    QTest::newRow("interpolate 0x00 to 0x10")
        << Cells { { 0, Gain, 0 }, { 4, Gain, 0x10 } }
        << "Right Ctrl+B Down Down Down Down Ctrl+E Ctrl+I"
        << Cells { { 1, Gain, 4 }, { 2, Gain, 8 }, { 3, Gain, 12 }, { 4, Gain, 16 } };
    QTest::newRow("through waypoints")
        << Cells { { 0, Gain, 0 }, { 2, Gain, 0x10 }, { 6, Gain, 0x20 } }
        << "Right Ctrl+B Ctrl+Shift+I"
        << Cells { { 1, Gain, 8 }, { 3, Gain, 0x14 }, { 5, Gain, 0x1C }, { 7, Gain, kNoRow } };
    QTest::newRow("step up") << Cells { { 1, Gain, 0x20 }, { 2, Gain, 0xFF } }
                             << "Right Ctrl+B Shift++"
                             << Cells { { 1, Gain, 0x21 }, { 2, Gain, 0xFF }, { 3, Gain, kNoRow } };
    QTest::newRow("coarse step down, clamped")
        << Cells { { 0, Lane1Note, 60 }, { 1, Lane1Note, 5 }, { 2, Lane1Note, 254 } }
        << "Tab Ctrl+B Ctrl+_"
        << Cells { { 0, Lane1Note, 48 }, { 1, Lane1Note, 0 }, { 2, Lane1Note, 254 } };
    QTest::newRow("coarse step up a byte, clamped")
        << Cells { { 0, Gain, 0xF0 } } << "Right Ctrl+B Ctrl+Shift++"
        << Cells { { 0, Gain, 0xFE } };
    QTest::newRow("insert row") << Cells { { 2, Gain, 7 }, { 7, Gain, 9 } } << "Down Down Insert"
                                << Cells { { 2, Gain, kNoRow }, { 3, Gain, 7 },
                                       { 7, Gain, kNoRow } };
    QTest::newRow("insert at the last tick clears it")
        << Cells { { 7, Gain, 9 } } << "Ctrl+End Insert" << Cells { { 7, Gain, kNoRow } };
    QTest::newRow("delete row") << Cells { { 2, Gain, 7 }, { 3, Gain, 8 } } << "Down Down Delete"
                                << Cells { { 2, Gain, 8 }, { 3, Gain, kNoRow },
                                       { 7, Gain, kNoRow } };
    QTest::newRow("delete at the last tick clears it") << Cells { { 6, Gain, 1 },
        { 7, Gain, 9 } } << "Ctrl+End Delete" << Cells { { 6, Gain, 1 }, { 7, Gain, kNoRow } };
    QTest::newRow("cut") << Cells { { 0, Gain, 1 }, { 1, Gain, 2 }, { 1, Rate, 3 } }
                         << "Right Ctrl+B Ctrl+X"
                         << Cells { { 0, Gain, 0xFF }, { 1, Gain, 0xFF }, { 1, Rate, 3 } };
    QTest::newRow("copy and paste into lane 2")
        << Cells { { 0, Lane1Note, 60 }, { 1, Lane1Vel, 0x30 } }
        << "Tab Ctrl+B Ctrl+B Ctrl+B Ctrl+C Tab Ctrl+V"
        << Cells { { 0, Lane2Note, 60 }, { 1, Lane2Vel, 0x30 }, { 0, Lane1Note, 60 } };
    QTest::newRow("add lane") << Cells {} << "Ctrl++" << Cells {};
    QTest::newRow("remove lane") << Cells {} << "Ctrl+-" << Cells {};
}

void PatternViewTest::editsUndoToTheSameBytes()
{
    QFETCH(Cells, preset);
    QFETCH(QString, keys);
    QFETCH(Cells, expected);
    Editor editor(2, preset);
    const QByteArray before = editor.bytes();
    editor.press(keys);
    for (const Cell& c : expected)
        QCOMPARE(editor.cell(c.tick, c.parameter), c.value);
    const QByteArray after = editor.bytes();
    QVERIFY(after != before);
    QCOMPARE(editor.history.stack().count(), 1);
    editor.press("Ctrl+Z");
    QCOMPARE(editor.bytes(), before);
    editor.press("Ctrl+Y");
    QCOMPARE(editor.bytes(), after);
    QVERIFY(editor.boxes.isEmpty());
}

void PatternViewTest::refusalsWriteNothing_data()
{
    QTest::addColumn<int>("lanes");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QByteArray>("clipboard");
    QTest::newRow("add a lane at 255")
        << 255 << "Ctrl++"
        << "Max lanes: Can't add more lanes to this pattern" << QByteArray();
    QTest::newRow("remove a lane at 0")
        << 0 << "Ctrl+-"
        << "Min lanes: Can't remove more lanes from this pattern" << QByteArray();
    QTest::newRow("one tick interpolates nothing") << 2 << "Right Shift+Down Ctrl+I"
                                                   << "" << QByteArray();
    QTest::newRow("stepping without a selection") << 2 << "Right Shift++"
                                                  << "" << QByteArray();
    QTest::newRow("paste of a damaged block") << 2 << "Ctrl+V"
                                              << "" << QByteArray("\0\0\0\7garbage", 11);
}

void PatternViewTest::refusalsWriteNothing()
{
    QFETCH(int, lanes);
    QFETCH(QString, box);
    QFETCH(QByteArray, clipboard);
    Editor editor(lanes, { { 0, Gain, 0x10 }, { 1, Gain, 0x20 } });
    auto* data = new QMimeData;
    data->setData(PatternBlock::kMimeType, clipboard);
    QGuiApplication::clipboard()->setMimeData(data);
    const QByteArray before = editor.bytes();
    QFETCH(QString, keys);
    editor.press(keys);
    QCOMPARE(editor.bytes(), before);
    QCOMPARE(editor.history.stack().count(), 0);
    QCOMPARE(editor.boxes, box.isEmpty() ? QStringList() : QStringList { box });
}

// A melody typed down a column is one step; a keystroke elsewhere starts another.
void PatternViewTest::typingDownAColumnIsOneStep()
{
    Editor editor;
    const QByteArray before = editor.bytes();
    editor.press("Tab Z X C");
    QCOMPARE(editor.history.stack().count(), 1);
    QCOMPARE(editor.history.stack().undoText(), QStringLiteral("typing"));
    editor.press("Right Right 4");
    QCOMPARE(editor.history.stack().count(), 2);
    editor.press("Up Right 5"); // the same cell again
    QCOMPARE(editor.history.stack().count(), 2);
    QCOMPARE(editor.cell(3, Lane1Vel), 0x45u);
    editor.history.undo();
    editor.history.undo();
    QCOMPARE(editor.bytes(), before);
}

// Undoing back to the saved state clears the flag, unless something outside the history
// changed the song since.
void PatternViewTest::changedFlagFollowsTheCleanState()
{
    Editor editor;
    editor.press("Tab Z");
    QVERIFY(editor.song->changed);
    editor.song->untaint(QStringLiteral("saveSong"));
    editor.history.markSaved();
    editor.press("X");
    QVERIFY(editor.song->changed);
    editor.history.undo();
    QVERIFY(!editor.song->changed);
    editor.history.redo();
    QVERIFY(editor.song->changed);
    editor.history.undo();
    editor.song->taint(QStringLiteral("tempoChanged"));
    editor.press("C");
    editor.history.undo();
    QVERIFY(editor.song->changed);
    editor.history.setSong(editor.song);
    QCOMPARE(editor.history.stack().count(), 0);
}

// The copy's proposed name drops the prefix and number; a taken name asks again.
void PatternViewTest::copyPatternFlow()
{
    Editor editor(2, { { 1, Gain, 0x42 } });
    QCOMPARE(patternNames::proposeNew(*editor.node), QStringLiteral("00"));
    QStringList asked;
    QList<PatternView::PatternAnswer> answers = { { true, "Bass 03", 4 }, { true, "Bass", 4 } };
    editor.view.askPattern = [&](const QString& title, const QString& name, int length) {
        asked << QString("%1 %2 %3").arg(title, name).arg(length);
        return answers.takeFirst();
    };
    QSignalSpy navigated(&editor.view, &PatternView::navigateApp);
    editor.press("Ctrl+Shift+Return");
    QCOMPARE(asked, QStringList({ "Copy Pattern Copy of Bass 00 8", "Copy Pattern Bass 03 4" }));
    QCOMPARE(editor.boxes,
        QStringList {
            "Pattern exists for copy: A pattern already exists with the name you selected" });
    QCOMPARE(editor.node->patterns.size(), 2);
    const PatternPointer copy = editor.node->patterns.last();
    QCOMPARE(copy->name, QStringLiteral("Bass"));
    QCOMPARE(copy->length, kLength);
    QCOMPARE(copy->uniqueID.size(), 20);
    QVERIFY(copy->rowAt(1) != editor.pattern->rowAt(1)
        && copy->rowAt(1)->cells == editor.pattern->rowAt(1)->cells);
    QCOMPARE(navigated.first().first().toString(),
        QString("pattern(%1, %2)").arg(editor.node->uniqueID, copy->uniqueID));
    editor.pattern->name = QStringLiteral("Copy of Bass 03");
    editor.node->patterns.append(PatternPointer::create("Copy of Bass 00", editor.node, 4));
    QCOMPARE(patternNames::proposeCopy(*editor.node, editor.pattern->name),
        QStringLiteral("Copy of Bass 01"));
    editor.history.undo();
    QCOMPARE(editor.node->patterns.size(), 2);
    QVERIFY(!editor.node->patterns.contains(copy));
}

// New proposes the first free number at the song's grid; edit refuses another pattern's
// name; delete asks first. Each is one undo step.
void PatternViewTest::newEditAndDeleteFlows()
{
    Editor editor;
    editor.node->patterns.append(PatternPointer::create("00", editor.node, 4));
    editor.node->song = editor.song;
    const TrackPointer track = editor.song->sequencer->addTrack(editor.node);
    track->setEntry(4, editor.pattern);
    QStringList asked;
    QList<PatternView::PatternAnswer> answers
        = { { true, "Verse", 32 }, { true, "00", 5 }, { true, "Chorus", 12 } };
    editor.view.askPattern = [&](const QString& title, const QString& name, int length) {
        asked << QString("%1 %2 %3").arg(title, name).arg(length);
        return answers.takeFirst();
    };
    QList<bool> questions = { false, true };
    editor.view.ask = [&](const QString& title, const QString& question) {
        asked << title + " " + question;
        return questions.takeFirst();
    };
    editor.press("Ctrl+Return");
    QCOMPARE(editor.node->patterns.size(), 3);
    QCOMPARE(editor.node->patterns.last()->length, 32);
    editor.press("Ctrl+Backspace");
    QCOMPARE(editor.pattern->name, QStringLiteral("Chorus"));
    QCOMPARE(editor.pattern->length, 12);
    editor.press("Ctrl+Del");
    QCOMPARE(editor.node->patterns.size(), 3);
    editor.press("Ctrl+Del");
    QVERIFY(!editor.node->patterns.contains(editor.pattern));
    QVERIFY(!track->entryAt(4)); // a deleted pattern plays nowhere
    QCOMPARE(asked,
        QStringList({ "New Pattern 01 16", "Edit Pattern Bass 03 8", "Edit Pattern 00 5",
            "Delete Pattern Would you like to delete this pattern?",
            "Delete Pattern Would you like to delete this pattern?" }));
    QCOMPARE(editor.boxes,
        QStringList {
            "Pattern exists for edit: A pattern already exists with the name you selected" });
    QCOMPARE(editor.history.stack().count(), 3);
    editor.history.undo();
    editor.history.undo();
    QCOMPARE(editor.node->patterns.first(), editor.pattern);
    QCOMPARE(track->entryAt(4)->pattern, editor.pattern);
    QCOMPARE(editor.pattern->name, QStringLiteral("Bass 03"));
    QCOMPARE(editor.pattern->length, kLength);
}

void PatternViewTest::cellTexts_data()
{
    using P = ParameterDescriptor;
    QTest::addColumn<ParameterPointer>("parameter");
    QTest::addColumn<quint32>("value");
    QTest::addColumn<bool>("row");
    QTest::addColumn<QString>("text");
    const ParameterPointer byte = P::byte("B", "", 0, 0xFE, 0xFF, 0);
    QTest::newRow("no row") << byte << 0x12u << false << "x";
    QTest::newRow("byte") << byte << 0x1ABu << true << "AB";
    QTest::newRow("empty byte") << byte << 0xFFu << true << "..";
    QTest::newRow("word") << P::word("W", "", 0xFFFE, 0) << 0x12ABCu << true << "2ABC";
    QTest::newRow("empty note") << P::midiNote("N", "", 253) << 255u << true << "...";
    QTest::newRow("note") << P::midiNote("N", "", 253) << 61u << true << "C#5";
    QTest::newRow("switch on") << P::makeSwitch("S", "", 0) << 0x101u << true
                               << QString(QChar(0x23FD));
    QTest::newRow("switch off") << P::makeSwitch("S", "", 0) << 0x100u << true
                                << QString(QChar(0x2B58));
}

void PatternViewTest::cellTexts()
{
    QFETCH(ParameterPointer, parameter);
    QFETCH(quint32, value);
    QFETCH(bool, row);
    QTEST(PatternView::cellText(*parameter, value, row), "text");
}

// An eighth of the delta in whole degrees, 15 degrees a step, each rounded half away from
// zero (56 is 7 degrees, no step; 60 is 8, one step); away from the user is up.
void PatternViewTest::wheelMovesTheCursor()
{
    Editor editor;
    editor.press("Ctrl+End");
    for (const auto& [delta, tick] : { std::pair { 240, 5 }, { 56, 5 }, { 60, 4 }, { -360, 7 } }) {
        QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, delta),
            Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&editor.view, &wheel);
        QCOMPARE(editor.view.cursor().tick, tick);
    }
}

// A node without a track loops its first pattern from tick 0. Four rows fit; while the
// song plays a row outside the first two brings it to the middle.
void PatternViewTest::playLineFollowsThePosition_data()
{
    QTest::addColumn<bool>("playing");
    QTest::addColumn<int>("tick");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("scrollTop");
    QTest::newRow("in view") << true << 1 << 1 << 0;
    QTest::newRow("below the view, playing") << true << 6 << 6 << 4;
    QTest::newRow("looped round") << true << 13 << 5 << 3;
    QTest::newRow("below the view, stopped") << false << 6 << 6 << 0;
}

void PatternViewTest::playLineFollowsThePosition()
{
    QFETCH(bool, playing);
    QFETCH(int, tick);
    Editor editor;
    editor.view.resize(800, editor.view.cellRect(4, 0).top() - 1);
    QCOMPARE(editor.view.visibleRows(), 4);
    Position position = editor.song->sequencer->position;
    position.playing = playing;
    position.playPos.sample = qint64(tick) * position.samplesPerTick();
    editor.view.playPositionChanged(position);
    QTEST(editor.view.playRow(), "row");
    QTEST(editor.view.scrollTop(), "scrollTop");
}

// Five rows fit and the cursor on Gain at tick 4 has scrolled the view by one; ticks 1-3
// of On are marked and tick 2 plays. Each shows, and an unmarked row stays plain.
void PatternViewTest::paintMarksCursorSelectionAndPlayRow()
{
    Editor editor;
    editor.view.resize(800, editor.view.cellRect(5, 0).top() - 1);
    QSignalSpy moved(&editor.view, &PatternView::cursorChanged);
    editor.press("Tab Shift+Tab");
    QCOMPARE(moved.count(), 2);
    editor.press("Down Ctrl+B Down Down Ctrl+E Right Down");
    QCOMPARE(editor.view.scrollTop(), 1);
    Position position = editor.song->sequencer->position;
    position.playPos.sample = 2 * position.samplesPerTick();
    editor.view.playPositionChanged(position);
    const QImage image = editor.view.grab().toImage();
    const auto at = [&](int tick, int parameter) {
        return image.pixelColor(editor.view.cellRect(tick, parameter).topLeft() + QPoint(4, 1));
    };
    const QColor base = editor.view.palette().color(QPalette::Base);
    QCOMPARE(at(4, Gain), editor.view.palette().color(QPalette::Highlight));
    QVERIFY(at(1, On) != base && at(3, On) == at(1, On) && at(1, Rate) == base);
    QVERIFY(at(2, Rate) != base && at(3, Rate) == base && at(5, Rate) == base);
}

QTEST_MAIN(PatternViewTest)
#include "tst_pattern_view.moc"
