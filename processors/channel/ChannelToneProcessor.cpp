#include "processors/channel/ChannelToneProcessor.h"
#include "processors/RowLanes.h"

ChannelToneProcessor::ChannelToneProcessor(int sampleRate)
    : ImpairmentProcessor("ChTone", ToneImpairment(kChannelRate))
{
    // Built for the engine rate whatever rate the factory passes.
    Q_UNUSED(sampleRate);
}

SchemaPointer ChannelToneProcessor::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = {
            ParameterDescriptor::word("Freq", "Tone Hz", 0xFFFE, 0),
            ParameterDescriptor::byte("Ampl", "Tone amplitude", 0, 254, 255, 0),
        };
        return schema;
    });
}

void ChannelToneProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    Q_UNUSED(rowSerial);
    const RowLanes lanes(values, count);
    if (const auto v = lanes.word(Freq))
        m_stage.applyFrequency(*v);
    if (const auto v = lanes.below(Ampl, RowLanes::kEmptyByte))
        m_stage.applyAmplitude(*v);
}
