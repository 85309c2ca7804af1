#pragma once

#include "song/Song.h"

#include <QByteArray>
#include <QString>

// The song file: "SING", version 1, a compressed flag, then the serialised song as one
// qCompress block; the song ends in the extension section (song/SongExtension.h).
namespace songfile {

inline constexpr char kMagic[] = "SING";
inline constexpr quint32 kVersion = 1;

// What a load did; `message` is the warning logged when it failed, empty otherwise.
struct LoadReport {
    bool ok = false;
    QString message;
};

// The file's bytes for a song: the header and the song, compressed unless its block
// would be too big for a reader to trust.
QByteArray encode(const Song& song);
// Reads a whole file's bytes into the song. On any failure the song is left as it was; a
// damaged extension section alone is ignored with a warning and the song loads without it.
LoadReport decode(const SongPointer& song, const QByteArray& bytes);

} // namespace songfile

// Writes through a temporary file, so a failed save leaves an existing file whole.
// Returns false, with a warning, when nothing was written.
bool saveSong(const SongPointer& song, const QString& path);
bool loadSong(const SongPointer& song, const QString& path);
songfile::LoadReport loadSongReport(const SongPointer& song, const QString& path);
