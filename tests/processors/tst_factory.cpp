#include "processors/AddMenu.h"
#include "processors/ProcessorFactory.h"
#include "processors/effects/DelayProcessor.h"

#include "../song/CapturedMessages.h"
#include "InstrumentTesting.h"

namespace {

// A processor type made up by a test: its character and a tag telling registrations apart.
class StubProcessor final : public Processor {
public:
    StubProcessor(const ProcessorCharacter& character, int tag)
        : Processor(character)
        , tag(tag)
    {
    }
    SchemaPointer schema() const override { return SchemaPointer::create(); }
    const int tag;
};

ProcessorFactory::Creator stub(const QString& id, int tag = 0)
{
    return [=](int) {
        return QSharedPointer<Processor>(
            new StubProcessor(ProcessorCharacter(id, true, true, true, true, false, false), tag));
    };
}

int tagOf(const QSharedPointer<Processor>& processor)
{
    const auto made = processor.dynamicCast<StubProcessor>();
    return made ? made->tag : -1;
}

using Words = QList<quint32>;

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
        rows.append(Words(values, values + count));
        serials.append(rowSerial);
    }
    QList<Words> rows;
    Words serials;

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

} // namespace

class FactoryTest : public QObject {
    Q_OBJECT

private slots:
    void lookupsAndTheirLog();
    void brokenRegistrationsAreRefused();
    void catalogueFillsTheAddMenu();
    void setNodeParameterSendsAManualRow_data();
    void setNodeParameterSendsAManualRow();
};

// Type IDs come back in case-sensitive order, each once; registration makes one throwaway
// instance at 44100 to read the character, and each create() makes a new one.
// A miss in characterOf() is always logged, a miss in create() never; registrations only
// with debug on. Type IDs are case-sensitive.
void FactoryTest::lookupsAndTheirLog()
{
    ProcessorFactory factory;
    const CapturedMessages log;
    factory.debug = true;
    factory.registerType(stub("Alpha", 1));
    factory.debug = false;
    factory.registerType(stub("Beta", 2));
    QVERIFY(factory.characterOf("Alpha") && factory.characterOf("Beta"));
    QCOMPARE(tagOf(factory.create("Alpha")), 1);
    QVERIFY(!factory.characterOf("alpha"));
    QCOMPARE(tagOf(factory.create("Nope")), -1);
    QCOMPARE(CapturedMessages::lines(), QStringList({ "Registering Alpha", "Foundnt char alpha" }));
}

void FactoryTest::brokenRegistrationsAreRefused()
{
    ProcessorFactory factory;
    factory.registerType(ProcessorFactory::Creator());
    factory.registerType([](int) { return QSharedPointer<Processor>(); });
    QTest::ignoreMessage(QtWarningMsg, "Processor type without a type ID not registered");
    factory.registerType(stub(QString()));
    QCOMPARE(factory.typeIDs(), QStringList());
    QVERIFY(factory.create(QString()).isNull());
}

// Generators give sound and take none, effects do both, the rest is utility; hidden or
// fixed types stay out. Two registrations share "Delay" and the later one, the delay, wins.
// Only the output is part of every song and track.
void FactoryTest::catalogueFillsTheAddMenu()
{
    const ProcessorFactory& registry = ProcessorFactory::instance();
    const QList<AddMenuSection> expected = {
        { "Generators",
            { "Ding", "Dribble", "Drum", "Kagura Suzu", "Noise", "Osc", "Sample", "Saw", "TB-303",
                "Taiko" } },
        { "Effects",
            { "AGC", "Amp", "ChAGCPump", "ChAttenuation", "ChClipping", "ChDCOffset",
                "ChDistortion", "ChDoppler", "ChDropout", "ChEcho", "ChFreqAtten", "ChNoise",
                "ChPinkNoise", "ChTone", "ChannelStrip", "CheapReverb", "Compressor", "Delay",
                "Distortion", "FancyReverb", "Filter", "Recursion", "Tremolo" } },
        { "Utility", { "Output" } },
    };
    QCOMPARE(addMenuSections(registry), expected);
    QCOMPARE(registry.typeIDs().size(), 36);
    QVERIFY(registry.typeIDs().contains("Input") && registry.typeIDs().contains("Scope"));
    QVERIFY(registry.create("Delay").dynamicCast<DelayProcessor>());
    QStringList intrinsic;
    for (const QString& id : registry.typeIDs()) {
        const ProcessorCharacter* c = registry.characterOf(id);
        if (c->intrinsicToSong || c->intrinsicTrack)
            intrinsic << id + (c->intrinsicToSong && c->intrinsicTrack ? " both" : " one");
    }
    QCOMPARE(intrinsic, QStringList { "Output both" });
}

// The row holds the value in its lane and every other lane empty; each call takes the next
// manual serial, counting down from -2 in unsigned arithmetic. An index outside the node
// lanes sends nothing and uses no serial.
void FactoryTest::setNodeParameterSendsAManualRow_data()
{
    const instrumentTesting::DataTable<int, Words, Words> add("index", "row", "nodeValues");
    add("first lane", 0, { 7, 0xFFFF, 2, 255, 0xFE }, { 7, 0x1234, 0 });
    add("last lane", 2, { 0xFF, 0xFFFF, 7, 255, 0xFE }, { 0x80, 0x1234, 7 });
    add("before the first", -1, {}, { 0x80, 0x1234, 0 });
    add("after the last", 3, {}, { 0x80, 0x1234, 0 });
}

void FactoryTest::setNodeParameterSendsAManualRow()
{
    const auto [index, row, nodeValues]
        = instrumentTesting::fetch<int, Words, Words>("index", "row", "nodeValues");
    RecordingProcessor processor(mixedSchema());
    processor.setNodeParameter(index, 7);
    processor.setNodeParameter(index, 7);
    QCOMPARE(processor.nodeValues, nodeValues);
    if (row.isEmpty()) {
        QVERIFY(processor.rows.isEmpty());
        QCOMPARE(processor.manualRowSerial, -2);
    } else {
        QCOMPARE(processor.rows, QList<Words>({ row, row }));
        QCOMPARE(processor.serials, Words({ 0xFFFFFFFEu, 0xFFFFFFFDu }));
        QCOMPARE(processor.manualRowSerial, -4);
    }
}

QTEST_GUILESS_MAIN(FactoryTest)
#include "tst_factory.moc"
