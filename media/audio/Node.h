#pragma once

#include "core/AudioNode.h"
#include "media/graph/Connection.h"
#include "media/graph/Graph.h"
#include "media/graph/GraphNode.h"

#include <QSharedPointer>

namespace media::audio {

// A graph node carrying one audio node (a device node, a generator), so that device-level
// graphs are wired and built into a plan like the song's own.
class Node : public graph::GraphNode {
public:
    Node(const QString& name, const QSharedPointer<AudioNode>& audioNode);

    bool takesAudioInput() const override;
    bool givesAudioOutput() const override;
    QString typeName() const override;

    QSharedPointer<AudioNode> audioNode;
};

using Connection = graph::Connection<Node>;
using Graph = graph::Graph<Node, Connection>;

// What the plan builder reads of a node.
inline QString planName(const Node& node)
{
    return node.name;
}
inline QSharedPointer<AudioNode> planAudioNode(const Node& node)
{
    return node.audioNode;
}
inline const ProcessorCharacter* planCharacter(const Node& node)
{
    return node.audioNode ? &node.audioNode->character() : nullptr;
}
// Device-level nodes are never muted or soloed.
inline bool planMuted(const Node&)
{
    return false;
}
inline bool planSoloed(const Node&)
{
    return false;
}

} // namespace media::audio
