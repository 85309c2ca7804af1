#include "processors/sources/OscProcessor.h"
#include "processors/Logging.h"

#include <QDebug>

#include <cmath>
#include <numbers>

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

} // namespace

OscProcessor::OscProcessor(int sampleRate)
    : Processor(ProcessorCharacter("Osc", false, true, true, true, false, false))
{
    Q_UNUSED(sampleRate);
    qCDebug(lcProcessors).noquote() << "OSC NODE VOICE";
    Voice voice;
    voice.wave = WaveRegistry::instance().find("sin");
    m_voices.append(voice);
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

// The amplitude glides toward its target but is not applied to the output.
double OscProcessor::Voice::next()
{
    amp = ampKeep * amp + targetMix * target;
    phase = std::fmod(phase + increment, kTwoPi);
    if (wave)
        return wave(phase);
    toggle = !toggle;
    return toggle ? 1.0 : -1.0;
}

void OscProcessor::process(AudioContext& context)
{
    double* out = context.data;
    for (quint64 i = 0; i < context.frames; ++i) {
        double sum = 0.0;
        for (Voice& voice : m_voices)
            sum += voice.next();
        out[i] = sum;
    }
}
