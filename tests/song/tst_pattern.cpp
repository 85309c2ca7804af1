#include "CapturedMessages.h"
#include "HandBytes.h"
#include "core/DataStream.h"
#include "song/Node.h"
#include "song/Pattern.h"

#include <QRegularExpression>
#include <QTest>

using namespace handbytes;

namespace {

RowPointer rowOf(const QList<quint32>& cells)
{
    return RowPointer::create(Row { cells });
}

// The slots as text: "-" for an empty slot, the cells in hex between brackets otherwise.
QString slotsOf(const Pattern& pattern)
{
    QStringList shown;
    for (const RowPointer& row : pattern.rows) {
        QStringList cells;
        for (const quint32 cell : row ? row->cells : QList<quint32>())
            cells.append(QString::number(cell, 16));
        shown.append(row ? '[' + cells.join(',') + ']' : QStringLiteral("-"));
    }
    return shown.join(' ');
}

// Name and uniqueID both empty, length 16; the slot count and the slots follow.
const QByteArray kHead = u32(0) + u32(0) + u32(16);

} // namespace

class PatternTest : public QObject {
    Q_OBJECT

private slots:
    void construction();
    void setRow_data();
    void setRow();
    void readSlots_data();
    void readSlots();
};

void PatternTest::construction()
{
    QCOMPARE(Pattern("00", {}, 0).length, 16);
    QCOMPARE(Pattern("00", {}, 1).length, 1);
    Pattern pattern("00", {}, 64);
    QCOMPARE(pattern.lanes, 1);
    QVERIFY(QRegularExpression("^[a-zA-Z0-9]{20}$").match(pattern.uniqueID).hasMatch());
    QVERIFY(Pattern("00", {}, 64).uniqueID != pattern.uniqueID);
    // The lane limits: a refusal changes nothing.
    pattern.lanes = 254;
    QVERIFY(pattern.addLane());
    QVERIFY(!pattern.addLane());
    QCOMPARE(pattern.lanes, 255);
    pattern.lanes = 1;
    QVERIFY(pattern.removeLane());
    QVERIFY(!pattern.removeLane());
    QCOMPARE(pattern.lanes, 0);
}

void PatternTest::setRow_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<int>("length");
    QTest::newRow("first") << 0 << "[9] [2] [3]" << 16;
    QTest::newRow("right past the slots") << 3 << "[1] [2] [3] [9]" << 16;
    QTest::newRow("last tick of the length")
        << 15 << "[1] [2] [3]" + QString(" -").repeated(12) + " [9]" << 16;
    QTest::newRow("at the length grows it")
        << 16 << "[1] [2] [3]" + QString(" -").repeated(13) + " [9]" << 17;
    QTest::newRow("negative is refused") << -1 << "[1] [2] [3]" << 16;
}

void PatternTest::setRow()
{
    QFETCH(int, index);
    QFETCH(QString, layout);
    Pattern pattern("00", zarn::NodePointer(), 16);
    pattern.rows = { rowOf({ 1 }), rowOf({ 2 }), rowOf({ 3 }) };
    CapturedMessages messages;
    pattern.setRow(index, rowOf({ 9 }));
    QCOMPARE(slotsOf(pattern), layout);
    QTEST(int(pattern.length), "length");
    const qsizetype size = pattern.rows.size();
    QCOMPARE(pattern.rowAt(index), index < 0 ? RowPointer() : pattern.rows.at(index));
    QCOMPARE(pattern.rowAt(int(size)), RowPointer()); // inside the length, past the slots
    pattern.setRow(index, RowPointer());
    QVERIFY(!pattern.rowAt(index));
    QCOMPARE(pattern.rows.size(), size);
}

void PatternTest::readSlots_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("healthy");
    QTest::addColumn<QString>("layout");
    // Two slots, the first a row of one cell 0x2A stored for the index given, the second empty.
    const auto stored = [](qint32 index) {
        return kHead + i64(2) + i8(1) + u32(quint32(index)) + i64(1) + u32(0x2A) + i8(0);
    };
    const QByteArray oneRow = kHead + i64(1) + i8(1) + u32(0);
    QTest::newRow("index of its own slot") << stored(0) << true << "[2a] -";
    QTest::newRow("index of another slot") << stored(1) << true << "- [2a]";
    QTest::newRow("index right past the slots") << stored(2) << true << "- -";
    QTest::newRow("negative index") << stored(-1) << true << "- -";
    QTest::newRow("empty slots fill the data")
        << kHead + i64(3) + QByteArray(3, '\0') << true << "- - -";
    QTest::newRow("cells fill the data")
        << oneRow + i64(2) + QByteArray(8, '\x11') << true << "[11111111,11111111]";
    QTest::newRow("negative slot count") << kHead + i64(-4) << true << "";
    QTest::newRow("negative cell count") << oneRow + i64(-1) << true << "[]";
    QTest::newRow("huge slot count") << kHead + i64(INT64_MAX) << false << "";
    // Five slots need at least five bytes; four are there.
    QTest::newRow("slot count past the data")
        << kHead + i64(5) + QByteArray(4, '\0') << false << "";
    QTest::newRow("huge cell count") << oneRow + i64(1LL << 60) << false << "-";
    // Three cells need twelve bytes; eleven are there.
    QTest::newRow("cell count past the data")
        << oneRow + i64(3) + QByteArray(11, '\x11') << false << "-";
}

void PatternTest::readSlots()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, healthy);
    Pattern pattern("node pattern X", zarn::NodePointer(), 16);
    pattern.lanes = 3;
    QDataStream in(bytes);
    datastream::prepare(in);
    CapturedMessages messages;
    pattern.read(in);
    QCOMPARE(in.status() == QDataStream::Ok, healthy);
    QTEST(slotsOf(pattern), "layout");
}

QTEST_GUILESS_MAIN(PatternTest)
#include "tst_pattern.moc"
