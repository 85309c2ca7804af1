#include "engine/AudioEngine.h"
#include "engine/PlanBuilder.h"
#include "media/audio/Node.h"

#include <QtTest>

using media::audio::Node;

namespace {

constexpr quint64 kFrames = 64;

// A generator adding a constant, and a sink remembering what reached it.
class Constant final : public AudioNode {
public:
    explicit Constant(double level)
        : m_level(level)
    {
    }
    void process(AudioContext& context) override
    {
        for (quint64 i = 0; i < context.frames; ++i)
            context.data[i] += m_level;
    }
    const ProcessorCharacter& character() const override { return m_character; }

private:
    double m_level;
    ProcessorCharacter m_character { "test.constant", false, true, true, true, false, false };
};

class Sink final : public AudioNode {
public:
    void process(AudioContext& context) override
    {
        heard.assign(context.data, context.data + context.frames);
    }
    const ProcessorCharacter& character() const override { return m_character; }
    std::vector<double> heard;

private:
    ProcessorCharacter m_character { "test.sink", true, false, true, true, false, false };
};

} // namespace

class DeviceGraphTest : public QObject {
    Q_OBJECT

private slots:
    void portsFollowTheCarriedNode_data();
    void portsFollowTheCarriedNode();
    void buildsAndRunsWithThePlanBuilder();
};

void DeviceGraphTest::portsFollowTheCarriedNode_data()
{
    QTest::addColumn<QSharedPointer<AudioNode>>("audio");
    QTest::addColumn<bool>("takes");
    QTest::addColumn<bool>("gives");
    QTest::addColumn<QString>("type");
    QTest::newRow("nothing carried") << QSharedPointer<AudioNode>() << false << false << "none";
    QTest::newRow("generator") << QSharedPointer<AudioNode>(new Constant(0.1)) << false << true
                               << "test.constant";
    QTest::newRow("sink") << QSharedPointer<AudioNode>(new Sink) << true << false << "test.sink";
}

void DeviceGraphTest::portsFollowTheCarriedNode()
{
    QFETCH(QSharedPointer<AudioNode>, audio);
    QFETCH(bool, takes);
    QFETCH(bool, gives);
    QFETCH(QString, type);
    const Node node(QStringLiteral("n"), audio);
    QCOMPARE(node.takesAudioInput(), takes);
    QCOMPARE(node.givesAudioOutput(), gives);
    QCOMPARE(node.typeName(), type);
    QVERIFY(node.uniqueID.isEmpty());
}

// Two generators into one sink: the sink hears their sum, through the same builder that
// compiles songs.
void DeviceGraphTest::buildsAndRunsWithThePlanBuilder()
{
    const auto sink = QSharedPointer<Sink>::create();
    const auto a
        = QSharedPointer<Node>::create(QStringLiteral("A"), QSharedPointer<Constant>::create(0.25));
    const auto b
        = QSharedPointer<Node>::create(QStringLiteral("B"), QSharedPointer<Constant>::create(0.5));
    const auto out = QSharedPointer<Node>::create(QStringLiteral("Out"), sink);
    a->uniqueID = QStringLiteral("a"); // the loop check tells nodes apart by identifier
    b->uniqueID = QStringLiteral("b");
    out->uniqueID = QStringLiteral("out");
    media::audio::Graph graph;
    for (const auto& node : { a, b, out })
        graph.addNode(node);
    QVERIFY(graph.connect(a, out).ok);
    QVERIFY(graph.connect(b, out).ok);

    PlanBuilder<Node, media::audio::Connection> builder;
    AudioEngine engine;
    engine.setPlan(builder.build(graph));
    Buffer destination(kFrames);
    AudioContext context;
    context.frames = kFrames;
    execute(engine, context, destination);
    QCOMPARE(sink->heard.size(), std::size_t(kFrames));
    for (const double sample : sink->heard)
        QCOMPARE(sample, 0.75);
}

QTEST_GUILESS_MAIN(DeviceGraphTest)
#include "tst_device_graph.moc"
