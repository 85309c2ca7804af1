#include "processors/reverb/ReverbProcessor.h"
#include "core/EngineRate.h"
#include "processors/RowLanes.h"
#include "processors/units/Sanitize.h"

#include <algorithm>
#include <cmath>

namespace {

using audio::effects::PropertyRange;
using audio::effects::ReverbProperties;
using audio::effects::ReverbProperty;
using Range = PropertyRange<double>;

constexpr double kByteTop = 254.0;

constexpr Range rangeOf(ReverbProperty property)
{
    return audio::effects::kPropertyRanges<double>[int(property)];
}

// A lane's name, help text, scale and default; property lanes scale over the
// property's own range, the blend lane has no property.
struct LaneSpec {
    const char* name;
    const char* description;
    Range range;
    double defaultValue;
};

constexpr std::array<LaneSpec, ReverbProcessor::LaneCount> kLanes = { {
    { "DryWet", "Dry/wet mix (0=dry, max=wet)", { nullptr, 0.0, 1.0 }, 0.3 },
    { "Density", "Late reverb density", rangeOf(ReverbProperty::Density), 1.0 },
    { "Diffusion", "Echo diffusion/scattering", rangeOf(ReverbProperty::Diffusion), 1.0 },
    { "Gain", "Master reverb gain", rangeOf(ReverbProperty::Gain), 0.32 },
    { "GainHF", "High-frequency gain", rangeOf(ReverbProperty::GainHF), 0.89 },
    { "GainLF", "Low-frequency gain", rangeOf(ReverbProperty::GainLF), 1.0 },
    { "DecayTime", "Reverb tail length (0.1-20s)", rangeOf(ReverbProperty::DecayTime), 1.49 },
    { "DecayHF", "HF decay ratio relative to base", rangeOf(ReverbProperty::DecayHFRatio), 0.83 },
    { "DecayLF", "LF decay ratio relative to base", rangeOf(ReverbProperty::DecayLFRatio), 1.0 },
    { "ReflGain", "Early reflections level", rangeOf(ReverbProperty::ReflectionsGain), 0.05 },
    { "ReflDelay", "Early reflections pre-delay (s)", rangeOf(ReverbProperty::ReflectionsDelay),
        0.007 },
    { "LateGain", "Late reverb level", rangeOf(ReverbProperty::LateReverbGain), 1.26 },
    { "LateDelay", "Late reverb pre-delay (s)", rangeOf(ReverbProperty::LateReverbDelay), 0.011 },
    { "EchoTime", "Echo repeat interval (s)", rangeOf(ReverbProperty::EchoTime), 0.25 },
    { "EchoDepth", "Echo prominence", rangeOf(ReverbProperty::EchoDepth), 0.0 },
    { "ModTime", "Chorus/vibrato rate (s)", rangeOf(ReverbProperty::ModulationTime), 0.25 },
    { "ModDepth", "Chorus depth", rangeOf(ReverbProperty::ModulationDepth), 0.0 },
    { "AirAbsHF", "Distance HF rolloff", rangeOf(ReverbProperty::AirAbsorptionGainHF), 0.994 },
    { "HFRef", "HF crossover frequency (Hz)", rangeOf(ReverbProperty::HFReference), 5000.0 },
    { "LFRef", "LF crossover frequency (Hz)", rangeOf(ReverbProperty::LFReference), 250.0 },
} };

double scaled(const LaneSpec& lane, quint32 value)
{
    return lane.range.minimum + value / kByteTop * (lane.range.maximum - lane.range.minimum);
}

quint8 defaultLane(const LaneSpec& lane)
{
    const double span = lane.range.maximum - lane.range.minimum;
    return quint8((lane.defaultValue - lane.range.minimum) / span * kByteTop + 0.5);
}

} // namespace

ReverbProcessor::ReverbProcessor(int sampleRate)
    : Processor(ProcessorCharacter("FancyReverb", true, true, true, true, false, false))
    , m_dry(std::size_t(m_reverb.maxFrames()), 0.0)
{
    // The network always runs at the engine rate; its lines are allocated here so that
    // neither switching on nor the first block allocates.
    Q_UNUSED(sampleRate);
    for (int lane = 0; lane < LaneCount; ++lane)
        m_settings[lane] = kLanes[lane].defaultValue;
    m_reverb.setup(1, kEngineRate);
}

SchemaPointer ReverbProcessor::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        for (const LaneSpec& lane : kLanes)
            schema->nodeParameters.append(ParameterDescriptor::byte(
                lane.name, lane.description, 0, quint8(kByteTop), 0xFF, defaultLane(lane)));
        return schema;
    });
}

void ReverbProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    if (!acceptRow(rowSerial))
        return;
    const RowLanes lanes(values, count);
    bool changed = false;
    for (int lane = 0; lane < LaneCount; ++lane) {
        const auto v = lanes.below(lane, RowLanes::kEmptyByte);
        if (!v)
            continue;
        const double value = scaled(kLanes[lane], *v);
        // The blend is applied per block and needs no new coefficients.
        changed |= lane != DryWet && value != m_settings[lane];
        m_settings[lane] = value;
    }
    if (changed && m_prepared)
        updateReverb();
}

int ReverbProcessor::setActive(int flag)
{
    Processor::setActive(flag);
    if (flag & 1)
        prepare();
    return m_active;
}

void ReverbProcessor::reset()
{
    if (m_prepared)
        m_reverb.reset();
}

void ReverbProcessor::process(AudioContext& context)
{
    if (!context.data)
        return;
    prepare();
    // The network renders at most maxFrames() at a time; longer blocks go in chunks,
    // which leaves every sample as it would be in shorter blocks.
    const quint64 samples = context.frames * context.channels;
    const auto chunk = quint64(m_reverb.maxFrames());
    for (quint64 start = 0; start < samples; start += chunk)
        processChunk(context.data + start, int(std::min(chunk, samples - start)));
}

void ReverbProcessor::prepare()
{
    if (m_prepared)
        return;
    m_prepared = true;
    updateReverb();
}

void ReverbProcessor::updateReverb()
{
    auto& properties = m_reverb.properties;
    for (int lane = 0; lane < LaneCount; ++lane) {
        if (const auto member = kLanes[lane].range.member)
            properties.*member = m_settings[lane];
    }
    m_reverb.update();
}

void ReverbProcessor::processChunk(double* samples, int frames)
{
    double* dry = m_dry.data();
    for (int n = 0; n < frames; ++n)
        dry[n] = sanitizeSample(samples[n]);
    m_reverb.process({ dry }, { samples }, frames);
    const double wet = m_settings[DryWet];
    for (int n = 0; n < frames; ++n)
        samples[n] = dry[n] * (1.0 - wet) + sanitizeSample(samples[n]) * wet;
}
