#include "song/SongFile.h"

#include "core/DataStream.h"
#include "song/Graph.h"
#include "song/Logging.h"
#include "song/Sequencer.h"
#include "song/SongExtension.h"

#include <QDebug>
#include <QFile>
#include <QIODevice>
#include <QSaveFile>
#include <QtEndian>

namespace {

const QString kNoSongToSave = QStringLiteral("No song to save, skipping...");
const QString kCannotSave = QStringLiteral("Could not open file for saving, skipping...");
const QString kNoSongToLoad = QStringLiteral("No song to load, skipping...");
const QString kCannotLoad = QStringLiteral("Could not open file for loading, skipping...");
const QString kWrongMagic = QStringLiteral("Wrong MAGIC found in file while loading, skipping...");
const QString kWrongVersion
    = QStringLiteral("Wrong VERSION found in file while loading, skipping...");
const QString kDamaged = QStringLiteral("Damaged song file, skipping...");

constexpr qint8 kCompressed = 1;
constexpr qint8 kUncompressed = 0;
constexpr int kMagicSize = 4;
constexpr int kClaimSize = 4; // the uncompressed length in front of a compressed block

// zlib cannot expand a stream by much more than a thousand times, so a block that claims
// more than this is lying; the cap bounds what even an honest claim may allocate.
constexpr qint64 kMaxExpansion = 1100;
constexpr qint64 kMaxSongBytes = qint64(256) * 1024 * 1024;
// qUncompress keeps growing its buffer when a block understates its length, up to what
// the stream really holds; only the block's own size bounds that. The densest song a
// user could write compresses to a few hundred KiB; a bigger one is stored uncompressed.
constexpr qint64 kMaxBlockBytes = qint64(1) * 1024 * 1024;

QDataStream& prepared(QDataStream& stream)
{
    datastream::prepare(stream);
    return stream;
}

// The version-1 layout, then the extension section, where a version-1 reader stops.
void writeSong(QDataStream& stream, const Song& song)
{
    if (song.graph)
        song.graph->write(stream);
    else
        Graph(SongPointer()).write(stream);
    if (song.sequencer)
        song.sequencer->write(stream);
    else
        Sequencer(SongPointer()).write(stream);
    const QByteArray extension = songextension::write(song);
    stream.writeRawData(extension.constData(), int(extension.size()));
}

songfile::LoadReport failure(const QString& message)
{
    qCWarning(lcSong).noquote() << message;
    return { false, message };
}

// The claimed length is checked before anything is allocated for it.
bool plausibleBlock(const QByteArray& block)
{
    if (block.size() < kClaimSize || block.size() > kMaxBlockBytes)
        return false;
    const qint64 claimed = qFromBigEndian<quint32>(block.constData());
    return claimed <= kMaxSongBytes && claimed <= qint64(block.size()) * kMaxExpansion;
}

// The stored fields of a position; tempo, sample rate, view and loop stay as they are.
void adoptStoredFields(Position& to, const Position& from)
{
    to.samplesPerTickValue = from.samplesPerTickValue;
    to.ticksPerStepValue = from.ticksPerStepValue;
    to.scrollStep = from.scrollStep;
    to.cursor.sample = from.cursor.sample;
    to.playPos.sample = from.playPos.sample;
    to.sequenceBegin.sample = from.sequenceBegin.sample;
    to.sequenceEnd.sample = from.sequenceEnd.sample;
}

// Hands what a clean read built to the target song, keeping its graph and sequencer
// objects, which editors and the player hold on to.
void adopt(const SongPointer& song, const Song& loaded)
{
    if (!song->graph)
        song->graph = QSharedPointer<Graph>::create(song);
    if (!song->sequencer)
        song->sequencer = QSharedPointer<Sequencer>::create(song);

    Graph& graph = *song->graph;
    graph.nodes = loaded.graph->nodes;
    graph.connections = loaded.graph->connections;
    graph.changed = true;
    for (const auto& node : graph.nodes)
        node->song = song;
    for (const auto& connection : graph.connections)
        connection->song = song;

    song->sequencer->tracks = loaded.sequencer->tracks;
    adoptStoredFields(song->sequencer->position, loaded.sequencer->position);
}

// A serialised song read into a scratch song, with the bytes after its version-1 layout.
struct ReadSong {
    SongPointer song; // null when the version-1 layout did not read cleanly
    QByteArray extension;
};

ReadSong readSong(QDataStream& stream)
{
    const SongPointer scratch = Song::createEmpty();
    scratch->graph->read(stream);
    if (datastream::healthy(stream))
        scratch->sequencer->read(stream, *scratch->graph);
    if (!datastream::healthy(stream))
        return {};
    return { scratch, stream.device()->readAll() };
}

ReadSong readCompressedSong(QDataStream& stream)
{
    QByteArray block;
    stream >> block;
    if (!datastream::healthy(stream) || !plausibleBlock(block))
        return {};
    const QByteArray body = qUncompress(block);
    if (body.size() != qint64(qFromBigEndian<quint32>(block.constData())))
        return {};
    QDataStream bodyStream(body);
    return readSong(prepared(bodyStream));
}

} // namespace

namespace songfile {

QByteArray encode(const Song& song)
{
    QByteArray body;
    {
        QDataStream stream(&body, QIODevice::WriteOnly);
        writeSong(prepared(stream), song);
    }
    const QByteArray block = qCompress(body);
    const bool compressed = block.size() <= kMaxBlockBytes;
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    prepared(stream).writeRawData(kMagic, kMagicSize);
    stream << kVersion << (compressed ? kCompressed : kUncompressed);
    if (compressed)
        stream << block;
    else
        stream.writeRawData(body.constData(), int(body.size()));
    return bytes;
}

LoadReport decode(const SongPointer& song, const QByteArray& bytes)
{
    if (!song)
        return failure(kNoSongToLoad);
    QDataStream stream(bytes);
    prepared(stream);

    char magic[kMagicSize] = {};
    if (stream.readRawData(magic, kMagicSize) != kMagicSize
        || QByteArray(magic, kMagicSize) != QByteArray(kMagic))
        return failure(kWrongMagic);
    quint32 version = 0;
    stream >> version;
    if (version != kVersion)
        return failure(kWrongVersion);

    bool compressed = false;
    stream >> compressed;
    if (!datastream::healthy(stream) || bytes.size() > kMaxSongBytes)
        return failure(kDamaged);
    const ReadSong loaded = compressed ? readCompressedSong(stream) : readSong(stream);
    if (!loaded.song)
        return failure(kDamaged);

    // A damaged extension costs only what it holds; the song it belongs to still loads.
    const songextension::Section extension = songextension::stage(loaded.extension);
    adopt(song, *loaded.song);
    songextension::apply(*song, extension);
    song->untaint(QStringLiteral("loadSong"));
    return { true, {} };
}

} // namespace songfile

bool saveSong(const SongPointer& song, const QString& path)
{
    if (!song) {
        qCWarning(lcSong).noquote() << kNoSongToSave;
        return false;
    }
    qCDebug(lcSong).noquote().nospace() << "Saving " << path;
    // The previous file is replaced only once the new one is completely written.
    QSaveFile file(path);
    const QByteArray bytes = songfile::encode(*song);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        qCWarning(lcSong).noquote() << kCannotSave;
        return false;
    }
    song->untaint(QStringLiteral("saveSong"));
    return true;
}

songfile::LoadReport loadSongReport(const SongPointer& song, const QString& path)
{
    if (!song)
        return failure(kNoSongToLoad);
    qCDebug(lcSong).noquote().nospace() << "Loading " << path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failure(kCannotLoad);
    if (file.size() > kMaxSongBytes)
        return failure(kDamaged);
    return songfile::decode(song, file.readAll());
}

bool loadSong(const SongPointer& song, const QString& path)
{
    return loadSongReport(song, path).ok;
}
