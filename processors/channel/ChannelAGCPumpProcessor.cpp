#include "processors/channel/ChannelAGCPumpProcessor.h"
#include "processors/RowLanes.h"

ChannelAGCPumpProcessor::ChannelAGCPumpProcessor(int sampleRate)
    : ImpairmentProcessor("ChAGCPump", AGCPumpImpairment(kChannelRate))
{
    // Built for the engine rate whatever rate the factory passes.
    Q_UNUSED(sampleRate);
}

SchemaPointer ChannelAGCPumpProcessor::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = {
            ParameterDescriptor::byte("Attack", "Attack ms", 0, 254, 255, 0),
            ParameterDescriptor::byte("Release", "Release ms", 0, 254, 255, 0),
        };
        return schema;
    });
}

void ChannelAGCPumpProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    Q_UNUSED(rowSerial);
    const RowLanes lanes(values, count);
    if (const auto v = lanes.below(Attack, RowLanes::kEmptyByte))
        m_stage.applyAttack(*v);
    if (const auto v = lanes.below(Release, RowLanes::kEmptyByte))
        m_stage.applyRelease(*v);
}
