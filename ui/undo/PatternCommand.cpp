#include "ui/undo/PatternCommand.h"

#include <algorithm>

namespace {

RowPointer copyOf(const RowPointer& row)
{
    return row ? RowPointer::create(*row) : RowPointer();
}

bool sameRow(const RowPointer& a, const RowPointer& b)
{
    if (!a || !b)
        return !a && !b;
    return a->cells == b->cells;
}

} // namespace

PatternSnapshot PatternSnapshot::take(const Pattern& pattern, int firstSlot, int lastSlot)
{
    PatternSnapshot s;
    s.slotCount = pattern.rows.size();
    s.length = pattern.length;
    s.lanes = pattern.lanes;
    s.name = pattern.name;
    for (int slot = std::max(0, firstSlot); slot <= lastSlot; ++slot)
        s.rows.insert(slot, copyOf(pattern.rowAt(slot)));
    return s;
}

void PatternSnapshot::restore(Pattern& pattern) const
{
    pattern.rows.resize(std::max(slotCount, qsizetype(0)));
    for (auto it = rows.cbegin(); it != rows.cend(); ++it)
        if (it.key() < pattern.rows.size())
            pattern.rows[it.key()] = copyOf(it.value());
    pattern.length = length;
    pattern.lanes = lanes;
    pattern.name = name;
}

bool PatternSnapshot::sameAs(const PatternSnapshot& other) const
{
    if (slotCount != other.slotCount || length != other.length || lanes != other.lanes
        || name != other.name || rows.keys() != other.rows.keys())
        return false;
    for (auto it = rows.cbegin(); it != rows.cend(); ++it)
        if (!sameRow(it.value(), other.rows.value(it.key())))
            return false;
    return true;
}

PatternCommand::PatternCommand(const PatternPointer& pattern, const QString& text,
    PatternSnapshot before, PatternSnapshot after, TypingRun typing)
    : QUndoCommand(text)
    , m_pattern(pattern)
    , m_before(std::move(before))
    , m_after(std::move(after))
    , m_typing(typing)
{
}

void PatternCommand::redo()
{
    if (!m_applied)
        m_after.restore(*m_pattern);
    m_applied = false;
}

void PatternCommand::undo()
{
    m_before.restore(*m_pattern);
}

bool PatternCommand::mergeWith(const QUndoCommand* other)
{
    const auto* next = static_cast<const PatternCommand*>(other);
    if (next->m_pattern != m_pattern || next->m_typing.parameter != m_typing.parameter
        || next->m_typing.tick < m_typing.tick || next->m_typing.tick > m_typing.tick + 1)
        return false;
    // The earliest state of each slot and the latest, across both keystrokes.
    for (auto it = next->m_before.rows.cbegin(); it != next->m_before.rows.cend(); ++it)
        if (!m_before.rows.contains(it.key()))
            m_before.rows.insert(it.key(), it.value());
    for (auto it = next->m_after.rows.cbegin(); it != next->m_after.rows.cend(); ++it)
        m_after.rows.insert(it.key(), it.value());
    m_after.slotCount = next->m_after.slotCount;
    m_after.length = next->m_after.length;
    m_typing = next->m_typing;
    return true;
}

PatternEdit::PatternEdit(const PatternPointer& pattern, int firstSlot, int lastSlot)
    : m_pattern(pattern)
    , m_first(firstSlot)
    , m_last(lastSlot)
    , m_before(PatternSnapshot::take(*pattern, firstSlot, lastSlot))
{
}

QUndoCommand* PatternEdit::command(const QString& text, TypingRun typing) const
{
    PatternSnapshot after = PatternSnapshot::take(*m_pattern, m_first, m_last);
    if (after.sameAs(m_before))
        return nullptr;
    return new PatternCommand(m_pattern, text, m_before, std::move(after), typing);
}
