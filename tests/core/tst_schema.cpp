#include "../song/CapturedMessages.h"
#include "core/DataStream.h"
#include "core/NodeParameterSchema.h"

#include <QTest>

Q_DECLARE_METATYPE(ParameterPointer)

namespace {

using P = ParameterDescriptor;

// makeSwitch("Acc", "Accent", 1)
const QByteArray kAccent("\x00\x00\x00\x01"
                         "\x00\x00\x00\x06\x00\x41\x00\x63\x00\x63"
                         "\x00\x00\x00\x0C\x00\x41\x00\x63\x00\x63\x00\x65\x00\x6E\x00\x74"
                         "\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x02\x00\x00\x00\x00"
                         "\x01",
    47);
// byte("Cut", null description, 0, 0xFE, 0xFF, 0x80)
const QByteArray kCutoff("\x00\x00\x00\x02"
                         "\x00\x00\x00\x06\x00\x43\x00\x75\x00\x74"
                         "\xFF\xFF\xFF\xFF"
                         "\x00\x00\x00\x00\x00\x00\x00\xFE\x00\x00\x00\xFF\x00\x00\x00\x80"
                         "\x00",
    35);
const QByteArray kCountOne("\x00\x00\x00\x00\x00\x00\x00\x01", 8);
const QByteArray kCountZero(8, '\0');

ParameterPointer accent()
{
    return P::makeSwitch("Acc", "Accent", 1);
}

ParameterPointer cutoff()
{
    return P::byte("Cut", QString(), 0, 0xFE, 0xFF, 0x80);
}

// Node lanes: Byte (2 characters), Switch (1); track lanes: Note (3), Word (4), Byte (2).
NodeParameterSchema layoutSchema()
{
    NodeParameterSchema schema;
    schema.nodeParameters = { cutoff(), accent() };
    schema.trackParameters = { P::midiNote("Note", "", 253), P::word("Len", "", 0xFFFE, 0x100),
        P::byte("Vol", "", 0, 0xFE, 0xFF, 0x40) };
    return schema;
}

QByteArray written(const auto& record)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    datastream::prepare(out);
    record.write(out);
    return bytes;
}

void compareDescriptors(const ParameterPointer& actual, const ParameterPointer& expected)
{
    QVERIFY(actual);
    QCOMPARE(actual->type, expected->type);
    QCOMPARE(actual->name, expected->name);
    QCOMPARE(actual->description, expected->description);
    QCOMPARE(actual->minimum, expected->minimum);
    QCOMPARE(actual->maximum, expected->maximum);
    QCOMPARE(actual->empty, expected->empty);
    QCOMPARE(actual->defaultValue, expected->defaultValue);
    QCOMPARE(actual->flag, expected->flag);
}

} // namespace

class SchemaTest : public QObject {
    Q_OBJECT

private slots:
    void constructors_data();
    void constructors();
    void valueText_data();
    void valueText();
    void parameterAt_data();
    void parameterAt();
    void digitCounts();
    void digitInParameterCount_data();
    void digitInParameterCount();
    void layoutMessagesOnlyWhenDebugging();
    void descriptorBytes_data();
    void descriptorBytes();
    void schemaBytes();
    void schemaRoundTrip();
    void damagedSchema_data();
    void damagedSchema();
};

void SchemaTest::constructors_data()
{
    QTest::addColumn<ParameterPointer>("parameter");
    QTest::addColumn<quint32>("type");
    QTest::addColumn<quint32>("minimum");
    QTest::addColumn<quint32>("maximum");
    QTest::addColumn<quint32>("empty");
    QTest::addColumn<quint32>("defaultValue");
    QTest::addColumn<quint8>("flag");

    QTest::newRow("general") << P::general(ValueType::Word, "G", "", 3, 900, 1000, 7) << 4u << 3u
                             << 900u << 1000u << 7u << quint8(0);
    QTest::newRow("switch") << P::makeSwitch("S", "", 1) << 1u << 0u << 1u << 2u << 0u << quint8(1);
    QTest::newRow("byte") << P::byte("B", "", 1, 0xFE, 0xFF, 128) << 2u << 1u << 254u << 255u
                          << 128u << quint8(0);
    QTest::newRow("note") << P::midiNote("N", "", 253) << 3u << 0u << 253u << 255u << 255u
                          << quint8(0);
    QTest::newRow("word") << P::word("W", "", 0xFFFE, 0x1000) << 4u << 0u << 0xFFFEu << 0xFFFFu
                          << 0x1000u << quint8(0);
}

void SchemaTest::constructors()
{
    QFETCH(ParameterPointer, parameter);
    QTEST(parameter->type, "type");
    QTEST(parameter->minimum, "minimum");
    QTEST(parameter->maximum, "maximum");
    QTEST(parameter->empty, "empty");
    QTEST(parameter->defaultValue, "defaultValue");
    QTEST(parameter->flag, "flag");
}

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

    QTest::newRow("switch off") << onOff << 0u << "OFF";
    QTest::newRow("switch on") << onOff << 1u << "ON";
    QTest::newRow("switch empty") << onOff << 2u << empty;
    QTest::newRow("switch reads the low byte") << onOff << 0x100u << "OFF";
    QTest::newRow("switch any low bit") << onOff << 0x180u << "ON";
    QTest::newRow("byte zero padded") << level << 0x0Au << "0x0A";
    QTest::newRow("byte upper case") << level << 0xFEu << "0xFE";
    QTest::newRow("byte empty") << level << 0xFFu << empty;
    QTest::newRow("byte low 8 bits") << level << 0x1ABu << "0xAB";
    QTest::newRow("word zero padded") << length << 0x0u << "0x0000";
    QTest::newRow("word upper case") << length << 0xBEEFu << "0xBEEF";
    QTest::newRow("word low 16 bits") << length << 0x12345u << "0x2345";
    QTest::newRow("word empty") << length << 0xFFFFu << empty;
    QTest::newRow("note C-0") << note << 0u << "C-0";
    QTest::newRow("note C-5") << note << 60u << "C-5";
    QTest::newRow("note C#5") << note << 61u << "C#5";
    QTest::newRow("note B-5") << note << 71u << "B-5";
    QTest::newRow("note 253") << note << 253u << "C#21"; // 253 = 21 x 12 + 1
    QTest::newRow("note off") << note << 254u << "OFF";
    QTest::newRow("note empty") << note << 255u << empty;
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

void SchemaTest::parameterAt_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name"); // empty: no parameter

    QTest::newRow("negative") << -1 << "";
    QTest::newRow("first node parameter") << 0 << "Cut";
    QTest::newRow("last node parameter") << 1 << "Acc";
    QTest::newRow("first track parameter") << 2 << "Note";
    QTest::newRow("last track parameter") << 4 << "Vol";
    QTest::newRow("second lane is not reached") << 5 << "";
    QTest::newRow("far past") << 1000 << "";
}

void SchemaTest::parameterAt()
{
    QFETCH(int, index);
    QFETCH(QString, name);
    const ParameterPointer p = layoutSchema().parameterAt(index);
    QCOMPARE(p ? p->name : QString(), name);
}

void SchemaTest::digitCounts()
{
    const NodeParameterSchema schema = layoutSchema();
    QCOMPARE(schema.digitCount(0), 2 + 1);
    QCOMPARE(schema.digitCount(-3), 2 + 1);
    QCOMPARE(schema.digitCount(1), 3 + 4 + 2);
    QCOMPARE(schema.digitCount(200), 3 + 4 + 2);
    QCOMPARE(schemaLayout::digitInPatternCount(&schema, false), 3 + 256 * 9);
    QCOMPARE(schemaLayout::columnsInPatternCount(&schema, false), 256);

    NodeParameterSchema nodeOnly = schema;
    nodeOnly.trackParameters.clear();
    QCOMPARE(schemaLayout::digitInPatternCount(&nodeOnly, false), 3);
    QCOMPARE(schemaLayout::digitInPatternCount(nullptr, false), 0);
    QCOMPARE(schemaLayout::columnsInPatternCount(nullptr, false), 0);
}

void SchemaTest::digitInParameterCount_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("digits");

    QTest::newRow("byte") << 0 << 2;
    QTest::newRow("switch") << 1 << 1;
    QTest::newRow("note") << 2 << 3;
    QTest::newRow("word") << 3 << 4;
    QTest::newRow("track byte") << 4 << 2;
    QTest::newRow("out of range") << 5 << 0;
    QTest::newRow("negative") << -1 << 0;
}

void SchemaTest::digitInParameterCount()
{
    QFETCH(int, index);
    const NodeParameterSchema schema = layoutSchema();
    QTEST(schemaLayout::digitInParameterCount(&schema, index, false), "digits");
}

void SchemaTest::layoutMessagesOnlyWhenDebugging()
{
    const NodeParameterSchema schema = layoutSchema();
    {
        CapturedMessages messages;
        schemaLayout::digitInPatternCount(nullptr, false);
        schemaLayout::columnsInPatternCount(nullptr, false);
        schemaLayout::digitInParameterCount(nullptr, 0, false);
        schemaLayout::digitInParameterCount(&schema, 99, false);
        QCOMPARE(messages.lines(), QStringList());
    }
    CapturedMessages messages;
    schemaLayout::digitInPatternCount(nullptr, true);
    schemaLayout::columnsInPatternCount(nullptr, true);
    schemaLayout::digitInParameterCount(nullptr, 0, true);
    schemaLayout::digitInParameterCount(&schema, 99, true);
    schemaLayout::digitInParameterCount(&schema, 0, true);
    const QStringList expected = { "No schema in digitInPatternCount",
        "No schema in columnsInPatternCount", "No schema in digitInParameterCount",
        "parameter out of range in digitInParameterCount" };
    QCOMPARE(messages.lines(), expected);
}

void SchemaTest::descriptorBytes_data()
{
    QTest::addColumn<ParameterPointer>("parameter");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("switch with description") << accent() << kAccent;
    QTest::newRow("byte with null description") << cutoff() << kCutoff;
    // The flag goes out as a signed byte and comes back unsigned.
    QTest::newRow("high flag") << P::makeSwitch("S", "", 200)
                               << QByteArray("\x00\x00\x00\x01"
                                             "\x00\x00\x00\x02\x00\x53"
                                             "\x00\x00\x00\x00"
                                             "\x00\x00\x00\x00\x00\x00\x00\x01"
                                             "\x00\x00\x00\x02\x00\x00\x00\x00"
                                             "\xC8",
                                      31);
}

void SchemaTest::descriptorBytes()
{
    QFETCH(ParameterPointer, parameter);
    QFETCH(QByteArray, bytes);
    QCOMPARE(written(*parameter).toHex(' '), bytes.toHex(' '));

    QDataStream in(bytes);
    datastream::prepare(in);
    ParameterDescriptor back;
    back.read(in);
    QCOMPARE(in.status(), QDataStream::Ok);
    QVERIFY(in.atEnd());
    compareDescriptors(ParameterPointer::create(back), parameter);
}

void SchemaTest::schemaBytes()
{
    NodeParameterSchema schema;
    schema.nodeParameters = { cutoff() };
    schema.trackParameters = { accent() };
    const QByteArray bytes = kCountOne + kCutoff + kCountOne + kAccent;

    QTest::ignoreMessage(QtDebugMsg, "Stream OUT NodeParameterSchema: nodeParameters size=1");
    QCOMPARE(written(schema).toHex(' '), bytes.toHex(' '));

    NodeParameterSchema back;
    QDataStream in(bytes);
    datastream::prepare(in);
    QTest::ignoreMessage(QtDebugMsg, "Stream IN Schema: nodeParameters=1");
    QTest::ignoreMessage(QtDebugMsg, "Stream IN Schema: trackParameters=1");
    back.read(in);
    QCOMPARE(in.status(), QDataStream::Ok);
    QCOMPARE(back.nodeParameters.size(), 1);
    QCOMPARE(back.trackParameters.size(), 1);
    compareDescriptors(back.nodeParameters.at(0), cutoff());
    compareDescriptors(back.trackParameters.at(0), accent());
}

void SchemaTest::schemaRoundTrip()
{
    NodeParameterSchema schema = layoutSchema();
    schema.nodeParameters.append(P::general(ValueType::None, "", "", 0, 0, 0, 0));
    schema.trackParameters.append(P::makeSwitch("Slide", "Glide into the note", 0xFF));

    CapturedMessages messages;
    NodeParameterSchema back;
    const QByteArray bytes = written(schema);
    QDataStream in(bytes);
    datastream::prepare(in);
    back.read(in);
    QVERIFY(in.atEnd());
    QCOMPARE(back.nodeParameters.size(), schema.nodeParameters.size());
    QCOMPARE(back.trackParameters.size(), schema.trackParameters.size());
    for (int i = 0; i < schema.nodeParameters.size(); ++i)
        compareDescriptors(back.nodeParameters.at(i), schema.nodeParameters.at(i));
    for (int i = 0; i < schema.trackParameters.size(); ++i)
        compareDescriptors(back.trackParameters.at(i), schema.trackParameters.at(i));
}

void SchemaTest::damagedSchema_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("nodeCount");
    QTest::addColumn<int>("trackCount");
    QTest::addColumn<bool>("healthy");

    const QByteArray minusOne(8, '\xFF');
    QTest::newRow("valid") << kCountOne + kCutoff + kCountOne + kAccent << 1 << 1 << true;
    QTest::newRow("negative count leaves the list empty")
        << minusOne + kCountOne + kAccent << 0 << 1 << true;
    QTest::newRow("zero counts") << kCountZero + kCountZero << 0 << 0 << true;
    QTest::newRow("huge count") << QByteArray("\x7F\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 8) + kCutoff << 0
                                << 0 << false;
    // Two descriptors need at least 58 bytes; one is there.
    QTest::newRow("count past the data")
        << QByteArray("\x00\x00\x00\x00\x00\x00\x00\x02", 8) + kCutoff << 0 << 0 << false;
    QTest::newRow("descriptor cut short") << kCountOne + kCutoff.left(30) << 0 << 0 << false;
    QTest::newRow("hostile name length") << kCountOne
            + QByteArray("\x00\x00\x00\x02"
                         "\x7F\xFF\xFF\xFE",
                8)
            + QByteArray(24, '\0') << 0 << 0
                                         << false;
    QTest::newRow("track list cut short")
        << kCountOne + kCutoff + kCountOne + kAccent.left(46) << 1 << 0 << false;
    QTest::newRow("nothing") << QByteArray() << 0 << 0 << false;
}

void SchemaTest::damagedSchema()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, healthy);

    // Whatever was there before is replaced.
    NodeParameterSchema schema = layoutSchema();
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
