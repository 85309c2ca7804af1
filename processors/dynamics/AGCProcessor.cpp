#include "processors/dynamics/AGCProcessor.h"
#include "core/EngineRate.h"
#include "processors/RowLanes.h"
#include "processors/units/Sanitize.h"

#include <cmath>

namespace {

constexpr double kByteFull = 255.0;
constexpr quint32 kModeCount = 5;
constexpr double kMaxGainCeiling = 500.0;
constexpr double kMinAttackMs = 0.1;
constexpr double kAttackSpan = 500.0; // 0.1 to 50 ms
constexpr double kMinReleaseMs = 10.0;
constexpr double kReleaseSpan = 200.0; // 10 to 2000 ms

AgcUnit<double>::Config factoryConfig(int sampleRate)
{
    AgcUnit<double>::Config config;
    config.sampleRate = sampleRate > 0 ? sampleRate : kEngineRate;
    return config;
}

// Logarithmic lane: `low` at 0, `low` × `span` at 255.
double logScaled(quint32 v, double low, double span)
{
    return low * std::pow(span, v / kByteFull);
}

} // namespace

AGCProcessor::AGCProcessor(int sampleRate)
    : Processor(ProcessorCharacter("AGC", true, true, true, true, false, false))
    , m_unit(factoryConfig(sampleRate))
{
}

SchemaPointer AGCProcessor::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = {
            ParameterDescriptor::byte("Mode",
                "0=Off 1=Normal 2=FreezeOnSignal 3=BlockRms 4=PrimerLocked", 0, 255, 128, 128),
            ParameterDescriptor::byte(
                "Target", "Target peak amplitude (0.0–1.0)", 0, 255, 128, 204),
            ParameterDescriptor::byte(
                "Max Gain", "Ceiling on AGC amplification (log mapped, 1–500)", 0, 255, 128, 160),
            ParameterDescriptor::byte(
                "Attack", "Attack time (log mapped, 0.1–50 ms)", 0, 255, 128, 64),
            ParameterDescriptor::byte(
                "Release", "Release time (log mapped, 10–2000 ms)", 0, 255, 128, 150),
        };
        return schema;
    });
}

void AGCProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    if (!acceptRow(rowSerial))
        return;
    // 128 is the middle of every lane and means "no change"; the state carries on.
    const RowLanes lanes(values, count);
    auto& config = m_unit.config;
    if (const auto v = lanes.byteExcept(Mode, RowLanes::kEmptyMiddle))
        config.mode = *v * kModeCount / 256;
    if (const auto v = lanes.byteExcept(Target, RowLanes::kEmptyMiddle))
        config.target = *v / kByteFull;
    if (const auto v = lanes.byteExcept(MaxGain, RowLanes::kEmptyMiddle))
        config.maxGain = logScaled(*v, 1.0, kMaxGainCeiling);
    if (const auto v = lanes.byteExcept(Attack, RowLanes::kEmptyMiddle)) {
        config.attackMs = logScaled(*v, kMinAttackMs, kAttackSpan);
        m_unit.attackCoeff = m_unit.coefficientFor(config.attackMs);
    }
    if (const auto v = lanes.byteExcept(Release, RowLanes::kEmptyMiddle)) {
        config.releaseMs = logScaled(*v, kMinReleaseMs, kReleaseSpan);
        m_unit.releaseCoeff = m_unit.coefficientFor(config.releaseMs);
    }
}

void AGCProcessor::process(AudioContext& context)
{
    if (!context.data)
        return;
    const quint64 samples = context.frames * context.channels;
    for (quint64 i = 0; i < samples; ++i)
        context.data[i] = m_unit.process(finiteOrSilence(context.data[i]));
}

void AGCProcessor::reset()
{
    m_unit.reset();
}
