#include "processors/sources/OscProcessor.h"

#include "core/EngineRate.h"
#include "processors/Logging.h"
#include "processors/RowLanes.h"
#include "processors/sources/WaveRegistry.h"

#include <QDebug>

#include <algorithm>
#include <cmath>

namespace {

// By shape lane value.
constexpr const char* kShapeNames[OscProcessor::kShapes] = { "sine", "triangle", "saw", "square" };

constexpr int kFractionBits = 32 - BandLimitedWave::kIndexBits;
constexpr quint32 kFractionMask = (quint32(1) << kFractionBits) - 1;
constexpr double kFractionScale = 1.0 / double(quint32(1) << kFractionBits);
constexpr double kCycle = 4294967296.0;

double noteHz(quint32 note)
{
    return 440.0 * std::exp2((double(note) - 69.0) / 12.0);
}

} // namespace

OscProcessor::OscProcessor(int sampleRate)
    : Processor(ProcessorCharacter("Osc", false, true, true, true, false, false))
{
    Q_UNUSED(sampleRate);
    qCDebug(lcProcessors).noquote() << "OSC NODE VOICE";
    for (int shape = 0; shape < kShapes; ++shape) {
        m_waves[shape] = WaveRegistry::instance().find(QString::fromLatin1(kShapeNames[shape]));
        Q_ASSERT(m_waves[shape]);
    }
    tune();
}

SchemaPointer OscProcessor::schema() const
{
    return schemaOnce([] {
        auto layout = QSharedPointer<NodeParameterSchema>::create();
        layout->nodeParameters = {
            ParameterDescriptor::byte("Shape", "Oscillator wave shape", 0, 3, 4, 0),
            ParameterDescriptor::midiNote("Note", "Oscillator frequency", 255),
            ParameterDescriptor::byte("Volume", "Amplitude of signal", 0, 255, 255, 128),
        };
        return layout;
    });
}

// One note lane makes one voice: a new note retunes it without a break in the wave.
void OscProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    if (!acceptRow(rowSerial))
        return;
    const RowLanes lanes(values, count);
    if (const auto shape = lanes.below(Shape, kShapes))
        m_shape = int(*shape);
    if (const auto note = lanes.except(Note, RowLanes::kEmptyNote)) {
        if (*note == RowLanes::kNoteOff) {
            m_sounding = false;
        } else {
            // Every shape is at a zero crossing at phase 0, so a silent voice starts there.
            if (m_level.level == 0.0)
                m_phase = 0;
            m_note = *note;
            m_sounding = true;
        }
    }
    if (const auto volume = lanes.below(Volume, RowLanes::kEmptyByte))
        m_volume = *volume / 255.0;
    tune();
}

void OscProcessor::tune()
{
    const double hz = noteHz(m_note);
    m_table = m_waves[m_shape]->tableFor(hz);
    // The silent table above the Nyquist frequency needs no step, and a step there would overflow.
    m_step = hz < kEngineRate / 2.0 ? quint32(std::lround(hz / kEngineRate * kCycle)) : 0;
}

void OscProcessor::process(AudioContext& context)
{
    double* out = context.data;
    const double target = m_sounding ? m_volume : 0.0;
    if (m_level.level == 0.0 && target == 0.0) {
        std::fill_n(out, context.frames, 0.0);
        return;
    }
    const float* table = m_table;
    quint32 phase = m_phase;
    for (quint64 i = 0; i < context.frames; ++i) {
        const double level = m_level.next(target);
        const quint32 index = phase >> kFractionBits;
        const double fraction = (phase & kFractionMask) * kFractionScale;
        const double a = table[index];
        out[i] = level * (a + (table[index + 1] - a) * fraction);
        phase += m_step;
    }
    m_phase = phase;
}
