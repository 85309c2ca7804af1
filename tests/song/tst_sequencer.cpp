#include "HandBytes.h"
#include "core/DataStream.h"
#include "song/Graph.h"
#include "song/Sequencer.h"
#include "song/Song.h"

#include <QtTest>

#include <functional>

using namespace handbytes;

namespace {

// Default grid: 64 samples per tick, 16 ticks per step.
constexpr qint32 kSamplesPerTick = 64;
constexpr qint32 kStep = 16 * kSamplesPerTick;

// Track layouts as text: '.' a null slot, 'b' a break, 'm' a mute, 'P' a pattern entry.
QString layoutOf(const Track& track)
{
    QString text;
    for (const EntryPointer& entry : track.entries) {
        if (!entry)
            text += '.';
        else if (entry->type == Entry::PatternEntry)
            text += entry->pattern ? 'P' : '?';
        else
            text += entry->type == Entry::BreakEntry ? 'b' : 'm';
    }
    return text;
}

// Builds a track from a layout of breaks and null slots.
void fill(Track& track, const QString& layout)
{
    for (int i = 0; i < layout.size(); ++i)
        if (layout.at(i) == 'b')
            track.setBreak(i);
    track.entries.resize(layout.size());
}

QByteArray written(const Sequencer& sequencer)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    datastream::prepare(stream);
    sequencer.write(stream);
    return bytes;
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
    void cursorScrollsTheView_data();
    void cursorScrollsTheView();
    void cursorColumnStaysOnATrack_data();
    void cursorColumnStaysOnATrack();
    void playPositionStaysInTheSequence_data();
    void playPositionStaysInTheSequence();
    void markersKeepTheirOrder_data();
    void markersKeepTheirOrder();
    void moveTrackSwapsWithinTheList_data();
    void moveTrackSwapsWithinTheList();
    void entryOperationsShapeTheTrack_data();
    void entryOperationsShapeTheTrack();
    void streamsToHandDerivedBytes();
    void readBindsEntriesAndTracks();
    void readMapsTypeNames();
};

void SequencerTest::cursorScrollsTheView_data()
{
    QTest::addColumn<int>("scrollHeight");
    QTest::addColumn<int>("scrollStep");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("expectedScroll");
    QTest::addColumn<int>("expectedStep");
    // Scroll follows when the step reaches scrollStep + scrollHeight - 2.
    QTest::newRow("step 8 of 10") << 10 << 0 << 8 << 0 + (8 - 10 + 2) << 8;
    QTest::newRow("step 9 of 10") << 10 << 0 << 9 << 9 - 10 + 2 << 9;
    QTest::newRow("inside the view") << 10 << 4 << 7 << 4 << 7;
    QTest::newRow("above the view") << 10 << 5 << 2 << 2 << 2;
    QTest::newRow("negative step") << 10 << 3 << -4 << 0 << 0;
}

void SequencerTest::cursorScrollsTheView()
{
    QFETCH(int, scrollHeight);
    QFETCH(int, scrollStep);
    QFETCH(int, step);
    QFETCH(int, expectedScroll);
    QFETCH(int, expectedStep);
    Sequencer sequencer { SongPointer() };
    sequencer.position.scrollHeight = scrollHeight;
    sequencer.position.scrollStep = scrollStep;
    sequencer.moveCursorAbsolute(0, step);
    QCOMPARE(sequencer.position.scrollStep, expectedScroll);
    QCOMPARE(sequencer.position.cursor.sample, expectedStep * kStep);
}

void SequencerTest::cursorColumnStaysOnATrack_data()
{
    QTest::addColumn<int>("tracks");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("expectedColumn");
    QTest::addColumn<bool>("moved");
    QTest::newRow("no tracks") << 0 << 3 << 0 << -1 << true;
    QTest::newRow("past the last track") << 3 << 5 << 0 << 2 << true;
    QTest::newRow("left of the first") << 3 << -2 << 0 << 0 << false;
    QTest::newRow("step only") << 3 << 0 << 4 << 0 << true;
    QTest::newRow("same place") << 3 << 0 << 0 << 0 << false;
}

void SequencerTest::cursorColumnStaysOnATrack()
{
    QFETCH(int, tracks);
    QFETCH(int, column);
    QFETCH(int, step);
    QFETCH(int, expectedColumn);
    QFETCH(bool, moved);
    const auto song = Song::createEmpty();
    Sequencer& sequencer = *song->sequencer;
    for (int i = 0; i < tracks; ++i)
        sequencer.addTrack({});
    song->changed = false;
    QCOMPARE(sequencer.moveCursorAbsolute(column, step), moved);
    QCOMPARE(sequencer.position.cursorColumn, expectedColumn);
    QVERIFY(!song->changed); // the cursor is view state
}

void SequencerTest::playPositionStaysInTheSequence_data()
{
    QTest::addColumn<int>("beginTick");
    QTest::addColumn<int>("endTick");
    QTest::addColumn<int>("tick");
    QTest::addColumn<int>("expectedTick");
    QTest::newRow("inside") << 32 << 128 << 50 << 50;
    QTest::newRow("before the begin") << 32 << 128 << 10 << 32;
    QTest::newRow("past the end") << 32 << 128 << 200 << 128;
    QTest::newRow("negative tick") << 32 << 128 << -5 << 32;
    QTest::newRow("negative at zero") << 0 << 128 << -5 << 0;
    QTest::newRow("no end") << 0 << 0 << 200 << 200;
}

void SequencerTest::playPositionStaysInTheSequence()
{
    QFETCH(int, beginTick);
    QFETCH(int, endTick);
    QFETCH(int, tick);
    QFETCH(int, expectedTick);
    const auto song = Song::createEmpty();
    Position& position = song->sequencer->position;
    position.sequenceBegin.sample = beginTick * kSamplesPerTick;
    position.sequenceEnd.sample = endTick * kSamplesPerTick;
    const bool moved = song->sequencer->movePlayPositionAbsolute(tick);
    QCOMPARE(position.playPos.sample, expectedTick * kSamplesPerTick);
    QCOMPARE(moved, expectedTick != 0);
    QVERIFY(!song->changed); // listening is not editing
}

void SequencerTest::markersKeepTheirOrder_data()
{
    QTest::addColumn<QString>("marker");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QList<int>>("before"); // begin, end, loop begin, in steps
    QTest::addColumn<QList<int>>("after");
    QTest::addColumn<bool>("moved");
    using L = QList<int>;
    QTest::newRow("end at the begin resets the begin")
        << "setSequenceEnd" << 3 << L { 3, 8, 3 } << L { 0, 3, 3 } << true;
    QTest::newRow("end before the begin")
        << "setSequenceEnd" << 2 << L { 5, 8, 5 } << L { 1, 2, 1 } << true;
    QTest::newRow("end below the loop, end unchanged")
        << "setSequenceEnd" << 8 << L { 0, 8, 9 } << L { 0, 8, 7 } << true;
    QTest::newRow("end unchanged")
        << "setSequenceEnd" << 8 << L { 0, 8, 2 } << L { 0, 8, 2 } << false;
    QTest::newRow("loop beyond the end")
        << "setLoopBegin" << 6 << L { 0, 4, 0 } << L { 0, 7, 6 } << true;
    QTest::newRow("loop at the end")
        << "setLoopBegin" << 4 << L { 0, 4, 0 } << L { 0, 5, 4 } << true;
    QTest::newRow("loop before the begin")
        << "setLoopBegin" << 2 << L { 4, 8, 4 } << L { 2, 8, 2 } << true;
    QTest::newRow("loop unchanged")
        << "setLoopBegin" << 2 << L { 0, 8, 2 } << L { 0, 8, 2 } << false;
    QTest::newRow("begin beyond the end")
        << "setSequenceBegin" << 6 << L { 0, 4, 2 } << L { 6, 7, 6 } << true;
    QTest::newRow("begin inside") << "setSequenceBegin" << 3 << L { 0, 8, 5 } << L { 3, 8, 5 }
                                  << true;
    QTest::newRow("begin unchanged")
        << "setSequenceBegin" << 3 << L { 3, 8, 5 } << L { 3, 8, 5 } << false;
}

void SequencerTest::markersKeepTheirOrder()
{
    QFETCH(QString, marker);
    QFETCH(int, cursor);
    QFETCH(QList<int>, before);
    QFETCH(QList<int>, after);
    QFETCH(bool, moved);
    const auto song = Song::createEmpty();
    Sequencer& sequencer = *song->sequencer;
    Position& p = sequencer.position;
    p.cursor.sample = cursor * kStep;
    p.sequenceBegin.sample = before[0] * kStep;
    p.sequenceEnd.sample = before[1] * kStep;
    p.loopBegin.sample = before[2] * kStep;

    const QHash<QString, std::function<bool()>> markers = {
        { "setSequenceBegin", [&] { return sequencer.setSequenceBegin(); } },
        { "setSequenceEnd", [&] { return sequencer.setSequenceEnd(); } },
        { "setLoopBegin", [&] { return sequencer.setLoopBegin(); } },
    };
    QCOMPARE(markers.value(marker)(), moved);
    QCOMPARE((QList<int> { p.sequenceBegin.sample, p.sequenceEnd.sample, p.loopBegin.sample }),
        (QList<int> { after[0] * kStep, after[1] * kStep, after[2] * kStep }));
    // Only the begin and end markers are saved, so only they mark the song changed.
    const bool saved = after[0] != before[0] || after[1] != before[1];
    QCOMPARE(song->changed, saved);
    if (saved)
        QCOMPARE(song->changeReason, marker);
}

void SequencerTest::moveTrackSwapsWithinTheList_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("delta");
    QTest::addColumn<QList<int>>("order");
    using L = QList<int>;
    QTest::newRow("first to the left") << 0 << -1 << L { 0, 1, 2 };
    QTest::newRow("last to the right") << 2 << 1 << L { 0, 1, 2 };
    QTest::newRow("negative index") << -1 << 1 << L { 0, 1, 2 };
    QTest::newRow("index past the list") << 3 << -1 << L { 0, 1, 2 };
    QTest::newRow("middle to the right") << 1 << 1 << L { 0, 2, 1 };
    QTest::newRow("first with the last") << 0 << 2 << L { 2, 1, 0 };
}

void SequencerTest::moveTrackSwapsWithinTheList()
{
    QFETCH(int, index);
    QFETCH(int, delta);
    QFETCH(QList<int>, order);
    const auto song = Song::createEmpty();
    Sequencer& sequencer = *song->sequencer;
    const QList<TrackPointer> tracks
        = { sequencer.addTrack({}), sequencer.addTrack({}), sequencer.addTrack({}) };
    QCOMPARE(song->changeReason, QStringLiteral("addTrack"));
    song->changed = false;

    const bool expected = order != QList<int> { 0, 1, 2 };
    QCOMPARE(sequencer.moveTrack(index, delta), expected);
    for (int i = 0; i < order.size(); ++i)
        QCOMPARE(sequencer.tracks.at(i), tracks.at(order.at(i)));
    QCOMPARE(song->changed, expected);
    if (expected)
        QCOMPARE(song->changeReason, QStringLiteral("moveTrack"));
}

void SequencerTest::entryOperationsShapeTheTrack_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("after");
    QTest::newRow("set past the end") << ""
                                      << "setEntry" << 5 << 0 << ".....P";
    QTest::newRow("set null clears") << "bbb"
                                     << "clearEntry" << 1 << 0 << "b.b";
    QTest::newRow("set at negative") << "b"
                                     << "setEntry" << -1 << 0 << "b";
    QTest::newRow("break past the end") << ""
                                        << "setBreak" << 3 << 0 << "...b";
    QTest::newRow("insert into an empty track") << ""
                                                << "insertEntries" << 2 << 3 << "..PPP....";
    QTest::newRow("insert inside") << "bbbb"
                                   << "insertEntries" << 1 << 2 << "bPPbbb";
    QTest::newRow("insert at the end") << "bb"
                                       << "insertEntries" << 2 << 1 << "bbP..";
    QTest::newRow("insert null slots") << "bbbb"
                                       << "insertNothing" << 2 << 2 << "bb..bb";
    QTest::newRow("insert at negative") << "bb"
                                        << "insertEntries" << -1 << 2 << "bb";
    QTest::newRow("remove past the end of the list") << "b.bb"
                                                     << "removeEntries" << 1 << 10 << "b";
    QTest::newRow("remove inside") << "b.bb"
                                   << "removeEntries" << 1 << 2 << "bb";
    QTest::newRow("remove at the size") << "bbbb"
                                        << "removeEntries" << 4 << 1 << "bbbb";
    QTest::newRow("remove at negative") << "bbbb"
                                        << "removeEntries" << -1 << 1 << "bbbb";
}

void SequencerTest::entryOperationsShapeTheTrack()
{
    QFETCH(QString, before);
    QFETCH(QString, operation);
    QFETCH(int, index);
    QFETCH(int, count);
    QFETCH(QString, after);
    Track track;
    fill(track, before);
    const auto pattern = PatternPointer::create(QStringLiteral("00"), zarn::NodePointer(), 16);

    const QHash<QString, std::function<void()>> operations = {
        { "setEntry", [&] { track.setEntry(index, pattern); } },
        { "clearEntry", [&] { track.setEntry(index, {}); } },
        { "setBreak", [&] { track.setBreak(index); } },
        { "insertEntries", [&] { track.insertEntries(index, count, pattern); } },
        { "insertNothing", [&] { track.insertEntries(index, count, {}); } },
        { "removeEntries", [&] { track.removeEntries(index, count); } },
    };
    operations.value(operation)();
    QCOMPARE(layoutOf(track), after);
    // Slots filled by one call share one entry.
    QSet<const Entry*> made;
    for (const EntryPointer& entry : track.entries) {
        if (entry && entry->type == Entry::PatternEntry) {
            QCOMPARE(entry->pattern, pattern);
            made.insert(entry.data());
        }
    }
    QVERIFY(made.size() <= 1);
    QVERIFY(!track.entryAt(-1));
    QVERIFY(!track.entryAt(track.entries.size()));
}

void SequencerTest::streamsToHandDerivedBytes()
{
    Sequencer sequencer { SongPointer() };
    Position& p = sequencer.position;
    p.scrollStep = 2;
    p.cursor.sample = 1024;
    p.playPos.sample = 5;
    p.sequenceEnd.sample = 4096;
    p.loopBegin.sample = 77; // not stored
    const TrackPointer track = sequencer.addTrack({});
    track->uniqueID = QStringLiteral("ab");
    const auto pattern = PatternPointer::create(QStringLiteral("00"), zarn::NodePointer(), 16);
    pattern->uniqueID = QStringLiteral("P1");
    track->setEntry(0, pattern);
    track->setBreak(2);
    track->entries.append(EntryPointer::create(Entry { Entry::MuteEntry, {} }));

    const QByteArray expected = u32(64) + u32(16) + u32(2) + u32(1024) + u32(5) + u32(0) + u32(4096)
        + i64(1) + utf16("ab") + i64(4) + chars("pattern") + utf16("P1") + chars("pattern")
        + utf16("") // a null slot
        + chars("break") + utf16("") + chars("mute") + utf16("");
    QCOMPARE(
        chars("pattern").toHex(), QByteArray("00000008") + QByteArray("pattern").toHex() + "00");

    QTest::ignoreMessage(QtDebugMsg, "Stream OUT Sequencer: size=1");
    QTest::ignoreMessage(QtDebugMsg, "Stream OUT Track: uniqueID=ab, size=4");
    QTest::ignoreMessage(QtDebugMsg, "Stream OUT Entry: type=pattern, pattern->uniqueID=P1");
    QTest::ignoreMessage(QtDebugMsg, "Stream OUT Entry: type=mute, pattern->uniqueID=");
    QCOMPARE(written(sequencer).toHex(), expected.toHex());
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

    QDataStream stream(written(source));
    datastream::prepare(stream);
    Sequencer& sequencer = *song->sequencer;
    sequencer.read(stream, *song->graph);
    QCOMPARE(stream.status(), QDataStream::Ok);
    QCOMPARE(sequencer.tracks.size(), 4);
    QCOMPARE(sequencer.tracks[0]->uniqueID, tracks[0]->uniqueID);
    QCOMPARE(layoutOf(*sequencer.tracks[0]), QStringLiteral("bP"));
    QCOMPARE(sequencer.tracks[0]->entryAt(1)->pattern, fromInput);
    QCOMPARE(sequencer.tracks[0]->node, input);
    QCOMPARE(sequencer.tracks[1]->node, output);
    QCOMPARE(layoutOf(*sequencer.tracks[2]), QStringLiteral("."));
    QVERIFY(!sequencer.tracks[2]->node);
    QVERIFY(!sequencer.tracks[3]->node);

    // A track starting Output's pattern claims Output before any track without patterns.
    tracks[3]->setEntry(1, fromOutput);
    QDataStream again(written(source));
    datastream::prepare(again);
    sequencer.read(again, *song->graph);
    QCOMPARE(sequencer.tracks[1]->node, zarn::NodePointer());
    QCOMPARE(sequencer.tracks[3]->node, output);
}

void SequencerTest::readMapsTypeNames()
{
    const auto song = Song::createEmpty();
    const auto node = zarn::Node::create(QStringLiteral("Input"), song);
    addPattern(node, QStringLiteral("p"));
    song->graph->addNode(node);
    const QByteArray bytes = QByteArray(7 * 4, '\0') + i64(1) + utf16("t") + i64(5) + chars("mute")
        + utf16("p") // a mute keeps no pattern
        + chars("xyz") + utf16("") // unknown names are breaks
        + chars("") + utf16("p") + chars("pattern") + utf16("p") + chars("pattern") + utf16("");
    QDataStream stream(bytes);
    datastream::prepare(stream);
    QTest::ignoreMessage(QtDebugMsg, "Stream IN Entry: type=xyz, uniqueID=");
    song->sequencer->read(stream, *song->graph);
    QCOMPARE(stream.status(), QDataStream::Ok);
    QCOMPARE(layoutOf(*song->sequencer->tracks.at(0)), QStringLiteral("mbbP."));
    QVERIFY(!song->sequencer->tracks.at(0)->entryAt(0)->pattern);
}

QTEST_GUILESS_MAIN(SequencerTest)
#include "tst_sequencer.moc"
