#include "ui/undo/RecordingPass.h"

#include "song/Graph.h"
#include "song/Sequencer.h"
#include "ui/pattern/PatternEdits.h"
#include "ui/undo/SongHistory.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace {

// The row slots a recorded change can reach, and those the pattern already has.
int slotsOf(const Pattern& pattern)
{
    return int(std::max<qsizetype>(pattern.length, pattern.rows.size()));
}

int wrapped(qint64 tick, int length)
{
    return int(((tick % length) + length) % length);
}

} // namespace

RecordingPass::RecordingPass(SongPointer song, SongHistory* history, QString text)
    : m_song(std::move(song))
    , m_history(history)
    , m_text(std::move(text))
{
    m_check.setInterval(kCheckMs);
    QObject::connect(&m_check, &QTimer::timeout, [this] {
        if (m_pass)
            endUnless(currentPattern ? currentPattern() : m_pass->pattern);
    });
}

RecordingPass::~RecordingPass()
{
    finish();
}

bool RecordingPass::recording(const zarn::NodePointer& node) const
{
    if (!m_song || !m_song->sequencer || !m_song->graph || !node)
        return false;
    const Position& position = m_song->sequencer->position;
    // A node deleted from the graph lives on only in a view; its patterns are no song's.
    return position.recording && position.playing && m_song->graph->nodes.contains(node);
}

int RecordingPass::write(const zarn::NodePointer& node, const PatternPointer& pattern, int index,
    quint32 value, int avoidRow)
{
    const SchemaPointer schema = node && node->processor ? node->processor->schema() : nullptr;
    if (!recording(node) || !schema || !pattern || pattern->length < 1)
        return -1;
    if (m_pass && m_pass->pattern != pattern)
        finish();
    if (!m_pass) {
        m_pass.emplace(Pass { node, pattern, PatternEdit(pattern, 0, slotsOf(*pattern) - 1) });
        m_check.start();
    }
    const qint64 tick = m_song->sequencer->position.playPos.tick();
    int row = wrapped(tick, pattern->length);
    if (row == avoidRow)
        row = wrapped(tick + 1, pattern->length);
    const auto change = [&] {
        patternEdits::writeCell(*pattern, *schema, row, index, value);
        m_song->taint(m_text);
    };
    // Inside the history the mark is its own, so undoing the pass can make the song clean.
    if (SongHistory* h = history())
        h->record([&]() -> QUndoCommand* {
            change();
            return nullptr;
        });
    else
        change();
    return row;
}

void RecordingPass::endUnless(const PatternPointer& current)
{
    if (m_pass && (!recording(m_pass->node) || current != m_pass->pattern))
        finish();
}

void RecordingPass::finish()
{
    m_check.stop();
    if (!m_pass)
        return;
    const Pass pass = std::move(*m_pass);
    m_pass.reset();
    std::unique_ptr<QUndoCommand> command(pass.edit.command(m_text));
    if (SongHistory* h = history(); command && h)
        h->push(command.release());
}

SongHistory* RecordingPass::history() const
{
    return m_history && m_history->song() == m_song ? m_history.data() : nullptr;
}
