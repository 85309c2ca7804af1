#include "song/Graph.h"
#include "song/Song.h"

#include <QtTest>

#include <cmath>
#include <functional>

namespace {

// A processor whose only interesting trait is its ports.
class PortProcessor final : public Processor {
public:
    PortProcessor(bool takesInput, bool givesOutput)
        : Processor(ProcessorCharacter("Port", takesInput, givesOutput, true, true, false, false))
    {
    }
    void process(AudioContext&) override { }
    SchemaPointer schema() const override { return SchemaPointer::create(); }
};

// Counts position hooks, so tests can see which moves were announced.
class CountingNode final : public zarn::Node {
public:
    int moves = 0;

protected:
    void positionChanged() override { ++moves; }
};

// A song whose nodes are named by single letters, each letter also its uniqueID.
struct Fixture {
    SongPointer song = Song::createEmpty();
    QHash<QChar, QSharedPointer<CountingNode>> byName;

    explicit Fixture(const QString& names)
    {
        for (const QChar name : names) {
            auto node = QSharedPointer<CountingNode>::create();
            node->name = node->uniqueID = name;
            node->song = song;
            node->processor = QSharedPointer<PortProcessor>::create(true, true);
            byName.insert(name, node);
            song->graph->addNode(node);
        }
    }
    zarn::NodePointer at(const QString& name) const
    {
        return name.isEmpty() ? zarn::NodePointer() : byName.value(name.at(0));
    }
    Graph& graph() const { return *song->graph; }
    // Each link is written "A>B".
    void link(const QStringList& links) const
    {
        for (const auto& l : links)
            QVERIFY(graph().connect(at(l.left(1)), at(l.right(1))).ok);
    }
    void place(const QList<QPointF>& positions) const
    {
        for (qsizetype i = 0; i < positions.size(); ++i)
            graph().nodes[i]->position = positions[i];
    }
};

QString fiveLetters()
{
    return QStringLiteral("ABCDE");
}

} // namespace

class GraphTest : public QObject {
    Q_OBJECT

private slots:
    void connectChecksInOrder_data();
    void connectChecksInOrder();
    void topologyChangesTaintTheSong_data();
    void topologyChangesTaintTheSong();
    void nodeAtTakesFirstQualifyingNode_data();
    void nodeAtTakesFirstQualifyingNode();
    void fitIntoScalesAndCentres_data();
    void fitIntoScalesAndCentres();
    void autoArrangeStaysInsideTheArea_data();
    void autoArrangeStaysInsideTheArea();
    void autoArrangeReportsBrokenConnections_data();
    void autoArrangeReportsBrokenConnections();
};

void GraphTest::connectChecksInOrder_data()
{
    QTest::addColumn<QString>("nodes");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("message"); // empty when the connection is made

    const QString invalid = "Invalid nodes";
    const QString self = "Cannot connect node to itself";
    const QString already = "Nodes are already connected";
    const QString loop = "Connecting these nodes would form an invalid loop";

    QTest::newRow("null from") << "AB" << QStringList() << ""
                               << "B" << invalid;
    QTest::newRow("null to") << "AB" << QStringList() << "A"
                             << "" << invalid;
    QTest::newRow("both null") << "AB" << QStringList() << ""
                               << "" << invalid;
    QTest::newRow("self") << "AB" << QStringList() << "A"
                          << "A" << self;
    QTest::newRow("same direction exists") << "AB" << QStringList { "A>B" } << "A"
                                           << "B" << already;
    // B -> A plus A -> B is also a cycle; the duplicate check comes first.
    QTest::newRow("reverse exists") << "AB" << QStringList { "B>A" } << "A"
                                    << "B" << already;
    QTest::newRow("cycle through X") << "ABX" << QStringList { "B>X", "X>A" } << "A"
                                     << "B" << loop;
    // Only a search started from every node finds this cycle: S leads nowhere.
    QTest::newRow("isolated node first, cycle later")
        << "SXAB" << QStringList { "B>X", "X>A" } << "A"
        << "B" << loop;
    QTest::newRow("isolated node, no cycle") << "ASB" << QStringList() << "A"
                                             << "B"
                                             << "";
    QTest::newRow("diamond is no loop") << "ABXY" << QStringList { "A>X", "A>Y", "X>B" } << "Y"
                                        << "B"
                                        << "";
    QTest::newRow("chain continues") << "ABX" << QStringList { "A>B" } << "B"
                                     << "X"
                                     << "";
}

void GraphTest::connectChecksInOrder()
{
    QFETCH(QString, nodes);
    QFETCH(QStringList, existing);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, message);

    const Fixture f(nodes);
    f.link(existing);
    const auto before = f.graph().connections.size();
    f.graph().changed = false;

    const auto result = f.graph().connect(f.at(from), f.at(to));

    QCOMPARE(result.message, message);
    QCOMPARE(result.ok, message.isEmpty());
    QCOMPARE(f.graph().changed, result.ok);
    QCOMPARE(f.graph().connections.size(), before + (result.ok ? 1 : 0));
    if (result.ok) {
        const auto made = f.graph().connections.last();
        QCOMPARE(made->from, f.at(from));
        QCOMPARE(made->to, f.at(to));
        QCOMPARE(made->song.toStrongRef(), f.song);
        QVERIFY(made->flag);
    }
}

void GraphTest::topologyChangesTaintTheSong_data()
{
    QTest::addColumn<int>("change");
    QTest::addColumn<QString>("reason"); // empty when the song stays unchanged

    enum Change { AddNode, AddSameNode, AddNull, Connect, RefusedConnect, AddPattern };
    QTest::newRow("add node") << int(AddNode) << "topologyChanged";
    QTest::newRow("add the same node again") << int(AddSameNode) << "";
    QTest::newRow("add null") << int(AddNull) << "";
    QTest::newRow("connect") << int(Connect) << "topologyChanged";
    QTest::newRow("refused connect") << int(RefusedConnect) << "";
    QTest::newRow("add pattern") << int(AddPattern) << "addPattern";
}

void GraphTest::topologyChangesTaintTheSong()
{
    QFETCH(int, change);
    QFETCH(QString, reason);

    const Fixture f("AB");
    QTest::ignoreMessage(QtDebugMsg, "Song un-tainted by the test");
    f.song->untaint("the test");
    QVERIFY(!f.song->changed);

    const auto a = f.at("A");
    const std::function<void()> changes[] = {
        [&] { f.graph().addNode(zarn::Node::create("Output", f.song)); },
        [&] { f.graph().addNode(a); },
        [&] { f.graph().addNode({}); },
        [&] { f.graph().connect(a, f.at("B")); },
        [&] { f.graph().connect(a, a); },
        [&] { a->addPattern(PatternPointer::create("01", a, 16)); },
    };
    changes[change]();

    QCOMPARE(f.song->changed, !reason.isEmpty());
    if (f.song->changed)
        QCOMPARE(f.song->changeReason, reason);
}

void GraphTest::nodeAtTakesFirstQualifyingNode_data()
{
    QTest::addColumn<QPointF>("point");
    QTest::addColumn<bool>("anyInput");
    QTest::addColumn<bool>("anyOutput");
    QTest::addColumn<QString>("excluded");
    QTest::addColumn<QString>("expected"); // empty for none

    // Boxes are 100 x 60 around: source S (0,0), effect E (20,0), sink K (300,0),
    // processor-less U (600,0); S and E overlap between x = -30 and 50.
    QTest::newRow("earlier of two") << QPointF(10, 0) << true << true << ""
                                    << "S";
    QTest::newRow("source takes no input") << QPointF(10, 0) << false << true << ""
                                           << "E";
    QTest::newRow("excluded is skipped") << QPointF(10, 0) << true << true << "S"
                                         << "E";
    QTest::newRow("only the source box") << QPointF(-45, 0) << false << true << ""
                                         << "";
    QTest::newRow("between boxes") << QPointF(150, 0) << true << true << ""
                                   << "";
    QTest::newRow("sink gives no output") << QPointF(300, 0) << true << false << ""
                                          << "";
    QTest::newRow("sink takes input") << QPointF(300, 25) << false << true << ""
                                      << "K";
    QTest::newRow("no processor, no ports") << QPointF(600, 0) << false << true << ""
                                            << "";
    QTest::newRow("no processor, any ports") << QPointF(600, 0) << true << true << ""
                                             << "U";
}

void GraphTest::nodeAtTakesFirstQualifyingNode()
{
    QFETCH(QPointF, point);
    QFETCH(bool, anyInput);
    QFETCH(bool, anyOutput);
    QFETCH(QString, excluded);
    QFETCH(QString, expected);

    const Fixture f("SEKU");
    f.place({ { 0, 0 }, { 20, 0 }, { 300, 0 }, { 600, 0 } });
    f.at("S")->processor = QSharedPointer<PortProcessor>::create(false, true);
    f.at("K")->processor = QSharedPointer<PortProcessor>::create(true, false);
    f.at("U")->processor.reset();

    QCOMPARE(f.graph().nodeAt(point, anyInput, anyOutput, f.at(excluded)), f.at(expected));
}

void GraphTest::fitIntoScalesAndCentres_data()
{
    QTest::addColumn<QList<QPointF>>("before");
    QTest::addColumn<QList<QPointF>>("after");

    // Area (0, 0, 1000, 600) less margins of 100 leaves (100, 100, 800, 400), centre (500, 300).
    QTest::newRow("one node is centred")
        << QList<QPointF> { { 5, 7 } } << QList<QPointF> { { 500, 300 } };
    // Width 20 scales by 800 / 20 = 40; the flat axis stays centred.
    QTest::newRow("row") << QList<QPointF> { { 0, 3 }, { 10, 3 }, { 20, 3 } }
                         << QList<QPointF> { { 100, 300 }, { 500, 300 }, { 900, 300 } };
    // Height 40 scales by 400 / 40 = 10.
    QTest::newRow("column") << QList<QPointF> { { 1, 0 }, { 1, 40 } }
                            << QList<QPointF> { { 500, 100 }, { 500, 500 } };
    // min(800 / 10, 400 / 10) = 40; the 400 wide result starts at 100 + (800 - 400) / 2.
    QTest::newRow("square") << QList<QPointF> { { 0, 0 }, { 10, 10 } }
                            << QList<QPointF> { { 300, 100 }, { 700, 500 } };
    QTest::newRow("coincident") << QList<QPointF> { { 4, 4 }, { 4, 4 } }
                                << QList<QPointF> { { 500, 300 }, { 500, 300 } };
}

void GraphTest::fitIntoScalesAndCentres()
{
    QFETCH(QList<QPointF>, before);
    QFETCH(QList<QPointF>, after);

    const Fixture f(fiveLetters().left(before.size()));
    f.place(before);
    f.graph().fitInto(QRectF(0, 0, 1000, 600), QMarginsF(100, 100, 100, 100));

    for (qsizetype i = 0; i < after.size(); ++i) {
        const auto node = f.byName.value(fiveLetters().at(i));
        QCOMPARE(node->position, after[i]);
        // Announced exactly when the position moved.
        QCOMPARE(node->moves, before[i] == after[i] ? 0 : 1);
    }
}

void GraphTest::autoArrangeStaysInsideTheArea_data()
{
    QTest::addColumn<QList<QPointF>>("positions");
    QTest::addColumn<QStringList>("links");

    QTest::newRow("one node") << QList<QPointF> { { 10, 10 } } << QStringList();
    QTest::newRow("row of nodes") << QList<QPointF> { { 0, 50 }, { 100, 50 }, { 200, 50 } }
                                  << QStringList();
    QTest::newRow("all on one spot")
        << QList<QPointF> { { 0, 0 }, { 0, 0 }, { 0, 0 } } << QStringList();
    QTest::newRow("far outside") << QList<QPointF> { { -5e4, 9e4 }, { 7e5, -3e3 } }
                                 << QStringList { "A>B" };
    QTest::newRow("chain and fan") << QList<QPointF> { { 0, 0 }, { 30, 400 }, { 900, 20 },
        { 50, 60 }, { 500, 500 } } << QStringList { "A>B", "B>C", "A>D", "D>C", "E>C" };
}

void GraphTest::autoArrangeStaysInsideTheArea()
{
    QFETCH(QList<QPointF>, positions);
    QFETCH(QStringList, links);

    const Fixture f(fiveLetters().left(positions.size()));
    f.place(positions);
    f.link(links);
    const QRectF area(-200, 50, 1200, 700);
    f.graph().autoArrange(area);

    // The last fit leaves every centre inside the area less its margins of 100 (up to
    // the rounding of the scaled extent).
    const QRectF inner = area.marginsRemoved(QMarginsF(100, 100, 100, 100));
    const QRectF tolerated = inner.adjusted(-1e-9, -1e-9, 1e-9, 1e-9);
    for (const auto& node : f.graph().nodes) {
        QVERIFY(std::isfinite(node->position.x()) && std::isfinite(node->position.y()));
        QVERIFY2(tolerated.contains(node->position), qPrintable(node->name));
        QVERIFY(area.contains(node->boundingRect()));
    }
}

void GraphTest::autoArrangeReportsBrokenConnections_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("message");

    QTest::newRow("same ends") << "B"
                               << "B"
                               << "Identical to and from index for connection 1";
    QTest::newRow("both ends missing") << ""
                                       << ""
                                       << "Identical to and from index for connection -1";
    QTest::newRow("from missing") << ""
                                  << "A"
                                  << "Zero from index for connection";
    QTest::newRow("to missing") << "A"
                                << ""
                                << "Zero to index for connection";
}

void GraphTest::autoArrangeReportsBrokenConnections()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, message);

    // A damaged file can hold connections that connect would refuse.
    const Fixture f("AB");
    f.graph().connections.append(ConnectionPointer::create(f.at(from), f.at(to), f.song));
    // Once per step: 15 rounds of 200.
    for (int i = 0; i < 15 * 200; ++i)
        QTest::ignoreMessage(QtDebugMsg, qPrintable(message));
    f.graph().autoArrange(QRectF(0, 0, 800, 600));
    for (const auto& node : f.graph().nodes)
        QVERIFY(QRectF(0, 0, 800, 600).contains(node->position));
}

QTEST_GUILESS_MAIN(GraphTest)
#include "tst_graph.moc"
