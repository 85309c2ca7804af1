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
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

namespace {

constexpr double kSilenceFloor = 0.01; // RMS of a song that is heard, not just ticking

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

struct Captured {
    QString out;
    QString err;
    int code = -1;
};

Captured runCommand(const QStringList& arguments)
{
    Captured captured;
    QTextStream out(&captured.out);
    QTextStream err(&captured.err);
    render::Console console { out, err, {} };
    captured.code = render::run(arguments, console);
    out.flush();
    err.flush();
    return captured;
}

// A song whose Output node hears a saw playing a 4-row pattern from its track; the
// sequence runs from step 1 to step 3 of a 10 x 100-sample grid.
SongPointer smallSong()
{
    const SongPointer song = Song::createNewSong(16);
    Position& position = song->sequencer->position;
    position.samplesPerTickValue = 100;
    position.ticksPerStepValue = 10;
    position.sequenceBegin.sample = 1000;
    position.sequenceEnd.sample = 3000;
    const auto saw = zarn::Node::create(QStringLiteral("Saw"), song);
    saw->setName(QStringLiteral("Lead"));
    saw->setPosition(QPointF(250.0, 40.0));
    song->graph->addNode(saw);
    song->graph->connect(saw, song->graph->nodes.first());
    const auto pattern = PatternPointer::create(QStringLiteral("A"), saw, 4);
    const auto row = pattern->makeNeutralRow();
    row->cells[0] = 69;
    pattern->setRow(0, row);
    saw->addPattern(pattern);
    const auto track = song->sequencer->addTrack(saw);
    track->setEntry(10, pattern);
    track->setBreak(25);
    return song;
}

QString saved(const SongPointer& song, const QTemporaryDir& dir, const QString& name)
{
    const QString path = dir.filePath(name);
    return saveSong(song, path) ? path : QString();
}

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
    void wavHeader_data();
    void wavHeader();
    void sampleEncoding_data();
    void sampleEncoding();
    void writerRewritesTheHeader();
    void arguments_data();
    void arguments();
    void exitCodes_data();
    void exitCodes();
    void renderLength_data();
    void renderLength();
    void renderWritesTheSequence();
    void infoDescribesTheSong();
    void examplesExist();
    void examplesCoverEveryUserType();
    void examples_data();
    void examples();

private:
    QTemporaryDir m_dir;
    QString m_songPath;
};

void RenderTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_songPath = saved(smallSong(), m_dir, QStringLiteral("small.zarn"));
    QVERIFY(!m_songPath.isEmpty());
}

// RIFF size = everything after its field: 4 ("WAVE") + 8 + fmt + [8 + 4 fact] + 8 + data.
void RenderTest::wavHeader_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<quint32>("frames");
    QTest::addColumn<QByteArray>("expected");

    const int s16 = int(wav::SampleFormat::Int16);
    const int f32 = int(wav::SampleFormat::Float32);
    // 44100 = ac44, 88200 = 015888, 176400 = 02b110
    QTest::newRow("s16, 3 frames") << s16 << 3u
                                   << hex("52494646 2a000000 57415645 666d7420 10000000 0100 0100"
                                          "44ac0000 88580100 0200 1000 64617461 06000000");
    QTest::newRow("s16, empty") << s16 << 0u
                                << hex("52494646 24000000 57415645 666d7420 10000000 0100 0100"
                                       "44ac0000 88580100 0200 1000 64617461 00000000");
    QTest::newRow("f32, 3 frames")
        << f32 << 3u
        << hex("52494646 3e000000 57415645 666d7420 12000000 0300 0100"
               "44ac0000 10b10200 0400 2000 0000 66616374 04000000 03000000"
               "64617461 0c000000");
    // one second: 176400 data bytes, RIFF 176450 = 02b142, fact 44100
    QTest::newRow("f32, one second")
        << f32 << 44100u
        << hex("52494646 42b10200 57415645 666d7420 12000000 0300 0100"
               "44ac0000 10b10200 0400 2000 0000 66616374 04000000 44ac0000"
               "64617461 10b10200");
}

void RenderTest::wavHeader()
{
    QFETCH(int, format);
    QFETCH(quint32, frames);
    QFETCH(QByteArray, expected);
    QCOMPARE(wav::header(wav::SampleFormat(format), frames).toHex(' '), expected.toHex(' '));
}

void RenderTest::sampleEncoding_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QList<double>>("samples");
    QTest::addColumn<QByteArray>("expected");

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    // 0.5 x 32767 = 16383.5 rounds to 16384 = 4000; -1 gives -32767 = 8001
    QTest::newRow("s16 scale and round")
        << int(wav::SampleFormat::Int16) << QList<double>({ 0.5, -1.0, 0.0, 1.0 / 65534.0 })
        << hex("0040 0180 0000 0100");
    QTest::newRow("s16 clips") << int(wav::SampleFormat::Int16) << QList<double>({ 2.0, -3.0 })
                               << hex("ff7f 0180");
    QTest::newRow("s16 non-finite is silence")
        << int(wav::SampleFormat::Int16) << QList<double>({ nan, inf, -inf })
        << hex("0000 0000 0000");
    // IEEE single: 0.5 = 3f000000, -1 = bf800000, 2 = 40000000
    QTest::newRow("f32 keeps the level")
        << int(wav::SampleFormat::Float32) << QList<double>({ 0.5, -1.0, 2.0 })
        << hex("0000003f 000080bf 00000040");
    QTest::newRow("f32 non-finite is silence")
        << int(wav::SampleFormat::Float32) << QList<double>({ nan, -inf })
        << hex("00000000 00000000");
}

void RenderTest::sampleEncoding()
{
    QFETCH(int, format);
    QFETCH(QList<double>, samples);
    QFETCH(QByteArray, expected);
    const QByteArray bytes
        = wav::encode(wav::SampleFormat(format), samples.constData(), samples.size());
    QCOMPARE(bytes.toHex(' '), expected.toHex(' '));
}

// The length is only known at the end: the header written first must be replaced.
void RenderTest::writerRewritesTheHeader()
{
    for (const auto format : { wav::SampleFormat::Int16, wav::SampleFormat::Float32 }) {
        QByteArray file;
        QBuffer device(&file);
        QVERIFY(device.open(QIODevice::WriteOnly));
        wav::Writer writer(device, format);
        const double first[] = { 0.25, -0.25, 0.5 };
        const double second[] = { -0.5, 1.0 };
        QVERIFY(writer.begin());
        QVERIFY(writer.write(first, 3));
        QVERIFY(writer.write(second, 2));
        QVERIFY(writer.finish());

        const double all[] = { 0.25, -0.25, 0.5, -0.5, 1.0 };
        QCOMPARE(file, wav::header(format, 5) + wav::encode(format, all, 5));
    }
}

void RenderTest::arguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error"); // empty when the arguments are accepted
    QTest::addColumn<int>("mode");
    QTest::addColumn<qint64>("block");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<int>("format");

    const int render = int(render::Options::Mode::Render);
    const int s16 = int(wav::SampleFormat::Int16);
    const auto args
        = [](const char* text) { return QString::fromLatin1(text).split(' ', Qt::SkipEmptyParts); };

    QTest::newRow("defaults") << args("a.zarn -o b.wav") << "" << render << qint64(1024) << 30.0
                              << s16;
    QTest::newRow("everything") << args(
        "a.zarn --output b.wav --seconds 12.5 --block 512 --format f32")
                                << "" << render << qint64(512) << 12.5
                                << int(wav::SampleFormat::Float32);
    QTest::newRow("small block clamped")
        << args("a.zarn -o b.wav --block 10") << "" << render << qint64(64) << 30.0 << s16;
    QTest::newRow("large block clamped")
        << args("a.zarn -o b.wav --block=100000") << "" << render << qint64(8192) << 30.0 << s16;
    QTest::newRow("info needs no output")
        << args("--info a.zarn") << "" << int(render::Options::Mode::Info) << qint64(1024) << 30.0
        << s16;
    QTest::newRow("help alone") << args("--help") << "" << int(render::Options::Mode::Help)
                                << qint64(1024) << 30.0 << s16;
    QTest::newRow("nothing") << QStringList() << "no song file given" << render << qint64(1024)
                             << 30.0 << s16;
    QTest::newRow("no output") << args("a.zarn") << "no output file given (-o OUT.wav)" << render
                               << qint64(1024) << 30.0 << s16;
    QTest::newRow("two songs") << args("a.zarn b.zarn -o c.wav")
                               << "one song file at a time, not 'a.zarn', 'b.zarn'" << render
                               << qint64(1024) << 30.0 << s16;
    QTest::newRow("unknown option") << args("a.zarn -o b.wav --loud") << "unknown option '--loud'"
                                    << render << qint64(1024) << 30.0 << s16;
    QTest::newRow("value missing")
        << args("a.zarn -o") << "-o needs a value" << render << qint64(1024) << 30.0 << s16;
    QTest::newRow("seconds not a number")
        << args("a.zarn -o b.wav --seconds soon")
        << "--seconds wants a number of seconds above 0 and at most 3600, not 'soon'" << render
        << qint64(1024) << 30.0 << s16;
    QTest::newRow("seconds zero")
        << args("a.zarn -o b.wav --seconds 0")
        << "--seconds wants a number of seconds above 0 and at most 3600, not '0'" << render
        << qint64(1024) << 30.0 << s16;
    QTest::newRow("seconds too many")
        << args("a.zarn -o b.wav --seconds 3601")
        << "--seconds wants a number of seconds above 0 and at most 3600, not '3601'" << render
        << qint64(1024) << 30.0 << s16;
    QTest::newRow("block not a number") << args("a.zarn -o b.wav --block big")
                                        << "--block wants a whole number of frames, not 'big'"
                                        << render << qint64(1024) << 30.0 << s16;
    QTest::newRow("unknown format")
        << args("a.zarn -o b.wav --format s24") << "--format wants s16 or f32, not 's24'" << render
        << qint64(1024) << 30.0 << s16;
}

void RenderTest::arguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    QFETCH(int, mode);
    QFETCH(qint64, block);
    QFETCH(double, seconds);
    QFETCH(int, format);

    const render::ParseResult parsed = render::parseArguments(arguments);
    QCOMPARE(parsed.error, error);
    if (!error.isEmpty())
        return;
    QCOMPARE(int(parsed.options.mode), mode);
    QCOMPARE(parsed.options.blockFrames, block);
    QCOMPARE(parsed.options.seconds, seconds);
    QCOMPARE(int(parsed.options.format), format);
}

void RenderTest::exitCodes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message"); // part of standard error

    const QString garbage = m_dir.filePath(QStringLiteral("garbage.zarn"));
    QFile file(garbage);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("NOT A SONG AT ALL");
    file.close();
    QFile original(m_songPath);
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QString cut = m_dir.filePath(QStringLiteral("cut.zarn"));
    QFile truncated(cut);
    QVERIFY(truncated.open(QIODevice::WriteOnly));
    truncated.write(original.readAll().left(20));
    truncated.close();
    const QString wav = m_dir.filePath(QStringLiteral("out.wav"));

    QTest::newRow("bad arguments") << QStringList { QStringLiteral("--frobnicate") }
                                   << int(render::BadArguments) << "Try 'zarn-render --help'.";
    QTest::newRow("missing song") << QStringList { m_dir.filePath("none.zarn"), "-o", wav }
                                  << int(render::SongUnreadable) << "no such file";
    QTest::newRow("folder as song") << QStringList { m_dir.path(), "-o", wav }
                                    << int(render::SongUnreadable) << "not a readable file";
    QTest::newRow("not a song") << QStringList { garbage, "-o", wav } << int(render::SongUnreadable)
                                << "Wrong MAGIC found in file while loading, skipping...";
    QTest::newRow("truncated song") << QStringList { "--info", cut } << int(render::SongUnreadable)
                                    << "Damaged song file, skipping...";
    QTest::newRow("output in a missing folder")
        << QStringList { m_songPath, "-o", m_dir.filePath("missing/out.wav") }
        << int(render::OutputUnwritable) << "cannot write";
    QTest::newRow("render") << QStringList { m_songPath, "-o", wav } << int(render::Success)
                            << "Rendered 0.05 s";
}

void RenderTest::exitCodes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, message);

    const Captured result = runCommand(arguments);
    QCOMPARE(result.code, code);
    QVERIFY2(result.err.contains(message), qPrintable(result.err));
}

void RenderTest::renderLength_data()
{
    QTest::addColumn<qint32>("begin");
    QTest::addColumn<qint32>("end");
    QTest::addColumn<bool>("looping");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<bool>("limited");
    QTest::addColumn<quint64>("frames");
    QTest::addColumn<bool>("toEnd");

    QTest::newRow("to the end") << 1000 << 45100 << false << 30.0 << false << quint64(44100)
                                << true;
    QTest::newRow("end beyond a given limit")
        << 0 << 441000 << false << 2.0 << true << quint64(88200) << true;
    QTest::newRow("no end") << 0 << 0 << false << 1.5 << false << quint64(66150) << false;
    QTest::newRow("looping") << 0 << 1000 << true << 1.0 << false << quint64(44100) << false;
    QTest::newRow("end before begin")
        << 5000 << 3000 << false << 1.0 << false << quint64(44100) << false;
}

void RenderTest::renderLength()
{
    QFETCH(qint32, begin);
    QFETCH(qint32, end);
    QFETCH(bool, looping);
    QFETCH(double, seconds);
    QFETCH(bool, limited);
    QFETCH(quint64, frames);
    QFETCH(bool, toEnd);

    Position position;
    position.sequenceBegin.sample = begin;
    position.sequenceEnd.sample = end;
    position.looping = looping;
    const render::Length length = render::renderLength(position, seconds, limited);
    QCOMPARE(length.frames, frames);
    QCOMPARE(length.toSequenceEnd, toEnd);
}

// The small song runs from sample 1000 to 3000: 2000 frames, cut inside the third
// block of 768, and the transport stops there.
void RenderTest::renderWritesTheSequence()
{
    const QString wav = m_dir.filePath(QStringLiteral("sequence.wav"));
    const Captured result = runCommand({ m_songPath, QStringLiteral("-o"), wav,
        QStringLiteral("--block"), QStringLiteral("768") });
    QCOMPARE(result.code, int(render::Success));

    QFile file(wav);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.size(), 44 + 2000 * 2);
    QCOMPARE(bytes.left(44), wav::header(wav::SampleFormat::Int16, 2000));

    const SongPointer song = Song::createEmpty();
    QVERIFY(loadSong(song, m_songPath));
    render::SongRender session(
        song, 768, render::renderLength(song->sequencer->position, 30.0, false));
    QList<qsizetype> blocks;
    while (!session.done())
        blocks.append(session.next());
    QCOMPARE(blocks, QList<qsizetype>({ 768, 768, 464 }));
    QCOMPARE(song->sequencer->position.playPos.sample, 3000);
    QVERIFY(!song->sequencer->position.playing);
}

void RenderTest::infoDescribesTheSong()
{
    const SongPointer song = Song::createEmpty();
    QVERIFY(loadSong(song, m_songPath));
    const Captured result = runCommand({ QStringLiteral("--info"), m_songPath });
    QCOMPARE(result.code, int(render::Success));
    QJsonParseError error;
    const QJsonObject info = QJsonDocument::fromJson(result.out.toUtf8(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);

    const auto output = song->graph->nodes.at(0);
    const auto saw = song->graph->nodes.at(1);
    const QJsonArray nodes = info.value("nodes").toArray();
    QCOMPARE(nodes.size(), 2);
    const QJsonObject lead = nodes.at(1).toObject();
    QCOMPARE(lead.value("name").toString(), QStringLiteral("Lead"));
    QCOMPARE(lead.value("uniqueID").toString(), saw->uniqueID);
    QCOMPARE(lead.value("type").toString(), QStringLiteral("Saw"));
    QCOMPARE(lead.value("position").toObject().value("x").toDouble(), 250.0);
    QCOMPARE(lead.value("position").toObject().value("y").toDouble(), 40.0);
    const QJsonObject pattern = lead.value("patterns").toArray().at(0).toObject();
    QCOMPARE(pattern.value("name").toString(), QStringLiteral("A"));
    QCOMPARE(pattern.value("length").toInt(), 4);

    const QJsonObject connection = info.value("connections").toArray().at(0).toObject();
    QCOMPARE(connection.value("from").toString(), saw->uniqueID);
    QCOMPARE(connection.value("to").toString(), output->uniqueID);

    // The Output track comes first and is empty; the saw's has a pattern at tick 10
    // (step 1 of 10 ticks) and a break at tick 25 (step 2).
    const QJsonArray tracks = info.value("tracks").toArray();
    QCOMPARE(tracks.size(), 2);
    const QJsonObject track = tracks.at(1).toObject();
    QCOMPARE(track.value("node").toString(), saw->uniqueID);
    const QJsonArray entries = track.value("entries").toArray();
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries.at(0).toObject().value("tick").toInt(), 10);
    QCOMPARE(entries.at(0).toObject().value("step").toInt(), 1);
    QCOMPARE(entries.at(0).toObject().value("type").toString(), QStringLiteral("pattern"));
    QCOMPARE(entries.at(0).toObject().value("pattern").toString(), saw->patterns.first()->uniqueID);
    QCOMPARE(entries.at(1).toObject().value("step").toInt(), 2);
    QCOMPARE(entries.at(1).toObject().value("type").toString(), QStringLiteral("break"));
    QVERIFY(entries.at(1).toObject().value("pattern").isNull());

    const QJsonObject position = info.value("position").toObject();
    QCOMPARE(position.value("samplesPerTick").toInt(), 100);
    QCOMPARE(position.value("ticksPerStep").toInt(), 10);
    QCOMPARE(position.value("sequenceBegin").toInt(), 1000);
    QCOMPARE(position.value("sequenceEnd").toInt(), 3000);
}

void RenderTest::examplesExist()
{
    const QStringList files = exampleFiles();
    QVERIFY2(files.size() >= 3, qPrintable(files.join(' ')));
    QVERIFY(files.contains(QStringLiteral("first-song.zarn")));
}

// A processor type that no example shows means the examples need regenerating.
void RenderTest::examplesCoverEveryUserType()
{
    QSet<QString> used;
    for (const QString& name : exampleFiles()) {
        const SongPointer song = Song::createEmpty();
        QVERIFY(loadSong(song, QDir(QStringLiteral(ZARN_EXAMPLES_DIR)).filePath(name)));
        for (const auto& node : std::as_const(song->graph->nodes))
            used.insert(node->typeName());
    }
    QStringList missing;
    const ProcessorFactory& factory = ProcessorFactory::instance();
    for (const QString& type : factory.typeIDs())
        if (factory.characterOf(type)->userCreatable && !used.contains(type))
            missing.append(type);
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(", "))));
}

void RenderTest::examples_data()
{
    QTest::addColumn<QString>("path");
    const QDir folder(QStringLiteral(ZARN_EXAMPLES_DIR));
    for (const QString& name : exampleFiles())
        QTest::newRow(qPrintable(name)) << folder.filePath(name);
}

// Each example renders as zarn-render renders it: to its sequence end, finite, heard,
// and not beyond full scale, which a 16-bit file would clip. Played again from its begin
// without reopening, it sounds the same to the sample, and listening left the song as it was.
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
        while (!session.done()) {
            const qsizetype frames = session.next();
            samples.append(QList<double>(session.data(), session.data() + frames));
        }
        return samples;
    };
    const QList<double> first = play();
    QCOMPARE(quint64(first.size()), expected);
    double energy = 0.0;
    double peak = 0.0;
    for (qsizetype i = 0; i < first.size(); ++i) {
        QVERIFY2(std::isfinite(first[i]), qPrintable(QString::number(i)));
        energy += first[i] * first[i];
        peak = std::max(peak, std::abs(first[i]));
    }
    const double rms = std::sqrt(energy / double(expected));
    QVERIFY2(rms > kSilenceFloor, qPrintable(QString::number(rms)));
    QVERIFY2(peak <= 1.0, qPrintable(QString::number(peak)));

    QVERIFY(play() == first);
    song->sequencer->position.playPos.sample = playedFrom;
    QCOMPARE(songfile::encode(*song), opened);
}

QTEST_GUILESS_MAIN(RenderTest)
#include "core/EngineRate.h"
#include "tst_render.moc"
