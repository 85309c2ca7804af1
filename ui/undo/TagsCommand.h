#pragma once

#include "song/Song.h"

#include <QMap>
#include <QUndoCommand>

// One edit of the song's info tags. The caller applies it first; the first redo does nothing.
class TagsCommand final : public QUndoCommand {
public:
    using Tags = QMap<QString, QString>;

    TagsCommand(const SongPointer& song, const Tags& before, const Tags& after);

    void redo() override;
    void undo() override;

private:
    QWeakPointer<Song> m_song;
    Tags m_before;
    Tags m_after;
    bool m_applied = true;
};
