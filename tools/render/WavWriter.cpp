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
constexpr double kInt24Scale = 8388607.0;
// A tag is a line or a paragraph; the cap keeps the header small whatever a song holds.
constexpr qsizetype kMaxInfoCharacters = 4096;

void appendTag(QByteArray& bytes, const char* tag)
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

long toInteger(double sample, double scale)
{
    if (!std::isfinite(sample))
        return 0;
    return std::lround(std::clamp(sample, -1.0, 1.0) * scale);
}

void putInt24(long value, char* out)
{
    out[0] = char(value & 0xff);
    out[1] = char((value >> 8) & 0xff);
    out[2] = char((value >> 16) & 0xff);
}

float toFloat(double sample)
{
    return std::isfinite(sample) ? float(sample) : 0.0f;
}

} // namespace

namespace wav {

int bytesPerSample(SampleFormat format)
{
    switch (format) {
    case SampleFormat::Int16:
        return 2;
    case SampleFormat::Int24:
        return 3;
    case SampleFormat::Float32:
        break;
    }
    return 4;
}

quint32 maxFrames(SampleFormat format, const QByteArray& info)
{
    // The RIFF size counts everything after its own field, an odd data chunk's pad included.
    const quint64 room
        = std::numeric_limits<quint32>::max() - quint64(header(format, 0, info).size()) - 1;
    return quint32(room / quint64(bytesPerSample(format)));
}

QByteArray infoChunk(const QMap<QString, QString>& tags)
{
    QByteArray entries;
    for (const InfoId& info : kInfoIds) {
        const QString value = tags.value(QString::fromLatin1(info.tag));
        if (value.isEmpty())
            continue;
        const QByteArray text = value.left(kMaxInfoCharacters).toUtf8() + '\0';
        appendTag(entries, info.id);
        appendLittle<quint32>(entries, quint32(text.size()));
        entries.append(text);
        if (text.size() % 2)
            entries.append('\0');
    }
    if (entries.isEmpty())
        return {};
    QByteArray bytes;
    appendTag(bytes, "LIST");
    appendLittle<quint32>(bytes, quint32(4 + entries.size()));
    appendTag(bytes, "INFO");
    return bytes + entries;
}

QByteArray header(SampleFormat format, quint32 frames, const QByteArray& info)
{
    const bool floating = isFloat(format);
    const quint16 sampleBytes = quint16(bytesPerSample(format));
    const quint32 dataBytes = frames * sampleBytes;
    const quint32 formatBytes = floating ? kExtendedFormatBytes : kPcmFormatBytes;
    const quint32 factChunk = floating ? 8 + kFactBytes : 0;
    const quint32 riffBytes = 4 + (8 + formatBytes) + factChunk + quint32(info.size())
        + (8 + dataBytes + dataBytes % 2);

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
    bytes.append(info);
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
    switch (format) {
    case SampleFormat::Int16:
        for (qsizetype i = 0; i < count; ++i)
            qToLittleEndian(qint16(toInteger(samples[i], kInt16Scale)), out + i * width);
        break;
    case SampleFormat::Int24:
        for (qsizetype i = 0; i < count; ++i)
            putInt24(toInteger(samples[i], kInt24Scale), out + i * width);
        break;
    case SampleFormat::Float32:
        for (qsizetype i = 0; i < count; ++i)
            qToLittleEndian(toFloat(samples[i]), out + i * width);
        break;
    }
    return bytes;
}

Writer::Writer(QIODevice& device, SampleFormat format, const QMap<QString, QString>& tags)
    : m_device(device)
    , m_format(format)
    , m_info(infoChunk(tags))
{
}

bool Writer::begin()
{
    const QByteArray bytes = header(m_format, 0, m_info);
    return m_device.write(bytes) == bytes.size();
}

bool Writer::write(const double* samples, qsizetype count)
{
    if (count < 0 || quint64(m_frames) + quint64(count) > maxFrames(m_format, m_info))
        return false;
    const QByteArray bytes = encode(m_format, samples, count);
    if (m_device.write(bytes) != bytes.size())
        return false;
    m_frames += quint32(count);
    return true;
}

bool Writer::finish()
{
    const bool odd = quint64(m_frames) * quint64(bytesPerSample(m_format)) % 2;
    const char pad = 0;
    if (odd && m_device.write(&pad, 1) != 1)
        return false;
    const QByteArray bytes = header(m_format, m_frames, m_info);
    return m_device.seek(0) && m_device.write(bytes) == bytes.size();
}

} // namespace wav
