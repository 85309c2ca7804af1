#include "processors/effects/DelayProcessor.h"
#include "core/EngineRate.h"
#include "processors/RowLanes.h"
#include "processors/effects/LaneScale.h"

#include <algorithm>

namespace {

// Below 1, so the echoes of a full-feedback setting still die away.
constexpr double kMaxFeedback = 0.99;
constexpr double kMinMilliseconds = 1.0;
constexpr double kMaxMilliseconds = 2000.0;

quint32 lengthForTime(quint32 value, int sampleRate)
{
    const double ms
        = laneScale::word(value) * (kMaxMilliseconds - kMinMilliseconds) + kMinMilliseconds;
    return std::max<quint32>(1, quint32(ms * sampleRate / 1000.0));
}

} // namespace

DelayProcessor::DelayProcessor(int sampleRate)
    : Processor(ProcessorCharacter("Delay", true, true, true, true, false, false))
    , m_sampleRate(sampleRate > 0 ? sampleRate : kEngineRate)
    , m_delay(m_sampleRate)
{
}

SchemaPointer DelayProcessor::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = {
            ParameterDescriptor::word("Dry", "Dry signal level", 0xFFFE, 65534),
            ParameterDescriptor::word("Wet", "Wet (delayed) signal level", 0xFFFE, 32767),
            ParameterDescriptor::word("Feedback", "Feedback amount", 0xFFFE, 6554),
            ParameterDescriptor::word("Time", "Delay time in milliseconds (1-2000)", 0xFFFE, 13107),
        };
        return schema;
    });
}

void DelayProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    if (!acceptRow(rowSerial))
        return;
    const RowLanes lanes(values, count);
    if (const auto v = lanes.word(Dry))
        m_delay.dry = laneScale::word(*v);
    if (const auto v = lanes.word(Wet))
        m_delay.wet = laneScale::word(*v);
    if (const auto v = lanes.word(Feedback))
        m_delay.setFeedback(laneScale::word(*v) * kMaxFeedback);
    if (const auto v = lanes.word(Time))
        m_delay.setLength(lengthForTime(*v, m_sampleRate));
}

void DelayProcessor::process(AudioContext& context)
{
    if (!context.data)
        return;
    const quint64 samples = context.frames * context.channels;
    for (quint64 i = 0; i < samples; ++i)
        context.data[i] = m_delay.step(context.data[i]);
}

void DelayProcessor::reset()
{
    m_delay.restart();
}
