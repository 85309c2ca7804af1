// The sequencer editor under the keyboard: one pattern cycled at the cursor (model update,
// undo record of the whole arrangement) followed by a full paint of a 1280x800 view, beside
// the full paint alone, in a song of 64 tracks of 4096 steps scrolled to its middle. Read
// "x real-time" as how many fit in one 60 Hz frame.
#include "EditorBench.h"
#include "song/Graph.h"
#include "song/Sequencer.h"
#include "song/Song.h"
#include "ui/sequencer/SequencerView.h"
#include "ui/undo/SongHistory.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>

namespace {

constexpr int kTracks = 64;
constexpr int kSteps = 4096;
constexpr int kTicksPerStep = 16;
constexpr int kPatterns = 8;

// Every track starts one of its node's patterns every other step, and breaks now and then.
struct Arranger {
    SongPointer song = Song::createEmpty();
    SongHistory history;
    SequencerView view;
    QImage image { 1280, 800, QImage::Format_ARGB32_Premultiplied };

    Arranger()
    {
        Sequencer& sequencer = *song->sequencer;
        sequencer.position.ticksPerStepValue = kTicksPerStep;
        for (int t = 0; t < kTracks; ++t) {
            auto node = zarn::NodePointer::create();
            node->name = QStringLiteral("Node %1").arg(t);
            for (int p = 0; p < kPatterns; ++p)
                node->patterns.append(PatternPointer::create(
                    QStringLiteral("Pattern %1").arg(p), node, 2 * kTicksPerStep));
            song->graph->addNode(node);
            const TrackPointer track = sequencer.addTrack(node);
            for (int step = 0; step < kSteps; step += 2)
                if (step % 32 == 30)
                    track->setBreak(step * kTicksPerStep);
                else
                    track->setEntry(step * kTicksPerStep, node->patterns.at(step % kPatterns));
        }
        history.setSong(song);
        view.setHistory(&history);
        view.setSong(song);
        view.resize(image.size());
        view.setFocus();
        sequencer.moveCursorAbsolute(kTracks / 2, kSteps / 2);
    }
    void press(int key)
    {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&view, &event);
    }
    void paint() { view.render(&image); }
};

void paintOnly(benchmark::State& state)
{
    Arranger arranger;
    for (auto _ : state) {
        arranger.paint();
        benchmark::DoNotOptimize(arranger.image.constBits());
    }
}

void keystrokeAndPaint(benchmark::State& state)
{
    Arranger arranger;
    for (auto _ : state) {
        arranger.press(Qt::Key_Space);
        arranger.paint();
        benchmark::DoNotOptimize(arranger.image.constBits());
    }
}

} // namespace

int main(int argc, char** argv)
{
    return runEditorBenchmarks(argc, argv, "sequencer-view", paintOnly, keystrokeAndPaint);
}
