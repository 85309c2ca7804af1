#pragma once

#include "media/graph/Connection.h"
#include "song/Node.h"

class Song;

// A connection of the song graph.
class Connection : public media::graph::Connection<zarn::Node> {
public:
    Connection(const zarn::NodePointer& from, const zarn::NodePointer& to,
        const QWeakPointer<Song>& song);

    QWeakPointer<Song> song;
    QSharedPointer<QObject> attachment; // empty when created
    bool flag = true;
};

using ConnectionPointer = QSharedPointer<Connection>;
