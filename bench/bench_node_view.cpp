// The node editor under the mouse: one step of dragging twenty selected nodes (positions,
// paths of their connections marked) followed by a full paint of a 1280x800 view, beside the
// full paint alone, in a graph of 200 nodes and 300 connections with X-ray on. Read
// "x real-time" as how many fit in one 60 Hz frame.
#include "EditorBench.h"
#include "song/Graph.h"
#include "song/Sequencer.h"
#include "song/Song.h"
#include "ui/nodes/NodeView.h"
#include "ui/undo/SongHistory.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>

namespace {

constexpr int kColumns = 20;
constexpr int kRows = 10;
constexpr QPointF kGrab { 70, 50 }; // the first node's centre

// A grid of generators and effects, each effect fed by the node on its left and the one
// above that; the first twenty are selected by a lasso.
struct Patch {
    SongPointer song = Song::createEmpty();
    SongHistory history;
    NodeView view;
    QImage image { 1280, 800, QImage::Format_ARGB32_Premultiplied };
    QPointF at = kGrab;

    Patch()
    {
        Graph& graph = *song->graph;
        for (int i = 0; i < kColumns * kRows; ++i) {
            const bool source = i % kColumns == 0;
            const auto node = zarn::Node::create(source ? "Saw" : "Filter", song);
            node->setPosition(QPointF(70 + (i % kColumns) * 60.0, 50 + (i / kColumns) * 75.0));
            graph.addNode(node);
            if (!source)
                graph.connect(graph.nodes.at(i - 1), node);
            if (!source && i % 2 == 0 && i > kColumns)
                graph.connect(graph.nodes.at(i - kColumns - 1), node);
        }
        history.setSong(song);
        view.setHistory(&history);
        view.setSong(song);
        view.resize(image.size());
        view.setXRay(true);
        mouse(QEvent::MouseButtonPress, { 5, 5 });
        mouse(QEvent::MouseMove, { 1275, 90 });
        mouse(QEvent::MouseButtonRelease, { 1275, 90 });
        mouse(QEvent::MouseButtonPress, at);
    }
    void mouse(QEvent::Type type, QPointF point)
    {
        QMouseEvent event(type, point, view.mapToGlobal(point),
            type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, {});
        QApplication::sendEvent(&view, &event);
    }
    // Back and forth by one pixel, so the nodes stay where they are.
    void dragStep()
    {
        at.setX(at.x() == kGrab.x() ? kGrab.x() + 1 : kGrab.x());
        mouse(QEvent::MouseMove, at);
    }
    void paint() { view.render(&image); }
};

void paintOnly(benchmark::State& state)
{
    Patch patch;
    for (auto _ : state) {
        patch.paint();
        benchmark::DoNotOptimize(patch.image.constBits());
    }
}

void dragAndPaint(benchmark::State& state)
{
    Patch patch;
    for (auto _ : state) {
        patch.dragStep();
        patch.paint();
        benchmark::DoNotOptimize(patch.image.constBits());
    }
}

} // namespace

int main(int argc, char** argv)
{
    return runEditorBenchmarks(argc, argv, "node-view", paintOnly, dragAndPaint, "drag");
}
