#include "processors/sources/SampleProcessor.h"

#include "core/DataStream.h"
#include "processors/RowLanes.h"

#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cmath>
#include <utility>

namespace {

constexpr quint8 kExtensionVersion = 1;
constexpr qsizetype kFloatBytes = 4;
constexpr qsizetype kChunkFrames = qsizetype(1) << 16;

// IEEE singles, big-endian, a chunk at a time so a long sample needs no second copy.
void writeFrames(QDataStream& stream, const QVector<float>& frames)
{
    QByteArray chunk;
    for (qsizetype at = 0; at < frames.size(); at += kChunkFrames) {
        const qsizetype count = std::min(kChunkFrames, frames.size() - at);
        chunk.resize(count * kFloatBytes);
        auto* out = reinterpret_cast<uchar*>(chunk.data());
        for (qsizetype i = 0; i < count; ++i)
            qToBigEndian(std::bit_cast<quint32>(frames[at + i]), out + i * kFloatBytes);
        stream.writeRawData(chunk.constData(), int(chunk.size()));
    }
}

// False when the bytes run out or a frame is not a finite number.
bool readFrames(QDataStream& stream, QVector<float>& frames)
{
    const int bytes = int(frames.size() * kFloatBytes);
    if (stream.readRawData(reinterpret_cast<char*>(frames.data()), bytes) != bytes)
        return false;
    for (float& frame : frames) {
        frame = std::bit_cast<float>(qFromBigEndian(std::bit_cast<quint32>(frame)));
        if (!std::isfinite(frame))
            return false;
    }
    return true;
}

} // namespace

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

void SampleProcessor::setSample(Sample sample)
{
    m_sample = std::move(sample);
}

void SampleProcessor::saveExtension(QDataStream& stream)
{
    if (m_sample.isEmpty())
        return;
    stream << kExtensionVersion << m_sample.name << quint32(Sample::kRate)
           << quint32(m_sample.frames.size());
    writeFrames(stream, m_sample.frames);
}

// The count is checked against the ten-minute cap and the bytes left before anything is
// allocated for it.
bool SampleProcessor::loadExtension(QDataStream& stream)
{
    quint8 version = 0;
    QString name;
    quint32 rate = 0;
    quint32 count = 0;
    stream >> version >> name >> rate >> count;
    if (!datastream::healthy(stream) || version != kExtensionVersion || rate != Sample::kRate
        || count == 0 || count > Sample::kMaxFrames
        || !datastream::plausibleCount(stream, count, kFloatBytes))
        return false;
    QVector<float> frames(count);
    if (!readFrames(stream, frames))
        return false;
    setSample({ std::move(name), std::move(frames) });
    return true;
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
    const quint64 length = quint64(m_sample.frames.size());
    if (length == 0)
        return;
    const float* samples = m_sample.frames.constData();
    for (Voice& voice : m_voices) {
        if (!voice.active)
            continue;
        for (quint64 i = 0; i < context.frames && voice.position < length; ++i) {
            out[i] += samples[voice.position] * voice.gain;
            ++voice.position;
        }
    }
}
