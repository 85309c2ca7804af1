// Reads arbitrary bytes as a song file: header, compressed block and the whole song must
// never crash, hang or allocate without bound, and a failed load must change nothing.
#include "QuietLogs.h"
#include "song/Song.h"
#include "song/SongFile.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    silenceLogsOnce();
    const QByteArray bytes
        = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto song = Song::createNewSong(16);
    const QByteArray before = songfile::encode(*song);
    if (!songfile::decode(song, bytes).ok && songfile::encode(*song) != before)
        std::abort();
    return 0;
}
