#include "core/DataStream.h"
#include "processors/sources/SampleFile.h"
#include "processors/sources/SampleProcessor.h"

#include "InstrumentTesting.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <samplerate.h>
#include <sndfile.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

using namespace instrumentTesting;

namespace {

struct Sound {
    int format;
    int rate;
    int channels;
    qint64 frames;
};

// Two partials per channel, a different phase on each, so a wrong mix shows.
std::vector<float> tones(const Sound& sound)
{
    std::vector<float> out(std::size_t(sound.frames * sound.channels));
    for (qint64 i = 0; i < sound.frames; ++i)
        for (int c = 0; c < sound.channels; ++c)
            out[std::size_t(i * sound.channels + c)] = float(
                0.4 * std::sin(2 * std::numbers::pi * 440.0 * double(i) / sound.rate + c)
                + 0.2 * std::sin(2 * std::numbers::pi * 3000.0 * (c + 1) * double(i) / sound.rate));
    return out;
}

bool writeSound(const QString& path, const Sound& sound, const std::vector<float>& data)
{
    SF_INFO info { 0, sound.rate, sound.channels, sound.format, 0, 0 };
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return false;
    const bool written = sf_writef_float(file, data.data(), sound.frames) == sound.frames;
    return sf_close(file) == 0 && written;
}

// What the file holds as libsndfile reads it, averaged and converted in one call.
QVector<float> expectedFrames(const QString& path)
{
    SF_INFO info {};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    std::vector<float> data(std::size_t(info.frames * info.channels));
    sf_readf_float(file, data.data(), info.frames);
    sf_close(file);
    std::vector<float> mono(std::size_t(info.frames));
    for (std::size_t i = 0; i < mono.size(); ++i) {
        double sum = 0.0;
        for (int c = 0; c < info.channels; ++c)
            sum += data[i * std::size_t(info.channels) + std::size_t(c)];
        mono[i] = float(sum / info.channels);
    }
    if (info.samplerate == kRate)
        return QVector<float>(mono.begin(), mono.end());
    const double ratio = double(kRate) / info.samplerate;
    std::vector<float> out(std::size_t(double(mono.size()) * ratio) + 64);
    SRC_DATA convert { mono.data(), out.data(), long(mono.size()), long(out.size()), 0, 0, 0,
        ratio };
    if (src_simple(&convert, SRC_SINC_BEST_QUALITY, 1) != 0)
        return {};
    return QVector<float>(out.begin(), out.begin() + convert.output_frames_gen);
}

QByteArray record(quint8 version, quint32 rate, quint32 count, const QByteArray& frames)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    datastream::prepare(stream);
    stream << version << QStringLiteral("hit") << rate << count;
    stream.writeRawData(frames.constData(), int(frames.size()));
    return bytes;
}

const Sample kPrevious { QStringLiteral("previous.wav"), QVector<float>(10, 0.25f) };

} // namespace

class SampleTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void filesBecomeMonoAtTheEngineRate_data();
    void filesBecomeMonoAtTheEngineRate();
    void refusedFilesNameTheFileAndTheReason_data();
    void refusedFilesNameTheFileAndTheReason();
    void recordsLoadOnlyWhenWhole_data();
    void recordsLoadOnlyWhenWhole();

private:
    QTemporaryDir m_dir;
};

void SampleTest::filesBecomeMonoAtTheEngineRate_data()
{
    const DataTable<QString, Sound> add("name", "sound");
    add("WAV, 48000 Hz stereo", "stereo.wav",
        { SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, 24000 });
    add("FLAC at the engine rate", "mono.flac",
        { SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 44100, 1, 9000 });
    add("Ogg, 32000 Hz, three channels", "three.ogg",
        { SF_FORMAT_OGG | SF_FORMAT_VORBIS, 32000, 3, 16000 });
}

// The reference runs libsamplerate on the whole signal at once; the loader feeds it chunks
// and must still give the same frames.
void SampleTest::filesBecomeMonoAtTheEngineRate()
{
    const auto [name, sound] = fetch<QString, Sound>("name", "sound");
    const QString path = m_dir.filePath(name);
    QVERIFY(writeSound(path, sound, tones(sound)));
    const samplefile::Loaded loaded = samplefile::load(path);
    QVERIFY2(loaded.ok(), qPrintable(loaded.error));
    QCOMPARE(loaded.sample.name, name);
    QCOMPARE(loaded.sample.frames, expectedFrames(path));
}

// A damaged file has bytes from a third of the way in overwritten; one row has a sample
// that is not a number.
void SampleTest::refusedFilesNameTheFileAndTheReason_data()
{
    const DataTable<QString, QByteArray, Sound, int, QString> add(
        "name", "bytes", "sound", "damage", "reason");
    const Sound none { 0, 0, 0, 0 };
    const Sound flac { SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 1, 200000 };
    add("text with a sound name", "notes.wav", "just some words\n", none, 0,
        "cannot be read as a sound file");
    add("header cut short", "cut.wav", QByteArray::fromHex("52494646 24000000 57415645 666d7420"),
        none, 0, "cannot be read as a sound file");
    add("a folder", "folder.wav", {}, none, 0, "not a regular file");
    add("damaged audio", "damaged.flac", {}, flac, 5000, "audio data is damaged");
    add("no audio", "empty.wav", {}, { SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 1, 0 }, 0,
        "holds no audio");
    // 601 seconds at 200 Hz: cheap to write, too long to take.
    add("eleven minutes", "long.wav", {}, { SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 200, 1, 601 * 200 },
        0, "longer than 10 minutes");
    add("a rate too low to convert", "low.wav", {},
        { SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 100, 1, 100 }, 0, "cannot be converted");
    add("AIFF", "other.aiff", {}, { SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 44100, 1, 100 }, 0,
        "not a WAV, FLAC or Ogg file");
    add("not a number", "nan.wav", {}, { SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1, 100 }, -1,
        "not numbers");
}

void SampleTest::refusedFilesNameTheFileAndTheReason()
{
    const auto [name, bytes, sound, damage, reason]
        = fetch<QString, QByteArray, Sound, int, QString>(
            "name", "bytes", "sound", "damage", "reason");
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (sound.format) {
        std::vector<float> data = tones(sound);
        if (damage < 0)
            data[50] = std::numeric_limits<float>::quiet_NaN();
        QVERIFY(writeSound(path, sound, data));
    }
    if (!bytes.isEmpty() || damage > 0) {
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek(file.size() / 3) && file.write(bytes + QByteArray(damage, '\x5a')) >= 0);
        file.close();
    } else if (!sound.format) {
        QVERIFY(QDir().mkpath(path));
    }
    const samplefile::Loaded loaded = samplefile::load(path);
    QVERIFY(!loaded.ok());
    QVERIFY2(
        loaded.error.contains(name) && loaded.error.contains(reason), qPrintable(loaded.error));
    QVERIFY(loaded.sample.isEmpty());
}

// A record is a version, a name, the rate and a count of big-endian singles (0.5 = 3f000000).
void SampleTest::recordsLoadOnlyWhenWhole_data()
{
    const DataTable<QByteArray, bool> add("bytes", "loads");
    const QByteArray half = QByteArray::fromHex("3f000000");
    add("whole", record(1, 44100, 2, half + half), true);
    add("cut short", record(1, 44100, 2, half), false);
    add("a count past the bytes", record(1, 44100, 0xFFFFFFFF, half), false);
    add("no frames", record(1, 44100, 0, {}), false);
    add("another rate", record(1, 48000, 1, half), false);
    add("another version", record(2, 44100, 1, half), false);
    add("not a number", record(1, 44100, 2, half + QByteArray::fromHex("7fc00000")), false);
    add("nothing", {}, false);
}

void SampleTest::recordsLoadOnlyWhenWhole()
{
    const auto [bytes, loads] = fetch<QByteArray, bool>("bytes", "loads");
    SampleProcessor processor(kRate);
    processor.setSample(kPrevious);
    QDataStream stream(bytes);
    datastream::prepare(stream);
    QCOMPARE(processor.loadExtension(stream), loads);
    const Sample expected = loads ? Sample { "hit", { 0.5f, 0.5f } } : kPrevious;
    QCOMPARE(processor.sample(), expected);
}

QTEST_GUILESS_MAIN(SampleTest)
#include "tst_sample.moc"
