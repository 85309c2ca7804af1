#include "ui/undo/StripCommand.h"

#include "processors/io/OutputProcessor.h"

namespace {

OutputProcessor* outputOf(const zarn::Node& node)
{
    return dynamic_cast<OutputProcessor*>(node.processor.data());
}

} // namespace

StripState StripState::of(const zarn::Node& node)
{
    const OutputProcessor* output = outputOf(node);
    return output ? StripState { output->songVolume(), output->dials() } : StripState {};
}

void StripState::applyTo(const zarn::Node& node) const
{
    if (OutputProcessor* output = outputOf(node)) {
        output->setSongVolume(volume);
        output->setDials(dials);
    }
}

StripCommand::StripCommand(const zarn::NodePointer& node, const QString& text,
    const StripState& before, const StripState& after, int control)
    : QUndoCommand(text)
    , m_node(node)
    , m_before(before)
    , m_after(after)
    , m_control(control)
{
}

void StripCommand::redo()
{
    if (!m_applied)
        m_after.applyTo(*m_node);
    m_applied = false;
}

void StripCommand::undo()
{
    m_before.applyTo(*m_node);
}

bool StripCommand::mergeWith(const QUndoCommand* other)
{
    const auto* next = static_cast<const StripCommand*>(other);
    if (next->m_node != m_node || next->m_control != m_control)
        return false;
    m_after = next->m_after;
    // A change that came back to where it started is no step at all.
    if (m_after == m_before)
        setObsolete(true);
    return true;
}
