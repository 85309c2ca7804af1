#pragma once

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QString>

#include <optional>

class Song;

// What the version-1 song layout has no room for: a section written after the sequencer,
// where a version-1 reader stops. It holds tagged, length-prefixed records, so a reader skips
// the records it does not know; docs/song-file.md gives the bytes.
namespace songextension {

inline constexpr char kMagic[] = "ZEXT";
// Changes only when the framing of header and records changes; new data gets new tags.
inline constexpr quint32 kVersion = 1;

// A record tag: four ASCII characters read as one big-endian number.
constexpr quint32 tag(const char (&name)[5])
{
    return quint32(quint8(name[0])) << 24 | quint32(quint8(name[1])) << 16
        | quint32(quint8(name[2])) << 8 | quint32(quint8(name[3]));
}
inline constexpr quint32 kInfoTag = tag("INFO");
inline constexpr quint32 kNodeTag = tag("NODE");

// Caps that no song a user makes comes near; a count above them is damage.
inline constexpr quint32 kMaxRecords = 1 << 16;
inline constexpr quint32 kMaxTags = 1 << 16;

// What one node keeps outside the version-1 layout.
struct NodeState {
    bool muted = false;
    bool solo = false;
    QByteArray processor; // opaque: the processor's saveExtension wrote it
};

// A whole section as read, staged until the song takes it.
struct Section {
    std::optional<QMap<QString, QString>> tags; // none without an INFO record
    QHash<QString, NodeState> nodes; // by node uniqueID
};

// A parsed section, or the reason it was refused.
struct Parsed {
    Section section;
    QString error; // empty when the section is usable
};

// The section for a song: its tags, then a record for each node that keeps something.
QByteArray write(const Song& song);
// Reads the bytes after the version-1 layout; none at all is a valid, empty section.
Parsed parse(const QByteArray& bytes);
// The section to apply: the parsed one, or an empty one after a warning when it is damaged.
Section stage(const QByteArray& bytes);
// Gives the song the section's tags (the initial tags without an INFO record) and its
// nodes their state. A record whose node the song lacks is skipped.
void apply(Song& song, const Section& section);

} // namespace songextension
