#include "processors/channel/ChannelDropoutProcessor.h"
#include "processors/RowLanes.h"

ChannelDropoutProcessor::ChannelDropoutProcessor(int sampleRate)
    : ImpairmentProcessor("ChDropout", DropoutImpairment())
{
    Q_UNUSED(sampleRate);
}

SchemaPointer ChannelDropoutProcessor::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = {
            ParameterDescriptor::byte("Rate", "Dropout rate", 0, 254, 255, 0),
            ParameterDescriptor::byte("Burst", "Burst length", 0, 254, 255, 1),
        };
        return schema;
    });
}

void ChannelDropoutProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    Q_UNUSED(rowSerial);
    const RowLanes lanes(values, count);
    if (const auto v = lanes.below(Rate, RowLanes::kEmptyByte))
        m_stage.applyRate(*v);
    if (const auto v = lanes.below(Burst, RowLanes::kEmptyByte))
        m_stage.applyBurst(*v);
}
