#include "ui/undo/TagsCommand.h"

#include <QCoreApplication>

TagsCommand::TagsCommand(const SongPointer& song, const Tags& before, const Tags& after)
    : QUndoCommand(QCoreApplication::translate("TagsCommand", "Edit song info"))
    , m_song(song)
    , m_before(before)
    , m_after(after)
{
}

void TagsCommand::redo()
{
    if (const SongPointer song = m_song.toStrongRef(); song && !m_applied)
        song->tags = m_after;
    m_applied = false;
}

void TagsCommand::undo()
{
    if (const SongPointer song = m_song.toStrongRef())
        song->tags = m_before;
}
