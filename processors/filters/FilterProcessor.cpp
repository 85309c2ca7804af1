#include "processors/filters/FilterProcessor.h"
#include "core/EngineRate.h"
#include "processors/RowLanes.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMinCutoffHz = 20.0;
constexpr double kCutoffDecades = 3.0; // 20 Hz to 20 kHz
constexpr double kWordTop = 65534.0;
constexpr double kMinQ = 0.1;
constexpr double kQSpan = 19.9;
constexpr double kByteTop = 254.0;

Biquad<double> makeFilter(qint32 type, double cutoffHz, double q, double gainDb)
{
    return Biquad<double>(kEngineRate, type, cutoffHz / kEngineRate, q, gainDb);
}

} // namespace

FilterProcessor::FilterProcessor(int sampleRate)
    : Processor(ProcessorCharacter("Filter", true, true, true, true, false, false))
    , m_filter(makeFilter(m_filterType, m_cutoffHz, m_resonance, m_gainDb))
{
    Q_UNUSED(sampleRate);
}

SchemaPointer FilterProcessor::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = {
            ParameterDescriptor::byte(
                "Type", "Filter type (0=LP 1=HP 2=BP 3=Notch 4=Peak 5=LS 6=HS)", 0, 6, 255, 0),
            ParameterDescriptor::word(
                "Frequency", "Filter cutoff frequency (20-20000 Hz)", 0xFFFE, 32767),
            ParameterDescriptor::byte("Resonance", "Filter resonance / Q factor", 0, 254, 255, 9),
        };
        return schema;
    });
}

void FilterProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    if (!acceptRow(rowSerial))
        return;
    const RowLanes lanes(values, count);
    bool changed = false;
    if (const auto v = lanes.below(Type, RowLanes::kEmptyByte)) {
        // Values past the last type select the last one.
        const auto type = qint32(std::min<quint32>(*v, Biquad<double>::HighShelf));
        changed = type != m_filterType;
        m_filterType = type;
    }
    if (const auto v = lanes.word(Frequency)) {
        m_cutoffHz = kMinCutoffHz * std::pow(10.0, kCutoffDecades * *v / kWordTop);
        changed = true;
    }
    // Any resonance entry recomputes, even an unchanged one.
    if (const auto v = lanes.below(Resonance, RowLanes::kEmptyByte)) {
        m_resonance = *v / kByteTop * kQSpan + kMinQ;
        changed = true;
    }
    if (changed)
        updateFilter();
}

void FilterProcessor::process(AudioContext& context)
{
    if (!context.data)
        return;
    const quint64 samples = context.frames * context.channels;
    // A local copy keeps the state in registers: the compiler cannot rule out that the
    // block overlaps the member, and would store and reload it every sample.
    Biquad<double> filter = m_filter;
    for (quint64 i = 0; i < samples; ++i)
        context.data[i] = filter.process(context.data[i]);
    m_filter.s1 = filter.s1;
    m_filter.s2 = filter.s2;
}

void FilterProcessor::reset()
{
    m_filter.clearState();
}

int FilterProcessor::setActive(int flag)
{
    Processor::setActive(flag);
    // Switched off: a fresh filter at the engine rate, so a later start has no stale
    // state or coefficients from another rate.
    if (!(flag & 1)) {
        m_filter = makeFilter(m_filterType, m_cutoffHz, m_resonance, m_gainDb);
        m_filter.computeCoefficients();
    }
    return m_active;
}

void FilterProcessor::updateFilter()
{
    // The state carries on, so a sweep does not click.
    m_filter.type = m_filterType;
    m_filter.frequency = m_cutoffHz / m_filter.sampleRate;
    m_filter.q = m_resonance;
    m_filter.gainDb = m_gainDb;
    m_filter.computeCoefficients();
}
