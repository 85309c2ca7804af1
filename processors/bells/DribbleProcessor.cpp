#include "processors/bells/DribbleProcessor.h"

#include "core/EngineRate.h"
#include "processors/RowLanes.h"

namespace {

constexpr double kByteFull = 254.0;
constexpr double kTopFrequency = 20000.0;

} // namespace

DribbleProcessor::DribbleProcessor(int sampleRate)
    : Processor(ProcessorCharacter("Dribble", false, true, true, true, false, false))
    // A zero rate would make the phase step infinite.
    , m_unit(sampleRate > 0 ? sampleRate : kEngineRate)
{
}

SchemaPointer DribbleProcessor::schema() const
{
    return schemaOnce([] {
        auto layout = QSharedPointer<NodeParameterSchema>::create();
        layout->nodeParameters = {
            ParameterDescriptor::byte("MinFreq", "Minimum frequency", 0, 254, 255, 20),
            ParameterDescriptor::byte("MaxFreq", "Maximum frequency", 0, 254, 255, 160),
            ParameterDescriptor::byte("Speed", "Modulation speed", 0, 254, 255, 64),
        };
        return layout;
    });
}

void DribbleProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    if (!acceptRow(rowSerial))
        return;
    const RowLanes lanes(values, count);
    // The upper limit is read relative to the lower one, so it only moves with it.
    if (const auto v = lanes.below(MinFreq, RowLanes::kEmptyByte)) {
        const double lo = *v / kByteFull * 4980.0 + 20.0;
        const auto top = lanes.below(MaxFreq, RowLanes::kEmptyByte);
        m_unit.minFrequency = lo;
        m_unit.maxFrequency = top ? *top / kByteFull * (kTopFrequency - lo) + lo : lo + 500.0;
    }
    if (const auto v = lanes.below(Speed, RowLanes::kEmptyByte)) {
        const double s = *v / kByteFull;
        const double hold = ((1.0 - s) * 0.18 + 0.02) * m_unit.sampleRate;
        m_unit.pitchHold = qint32(hold);
        m_unit.ampHold = qint32(1.6 * hold);
        m_unit.pitchSmoothing = s * 0.005 + 0.0005;
        m_unit.ampSmoothing = 2.0 * m_unit.pitchSmoothing;
    }
}

void DribbleProcessor::process(AudioContext& context)
{
    if (!context.data)
        return;
    m_unit.render(context.data, qsizetype(context.frames));
}
