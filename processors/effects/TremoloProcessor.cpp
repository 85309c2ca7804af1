#include "processors/effects/TremoloProcessor.h"
#include "core/EngineRate.h"
#include "processors/RowLanes.h"
#include "processors/effects/LaneScale.h"

namespace {

constexpr double kMinRateHz = 0.1;
constexpr double kMaxRateHz = 20.0;

} // namespace

TremoloProcessor::TremoloProcessor(int sampleRate)
    : Processor(ProcessorCharacter("Tremolo", true, true, true, true, false, false))
{
    // A zero rate would make the oscillator's step infinite.
    m_unit.sampleRate = sampleRate > 0 ? sampleRate : kEngineRate;
}

SchemaPointer TremoloProcessor::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = {
            ParameterDescriptor::byte("Rate", "LFO speed (0.1-20 Hz)", 0, 254, 255, 51),
            ParameterDescriptor::byte("Depth", "Modulation depth (0-100%)", 0, 254, 255, 128),
        };
        return schema;
    });
}

void TremoloProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    if (!acceptRow(rowSerial))
        return;
    const RowLanes lanes(values, count);
    if (const auto v = lanes.below(Rate, RowLanes::kEmptyByte))
        m_unit.rate = laneScale::byte(*v) * (kMaxRateHz - kMinRateHz) + kMinRateHz;
    if (const auto v = lanes.below(Depth, RowLanes::kEmptyByte))
        m_unit.depth = laneScale::byte(*v);
}

void TremoloProcessor::process(AudioContext& context)
{
    if (!context.data)
        return;
    const quint64 samples = context.frames * context.channels;
    m_unit.apply(context.data, samples);
}
