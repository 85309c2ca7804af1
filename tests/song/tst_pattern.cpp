#include "CapturedMessages.h"
#include "core/DataStream.h"
#include "song/Node.h"
#include "song/Pattern.h"

#include <QRegularExpression>
#include <QTest>

namespace {

using P = ParameterDescriptor;

// A processor that renders nothing and declares the schema it is given.
class SchemaOnly final : public Processor {
public:
    explicit SchemaOnly(const SchemaPointer& schema)
        : Processor(ProcessorCharacter())
        , m_schema(schema)
    {
    }
    void process(AudioContext&) override { }
    SchemaPointer schema() const override { return m_schema; }

private:
    SchemaPointer m_schema;
};

// Node lanes empty at 0xFF and 2, track lanes at 255, 0xFFFF and 0x7F.
SchemaPointer laneSchema()
{
    auto schema = QSharedPointer<NodeParameterSchema>::create();
    schema->nodeParameters
        = { P::byte("Vol", "", 0, 0xFE, 0xFF, 0x80), P::makeSwitch("On", "", 0) };
    schema->trackParameters = { P::midiNote("Note", "", 253), P::word("Len", "", 0xFFFE, 0),
        P::general(ValueType::Byte, "Vel", "", 0, 0x7E, 0x7F, 0x40) };
    return schema;
}

zarn::NodePointer nodeWith(const SchemaPointer& schema)
{
    auto node = zarn::NodePointer::create();
    node->processor = QSharedPointer<SchemaOnly>::create(schema);
    return node;
}

RowPointer rowOf(const QList<quint32>& cells)
{
    auto row = RowPointer::create();
    row->cells = cells;
    return row;
}

// Name "00", uniqueID "abc", length 4, three slots: {1, 0xFFFFFFFF}, none, {}.
const QByteArray kStoredPattern("\x00\x00\x00\x04\x00\x30\x00\x30"
                                "\x00\x00\x00\x06\x00\x61\x00\x62\x00\x63"
                                "\x00\x00\x00\x04"
                                "\x00\x00\x00\x00\x00\x00\x00\x03"
                                "\x01"
                                "\x00\x00\x00\x00"
                                "\x00\x00\x00\x00\x00\x00\x00\x02"
                                "\x00\x00\x00\x01"
                                "\xFF\xFF\xFF\xFF"
                                "\x00"
                                "\x01"
                                "\x00\x00\x00\x02"
                                "\x00\x00\x00\x00\x00\x00\x00\x00",
    65);

// Name and uniqueID both empty, length 16; the slot count and the slots follow.
const QByteArray kBlankHeader("\x00\x00\x00\x00"
                              "\x00\x00\x00\x00"
                              "\x00\x00\x00\x10",
    12);

QByteArray int32Bytes(qint32 value)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    datastream::prepare(out);
    out << value;
    return bytes;
}

QByteArray int64Bytes(qint64 value)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    datastream::prepare(out);
    out << value;
    return bytes;
}

PatternPointer readPattern(const QByteArray& bytes, QDataStream::Status* status = nullptr)
{
    auto pattern = PatternPointer::create("node pattern X", zarn::NodePointer(), 16);
    pattern->lanes = 3;
    QDataStream in(bytes);
    datastream::prepare(in);
    pattern->read(in);
    if (status)
        *status = in.status();
    return pattern;
}

} // namespace

class PatternTest : public QObject {
    Q_OBJECT

private slots:
    void construction_data();
    void construction();
    void rowAt();
    void setRow_data();
    void setRow();
    void setCell_data();
    void setCell();
    void neutralRow_data();
    void neutralRow();
    void neutralRowRefusals();
    void lanes_data();
    void lanes();
    void streamOut();
    void streamIn();
    void roundTrip();
    void storedIndex_data();
    void storedIndex();
    void hostileCounts_data();
    void hostileCounts();
    void everyTruncationIsSafe();
};

void PatternTest::construction_data()
{
    QTest::addColumn<int>("given");
    QTest::addColumn<int>("length");

    QTest::newRow("zero") << 0 << 16;
    QTest::newRow("negative") << -5 << 16;
    QTest::newRow("one") << 1 << 1;
    QTest::newRow("long") << 64 << 64;
}

void PatternTest::construction()
{
    QFETCH(int, given);
    const Pattern pattern("00", zarn::NodePointer(), given);
    QTEST(int(pattern.length), "length");
    QCOMPARE(pattern.lanes, 1);
    QVERIFY(pattern.rows.isEmpty());
    static const QRegularExpression identifier("^[a-zA-Z0-9]{20}$");
    QVERIFY(identifier.match(pattern.uniqueID).hasMatch());
    QVERIFY(Pattern("00", zarn::NodePointer(), given).uniqueID != pattern.uniqueID);
}

void PatternTest::rowAt()
{
    Pattern pattern("00", zarn::NodePointer(), 16);
    const RowPointer row = rowOf({ 1 });
    pattern.rows = { RowPointer(), row };
    QCOMPARE(pattern.rowAt(-1), RowPointer());
    QCOMPARE(pattern.rowAt(0), RowPointer());
    QCOMPARE(pattern.rowAt(1), row);
    QCOMPARE(pattern.rowAt(2), RowPointer()); // inside the length, past the slots
}

void PatternTest::setRow_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("slotCount");
    QTest::addColumn<int>("length");

    QTest::newRow("inside the slots") << 2 << 3 << 16;
    QTest::newRow("past the slots") << 15 << 16 << 16;
    QTest::newRow("at the length") << 16 << 17 << 17;
    QTest::newRow("past the length") << 20 << 21 << 21;
}

void PatternTest::setRow()
{
    QFETCH(int, index);
    QFETCH(int, slotCount);

    Pattern pattern("00", zarn::NodePointer(), 16);
    const QList<RowPointer> before = { rowOf({ 1 }), rowOf({ 2 }), rowOf({ 3 }) };
    pattern.rows = before;
    const RowPointer row = rowOf({ 9 });
    pattern.setRow(index, row);

    QCOMPARE(pattern.rows.size(), slotCount);
    QTEST(int(pattern.length), "length");
    for (int i = 0; i < slotCount; ++i) {
        const RowPointer expected = i == index ? row : i < 3 ? before.at(i) : RowPointer();
        QCOMPARE(pattern.rows.at(i), expected);
    }

    pattern.setRow(index, RowPointer());
    QCOMPARE(pattern.rowAt(index), RowPointer());
    QCOMPARE(pattern.rows.size(), slotCount);
}

void PatternTest::setCell_data()
{
    QTest::addColumn<QList<quint32>>("cells");
    QTest::addColumn<int>("index");
    QTest::addColumn<QList<quint32>>("result");

    // value 7, fill 9
    QTest::newRow("empty row grows with the fill")
        << QList<quint32>() << 2 << QList<quint32> { 9, 9, 7 };
    QTest::newRow("overwrites in place")
        << QList<quint32> { 1, 2, 3 } << 1 << QList<quint32> { 1, 7, 3 };
    QTest::newRow("appends at the end") << QList<quint32> { 1 } << 1 << QList<quint32> { 1, 7 };
    QTest::newRow("negative index does nothing")
        << QList<quint32> { 1 } << -1 << QList<quint32> { 1 };
}

void PatternTest::setCell()
{
    QFETCH(QList<quint32>, cells);
    QFETCH(int, index);
    Row row;
    row.cells = cells;
    row.setCell(index, 7, 9);
    QTEST(row.cells, "result");
}

void PatternTest::neutralRow_data()
{
    QTest::addColumn<int>("lanes");
    QTest::addColumn<QList<quint32>>("cells");

    QTest::newRow("no lanes") << 0 << QList<quint32> { 0xFF, 2 };
    QTest::newRow("one lane") << 1 << QList<quint32> { 0xFF, 2, 255, 0xFFFF, 0x7F };
    QTest::newRow("two lanes") << 2
                               << QList<quint32> { 0xFF, 2, 255, 0xFFFF, 0x7F, 255, 0xFFFF, 0x7F };
}

void PatternTest::neutralRow()
{
    QFETCH(int, lanes);
    const auto node = nodeWith(laneSchema());
    Pattern pattern("00", node, 16);
    pattern.lanes = lanes;
    const RowPointer row = pattern.makeNeutralRow();
    QVERIFY(row);
    QTEST(row->cells, "cells");
    QVERIFY(pattern.rows.isEmpty());
}

void PatternTest::neutralRowRefusals()
{
    Pattern orphan("00", zarn::NodePointer(), 16);
    QTest::ignoreMessage(QtWarningMsg, "No node, cant make neutral row");
    QCOMPARE(orphan.makeNeutralRow(), RowPointer());

    // The node is held weakly: once it is gone the pattern has no node.
    auto node = nodeWith(laneSchema());
    Pattern outlived("00", node, 16);
    node.reset();
    QTest::ignoreMessage(QtWarningMsg, "No node, cant make neutral row");
    QCOMPARE(outlived.makeNeutralRow(), RowPointer());

    const auto bare = zarn::NodePointer::create();
    Pattern noProcessor("00", bare, 16);
    QTest::ignoreMessage(QtWarningMsg, "No schema, cant make neutral row");
    QCOMPARE(noProcessor.makeNeutralRow(), RowPointer());

    const auto schemaless = nodeWith(SchemaPointer());
    Pattern noSchema("00", schemaless, 16);
    QTest::ignoreMessage(QtWarningMsg, "No schema, cant make neutral row");
    QCOMPARE(noSchema.makeNeutralRow(), RowPointer());
}

void PatternTest::lanes_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<bool>("add");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("result");

    QTest::newRow("add below the limit") << 254 << true << true << 255;
    QTest::newRow("add at the limit") << 255 << true << false << 255;
    QTest::newRow("add from none") << 0 << true << true << 1;
    QTest::newRow("remove down to none") << 1 << false << true << 0;
    QTest::newRow("remove at none") << 0 << false << false << 0;
}

void PatternTest::lanes()
{
    QFETCH(int, start);
    QFETCH(bool, add);

    Pattern pattern("00", zarn::NodePointer(), 16);
    const RowPointer row = rowOf({ 1, 2, 3 });
    pattern.setRow(0, row);
    pattern.lanes = start;
    QTEST(add ? pattern.addLane() : pattern.removeLane(), "accepted");
    QTEST(int(pattern.lanes), "result");
    QCOMPARE(pattern.rows, QList<RowPointer> { row });
    QCOMPARE(row->cells, (QList<quint32> { 1, 2, 3 }));
}

void PatternTest::streamOut()
{
    Pattern pattern("00", zarn::NodePointer(), 4);
    pattern.uniqueID = "abc";
    pattern.lanes = 7; // not stored
    pattern.rows = { rowOf({ 1, 0xFFFFFFFF }), RowPointer(), rowOf({}) };

    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    datastream::prepare(out);
    QTest::ignoreMessage(QtDebugMsg, "Stream OUT Pattern: name=00, uniqueID=abc, size=3");
    QTest::ignoreMessage(QtDebugMsg, "Stream OUT Row: size=2");
    QTest::ignoreMessage(QtDebugMsg, "Stream OUT Row: size=0");
    pattern.write(out);
    QCOMPARE(bytes.toHex(' '), kStoredPattern.toHex(' '));
}

void PatternTest::streamIn()
{
    QTest::ignoreMessage(QtDebugMsg, "Stream IN Pattern: name=00, uniqueID=abc, size=3");
    QTest::ignoreMessage(QtDebugMsg, "Stream IN Row: size=2");
    QTest::ignoreMessage(QtDebugMsg, "Stream IN Row: size=0");
    QDataStream::Status status;
    const PatternPointer pattern = readPattern(kStoredPattern, &status);

    QCOMPARE(status, QDataStream::Ok);
    QCOMPARE(pattern->name, QString("00"));
    QCOMPARE(pattern->uniqueID, QString("abc"));
    QCOMPARE(pattern->length, 4);
    QCOMPARE(pattern->lanes, 1);
    QCOMPARE(pattern->rows.size(), 3);
    QVERIFY(pattern->rows.at(0));
    QCOMPARE(pattern->rows.at(0)->cells, (QList<quint32> { 1, 0xFFFFFFFF }));
    QCOMPARE(pattern->rows.at(1), RowPointer());
    QVERIFY(pattern->rows.at(2));
    QVERIFY(pattern->rows.at(2)->cells.isEmpty());
}

void PatternTest::roundTrip()
{
    Pattern pattern("Lead", zarn::NodePointer(), 32);
    pattern.setRow(0, rowOf({ 0x12345678, 0, 0xFF }));
    pattern.setRow(5, rowOf({ 60, 254 }));
    pattern.setRow(40, rowOf({ 0xFFFF }));

    CapturedMessages messages;
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    datastream::prepare(out);
    pattern.write(out);
    QDataStream::Status status;
    const PatternPointer back = readPattern(bytes, &status);

    QCOMPARE(status, QDataStream::Ok);
    QCOMPARE(back->name, pattern.name);
    QCOMPARE(back->uniqueID, pattern.uniqueID);
    QCOMPARE(back->length, 41);
    QCOMPARE(back->rows.size(), 41);
    for (int i = 0; i < 41; ++i) {
        const RowPointer original = pattern.rowAt(i);
        QCOMPARE(bool(back->rowAt(i)), bool(original));
        if (original)
            QCOMPARE(back->rowAt(i)->cells, original->cells);
    }
}

void PatternTest::storedIndex_data()
{
    QTest::addColumn<qint32>("storedIndex");
    QTest::addColumn<int>("filledSlot"); // -1: the row is dropped

    QTest::newRow("its own slot") << 0 << 0;
    QTest::newRow("another slot in the list") << 1 << 1;
    QTest::newRow("past the slot list") << 5 << -1;
    QTest::newRow("negative") << -1 << -1;
    QTest::newRow("largest") << 2147483647 << -1;
}

void PatternTest::storedIndex()
{
    QFETCH(qint32, storedIndex);
    QFETCH(int, filledSlot);

    // Two slots, the first holding one cell 0x2A at the stored index, the second empty.
    const QByteArray bytes = kBlankHeader + int64Bytes(2) + QByteArray("\x01", 1)
        + int32Bytes(storedIndex) + int64Bytes(1) + int32Bytes(0x2A) + QByteArray("\x00", 1);
    CapturedMessages messages;
    QDataStream::Status status;
    const PatternPointer pattern = readPattern(bytes, &status);

    QCOMPARE(status, QDataStream::Ok);
    QCOMPARE(pattern->rows.size(), 2);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(bool(pattern->rows.at(i)), i == filledSlot);
        if (i == filledSlot)
            QCOMPARE(pattern->rows.at(i)->cells, QList<quint32> { 0x2A });
    }
}

void PatternTest::hostileCounts_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("slotCount");

    const QByteArray slotHeader = QByteArray("\x01", 1) + int32Bytes(0);
    QTest::newRow("huge slot count")
        << kBlankHeader + int64Bytes(Q_INT64_C(0x7FFFFFFFFFFFFFFF)) << 0;
    QTest::newRow("negative slot count") << kBlankHeader + int64Bytes(-4) << 0;
    // Five slots need at least five bytes; four are there.
    QTest::newRow("slot count past the data")
        << kBlankHeader + int64Bytes(5) + QByteArray(4, '\0') << 0;
    QTest::newRow("huge cell count")
        << kBlankHeader + int64Bytes(1) + slotHeader + int64Bytes(Q_INT64_C(1) << 60) << 1;
    QTest::newRow("negative cell count")
        << kBlankHeader + int64Bytes(1) + slotHeader + int64Bytes(-1) << 1;
    // Three cells need twelve bytes; eight are there.
    QTest::newRow("cell count past the data")
        << kBlankHeader + int64Bytes(1) + slotHeader + int64Bytes(3) + QByteArray(8, '\x11') << 1;
}

void PatternTest::hostileCounts()
{
    QFETCH(QByteArray, bytes);
    CapturedMessages messages;
    const PatternPointer pattern = readPattern(bytes);
    QTEST(int(pattern->rows.size()), "slotCount");
    for (const RowPointer& row : pattern->rows)
        QVERIFY(!row || row->cells.isEmpty());
}

void PatternTest::everyTruncationIsSafe()
{
    CapturedMessages messages;
    for (int size = 0; size < kStoredPattern.size(); ++size) {
        QDataStream::Status status;
        const PatternPointer pattern = readPattern(kStoredPattern.left(size), &status);
        QVERIFY2(status != QDataStream::Ok, qPrintable(QString::number(size)));
        QVERIFY(pattern->rows.size() <= 3);
        // A row cut short is not placed half-read.
        if (const RowPointer first = pattern->rowAt(0))
            QCOMPARE(first->cells, (QList<quint32> { 1, 0xFFFFFFFF }));
    }
}

QTEST_GUILESS_MAIN(PatternTest)
#include "tst_pattern.moc"
