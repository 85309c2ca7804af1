#include "CapturedMessages.h"
#include "song/Graph.h"
#include "song/Song.h"

#include <QSignalSpy>
#include <QtTest>

#include <functional>

namespace {

using P = QList<QPointF>;

// A song whose nodes are named by single letters, each letter also its uniqueID, placed in
// order at the given points; "Amp" nodes take and give audio.
struct Fixture {
    SongPointer song = Song::createEmpty();
    Graph& graph = *song->graph;

    explicit Fixture(const QString& names, const P& positions = {})
    {
        for (const QChar name : names) {
            const auto node = zarn::Node::create("Amp", song);
            node->name = node->uniqueID = name;
            node->position = positions.value(graph.nodes.size());
            graph.addNode(node);
        }
    }
    zarn::NodePointer at(const QString& name) const { return graph.nodeByUniqueID(name); }
};

} // namespace

class GraphTest : public QObject {
    Q_OBJECT

private slots:
    void editsTaintTheSong();
    void nodeAtTakesFirstQualifyingNode_data();
    void nodeAtTakesFirstQualifyingNode();
    void fitIntoScalesAndCentres_data();
    void fitIntoScalesAndCentres();
    void autoArrangeMovesReceiversRight_data();
    void autoArrangeMovesReceiversRight();
};

void GraphTest::editsTaintTheSong()
{
    const Fixture f("AB");
    const auto a = f.at("A");
    QSignalSpy flips(f.song.data(), &Song::changedFlagChanged);
    CapturedMessages messages;
    f.song->untaint("the test");
    QCOMPARE(messages.lines(), QStringList { "Song un-tainted by the test" });
    f.graph.addNode(a);
    f.graph.addNode({});
    a->setPosition(a->position);
    a->setName(a->name);
    QVERIFY(!f.graph.connect(a, a).ok);
    QVERIFY(!f.song->changed);
    const std::pair<std::function<void()>, QString> edits[] = {
        { [&] { f.graph.addNode(zarn::Node::create("Output", f.song)); }, "topologyChanged" },
        { [&] { QVERIFY(f.graph.connect(a, f.at("B")).ok); }, "topologyChanged" },
        { [&] { a->addPattern(PatternPointer::create("01", a, 16)); }, "addPattern" },
        { [&] { a->setPosition(QPointF(1, 2)); }, "moveNode" },
        { [&] { a->setName("Renamed"); }, "renameNode" },
    };
    for (const auto& [edit, reason] : edits) {
        edit();
        QVERIFY(f.song->changed);
        QCOMPARE(f.song->changeReason, reason);
        f.song->untaint("the test");
    }
    QVERIFY(f.graph.connections.first()->flag);
    // The flag is announced when it flips, not on every edit.
    a->setName("Again");
    a->setName("Once more");
    QCOMPARE(flips.size(), 1 + 2 * 5 + 1);
    QCOMPARE(flips.at(0).at(0).toBool(), false);
    QCOMPARE(flips.at(1).at(0).toBool(), true);
}

void GraphTest::nodeAtTakesFirstQualifyingNode_data()
{
    QTest::addColumn<QPointF>("point");
    QTest::addColumn<QString>("query"); // ports asked for, excluded node, the node found; "-" none
    // Boxes are 100 x 60 around: source S (0,0), effect E (20,0), sink K (300,0),
    // processor-less U (600,0); S and E overlap between x = -30 and 50.
    QTest::newRow("earlier of two") << QPointF(10, 0) << "- - S";
    QTest::newRow("source takes no input") << QPointF(10, 0) << "in - E";
    QTest::newRow("excluded is skipped") << QPointF(10, 0) << "- S E";
    QTest::newRow("only the source box") << QPointF(-45, 29) << "in - -";
    QTest::newRow("sink gives no output") << QPointF(300, 0) << "out - -";
    QTest::newRow("sink takes input") << QPointF(349, -29) << "in - K";
    QTest::newRow("no processor, no ports") << QPointF(600, 0) << "in - -";
    QTest::newRow("no processor, any ports") << QPointF(600, 0) << "- - U";
}

void GraphTest::nodeAtTakesFirstQualifyingNode()
{
    QFETCH(QPointF, point);
    QFETCH(QString, query);
    const QStringList words = query.split(' ');
    const Fixture f("SEKU", { { 0, 0 }, { 20, 0 }, { 300, 0 }, { 600, 0 } });
    f.at("S")->processor = zarn::Node::create("Input", {})->processor;
    f.at("K")->processor = zarn::Node::create("Output", {})->processor;
    f.at("U")->processor.reset();
    // Serials count up in creation order; a type the factory lacks reads as unknown.
    QCOMPARE(f.at("E")->serial, f.at("S")->serial + 1);
    QCOMPARE(zarn::Node::create("NoSuchType", f.song)->typeName(), "unknown");
    QCOMPARE(
        f.graph.nodeAt(point, words[0] != "in", words[0] != "out", f.at(words[1])), f.at(words[2]));
}

void GraphTest::fitIntoScalesAndCentres_data()
{
    QTest::addColumn<P>("before");
    QTest::addColumn<P>("after");
    // Area (0, 0, 1000, 600) less margins of 100 leaves (100, 100, 800, 400), centre (500, 300).
    // Width 20 scales by 800 / 20 = 40; the flat axis stays centred.
    QTest::newRow("row") << P { { 0, 3 }, { 10, 3 }, { 20, 3 } }
                         << P { { 100, 300 }, { 500, 300 }, { 900, 300 } };
    // Height 40 scales by 400 / 40 = 10.
    QTest::newRow("column") << P { { 1, 0 }, { 1, 40 } } << P { { 500, 100 }, { 500, 500 } };
    // min(800 / 10, 400 / 10) = 40; the 400 wide result starts at 100 + (800 - 400) / 2.
    QTest::newRow("square") << P { { 0, 0 }, { 10, 10 } } << P { { 300, 100 }, { 700, 500 } };
    QTest::newRow("coincident") << P { { 4, 4 }, { 4, 4 } } << P { { 500, 300 }, { 500, 300 } };
}

void GraphTest::fitIntoScalesAndCentres()
{
    QFETCH(P, before);
    const Fixture f(QString("ABC").left(before.size()), before);
    f.graph.fitInto(QRectF(0, 0, 1000, 600), QMarginsF(100, 100, 100, 100));
    P after;
    for (const auto& node : f.graph.nodes)
        after.append(node->position);
    QTEST(after, "after");
}

void GraphTest::autoArrangeMovesReceiversRight_data()
{
    QTest::addColumn<QString>("link"); // a broken connection's ends, a space for a missing end
    QTest::addColumn<QString>("message");
    QTest::newRow("whole chain") << QString() << QString();
    QTest::newRow("same ends") << QString("SS") << "Identical to and from index for connection 1";
    QTest::newRow("from missing") << QString(" R") << "Zero from index for connection";
    QTest::newRow("to missing") << QString("R ") << "Zero to index for connection";
}

// A sender drifts left of what it feeds, whichever side each starts on. A damaged file can
// hold connections that connect would refuse: they are skipped, with a warning every step.
void GraphTest::autoArrangeMovesReceiversRight()
{
    QFETCH(QString, link);
    const Fixture f("RSX", { { 0, 50 }, { 900, 20 }, { -5e4, 9e4 } });
    QVERIFY(f.graph.connect(f.at("S"), f.at("R")).ok);
    QVERIFY(f.graph.connect(f.at("R"), f.at("X")).ok);
    if (!link.isEmpty())
        f.graph.connections.append(
            ConnectionPointer::create(f.at(link.left(1)), f.at(link.right(1)), f.song));
    const QRectF area(-200, 50, 1200, 700);
    CapturedMessages messages;
    f.graph.autoArrange(area);
    QCOMPARE(messages.lines().size(), link.isEmpty() ? 0 : 15 * 200); // 15 rounds of 200 steps
    QTEST(messages.lines().value(0), "message");
    QVERIFY(f.at("S")->position.x() < f.at("R")->position.x());
    QVERIFY(f.at("R")->position.x() < f.at("X")->position.x());
    // The last fit leaves every centre inside the area less its margins of 100.
    for (const auto& node : f.graph.nodes)
        QVERIFY(area.marginsRemoved(QMarginsF(99, 99, 99, 99)).contains(node->position));
}

QTEST_GUILESS_MAIN(GraphTest)
#include "tst_graph.moc"
