#include "processors/effects/AmpProcessor.h"
#include "processors/RowLanes.h"
#include "processors/effects/LaneScale.h"

#include <cmath>

namespace {

constexpr double kMaxBoostDb = 48.0;

} // namespace

AmpProcessor::AmpProcessor(int sampleRate)
    : Processor(ProcessorCharacter("Amp", true, true, true, true, false, false))
{
    Q_UNUSED(sampleRate);
}

SchemaPointer AmpProcessor::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = {
            ParameterDescriptor::word("Percentage", "Volume percentage (0-100%)", 0xFFFE, 65534),
            ParameterDescriptor::word("Decibel", "Gain boost (0 to +48 dB)", 0xFFFE, 0),
        };
        return schema;
    });
}

void AmpProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    if (!acceptRow(rowSerial))
        return;
    const RowLanes lanes(values, count);
    const auto percentage = lanes.word(Percentage);
    const auto decibel = lanes.word(Decibel);
    if (percentage)
        m_fraction = laneScale::word(*percentage);
    if (decibel)
        m_boostDb = laneScale::word(*decibel) * kMaxBoostDb;
    if (percentage || decibel)
        m_targetGain = m_fraction * std::pow(10.0, m_boostDb / 20.0);
}

void AmpProcessor::process(AudioContext& context)
{
    if (!context.data)
        return;
    const quint64 samples = context.frames * context.channels;
    // Local copies stay in registers; the members could be the block's aliases.
    LevelRamp gain = m_gain;
    const double target = m_targetGain;
    quint64 i = 0;
    // The ramp moves the gain only until it reaches the target, then holds it: the rest
    // of the block is one multiplication the compiler spreads over vector registers.
    for (; i < samples && gain.level != target; ++i)
        context.data[i] *= gain.next(target);
    const double held = gain.level;
    for (; i < samples; ++i)
        context.data[i] *= held;
    m_gain = gain;
}

void AmpProcessor::reset()
{
    m_gain.level = m_targetGain;
}
