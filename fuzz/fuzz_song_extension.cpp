// Reads arbitrary bytes as a song's extension section, alone and after a valid version-1
// song: nothing may crash, hang or allocate without bound, the song must load whatever the
// section holds, take the section's tags only when the section parses, and save and load
// back to the same file.
#include "QuietLogs.h"
#include "core/DataStream.h"
#include "song/Graph.h"
#include "song/Sequencer.h"
#include "song/Song.h"
#include "song/SongExtension.h"
#include "song/SongFile.h"
#include "song/SongInfoModel.h"

#include <QByteArray>
#include <QIODevice>
#include <QtGlobal>

#include <cstdint>
#include <cstdlib>

namespace {

// A new song's version-1 layout with a Sample node added, as an uncompressed file, its nodes
// named "n0", "n1", … so that seeds can address them and reach the processors' readers.
QByteArray versionOneFile()
{
    const SongPointer song = Song::createNewSong(16);
    song->graph->addNode(zarn::Node::create(QStringLiteral("Sample"), song));
    for (qsizetype i = 0; i < song->graph->nodes.size(); ++i)
        song->graph->nodes[i]->uniqueID = QStringLiteral("n%1").arg(i);
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    datastream::prepare(stream);
    stream.writeRawData(songfile::kMagic, 4);
    stream << songfile::kVersion << qint8(0);
    song->graph->write(stream);
    song->sequencer->write(stream);
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    silenceLogsOnce();
    static const QByteArray versionOne = versionOneFile();
    const QByteArray bytes
        = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const songextension::Parsed parsed = songextension::parse(bytes);
    const QMap<QString, QString> tags = parsed.error.isEmpty() && parsed.section.tags
        ? *parsed.section.tags
        : SongInfoModel::initialTags();

    const auto song = Song::createEmpty();
    if (!songfile::decode(song, versionOne + bytes).ok || song->tags != tags)
        std::abort();
    const QByteArray saved = songfile::encode(*song);
    const auto again = Song::createEmpty();
    if (!songfile::decode(again, saved).ok || songfile::encode(*again) != saved)
        std::abort();
    return 0;
}
