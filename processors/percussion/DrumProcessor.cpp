#include "processors/percussion/DrumProcessor.h"

#include "processors/RowLanes.h"
#include "processors/units/FlushDenormals.h"

namespace {

constexpr double kByteFull = 254.0;
constexpr double kMinAttack = 0.0001;

} // namespace

DrumProcessor::DrumProcessor(int sampleRate)
    : Processor(ProcessorCharacter("Drum", false, true, true, true, false, false))
    , m_voice(sampleRate)
{
}

SchemaPointer DrumProcessor::schema() const
{
    return schemaOnce([] {
        auto layout = QSharedPointer<NodeParameterSchema>::create();
        layout->nodeParameters = {
            ParameterDescriptor::midiNote("Note", "Trigger drum hit", 255),
            ParameterDescriptor::byte("Volume", "Amplitude of signal", 0, 255, 255, 128),
            ParameterDescriptor::byte("Attack", "Attack time", 0, 254, 255, 46),
            ParameterDescriptor::byte("Decay", "Decay time", 0, 254, 255, 92),
            ParameterDescriptor::byte("Pitch", "Pitch sweep (low to high)", 0, 254, 255, 128),
        };
        return layout;
    });
}

void DrumProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    if (!acceptRow(rowSerial))
        return;
    // A hit is started by the row that is current when the block begins, not by an
    // earlier one that never reached a block.
    m_triggerPending = false;
    const RowLanes lanes(values, count);
    if (lanes.below(Note, RowLanes::kNoteOff))
        m_triggerPending = true;
    if (const auto v = lanes.below(Attack, RowLanes::kEmptyByte)) {
        m_voice.attack = std::max(kMinAttack, *v / kByteFull * 490.0 + 10.0);
        m_voice.total = m_voice.attack + m_voice.decay;
    }
    if (const auto v = lanes.below(Decay, RowLanes::kEmptyByte)) {
        m_voice.decay = *v / kByteFull * 7800.0 + 200.0;
        m_voice.total = m_voice.attack + m_voice.decay;
    }
    if (const auto v = lanes.below(Pitch, RowLanes::kEmptyByte)) {
        const double p = *v / kByteFull;
        m_voice.startIncrement = p * 1.2 + 0.1;
        m_voice.endIncrement = p * 0.08 + 0.02;
    }
}

void DrumProcessor::process(AudioContext& context)
{
    if (m_triggerPending) {
        m_voice.restart();
        m_triggerPending = false;
    }
    if (!context.data)
        return;
    // After a hit the envelope falls into subnormals, where each sample costs many more.
    const FlushDenormals flush;
    m_voice.render(context.data, qsizetype(context.frames));
}
