#pragma once

#include <QString>

namespace media::graph {

// Base of every node that can be wired into a graph: song nodes and device-level nodes.
class GraphNode {
public:
    virtual ~GraphNode() = default;
    virtual bool takesAudioInput() const { return false; }
    virtual bool givesAudioOutput() const { return false; }
    virtual QString typeName() const { return QStringLiteral("generic"); }

    QString name;
    QString uniqueID;
};

} // namespace media::graph
