#include "processors/AddMenu.h"
#include "processors/ProcessorFactory.h"

#include <QtTest>

#include <typeinfo>

namespace {

struct Registration {
    const char* typeID;
    const char* className;
    QList<bool> flags; // In, Out, UC, UV, IS, IT
};

constexpr bool o = false;
constexpr bool I = true;

// The catalogue as the design lists it, in registration order.
const QList<Registration>& designedCatalogue()
{
    static const QList<Registration> rows = {
        { "Amp", "AmpProcessor", { I, I, I, I, o, o } },
        { "Delay", "AverageProcessor", { I, I, I, I, o, o } },
        { "Compressor", "CompressorProcessor", { I, I, I, I, o, o } },
        { "Delay", "DelayProcessor", { I, I, I, I, o, o } },
        { "Distortion", "DistortionProcessor", { I, I, I, I, o, o } },
        { "Filter", "FilterProcessor", { I, I, I, I, o, o } },
        { "Input", "InputProcessor", { o, I, o, I, o, o } },
        { "Noise", "NoiseProcessor", { o, I, I, I, o, o } },
        { "Osc", "OscProcessor", { o, I, I, I, o, o } },
        { "Output", "OutputProcessor", { I, o, I, I, I, I } },
        { "Recursion", "RecursionProcessor", { I, I, I, I, o, o } },
        { "FancyReverb", "ReverbProcessor", { I, I, I, I, o, o } },
        { "CheapReverb", "CheapReverbProcessor", { I, I, I, I, o, o } },
        { "Saw", "SawProcessor", { o, I, I, I, o, o } },
        { "Scope", "ScopeProcessor", { I, o, o, o, o, o } },
        { "TB-303", "TB303Processor", { o, I, I, I, o, o } },
        { "Taiko", "TaikoProcessor", { o, I, I, I, o, o } },
        { "Tremolo", "TremoloProcessor", { I, I, I, I, o, o } },
        { "ChannelStrip", "ChannelStripProcessor", { I, I, I, I, o, o } },
        { "ChNoise", "ChannelNoiseProcessor", { I, I, I, I, o, o } },
        { "ChPinkNoise", "ChannelPinkNoiseProcessor", { I, I, I, I, o, o } },
        { "ChEcho", "ChannelEchoProcessor", { I, I, I, I, o, o } },
        { "ChDistortion", "ChannelDistortionProcessor", { I, I, I, I, o, o } },
        { "ChAttenuation", "ChannelAttenuationProcessor", { I, I, I, I, o, o } },
        { "ChClipping", "ChannelClippingProcessor", { I, I, I, I, o, o } },
        { "ChDCOffset", "ChannelDCOffsetProcessor", { I, I, I, I, o, o } },
        { "ChDropout", "ChannelDropoutProcessor", { I, I, I, I, o, o } },
        { "ChTone", "ChannelToneProcessor", { I, I, I, I, o, o } },
        { "ChDoppler", "ChannelDopplerProcessor", { I, I, I, I, o, o } },
        { "ChFreqAtten", "ChannelFreqAttenProcessor", { I, I, I, I, o, o } },
        { "ChAGCPump", "ChannelAGCPumpProcessor", { I, I, I, I, o, o } },
        { "Kagura Suzu", "KaguraSuzuProcessor", { o, I, I, I, o, o } },
        { "Drum", "DrumProcessor", { o, I, I, I, o, o } },
        { "Sample", "SampleProcessor", { o, I, I, I, o, o } },
        { "Ding", "DingProcessor", { o, I, I, I, o, o } },
        { "Dribble", "DribbleProcessor", { o, I, I, I, o, o } },
        { "AGC", "AGCProcessor", { I, I, I, I, o, o } },
    };
    return rows;
}

QList<bool> flagsOf(const ProcessorCharacter& c)
{
    return { c.takesAudioInput, c.givesAudioOutput, c.userCreatable, c.userVisible,
        c.intrinsicToSong, c.intrinsicTrack };
}

// The mangled name of a class at namespace scope: its length, then the name.
QByteArray mangled(const char* className)
{
    return QByteArray::number(qstrlen(className)) + className;
}

ProcessorFactory::Creator stub(const QString& typeID, QList<bool> flags)
{
    return [=](int) -> QSharedPointer<Processor> {
        class Stub final : public Processor {
        public:
            explicit Stub(const ProcessorCharacter& c)
                : Processor(c)
            {
            }
            void process(AudioContext&) override { }
            SchemaPointer schema() const override { return SchemaPointer::create(); }
        };
        return QSharedPointer<Stub>::create(
            ProcessorCharacter(typeID, flags[0], flags[1], flags[2], flags[3], flags[4], flags[5]));
    };
}

} // namespace

class CatalogueTest : public QObject {
    Q_OBJECT

private slots:
    void registrationsFollowTheDesign_data();
    void registrationsFollowTheDesign();
    void registryHoldsEachTypeOnceInMapOrder();
    void addMenuOfTheCatalogue();
    void addMenuPlacement_data();
    void addMenuPlacement();
};

void CatalogueTest::registrationsFollowTheDesign_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("typeID");
    QTest::addColumn<QByteArray>("className");
    QTest::addColumn<QList<bool>>("flags");
    const auto& rows = designedCatalogue();
    for (int i = 0; i < rows.size(); ++i)
        QTest::addRow("%d %s", i + 1, rows[i].className)
            << i << QString::fromLatin1(rows[i].typeID) << mangled(rows[i].className)
            << rows[i].flags;
}

void CatalogueTest::registrationsFollowTheDesign()
{
    QFETCH(int, index);
    QFETCH(QString, typeID);
    QFETCH(QByteArray, className);
    QFETCH(QList<bool>, flags);

    const auto& catalogue = processorCatalogue();
    QCOMPARE(catalogue.size(), designedCatalogue().size());
    const QSharedPointer<Processor> made = catalogue.at(index)(44100);
    QVERIFY(made);
    const Processor& processor = *made;
    QCOMPARE(QByteArray(typeid(processor).name()), className);
    QCOMPARE(made->character().typeID, typeID);
    QCOMPARE(flagsOf(made->character()), flags);
    // The schema is built once for the type and shared, not rebuilt on every call.
    QVERIFY(made->schema());
    QCOMPARE(catalogue.at(index)(44100)->schema().data(), made->schema().data());
}

// Two registrations share "Delay"; the later one wins and the name is listed once.
void CatalogueTest::registryHoldsEachTypeOnceInMapOrder()
{
    const ProcessorFactory& registry = ProcessorFactory::instance();
    const QStringList ids = registry.typeIDs();
    QCOMPARE(ids.size(), 36);
    QCOMPARE(ids.count(QStringLiteral("Delay")), 1);
    QVERIFY(std::is_sorted(ids.cbegin(), ids.cend()));
    for (const Registration& row : designedCatalogue())
        QVERIFY2(ids.contains(QLatin1String(row.typeID)), row.typeID);
    const auto delay = registry.create(QStringLiteral("Delay"));
    QVERIFY(delay);
    const Processor& processor = *delay;
    QCOMPARE(QByteArray(typeid(processor).name()), mangled("DelayProcessor"));
}

void CatalogueTest::addMenuOfTheCatalogue()
{
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
    QCOMPARE(addMenuSections(ProcessorFactory::instance()), expected);
}

void CatalogueTest::addMenuPlacement_data()
{
    using Types = QList<QPair<QString, QList<bool>>>;
    QTest::addColumn<Types>("types");
    QTest::addColumn<QList<AddMenuSection>>("expected");
    const QList<bool> generator { o, I, I, I, o, o };
    const QList<bool> effect { I, I, I, I, o, o };
    const QList<bool> sink { I, o, I, I, o, o };
    const QList<bool> neither { o, o, I, I, o, o };
    QTest::newRow("sections in their order, names case-sensitive")
        << Types { { "zeta", effect }, { "Beta", effect }, { "Sink", sink },
               { "Alpha", generator } }
        << QList<AddMenuSection> { { "Generators", { "Alpha" } }, { "Effects", { "Beta", "zeta" } },
               { "Utility", { "Sink" } } };
    QTest::newRow("empty sections left out")
        << Types { { "Lone", neither } } << QList<AddMenuSection> { { "Utility", { "Lone" } } };
    QTest::newRow("hidden or not creatable left out") << Types { { "Hidden", { I, I, I, o, o, o } },
        { "Fixed", { o, I, o, I, o, o } },
        { "Shown", generator } } << QList<AddMenuSection> { { "Generators", { "Shown" } } };
    QTest::newRow("nothing registered") << Types {} << QList<AddMenuSection> {};
}

void CatalogueTest::addMenuPlacement()
{
    using Types = QList<QPair<QString, QList<bool>>>;
    QFETCH(Types, types);
    QFETCH(QList<AddMenuSection>, expected);
    ProcessorFactory factory;
    for (const auto& [typeID, flags] : types)
        factory.registerType(stub(typeID, flags));
    QCOMPARE(addMenuSections(factory), expected);
}

QTEST_GUILESS_MAIN(CatalogueTest)
#include "tst_catalogue.moc"
