#include "processors/channel/ChannelNoiseProcessor.h"
#include "processors/RowLanes.h"

ChannelNoiseProcessor::ChannelNoiseProcessor(int sampleRate)
    : ImpairmentProcessor("ChNoise", WhiteNoiseImpairment())
{
    Q_UNUSED(sampleRate);
}

SchemaPointer ChannelNoiseProcessor::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = {
            ParameterDescriptor::byte("SNR", "Noise SNR dB (0=off)", 0, 254, 255, 0),
        };
        return schema;
    });
}

void ChannelNoiseProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    Q_UNUSED(rowSerial);
    const RowLanes lanes(values, count);
    if (const auto v = lanes.below(Snr, RowLanes::kEmptyByte))
        m_stage.applySnr(*v);
}
