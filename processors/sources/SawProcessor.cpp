#include "processors/sources/SawProcessor.h"

#include <cmath>
#include <numbers>

namespace {

constexpr double kRate = 44100.0;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Hertz between neighbouring voices; the middle voice sits on the note.
constexpr double kDetune = 0.3;
// Below this level the voices are not worth computing.
constexpr double kAudible = 0.0001;

} // namespace

SawProcessor::SawProcessor(int sampleRate)
    : m_character("Saw", false, true, true, true, false, false)
{
    Q_UNUSED(sampleRate);
}

QSharedPointer<NodeParameterSchema> SawProcessor::schema() const
{
    auto layout = QSharedPointer<NodeParameterSchema>::create();
    layout->nodeParameters = {
        ParameterDescriptor::midiNote("Note", "Oscillator frequency", 255),
        ParameterDescriptor::byte("Volume", "Amplitude of signal", 0, 255, 255, 128),
    };
    return layout;
}

void SawProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    if (!acceptRow(rowSerial))
        return;
    m_noteOnPending = false;
    m_noteOffPending = false;
    const RowLanes lanes(values, count);
    if (const auto note = lanes.except(Note, RowLanes::kEmptyNote)) {
        if (*note == RowLanes::kNoteOff) {
            m_noteOffPending = true;
        } else {
            m_note = *note;
            m_noteOnPending = true;
        }
    }
    if (const auto volume = lanes.below(Volume, RowLanes::kEmptyByte))
        m_volume = *volume / 255.0;
}

float SawProcessor::frequency() const
{
    if (m_silent)
        return 0.0f;
    const float f = 440.0f * std::pow(2.0f, (float(m_note) - 69.0f) / 12.0f);
    // A note far beyond the keyboard overflows; let it be silence rather than poison the phases.
    return std::isfinite(f) ? f : 0.0f;
}

void SawProcessor::process(AudioContext& context)
{
    if (m_noteOffPending) {
        m_noteOffPending = false;
        m_silent = true;
    } else if (m_noteOnPending) {
        m_noteOnPending = false;
        m_silent = false;
    }
    const double f = frequency();
    const double target = m_silent ? 0.0 : m_volume;
    double* out = context.data;
    for (quint64 i = 0; i < context.frames; ++i) {
        const double level = m_level.next(target);
        if (level <= kAudible) {
            out[i] = 0.0;
            continue;
        }
        double sum = 0.0;
        for (int k = 0; k < kVoices; ++k) {
            const double hz = (k - kVoices / 2) * kDetune + f;
            m_phases[k] = std::fmod(m_phases[k] + hz * kTwoPi / kRate, kTwoPi);
            sum += 2.0 * m_phases[k] / kTwoPi - 1.0;
        }
        out[i] = sum / kVoices * level;
    }
}
