#pragma once

#include "media/graph/GraphNode.h"
#include "processors/Processor.h"
#include "song/Pattern.h"

#include <QDataStream>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QWeakPointer>

class Song;

namespace zarn {

// A song node: one processor and the patterns that drive it, placed in the node editor.
// Log lines call it TrackerNode.
class Node : public media::graph::GraphNode {
public:
    static constexpr char kLoadError[] = "Load Error";

    Node();
    ~Node() override = default;

    // A node of the given type named after it, with a fresh uniqueID; its processor
    // is null when the factory does not offer the type.
    static QSharedPointer<Node> create(const QString& typeID, const QSharedPointer<Song>& song);

    bool takesAudioInput() const override;
    bool givesAudioOutput() const override;
    QString typeName() const override;

    void setName(const QString& newName);
    void setPosition(const QPointF& newPosition);
    QRectF boundingRect() const; // the box of `size` centred on `position`

    // Appends a pattern owned by this node and marks the song changed.
    void addPattern(const PatternPointer& pattern);
    // Replaces the processor by a new one of its type that reads the old one's saved
    // state: what playing changed is gone, what the song holds is kept.
    void renewProcessor();

    void write(QDataStream& stream) const;
    // Reads one node record; `self` is this node's shared pointer, given to its patterns.
    void read(QDataStream& stream, const QSharedPointer<Node>& self);

    QPointF position;
    QSizeF size { 100.0, 60.0 };
    QWeakPointer<Song> song; // weak, because the song owns its nodes
    qint32 serial = 0;
    QSharedPointer<Processor> processor;
    QList<PatternPointer> patterns;
    bool debug = false;
    // A muted node renders but passes on silence; while any node is soloed, only the soloed
    // nodes and what feeds them or hears them sound. The song keeps both in its extension.
    bool muted = false;
    bool solo = false;
    // A probe (a scope listening to a wire) is not part of the song; see Graph::attachProbe.
    bool probe = false;

protected:
    virtual void nameChanged() { }
    virtual void positionChanged() { }

private:
    void readPatterns(QDataStream& stream, const QSharedPointer<Node>& self);
};

using NodePointer = QSharedPointer<Node>;

} // namespace zarn
