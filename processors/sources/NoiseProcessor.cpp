#include "processors/sources/NoiseProcessor.h"

#include "processors/RowLanes.h"

namespace {

// Scales a signed 32-bit integer to [-1, 1).
constexpr double kFullScale = 2147483648.0;

} // namespace

NoiseProcessor::NoiseProcessor(int sampleRate)
    : Processor(ProcessorCharacter("Noise", false, true, true, true, false, false))
{
    Q_UNUSED(sampleRate);
}

SchemaPointer NoiseProcessor::schema() const
{
    return schemaOnce([] {
        auto layout = QSharedPointer<NodeParameterSchema>::create();
        layout->nodeParameters = {
            ParameterDescriptor::midiNote("Note", "Trigger (any note=on, off=off)", 253),
            ParameterDescriptor::byte("Volume", "Output volume", 0, 254, 255, 128),
        };
        return layout;
    });
}

void NoiseProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    if (!acceptRow(rowSerial))
        return;
    const RowLanes lanes(values, count);
    if (const auto note = lanes.except(Note, RowLanes::kEmptyNote))
        m_gate = *note != RowLanes::kNoteOff;
    if (const auto volume = lanes.below(Volume, RowLanes::kEmptyByte))
        m_volume = *volume / 254.0;
}

quint32 NoiseProcessor::nextNoise()
{
    m_noiseState ^= m_noiseState << 13;
    m_noiseState ^= m_noiseState >> 17;
    m_noiseState ^= m_noiseState << 5;
    return m_noiseState;
}

void NoiseProcessor::process(AudioContext& context)
{
    const double target = m_gate ? m_volume : 0.0;
    double* out = context.data;
    for (quint64 i = 0; i < context.frames; ++i) {
        const double level = m_level.next(target);
        out[i] = level * qint32(nextNoise()) / kFullScale;
    }
}
