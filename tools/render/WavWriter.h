#pragma once

#include "core/EngineRate.h"

#include <QByteArray>
#include <QIODevice>
#include <QMap>
#include <QString>

// Mono 44100 Hz RIFF/WAVE files, 16-bit or 24-bit integer or 32-bit float samples, written
// as a stream: a header with a zero length first, the samples block by block, then the
// header again with the real length.
namespace wav {

enum class SampleFormat { Int16, Int24, Float32 };

// Song info tags and the INFO ids they are written under, in the order they are written.
struct InfoId {
    const char* tag;
    const char* id;
};
inline constexpr InfoId kInfoIds[] = {
    { "Title", "INAM" },
    { "Artist", "IART" },
    { "Comment", "ICMT" },
    { "Album", "IPRD" },
    { "Genre", "IGNR" },
    { "Year", "ICRD" },
    { "Copyright Info", "ICOP" },
    { "Track No", "ITRK" },
    { "Encoded By", "ISFT" },
};

inline constexpr quint32 kSampleRate = kEngineRate;
inline constexpr quint16 kChannels = 1;

int bytesPerSample(SampleFormat format);
// The LIST/INFO chunk for the tags of kInfoIds that have a value (UTF-8, NUL-terminated,
// odd sizes padded); empty when there are none.
QByteArray infoChunk(const QMap<QString, QString>& tags);
// The header for `frames` samples: 44 bytes for PCM; 58 for float, whose format chunk
// carries the extension size and which adds the fact chunk non-PCM files need; `info`
// goes in front of the data chunk, so the header keeps its size while streaming.
QByteArray header(SampleFormat format, quint32 frames, const QByteArray& info = {});
// Samples in the file's encoding. Integer samples are clipped to [-1, 1] and rounded;
// float samples are kept as they are. A non-finite sample becomes 0 in all.
QByteArray encode(SampleFormat format, const double* samples, qsizetype count);
// The most frames a file with this INFO chunk can hold: its sizes are 32-bit.
quint32 maxFrames(SampleFormat format, const QByteArray& info = {});

class Writer {
public:
    Writer(QIODevice& device, SampleFormat format, const QMap<QString, QString>& tags = {});

    bool begin();
    // False when the device refused the bytes or the file would outgrow its 32-bit sizes.
    bool write(const double* samples, qsizetype count);
    // Pads an odd data chunk and rewrites the header with the final length; the device
    // must be seekable.
    bool finish();

    quint32 frames() const { return m_frames; }

private:
    QIODevice& m_device;
    SampleFormat m_format;
    QByteArray m_info;
    quint32 m_frames = 0;
};

} // namespace wav
