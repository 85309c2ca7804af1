#include "processors/channel/ChannelFreqAttenProcessor.h"
#include "processors/RowLanes.h"

ChannelFreqAttenProcessor::ChannelFreqAttenProcessor(int sampleRate)
    : ImpairmentProcessor("ChFreqAtten", FreqAttenImpairment(kChannelRate))
{
    // Built for the engine rate whatever rate the factory passes.
    Q_UNUSED(sampleRate);
}

SchemaPointer ChannelFreqAttenProcessor::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = {
            ParameterDescriptor::word("LowCut", "Low freq rolloff Hz", 0xFFFE, 0),
            ParameterDescriptor::word("HighCut", "High freq rolloff Hz", 0xFFFE, 0),
        };
        return schema;
    });
}

void ChannelFreqAttenProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    Q_UNUSED(rowSerial);
    const RowLanes lanes(values, count);
    if (const auto v = lanes.word(LowCut))
        m_stage.applyLowCut(*v);
    if (const auto v = lanes.word(HighCut))
        m_stage.applyHighCut(*v);
}
