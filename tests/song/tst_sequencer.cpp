#include "CapturedMessages.h"
#include "core/DataStream.h"
#include "song/Graph.h"
#include "song/Sequencer.h"
#include "song/Song.h"

#include <QtTest>

namespace {

using L = QList<int>;

// Default grid: 64 samples per tick, 16 ticks per step.
constexpr qint32 kStep = 16 * 64;

// Track layouts as text: '.' a null slot, 'b' a break, 'm' a mute, 'P' a pattern entry.
QString layoutOf(const Track& track)
{
    QString text;
    for (const EntryPointer& entry : track.entries)
        text += !entry                           ? '.'
            : entry->type == Entry::PatternEntry ? (entry->pattern ? 'P' : '?')
            : entry->type == Entry::BreakEntry   ? 'b'
                                                 : 'm';
    return text;
}

// Reads what `source` writes into the sequencer, binding it to the graph.
void readInto(Sequencer& sequencer, const Sequencer& source, const Graph& graph)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    datastream::prepare(out);
    source.write(out);
    QDataStream in(bytes);
    datastream::prepare(in);
    sequencer.read(in, graph);
    QCOMPARE(in.status(), QDataStream::Ok);
}

PatternPointer addPattern(const zarn::NodePointer& node, const QString& uniqueID)
{
    auto pattern = PatternPointer::create(QStringLiteral("00"), node, 16);
    pattern->uniqueID = uniqueID;
    node->patterns.append(pattern);
    return pattern;
}

} // namespace

class SequencerTest : public QObject {
    Q_OBJECT

private slots:
    void tempoFromTheStoredGrid_data();
    void tempoFromTheStoredGrid();
    void pointReadings_data();
    void pointReadings();
    void wrap_data();
    void wrap();
    void cursorMoves_data();
    void cursorMoves();
    void markersAndPlayPositionKeepTheirOrder_data();
    void markersAndPlayPositionKeepTheirOrder();
    void moveTrackSwapsWithinTheList();
    void entryOperationsShapeTheTrack_data();
    void entryOperationsShapeTheTrack();
    void readBindsEntriesAndTracks();
};

void SequencerTest::tempoFromTheStoredGrid_data()
{
    QTest::addColumn<L>("grid"); // samples per tick, sample rate, ticks per beat before
    QTest::addColumn<L>("tempo"); // beats per minute, ticks per beat; none when no match
    QTest::newRow("120 at 4, truncated") << L { 5512, 44100, 16 } << L { 120, 4 };
    QTest::newRow("120 at 16 from a 4 grid") << L { 1378, 44100, 4 } << L { 120, 16 };
    // 160 ticks a minute: 40 at 4 is plain, so 80 at 2 is not looked for.
    QTest::newRow("slowest plain tempo") << L { 16537, 44100, 4 } << L { 40, 4 };
    // 1600 ticks a minute: 400 at 4 is plain, so 100 at 16 is not looked for.
    QTest::newRow("fastest plain tempo") << L { 1653, 44100, 4 } << L { 400, 4 };
    QTest::newRow("between two tempos") << L { 5511, 44100, 4 } << L {};
    QTest::newRow("slower than any plain tempo") << L { 165375, 44100, 16 } << L { 1, 16 };
    QTest::newRow("damaged grid") << L { 0, 44100, 4 } << L {};
    QTest::newRow("no rate") << L { 5512, 0, 4 } << L {};
}

// A file keeps samples per tick only; the tempo shown must give exactly that grid back.
void SequencerTest::tempoFromTheStoredGrid()
{
    QFETCH(L, grid);
    QFETCH(L, tempo);
    Position position;
    position.samplesPerTickValue = grid[0];
    position.samplesPerSecond = grid[1];
    position.ticksPerBeat = grid[2];
    position.beatsPerMinute = 77;
    QCOMPARE(position.matchTempoToSamplesPerTick(), !tempo.isEmpty());
    QCOMPARE((L { position.beatsPerMinute, position.ticksPerBeat }),
        (tempo.isEmpty() ? L { 77, grid[2] } : tempo));
    CapturedMessages messages;
    position.updateNumbers();
    QCOMPARE(messages.lines(), QStringList()); // the numbers are logged only when debugging
    if (!tempo.isEmpty())
        QCOMPARE(position.samplesPerTick(), grid[0]);
    // Without a tempo the grid stays as it was rather than being divided by it.
    const int kept = position.samplesPerTick();
    position.beatsPerMinute = 0;
    position.updateNumbers();
    QCOMPARE(position.samplesPerTick(), kept);
}

void SequencerTest::pointReadings_data()
{
    QTest::addColumn<L>("point"); // samples per tick (-1: no provider), ticks per step, sample
    QTest::addColumn<L>("readings"); // tick, sample in tick, tick in step, step
    // 5000 = 78 x 64 + 8; 78 = 1 x 64 + 14
    QTest::newRow("null provider reads 64/64") << L { -1, 0, 5000 } << L { 78, 8, 14, 1 };
    QTest::newRow("zero grid reads like no provider") << L { 0, 0, 5000 } << L { 78, 8, 14, 1 };
    QTest::newRow("start of step 3") << L { 5512, 16, 3 * 16 * 5512 } << L { 48, 0, 0, 3 };
    // 264575 = 47 x 5512 + 5511
    QTest::newRow("step 2 ends") << L { 5512, 16, 3 * 16 * 5512 - 1 } << L { 47, 5511, 15, 2 };
    QTest::newRow("negative truncates towards zero") << L { 100, 4, -250 } << L { -2, -50, -2, 0 };
    QTest::newRow("grid product beyond 32 bits")
        << L { 65536, 65536, 2147483647 } << L { 32767, 65535, 32767, 0 };
}

void SequencerTest::pointReadings()
{
    QFETCH(L, point);
    Position grid;
    grid.samplesPerTickValue = point[0];
    grid.ticksPerStepValue = point[1];
    const Point p { point[2], point[0] < 0 ? nullptr : &grid };
    QTEST((L { p.tick(), p.sampleInTick(), p.tickInStep(), p.step() }), "readings");
}

void SequencerTest::wrap_data()
{
    QTest::addColumn<L>("given"); // looping, loop begin, end, play position
    QTest::addColumn<L>("expected"); // play position, still playing
    QTest::newRow("before the end") << L { 0, 0, 1000, 999 } << L { 999, 1 };
    QTest::newRow("stops past the end") << L { 0, 200, 1000, 1500 } << L { 1000, 0 };
    QTest::newRow("loop folds whole lengths") << L { 1, 200, 1000, 2605 } << L { 205, 1 };
    QTest::newRow("loop begin at the end") << L { 1, 1000, 1000, 1200 } << L { 1000, 1 };
}

void SequencerTest::wrap()
{
    QFETCH(L, given);
    QFETCH(L, expected);
    const Position endGrid;
    Position position;
    position.playing = true;
    position.looping = given[0];
    position.loopBegin.sample = given[1];
    position.sequenceEnd = { given[2], &endGrid };
    position.playPos.sample = given[3];
    position.wrapPlayPosition();
    QCOMPARE((L { position.playPos.sample, position.playing }), expected);
    // Stopping takes the end point whole; looping and passing keep the play position's grid.
    const GranularityProvider* provider = position.playing ? &position : &endGrid;
    QCOMPARE(position.playPos.provider, provider);
    QCOMPARE(position.shownPlayPos.sample, expected[0]);
    QCOMPARE(position.shownPlayPos.provider, provider);
}

void SequencerTest::cursorMoves_data()
{
    QTest::addColumn<L>("given"); // tracks, scroll height, scroll step, column, step
    QTest::addColumn<L>("expected"); // column, scroll step, cursor step, moved
    // Scroll follows when the step reaches scrollStep + scrollHeight - 2.
    QTest::newRow("step 9 of 10") << L { 3, 10, 0, 0, 9 } << L { 0, 9 - 10 + 2, 9, 1 };
    QTest::newRow("above the view") << L { 3, 10, 5, 0, 2 } << L { 0, 2, 2, 1 };
    QTest::newRow("negative step") << L { 3, 10, 3, 0, -4 } << L { 0, 0, 0, 0 };
    QTest::newRow("no tracks") << L { 0, 10, 0, 3, 0 } << L { -1, 0, 0, 1 };
    QTest::newRow("past the last track") << L { 3, 10, 0, 5, 0 } << L { 2, 0, 0, 1 };
    QTest::newRow("left of the first") << L { 3, 10, 0, -2, 0 } << L { 0, 0, 0, 0 };
}

void SequencerTest::cursorMoves()
{
    QFETCH(L, given);
    const auto song = Song::createEmpty();
    Sequencer& sequencer = *song->sequencer;
    for (int i = 0; i < given[0]; ++i)
        sequencer.addTrack({});
    song->changed = false;
    Position& p = sequencer.position;
    p.scrollHeight = given[1];
    p.scrollStep = given[2];
    const bool moved = sequencer.moveCursorAbsolute(given[3], given[4]);
    QCOMPARE(p.cursor.sample % kStep, 0);
    QTEST((L { p.cursorColumn, p.scrollStep, p.cursor.sample / kStep, moved }), "expected");
    QVERIFY(!song->changed); // the cursor is view state
}

void SequencerTest::markersAndPlayPositionKeepTheirOrder_data()
{
    QTest::addColumn<QString>("marker");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<L>("before"); // begin, end, loop begin, in steps
    QTest::addColumn<L>("after"); // and the play position
    QTest::addColumn<bool>("moved");
    const QString end = "setSequenceEnd";
    const QString loop = "setLoopBegin";
    const QString begin = "setSequenceBegin";
    const QString play = "movePlayPositionAbsolute"; // to the cursor's first tick
    QTest::newRow("end at the begin") << end << 3 << L { 3, 8, 3 } << L { 0, 3, 3 } << true;
    QTest::newRow("end before the begin") << end << 2 << L { 5, 8, 5 } << L { 1, 2, 1 } << true;
    QTest::newRow("end below the loop") << end << 8 << L { 0, 8, 9 } << L { 0, 8, 7 } << true;
    QTest::newRow("end unchanged") << end << 8 << L { 0, 8, 2 } << L { 0, 8, 2 } << false;
    QTest::newRow("loop beyond the end") << loop << 6 << L { 0, 4, 0 } << L { 0, 7, 6 } << true;
    QTest::newRow("loop at the end") << loop << 4 << L { 0, 4, 0 } << L { 0, 5, 4 } << true;
    QTest::newRow("loop before the begin") << loop << 2 << L { 4, 8, 4 } << L { 2, 8, 2 } << true;
    QTest::newRow("loop unchanged") << loop << 2 << L { 0, 8, 2 } << L { 0, 8, 2 } << false;
    QTest::newRow("begin beyond the end") << begin << 6 << L { 0, 4, 2 } << L { 6, 7, 6 } << true;
    QTest::newRow("begin unchanged") << begin << 3 << L { 3, 8, 5 } << L { 3, 8, 5 } << false;
    QTest::newRow("play before begin") << play << 0 << L { 2, 8, 0 } << L { 2, 8, 0, 2 } << true;
    QTest::newRow("play past the end") << play << 12 << L { 2, 8, 0 } << L { 2, 8, 0, 8 } << true;
    QTest::newRow("play below zero") << play << -1 << L { 0, 8, 0 } << L { 0, 8, 0, 0 } << false;
    QTest::newRow("play with no end") << play << 12 << L { 0, 0, 0 } << L { 0, 0, 0, 12 } << true;
}

void SequencerTest::markersAndPlayPositionKeepTheirOrder()
{
    QFETCH(QString, marker);
    QFETCH(int, cursor);
    QFETCH(L, before);
    QFETCH(L, after);
    const auto song = Song::createEmpty();
    Sequencer& sequencer = *song->sequencer;
    Position& p = sequencer.position;
    p.cursor.sample = cursor * kStep;
    p.sequenceBegin.sample = before[0] * kStep;
    p.sequenceEnd.sample = before[1] * kStep;
    p.loopBegin.sample = before[2] * kStep;
    QTEST(marker == "setSequenceBegin"   ? sequencer.setSequenceBegin()
            : marker == "setSequenceEnd" ? sequencer.setSequenceEnd()
            : marker == "setLoopBegin"   ? sequencer.setLoopBegin()
                                         : sequencer.movePlayPositionAbsolute(cursor * 16),
        "moved");
    QCOMPARE(
        (L { p.sequenceBegin.sample, p.sequenceEnd.sample, p.loopBegin.sample, p.playPos.sample }),
        (L { after[0] * kStep, after[1] * kStep, after[2] * kStep, after.value(3) * kStep }));
    // Only the begin and end markers are saved, so only they mark the song changed: listening
    // is not editing.
    const bool saved = after[0] != before[0] || after[1] != before[1];
    QCOMPARE(song->changed, saved);
    if (saved)
        QCOMPARE(song->changeReason, marker);
}

void SequencerTest::moveTrackSwapsWithinTheList()
{
    const auto song = Song::createEmpty();
    Sequencer& sequencer = *song->sequencer;
    const QList<TrackPointer> tracks
        = { sequencer.addTrack({}), sequencer.addTrack({}), sequencer.addTrack({}) };
    QCOMPARE(song->changeReason, "addTrack");
    song->changed = false;
    // First to the left, last to the right, a negative index, an index past the list.
    const std::pair<int, int> refused[] = { { 0, -1 }, { 2, 1 }, { -1, 1 }, { 3, -1 } };
    for (const auto& [index, delta] : refused)
        QVERIFY(!sequencer.moveTrack(index, delta));
    QVERIFY(!song->changed);
    QVERIFY(sequencer.moveTrack(1, 1));
    QVERIFY(sequencer.moveTrack(0, 2));
    QCOMPARE(sequencer.tracks, QList<TrackPointer>({ tracks[1], tracks[2], tracks[0] }));
    QCOMPARE(song->changeReason, "moveTrack");
}

void SequencerTest::entryOperationsShapeTheTrack_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("operation"); // name, index and count
    QTest::addColumn<QString>("after");
    QTest::newRow("set past the end") << "" << QString("set 5") << ".....P";
    QTest::newRow("set null clears") << "bbb" << QString("clear 0") << ".bb";
    QTest::newRow("set at negative") << "b" << QString("set -1") << "b";
    QTest::newRow("break past the end") << "" << QString("break 3") << "...b";
    QTest::newRow("insert inside") << "bbbb" << QString("insert 1 2") << "bPPbbb";
    QTest::newRow("insert at the end") << "bb" << QString("insert 2 1") << "bbP..";
    QTest::newRow("insert null slots") << "bbbb" << QString("insertNothing 2 2") << "bb..bb";
    QTest::newRow("insert at negative") << "bb" << QString("insert -1 2") << "bb";
    QTest::newRow("insert a negative count") << "bb" << QString("insert 0 -1") << "bb";
    QTest::newRow("insert none past the end") << "bb" << QString("insert 3 0") << "bb..";
    QTest::newRow("remove past the end of the list") << "b.bb" << QString("remove 1 10") << "b";
    QTest::newRow("remove at the size") << "bbbb" << QString("remove 4 1") << "bbbb";
    QTest::newRow("remove at negative") << "bbbb" << QString("remove -1 1") << "bbbb";
}

void SequencerTest::entryOperationsShapeTheTrack()
{
    QFETCH(QString, before);
    QFETCH(QString, operation);
    Track track;
    for (int i = 0; i < before.size(); ++i)
        if (before.at(i) == 'b')
            track.setBreak(i);
    track.entries.resize(before.size());
    const auto pattern = PatternPointer::create(QStringLiteral("00"), zarn::NodePointer(), 16);
    const QStringList words = operation.split(' ');
    const int index = words.at(1).toInt();
    const int count = words.value(2).toInt();
    if (words[0] == "break")
        track.setBreak(index);
    else if (words[0] == "remove")
        track.removeEntries(index, count);
    else if (words[0].startsWith("insert"))
        track.insertEntries(index, count, words[0] == "insert" ? pattern : PatternPointer());
    else
        track.setEntry(index, words[0] == "set" ? pattern : PatternPointer());
    QTEST(layoutOf(track), "after");
    QVERIFY(!track.entryAt(-1));
    QVERIFY(!track.entryAt(int(track.entries.size())));
    if (!track.entries.isEmpty())
        QCOMPARE(track.entryAt(0), track.entries.first());
}

void SequencerTest::readBindsEntriesAndTracks()
{
    // Output drives a track by its type; Input does not. Two nodes share a pattern id,
    // and the earlier node in the graph wins it.
    const auto song = Song::createEmpty();
    const auto output = zarn::Node::create(QStringLiteral("Output"), song);
    const auto input = zarn::Node::create(QStringLiteral("Input"), song);
    const auto twin = zarn::Node::create(QStringLiteral("Input"), song);
    const auto fromOutput = addPattern(output, QStringLiteral("outPattern"));
    const auto fromInput = addPattern(input, QStringLiteral("shared"));
    addPattern(twin, QStringLiteral("shared"));
    for (const auto& node : { output, input, twin })
        song->graph->addNode(node);
    Sequencer source { SongPointer() };
    const auto missing = PatternPointer::create(QStringLiteral("00"), zarn::NodePointer(), 16);
    missing->uniqueID = QStringLiteral("nowhere");
    const QList<TrackPointer> tracks
        = { source.addTrack({}), source.addTrack({}), source.addTrack({}), source.addTrack({}) };
    tracks[0]->setBreak(0);
    tracks[0]->setEntry(1, fromInput);
    tracks[1]->setBreak(0); // no pattern: takes Output, which no pattern binds
    tracks[2]->setEntry(0, missing); // the id matches nothing: a null slot
    tracks[3]->setBreak(0); // Output is taken: no node
    Sequencer& sequencer = *song->sequencer;
    readInto(sequencer, source, *song->graph);
    QCOMPARE(sequencer.tracks.size(), 4);
    QCOMPARE(sequencer.tracks[0]->uniqueID, tracks[0]->uniqueID);
    QCOMPARE(layoutOf(*sequencer.tracks[0]), "bP");
    QCOMPARE(sequencer.tracks[0]->entryAt(1)->pattern, fromInput);
    QCOMPARE(sequencer.tracks[0]->node, input);
    QCOMPARE(sequencer.tracks[1]->node, output);
    QCOMPARE(layoutOf(*sequencer.tracks[2]), ".");
    QVERIFY(!sequencer.tracks[2]->node);
    QVERIFY(!sequencer.tracks[3]->node);
    // A track starting Output's pattern claims Output before any track without patterns.
    tracks[3]->setEntry(1, fromOutput);
    readInto(sequencer, source, *song->graph);
    QVERIFY(!sequencer.tracks[1]->node);
    QCOMPARE(sequencer.tracks[3]->node, output);
}

QTEST_GUILESS_MAIN(SequencerTest)
#include "tst_sequencer.moc"
