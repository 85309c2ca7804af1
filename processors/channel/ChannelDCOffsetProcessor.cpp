#include "processors/channel/ChannelDCOffsetProcessor.h"
#include "processors/RowLanes.h"

ChannelDCOffsetProcessor::ChannelDCOffsetProcessor(int sampleRate)
    : ImpairmentProcessor("ChDCOffset", DCOffsetImpairment())
{
    Q_UNUSED(sampleRate);
}

SchemaPointer ChannelDCOffsetProcessor::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = {
            ParameterDescriptor::byte("Offset", "DC offset", 0, 254, 255, 0),
        };
        return schema;
    });
}

void ChannelDCOffsetProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    Q_UNUSED(rowSerial);
    const RowLanes lanes(values, count);
    if (const auto v = lanes.below(Offset, RowLanes::kEmptyByte))
        m_stage.applyOffset(*v);
}
