#include "core/EngineRate.h"
#include "processors/ProcessorFactory.h"
#include "song/Graph.h"
#include "song/Sequencer.h"
#include "song/SongFile.h"
#include "tools/render/RenderCommand.h"
#include "tools/render/RenderOptions.h"
#include "tools/render/SongRender.h"
#include "tools/render/WavWriter.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

using Tags = QMap<QString, QString>;

namespace {

QStringList exampleFiles()
{
    const QDir folder(QStringLiteral(ZARN_EXAMPLES_DIR));
    return folder.entryList({ QStringLiteral("*.zarn") }, QDir::Files, QDir::Name);
}

} // namespace

class RenderTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void wavFile_data();
    void wavFile();
    void exitCodes_data();
    void exitCodes();
    void examples_data();
    void examples();

private:
    QTemporaryDir m_dir;
    QString m_songPath;
};

void RenderTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_songPath = m_dir.filePath(QStringLiteral("small.zarn"));
    const SongPointer small = Song::createNewSong(16);
    small->sequencer->position.sequenceBegin.sample = 1000;
    small->sequencer->position.sequenceEnd.sample = 3000;
    QVERIFY(saveSong(small, m_songPath));
    // A processor type that no example shows means the examples need regenerating.
    const ProcessorFactory& factory = ProcessorFactory::instance();
    QSet<QString> unshown;
    for (const QString& type : factory.typeIDs())
        if (factory.characterOf(type)->userCreatable)
            unshown.insert(type);
    const QStringList files = exampleFiles();
    QVERIFY2(files.contains("first-song.zarn"), qPrintable(files.join(' ')));
    for (const QString& name : files) {
        const SongPointer song = Song::createEmpty();
        QVERIFY(loadSong(song, QStringLiteral(ZARN_EXAMPLES_DIR "/") + name));
        for (const auto& node : std::as_const(song->graph->nodes))
            unshown.remove(node->typeName());
    }
    QVERIFY2(unshown.isEmpty(), qPrintable(QStringList(unshown.begin(), unshown.end()).join(' ')));
}

// A file written as a stream: a header with no length, the samples, then the header again
// with the length. RIFF size = everything after its field: 4 ("WAVE") + 8 + fmt + [8 + 4
// fact] + LIST + 8 + data (+ 1 pad when odd). 44100 = ac44, 88200 = 015888, 132300 = 0204cc,
// 176400 = 02b110. Integer samples are clipped and rounded: 0.5 x 32767 = 16383.5 gives
// 16384 = 4000, -1 gives -32767 = 8001; 0.5 x 8388607 gives 4194304 = 400000, -1 gives
// -8388607 = 800001. As IEEE singles 0.5 = 3f000000, -1 = bf800000, 2 = 40000000.
// Non-finite samples are silence. Known tags become INFO entries in a fixed order, each
// NUL-terminated and padded to even: "Hi" = 4869, "abc" = 616263, UTF-8 "Zoë" = 5a6fc3ab.
void RenderTest::wavFile_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QList<double>>("samples");
    QTest::addColumn<Tags>("tags");
    QTest::addColumn<QByteArray>("expected");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("s16, title and comment")
        << int(wav::SampleFormat::Int16)
        << QList<double> { 0.5, -1.0, 1.0 / 65534.0, 2.0, -3.0, nan, inf }
        << Tags { { "Comment", "abc" }, { "Mood", "calm" }, { "Artist", "" }, { "Title", "Hi" } }
        << QByteArray("52494646 56000000 57415645 666d7420 10000000 0100 0100"
                      "44ac0000 88580100 0200 1000"
                      "4c495354 1c000000 494e464f 494e414d 03000000 48690000"
                      "49434d54 04000000 61626300 64617461 0e000000"
                      "0040 0180 0100 ff7f 0180 0000 0000");
    QTest::newRow("s24, odd data padded")
        << int(wav::SampleFormat::Int24)
        << QList<double> { 0.5, -1.0, 1.0 / 16777214.0, 2.0, -3.0, nan, inf } << Tags {}
        << QByteArray("52494646 3a000000 57415645 666d7420 10000000 0100 0100"
                      "44ac0000 cc040200 0300 1800 64617461 15000000"
                      "000040 010080 010000 ffff7f 010080 000000 000000 00");
    QTest::newRow("f32, artist") << int(wav::SampleFormat::Float32)
                                 << QList<double> { 0.5, -1.0, 2.0, nan, -inf }
                                 << Tags { { "Artist", QStringLiteral("Zo\u00eb") } }
                                 << QByteArray("52494646 60000000 57415645 666d7420 12000000 0300"
                                               "0100 44ac0000 10b10200 0400 2000 0000 66616374"
                                               "04000000 05000000 4c495354 12000000 494e464f"
                                               "49415254 05000000 5a6fc3ab 0000"
                                               "64617461 14000000 0000003f 000080bf 00000040"
                                               "00000000 00000000");
}

void RenderTest::wavFile()
{
    QFETCH(int, format);
    QFETCH(QList<double>, samples);
    QFETCH(Tags, tags);
    QFETCH(QByteArray, expected);
    QByteArray file;
    QBuffer device(&file);
    QVERIFY(device.open(QIODevice::WriteOnly));
    wav::Writer writer(device, wav::SampleFormat(format), tags);
    QVERIFY(writer.begin() && writer.write(samples.constData(), 2)
        && writer.write(samples.constData() + 2, samples.size() - 2) && writer.finish());
    QCOMPARE(file.toHex(), expected.replace(' ', ""));
}

// What the command says on standard error, and returns; the small song runs 2000 frames,
// the last block of 768 cut, written as the header finally says.
void RenderTest::exitCodes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    const auto row
        = [](const char* name, const QStringList& arguments, int code, const char* message) {
              QTest::newRow(name) << arguments << code << QString(message);
          };
    QFile song(m_songPath), cut(m_dir.filePath("cut.zarn")), garbage(m_dir.filePath("bad.zarn"));
    QVERIFY(song.open(QIODevice::ReadOnly) && cut.open(QIODevice::WriteOnly)
        && garbage.open(QIODevice::WriteOnly) && cut.write(song.readAll().left(20)) == 20
        && garbage.write("NOT A SONG AT ALL") > 0);
    const QString wav = m_dir.filePath("out.wav");
    const int bad = render::BadArguments, unreadable = render::SongUnreadable;
    row("renders the sequence", { m_songPath, "--output", wav, "--block=768", "--format", "s24" },
        render::Success, "Rendered 0.05 s in ");
    row("unknown option", { "a", "-o", "b", "--loud" }, bad,
        "zarn-render: unknown option '--loud'\nTry 'zarn-render --help'.");
    row("no output", { "a" }, bad, "no output file given (-o OUT.wav)");
    row("two songs", { "a", "b", "-o", "c" }, bad, "one song file at a time, not 'a', 'b'");
    row("value missing", { "a", "-o" }, bad, "-o needs a value");
    row("seconds too many", { "a", "-o", "b", "--seconds", "3601" }, bad,
        "--seconds wants a number of seconds above 0 and at most 3600, not '3601'");
    row("unknown format", { "a", "-o", "b", "--format", "s8" }, bad,
        "--format wants s16, s24 or f32, not 's8'");
    row("missing song", { m_dir.filePath("none.zarn"), "-o", wav }, unreadable, "no such file");
    row("folder as song", { m_dir.path(), "-o", wav }, unreadable, "not a readable file");
    row("not a song", { garbage.fileName(), "-o", wav }, unreadable,
        "Wrong MAGIC found in file while loading, skipping...");
    row("truncated song", { "--info", cut.fileName() }, unreadable,
        "Damaged song file, skipping...");
    row("output in a missing folder", { m_songPath, "-o", m_dir.filePath("missing/out.wav") },
        render::OutputUnwritable, "cannot write");
}

void RenderTest::exitCodes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, message);
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    render::Console console { outStream, errStream, {} };
    QCOMPARE(render::run(arguments, console), code);
    errStream.flush();
    QVERIFY2(err.contains(message), qPrintable(err));
    if (code == render::Success) {
        QFile file(arguments.at(2));
        QVERIFY(file.open(QIODevice::ReadOnly));
        // The new song's tags name the program, so the header carries an INFO chunk.
        const QByteArray info = wav::infoChunk(Song::createNewSong(16)->tags);
        QVERIFY(!info.isEmpty());
        const QByteArray header = wav::header(wav::SampleFormat::Int24, 2000, info);
        QCOMPARE(file.size(), header.size() + 2000 * 3);
        QCOMPARE(file.read(header.size()), header);
    }
}

void RenderTest::examples_data()
{
    QTest::addColumn<QString>("path");
    for (const QString& name : exampleFiles())
        QTest::newRow(qPrintable(name)) << QStringLiteral(ZARN_EXAMPLES_DIR "/") + name;
}

// Each example renders as zarn-render renders it: to its sequence end, finite, heard (an RMS
// above 0.01, more than ticking) and not beyond full scale, which a 16-bit file would clip.
// Played again from its begin without reopening, it sounds the same to the sample, and
// listening left the song as it was.
void RenderTest::examples()
{
    QFETCH(QString, path);
    const SongPointer song = Song::createEmpty();
    QVERIFY(loadSong(song, path));
    const Position& position = song->sequencer->position;
    const QByteArray opened = songfile::encode(*song);
    const qint32 playedFrom = position.playPos.sample;
    const render::Options defaults;
    const render::Length length
        = render::renderLength(position, defaults.seconds, defaults.secondsGiven);
    QVERIFY(length.toSequenceEnd);
    const quint64 expected = quint64(position.sequenceEnd.sample - position.sequenceBegin.sample);
    QCOMPARE(length.frames, expected);
    const double seconds = double(expected) / kEngineRate;
    QVERIFY2(seconds >= 8.0 && seconds <= 30.0, qPrintable(QString::number(seconds)));
    const auto play = [&] {
        render::SongRender session(song, quint64(defaults.blockFrames), length);
        QList<double> samples;
        while (!session.done())
            for (qsizetype i = 0, frames = session.next(); i < frames; ++i)
                samples.append(session.data()[i]);
        return samples;
    };
    const QList<double> first = play();
    QCOMPARE(quint64(first.size()), expected);
    double energy = 0.0, peak = 0.0;
    for (qsizetype i = 0; i < first.size(); ++i) {
        QVERIFY2(std::isfinite(first[i]), qPrintable(QString::number(i)));
        energy += first[i] * first[i];
        peak = std::max(peak, std::abs(first[i]));
    }
    const double rms = std::sqrt(energy / double(expected));
    QVERIFY2(rms > 0.01, qPrintable(QString::number(rms)));
    QVERIFY2(peak <= 1.0, qPrintable(QString::number(peak)));
    QVERIFY(play() == first);
    song->sequencer->position.playPos.sample = playedFrom;
    QCOMPARE(songfile::encode(*song), opened);
}

QTEST_GUILESS_MAIN(RenderTest)
#include "tst_render.moc"
