#include "FakeProcessor.h"
#include "HandBytes.h"
#include "song/Clipboard.h"
#include "song/PatternClipboard.h"
#include "song/SequenceClipboard.h"
#include "song/Song.h"

#include <QMimeData>
#include <QtTest>

using namespace handbytes;

namespace {

const auto i32 = [](qint32 v) { return u32(quint32(v)); };
const auto present = [](quint32 value) { return i8(1) + u32(value); };
const QByteArray absent = i8(0);
const auto column = [](const char* name, qint32 type, bool isNode, qint32 index, qint32 lane) {
    return utf16(name) + i32(type) + i8(isNode) + i32(index) + i32(lane);
};

// Flat parameters of the test schema: three node parameters, then lanes of two.
enum Flat { On, Gain, Rate, Lane1Note, Lane1Vel, Lane2Note, Lane2Vel, Lane3Note, Lane3Vel };
constexpr int kLength = 8;

// A node with one pattern of four lanes, and its processor's schema.
struct Place {
    zarn::NodePointer node = zarn::NodePointer::create();
    PatternPointer pattern = PatternPointer::create(QStringLiteral("00"), node, kLength);
    SchemaPointer schema;

    explicit Place(const QSharedPointer<Processor>& processor)
        : schema(processor->schema())
    {
        node->processor = processor;
        pattern->lanes = 4;
        node->patterns.append(pattern);
    }
    void set(int tick, std::initializer_list<std::pair<int, quint32>> cells) const
    {
        const RowPointer row = pattern->makeNeutralRow();
        for (const auto& [index, value] : cells)
            row->cells[index] = value;
        pattern->setRow(tick, row);
    }
};

// The copy source: tick 0 a short row, tick 1 none, ticks 2 and 3 full rows.
Place sourcePlace()
{
    const Place place(QSharedPointer<FakeProcessor>::create(QStringLiteral("procA")));
    place.pattern->setRow(0, RowPointer::create(Row { { 1, 0xFF, 0x1234, 60 } }));
    place.set(2, { { Lane1Vel, 0x40 } });
    place.set(3, { { Lane1Note, 48 }, { Lane1Vel, 0x10 } });
    return place;
}

// A paste destination with one full row at tick 0, on the source's processor or another.
Place destinationFor(const Place& source, bool sameInstance)
{
    const Place place(sameInstance
            ? source.node->processor
            : QSharedPointer<FakeProcessor>::create(QStringLiteral("procB")));
    place.set(0, { { Gain, 0x20 }, { Rate, 0x0100 }, { Lane3Note, 50 }, { Lane3Vel, 0x33 } });
    return place;
}

// Expected cells as tokens: "t:i=v" cell i of tick t holds v, "t:-" tick t has no row,
// "t#n" the row of tick t has n cells.
void verifyTokens(const Pattern& pattern, const QStringList& tokens)
{
    for (const QString& token : tokens) {
        const QStringList parts = token.split(QRegularExpression("[:=#]"));
        const RowPointer row = pattern.rowAt(parts.at(0).toInt());
        QVERIFY2(bool(row) != token.endsWith('-'), qPrintable(token));
        if (token.contains('#'))
            QCOMPARE(row->cells.size(), parts.at(1).toInt());
        else if (token.contains('='))
            QCOMPARE(row->cells.value(parts.at(1).toInt(), 0xDEAD), parts.at(2).toUInt());
    }
}

// Three tracks on nodes nA, nB and nC, owning patterns pa, pb and pc, four ticks per step.
// Track 1 holds pb at step 0, a break at step 1 and a mute at step 2; track 2 holds pc at
// step 1.
struct SequencerFixture {
    SongPointer song = Song::createEmpty();
    Sequencer& sequencer = *song->sequencer;

    SequencerFixture()
    {
        sequencer.position.ticksPerStepValue = 4;
        for (const char* id : { "nA", "nB", "nC" }) {
            auto node = zarn::NodePointer::create();
            node->uniqueID = QString::fromLatin1(id);
            node->patterns.append(PatternPointer::create(QStringLiteral("00"), node, 16));
            node->patterns.first()->uniqueID = QString::fromLatin1(id).replace('n', 'p').toLower();
            sequencer.addTrack(node);
        }
        Track& b = *sequencer.tracks.at(1);
        b.setEntry(0, b.node->patterns.first());
        b.setBreak(4);
        b.entries.resize(9);
        b.entries[8] = EntryPointer::create(Entry { Entry::MuteEntry, {} });
        sequencer.tracks.at(2)->setEntry(4, sequencer.tracks.at(2)->node->patterns.first());
    }
    // '.' a null slot, 'b' a break, 'm' a mute, or the pattern's id.
    QString layoutOf(int track) const
    {
        QStringList marks;
        for (const EntryPointer& entry : sequencer.tracks.at(track)->entries)
            marks.append(!entry                        ? QStringLiteral(".")
                    : entry->type == Entry::BreakEntry ? QStringLiteral("b")
                    : entry->type == Entry::MuteEntry  ? QStringLiteral("m")
                                                       : entry->pattern->uniqueID);
        return marks.join(' ');
    }
};

} // namespace

class ClipboardTest : public QObject {
    Q_OBJECT

private slots:
    void copyEncodesTheSelection_data();
    void copyEncodesTheSelection();
    void patternPaste_data();
    void patternPaste();
    void patternBlockTravelsAsMimeData();
    void sequencePasteWritesFromTheCursorStep();
    void refusedPastesChangeNothing_data();
    void refusedPastesChangeNothing();
};

void ClipboardTest::copyEncodesTheSelection_data()
{
    QTest::addColumn<int>("kind"); // the pattern, the sequence, the pattern without track lanes
    QTest::addColumn<QList<int>>("range"); // pattern: ticks then columns; sequence: tracks, steps
    QTest::addColumn<QByteArray>("expected");
    using R = QList<int>;
    const QByteArray head = utf16("procA");
    const QByteArray note1 = column("Note", 3, false, 0, 1);
    QTest::newRow("empty value is absent") << 0 << R { 0, 0, On, Gain }
                                           << head + i32(1) + i32(2) + column("On", 1, true, On, 0)
            + column("Gain", 2, true, Gain, 0) + present(1) + absent;
    QTest::newRow("short row reads zero in lane 2")
        << 0 << R { 0, 0, Lane2Vel, Lane2Vel }
        << head + i32(1) + i32(1) + column("Vel", 2, false, 1, 2) + present(0);
    QTest::newRow("reversed ends") << 0 << R { 3, 2, Lane1Vel, Lane1Note }
                                   << head + i32(2) + i32(2) + note1 + column("Vel", 2, false, 1, 1)
            + absent + present(0x40) + present(48) + present(0x10);
    // Lane 256 is past the last lane a pattern can have: no descriptor there.
    QTest::newRow("beyond the last lane")
        << 0 << R { 2, 2, 3 + 255 * 2, 3 + 255 * 2 }
        << head + i32(1) + i32(1) + column("", 0, false, 0, 256) + absent;
    // Without track parameters everything past the node parameters is lane 1.
    QTest::newRow("no track lanes") << 2 << R { 2, 2, Lane1Note, Lane1Note }
                                    << head + i32(1) + i32(1) + column("", 0, false, 0, 1) + absent;
    const QByteArray tracks12 = i32(1) + i32(2) + utf16("nB") + utf16("nC");
    const QByteArray patternEntry = i8(1) + i32(0) + i8(1);
    const QByteArray breakEntry = i8(1) + i32(1) + i8(0);
    // Step 0: pb, nothing; step 1: break, pc; step 2: mute, past the end of track 2; step 3:
    // past the end of both.
    const QByteArray steps0to3 = i32(0) + i32(4) + patternEntry + utf16("pb") + absent + breakEntry
        + patternEntry + utf16("pc") + i8(1) + i32(2) + i8(0) + absent + absent + absent;
    QTest::newRow("tracks 1-2, steps 0-3") << 1 << R { 1, 2, 0, 3 } << tracks12 + steps0to3;
}

// What is copied encodes to the hand-derived bytes, which decode and encode back unchanged.
void ClipboardTest::copyEncodesTheSelection()
{
    QFETCH(int, kind);
    const bool sequence = kind == 1;
    QFETCH(QList<int>, range);
    QFETCH(QByteArray, expected);
    const Place source = sourcePlace();
    if (kind == 2)
        source.node->processor.staticCast<FakeProcessor>()->m_schema->trackParameters.clear();
    const QByteArray copied = sequence
        ? SequenceBlock::copy(
            SequencerFixture().sequencer, { range[0], range[1], range[2], range[3] })
              .encode()
        : PatternBlock::copy(*source.node, *source.pattern, *source.schema,
            { range[0], range[1], range[2], range[3] })
              .encode();
    QCOMPARE(copied.toHex(' '), expected.toHex(' '));
    const QByteArray again = sequence ? SequenceBlock::decode(expected).value().encode()
                                      : PatternBlock::decode(expected).value().encode();
    QCOMPARE(again.toHex(' '), expected.toHex(' '));
}

void ClipboardTest::patternPaste_data()
{
    QTest::addColumn<PatternRange>("range");
    QTest::addColumn<bool>("sameInstance");
    QTest::addColumn<PatternSpot>("spot");
    QTest::addColumn<QStringList>("expected"); // cell tokens, or the warning of a refusal
    using R = PatternRange;
    using S = PatternSpot;
    using T = QStringList;
    QTest::newRow("an empty cell clears the target")
        << R { 1, 1, Gain, Gain } << false << S { 0, Gain } << T { "0:1=255", "0:2=256", "1:-" };
    // Absent cells clear, present ones create neutral rows where there were none.
    QTest::newRow("lane 1 into lane 3 of another node")
        << R { 2, 3, Lane1Note, Lane1Vel } << false << S { 0, Lane3Vel }
        << T { "0:7=255", "0:8=64", "0:1=32", "1#11", "1:7=48", "1:8=16", "1:3=255", "2:-" };
    QTest::newRow("two lanes back into the same processor instance")
        << R { 0, 1, Rate, Lane1Note } << true << S { 5, Lane3Vel }
        << T { "5#11", "5:2=4660", "5:3=60", "5:7=255", "6:-", "0:2=256" };
    QTest::newRow("cells past the end are dropped") << R { 2, 3, Lane1Note,
        Lane1Vel } << false << S { 7, Lane1Note } << T { "7#11", "7:3=255", "7:4=64", "8:-" };
    QTest::newRow("cells before the start are skipped") << R { 2, 3, Lane1Note,
        Lane1Vel } << false << S { -1, Lane1Note } << T { "0:3=48", "0:4=16", "1:-" };
    QTest::newRow("byte onto word") << R { 0, 3, Gain, Gain } << true << S { 0, Rate }
                                    << T { "Paste: ValueType mismatch (clipboard: 2 dest: 4)" };
    QTest::newRow("one column onto no parameter")
        << R { 0, 0, Gain, Gain } << true << S { 0, 3 + 255 * 2 }
        << T { "Paste: ValueType mismatch (clipboard: 2 dest: -1)" };
    QTest::newRow("lane block onto the node parameters") << R { 2, 3, Lane1Note,
        Lane1Vel } << true << S { 0, On } << T { "Paste: column schema mismatch at param 0" };
    QTest::newRow("two lanes into another processor instance")
        << R { 0, 1, Rate, Lane1Note } << false << S { 0, Rate }
        << T { "Paste: processor type mismatch (clipboard: procA dest: procB)" };
    // The copied note column is made to claim a byte type.
    QTest::newRow("two lanes whose types do not fit")
        << R { 0, 1, Rate, Lane1Note } << true << S { 0, Rate }
        << T { "Paste: multi-column schema mismatch at param 1" };
}

void ClipboardTest::patternPaste()
{
    QFETCH(PatternRange, range);
    QFETCH(bool, sameInstance);
    QFETCH(PatternSpot, spot);
    QFETCH(QStringList, expected);
    const Place source = sourcePlace();
    PatternBlock block = PatternBlock::copy(*source.node, *source.pattern, *source.schema, range);
    const Place target = destinationFor(source, sameInstance);
    const QString warning = expected.first().startsWith("Paste:") ? expected.first() : QString();
    if (warning.startsWith("Paste: multi"))
        block.columns.last().valueType = 2;
    const QByteArray before = clipboard::encode(*target.pattern);
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    QCOMPARE(
        block.pasteInto(*target.node, *target.pattern, *target.schema, spot), warning.isEmpty());
    if (!warning.isEmpty())
        QCOMPARE(clipboard::encode(*target.pattern), before);
    else
        verifyTokens(*target.pattern, expected);
    QCOMPARE(target.pattern->length, kLength);
    QVERIFY(target.pattern->rows.size() <= kLength);
}

void ClipboardTest::patternBlockTravelsAsMimeData()
{
    const Place source = sourcePlace();
    const PatternRange range { 3, 3, Lane1Note, Lane1Vel };
    QVERIFY(!patternClipboard::copy({}, source.pattern, source.schema, range));
    QVERIFY(!patternClipboard::copy(source.node, {}, source.schema, range));
    QVERIFY(!patternClipboard::copy(source.node, source.pattern, {}, range));
    const auto data = patternClipboard::copy(source.node, source.pattern, source.schema, range);
    QCOMPARE(data->formats(), QStringList { "application/x-zarn-pattern" });
    const Place target = destinationFor(source, false);
    const QByteArray before = clipboard::encode(*target.pattern);
    QMimeData other;
    other.setData(QStringLiteral("text/plain"), data->data(PatternBlock::kMimeType));
    const auto pasteAt = [&](const QMimeData* mime, const PatternPointer& pattern) {
        return patternClipboard::paste(mime, target.node, pattern, target.schema, { 0, Lane3Note });
    };
    QVERIFY(!pasteAt(&other, target.pattern));
    QVERIFY(!pasteAt(nullptr, target.pattern));
    QVERIFY(!pasteAt(data.get(), {}));
    QCOMPARE(clipboard::encode(*target.pattern), before);
    QVERIFY(pasteAt(data.get(), target.pattern));
    verifyTokens(*target.pattern, { "0:7=48", "0:8=16" });
    // A block without columns has nothing to place.
    QVERIFY(
        !pasteAt(clipboard::wrap(PatternBlock::kMimeType, utf16("procA") + i32(3) + i32(0)).get(),
            target.pattern));
}

void ClipboardTest::sequencePasteWritesFromTheCursorStep()
{
    const SequencerFixture fixture;
    const auto data = sequenceClipboard::copy(fixture.song->sequencer, { 1, 2, 0, 2 });
    QCOMPARE(data->formats(), QStringList { "application/x-zarn-sequence" });
    // Step 3 is entry 12: the pattern, the break and the cleared mute land four ticks apart.
    fixture.sequencer.moveCursorAbsolute(1, 3);
    QVERIFY(sequenceClipboard::paste(data.get(), fixture.song->sequencer));
    QCOMPARE(fixture.layoutOf(0), QString());
    QCOMPARE(fixture.layoutOf(1), "pb . . . b . . . m . . . pb . . . b . . . .");
    QCOMPARE(fixture.layoutOf(2), ". . . . pc . . . . . . . . . . . pc . . . .");
    QCOMPARE(fixture.sequencer.tracks.at(1)->entryAt(12)->pattern,
        fixture.sequencer.tracks.at(1)->entryAt(0)->pattern);
    // A pattern the node no longer owns leaves its slot as it was; others are still written.
    const SequenceBlock stale { 1, { "nB" }, 0, 2,
        { { true, Entry::PatternEntry, true, "gone" }, { true, Entry::MuteEntry, false, {} } } };
    fixture.sequencer.moveCursorAbsolute(1, 0);
    QVERIFY(stale.pasteInto(fixture.sequencer));
    QCOMPARE(fixture.layoutOf(1), "pb . . . . . . . m . . . pb . . . b . . . .");
}

void ClipboardTest::refusedPastesChangeNothing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("cursorColumn"); // -1: a pattern block
    QTest::addColumn<QString>("warning");
    const QByteArray head = utf16("procA");
    const QByteArray gain = column("Gain", 2, true, Gain, 0);
    QTest::newRow("empty pattern block") << QByteArray() << -1 << "";
    QTest::newRow("column cut short") << head + i32(1) + i32(1) + gain.chopped(2) << -1 << "";
    QTest::newRow("negative tick count") << head + i32(-1) + i32(1) + gain << -1 << "";
    QTest::newRow("huge columns") << head + i32(1) + i32(0x7FFFFFFF) + gain + absent << -1 << "";
    QTest::newRow("huge string") << u32(0x7FFFFFFE) + i32(1) + i32(1) + gain + absent << -1 << "";
    const QByteArray track = i32(1) + i32(1) + utf16("nB");
    QTest::newRow("empty sequence block") << QByteArray() << 1 << "";
    QTest::newRow("no tracks") << i32(1) + i32(0) + i32(0) + i32(0) << 1 << "";
    QTest::newRow("first track -1") << i32(-1) + i32(1) + utf16("nB") + i32(0) + i32(0) << 1 << "";
    QTest::newRow("huge track count")
        << i32(1) + i32(0x7FFFFFFF) + utf16("nB") + i32(0) + i32(0) << 1 << "";
    QTest::newRow("negative step count") << track + i32(0) + i32(-1) << 1 << "";
    QTest::newRow("huge step count") << track + i32(0) + i32(0x7FFFFFFF) + absent << 1 << "";
    // One step of breaks on the tracks of the given nodes, copied from track 1.
    const auto breaks = [](const QList<const char*>& ids) {
        QByteArray bytes = i32(1) + i32(qint32(ids.size()));
        for (const char* id : ids)
            bytes += utf16(id);
        return bytes + i32(0) + i32(1)
            + (i8(1) + i32(Entry::BreakEntry) + i8(0)).repeated(ids.size());
    };
    const QString column = "Paste: cursor not at original start column";
    QTest::newRow("cursor on the second copied track") << breaks({ "nB", "nC" }) << 2 << column;
    QTest::newRow("cursor left of the block") << breaks({ "nB", "nC" }) << 0 << column;
    QTest::newRow("first track differs")
        << breaks({ "nC", "nB" }) << 1 << "Paste: track mismatch at column 1";
    QTest::newRow("second track differs")
        << breaks({ "nB", "nA" }) << 1 << "Paste: track mismatch at column 2";
    QTest::newRow("not enough tracks")
        << breaks({ "nB", "nC", "nD" }) << 1 << "Paste: not enough tracks";
}

void ClipboardTest::refusedPastesChangeNothing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, cursorColumn);
    QFETCH(QString, warning);
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    if (cursorColumn >= 0) {
        QCOMPARE(bool(SequenceBlock::decode(bytes)), !warning.isEmpty());
        const SequencerFixture fixture;
        fixture.sequencer.moveCursorAbsolute(cursorColumn, 0);
        const QByteArray before = clipboard::encode(fixture.sequencer);
        const auto data = clipboard::wrap(SequenceBlock::kMimeType, bytes);
        QVERIFY(!sequenceClipboard::paste(data.get(), fixture.song->sequencer));
        QCOMPARE(clipboard::encode(fixture.sequencer), before);
        return;
    }
    QVERIFY(!PatternBlock::decode(bytes));
    const Place target = destinationFor(sourcePlace(), true);
    const QByteArray before = clipboard::encode(*target.pattern);
    const auto data = clipboard::wrap(PatternBlock::kMimeType, bytes);
    QVERIFY(!patternClipboard::paste(
        data.get(), target.node, target.pattern, target.schema, { 0, Gain }));
    QCOMPARE(clipboard::encode(*target.pattern), before);
}

QTEST_GUILESS_MAIN(ClipboardTest)
#include "tst_clipboard.moc"
