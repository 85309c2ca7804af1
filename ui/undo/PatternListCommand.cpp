#include "ui/undo/PatternListCommand.h"

#include "song/Sequencer.h"
#include "song/Song.h"

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
    for (const Start& start : std::as_const(m_starts))
        if (start.index < start.track->entries.size())
            start.track->entries[start.index] = start.entry;
    m_starts.clear();
}

void PatternListCommand::remove()
{
    m_node->patterns.removeOne(m_pattern);
    const SongPointer song = m_node->song.toStrongRef();
    if (!song || !song->sequencer)
        return;
    for (const TrackPointer& track : std::as_const(song->sequencer->tracks))
        for (int i = 0; i < track->entries.size(); ++i)
            if (const EntryPointer& entry = track->entries.at(i);
                entry && entry->pattern == m_pattern) {
                m_starts.append({ track, i, entry });
                track->entries[i] = nullptr;
            }
}

void PatternListCommand::redo()
{
    m_adding ? insert() : remove();
}

void PatternListCommand::undo()
{
    m_adding ? remove() : insert();
}
