#include "processors/ProcessorFactory.h"
#include "processors/io/InputProcessor.h"
#include "processors/io/OutputProcessor.h"

#include <QtTest>

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

ProcessorCharacter stubCharacter(const QString& id, bool takesAudioInput = true)
{
    return ProcessorCharacter(id, takesAudioInput, true, true, true, false, false);
}

// Makes a stub of the given type and counts the calls and the rates it is given.
struct CountingCreator {
    ProcessorCharacter character;
    int tag = 0;
    QSharedPointer<QList<int>> rates = QSharedPointer<QList<int>>::create();

    ProcessorFactory::Creator creator() const
    {
        return [c = character, t = tag, r = rates](int sampleRate) {
            r->append(sampleRate);
            return QSharedPointer<Processor>(new StubProcessor(c, t));
        };
    }
};

// Collects every message logged while it lives; it replaces QTest's own handler, so
// "nothing else was logged" is checked on the whole list.
class MessageLog {
public:
    MessageLog()
    {
        s_sink = &messages;
        m_previous = qInstallMessageHandler(&MessageLog::handle);
    }
    ~MessageLog()
    {
        qInstallMessageHandler(m_previous);
        s_sink = nullptr;
    }

    QStringList messages;

private:
    static void handle(QtMsgType, const QMessageLogContext&, const QString& text)
    {
        if (s_sink)
            s_sink->append(text);
    }

    static inline QStringList* s_sink = nullptr;
    QtMessageHandler m_previous;
};

int tagOf(const QSharedPointer<Processor>& processor)
{
    const auto stub = processor.dynamicCast<StubProcessor>();
    return stub ? stub->tag : -1;
}

} // namespace

class FactoryTest : public QObject {
    Q_OBJECT

private slots:
    void laterRegistrationWinsInBothMaps();
    void creatorsAreCalledWith44100();
    void typeIDsFollowCaseSensitiveOrder_data();
    void typeIDsFollowCaseSensitiveOrder();
    void createRefusesUnknownIdsSilently_data();
    void createRefusesUnknownIdsSilently();
    void characterOfMissAlwaysLogs_data();
    void characterOfMissAlwaysLogs();
    void debugLines_data();
    void debugLines();
    void brokenRegistrationsAreRefused();
    void catalogueHoldsInputAndOutput_data();
    void catalogueHoldsInputAndOutput();
    void characterDebugText_data();
    void characterDebugText();
};

void FactoryTest::laterRegistrationWinsInBothMaps()
{
    ProcessorFactory factory;
    factory.registerType(CountingCreator { stubCharacter("Alpha", true), 1 }.creator());
    factory.registerType(CountingCreator { stubCharacter("Beta", true), 2 }.creator());
    factory.registerType(CountingCreator { stubCharacter("Alpha", false), 3 }.creator());

    QCOMPARE(factory.typeIDs(), QStringList({ "Alpha", "Beta" }));
    QCOMPARE(tagOf(factory.create("Alpha")), 3);
    QCOMPARE(tagOf(factory.create("Beta")), 2);
    const ProcessorCharacter* alpha = factory.characterOf("Alpha");
    QVERIFY(alpha);
    QCOMPARE(alpha->takesAudioInput, false);
    QCOMPARE(factory.characterOf("Beta")->takesAudioInput, true);
}

void FactoryTest::creatorsAreCalledWith44100()
{
    ProcessorFactory factory;
    const CountingCreator counting { stubCharacter("Alpha"), 1 };
    factory.registerType(counting.creator());
    // Registration makes one throwaway instance to read its character.
    QCOMPARE(*counting.rates, QList<int>({ 44100 }));

    const auto first = factory.create("Alpha");
    const auto second = factory.create("Alpha");
    QCOMPARE(*counting.rates, QList<int>({ 44100, 44100, 44100 }));
    QVERIFY(first && second);
    QVERIFY(first != second);
}

void FactoryTest::typeIDsFollowCaseSensitiveOrder_data()
{
    QTest::addColumn<QStringList>("registered");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("upper case first") << QStringList { "b", "a", "B", "Alpha", "Zed" }
                                      << QStringList { "Alpha", "B", "Zed", "a", "b" };
    QTest::newRow("channel family") << QStringList { "CheapReverb", "ChannelStrip", "ChAGCPump",
        "Compressor" } << QStringList { "ChAGCPump", "ChannelStrip", "CheapReverb", "Compressor" };
    QTest::newRow("dash before letters") << QStringList { "Taiko", "TB-303", "Tremolo" }
                                         << QStringList { "TB-303", "Taiko", "Tremolo" };
    QTest::newRow("duplicates listed once")
        << QStringList { "Delay", "Amp", "Delay" } << QStringList { "Amp", "Delay" };
}

void FactoryTest::typeIDsFollowCaseSensitiveOrder()
{
    QFETCH(QStringList, registered);
    QFETCH(QStringList, expected);
    ProcessorFactory factory;
    for (const QString& id : registered)
        factory.registerType(CountingCreator { stubCharacter(id), 0 }.creator());
    QCOMPARE(factory.typeIDs(), expected);
}

void FactoryTest::createRefusesUnknownIdsSilently_data()
{
    QTest::addColumn<QString>("typeID");
    QTest::newRow("empty") << QString();
    QTest::newRow("unknown") << QString("Nope");
    QTest::newRow("other case") << QString("alpha");
}

void FactoryTest::createRefusesUnknownIdsSilently()
{
    QFETCH(QString, typeID);
    ProcessorFactory factory;
    factory.registerType(CountingCreator { stubCharacter("Alpha"), 1 }.creator());

    const MessageLog log;
    QVERIFY(factory.create(typeID).isNull());
    QCOMPARE(log.messages, QStringList());
}

void FactoryTest::characterOfMissAlwaysLogs_data()
{
    QTest::addColumn<bool>("debug");
    QTest::addColumn<QString>("typeID");
    QTest::newRow("unknown") << false << QString("Nope");
    QTest::newRow("other case") << false << QString("alpha");
    QTest::newRow("unknown, debug") << true << QString("Nope");
}

void FactoryTest::characterOfMissAlwaysLogs()
{
    QFETCH(bool, debug);
    QFETCH(QString, typeID);
    ProcessorFactory factory;
    factory.registerType(CountingCreator { stubCharacter("Alpha"), 1 }.creator());
    factory.debug = debug;

    const MessageLog log;
    QVERIFY(!factory.characterOf(typeID));
    QCOMPARE(log.messages, QStringList({ "Foundnt char " + typeID }));
}

void FactoryTest::debugLines_data()
{
    QTest::addColumn<bool>("debug");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("quiet") << false << QStringList();
    QTest::newRow("debug")
        << true
        << QStringList {
               "Registering Alpha",
               "Found char Alpha ProcessorCharacter(typeID: Alpha, "
               "takesAudioInput: true, givesAudioOutput: true, userCreatable: "
               "true, userVisible: true, intrinsicToSong: false, intrinsicTrack: "
               "false)",
           };
}

void FactoryTest::debugLines()
{
    QFETCH(bool, debug);
    QFETCH(QStringList, expected);
    ProcessorFactory factory;
    factory.debug = debug;

    const MessageLog log;
    factory.registerType(CountingCreator { stubCharacter("Alpha"), 1 }.creator());
    QVERIFY(factory.characterOf("Alpha"));
    QVERIFY(factory.create("Alpha"));
    QCOMPARE(log.messages, expected);
}

void FactoryTest::brokenRegistrationsAreRefused()
{
    ProcessorFactory factory;
    factory.registerType(ProcessorFactory::Creator());
    factory.registerType([](int) { return QSharedPointer<Processor>(); });
    QTest::ignoreMessage(QtWarningMsg, "Processor type without a type ID not registered");
    factory.registerType(CountingCreator { stubCharacter(QString()), 1 }.creator());

    QCOMPARE(factory.typeIDs(), QStringList());
    QVERIFY(factory.create(QString()).isNull());
}

void FactoryTest::catalogueHoldsInputAndOutput_data()
{
    QTest::addColumn<QString>("typeID");
    QTest::addColumn<QList<bool>>("flags"); // In, Out, UC, UV, IS, IT
    QTest::newRow("Input") << QString("Input")
                           << QList<bool> { false, true, false, true, false, false };
    QTest::newRow("Output") << QString("Output")
                            << QList<bool> { true, false, true, true, true, true };
}

void FactoryTest::catalogueHoldsInputAndOutput()
{
    QFETCH(QString, typeID);
    QFETCH(QList<bool>, flags);
    ProcessorFactory& registry = ProcessorFactory::instance();
    QCOMPARE(&ProcessorFactory::instance(), &registry);
    QVERIFY(registry.typeIDs().contains(typeID));

    const ProcessorCharacter* c = registry.characterOf(typeID);
    QVERIFY(c);
    QCOMPARE(c->typeID, typeID);
    const QList<bool> actual { c->takesAudioInput, c->givesAudioOutput, c->userCreatable,
        c->userVisible, c->intrinsicToSong, c->intrinsicTrack };
    QCOMPARE(actual, flags);

    const auto made = registry.create(typeID);
    QVERIFY(made);
    QCOMPARE(made->character().typeID, typeID);
    const bool rightClass = typeID == "Input" ? bool(made.dynamicCast<InputProcessor>())
                                              : bool(made.dynamicCast<OutputProcessor>());
    QVERIFY(rightClass);
}

void FactoryTest::characterDebugText_data()
{
    QTest::addColumn<ProcessorCharacter>("character");
    QTest::addColumn<QString>("expected");
    // Across the rows every flag has its own pattern, so a flag printed under another
    // flag's label shows.
    QTest::newRow("last three") << ProcessorCharacter("X", false, false, false, true, true, true)
                                << "ProcessorCharacter(typeID: X, takesAudioInput: false, "
                                   "givesAudioOutput: false, userCreatable: false, userVisible: "
                                   "true, intrinsicToSong: true, intrinsicTrack: true)";
    QTest::newRow("middle pairs")
        << ProcessorCharacter("Kagura Suzu", false, true, true, false, false, true)
        << "ProcessorCharacter(typeID: Kagura Suzu, takesAudioInput: false, givesAudioOutput: "
           "true, userCreatable: true, userVisible: false, intrinsicToSong: false, "
           "intrinsicTrack: true)";
    QTest::newRow("alternating")
        << ProcessorCharacter("TB-303", true, false, true, false, true, false)
        << "ProcessorCharacter(typeID: TB-303, takesAudioInput: true, givesAudioOutput: false, "
           "userCreatable: true, userVisible: false, intrinsicToSong: true, intrinsicTrack: "
           "false)";
}

void FactoryTest::characterDebugText()
{
    QFETCH(ProcessorCharacter, character);
    QFETCH(QString, expected);
    QString text;
    QDebug(&text) << character;
    QCOMPARE(text.trimmed(), expected);
}

QTEST_GUILESS_MAIN(FactoryTest)
#include "tst_factory.moc"
