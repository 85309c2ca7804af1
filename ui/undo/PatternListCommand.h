#pragma once

#include "song/Node.h"

#include <QUndoCommand>

// Adds a pattern to a node or removes it; undo does the opposite, at the same place in the
// node's list.
class PatternListCommand final : public QUndoCommand {
public:
    PatternListCommand(const zarn::NodePointer& node, const PatternPointer& pattern, bool adding,
        const QString& text);

    void redo() override;
    void undo() override;

private:
    void insert();
    void remove();

    zarn::NodePointer m_node;
    PatternPointer m_pattern;
    bool m_adding;
    qsizetype m_index;
};
