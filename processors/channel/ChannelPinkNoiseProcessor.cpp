#include "processors/channel/ChannelPinkNoiseProcessor.h"
#include "processors/RowLanes.h"

ChannelPinkNoiseProcessor::ChannelPinkNoiseProcessor(int sampleRate)
    : ImpairmentProcessor("ChPinkNoise", PinkNoiseImpairment(kSeed))
{
    Q_UNUSED(sampleRate);
}

SchemaPointer ChannelPinkNoiseProcessor::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = {
            ParameterDescriptor::byte("SNR", "Pink noise SNR dB", 0, 254, 255, 0),
        };
        return schema;
    });
}

void ChannelPinkNoiseProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    Q_UNUSED(rowSerial);
    const RowLanes lanes(values, count);
    if (const auto v = lanes.below(Snr, RowLanes::kEmptyByte))
        m_stage.applySnr(*v);
}
