#include "ui/undo/PatternListCommand.h"

PatternListCommand::PatternListCommand(
    const zarn::NodePointer& node, const PatternPointer& pattern, bool adding, const QString& text)
    : QUndoCommand(text)
    , m_node(node)
    , m_pattern(pattern)
    , m_adding(adding)
    , m_index(adding ? node->patterns.size() : node->patterns.indexOf(pattern))
{
}

void PatternListCommand::insert()
{
    m_node->patterns.insert(std::clamp(m_index, qsizetype(0), m_node->patterns.size()), m_pattern);
}

void PatternListCommand::remove()
{
    m_node->patterns.removeOne(m_pattern);
}

void PatternListCommand::redo()
{
    m_adding ? insert() : remove();
}

void PatternListCommand::undo()
{
    m_adding ? remove() : insert();
}
