#include "core/DataStream.h"
#include "song/Clipboard.h"
#include "song/PatternClipboard.h"
#include "song/SequenceClipboard.h"
#include "song/Song.h"

#include "HandBytes.h"

#include <QMimeData>
#include <QtTest>

namespace {

using handbytes::u32;
using handbytes::utf16;

QByteArray i32(qint32 v)
{
    return u32(quint32(v));
}
QByteArray flag(bool v)
{
    return handbytes::i8(v ? 1 : 0);
}
QByteArray column(const char* name, qint32 type, bool isNode, qint32 indexInGroup, qint32 lane)
{
    return utf16(name) + i32(type) + flag(isNode) + i32(indexInGroup) + i32(lane);
}
QByteArray present(quint32 value)
{
    return flag(true) + u32(value);
}
const QByteArray absent = flag(false);

// Flat parameters of the test schema: three node parameters, then lanes of two.
enum Flat { On, Gain, Rate, Lane1Note, Lane1Vel, Lane2Note, Lane2Vel, Lane3Note, Lane3Vel };
constexpr int kLanes = 4;
constexpr int kNeutralSize = 3 + kLanes * 2;
constexpr int kLength = 8;

SchemaPointer testSchema()
{
    auto schema = QSharedPointer<NodeParameterSchema>::create();
    schema->nodeParameters = {
        ParameterDescriptor::makeSwitch("On", "", 0),
        ParameterDescriptor::byte("Gain", "", 0, 0xFE, 0xFF, 0x80),
        ParameterDescriptor::word("Rate", "", 0xFFFE, 0),
    };
    schema->trackParameters = {
        ParameterDescriptor::midiNote("Note", "", 253),
        ParameterDescriptor::byte("Vel", "", 0, 0xFE, 0xFF, 0x40),
    };
    return schema;
}

class FakeProcessor final : public Processor {
public:
    explicit FakeProcessor(const QString& id)
        : Processor(ProcessorCharacter())
        , m_id(id)
        , m_schema(testSchema())
    {
    }
    SchemaPointer schema() const override { return m_schema; }
    QString instanceId() override { return m_id; }

private:
    QString m_id;
    SchemaPointer m_schema;
};

// A node whose processor reports `instanceId`, with one pattern of four lanes.
struct Place {
    zarn::NodePointer node;
    PatternPointer pattern;
    SchemaPointer schema;
};

Place makePlace(const QString& instanceId, const QSharedPointer<Processor>& shared = {})
{
    Place place;
    place.node = zarn::NodePointer::create();
    place.node->processor = shared ? shared : QSharedPointer<FakeProcessor>::create(instanceId);
    place.schema = place.node->processor->schema();
    place.pattern = PatternPointer::create(QStringLiteral("00"), place.node, kLength);
    place.pattern->lanes = kLanes;
    place.node->patterns.append(place.pattern);
    return place;
}

RowPointer neutralWith(const Pattern& pattern, std::initializer_list<std::pair<int, quint32>> cells)
{
    const RowPointer row = pattern.makeNeutralRow();
    for (const auto& [index, value] : cells)
        row->cells[index] = value;
    return row;
}

// The copy source: tick 0 a short row, tick 1 none, ticks 2 and 3 full rows.
Place sourcePlace()
{
    Place place = makePlace(QStringLiteral("procA"));
    Pattern& p = *place.pattern;
    auto shortRow = RowPointer::create();
    shortRow->cells = { 1, 0xFF, 0x1234, 60 };
    p.setRow(0, shortRow);
    p.setRow(2, neutralWith(p, { { Lane1Vel, 0x40 } }));
    p.setRow(3, neutralWith(p, { { Lane1Note, 48 }, { Lane1Vel, 0x10 } }));
    return place;
}

// A paste destination with one full row at tick 0.
void fillDestination(Pattern& p)
{
    p.setRow(0,
        neutralWith(
            p, { { Gain, 0x20 }, { Rate, 0x0100 }, { Lane3Note, 50 }, { Lane3Vel, 0x33 } }));
}

QByteArray bytesOf(const std::function<void(QDataStream&)>& write)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    datastream::prepare(stream);
    write(stream);
    return bytes;
}
QByteArray bytesOf(const Pattern& pattern)
{
    return bytesOf([&](QDataStream& s) { pattern.write(s); });
}
QByteArray bytesOf(const Sequencer& sequencer)
{
    return bytesOf([&](QDataStream& s) { sequencer.write(s); });
}

// Expected pattern contents as tokens: "t:i=v" cell i of tick t holds v, "t:-" tick t has
// no row, "t#n" the row of tick t has n cells.
void verifyTokens(const Pattern& pattern, const QStringList& tokens)
{
    static const QRegularExpression cell(QStringLiteral("^(\\d+):(\\d+)=(\\d+)$"));
    static const QRegularExpression none(QStringLiteral("^(\\d+):-$"));
    static const QRegularExpression size(QStringLiteral("^(\\d+)#(\\d+)$"));
    for (const QString& token : tokens) {
        if (const auto m = cell.match(token); m.hasMatch()) {
            const RowPointer row = pattern.rowAt(m.captured(1).toInt());
            QVERIFY2(row, qPrintable(token));
            const int index = m.captured(2).toInt();
            QVERIFY2(index < row->cells.size(), qPrintable(token));
            QCOMPARE(row->cells.at(index), m.captured(3).toUInt());
        } else if (const auto n = none.match(token); n.hasMatch()) {
            QVERIFY2(!pattern.rowAt(n.captured(1).toInt()), qPrintable(token));
        } else if (const auto s = size.match(token); s.hasMatch()) {
            const RowPointer row = pattern.rowAt(s.captured(1).toInt());
            QVERIFY2(row, qPrintable(token));
            QCOMPARE(row->cells.size(), s.captured(2).toInt());
        } else {
            QFAIL(qPrintable(QStringLiteral("bad token ") + token));
        }
    }
}

// Where the destination node's processor comes from.
enum Destination { OtherInstance, SameInstance };

Place destinationFor(const Place& source, int destination)
{
    Place place = destination == SameInstance ? makePlace({}, source.node->processor)
                                              : makePlace(QStringLiteral("procB"));
    fillDestination(*place.pattern);
    return place;
}

// Three tracks on nodes nA, nB and nC, four ticks per step. Track 1 holds pattern pb at
// step 0, a break at step 1 and a mute at step 2; track 2 holds pattern pc at step 1.
struct SequencerFixture {
    SongPointer song = Song::createEmpty();
    PatternPointer pb;
    PatternPointer pc;

    SequencerFixture()
    {
        Sequencer& sequencer = *song->sequencer;
        sequencer.position.ticksPerStepValue = 4;
        for (const char* id : { "nA", "nB", "nC" }) {
            auto node = zarn::NodePointer::create();
            node->uniqueID = QString::fromLatin1(id);
            sequencer.addTrack(node);
        }
        pb = addPattern(1, "pb");
        pc = addPattern(2, "pc");
        Track& b = *sequencer.tracks.at(1);
        b.setEntry(0, pb);
        b.setBreak(4);
        b.entries.resize(9);
        b.entries[8] = EntryPointer::create(Entry { Entry::MuteEntry, {} });
        sequencer.tracks.at(2)->setEntry(4, pc);
    }

    PatternPointer addPattern(int track, const char* uniqueID)
    {
        const zarn::NodePointer node = song->sequencer->tracks.at(track)->node;
        auto pattern = PatternPointer::create(QStringLiteral("00"), node, 16);
        pattern->uniqueID = QString::fromLatin1(uniqueID);
        node->patterns.append(pattern);
        return pattern;
    }
};

// Track layouts as text: '.' a null slot, 'b' a break, 'm' a mute, or the pattern's id.
QString layoutOf(const Track& track)
{
    QStringList marks;
    for (const EntryPointer& entry : track.entries) {
        if (!entry)
            marks.append(QStringLiteral("."));
        else if (entry->type == Entry::PatternEntry)
            marks.append(entry->pattern ? entry->pattern->uniqueID : QStringLiteral("?"));
        else
            marks.append(
                entry->type == Entry::BreakEntry ? QStringLiteral("b") : QStringLiteral("m"));
    }
    return marks.join(' ');
}

} // namespace

class ClipboardTest : public QObject {
    Q_OBJECT

private slots:
    void patternCopyEncodesTheSelection_data();
    void patternCopyEncodesTheSelection();
    void patternPasteWritesTheBlock_data();
    void patternPasteWritesTheBlock();
    void refusedPatternPasteChangesNothing_data();
    void refusedPatternPasteChangesNothing();
    void damagedPatternBlocksAreRefused_data();
    void damagedPatternBlocksAreRefused();
    void patternBlockTravelsAsMimeData();
    void sequenceCopyEncodesTheSelection_data();
    void sequenceCopyEncodesTheSelection();
    void sequencePasteWritesFromTheCursorStep();
    void refusedSequencePasteChangesNothing_data();
    void refusedSequencePasteChangesNothing();
    void damagedSequenceBlocksAreRefused_data();
    void damagedSequenceBlocksAreRefused();
};

void ClipboardTest::patternCopyEncodesTheSelection_data()
{
    QTest::addColumn<PatternRange>("range");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray header = utf16("procA");
    QTest::newRow("one empty cell") << PatternRange { 1, 1, Gain,
        Gain } << header + i32(1) + i32(1) + column("Gain", 2, true, Gain, 0) + absent;
    QTest::newRow("empty value is absent") << PatternRange { 0, 0, On, Gain }
                                           << header + i32(1) + i32(2)
            + column("On", 1, true, On, 0) + column("Gain", 2, true, Gain, 0) + present(1) + absent;
    QTest::newRow("node word and lane-1 note over a missing row")
        << PatternRange { 0, 1, Rate, Lane1Note }
        << header + i32(2) + i32(2) + column("Rate", 4, true, Rate, 0)
            + column("Note", 3, false, 0, 1) + present(0x1234) + present(60) + absent + absent;
    QTest::newRow("short row reads zero in lane 2") << PatternRange { 0, 0, Lane2Vel,
        Lane2Vel } << header + i32(1) + i32(1) + column("Vel", 2, false, 1, 2) + present(0);
    QTest::newRow("reversed ends") << PatternRange { 3, 2, Lane1Vel, Lane1Note }
                                   << header + i32(2) + i32(2) + column("Note", 3, false, 0, 1)
            + column("Vel", 2, false, 1, 1) + absent + present(0x40) + present(48) + present(0x10);
    // Lane 256 is past the last lane a pattern can have: no descriptor there.
    QTest::newRow("beyond the last lane") << PatternRange { 2, 2, 3 + 255 * 2,
        3 + 255 * 2 } << header + i32(1) + i32(1) + column("", 0, false, 0, 256) + absent;
}

void ClipboardTest::patternCopyEncodesTheSelection()
{
    QFETCH(PatternRange, range);
    QFETCH(QByteArray, expected);

    const Place source = sourcePlace();
    const PatternBlock block
        = PatternBlock::copy(*source.node, *source.pattern, *source.schema, range);
    QCOMPARE(block.encode().toHex(' '), expected.toHex(' '));

    const auto decoded = PatternBlock::decode(expected);
    QVERIFY(decoded);
    QCOMPARE(decoded->encode().toHex(' '), expected.toHex(' '));
}

void ClipboardTest::patternPasteWritesTheBlock_data()
{
    QTest::addColumn<PatternRange>("range");
    QTest::addColumn<int>("destination");
    QTest::addColumn<PatternSpot>("spot");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("an empty cell clears the target")
        << PatternRange { 1, 1, Gain, Gain } << int(OtherInstance) << PatternSpot { 0, Gain }
        << QStringList { "0:1=255", "0:2=256", "1:-" };
    QTest::newRow("one column onto a lane parameter of its type")
        << PatternRange { 3, 3, Lane1Vel, Lane1Vel } << int(OtherInstance)
        << PatternSpot { 0, Lane3Vel } << QStringList { "0:8=16", "0:7=50", "0:1=32" };
    // Absent cells clear, present ones create neutral rows where there were none.
    QTest::newRow("lane 1 into lane 3 of another node")
        << PatternRange { 2, 3, Lane1Note, Lane1Vel } << int(OtherInstance)
        << PatternSpot { 0, Lane3Vel }
        << QStringList { "0:7=255", "0:8=64", "0:1=32", "1#11", "1:7=48", "1:8=16", "1:3=255",
               "2:-" };
    QTest::newRow("lane 1 into lane 3 of the same processor")
        << PatternRange { 3, 3, Lane1Note, Lane1Vel } << int(SameInstance)
        << PatternSpot { 0, Lane3Note } << QStringList { "0:7=48", "0:8=16", "0:3=255" };
    QTest::newRow("two lanes back into the same processor instance")
        << PatternRange { 0, 1, Rate, Lane1Note } << int(SameInstance)
        << PatternSpot { 5, Lane3Vel }
        << QStringList { "5#11", "5:2=4660", "5:3=60", "5:7=255", "6:-", "0:2=256" };
    QTest::newRow("cells past the end are dropped")
        << PatternRange { 2, 3, Lane1Note, Lane1Vel } << int(OtherInstance)
        << PatternSpot { 7, Lane1Note } << QStringList { "7#11", "7:3=255", "7:4=64", "8:-" };
}

void ClipboardTest::patternPasteWritesTheBlock()
{
    QFETCH(PatternRange, range);
    QFETCH(int, destination);
    QFETCH(PatternSpot, spot);
    QFETCH(QStringList, expected);

    const Place source = sourcePlace();
    const PatternBlock block
        = PatternBlock::copy(*source.node, *source.pattern, *source.schema, range);
    const Place target = destinationFor(source, destination);
    QVERIFY(block.pasteInto(*target.node, *target.pattern, *target.schema, spot));
    verifyTokens(*target.pattern, expected);
    QCOMPARE(target.pattern->length, kLength);
    QVERIFY(target.pattern->rows.size() <= kLength);
}

void ClipboardTest::refusedPatternPasteChangesNothing_data()
{
    QTest::addColumn<PatternRange>("range");
    QTest::addColumn<int>("destination");
    QTest::addColumn<PatternSpot>("spot");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<int>("lastColumnType"); // 0 keeps the copied type

    QTest::newRow("byte onto word")
        << PatternRange { 0, 3, Gain, Gain } << int(SameInstance) << PatternSpot { 0, Rate }
        << "Paste: ValueType mismatch (clipboard: 2 dest: 4)" << 0;
    QTest::newRow("one column onto no parameter")
        << PatternRange { 0, 0, Gain, Gain } << int(SameInstance) << PatternSpot { 0, 3 + 255 * 2 }
        << "Paste: ValueType mismatch (clipboard: 2 dest: -1)" << 0;
    QTest::newRow("lane block onto the node parameters")
        << PatternRange { 2, 3, Lane1Note, Lane1Vel } << int(SameInstance) << PatternSpot { 0, On }
        << "Paste: column schema mismatch at param 0" << 0;
    QTest::newRow("node block onto a lane")
        << PatternRange { 0, 0, Gain, Rate } << int(SameInstance) << PatternSpot { 0, Lane2Note }
        << "Paste: column schema mismatch at param 1" << 0;
    QTest::newRow("two lanes into another processor instance")
        << PatternRange { 0, 1, Rate, Lane1Note } << int(OtherInstance) << PatternSpot { 0, Rate }
        << "Paste: processor type mismatch (clipboard: procA dest: procB)" << 0;
    QTest::newRow("two lanes whose types do not fit")
        << PatternRange { 0, 1, Rate, Lane1Note } << int(SameInstance) << PatternSpot { 0, Rate }
        << "Paste: multi-column schema mismatch at param 1" << 2;
}

void ClipboardTest::refusedPatternPasteChangesNothing()
{
    QFETCH(PatternRange, range);
    QFETCH(int, destination);
    QFETCH(PatternSpot, spot);
    QFETCH(QString, warning);
    QFETCH(int, lastColumnType);

    const Place source = sourcePlace();
    PatternBlock block = PatternBlock::copy(*source.node, *source.pattern, *source.schema, range);
    if (lastColumnType != 0)
        block.columns.last().valueType = lastColumnType;
    const Place target = destinationFor(source, destination);
    const QByteArray before = bytesOf(*target.pattern);
    QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    QVERIFY(!block.pasteInto(*target.node, *target.pattern, *target.schema, spot));
    QCOMPARE(bytesOf(*target.pattern), before);
}

void ClipboardTest::damagedPatternBlocksAreRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray head = utf16("procA");
    const QByteArray gain = column("Gain", 2, true, Gain, 0);
    const QByteArray whole = head + i32(2) + i32(1) + gain + present(0x10) + absent;
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("last cell missing") << whole.chopped(1);
    QTest::newRow("column cut short") << head + i32(1) + i32(1) + gain.chopped(2);
    QTest::newRow("negative tick count") << head + i32(-1) + i32(1) + gain;
    QTest::newRow("huge column count") << head + i32(1) + i32(0x7FFFFFFF) + gain + absent;
    QTest::newRow("huge tick count") << head + i32(0x7FFFFFFF) + i32(1) + gain + absent;
    QTest::newRow("huge string") << u32(0x7FFFFFFE) + i32(1) + i32(1) + gain + absent;
}

void ClipboardTest::damagedPatternBlocksAreRefused()
{
    QFETCH(QByteArray, bytes);

    QVERIFY(!PatternBlock::decode(bytes));
    const Place source = sourcePlace();
    const Place target = destinationFor(source, SameInstance);
    const QByteArray before = bytesOf(*target.pattern);
    const auto data = clipboard::wrap(QString::fromLatin1(PatternBlock::kMimeType), bytes);
    QVERIFY(!patternClipboard::paste(
        data.get(), target.node, target.pattern, target.schema, { 0, Gain }));
    QCOMPARE(bytesOf(*target.pattern), before);
}

void ClipboardTest::patternBlockTravelsAsMimeData()
{
    const QString type = QStringLiteral("application/x-zarn-pattern");
    const Place source = sourcePlace();
    const PatternRange range { 3, 3, Lane1Note, Lane1Vel };
    QVERIFY(!patternClipboard::copy({}, source.pattern, source.schema, range));
    QVERIFY(!patternClipboard::copy(source.node, {}, source.schema, range));
    QVERIFY(!patternClipboard::copy(source.node, source.pattern, {}, range));

    const auto data = patternClipboard::copy(source.node, source.pattern, source.schema, range);
    QVERIFY(data);
    QCOMPARE(data->formats(), QStringList { type });
    const QByteArray expected = utf16("procA") + i32(1) + i32(2) + column("Note", 3, false, 0, 1)
        + column("Vel", 2, false, 1, 1) + present(48) + present(0x10);
    QCOMPARE(data->data(type).toHex(' '), expected.toHex(' '));

    const Place target = destinationFor(source, OtherInstance);
    const QByteArray before = bytesOf(*target.pattern);
    QMimeData other;
    other.setData(QStringLiteral("text/plain"), data->data(type));
    QVERIFY(!patternClipboard::paste(
        &other, target.node, target.pattern, target.schema, { 0, Lane3Note }));
    QVERIFY(!patternClipboard::paste(
        nullptr, target.node, target.pattern, target.schema, { 0, Lane3Note }));
    QVERIFY(!patternClipboard::paste(data.get(), target.node, {}, target.schema, { 0, Lane3Note }));
    QCOMPARE(bytesOf(*target.pattern), before);

    QVERIFY(patternClipboard::paste(
        data.get(), target.node, target.pattern, target.schema, { 0, Lane3Note }));
    verifyTokens(*target.pattern, { "0:7=48", "0:8=16" });

    // A block without columns has nothing to place.
    const auto empty = clipboard::wrap(type, utf16("procA") + i32(3) + i32(0));
    QVERIFY(!patternClipboard::paste(
        empty.get(), target.node, target.pattern, target.schema, { 0, On }));
}

void ClipboardTest::sequenceCopyEncodesTheSelection_data()
{
    QTest::addColumn<SequenceRange>("range");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray tracks12 = i32(1) + i32(2) + utf16("nB") + utf16("nC");
    const QByteArray patternEntry = flag(true) + i32(0) + flag(true);
    const QByteArray breakEntry = flag(true) + i32(1) + flag(false);
    const QByteArray muteEntry = flag(true) + i32(2) + flag(false);
    const QByteArray steps0to3 = i32(0) + i32(4) // step 0: pb, nothing
        + patternEntry + utf16("pb")
        + absent
        // step 1: break, pc
        + breakEntry + patternEntry
        + utf16("pc")
        // step 2: mute, past the end of track 2
        + muteEntry
        + absent
        // step 3: past the end of both
        + absent + absent;
    QTest::newRow("tracks 1-2, steps 0-3") << SequenceRange { 1, 2, 0, 3 } << tracks12 + steps0to3;
    QTest::newRow("reversed ends") << SequenceRange { 2, 1, 3, 0 } << tracks12 + steps0to3;
    QTest::newRow("one cell") << SequenceRange { 1, 1, 1, 1 }
                              << i32(1) + i32(1) + utf16("nB") + i32(1) + i32(1) + breakEntry;
}

void ClipboardTest::sequenceCopyEncodesTheSelection()
{
    QFETCH(SequenceRange, range);
    QFETCH(QByteArray, expected);

    const SequencerFixture fixture;
    const SequenceBlock block = SequenceBlock::copy(*fixture.song->sequencer, range);
    QCOMPARE(block.encode().toHex(' '), expected.toHex(' '));

    const auto decoded = SequenceBlock::decode(expected);
    QVERIFY(decoded);
    QCOMPARE(decoded->encode().toHex(' '), expected.toHex(' '));
}

void ClipboardTest::sequencePasteWritesFromTheCursorStep()
{
    const SequencerFixture fixture;
    Sequencer& sequencer = *fixture.song->sequencer;
    const auto data = sequenceClipboard::copy(fixture.song->sequencer, { 1, 2, 0, 2 });
    QVERIFY(data);
    QCOMPARE(data->formats(), QStringList { "application/x-zarn-sequence" });

    // Step 3 is entry 12: the pattern, the break and the cleared mute land four ticks apart.
    sequencer.moveCursorAbsolute(1, 3);
    QVERIFY(sequenceClipboard::paste(data.get(), fixture.song->sequencer));
    QCOMPARE(layoutOf(*sequencer.tracks.at(0)), QString());
    QCOMPARE(layoutOf(*sequencer.tracks.at(1)),
        QStringLiteral("pb . . . b . . . m . . . pb . . . b . . . ."));
    QCOMPARE(layoutOf(*sequencer.tracks.at(2)),
        QStringLiteral(". . . . pc . . . . . . . . . . . pc . . . ."));
    QCOMPARE(sequencer.tracks.at(1)->entryAt(12)->pattern, fixture.pb);

    // A pattern the node no longer owns leaves its slot as it was; others are still written.
    SequenceBlock stale;
    stale.firstTrack = 1;
    stale.trackIds = { "nB" };
    stale.stepCount = 2;
    stale.cells
        = { { true, Entry::PatternEntry, true, "gone" }, { true, Entry::MuteEntry, false, {} } };
    sequencer.moveCursorAbsolute(1, 0);
    QVERIFY(stale.pasteInto(sequencer));
    QCOMPARE(layoutOf(*sequencer.tracks.at(1)),
        QStringLiteral("pb . . . . . . . m . . . pb . . . b . . . ."));
}

void ClipboardTest::refusedSequencePasteChangesNothing_data()
{
    QTest::addColumn<int>("cursorColumn");
    QTest::addColumn<bool>("swapTracks");
    QTest::addColumn<int>("blockFirstTrack");
    QTest::addColumn<QStringList>("blockTracks");
    QTest::addColumn<QString>("warning");

    const QStringList copied { "nB", "nC" };
    QTest::newRow("cursor on the second copied track")
        << 2 << false << 1 << copied << "Paste: cursor not at original start column";
    QTest::newRow("cursor left of the block")
        << 0 << false << 1 << copied << "Paste: cursor not at original start column";
    QTest::newRow("tracks now belong to other nodes")
        << 1 << true << 1 << copied << "Paste: track mismatch at column 1";
    QTest::newRow("second track differs")
        << 1 << false << 1 << QStringList { "nB", "nA" } << "Paste: track mismatch at column 2";
    QTest::newRow("not enough tracks")
        << 2 << false << 2 << QStringList { "nC", "nD" } << "Paste: not enough tracks";
}

void ClipboardTest::refusedSequencePasteChangesNothing()
{
    QFETCH(int, cursorColumn);
    QFETCH(bool, swapTracks);
    QFETCH(int, blockFirstTrack);
    QFETCH(QStringList, blockTracks);
    QFETCH(QString, warning);

    const SequencerFixture fixture;
    Sequencer& sequencer = *fixture.song->sequencer;
    SequenceBlock block;
    block.firstTrack = blockFirstTrack;
    block.trackIds = blockTracks;
    block.stepCount = 1;
    block.cells = { { true, Entry::BreakEntry, false, {} }, {} };
    if (swapTracks)
        QVERIFY(sequencer.moveTrack(1, 1));
    sequencer.moveCursorAbsolute(cursorColumn, 0);

    const QByteArray before = bytesOf(sequencer);
    QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    const auto data
        = clipboard::wrap(QString::fromLatin1(SequenceBlock::kMimeType), block.encode());
    QVERIFY(!sequenceClipboard::paste(data.get(), fixture.song->sequencer));
    QCOMPARE(bytesOf(sequencer), before);
}

void ClipboardTest::damagedSequenceBlocksAreRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray head = i32(1) + i32(1) + utf16("nB");
    const QByteArray whole = head + i32(0) + i32(2) + flag(true) + i32(0) + flag(true) + utf16("pb")
        + flag(true) + i32(1) + flag(false);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("pattern id cut short") << whole.chopped(8);
    QTest::newRow("no tracks") << i32(1) + i32(0) + i32(0) + i32(0);
    QTest::newRow("huge track count") << i32(1) + i32(0x7FFFFFFF) + utf16("nB") + i32(0) + i32(0);
    QTest::newRow("negative step count") << head + i32(0) + i32(-1);
    QTest::newRow("huge step count") << head + i32(0) + i32(0x7FFFFFFF) + absent;
}

void ClipboardTest::damagedSequenceBlocksAreRefused()
{
    QFETCH(QByteArray, bytes);

    QVERIFY(!SequenceBlock::decode(bytes));
    const SequencerFixture fixture;
    fixture.song->sequencer->moveCursorAbsolute(1, 0);
    const QByteArray before = bytesOf(*fixture.song->sequencer);
    const auto data = clipboard::wrap(QString::fromLatin1(SequenceBlock::kMimeType), bytes);
    QVERIFY(!sequenceClipboard::paste(data.get(), fixture.song->sequencer));
    QCOMPARE(bytesOf(*fixture.song->sequencer), before);
}

QTEST_GUILESS_MAIN(ClipboardTest)
#include "tst_clipboard.moc"
