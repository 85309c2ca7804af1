#include "processors/tb303/TB303Processor.h"
#include "core/EngineRate.h"
#include "processors/RowLanes.h"

#include <cstring>
#include <optional>

namespace {

constexpr double kByteScale = 255.0;
constexpr double kCutoffSpan = 15.5;
constexpr double kMinCutoff = 0.5;
constexpr double kResonanceSpan = 19.5;
constexpr double kMinResonance = 0.5;

using Voice = Tb303<double>; // for the constants, which both voices share

// The low byte of a switch or byte lane, which is all the voice keeps.
quint8 lowByte(quint32 value)
{
    return quint8(value & 0xFF);
}

// A byte lane's value as a number, unless its low byte is the empty mark. Only the low
// byte counts, so damaged rows stay inside the parameters' ranges.
std::optional<double> byteLane(const RowLanes& lanes, int lane)
{
    const auto v = lanes.raw(lane);
    if (!v || lowByte(*v) == RowLanes::kEmptyByte)
        return std::nullopt;
    return double(lowByte(*v));
}

} // namespace

template <bool kReference>
BasicTB303Processor<kReference>::BasicTB303Processor(int sampleRate)
    : Processor(ProcessorCharacter("TB-303", false, true, true, true, false, false))
    , m_voice(sampleRate > 0 ? sampleRate : kEngineRate)
{
}

template <bool kReference> SchemaPointer BasicTB303Processor<kReference>::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        // Accent and slide carry the flag, the waveform switch does not.
        schema->nodeParameters = {
            ParameterDescriptor::midiNote("Note", "Oscillator frequency", 255),
            ParameterDescriptor::byte("Volume", "Amplitude of signal", 0, 255, 255, 128),
            ParameterDescriptor::makeSwitch("Accent", "Emphasis on this note", 1),
            ParameterDescriptor::makeSwitch("Slide", "Slide this note", 1),
            ParameterDescriptor::makeSwitch("Waveform", "Saw or Pulse", 0),
            ParameterDescriptor::byte("Cutoff", "Filter cutoff frequency", 0, 255, 255, 96),
            ParameterDescriptor::byte("Resonance", "Filter resonance (Q)", 0, 255, 255, 46),
            ParameterDescriptor::byte("EnvMod", "Filter envelope modulation", 0, 255, 255, 255),
        };
        return schema;
    });
}

template <bool kReference>
void BasicTB303Processor<kReference>::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    if (!acceptRow(rowSerial))
        return;
    m_noteOnPending = 0;
    m_noteOffPending = 0;
    const RowLanes lanes(values, count);
    if (const auto v = lanes.except(Note, RowLanes::kEmptyNote)) {
        if (*v == RowLanes::kNoteOff) {
            m_noteOffPending = 1;
        } else {
            m_pendingNote = *v;
            m_noteOnPending = 1;
        }
    }
    if (const auto v = lanes.except(Accent, RowLanes::kEmptySwitch))
        m_accentPending = lowByte(*v);
    if (const auto v = lanes.except(Slide, RowLanes::kEmptySwitch)) {
        m_slidePending = lowByte(*v);
        // Also steers a glide already under way.
        m_voice.slideTime = m_slidePending ? Voice::kSlide : Voice::kNormalSlide;
    }
    if (const auto v = lanes.except(Waveform, RowLanes::kEmptySwitch))
        m_voice.waveform = lowByte(*v);
    if (const auto v = byteLane(lanes, Cutoff))
        m_voice.cutoff = *v / kByteScale * kCutoffSpan + kMinCutoff;
    if (const auto v = byteLane(lanes, Resonance))
        m_voice.resonance = *v / kByteScale * kResonanceSpan + kMinResonance;
    if (const auto v = byteLane(lanes, EnvMod))
        m_voice.envMod = *v / kByteScale;
}

template <bool kReference> void BasicTB303Processor<kReference>::process(AudioContext& context)
{
    if (!context.data || context.channels == 0)
        return;
    if (m_noteOffPending) {
        m_noteOffPending = 0;
        m_voice.noteOff();
    } else if (m_noteOnPending) {
        m_voice.noteOn(double(m_pendingNote), m_accentPending != 0, m_slidePending != 0);
        m_noteOnPending = 0;
        m_accentPending = 0;
        m_slidePending = 0;
    }
    const quint64 frames = context.frames;
    m_voice.render(context.data, qsizetype(frames));
    // A mono voice: any further planes get the same signal.
    for (quint64 c = 1; c < context.channels; ++c)
        std::memcpy(context.data + c * frames, context.data, frames * sizeof(double));
}

template class BasicTB303Processor<false>;
template class BasicTB303Processor<true>;
