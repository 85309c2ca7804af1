#include "../song/CapturedMessages.h"
#include "../song/HandBytes.h"
#include "core/DataStream.h"
#include "core/NodeParameterSchema.h"

#include <QTest>

Q_DECLARE_METATYPE(ParameterPointer)

using namespace handbytes;

namespace {

using P = ParameterDescriptor;

// byte("Cut", null description, 0, 0xFE, 0xFF, 0x80) and makeSwitch("Acc", "Accent", 1)
const QByteArray kCutoff
    = u32(2) + utf16("Cut") + u32(0xFFFFFFFF) + u32(0) + u32(0xFE) + u32(0xFF) + u32(0x80) + i8(0);
const QByteArray kAccent
    = u32(1) + utf16("Acc") + utf16("Accent") + u32(0) + u32(1) + u32(2) + u32(0) + i8(1);
// The smallest descriptor: no type, two empty strings, zero numbers and flag.
const QByteArray kMinimal(29, '\0');

} // namespace

class SchemaTest : public QObject {
    Q_OBJECT

private slots:
    void valueText_data();
    void valueText();
    void layout_data();
    void layout();
    void damagedSchema_data();
    void damagedSchema();
};

void SchemaTest::valueText_data()
{
    QTest::addColumn<ParameterPointer>("parameter");
    QTest::addColumn<quint32>("value");
    QTest::addColumn<QString>("text");
    const auto onOff = P::makeSwitch("S", "", 0);
    const auto level = P::byte("B", "", 0, 0xFE, 0xFF, 0);
    const auto note = P::midiNote("N", "", 255);
    const auto length = P::word("W", "", 0xFFFE, 0);
    const QString empty = "<i>(empty)</i>";
    QTest::newRow("switch reads the low byte") << onOff << 0x100u << "OFF";
    QTest::newRow("switch any low bit") << onOff << 0x180u << "ON";
    QTest::newRow("byte: low 8 bits, padded, upper case") << level << 0x10Bu << "0x0B";
    QTest::newRow("word: low 16 bits, padded, upper case") << length << 0x10BEFu << "0x0BEF";
    QTest::newRow("note C-0") << note << 0u << "C-0";
    QTest::newRow("note 253") << note << 253u << "C#21"; // 253 = 21 x 12 + 1
    QTest::newRow("note off") << note << 254u << "OFF";
    QTest::newRow("note negative") << note << 0xFFFFFFFFu << "LOW";
    QTest::newRow("no type") << P::general(ValueType::None, "X", "", 0, 9, 9, 0) << 1u << "";
    QTest::newRow("empty mark wins over the type")
        << P::general(ValueType::Byte, "X", "", 1, 9, 0, 0) << 0u << empty;
}

void SchemaTest::valueText()
{
    QFETCH(ParameterPointer, parameter);
    QFETCH(quint32, value);
    QTEST(parameter->valueText(value), "text");
}

void SchemaTest::layout_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name"); // empty: no parameter there
    QTest::addColumn<int>("digits");
    QTest::newRow("negative") << -1 << "" << 0;
    QTest::newRow("first node parameter, byte") << 0 << "Cut" << 2;
    QTest::newRow("last node parameter, switch") << 1 << "Acc" << 1;
    QTest::newRow("first track parameter, note") << 2 << "Note" << 3;
    QTest::newRow("last track parameter") << 4 << "Vol" << 2;
    QTest::newRow("second lane is not reached") << 5 << "" << 0;
}

// Node lanes: Byte (2 characters), Switch (1); track lanes: Note (3), Word (4), Byte (2).
void SchemaTest::layout()
{
    QFETCH(int, index);
    QFETCH(QString, name);
    NodeParameterSchema schema;
    schema.nodeParameters
        = { P::byte("Cut", QString(), 0, 0xFE, 0xFF, 0x80), P::makeSwitch("Acc", "Accent", 1) };
    schema.trackParameters = { P::midiNote("Note", "", 253), P::word("Len", "", 0xFFFE, 0x100),
        P::byte("Vol", "", 0, 0xFE, 0xFF, 0x40) };
    const ParameterPointer p = schema.parameterAt(index);
    QCOMPARE(p ? p->name : QString(), name);
    QTEST(schemaLayout::digitInParameterCount(&schema, index, false), "digits");
    QCOMPARE(schema.digitCount(-3), 2 + 1);
    QCOMPARE(schema.digitCount(1), 3 + 4 + 2);
    QCOMPARE(schemaLayout::digitInPatternCount(&schema, false), 3 + 256 * 9);
    QCOMPARE(schemaLayout::columnsInPatternCount(&schema, false), 256);
    QCOMPARE(schemaLayout::digitInPatternCount(nullptr, false), 0);
    QCOMPARE(schemaLayout::columnsInPatternCount(nullptr, false), 0);
    QCOMPARE(schemaLayout::digitInParameterCount(nullptr, 0, false), 0);
    // The layout questions speak only when asked to.
    CapturedMessages messages;
    schemaLayout::digitInParameterCount(&schema, 99, false);
    schemaLayout::digitInParameterCount(&schema, 99, true);
    QCOMPARE(messages.lines(), QStringList { "parameter out of range in digitInParameterCount" });
}

void SchemaTest::damagedSchema_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("nodeCount");
    QTest::addColumn<int>("trackCount");
    QTest::addColumn<bool>("healthy");
    const QByteArray one = i64(1);
    QTest::newRow("well formed") << one + kCutoff + one + kAccent << 1 << 1 << true;
    QTest::newRow("negative count, list empty") << i64(-1) + one + kAccent << 0 << 1 << true;
    QTest::newRow("smallest descriptors fill the data exactly")
        << i64(0) + i64(2) + kMinimal + kMinimal << 0 << 2 << true;
    QTest::newRow("huge count") << i64(Q_INT64_C(0x7FFFFFFFFFFFFFFF)) + kCutoff << 0 << 0 << false;
    // Two descriptors need at least 58 bytes; 57 are there.
    QTest::newRow("count past the data")
        << i64(0) + i64(2) + kMinimal + kMinimal.left(28) << 0 << 0 << false;
    QTest::newRow("descriptor cut short") << one + kCutoff.left(30) << 0 << 0 << false;
    QTest::newRow("hostile name length")
        << one + u32(2) + u32(0x7FFFFFFE) + QByteArray(24, '\0') << 0 << 0 << false;
    QTest::newRow("nothing") << QByteArray() << 0 << 0 << false;
}

// Whatever the schema held before is replaced.
void SchemaTest::damagedSchema()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, healthy);
    NodeParameterSchema schema;
    schema.nodeParameters = { P::makeSwitch("Old", "", 0) };
    QDataStream in(bytes);
    datastream::prepare(in);
    CapturedMessages messages;
    schema.read(in);
    QTEST(int(schema.nodeParameters.size()), "nodeCount");
    QTEST(int(schema.trackParameters.size()), "trackCount");
    QCOMPARE(datastream::healthy(in), healthy);
}

QTEST_GUILESS_MAIN(SchemaTest)
#include "tst_schema.moc"
