#include "processors/channel/ChannelClippingProcessor.h"
#include "processors/RowLanes.h"

ChannelClippingProcessor::ChannelClippingProcessor(int sampleRate)
    : ImpairmentProcessor("ChClipping", ClippingImpairment())
{
    Q_UNUSED(sampleRate);
}

SchemaPointer ChannelClippingProcessor::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = {
            ParameterDescriptor::byte("Threshold", "Clip threshold", 0, 254, 255, 0),
        };
        return schema;
    });
}

void ChannelClippingProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    Q_UNUSED(rowSerial);
    const RowLanes lanes(values, count);
    if (const auto v = lanes.below(Threshold, RowLanes::kEmptyByte))
        m_stage.applyThreshold(*v);
}
