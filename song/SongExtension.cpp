#include "song/SongExtension.h"

#include "core/DataStream.h"
#include "song/Graph.h"
#include "song/Logging.h"
#include "song/Song.h"
#include "song/SongInfoModel.h"

#include <QDebug>
#include <QIODevice>
#include <QList>

#include <algorithm>
#include <iterator>
#include <utility>

namespace songextension {

namespace {

const QString kIgnored = QStringLiteral("Song extension ignored: %1");
const QString kRefused
    = QStringLiteral("Song extension: node %1 could not use its processor record");

const QString kBadMagic = QStringLiteral("bad magic");
const QString kCutShort = QStringLiteral("header cut short");
const QString kBadVersion = QStringLiteral("unknown version %1");
const QString kTooManyRecords = QStringLiteral("implausible record count");
const QString kPastEnd = QStringLiteral("record past the end");
const QString kBadInfo = QStringLiteral("damaged INFO record");
const QString kSecondInfo = QStringLiteral("second INFO record");
const QString kBadNode = QStringLiteral("damaged NODE record");
const QString kSecondNode = QStringLiteral("second NODE record for one node");
const QString kTrailing = QStringLiteral("bytes after the last record");

constexpr int kMagicSize = 4;
constexpr qint64 kRecordHeaderBytes = 8; // tag and length
constexpr qint64 kMinTagBytes = 8; // a key and a value, both null strings
constexpr quint8 kMutedBit = 0x01;
constexpr quint8 kSoloBit = 0x02;

template <class Write> QByteArray written(Write write)
{
    QByteArray bytes;
    {
        QDataStream stream(&bytes, QIODevice::WriteOnly);
        datastream::prepare(stream);
        write(stream);
    }
    return bytes;
}

void writeBytes(QDataStream& stream, const QByteArray& bytes)
{
    stream << quint32(bytes.size());
    stream.writeRawData(bytes.constData(), int(bytes.size()));
}

// Written even without tags, so a song whose tags were all removed does not get the
// initial ones back.
QByteArray infoPayload(const QMap<QString, QString>& tags)
{
    return written([&tags](QDataStream& stream) {
        stream << quint32(tags.size());
        for (auto tag = tags.cbegin(); tag != tags.cend(); ++tag)
            stream << tag.key() << tag.value();
    });
}

// Empty when the node keeps nothing beyond the version-1 layout.
QByteArray nodePayload(const zarn::Node& node)
{
    const QByteArray processor = node.processor
        ? written([&node](QDataStream& stream) { node.processor->saveExtension(stream); })
        : QByteArray();
    if (!node.muted && !node.solo && processor.isEmpty())
        return {};
    const quint8 flags = (node.muted ? kMutedBit : 0) | (node.solo ? kSoloBit : 0);
    return written([&](QDataStream& stream) {
        stream << node.uniqueID << flags;
        writeBytes(stream, processor);
    });
}

// A count of tags past the cap or past the record's bytes is damage before anything is
// allocated; a repeated key shows as a map smaller than the count.
QString readInfo(QDataStream& stream, Section& staged)
{
    if (staged.tags)
        return kSecondInfo;
    quint32 count = 0;
    stream >> count;
    if (count > kMaxTags || !datastream::plausibleCount(stream, count, kMinTagBytes))
        return kBadInfo;
    QMap<QString, QString> tags;
    for (quint32 i = 0; i < count && datastream::healthy(stream); ++i) {
        QString key;
        QString value;
        stream >> key >> value;
        tags.insert(key, value);
    }
    if (!datastream::healthy(stream) || quint32(tags.size()) != count)
        return kBadInfo;
    staged.tags = std::move(tags);
    return {};
}

QString readNode(QDataStream& stream, Section& staged)
{
    QString uniqueID;
    quint8 flags = 0;
    quint32 size = 0;
    stream >> uniqueID >> flags >> size;
    if (!datastream::plausibleCount(stream, size, 1))
        return kBadNode;
    NodeState state { (flags & kMutedBit) != 0, (flags & kSoloBit) != 0,
        QByteArray(qsizetype(size), Qt::Uninitialized) };
    if (stream.readRawData(state.processor.data(), int(size)) != int(size))
        return kBadNode;
    if (staged.nodes.contains(uniqueID))
        return kSecondNode;
    staged.nodes.insert(uniqueID, std::move(state));
    return {};
}

// A reader gets its record's payload as a stream of its own, so it cannot read into the
// next record; bytes it leaves unread are what a later version appended.
struct RecordKind {
    quint32 tag;
    QString (*read)(QDataStream& payload, Section& staged);
};

const RecordKind kRecordKinds[] = {
    { kInfoTag, readInfo },
    { kNodeTag, readNode },
};

QString readRecord(QDataStream& stream, Section& staged)
{
    quint32 tag = 0;
    quint32 length = 0;
    stream >> tag >> length;
    if (!datastream::plausibleCount(stream, length, 1))
        return kPastEnd;
    const auto kind = std::find_if(std::cbegin(kRecordKinds), std::cend(kRecordKinds),
        [tag](const RecordKind& known) { return known.tag == tag; });
    if (kind == std::cend(kRecordKinds)) {
        stream.skipRawData(int(length));
        return {};
    }
    QByteArray payload(qsizetype(length), Qt::Uninitialized);
    stream.readRawData(payload.data(), int(length));
    QDataStream record(payload);
    datastream::prepare(record);
    return kind->read(record, staged);
}

Parsed refused(const QString& reason)
{
    return { {}, reason };
}

void applyNode(zarn::Node& node, const NodeState& state)
{
    node.muted = state.muted;
    node.solo = state.solo;
    if (state.processor.isEmpty() || !node.processor)
        return;
    QDataStream stream(state.processor);
    datastream::prepare(stream);
    if (!node.processor->loadExtension(stream))
        qCWarning(lcSong).noquote() << kRefused.arg(node.uniqueID);
}

} // namespace

QByteArray write(const Song& song)
{
    QList<std::pair<quint32, QByteArray>> records { { kInfoTag, infoPayload(song.tags) } };
    const QList<zarn::NodePointer> nodes
        = song.graph ? song.graph->nodes : QList<zarn::NodePointer>();
    for (const zarn::NodePointer& node : nodes) {
        // A probe is not part of the song.
        const QByteArray payload = node->probe ? QByteArray() : nodePayload(*node);
        if (!payload.isEmpty())
            records.append({ kNodeTag, payload });
    }
    return written([&records](QDataStream& stream) {
        stream.writeRawData(kMagic, kMagicSize);
        stream << kVersion << quint32(records.size());
        for (const auto& [tag, payload] : records) {
            stream << tag;
            writeBytes(stream, payload);
        }
    });
}

Parsed parse(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return {};
    QDataStream stream(bytes);
    datastream::prepare(stream);
    char magic[kMagicSize] = {};
    if (stream.readRawData(magic, kMagicSize) != kMagicSize
        || QByteArray(magic, kMagicSize) != QByteArray(kMagic))
        return refused(kBadMagic);
    quint32 version = 0;
    quint32 count = 0;
    stream >> version >> count;
    if (!datastream::healthy(stream))
        return refused(kCutShort);
    if (version != kVersion)
        return refused(kBadVersion.arg(version));
    if (count > kMaxRecords || !datastream::plausibleCount(stream, count, kRecordHeaderBytes))
        return refused(kTooManyRecords);
    Section staged;
    for (quint32 i = 0; i < count; ++i)
        if (const QString error = readRecord(stream, staged); !error.isEmpty())
            return refused(error);
    if (!stream.atEnd())
        return refused(kTrailing);
    return { std::move(staged), {} };
}

Section stage(const QByteArray& bytes)
{
    Parsed parsed = parse(bytes);
    if (parsed.error.isEmpty())
        return std::move(parsed.section);
    qCWarning(lcSong).noquote() << kIgnored.arg(parsed.error);
    return {};
}

void apply(Song& song, const Section& section)
{
    song.tags = section.tags.value_or(SongInfoModel::initialTags());
    if (!song.graph)
        return;
    for (const zarn::NodePointer& node : std::as_const(song.graph->nodes)) {
        const auto state = section.nodes.constFind(node->uniqueID);
        if (!node->probe && state != section.nodes.cend())
            applyNode(*node, *state);
    }
}

} // namespace songextension
