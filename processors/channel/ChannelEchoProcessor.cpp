#include "processors/channel/ChannelEchoProcessor.h"
#include "processors/RowLanes.h"

ChannelEchoProcessor::ChannelEchoProcessor(int sampleRate)
    : ImpairmentProcessor("ChEcho", EchoImpairment())
{
    Q_UNUSED(sampleRate);
}

SchemaPointer ChannelEchoProcessor::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = {
            ParameterDescriptor::word("Delay", "Echo delay samples", 0xFFFE, 0),
            ParameterDescriptor::byte("Gain", "Echo gain", 0, 254, 255, 51),
        };
        return schema;
    });
}

void ChannelEchoProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    Q_UNUSED(rowSerial);
    const RowLanes lanes(values, count);
    if (const auto v = lanes.word(Delay))
        m_stage.applyDelay(*v);
    if (const auto v = lanes.below(Gain, RowLanes::kEmptyByte))
        m_stage.applyGain(*v);
}

void ChannelEchoProcessor::reset()
{
    m_stage.clear();
}
