#include "processors/Processor.h"
#include "processors/io/IoSchema.h"
#include "processors/io/OutputProcessor.h"

#include <QtTest>

namespace {

// Records every row it is given; its lanes are whatever schema the test hands it.
class RecordingProcessor final : public Processor {
public:
    explicit RecordingProcessor(const SchemaPointer& layout)
        : Processor(ProcessorCharacter("Recorder", true, true, true, true, false, false))
        , m_layout(layout)
    {
    }

    SchemaPointer schema() const override { return m_layout; }
    void applyRow(const quint32* values, int count, quint32 rowSerial) override
    {
        rows.append(QList<quint32>(values, values + count));
        serials.append(rowSerial);
    }

    QList<QList<quint32>> rows;
    QList<quint32> serials;

private:
    const SchemaPointer m_layout;
};

// Node lanes: a byte (empty 0xFF, default 0x80), a word (empty 0xFFFF, default 0x1234) and a
// switch (empty 2, default 0); track lanes: a note (empty 255) and a byte (empty 0xFE).
SchemaPointer mixedSchema()
{
    auto s = QSharedPointer<NodeParameterSchema>::create();
    s->nodeParameters = {
        ParameterDescriptor::byte("Level", "", 0, 0xFE, 0xFF, 0x80),
        ParameterDescriptor::word("Speed", "", 0xFFFE, 0x1234),
        ParameterDescriptor::makeSwitch("Hold", "", 0),
    };
    s->trackParameters = {
        ParameterDescriptor::midiNote("Note", "", 253),
        ParameterDescriptor::byte("Velocity", "", 0, 0xFD, 0xFE, 0x40),
    };
    return s;
}

SchemaPointer trackOnlySchema()
{
    auto s = QSharedPointer<NodeParameterSchema>::create();
    s->trackParameters = { ParameterDescriptor::midiNote("Note", "", 253) };
    return s;
}

using Words = QList<quint32>;

} // namespace

class ProcessorTest : public QObject {
    Q_OBJECT

private slots:
    void valueCacheFollowsSchema_data();
    void valueCacheFollowsSchema();
    void filledCacheIsKept();
    void setNodeParameterBuildsRow_data();
    void setNodeParameterBuildsRow();
    void manualSerialsCountDown();
    void manualRowsPassTheSerialRule();
    void outOfRangeIndexIsIgnored_data();
    void outOfRangeIndexIsIgnored();
    void instanceIdIsStablePerProcessor();
};

void ProcessorTest::valueCacheFollowsSchema_data()
{
    QTest::addColumn<SchemaPointer>("layout");
    QTest::addColumn<Words>("nodeValues");
    QTest::addColumn<Words>("nodeEmpties");
    QTest::addColumn<Words>("trackValues");
    QTest::newRow("node and track") << mixedSchema() << Words { 0x80, 0x1234, 0 }
                                    << Words { 0xFF, 0xFFFF, 2 } << Words { 255, 0xFE };
    QTest::newRow("track only") << trackOnlySchema() << Words {} << Words {} << Words { 255 };
    QTest::newRow("nothing") << SchemaPointer::create() << Words {} << Words {} << Words {};
    QTest::newRow("no schema") << SchemaPointer() << Words {} << Words {} << Words {};
}

void ProcessorTest::valueCacheFollowsSchema()
{
    QFETCH(SchemaPointer, layout);
    QFETCH(Words, nodeValues);
    QFETCH(Words, nodeEmpties);
    QFETCH(Words, trackValues);
    RecordingProcessor processor(layout);
    // Twice: a schema without node parameters leaves nodeValues empty, and the second
    // call must not add to the other lists.
    for (int pass = 0; pass < 2; ++pass) {
        processor.ensureValueCache();
        QCOMPARE(processor.nodeValues, nodeValues);
        QCOMPARE(processor.nodeEmpties, nodeEmpties);
        QCOMPARE(processor.trackValues, trackValues);
    }
}

void ProcessorTest::filledCacheIsKept()
{
    RecordingProcessor processor(mixedSchema());
    processor.ensureValueCache();
    processor.nodeValues = { 1, 2, 1 };
    processor.ensureValueCache();
    QCOMPARE(processor.nodeValues, Words({ 1, 2, 1 }));
    QCOMPARE(processor.nodeEmpties, Words({ 0xFF, 0xFFFF, 2 }));
}

void ProcessorTest::setNodeParameterBuildsRow_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<quint32>("value");
    QTest::addColumn<Words>("row");
    QTest::addColumn<Words>("nodeValues");
    QTest::newRow("first") << 0 << 0x10u << Words { 0x10, 0xFFFF, 2, 255, 0xFE }
                           << Words { 0x10, 0x1234, 0 };
    QTest::newRow("middle") << 1 << 0xBEEFu << Words { 0xFF, 0xBEEF, 2, 255, 0xFE }
                            << Words { 0x80, 0xBEEF, 0 };
    QTest::newRow("last") << 2 << 1u << Words { 0xFF, 0xFFFF, 1, 255, 0xFE }
                          << Words { 0x80, 0x1234, 1 };
}

void ProcessorTest::setNodeParameterBuildsRow()
{
    QFETCH(int, index);
    QFETCH(quint32, value);
    QFETCH(Words, row);
    QFETCH(Words, nodeValues);
    RecordingProcessor processor(mixedSchema());
    processor.setNodeParameter(index, value);
    QCOMPARE(processor.rows, QList<Words>({ row }));
    QCOMPARE(processor.nodeValues, nodeValues);
}

void ProcessorTest::manualSerialsCountDown()
{
    RecordingProcessor processor(mixedSchema());
    processor.setNodeParameter(0, 1);
    processor.setNodeParameter(0, 1);
    processor.setNodeParameter(1, 2);
    // -2, -3, -4 as unsigned 32-bit numbers.
    QCOMPARE(processor.serials, Words({ 0xFFFFFFFEu, 0xFFFFFFFDu, 0xFFFFFFFCu }));
    QCOMPARE(processor.manualRowSerial, -5);
}

void ProcessorTest::manualRowsPassTheSerialRule()
{
    // The output processor ignores a row whose serial it has just applied, so each
    // manual value only lands if every call brings a new serial.
    OutputProcessor output(44100);
    output.setNodeParameter(io::Volume, 0);
    QCOMPARE(output.volume(), 0.0);
    output.setNodeParameter(io::Volume, 32767);
    QCOMPARE(output.volume(), 1.0);
    output.setNodeParameter(io::Volume, 0);
    QCOMPARE(output.volume(), 0.0);
}

void ProcessorTest::outOfRangeIndexIsIgnored_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("negative") << -1;
    QTest::newRow("one past") << 3;
    QTest::newRow("a track lane") << 4;
    QTest::newRow("far") << 1000;
}

void ProcessorTest::outOfRangeIndexIsIgnored()
{
    QFETCH(int, index);
    RecordingProcessor processor(mixedSchema());
    processor.setNodeParameter(index, 7);
    QVERIFY(processor.rows.isEmpty());
    QCOMPARE(processor.manualRowSerial, -2);
    QCOMPARE(processor.nodeValues, Words({ 0x80, 0x1234, 0 }));
}

void ProcessorTest::instanceIdIsStablePerProcessor()
{
    RecordingProcessor first(mixedSchema());
    RecordingProcessor second(mixedSchema());
    const QString id = first.instanceId();
    QVERIFY(!id.isEmpty());
    QCOMPARE(first.instanceId(), id);
    QVERIFY(second.instanceId() != id);
    QCOMPARE(second.instanceId(), second.instanceId());

    // A non-negative integer written in base 32.
    bool ok = false;
    QVERIFY(id.toLongLong(&ok, 32) >= 0);
    QVERIFY(ok);
}

QTEST_GUILESS_MAIN(ProcessorTest)
#include "tst_processor.moc"
