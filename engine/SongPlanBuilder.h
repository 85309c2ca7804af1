#pragma once

#include "engine/PlanBuilder.h"
#include "song/Connection.h"
#include "song/Graph.h"
#include "song/Node.h"

// How the plan builder reads a song node: its name, its processor and the
// processor's type record.
namespace zarn {
QString planName(const Node& node);
QSharedPointer<AudioNode> planAudioNode(const Node& node);
const ProcessorCharacter* planCharacter(const Node& node);
inline bool planMuted(const Node& node)
{
    return node.muted;
}
inline bool planSoloed(const Node& node)
{
    return node.solo;
}
} // namespace zarn

extern template class PlanBuilder<zarn::Node, Connection>;

// Builds the song graph's plan.
using SongPlanBuilder = PlanBuilder<zarn::Node, Connection>;
