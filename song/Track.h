#pragma once

#include "song/Entry.h"
#include "song/Node.h"

#include <QDataStream>
#include <QHash>
#include <QList>
#include <QString>

// A track drives one node: entry slot i says what happens from tick i on; a null slot
// means nothing happens there.
class Track {
public:
    // Patterns by uniqueID, for binding the entries of a track read from a stream.
    using PatternLookup = QHash<QString, PatternPointer>;

    Track(); // a fresh uniqueID, no entries, no node
    explicit Track(const zarn::NodePointer& node);

    // A null pattern clears the slot.
    void setEntry(int index, const PatternPointer& pattern);
    void setBreak(int index);
    // All inserted slots share one new entry; a null pattern inserts null slots.
    void insertEntries(int index, int count, const PatternPointer& pattern);
    void removeEntries(int index, int count);
    EntryPointer entryAt(int index) const;

    void write(QDataStream& stream) const;
    // Pattern entries whose uniqueID the lookup does not know become null slots.
    void read(QDataStream& stream, const PatternLookup& patterns);

    QString uniqueID;
    QList<EntryPointer> entries;
    zarn::NodePointer node;

private:
    void growTo(int size);
};

using TrackPointer = QSharedPointer<Track>;
