#include "processors/effects/AverageProcessor.h"
#include "core/DataStream.h"

#include <algorithm>

AverageProcessor::AverageProcessor(int sampleRate)
    : Processor(ProcessorCharacter("Delay", true, true, true, true, false, false))
{
    Q_UNUSED(sampleRate);
}

SchemaPointer AverageProcessor::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = {
            ParameterDescriptor::word("Dry Gain", "Gain of dry signal", 0xFFFF, 32767),
            ParameterDescriptor::word("Wet Gain", "Gain of wet signal", 0xFFFF, 32767),
            ParameterDescriptor::word("Size", "Number of samples", 0xFFFF, 32767),
        };
        return schema;
    });
}

void AverageProcessor::process(AudioContext& context)
{
    if (m_size < 1 || !context.data)
        return;
    const quint64 samples = context.frames * context.channels;
    for (quint64 i = 0; i < samples; ++i) {
        const double x = context.data[i];
        m_sum += x - m_line.delayed(quint64(m_size));
        m_line.push(x);
        context.data[i] = m_sum / m_size;
    }
}

void AverageProcessor::saveState(QDataStream& stream)
{
    stream << m_dryGain << m_wetGain << m_size;
}

void AverageProcessor::loadState(QDataStream& stream)
{
    double dry = 0.0;
    double wet = 0.0;
    qint32 size = 0;
    stream >> dry >> wet >> size;
    if (!datastream::healthy(stream))
        return;
    m_dryGain = dry;
    m_wetGain = wet;
    m_size = std::clamp(size, 0, kMaxSize);
    m_line.resize(quint32(m_size));
    reset();
}

// The line is cleared too: a sum of zero only matches a silent line.
void AverageProcessor::reset()
{
    m_line.clear();
    m_sum = 0.0;
}
