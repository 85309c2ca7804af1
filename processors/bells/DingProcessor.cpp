#include "processors/bells/DingProcessor.h"

#include "core/EngineRate.h"
#include "processors/RowLanes.h"

#include <algorithm>
#include <cmath>

namespace {

// Equal temperament around A4 = 440 Hz, in single precision as the voice was tuned.
double noteFrequency(quint32 note)
{
    return 440.0f * std::pow(2.0f, (float(note) - 69.0f) / 12.0f);
}

} // namespace

DingProcessor::DingProcessor(int sampleRate)
    : Processor(ProcessorCharacter("Ding", false, true, true, true, false, false))
    // A zero rate would make the phase step infinite.
    , m_voice(sampleRate > 0 ? sampleRate : kEngineRate)
{
}

SchemaPointer DingProcessor::schema() const
{
    return schemaOnce([] {
        auto layout = QSharedPointer<NodeParameterSchema>::create();
        layout->nodeParameters = {
            ParameterDescriptor::midiNote("Note", "Trigger ding sound", 255),
            ParameterDescriptor::byte("Volume", "Amplitude of signal", 0, 254, 255, 204),
            ParameterDescriptor::byte("Decay", "Ring decay time", 0, 254, 255, 224),
        };
        return layout;
    });
}

void DingProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    if (!acceptRow(rowSerial))
        return;
    m_triggerPending = false;
    const RowLanes lanes(values, count);
    if (const auto note = lanes.below(Note, RowLanes::kNoteOff)) {
        m_pendingFrequency = noteFrequency(*note);
        m_triggerPending = true;
    }
    // Level and decay act on a ringing note without restarting it.
    if (const auto v = lanes.below(Volume, RowLanes::kEmptyByte)) {
        m_voice.amplitude = *v / 255.0;
        m_voice.retune();
    }
    if (const auto v = lanes.below(Decay, RowLanes::kEmptyByte)) {
        m_voice.decay = *v / 254.0 * 0.00099 + 0.999;
        m_voice.retune();
    }
}

void DingProcessor::process(AudioContext& context)
{
    if (m_triggerPending) {
        m_voice.start(m_pendingFrequency);
        m_triggerPending = false;
    }
    if (!context.data)
        return;
    // A silent voice gives zeros without copying itself.
    if (!m_voice.active) {
        std::fill_n(context.data, context.frames, 0.0);
        return;
    }
    // A local copy keeps the voice's state in registers: the compiler cannot rule out
    // that the block overlaps the member, and would store and reload it every sample.
    DingUnit<double> voice = m_voice;
    for (quint64 i = 0; i < context.frames; ++i)
        context.data[i] = voice.tick();
    m_voice = voice;
}
