#pragma once

#include "core/EngineRate.h"

#include <QByteArray>
#include <QIODevice>

// Mono 44100 Hz RIFF/WAVE files, 16-bit integer or 32-bit float samples, written as a
// stream: a header with a zero length first, the samples block by block, then the
// header again with the real length.
namespace wav {

enum class SampleFormat { Int16, Float32 };

inline constexpr quint32 kSampleRate = kEngineRate;
inline constexpr quint16 kChannels = 1;

int bytesPerSample(SampleFormat format);
// The header for `frames` samples: 44 bytes for PCM; 58 for float, whose format chunk
// carries the extension size and which adds the fact chunk non-PCM files need.
QByteArray header(SampleFormat format, quint32 frames);
// Samples in the file's encoding. Integer samples are clipped to [-1, 1] and rounded;
// float samples are kept as they are. A non-finite sample becomes 0 in both.
QByteArray encode(SampleFormat format, const double* samples, qsizetype count);
// The most frames a file can hold: its sizes are 32-bit.
quint32 maxFrames(SampleFormat format);

class Writer {
public:
    Writer(QIODevice& device, SampleFormat format);

    bool begin();
    // False when the device refused the bytes or the file would outgrow its 32-bit sizes.
    bool write(const double* samples, qsizetype count);
    // Rewrites the header with the final length; the device must be seekable.
    bool finish();

    quint32 frames() const { return m_frames; }

private:
    QIODevice& m_device;
    SampleFormat m_format;
    quint32 m_frames = 0;
};

} // namespace wav
