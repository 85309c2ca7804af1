#include "processors/sources/SampleFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>
#include <optional>
#include <vector>

namespace samplefile {

namespace {

const QString kRefusal = QStringLiteral("Could not load the sample \"%1\": %2.");
const QString kNotAFile = QStringLiteral("it is not a regular file");
const QString kCannotOpen = QStringLiteral("it cannot be read as a sound file (%1)");
const QString kUnsupported = QStringLiteral("it is not a WAV, FLAC or Ogg file");
const QString kBadRate = QStringLiteral("its sample rate of %1 Hz cannot be converted");
const QString kEmpty = QStringLiteral("it holds no audio");
const QString kTooLong = QStringLiteral("it is longer than 10 minutes");
const QString kDamaged = QStringLiteral("its audio data is damaged (%1)");
const QString kCutShort = QStringLiteral("its audio data ends before the length its header gives");
const QString kNotNumbers = QStringLiteral("it holds sample values that are not numbers");
const QString kConversion = QStringLiteral("the rate conversion failed (%1)");
const QString kStopped = QStringLiteral("loading was stopped");

constexpr sf_count_t kChunkFrames = 4096;

// The containers libsndfile reads that the program takes; other formats it knows are refused.
constexpr int kAcceptedFormats[]
    = { SF_FORMAT_WAV, SF_FORMAT_WAVEX, SF_FORMAT_RF64, SF_FORMAT_FLAC, SF_FORMAT_OGG };

struct CloseSound {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
struct DeleteConverter {
    void operator()(SRC_STATE* state) const { src_delete(state); }
};
using SoundFile = std::unique_ptr<SNDFILE, CloseSound>;
using ConverterState = std::unique_ptr<SRC_STATE, DeleteConverter>;

void append(QVector<float>& out, const float* frames, long count)
{
    const qsizetype at = out.size();
    out.resize(at + count);
    std::copy_n(frames, count, out.data() + at);
}

bool accepted(const SF_INFO& info)
{
    const int major = info.format & SF_FORMAT_TYPEMASK;
    return std::find(std::begin(kAcceptedFormats), std::end(kAcceptedFormats), major)
        != std::end(kAcceptedFormats);
}

// The most input frames that still make ten minutes at the file's rate.
sf_count_t maxInputFrames(int rate)
{
    return sf_count_t(std::ceil(double(Sample::kMaxFrames) * rate / Sample::kRate));
}

// Mono blocks in, engine-rate frames appended to `out`; at the file's own rate it copies.
class RateConverter {
public:
    RateConverter(int rate, QVector<float>& out)
        : m_ratio(double(Sample::kRate) / rate)
        , m_out(out)
    {
        if (rate == Sample::kRate)
            return;
        int error = 0;
        m_state.reset(src_new(SRC_SINC_BEST_QUALITY, 1, &error));
        m_error = error;
        m_buffer.resize(std::size_t(std::ceil(kChunkFrames * m_ratio)) + 64);
    }

    // False after the converter failed; `error()` says why.
    bool push(const float* mono, long frames, bool last)
    {
        if (m_error)
            return false;
        if (!m_state) {
            append(m_out, mono, frames);
            return true;
        }
        SRC_DATA data {};
        data.src_ratio = m_ratio;
        data.end_of_input = last ? 1 : 0;
        do {
            data.data_in = mono;
            data.input_frames = frames;
            data.data_out = m_buffer.data();
            data.output_frames = long(m_buffer.size());
            if ((m_error = src_process(m_state.get(), &data)) != 0)
                return false;
            append(m_out, m_buffer.data(), data.output_frames_gen);
            mono += data.input_frames_used;
            frames -= data.input_frames_used;
            // A converter that takes nothing and gives nothing would spin forever.
            if (data.input_frames_used == 0 && data.output_frames_gen == 0)
                break;
        } while (frames > 0 || (last && data.output_frames_gen > 0));
        return true;
    }

    QString error() const { return QString::fromUtf8(src_strerror(m_error)); }

private:
    double m_ratio;
    QVector<float>& m_out;
    ConverterState m_state;
    std::vector<float> m_buffer;
    int m_error = 0;
};

// Reads the whole file a chunk at a time, so no header can make it allocate more than ten
// minutes of frames. The reason on refusal, nothing when `out` holds the sample.
std::optional<QString> readMono(
    SNDFILE* file, const SF_INFO& info, QVector<float>& out, const std::atomic_bool* stop)
{
    const sf_count_t limit = maxInputFrames(info.samplerate);
    out.reserve(qsizetype(std::min<double>(double(info.frames) * Sample::kRate / info.samplerate,
                    double(Sample::kMaxFrames)))
        + 1);
    RateConverter converter(info.samplerate, out);
    std::vector<float> interleaved(std::size_t(kChunkFrames * info.channels));
    std::vector<float> mono(kChunkFrames);
    sf_count_t total = 0;
    for (;;) {
        if (stop && stop->load())
            return kStopped;
        const sf_count_t got = sf_readf_float(file, interleaved.data(), kChunkFrames);
        total += got;
        if (total > limit)
            return kTooLong;
        for (sf_count_t i = 0; i < got; ++i) {
            const float* frame = interleaved.data() + i * info.channels;
            double sum = 0.0;
            for (int c = 0; c < info.channels; ++c)
                sum += frame[c];
            mono[std::size_t(i)] = float(sum / info.channels);
            if (!std::isfinite(mono[std::size_t(i)]))
                return kNotNumbers;
        }
        const bool last = got < kChunkFrames;
        if (!converter.push(mono.data(), long(got), last))
            return kConversion.arg(converter.error());
        if (last)
            break;
    }
    if (sf_error(file) != SF_ERR_NO_ERROR)
        return kDamaged.arg(QString::fromUtf8(sf_strerror(file)));
    if (total == 0)
        return kEmpty;
    if (total < info.frames)
        return kCutShort;
    out.resize(std::min<qsizetype>(out.size(), Sample::kMaxFrames));
    return std::nullopt;
}

// The reason the file cannot be a sample, checked before its audio is read.
std::optional<QString> headerRefusal(const SF_INFO& info)
{
    if (!accepted(info))
        return kUnsupported;
    if (info.samplerate <= 0 || !src_is_valid_ratio(double(Sample::kRate) / info.samplerate))
        return kBadRate.arg(info.samplerate);
    if (info.channels < 1)
        return kDamaged.arg(QStringLiteral("no channels"));
    if (info.frames <= 0)
        return kEmpty;
    if (info.frames > maxInputFrames(info.samplerate))
        return kTooLong;
    return std::nullopt;
}

} // namespace

QString refusal(const QString& path, const QString& reason)
{
    return kRefusal.arg(QDir::toNativeSeparators(path), reason);
}

Loaded load(const QString& path, const std::atomic_bool* stop)
{
    // A pipe or a device could block the open or never end.
    if (!QFileInfo(path).isFile())
        return { {}, refusal(path, kNotAFile) };
    SF_INFO info {};
    const SoundFile file(sf_open(QFile::encodeName(path).constData(), SFM_READ, &info));
    if (!file)
        return { {}, refusal(path, kCannotOpen.arg(QString::fromUtf8(sf_strerror(nullptr)))) };
    if (const auto reason = headerRefusal(info))
        return { {}, refusal(path, *reason) };
    Sample sample { QFileInfo(path).fileName(), {} };
    if (const auto reason = readMono(file.get(), info, sample.frames, stop))
        return { {}, refusal(path, *reason) };
    return { std::move(sample), {} };
}

QString dialogFilter()
{
    return QStringLiteral("Samples (*.wav *.flac *.ogg *.oga);;All files (*)");
}

} // namespace samplefile
