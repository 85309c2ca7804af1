#pragma once

#include "song/Node.h"
#include "song/Track.h"

#include <QUndoCommand>

// Adds a pattern to a node or removes it; undo does the opposite, at the same place in the
// node's list. A removed pattern takes the track entries that start it along, since a song
// cannot save an entry whose pattern it no longer holds; undo puts them back.
class PatternListCommand final : public QUndoCommand {
public:
    PatternListCommand(const zarn::NodePointer& node, const PatternPointer& pattern, bool adding,
        const QString& text);

    void redo() override;
    void undo() override;

private:
    void insert();
    void remove();

    struct Start {
        TrackPointer track;
        int index;
        EntryPointer entry;
    };

    zarn::NodePointer m_node;
    QList<Start> m_starts;
    PatternPointer m_pattern;
    bool m_adding;
    qsizetype m_index;
};
