#include "processors/channel/ChannelStripProcessor.h"
#include "processors/RowLanes.h"

namespace {

using Stages = ChannelStripProcessor::Stages;

// One lane of the strip: its descriptor and the stage mapping it drives.
struct StripLane {
    ChannelStripProcessor::Lane lane;
    ValueType kind;
    const char* name;
    const char* description;
    quint16 defaultValue;
    void (*apply)(Stages& stages, quint32 value);
};

constexpr StripLane kLanes[] = {
    { ChannelStripProcessor::NoiseSnr, ValueType::Byte, "Noise SNR",
        "White noise level (0=off, dB)", 0,
        [](Stages& s, quint32 v) { s.whiteNoise.applySnr(v); } },
    { ChannelStripProcessor::EchoDelay, ValueType::Word, "Echo Delay", "Echo delay (samples)", 0,
        [](Stages& s, quint32 v) { s.echo.applyDelay(v); } },
    { ChannelStripProcessor::EchoGain, ValueType::Byte, "Echo Gain", "Echo reflection gain", 51,
        [](Stages& s, quint32 v) { s.echo.applyGain(v); } },
    { ChannelStripProcessor::Distortion, ValueType::Byte, "Distortion",
        "Speaker distortion (0=off)", 0, [](Stages& s, quint32 v) { s.distortion.applyDrive(v); } },
    { ChannelStripProcessor::Attenuation, ValueType::Byte, "Attenuation", "Volume loss dB (0=off)",
        0, [](Stages& s, quint32 v) { s.attenuation.applyGainDb(v); } },
    { ChannelStripProcessor::Clipping, ValueType::Byte, "Clipping", "Clip threshold (0=off)", 0,
        [](Stages& s, quint32 v) { s.clipping.applyThreshold(v); } },
    { ChannelStripProcessor::ToneFreq, ValueType::Word, "Tone Freq", "Interference tone Hz (0=off)",
        0, [](Stages& s, quint32 v) { s.tone.applyFrequency(v); } },
    { ChannelStripProcessor::ToneAmpl, ValueType::Byte, "Tone Ampl", "Tone amplitude", 0,
        [](Stages& s, quint32 v) { s.tone.applyAmplitude(v); } },
};
static_assert(std::size(kLanes) == ChannelStripProcessor::LaneCount);

ParameterPointer descriptorOf(const StripLane& lane)
{
    if (lane.kind == ValueType::Word)
        return ParameterDescriptor::word(lane.name, lane.description, 0xFFFE, lane.defaultValue);
    return ParameterDescriptor::byte(
        lane.name, lane.description, 0, 254, 255, quint8(lane.defaultValue));
}

std::optional<quint32> valueOf(const RowLanes& lanes, const StripLane& lane)
{
    return lane.kind == ValueType::Word ? lanes.word(lane.lane)
                                        : lanes.below(lane.lane, RowLanes::kEmptyByte);
}

} // namespace

ChannelStripProcessor::Stages::Stages(double sampleRate)
    : freqAtten(sampleRate)
    , pinkNoise(kPinkSeed)
    , tone(sampleRate)
    , agcPump(sampleRate)
{
}

ChannelStripProcessor::ChannelStripProcessor(int sampleRate)
    : Processor(ProcessorCharacter("ChannelStrip", true, true, true, true, false, false))
    , m_stages(sampleRate > 0 ? sampleRate : kChannelRate)
{
}

SchemaPointer ChannelStripProcessor::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        for (const StripLane& lane : kLanes)
            schema->nodeParameters.append(descriptorOf(lane));
        return schema;
    });
}

void ChannelStripProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    if (!acceptRow(rowSerial))
        return;
    const RowLanes lanes(values, count);
    for (const StripLane& lane : kLanes) {
        if (const auto v = valueOf(lanes, lane))
            lane.apply(m_stages, *v);
    }
}

void ChannelStripProcessor::process(AudioContext& context)
{
    if (!context.data)
        return;
    double* data = context.data;
    const quint64 samples = context.frames * context.channels;
    // Each stage has its own state and random source, so running the stages one after
    // another over the whole block gives the samples of running the chain per sample,
    // with each stage's loop free of the others.
    const auto run = [data, samples](auto& stage) {
        if (passesThrough(stage))
            return;
        for (quint64 i = 0; i < samples; ++i)
            data[i] = stage.process(data[i]);
    };
    Stages& s = m_stages;
    run(s.dcOffset);
    run(s.attenuation);
    run(s.freqAtten);
    run(s.distortion);
    run(s.echo);
    run(s.doppler);
    run(s.whiteNoise);
    run(s.pinkNoise);
    run(s.tone);
    run(s.clipping);
    run(s.agcPump);
    run(s.dropout);
}

void ChannelStripProcessor::reset()
{
    m_stages.echo.clear();
    m_stages.doppler.clear();
}
