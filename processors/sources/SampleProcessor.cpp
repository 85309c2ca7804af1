#include "processors/sources/SampleProcessor.h"

#include "processors/RowLanes.h"

#include <algorithm>
#include <utility>

SampleProcessor::SampleProcessor(int sampleRate)
    : Processor(ProcessorCharacter("Sample", false, true, true, true, false, false))
{
    Q_UNUSED(sampleRate);
}

SchemaPointer SampleProcessor::schema() const
{
    return schemaOnce([] {
        auto layout = QSharedPointer<NodeParameterSchema>::create();
        layout->nodeParameters = {
            ParameterDescriptor::midiNote("Note", "Trigger sample playback", 255),
            ParameterDescriptor::byte("Volume", "Playback volume", 0, 255, 255, 128),
        };
        return layout;
    });
}

void SampleProcessor::setSampleData(QVector<float> data)
{
    m_sampleData = std::move(data);
}

void SampleProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    const RowLanes lanes(values, count);
    if (!lanes.has(Note) || !acceptRow(rowSerial))
        return;
    const quint32 note = *lanes.raw(Note);
    if (note == RowLanes::kNoteOff) {
        m_voices.fill(Voice {});
        return;
    }
    if (note == RowLanes::kEmptyNote)
        return;
    const auto volume = lanes.except(Volume, RowLanes::kEmptyByte);
    startVoice(volume ? float(*volume / 255.0) : 1.0f);
}

// With every voice taken the trigger is dropped; finished voices count as taken until a
// note-off frees them all.
void SampleProcessor::startVoice(float gain)
{
    const auto free
        = std::find_if(m_voices.begin(), m_voices.end(), [](const Voice& v) { return !v.active; });
    if (free != m_voices.end())
        *free = Voice { 0, true, gain };
}

void SampleProcessor::process(AudioContext& context)
{
    double* out = context.data;
    std::fill(out, out + context.frames, 0.0);
    const quint64 length = quint64(m_sampleData.size());
    if (length == 0)
        return;
    const float* samples = m_sampleData.constData();
    for (Voice& voice : m_voices) {
        if (!voice.active)
            continue;
        for (quint64 i = 0; i < context.frames && voice.position < length; ++i) {
            out[i] += samples[voice.position] * voice.gain;
            ++voice.position;
        }
    }
}
