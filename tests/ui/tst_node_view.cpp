#include "engine/BlockRenderer.h"
#include "song/Graph.h"
#include "song/Sequencer.h"
#include "song/Song.h"
#include "ui/nodes/NodeView.h"
#include "ui/nodes/TypeArrangement.h"
#include "ui/parameters/ParameterView.h"
#include "ui/parameters/SampleLoader.h"
#include "ui/pattern/PatternEdits.h"
#include "ui/undo/SongHistory.h"

#include <QApplication>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryFile>
#include <QtTest>

#include <cmath>

namespace {

using Moves = std::function<void(struct Patch&)>;

// A new song whose Output stands at (700, 300), shown in a view of 800 x 600 with its
// history; the boxes the view would show are collected instead.
struct Patch {
    SongPointer song = Song::createNewSong(16);
    Graph& graph = *song->graph;
    zarn::NodePointer output = graph.nodes.first();
    SongHistory history;
    NodeView view;
    QStringList boxes;
    std::optional<QString> answer;

    Patch()
    {
        output->setPosition({ 700, 300 });
        song->untaint(QStringLiteral("test"));
        history.setSong(song);
        view.setHistory(&history);
        view.setSong(song);
        view.warn
            = [this](const QString& title, const QString& text) { boxes << title + ": " + text; };
        view.inform = view.warn;
        view.askName = [this](const QString&, const QString&) { return answer; };
        view.resize(800, 600);
        view.show();
    }
    zarn::NodePointer add(const char* type, QPointF at)
    {
        return view.addNode(QString::fromLatin1(type), at);
    }
    // What saving would write of the graph and the arrangement, with the flags a file leaves out.
    QByteArray bytes() const
    {
        QByteArray data;
        QDataStream stream(&data, QIODevice::WriteOnly);
        graph.write(stream);
        song->sequencer->write(stream);
        for (const zarn::NodePointer& node : graph.nodes)
            stream << node->muted << node->solo;
        return data;
    }
    void mouse(
        QEvent::Type type, Qt::MouseButton button, QPointF at, Qt::KeyboardModifiers modifiers = {})
    {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
        QMouseEvent event(type, at, view.mapToGlobal(at),
            type == QEvent::MouseMove ? Qt::NoButton : button, held, modifiers);
        QApplication::sendEvent(&view, &event);
    }
    // Press, two moves and a release, as a hand would drag.
    void drag(QPointF from, QPointF to, Qt::MouseButton button = Qt::LeftButton,
        Qt::KeyboardModifiers modifiers = {})
    {
        mouse(QEvent::MouseButtonPress, button, from, modifiers);
        mouse(QEvent::MouseMove, button, (from + to) / 2, modifiers);
        mouse(QEvent::MouseMove, button, to, modifiers);
        mouse(QEvent::MouseButtonRelease, button, to, modifiers);
    }
    void wheel(QPointF at, int delta)
    {
        QWheelEvent event(
            at, view.mapToGlobal(at), {}, { 0, delta }, Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view, &event);
    }
    // The menu a right click at the point pops up.
    QMenu* rightClick(QPointF at)
    {
        mouse(QEvent::MouseButtonPress, Qt::RightButton, at);
        mouse(QEvent::MouseButtonRelease, Qt::RightButton, at);
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    }
};

QAction* actionNamed(QMenu* menu, const QString& text)
{
    for (QAction* action : menu ? menu->actions() : QList<QAction*>())
        if (action->text() == text)
            return action;
    return nullptr;
}

} // namespace

class NodeViewTest : public QObject {
    Q_OBJECT

private slots:
    void addsFromTheMenuAtTheClickedPoint();
    void connectsByShiftDrag_data();
    void connectsByShiftDrag();
    void rightClickPicksNodeWireOrCanvas_data();
    void rightClickPicksNodeWireOrCanvas();
    void dragMovesTheWholeSelection();
    void wheelZoomsAboutTheCursorAndBack();
    void outputCannotBeDeleted();
    void showsAndClearsThePause();
    void doubleClickOpensOneParameterWindow();
    void everyEditUndoesToTheSameBytes_data();
    void everyEditUndoesToTheSameBytes();
    void arrangesByTypeInSignalOrder();
    void curvesLeaveAndArriveLevel_data();
    void curvesLeaveAndArriveLevel();
    void editorBuiltSongPlays();
    void samplesComeFromTheMenuOrADrop_data();
    void samplesComeFromTheMenuOrADrop();
};

void NodeViewTest::addsFromTheMenuAtTheClickedPoint()
{
    Patch patch;
    const QByteArray before = patch.bytes();
    QMenu* menu = patch.rightClick({ 200, 150 });
    QVERIFY(menu);
    QStringList sections;
    for (QAction* action : menu->actions())
        if (action->menu())
            sections << action->text();
    QCOMPARE(sections, QStringList({ "Generators", "Effects", "Utility" }));
    QAction* saw = actionNamed(actionNamed(menu, "Generators")->menu(), "Saw");
    QVERIFY(saw);
    saw->trigger();
    menu->close();

    QCOMPARE(patch.graph.nodes.size(), 2);
    const zarn::NodePointer node = patch.graph.nodes.last();
    QCOMPARE(node->name, QString("Saw"));
    QCOMPARE(node->position, QPointF(200, 150));
    QCOMPARE(node->patterns.size(), 1);
    QCOMPARE(node->patterns.first()->name, QString("00"));
    const TrackPointer track = patch.song->sequencer->tracks.last();
    QCOMPARE(track->node, node);
    QCOMPARE(track->entryAt(0)->pattern, node->patterns.first());
    QVERIFY(patch.song->changed);
    patch.history.undo();
    QCOMPARE(patch.bytes(), before);
    QVERIFY(!patch.song->changed);
}

void NodeViewTest::connectsByShiftDrag_data()
{
    QTest::addColumn<QString>("from"); // node names; "-" is empty space
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("connections");
    const auto row
        = [](const char* name, const char* from, const char* to, const char* box, int connections) {
              QTest::newRow(name) << from << to << box << connections;
          };
    // Saw feeds Filter feeds Amp to begin with.
    const char* const twice = "Could not connect: Nodes are already connected";
    row("generator into the output", "Saw2", "Output", "", 3);
    row("from a node without output", "Output", "Saw2", "", 2);
    row("onto its own start", "Saw", "Saw", "", 2);
    row("onto empty space", "Saw2", "-", "", 2);
    row("into a generator", "Filter", "Saw2", "", 2);
    row("twice", "Saw", "Filter", twice, 2);
    row("backwards over an edge", "Amp", "Filter", twice, 2);
    row("closing a loop", "Amp", "Trem", "", 3); // then Trem to Filter
}

void NodeViewTest::connectsByShiftDrag()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, box);
    QFETCH(int, connections);
    Patch patch;
    QHash<QString, zarn::NodePointer> nodes { { "Output", patch.output },
        { "Saw", patch.add("Saw", { 100, 100 }) }, { "Saw2", patch.add("Saw", { 100, 400 }) },
        { "Filter", patch.add("Filter", { 400, 100 }) }, { "Amp", patch.add("Amp", { 400, 400 }) },
        { "Trem", patch.add("Tremolo", { 550, 500 }) } };
    patch.graph.connect(nodes["Saw"], nodes["Filter"]);
    patch.graph.connect(nodes["Filter"], nodes["Amp"]);
    const qsizetype edits = patch.history.stack().count();
    const QPointF end = nodes.contains(to) ? nodes[to]->position : QPointF(600, 550);
    patch.drag(nodes[from]->position, end, Qt::LeftButton, Qt::ShiftModifier);
    QCOMPARE(patch.graph.connections.size(), connections);
    QCOMPARE(patch.boxes.join('\n'), box);
    QCOMPARE(patch.history.stack().count(), edits + connections - 2);
    QCOMPARE(patch.view.interaction(), NodeView::None);
    if (QTest::currentDataTag() == QByteArray("closing a loop")) {
        patch.drag(
            nodes["Trem"]->position, nodes["Filter"]->position, Qt::LeftButton, Qt::ShiftModifier);
        QCOMPARE(patch.boxes.join('\n'),
            QString("Could not connect: Connecting these nodes would form an invalid loop"));
        QCOMPARE(patch.graph.connections.size(), 3);
    }
}

void NodeViewTest::rightClickPicksNodeWireOrCanvas_data()
{
    QTest::addColumn<QPointF>("at");
    QTest::addColumn<QString>("heading");
    // Saw at (100, 100) and Filter at (100, 500), both wired to the Output at (700, 300).
    const QPointF middle(400, 200), across = QPointF(-1, 3) / std::sqrt(10.0);
    const QString upper = "Connection Saw → Output (Saw into Output)";
    QTest::newRow("a generator") << QPointF(120, 90) << "Node Saw";
    QTest::newRow("the upper wire") << middle << upper;
    QTest::newRow("19 pixels off it") << middle + across * 19 << upper;
    QTest::newRow("21 pixels off it") << middle + across * 21 << "Generators";
    QTest::newRow("near both, nearer the upper") << QPointF(645, 299) << upper;
    QTest::newRow("the lower wire")
        << QPointF(400, 395) << "Connection Filter → Output (Filter into Output)";
}

void NodeViewTest::rightClickPicksNodeWireOrCanvas()
{
    QFETCH(QPointF, at);
    QFETCH(QString, heading);
    Patch patch;
    patch.graph.connect(patch.add("Saw", { 100, 100 }), patch.output);
    patch.graph.connect(patch.add("Filter", { 100, 500 }), patch.output);
    QMenu* menu = patch.rightClick(at);
    QVERIFY(menu);
    QCOMPARE(menu->actions().first()->text(), heading);
    if (heading.startsWith("Connection")) {
        actionNamed(menu, "&Delete")->trigger();
        QCOMPARE(patch.graph.connections.size(), 1);
    }
    menu->close();
}

void NodeViewTest::dragMovesTheWholeSelection()
{
    Patch patch;
    const auto a = patch.add("Saw", { 100, 100 }), b = patch.add("Filter", { 250, 100 }),
               c = patch.add("Amp", { 100, 250 });
    const QPointF outputAt = patch.output->position;
    patch.drag({ 20, 20 }, { 330, 320 }); // lasso round a, b and c, not the Output
    QCOMPARE(patch.view.selection(), QList<zarn::NodePointer>({ a, b, c }));
    const qsizetype edits = patch.history.stack().count();
    patch.drag(b->position + QPointF(5, 5), b->position + QPointF(45, -25));
    QCOMPARE(a->position, QPointF(140, 70));
    QCOMPARE(b->position, QPointF(290, 70));
    QCOMPARE(c->position, QPointF(140, 220));
    QCOMPARE(patch.output->position, outputAt);
    QCOMPARE(patch.history.stack().count(), edits + 1);
    patch.history.undo();
    QCOMPARE(a->position, QPointF(100, 100));
    QCOMPARE(c->position, QPointF(100, 250));
    // A click on empty space drops the selection; a middle drag pans everything.
    patch.drag({ 600, 550 }, { 600, 550 });
    QVERIFY(patch.view.selection().isEmpty());
    patch.drag({ 400, 300 }, { 410, 280 }, Qt::MiddleButton);
    QCOMPARE(a->position, QPointF(110, 80));
    QCOMPARE(patch.output->position, outputAt + QPointF(10, -20));
}

void NodeViewTest::wheelZoomsAboutTheCursorAndBack()
{
    Patch patch;
    const auto a = patch.add("Saw", { 100, 100 });
    const QList<QPointF> before { patch.output->position, a->position };
    const qsizetype edits = patch.history.stack().count();
    patch.wheel({ 300, 200 }, 120);
    QCOMPARE(a->position, QPointF(300 - 200 * 1.1, 200 - 100 * 1.1));
    for (int i = 1; i < 10; ++i)
        patch.wheel({ 300, 200 }, 120);
    for (int i = 0; i < 10; ++i)
        patch.wheel({ 300, 200 }, -120);
    const QList<QPointF> after { patch.output->position, a->position };
    for (int i = 0; i < 2; ++i) {
        QVERIFY(std::abs(after[i].x() - before[i].x()) < 1e-9);
        QVERIFY(std::abs(after[i].y() - before[i].y()) < 1e-9);
    }
    // A run of wheel steps is one step of the history.
    QCOMPARE(patch.history.stack().count(), edits + 1);
}

void NodeViewTest::outputCannotBeDeleted()
{
    Patch patch;
    const auto saw = patch.add("Saw", { 100, 100 });
    patch.graph.connect(saw, patch.output);
    QMenu* menu = patch.rightClick(patch.output->position);
    QVERIFY(menu);
    QAction* remove = actionNamed(menu, "&Delete");
    QVERIFY(remove && !remove->isEnabled());
    QCOMPARE(remove->toolTip(), QString("This node is intrinsic and can't be deleted"));
    menu->close();
    const QByteArray before = patch.bytes();
    patch.view.deleteNode(patch.output);
    QCOMPARE(patch.bytes(), before);
    // A second Output may go, and so may any other node, with its wires and its track.
    const auto second = patch.add("Output", { 400, 500 });
    QVERIFY(!NodeView::deleteRefusal(patch.graph, *second));
    const QByteArray withSaw = patch.bytes();
    patch.view.deleteNode(saw);
    QCOMPARE(patch.graph.connections.size(), 0);
    QVERIFY(!patch.graph.nodes.contains(saw));
    QCOMPARE(patch.song->sequencer->tracks.size(), 2);
    patch.history.undo();
    QCOMPARE(patch.bytes(), withSaw);
    QVERIFY(patch.graph.connectionBetween(saw, patch.output));
    // Whitespace is no name.
    patch.answer = QStringLiteral("  ");
    patch.view.renameNode(saw);
    QCOMPARE(saw->name, QString("Saw"));
    QCOMPARE(patch.boxes.size(), 1);
}

void NodeViewTest::showsAndClearsThePause()
{
    Patch patch;
    const auto saw = patch.add("Saw", { 200, 200 });
    const QRectF box = saw->boundingRect();
    const QPoint dot = (box.topRight() + QPointF(-8, 8)).toPoint();
    QCOMPARE(patch.view.grab().toImage().pixelColor(dot) == QColor(Qt::red), false);
    saw->processor->paused = true;
    saw->processor->peakMs = 12.345;
    QCOMPARE(patch.view.grab().toImage().pixelColor(dot), QColor(Qt::red));
    QMenu* menu = patch.view.nodeMenu(saw);
    QAction* unpause = actionNamed(menu, "&Unpause");
    QVERIFY(unpause);
    QCOMPARE(unpause->toolTip(), QString("Node was auto-paused (peak: 12.3 ms)"));
    unpause->trigger();
    QVERIFY(!saw->processor->paused);
    QCOMPARE(saw->processor->peakMs, 0.0);
    QVERIFY(!actionNamed(patch.view.nodeMenu(saw), "&Unpause"));
    // A new name is drawn at once.
    const QImage named = patch.view.grab().toImage().copy(box.toRect());
    patch.answer = QStringLiteral("Lead");
    patch.view.renameNode(saw);
    QVERIFY(patch.view.grab().toImage().copy(box.toRect()) != named);
    // X-ray marks the bottom-right corner with the node's own colour.
    const QPoint corner = (box.bottomRight() - QPointF(5, 5)).toPoint();
    const QColor plain = patch.view.grab().toImage().pixelColor(corner);
    patch.view.toggleXRay();
    QVERIFY(patch.view.grab().toImage().pixelColor(corner) != plain);
}

void NodeViewTest::doubleClickOpensOneParameterWindow()
{
    QPointer<QWidget> window;
    {
        Patch patch;
        const auto bass = patch.add("TB-303", { 200, 200 });
        patch.view.makeParameterView = [&](const zarn::NodePointer& node, QWidget* parent) {
            return new ParameterView(node, patch.song, &patch.history, parent);
        };
        QTest::mouseDClick(&patch.view, Qt::LeftButton, {}, QPoint(200, 200));
        window = patch.view.findChild<ParameterView*>();
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->windowTitle(), "Parameters for Node TB-303 (" + bass->uniqueID + ")");
        QCOMPARE(patch.view.openParameters(bass), window.data());
        // Deleting the node leaves its window harmless.
        patch.view.deleteNode(bass);
        QMetaObject::invokeMethod(window, "randomize");
    }
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!window); // closed with the view
}

void NodeViewTest::everyEditUndoesToTheSameBytes_data()
{
    QTest::addColumn<Moves>("moves");
    const auto row = [](const char* name, Moves moves) { QTest::newRow(name) << moves; };
    // A Saw at (100, 100) wired to the Output, and a Filter at (300, 400) on its own.
    const auto node = [](Patch& p, int i) { return p.graph.nodes.at(i); };
    row("add", [](Patch& p) { p.add("Drum", { 500, 100 }); });
    row("delete", [node](Patch& p) { p.view.deleteNode(node(p, 1)); });
    row("move", [node](Patch& p) { p.drag(node(p, 1)->position, { 222, 111 }); });
    row("rename", [node](Patch& p) {
        p.answer = QStringLiteral("Lead");
        p.view.renameNode(node(p, 1));
    });
    row("connect", [node](Patch& p) {
        p.drag(node(p, 2)->position, p.output->position, Qt::LeftButton, Qt::ShiftModifier);
    });
    row("disconnect", [](Patch& p) { p.view.disconnectNodes(p.graph.connections.first()); });
    row("mute", [node](Patch& p) { p.view.setMuted(node(p, 1), true); });
    row("solo", [node](Patch& p) { p.view.setSolo(node(p, 2), true); });
    row("auto arrange", [](Patch& p) { p.view.autoArrange(); });
    row("arrange by type", [](Patch& p) { p.view.arrangeByType(); });
    row("zoom to fit", [](Patch& p) { p.view.zoomToFit(); });
    row("zoom", [](Patch& p) { p.wheel({ 10, 20 }, -120); });
    row("pan", [](Patch& p) { p.drag({ 10, 10 }, { 30, 50 }, Qt::MiddleButton); });
}

void NodeViewTest::everyEditUndoesToTheSameBytes()
{
    QFETCH(Moves, moves);
    Patch patch;
    patch.graph.connect(patch.add("Saw", { 100, 100 }), patch.output);
    patch.add("Filter", { 300, 400 });
    const QByteArray before = patch.bytes();
    const qsizetype edits = patch.history.stack().count();
    moves(patch);
    const QByteArray after = patch.bytes();
    QVERIFY(after != before);
    QCOMPARE(patch.history.stack().count(), edits + 1);
    patch.history.undo();
    QCOMPARE(patch.bytes(), before);
    patch.history.redo();
    QCOMPARE(patch.bytes(), after);
}

void NodeViewTest::arrangesByTypeInSignalOrder()
{
    Patch patch;
    const auto drum = patch.add("Drum", { 700, 500 }), bass = patch.add("TB-303", { 600, 100 });
    const auto dist = patch.add("Distortion", { 100, 100 }),
               filter = patch.add("Filter", { 50, 500 });
    const auto lost = zarn::Node::create(QStringLiteral("Gone"), patch.song);
    patch.graph.addNode(lost);
    patch.graph.connect(bass, filter);
    patch.graph.connect(filter, dist);
    patch.graph.connect(dist, patch.output);
    patch.graph.connect(drum, patch.output);
    patch.view.arrangeByType();
    const auto x = [](const zarn::NodePointer& n) { return n->position.x(); };
    QCOMPARE(x(bass), x(drum));
    QVERIFY(x(bass) < x(filter));
    QVERIFY(x(filter) < x(dist));
    QVERIFY(x(dist) < x(lost));
    QVERIFY(x(lost) < x(patch.output));
    QCOMPARE(x(bass), 100.0);
    QCOMPARE(x(patch.output), 700.0);
    for (const zarn::NodePointer& node : patch.graph.nodes)
        QVERIFY(QRectF(100, 100, 600, 400).contains(node->position));
    QCOMPARE(typeArrangement::kindOf(*lost), typeArrangement::Outlier);
}

void NodeViewTest::curvesLeaveAndArriveLevel_data()
{
    QTest::addColumn<QPointF>("to");
    QTest::addColumn<double>("sharpest"); // the largest turn from one link to the next
    QTest::newRow("forward and down") << QPointF(400, 300) << 0.25;
    QTest::newRow("backwards") << QPointF(-300, 80) << 1.6; // it loops round
    QTest::newRow("straight below") << QPointF(0, 500) << 0.9;
    QTest::newRow("far away") << QPointF(9000, -7000) << 0.1;
}

// From (0, 0) with a reach of 70: level at both ends, without corners, in short links, and
// the arrow on the chain, pointing along it.
void NodeViewTest::curvesLeaveAndArriveLevel()
{
    QFETCH(QPointF, to);
    QFETCH(double, sharpest);
    const ConnectionCurve curve = ConnectionCurve::between({}, to, 70);
    const QPolygonF& p = curve.points;
    const qsizetype n = p.size();
    QCOMPARE(p.first(), QPointF());
    QCOMPARE(p.last(), to);
    QVERIFY(p[1].x() > 0 && std::abs(p[1].y()) < 1e-9);
    QVERIFY(p[n - 2].x() < to.x() && std::abs(p[n - 2].y() - to.y()) < 1e-9);
    QVERIFY(n >= 5 && n <= 201);
    double turn = 0;
    for (qsizetype i = 1; i + 1 < n; ++i) {
        QVERIFY(n == 201 || QLineF(p[i], p[i + 1]).length() < 40);
        const QPointF a = p[i] - p[i - 1], b = p[i + 1] - p[i];
        turn = std::max(
            turn, std::abs(std::atan2(a.x() * b.y() - a.y() * b.x(), QPointF::dotProduct(a, b))));
    }
    QVERIFY2(turn < sharpest, qPrintable(QString::number(turn)));
    const QPointF mid = (p[(n - 1) / 2] + p[(n - 1) / 2 + 1]) / 2;
    QCOMPARE(curve.middle, mid);
    QCOMPARE(std::hypot(curve.direction.x(), curve.direction.y()), 1.0);
    QVERIFY(QPointF::dotProduct(curve.direction, p[(n - 1) / 2 + 1] - p[(n - 1) / 2]) > 0);
    const ConnectionCurve broken = ConnectionCurve::between({}, { qInf(), 0 }, 70);
    QCOMPARE(broken.points.size(), 2);
}

// A song made only with the editor's mouse while it plays: a Saw from the menu is silent
// until it is wired to the Output, and heard from the next block on.
void NodeViewTest::editorBuiltSongPlays()
{
    Patch patch;
    BlockRenderer renderer(patch.song);
    renderer.startFromSequenceBegin();
    const auto energy = [&renderer](int blocks) {
        double sum = 0.0;
        for (int block = 0; block < blocks; ++block) {
            renderer.render();
            for (quint64 i = 0; i < renderer.block().size(); ++i)
                sum += renderer.block().data()[i] * renderer.block().data()[i];
        }
        return sum;
    };
    QMenu* menu = patch.rightClick({ 200, 300 });
    actionNamed(actionNamed(menu, "Generators")->menu(), "Saw")->trigger();
    menu->close();
    zarn::NodePointer saw = patch.graph.nodes.last();
    const SchemaPointer schema = saw->processor->schema();
    const auto note = std::find_if(schema->nodeParameters.cbegin(), schema->nodeParameters.cend(),
        [](const auto& p) { return p->valueType() == ValueType::MidiNote; });
    patternEdits::writeCell(
        *saw->patterns.first(), *schema, 0, int(note - schema->nodeParameters.cbegin()), 57);
    QCOMPARE(energy(2), 0.0);
    patch.drag(saw->position, patch.output->position, Qt::LeftButton, Qt::ShiftModifier);
    QVERIFY(patch.graph.connectionBetween(saw, patch.output));
    QVERIFY(energy(1) > 1.0);
    // Muted, the Saw is still there but nothing is heard.
    patch.view.setMuted(saw, true);
    QCOMPARE(energy(1), 0.0);
    patch.history.undo();
    QVERIFY(energy(1) > 1.0);
    // Deleted while playing, with no undo step to keep it, its processor lives until the
    // next block's plan leaves it out.
    patch.history.stack().clear();
    patch.view.setHistory(nullptr);
    const QWeakPointer<Processor> sound = saw->processor;
    patch.view.deleteNode(saw);
    saw.reset();
    QVERIFY(sound);
    energy(1);
    QVERIFY(!sound);
}

// The file is no sound, so a load that starts ends in a warning naming it. A drop goes only
// to a widget that took the drag as it entered.
void NodeViewTest::samplesComeFromTheMenuOrADrop_data()
{
    QTest::addColumn<QPointF>("dropAt"); // null: from the menu
    QTest::addColumn<bool>("loads");
    QTest::newRow("from the menu") << QPointF() << true;
    QTest::newRow("dropped on the node") << QPointF(210, 190) << true;
    QTest::newRow("dropped beside it") << QPointF(400, 400) << false;
}

void NodeViewTest::samplesComeFromTheMenuOrADrop()
{
    QFETCH(QPointF, dropAt);
    QFETCH(bool, loads);
    Patch patch;
    const auto node = patch.add("Sample", { 200, 200 });
    QVERIFY(!actionNamed(patch.view.nodeMenu(patch.add("Saw", { 500, 200 })), "&Load Sample..."));
    QTemporaryFile file;
    QVERIFY(file.open() && file.write("words") == 5);
    SampleLoader& loader = patch.view.sampleLoader();
    loader.askPath = [&] { return file.fileName(); };
    loader.warn = patch.view.warn;
    QMimeData mime;
    mime.setUrls({ QUrl::fromLocalFile(file.fileName()) });
    QDragEnterEvent enter(dropAt.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QDropEvent drop(dropAt, Qt::CopyAction, &mime, Qt::LeftButton, {});
    if (dropAt.isNull()) {
        actionNamed(patch.view.nodeMenu(node), "&Load Sample...")->trigger();
    } else {
        QApplication::sendEvent(&patch.view, &enter);
        QApplication::sendEvent(&patch.view, &drop);
    }
    QCOMPARE(loader.busy(), loads);
    QVERIFY(!loads || QSignalSpy(&loader, &SampleLoader::finished).wait());
    QCOMPARE(patch.boxes.size(), loads ? 1 : 0);
    QVERIFY(!loads || patch.boxes.first().contains(file.fileName()));
}

QTEST_MAIN(NodeViewTest)
#include "tst_node_view.moc"
