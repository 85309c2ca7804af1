#include "ui/undo/SongHistory.h"

#include <functional>

SongHistory::SongHistory(QObject* parent)
    : QObject(parent)
{
    m_stack.setUndoLimit(1000);
    connect(&m_stack, &QUndoStack::cleanChanged, this, &SongHistory::cleanChanged);
}

// The stack's own teardown reports a clean state; the song may already be gone by then.
SongHistory::~SongHistory()
{
    disconnect(&m_stack, nullptr, this, nullptr);
}

void SongHistory::setSong(const SongPointer& song)
{
    disconnect(m_taints);
    m_song.reset(); // clearing is no undo: the new song keeps its own flag
    m_stack.clear();
    m_song = song;
    m_changedOutside = false;
    if (song)
        m_taints = connect(song.data(), &Song::tainted, this, [this] {
            if (!m_applying)
                m_changedOutside = true;
        });
}

void SongHistory::markSaved()
{
    m_changedOutside = false;
    m_stack.setClean();
}

void SongHistory::run(const std::function<void()>& change)
{
    m_applying = true;
    change();
    if (m_song && !m_stack.isClean())
        m_song->taint(m_stack.undoText());
    m_applying = false;
    emit edited();
}

void SongHistory::push(QUndoCommand* command)
{
    run([&] { m_stack.push(command); });
}

void SongHistory::record(const std::function<QUndoCommand*()>& edit)
{
    run([&] {
        if (QUndoCommand* command = edit())
            m_stack.push(command);
    });
}

void SongHistory::undo()
{
    run([this] { m_stack.undo(); });
}

void SongHistory::redo()
{
    run([this] { m_stack.redo(); });
}

void SongHistory::cleanChanged(bool clean)
{
    if (clean && m_song && !m_changedOutside)
        m_song->untaint(QStringLiteral("undo"));
}
