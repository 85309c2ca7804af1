#include "song/Node.h"

#include "core/DataStream.h"
#include "processors/ProcessorFactory.h"
#include "song/Logging.h"
#include "song/RandomId.h"
#include "song/Song.h"

#include <QDebug>
#include <QIODevice>

#include <atomic>

namespace zarn {

namespace {

// Serials are handed out across the whole process, whichever song the node joins.
std::atomic<qint32> nextSerial { 0 };

const QString kUnknownType = QStringLiteral("unknown");
const QString kLoadedPatternName = QStringLiteral("node pattern X");

// The smallest pattern record: name, uniqueID, length and row count.
constexpr qint64 kMinPatternBytes = 4 + 4 + 4 + 8;

} // namespace

Node::Node()
    : serial(nextSerial.fetch_add(1))
{
}

QSharedPointer<Node> Node::create(const QString& typeID, const QSharedPointer<Song>& song)
{
    auto node = QSharedPointer<Node>::create();
    node->name = typeID;
    node->uniqueID = randomIdentifier();
    node->song = song;
    node->processor = ProcessorFactory::instance().create(typeID);
    return node;
}

bool Node::takesAudioInput() const
{
    return processor && processor->character().takesAudioInput;
}

bool Node::givesAudioOutput() const
{
    return processor && processor->character().givesAudioOutput;
}

QString Node::typeName() const
{
    return processor ? processor->character().typeID : kUnknownType;
}

void Node::setName(const QString& newName)
{
    if (name == newName)
        return;
    name = newName;
    taintSong(song, "renameNode");
    nameChanged();
}

void Node::setPosition(const QPointF& newPosition)
{
    if (position == newPosition)
        return;
    position = newPosition;
    // Positions are saved, so arranging the graph is an edit like any other.
    if (!probe)
        taintSong(song, "moveNode");
    positionChanged();
}

QRectF Node::boundingRect() const
{
    return QRectF(position.x() - size.width() / 2, position.y() - size.height() / 2, size.width(),
        size.height());
}

void Node::addPattern(const PatternPointer& pattern)
{
    patterns.append(pattern);
    taintSong(song, "addPattern");
}

void Node::renewProcessor()
{
    if (!processor)
        return;
    QByteArray state;
    {
        QDataStream out(&state, QIODevice::WriteOnly);
        datastream::prepare(out);
        processor->saveState(out);
        processor->saveExtension(out);
    }
    const QSharedPointer<Processor> fresh
        = ProcessorFactory::instance().create(processor->character().typeID);
    if (!fresh)
        return;
    QDataStream in(state);
    datastream::prepare(in);
    fresh->loadState(in);
    fresh->loadExtension(in);
    fresh->paused = processor->paused;
    fresh->peakMs = processor->peakMs;
    processor = fresh;
}

void Node::write(QDataStream& stream) const
{
    const QString type = typeName();
    stream << name << uniqueID << position << type;
    if (debug)
        qCDebug(lcSong).noquote().nospace()
            << "Stream OUT TrackerNode: name=" << name << ", uniqueID=" << uniqueID
            << ", pos=" << position << ", type=" << type;
    // A node without processor keeps no state; an empty schema keeps the record readable.
    if (processor)
        processor->saveState(stream);
    if (const SchemaPointer schema = processor ? processor->schema() : SchemaPointer())
        schema->write(stream);
    else
        NodeParameterSchema().write(stream);

    stream << qint64(patterns.size());
    if (debug)
        qCDebug(lcSong).noquote().nospace()
            << "Stream OUT TrackerNode: patterns=" << patterns.size();
    for (const auto& pattern : patterns)
        pattern->write(stream);
}

void Node::read(QDataStream& stream, const QSharedPointer<Node>& self)
{
    QString storedName;
    QString type;
    QPointF storedPosition;
    stream >> storedName >> uniqueID >> storedPosition >> type;
    setName(storedName);
    setPosition(storedPosition);
    if (debug)
        qCDebug(lcSong).noquote().nospace()
            << "Stream IN TrackerNode: name=" << storedName << ", uniqueID=" << uniqueID
            << ", pos=" << storedPosition << ", type=" << type;

    processor = ProcessorFactory::instance().create(type);
    if (processor)
        processor->loadState(stream);
    else
        setName(QString::fromLatin1(kLoadError));

    // The processor's own schema is authoritative; the stored copy is only skipped.
    NodeParameterSchema().read(stream);
    readPatterns(stream, self);

    // The state of an unknown type cannot be skipped, so nothing after this record can be
    // trusted: the reader above assumed it was empty, and the stream says it is damaged.
    if (!processor)
        stream.setStatus(QDataStream::ReadCorruptData);
}

void Node::readPatterns(QDataStream& stream, const QSharedPointer<Node>& self)
{
    patterns.clear();
    qint64 count = 0;
    stream >> count;
    if (debug)
        qCDebug(lcSong).noquote().nospace() << "Stream IN TrackerNode: patterns=" << count;
    if (!datastream::plausibleCount(stream, count, kMinPatternBytes))
        return;
    for (qint64 i = 0; i < count && datastream::healthy(stream); ++i) {
        auto pattern = PatternPointer::create(kLoadedPatternName, self, Pattern::kDefaultLength);
        pattern->read(stream);
        pattern->node = self;
        patterns.append(pattern);
    }
}

} // namespace zarn
