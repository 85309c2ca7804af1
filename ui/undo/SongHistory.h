#pragma once

#include "song/Song.h"

#include <QObject>
#include <QUndoStack>

#include <functional>

// The song document's undo stack. The song's changed flag follows the stack's clean state,
// except that a change made outside the stack keeps the flag set until the next save.
class SongHistory : public QObject {
    Q_OBJECT

public:
    explicit SongHistory(QObject* parent = nullptr);
    ~SongHistory() override;

    // A loaded, cleared or new song starts with an empty history.
    void setSong(const SongPointer& song);
    // The song as saved: its state is the clean one.
    void markSaved();

    // Pushes an edit that has already been applied; see PatternCommand.
    void push(QUndoCommand* command);
    // Runs an edit that marks the song changed itself and pushes the command it returns,
    // if any: its marks belong to the history, not to a change made outside it.
    void record(const std::function<QUndoCommand*()>& edit);
    void undo();
    void redo();

    QUndoStack& stack() { return m_stack; }
    const SongPointer& song() const { return m_song; }

signals:
    // After any push, undo or redo: the views repaint.
    void edited();

private:
    void cleanChanged(bool clean);
    void run(const std::function<void()>& change);

    QUndoStack m_stack;
    SongPointer m_song;
    QMetaObject::Connection m_taints;
    bool m_applying = false;
    bool m_changedOutside = false;
};
