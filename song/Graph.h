#pragma once

#include "media/graph/Graph.h"
#include "song/Connection.h"
#include "song/Node.h"

#include <QDataStream>
#include <QMarginsF>
#include <QRectF>

class Song;

// The song's node graph; every topology change marks the song changed.
class Graph : public media::graph::Graph<zarn::Node, Connection> {
public:
    explicit Graph(const QSharedPointer<Song>& song);

    // First node in list order whose box holds the point and whose ports qualify.
    zarn::NodePointer nodeAt(const QPointF& point, bool anyInput, bool anyOutput,
        const zarn::NodePointer& excluded = {}) const;

    // Force-directed layout inside the area.
    void autoArrange(const QRectF& area);
    // Scales and centres every position into the area less the margins.
    void fitInto(const QRectF& area, const QMarginsF& margins);

    // A probe listens to `source` without being part of the song: attaching or detaching one
    // is no edit, the file never holds it and the editors do not show it.
    void attachProbe(const zarn::NodePointer& probe, const zarn::NodePointer& source);
    void detachProbe(const zarn::NodePointer& probe);
    static bool isProbeConnection(const Connection& connection);

    // The song's Output nodes that have a processor, in list order.
    QList<zarn::NodePointer> outputNodes() const;

    void write(QDataStream& stream) const;
    void read(QDataStream& stream);

    QWeakPointer<Song> song; // weak, because the song owns its graph

protected:
    ConnectionPointer makeConnection(
        const zarn::NodePointer& from, const zarn::NodePointer& to) override;
    void topologyChanged() override;

private:
    void readNodes(QDataStream& stream);
    void readConnections(QDataStream& stream);
};

using GraphPointer = QSharedPointer<Graph>;
