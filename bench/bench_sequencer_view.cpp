// The sequencer editor under the keyboard: one pattern cycled at the cursor (model update,
// undo record of the whole arrangement) followed by a full paint of a 1280x800 view, beside
// the full paint alone, in a song of 64 tracks of 4096 steps scrolled to its middle. Read
// "x real-time" as how many fit in one 60 Hz frame.
#include "RatioReporter.h"
#include "song/Graph.h"
#include "song/Sequencer.h"
#include "song/Song.h"
#include "ui/sequencer/SequencerView.h"
#include "ui/undo/SongHistory.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLoggingCategory>

namespace {

constexpr int kTracks = 64;
constexpr int kSteps = 4096;
constexpr int kTicksPerStep = 16;
constexpr int kPatterns = 8;
constexpr double kFrameRate = 60.0;

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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("zarn.*.debug=false"));
    benchmark::Initialize(&argc, argv);
    benchmark::RegisterBenchmark("sequencer-view/paint", paintOnly)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("sequencer-view/keystroke+paint", keystrokeAndPaint)
        ->Unit(benchmark::kMicrosecond);
    RatioReporter reporter("sequencer-view/paint", 1.0, kFrameRate);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    return 0;
}
