#include "tools/render/WavWriter.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr quint16 kPcm = 1;
constexpr quint16 kIeeeFloat = 3;
constexpr quint32 kPcmFormatBytes = 16;
constexpr quint32 kExtendedFormatBytes = 18; // with the extension size, which is 0
constexpr quint32 kFactBytes = 4;
constexpr double kInt16Scale = 32767.0;

void appendTag(QByteArray& bytes, const char (&tag)[5])
{
    bytes.append(tag, 4);
}

template <class T> void appendLittle(QByteArray& bytes, T value)
{
    char raw[sizeof(T)];
    qToLittleEndian(value, raw);
    bytes.append(raw, sizeof(T));
}

bool isFloat(wav::SampleFormat format)
{
    return format == wav::SampleFormat::Float32;
}

qint16 toInt16(double sample)
{
    if (!std::isfinite(sample))
        return 0;
    return qint16(std::lround(std::clamp(sample, -1.0, 1.0) * kInt16Scale));
}

float toFloat(double sample)
{
    return std::isfinite(sample) ? float(sample) : 0.0f;
}

} // namespace

namespace wav {

int bytesPerSample(SampleFormat format)
{
    return isFloat(format) ? 4 : 2;
}

quint32 maxFrames(SampleFormat format)
{
    // The RIFF size counts everything after its own field.
    const quint64 room = std::numeric_limits<quint32>::max() - quint64(header(format, 0).size());
    return quint32(room / quint64(bytesPerSample(format)));
}

QByteArray header(SampleFormat format, quint32 frames)
{
    const bool floating = isFloat(format);
    const quint16 sampleBytes = quint16(bytesPerSample(format));
    const quint32 dataBytes = frames * sampleBytes;
    const quint32 formatBytes = floating ? kExtendedFormatBytes : kPcmFormatBytes;
    const quint32 factChunk = floating ? 8 + kFactBytes : 0;
    const quint32 riffBytes = 4 + (8 + formatBytes) + factChunk + (8 + dataBytes);

    QByteArray bytes;
    appendTag(bytes, "RIFF");
    appendLittle<quint32>(bytes, riffBytes);
    appendTag(bytes, "WAVE");
    appendTag(bytes, "fmt ");
    appendLittle<quint32>(bytes, formatBytes);
    appendLittle<quint16>(bytes, floating ? kIeeeFloat : kPcm);
    appendLittle<quint16>(bytes, kChannels);
    appendLittle<quint32>(bytes, kSampleRate);
    appendLittle<quint32>(bytes, kSampleRate * kChannels * sampleBytes);
    appendLittle<quint16>(bytes, quint16(kChannels * sampleBytes));
    appendLittle<quint16>(bytes, quint16(8 * sampleBytes));
    if (floating) {
        appendLittle<quint16>(bytes, 0);
        appendTag(bytes, "fact");
        appendLittle<quint32>(bytes, kFactBytes);
        appendLittle<quint32>(bytes, frames);
    }
    appendTag(bytes, "data");
    appendLittle<quint32>(bytes, dataBytes);
    return bytes;
}

QByteArray encode(SampleFormat format, const double* samples, qsizetype count)
{
    // Written in place: appending each sample to the array took a tenth of a whole render.
    const int width = bytesPerSample(format);
    QByteArray bytes(count * width, Qt::Uninitialized);
    char* out = bytes.data();
    if (isFloat(format)) {
        for (qsizetype i = 0; i < count; ++i)
            qToLittleEndian(toFloat(samples[i]), out + i * width);
    } else {
        for (qsizetype i = 0; i < count; ++i)
            qToLittleEndian(toInt16(samples[i]), out + i * width);
    }
    return bytes;
}

Writer::Writer(QIODevice& device, SampleFormat format)
    : m_device(device)
    , m_format(format)
{
}

bool Writer::begin()
{
    const QByteArray bytes = header(m_format, 0);
    return m_device.write(bytes) == bytes.size();
}

bool Writer::write(const double* samples, qsizetype count)
{
    if (count < 0 || quint64(m_frames) + quint64(count) > maxFrames(m_format))
        return false;
    const QByteArray bytes = encode(m_format, samples, count);
    if (m_device.write(bytes) != bytes.size())
        return false;
    m_frames += quint32(count);
    return true;
}

bool Writer::finish()
{
    const QByteArray bytes = header(m_format, m_frames);
    return m_device.seek(0) && m_device.write(bytes) == bytes.size();
}

} // namespace wav
