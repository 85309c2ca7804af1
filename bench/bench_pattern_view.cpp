// The pattern editor under the keyboard: one typed note into a 256-row, 64-lane pattern
// (model update, undo record, cursor move) followed by a full paint of a 1280x800 view,
// beside the full paint alone. Read "x real-time" as how many fit in one 60 Hz frame.
#include "EditorBench.h"
#include "song/Song.h"
#include "ui/pattern/PatternView.h"
#include "ui/undo/SongHistory.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>

namespace {

constexpr int kLength = 256;
constexpr int kLanes = 64;

struct NoteProcessor final : Processor {
    NoteProcessor()
        : Processor(ProcessorCharacter())
    {
        using P = ParameterDescriptor;
        m_schema->nodeParameters = { P::byte("Gain", "", 0, 0xFE, 0xFF, 0x80) };
        m_schema->trackParameters
            = { P::midiNote("Note", "", 253), P::byte("Vel", "", 0, 0xFE, 0xFF, 0x40) };
    }
    SchemaPointer schema() const override { return m_schema; }
    QSharedPointer<NodeParameterSchema> m_schema = QSharedPointer<NodeParameterSchema>::create();
};

// A full pattern: every row present, a note in every lane.
struct Editor {
    SongPointer song = Song::createEmpty();
    zarn::NodePointer node = zarn::NodePointer::create();
    PatternPointer pattern = PatternPointer::create(QStringLiteral("00"), node, kLength);
    SongHistory history;
    PatternView view;
    QImage image { 1280, 800, QImage::Format_ARGB32_Premultiplied };

    Editor()
    {
        node->processor = QSharedPointer<NoteProcessor>::create();
        pattern->lanes = kLanes;
        for (int tick = 0; tick < kLength; ++tick) {
            const RowPointer row = pattern->makeNeutralRow();
            for (int lane = 0; lane < kLanes; ++lane)
                row->setCell(1 + 2 * lane, quint32(36 + (tick + lane) % 48), 0xFF);
            pattern->setRow(tick, row);
        }
        history.setSong(song);
        view.setHistory(&history);
        view.setSong(song);
        view.resize(image.size());
        view.showPattern(node, pattern);
        view.setFocus();
        press(Qt::Key_Tab); // onto lane 1's note
    }
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(&view, &event);
    }
    void paint() { view.render(&image); }
};

void paintOnly(benchmark::State& state)
{
    Editor editor;
    for (auto _ : state) {
        editor.paint();
        benchmark::DoNotOptimize(editor.image.constBits());
    }
}

void keystrokeAndPaint(benchmark::State& state)
{
    Editor editor;
    for (auto _ : state) {
        if (editor.view.cursor().tick == kLength - 1)
            editor.press(Qt::Key_Home, Qt::ControlModifier);
        editor.press(Qt::Key_Z);
        editor.paint();
        benchmark::DoNotOptimize(editor.image.constBits());
    }
}

} // namespace

int main(int argc, char** argv)
{
    return runEditorBenchmarks(argc, argv, "pattern-view", paintOnly, keystrokeAndPaint);
}
