#include "CapturedMessages.h"
#include "HandBytes.h"
#include "song/Graph.h"
#include "song/Sequencer.h"
#include "song/Song.h"
#include "song/SongFile.h"

#include <QtTest>

#include <unistd.h>

using namespace handbytes;

namespace {

const QString kWrongMagic = QStringLiteral("Wrong MAGIC found in file while loading, skipping...");
const QString kWrongVersion
    = QStringLiteral("Wrong VERSION found in file while loading, skipping...");
const QString kDamaged = QStringLiteral("Damaged song file, skipping...");
const QString kCannotSave = QStringLiteral("Could not open file for saving, skipping...");

QByteArray header(qint8 flag)
{
    return QByteArray("SING") + u32(1) + i8(flag);
}
// A default position: 64 samples per tick, 16 ticks per step, everything else zero.
QByteArray defaultPosition()
{
    return u32(64) + u32(16) + u32(0) + u32(0) + u32(0) + u32(0) + u32(0);
}
// The Input processor's schema: two node parameters, no track parameters.
QByteArray inputSchema()
{
    return i64(2) + u32(2) + utf16("BPM") + utf16("Beats Per Minute") + u32(0) + u32(255) + u32(255)
        + u32(128) + i8(0) + u32(4) + utf16("Volume") + utf16("Final output volume") + u32(0)
        + u32(65535) + u32(65535) + u32(32767) + i8(0) + i64(0);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// The serialised song inside a compressed file.
QByteArray bodyOf(const QByteArray& file)
{
    return qUncompress(file.mid(header(1).size() + 4));
}

PatternPointer patternWithRows(const zarn::NodePointer& node, const QString& uniqueID)
{
    auto pattern = PatternPointer::create(QStringLiteral("00"), node, 4);
    pattern->uniqueID = uniqueID;
    auto row = RowPointer::create();
    row->cells = { 7, 9 };
    pattern->setRow(1, row);
    return pattern;
}

// One Input node "In" with a sparse pattern and a track starting it, then a null slot.
SongPointer smallSong()
{
    const auto song = Song::createEmpty();
    const auto node = zarn::Node::create(QStringLiteral("Input"), song);
    node->name = QStringLiteral("In");
    node->uniqueID = QStringLiteral("n1");
    node->position = QPointF(1.5, -2.0);
    const auto pattern = patternWithRows(node, QStringLiteral("p1"));
    node->addPattern(pattern);
    song->graph->addNode(node);
    const auto track = song->sequencer->addTrack(node);
    track->uniqueID = QStringLiteral("t1");
    track->setEntry(0, pattern);
    track->entries.resize(2);
    return song;
}

// The stored form of a song, to prove a failed load left it as it was.
QByteArray fingerprint(const SongPointer& song)
{
    return songfile::encode(*song) + i8(song->changed);
}

} // namespace

class SongFileTest : public QObject {
    Q_OBJECT

private slots:
    void init();

    void refusesForeignHeaders_data();
    void refusesForeignHeaders();
    void refusesMissingSongOrFile();
    void failedSaveKeepsThePreviousFile_data();
    void failedSaveKeepsThePreviousFile();
    void emptySongHoldsOnlyCountsAndPosition();
    void smallSongMatchesHandDerivedBytes();
    void everyFlagLoadsTheSameSong_data();
    void everyFlagLoadsTheSameSong();
    void roundTripKeepsTheStoredModel();
    void oversizedSongIsStoredUncompressed();
    void newSongHasTheIntrinsicNodes();
    void hostileFilesChangeNothing_data();
    void hostileFilesChangeNothing();
    void truncationAtEveryLengthFails_data();
    void truncationAtEveryLengthFails();

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }
};

void SongFileTest::init()
{
    QVERIFY(m_dir.isValid());
}

void SongFileTest::refusesForeignHeaders_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    const QByteArray body = i64(0) + i64(0) + defaultPosition() + i64(0);
    QTest::newRow("other letters") << QByteArray("SONG") + u32(1) + i8(0) + body << kWrongMagic;
    QTest::newRow("lower case") << QByteArray("sing") + u32(1) + i8(0) + body << kWrongMagic;
    QTest::newRow("shorter than the magic") << QByteArray("SIN") << kWrongMagic;
    QTest::newRow("empty file") << QByteArray() << kWrongMagic;
    QTest::newRow("version 2") << QByteArray("SING") + u32(2) + i8(0) + body << kWrongVersion;
    QTest::newRow("version 0") << QByteArray("SING") + u32(0) + i8(0) + body << kWrongVersion;
    QTest::newRow("no version") << QByteArray("SING") << kWrongVersion;
    QTest::newRow("no flag") << QByteArray("SING") + u32(1) << kDamaged;
}

void SongFileTest::refusesForeignHeaders()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    writeFile(path("foreign.zarn"), bytes);
    const auto song = Song::createNewSong(16);
    const QByteArray before = fingerprint(song);
    QTest::ignoreMessage(QtWarningMsg, qPrintable(message));
    const songfile::LoadReport report = loadSongReport(song, path("foreign.zarn"));
    QVERIFY(!report.ok);
    QCOMPARE(report.message, message);
    QCOMPARE(fingerprint(song), before);
}

void SongFileTest::refusesMissingSongOrFile()
{
    QTest::ignoreMessage(QtWarningMsg, "No song to load, skipping...");
    QVERIFY(!loadSong({}, path("none.zarn")));
    QTest::ignoreMessage(QtWarningMsg, "Could not open file for loading, skipping...");
    QVERIFY(!loadSong(Song::createEmpty(), path("none.zarn")));
    QTest::ignoreMessage(QtWarningMsg, "No song to save, skipping...");
    QVERIFY(!saveSong({}, path("none.zarn")));
    QVERIFY(!QFile::exists(path("none.zarn")));
}

void SongFileTest::failedSaveKeepsThePreviousFile_data()
{
    QTest::addColumn<bool>("overDirectory");
    QTest::newRow("path is a directory") << true;
    QTest::newRow("read-only directory") << false;
}

void SongFileTest::failedSaveKeepsThePreviousFile()
{
    QFETCH(bool, overDirectory);
    if (!overDirectory && geteuid() == 0)
        QSKIP("a read-only directory does not stop root");
    const QString folder = path("kept");
    QVERIFY(QDir().mkpath(folder));
    const QString previous = folder + "/song.zarn";
    const QByteArray old("previous contents");
    writeFile(previous, old);
    const QString target = overDirectory ? folder : previous;
    if (!overDirectory)
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));

    const auto song = smallSong();
    QTest::ignoreMessage(QtWarningMsg, qPrintable(kCannotSave));
    const bool saved = saveSong(song, target);
    QFile::setPermissions(
        folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY(!saved);
    QVERIFY(song->changed);
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(readFile(previous), old);
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList { "song.zarn" });
}

void SongFileTest::emptySongHoldsOnlyCountsAndPosition()
{
    QTest::ignoreMessage(QtDebugMsg, qPrintable("Saving " + path("empty.zarn")));
    QTest::ignoreMessage(QtDebugMsg, "Song un-tainted by saveSong");
    QVERIFY(saveSong(Song::createEmpty(), path("empty.zarn")));
    const QByteArray file = readFile(path("empty.zarn"));
    QCOMPARE(file.left(9), header(1));
    const quint32 blockSize = qFromBigEndian<quint32>(file.constData() + 9);
    QCOMPARE(qsizetype(9 + 4 + blockSize), file.size());
    // node count, connection count, position, track count
    QCOMPARE(file.mid(13, 4), u32(8 + 8 + 28 + 8));
    const QByteArray body = bodyOf(file);
    QCOMPARE(body.size(), 52);
    QCOMPARE(body.toHex(), (i64(0) + i64(0) + defaultPosition() + i64(0)).toHex());
}

void SongFileTest::smallSongMatchesHandDerivedBytes()
{
    const QByteArray pattern = utf16("00") + utf16("p1") + u32(4) + i64(2) + i8(0) + i8(1) + u32(1)
        + i64(2) + u32(7) + u32(9);
    const QByteArray node = utf16("In") + utf16("n1") + f64(1.5) + f64(-2.0) + utf16("Input")
        + inputSchema() + i64(1) + pattern;
    const QByteArray track
        = utf16("t1") + i64(2) + chars("pattern") + utf16("p1") + chars("pattern") + utf16("");
    const QByteArray expected = i64(1) + node + i64(0) + defaultPosition() + i64(1) + track;

    const QByteArray file = songfile::encode(*smallSong());
    QCOMPARE(file.left(9), header(1));
    QCOMPARE(file.mid(13, 4), u32(quint32(expected.size())));
    QCOMPARE(bodyOf(file).toHex(), expected.toHex());
}

void SongFileTest::everyFlagLoadsTheSameSong_data()
{
    QTest::addColumn<qint8>("flag");
    QTest::newRow("uncompressed") << qint8(0);
    QTest::newRow("compressed") << qint8(1);
    QTest::newRow("any non-zero flag is compressed") << qint8(-1);
}

void SongFileTest::everyFlagLoadsTheSameSong()
{
    QFETCH(qint8, flag);
    const auto source = smallSong();
    const QByteArray compressed = songfile::encode(*source);
    const QByteArray body = flag ? compressed.mid(header(1).size()) : bodyOf(compressed);
    writeFile(path("flag.zarn"), header(flag) + body);

    const auto song = Song::createNewSong(16);
    QVERIFY(loadSong(song, path("flag.zarn")));
    QCOMPARE(songfile::encode(*song), compressed);
    QCOMPARE(song->graph->nodes.first()->uniqueID, QStringLiteral("n1"));
}

void SongFileTest::roundTripKeepsTheStoredModel()
{
    const auto source = Song::createNewSong(16);
    const auto output = source->graph->nodes.first();
    const auto input = zarn::Node::create(QStringLiteral("Input"), source);
    input->setPosition(QPointF(-40.25, 1e6));
    input->setName(QStringLiteral("Mic ü"));
    const auto sparse = patternWithRows(input, QStringLiteral("sparse"));
    sparse->setRow(3, RowPointer::create(Row { { 1, 2, 3, 4, 5 } }));
    sparse->lanes = 3;
    input->addPattern(sparse);
    source->graph->addNode(input);
    QVERIFY(source->graph->connect(input, output).ok);
    const TrackPointer track = source->sequencer->tracks.first();
    track->setEntry(0, output->patterns.first());
    track->setBreak(2);
    track->entries.append(EntryPointer::create(Entry { Entry::MuteEntry, {} }));
    Position& stored = source->sequencer->position;
    stored.samplesPerTickValue = 5512;
    stored.ticksPerStepValue = 8;
    stored.scrollStep = 3;
    stored.cursor.sample = 11;
    stored.playPos.sample = 22;
    stored.sequenceBegin.sample = 33;
    stored.sequenceEnd.sample = 44;
    stored.beatsPerMinute = 150;
    QVERIFY(saveSong(source, path("round.zarn")));
    QVERIFY(!source->changed);

    const auto song = Song::createNewSong(4);
    const auto graph = song->graph;
    const auto sequencer = song->sequencer;
    Position& position = sequencer->position;
    position.beatsPerMinute = 140;
    position.scrollHeight = 12;
    position.loopBegin.sample = 123;
    song->taint(QStringLiteral("edit"));
    QTest::ignoreMessage(QtDebugMsg, "Song un-tainted by loadSong");
    QVERIFY(loadSong(song, path("round.zarn")));
    QVERIFY(!song->changed);

    // The song keeps its graph and sequencer objects; their contents are the file's.
    QCOMPARE(song->graph, graph);
    QCOMPARE(song->sequencer, sequencer);
    QCOMPARE(graph->nodes.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const auto& expected = source->graph->nodes.at(i);
        const auto& node = graph->nodes.at(i);
        QCOMPARE(node->uniqueID, expected->uniqueID);
        QCOMPARE(node->name, expected->name);
        QCOMPARE(node->position, expected->position);
        QCOMPARE(node->typeName(), expected->typeName());
        QCOMPARE(node->song.toStrongRef(), song);
    }
    const auto loadedInput = graph->nodes.at(1);
    const auto loaded = loadedInput->patterns.first();
    QCOMPARE(loaded->uniqueID, QStringLiteral("sparse"));
    QCOMPARE(loaded->length, 4);
    QCOMPARE(loaded->lanes, 1);
    QCOMPARE(loaded->rows.size(), 4);
    QVERIFY(!loaded->rowAt(0) && !loaded->rowAt(2));
    QCOMPARE(loaded->rowAt(1)->cells, (QList<quint32> { 7, 9 }));
    QCOMPARE(loaded->rowAt(3)->cells, (QList<quint32> { 1, 2, 3, 4, 5 }));
    QCOMPARE(loaded->node.toStrongRef(), loadedInput);

    QCOMPARE(graph->connections.size(), 1);
    QCOMPARE(graph->connections.first()->from, loadedInput);
    QCOMPARE(graph->connections.first()->to, graph->nodes.first());
    QCOMPARE(graph->connections.first()->song.toStrongRef(), song);

    QCOMPARE(sequencer->tracks.size(), 1);
    const TrackPointer loadedTrack = sequencer->tracks.first();
    QCOMPARE(loadedTrack->uniqueID, track->uniqueID);
    QCOMPARE(loadedTrack->node, graph->nodes.first());
    QCOMPARE(loadedTrack->entries.size(), 4);
    QCOMPARE(loadedTrack->entryAt(0)->pattern, graph->nodes.first()->patterns.first());
    QVERIFY(!loadedTrack->entryAt(1));
    QCOMPARE(loadedTrack->entryAt(2)->type, qint32(Entry::BreakEntry));
    QCOMPARE(loadedTrack->entryAt(3)->type, qint32(Entry::MuteEntry));

    QCOMPARE(position.samplesPerTick(), 5512);
    QCOMPARE(position.ticksPerStep(), 8);
    QCOMPARE(position.scrollStep, 3);
    QCOMPARE((QList<qint32> { position.cursor.sample, position.playPos.sample,
                 position.sequenceBegin.sample, position.sequenceEnd.sample }),
        (QList<qint32> { 11, 22, 33, 44 }));
    QCOMPARE(position.beatsPerMinute, 140);
    QCOMPARE(position.scrollHeight, 12);
    QCOMPARE(position.loopBegin.sample, 123);
    QCOMPARE(position.cursor.provider, &position);

    // Edits after the load mark the loaded song, not the one it was read into.
    loadedInput->addPattern(PatternPointer::create(QStringLiteral("01"), loadedInput, 16));
    QVERIFY(song->changed);
    QCOMPARE(song->changeReason, QStringLiteral("addPattern"));
}

void SongFileTest::oversizedSongIsStoredUncompressed()
{
    // Random cells do not compress: 300000 of them make a block over the 1 MiB a reader trusts.
    const auto source = smallSong();
    auto row = RowPointer::create();
    row->cells.resize(300000);
    QRandomGenerator random(7);
    random.fillRange(row->cells.data(), row->cells.size());
    source->graph->nodes.first()->patterns.first()->setRow(2, row);

    const QByteArray file = songfile::encode(*source);
    QCOMPARE(file.left(9), header(0));
    const auto song = Song::createEmpty();
    QVERIFY(songfile::decode(song, file).ok);
    QCOMPARE(song->graph->nodes.first()->patterns.first()->rowAt(2)->cells, row->cells);
}

void SongFileTest::newSongHasTheIntrinsicNodes()
{
    // Of the catalogue only "Output" is intrinsic to a song, and it also asks for a track.
    const auto song = Song::createNewSong(32);
    QVERIFY(!song->changed);
    QCOMPARE(song->graph->nodes.size(), 1);
    const auto output = song->graph->nodes.first();
    QCOMPARE(output->name, QStringLiteral("Output"));
    QCOMPARE(output->typeName(), QStringLiteral("Output"));
    QCOMPARE(output->position, QPointF(800, 500));
    QCOMPARE(output->uniqueID.size(), 20);
    QCOMPARE(output->patterns.size(), 1);
    QCOMPARE(output->patterns.first()->name, QStringLiteral("00"));
    QCOMPARE(output->patterns.first()->length, 32);
    QCOMPARE(output->patterns.first()->node.toStrongRef(), output);
    QCOMPARE(song->sequencer->tracks.size(), 1);
    QCOMPARE(song->sequencer->tracks.first()->node, output);
    QVERIFY(song->sequencer->tracks.first()->entries.isEmpty());
    QVERIFY(song->graph->connections.isEmpty());
}

void SongFileTest::hostileFilesChangeNothing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray emptyGraph = i64(0) + i64(0);
    const QByteArray nodeStart
        = utf16("In") + utf16("n1") + f64(0) + f64(0) + utf16("Input") + inputSchema();
    const QByteArray valid = songfile::encode(*smallSong());
    QTest::newRow("huge node count") << header(0) + i64(Q_INT64_C(1) << 40) + nodeStart;
    QTest::newRow("negative node count") << header(0) + i64(-3) + nodeStart;
    QTest::newRow("huge pattern count") << header(0) + i64(1) + nodeStart + i64(Q_INT64_C(1) << 60);
    QTest::newRow("huge connection count")
        << header(0) + i64(0) + i64(Q_INT64_C(1) << 33) + utf16("a") + utf16("b");
    QTest::newRow("huge track count")
        << header(0) + emptyGraph + defaultPosition() + i64(Q_INT64_C(1) << 40);
    QTest::newRow("huge entry count") << header(0) + emptyGraph + defaultPosition() + i64(1)
            + utf16("t") + i64(Q_INT64_C(1) << 50);
    QTest::newRow("huge type name") << header(0) + emptyGraph + defaultPosition() + i64(1)
            + utf16("t") + i64(1) + u32(0xFFFFFFF0) + QByteArray(16, 'x');
    QTest::newRow("truncated entry") << header(0) + emptyGraph + defaultPosition() + i64(1)
            + utf16("t") + i64(2) + chars("break") + utf16("");
    QTest::newRow("huge string") << header(0) + i64(1) + u32(0xFFFFFFF0) + QByteArray(64, 'x');
    QTest::newRow("unknown node type") << header(0) + i64(1) + utf16("X") + utf16("x") + f64(0)
            + f64(0) + utf16("NoSuchType") + i64(0) + i64(0) + i64(0) + i64(0) + defaultPosition()
            + i64(0);
    const QByteArray zlib = qCompress(QByteArray(64, 'z')).mid(4);
    QTest::newRow("block claiming 4 GB")
        << header(1) + u32(quint32(4 + zlib.size())) + u32(0xFFFFFFFF) + zlib;
    QTest::newRow("block claiming more than zlib can give")
        << header(1) + u32(quint32(4 + zlib.size())) + u32(quint32(zlib.size() * 2000)) + zlib;
    QTest::newRow("block claiming less than it holds")
        << header(1) + u32(quint32(4 + zlib.size())) + u32(10) + zlib;
    QTest::newRow("block longer than the file") << header(1) + u32(0x7FFFFFFF) + valid.mid(13);
    QTest::newRow("block too short for a claim") << header(1) + u32(2) + QByteArray(2, '\0');
    const QByteArray oversized(1024 * 1024 + 1, '\0');
    QTest::newRow("block over the size limit")
        << header(1) + u32(quint32(oversized.size())) + u32(1000) + oversized;
    QTest::newRow("block of garbage") << header(1) + u32(36) + u32(32) + QByteArray(32, '\x5a');
    QRandomGenerator random(20240601);
    for (int size : { 8, 64, 1000 }) {
        QByteArray garbage(size, Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32*>(garbage.data()), size / 4);
        QTest::addRow("garbage of %d bytes, uncompressed", size) << header(0) + garbage;
        QTest::addRow("garbage of %d bytes, compressed", size) << header(1) + garbage;
    }
}

void SongFileTest::hostileFilesChangeNothing()
{
    QFETCH(QByteArray, bytes);
    const auto song = Song::createNewSong(16);
    const QByteArray before = fingerprint(song);
    songfile::LoadReport report;
    {
        CapturedMessages messages;
        report = songfile::decode(song, bytes);
        QVERIFY(messages.lines().contains(kDamaged));
    }
    QVERIFY(!report.ok);
    QCOMPARE(report.message, kDamaged);
    QCOMPARE(fingerprint(song), before);
}

void SongFileTest::truncationAtEveryLengthFails_data()
{
    QTest::addColumn<bool>("compressed");
    QTest::newRow("compressed") << true;
    QTest::newRow("uncompressed") << false;
}

void SongFileTest::truncationAtEveryLengthFails()
{
    QFETCH(bool, compressed);
    const auto source = Song::createNewSong(4);
    source->graph->addNode(smallSong()->graph->nodes.first());
    source->sequencer->tracks.first()->setBreak(3);
    const QByteArray encoded = songfile::encode(*source);
    const QByteArray file = compressed ? encoded : header(0) + bodyOf(encoded);

    const auto song = Song::createNewSong(16);
    const QByteArray before = fingerprint(song);
    CapturedMessages messages;
    for (qsizetype size = 0; size < file.size(); ++size) {
        const songfile::LoadReport report = songfile::decode(song, file.left(size));
        const QString expected = size < 4 ? kWrongMagic : size < 8 ? kWrongVersion : kDamaged;
        QVERIFY2(!report.ok && report.message == expected, qPrintable(QString::number(size)));
    }
    QCOMPARE(fingerprint(song), before);
    QVERIFY(songfile::decode(song, file).ok);
}

QTEST_GUILESS_MAIN(SongFileTest)
#include "tst_song_file.moc"
