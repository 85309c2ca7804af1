#include "processors/effects/RecursionProcessor.h"
#include "core/DataStream.h"

RecursionProcessor::RecursionProcessor(int sampleRate)
    : Processor(ProcessorCharacter("Recursion", true, true, true, true, false, false))
{
    Q_UNUSED(sampleRate);
}

SchemaPointer RecursionProcessor::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = {
            ParameterDescriptor::word("Dry Gain", "Gain of dry signal", 0xFFFF, 32767),
            ParameterDescriptor::word("Wet Gain", "Gain of wet signal", 0xFFFF, 32767),
        };
        return schema;
    });
}

// The engine has already mixed the inputs into the block; that mix is the output.
void RecursionProcessor::process(AudioContext& context)
{
    Q_UNUSED(context);
}

void RecursionProcessor::saveState(QDataStream& stream)
{
    stream << m_dryGain << m_wetGain;
}

void RecursionProcessor::loadState(QDataStream& stream)
{
    float dry = 0.0f;
    float wet = 0.0f;
    stream >> dry >> wet;
    if (!datastream::healthy(stream))
        return;
    m_dryGain = dry;
    m_wetGain = wet;
}
