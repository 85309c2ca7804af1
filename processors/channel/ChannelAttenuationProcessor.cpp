#include "processors/channel/ChannelAttenuationProcessor.h"
#include "processors/RowLanes.h"

ChannelAttenuationProcessor::ChannelAttenuationProcessor(int sampleRate)
    : ImpairmentProcessor("ChAttenuation", AttenuationImpairment())
{
    Q_UNUSED(sampleRate);
}

SchemaPointer ChannelAttenuationProcessor::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = {
            ParameterDescriptor::byte("GainDb", "Attenuation dB", 0, 254, 255, 0),
        };
        return schema;
    });
}

void ChannelAttenuationProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    Q_UNUSED(rowSerial);
    const RowLanes lanes(values, count);
    if (const auto v = lanes.below(GainDb, RowLanes::kEmptyByte))
        m_stage.applyGainDb(*v);
}
