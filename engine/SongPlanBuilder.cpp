#include "engine/SongPlanBuilder.h"

namespace zarn {

QString planName(const Node& node)
{
    return node.name;
}

QSharedPointer<AudioNode> planAudioNode(const Node& node)
{
    return node.processor;
}

const ProcessorCharacter* planCharacter(const Node& node)
{
    return node.processor ? &node.processor->character() : nullptr;
}

} // namespace zarn

template class PlanBuilder<zarn::Node, Connection>;
