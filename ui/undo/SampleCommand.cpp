#include "ui/undo/SampleCommand.h"

#include "processors/sources/SampleProcessor.h"

#include <utility>

namespace {

SampleProcessor* samplerOf(const zarn::Node& node)
{
    return dynamic_cast<SampleProcessor*>(node.processor.data());
}

} // namespace

SampleCommand::SampleCommand(const zarn::NodePointer& node, Sample sample)
    : QUndoCommand(QObject::tr("Load Sample %1").arg(sample.name))
    , m_node(node)
    , m_kept(std::move(sample))
{
}

Sample SampleCommand::sampleOf(const zarn::Node& node)
{
    const SampleProcessor* sampler = samplerOf(node);
    return sampler ? sampler->sample() : Sample {};
}

// The frames are shared, not copied, so a long sample swaps at once.
void SampleCommand::swap()
{
    SampleProcessor* sampler = samplerOf(*m_node);
    if (!sampler)
        return;
    Sample current = sampler->sample();
    sampler->setSample(std::exchange(m_kept, std::move(current)));
}
