#include "CapturedMessages.h"
#include "HandBytes.h"
#include "core/DataStream.h"
#include "processors/InstrumentTesting.h"
#include "processors/ProcessorFactory.h"
#include "processors/sources/SampleProcessor.h"
#include "song/Graph.h"
#include "song/Sequencer.h"
#include "song/Song.h"
#include "song/SongFile.h"
#include "song/SongInfoModel.h"

#include <QtTest>

#include <unistd.h>

using namespace handbytes;

namespace {

const QString kWrongMagic = "Wrong MAGIC found in file while loading, skipping...";
const QString kWrongVersion = "Wrong VERSION found in file while loading, skipping...";
const QString kDamaged = "Damaged song file, skipping...";

QByteArray header(qint8 flag)
{
    return QByteArray("SING") + u32(1) + i8(flag);
}
// A default position: 64 samples per tick, 16 ticks per step, everything else zero.
const QByteArray kPosition = u32(64) + u32(16) + QByteArray(5 * 4, '\0');
const QByteArray kEmptySong = i64(0) + i64(0) + kPosition + i64(0);
// The Input processor's schema: two node parameters, no track parameters.
const QByteArray kInputSchema = i64(2) + u32(2) + utf16("BPM") + utf16("Beats Per Minute") + u32(0)
    + u32(255) + u32(255) + u32(128) + i8(0) + u32(4) + utf16("Volume")
    + utf16("Final output volume") + u32(0) + u32(65535) + u32(65535) + u32(32767) + i8(0) + i64(0);

// Keeps one number outside the version-1 layout and refuses a record of any other size.
struct KeeperProcessor final : Processor {
    KeeperProcessor()
        : Processor(ProcessorCharacter("Keeper", false, false, false, false, false, false))
    {
    }
    SchemaPointer schema() const override { return SchemaPointer::create(); }
    void saveExtension(QDataStream& stream) override
    {
        if (kept)
            stream << kept;
    }
    bool loadExtension(QDataStream& stream) override
    {
        if (stream.device()->size() != 4)
            return false;
        stream >> kept;
        return true;
    }
    quint32 kept = 0;
};

QByteArray record(const char* tag, const QByteArray& payload)
{
    return QByteArray(tag) + u32(quint32(payload.size())) + payload;
}
QByteArray section(quint32 count, const QByteArray& records)
{
    return QByteArray("ZEXT") + u32(1) + u32(count) + records;
}
const QByteArray kTitleSmall = record("INFO", u32(1) + utf16("Title") + utf16("Small"));
// The extension section of smallSong: its one tag, its muted node without processor bytes.
const QByteArray kSmallSection
    = section(2, kTitleSmall + record("NODE", utf16("n1") + i8(1) + u32(0)));
// A version-1 file holding one Keeper node "k1" without patterns.
const QByteArray kKeeperSong = header(0) + i64(1) + utf16("K") + utf16("k1") + f64(0) + f64(0)
    + utf16("Keeper") + i64(0) + i64(0) + i64(0) + i64(0) + kPosition + i64(0);

// The serialised song inside a compressed file.
QByteArray bodyOf(const QByteArray& file)
{
    return qUncompress(file.mid(header(1).size() + 4));
}

// One Input node "In" with a pattern of four ticks, only tick 1 set, and a track starting
// it, then a null slot, a break and a mute; the cursor and play position have moved.
SongPointer smallSong()
{
    const auto song = Song::createEmpty();
    const auto node = zarn::Node::create("Input", song);
    node->name = "In";
    node->uniqueID = "n1";
    node->position = QPointF(1.5, -2.0);
    const auto pattern = PatternPointer::create("00", node, 4);
    pattern->uniqueID = "p1";
    pattern->setRow(1, RowPointer::create(Row { { 7, 9 } }));
    node->addPattern(pattern);
    song->graph->addNode(node);
    const auto track = song->sequencer->addTrack(node);
    track->uniqueID = "t1";
    track->setEntry(0, pattern);
    track->setBreak(2);
    track->entries.append(EntryPointer::create(Entry { Entry::MuteEntry, {} }));
    Position& position = song->sequencer->position;
    position.scrollStep = 2;
    position.cursor.sample = 1024;
    position.playPos.sample = 5;
    position.sequenceEnd.sample = 4096;
    position.loopBegin.sample = 77; // not stored
    song->tags = { { "Title", "Small" } };
    node->muted = true;
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
    void initTestCase();
    void smallSongMatchesHandDerivedBytes();
    void saveAndLoadKeepTheStoredModel();
    void failedSaveKeepsThePreviousFile_data();
    void failedSaveKeepsThePreviousFile();
    void refusedFilesChangeNothing_data();
    void refusedFilesChangeNothing();
    void truncationAtEveryLengthFails_data();
    void truncationAtEveryLengthFails();
    void extensionSections_data();
    void extensionSections();
    void processorRecordsAreWrittenAsIs();
    void aSamplePlaysTheSameAfterSaveAndOpen_data();
    void aSamplePlaysTheSameAfterSaveAndOpen();

private:
    QTemporaryDir m_dir;
};

void SongFileTest::initTestCase()
{
    ProcessorFactory::instance().registerType(
        [](int) { return QSharedPointer<Processor>(new KeeperProcessor); });
}

// The version-1 layout comes first, unchanged, so a version-1 reader gets the same song and
// stops where the extension section begins.
void SongFileTest::smallSongMatchesHandDerivedBytes()
{
    const QByteArray pattern = utf16("00") + utf16("p1") + u32(4) + i64(2) + i8(0) + i8(1) + u32(1)
        + i64(2) + u32(7) + u32(9);
    const QByteArray node = utf16("In") + utf16("n1") + f64(1.5) + f64(-2.0) + utf16("Input")
        + kInputSchema + i64(1) + pattern;
    // A null slot is stored as a pattern entry without a pattern.
    const QByteArray track = utf16("t1") + i64(4) + chars("pattern") + utf16("p1")
        + chars("pattern") + utf16("") + chars("break") + utf16("") + chars("mute") + utf16("");
    const QByteArray position
        = u32(64) + u32(16) + u32(2) + u32(1024) + u32(5) + u32(0) + u32(4096);
    const QByteArray expected = i64(1) + node + i64(0) + position + i64(1) + track;
    CapturedMessages messages;
    const QByteArray file = songfile::encode(*smallSong());
    QCOMPARE(file.left(9), header(1));
    // The compressed block's size, then the length it claims.
    QCOMPARE(file.mid(9, 4), u32(quint32(file.size() - 13)));
    QCOMPARE(file.mid(13, 4), u32(quint32(expected.size() + kSmallSection.size())));
    const QByteArray body = bodyOf(file);
    QCOMPARE(body.toHex(), (expected + kSmallSection).toHex());
    QDataStream stream(body);
    datastream::prepare(stream);
    const auto versionOne = Song::createEmpty();
    versionOne->graph->read(stream);
    versionOne->sequencer->read(stream, *versionOne->graph);
    QVERIFY(datastream::healthy(stream));
    QCOMPARE(stream.device()->pos(), expected.size());
    QCOMPARE(bodyOf(songfile::encode(*versionOne)).left(expected.size()).toHex(), expected.toHex());
}

void SongFileTest::saveAndLoadKeepTheStoredModel()
{
    const auto source = smallSong();
    source->graph->nodes.first()->patterns.first()->lanes = 3;
    const QString path = m_dir.filePath("round.zarn");
    CapturedMessages messages;
    QVERIFY(saveSong(source, path));
    QVERIFY(!source->changed);
    const auto song = Song::createNewSong(32);
    // The song keeps its graph and sequencer objects, and what the file does not hold.
    const auto graph = song->graph;
    const auto sequencer = song->sequencer;
    Position& position = sequencer->position;
    position.beatsPerMinute = 140;
    position.scrollHeight = 12;
    position.loopBegin.sample = 123;
    song->taint("edit");
    QVERIFY(loadSong(song, path));
    QVERIFY(!song->changed);
    QCOMPARE(song->graph, graph);
    QCOMPARE(song->sequencer, sequencer);
    QCOMPARE((QList<int> { position.beatsPerMinute, position.scrollHeight,
                 position.loopBegin.sample, position.cursor.step() }),
        (QList<int> { 140, 12, 123, 1 }));
    // Everything loaded refers to the song it was read into.
    const auto loaded = graph->nodes.first();
    QCOMPARE(loaded->song.toStrongRef(), song);
    QCOMPARE(loaded->patterns.first()->node.toStrongRef(), loaded);
    QCOMPARE(loaded->patterns.first()->lanes, 1); // not stored
    QCOMPARE(song->tags, source->tags);
    QVERIFY(loaded->muted && !loaded->solo);
}

void SongFileTest::failedSaveKeepsThePreviousFile_data()
{
    QTest::addColumn<bool>("overFolder");
    QTest::newRow("a folder in the way") << true;
    QTest::newRow("read-only folder") << false;
}

void SongFileTest::failedSaveKeepsThePreviousFile()
{
    QFETCH(bool, overFolder);
    if (!overFolder && geteuid() == 0)
        QSKIP("a read-only folder does not stop root");
    const QString folder = m_dir.filePath("kept");
    QVERIFY(QDir().mkpath(folder));
    QFile previous(folder + "/song.zarn");
    QVERIFY(previous.open(QIODevice::WriteOnly) && previous.write("previous") == 8);
    previous.close();
    const auto rw = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    QFile::setPermissions(folder, overFolder ? rw : QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const auto song = smallSong();
    QTest::ignoreMessage(QtWarningMsg, "Could not open file for saving, skipping...");
    const bool saved = saveSong(song, overFolder ? folder : previous.fileName());
    QFile::setPermissions(folder, rw);
    QVERIFY(!saved && song->changed);
    QVERIFY(previous.open(QIODevice::ReadOnly));
    QCOMPARE(previous.readAll(), QByteArray("previous"));
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList { "song.zarn" });
}

void SongFileTest::refusedFilesChangeNothing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QTest::newRow("SONG") << QByteArray("SONG") + u32(1) + i8(0) + kEmptySong << kWrongMagic;
    QTest::newRow("shorter than the magic") << QByteArray("SIN") << kWrongMagic;
    QTest::newRow("version 2") << QByteArray("SING") + u32(2) + i8(0) + kEmptySong << kWrongVersion;
    QTest::newRow("no flag") << QByteArray("SING") + u32(1) << kDamaged;
    const QByteArray emptyGraph = i64(0) + i64(0);
    const QByteArray track = emptyGraph + kPosition + i64(1) + utf16("t");
    const QByteArray node
        = utf16("In") + utf16("n1") + f64(0) + f64(0) + utf16("Input") + kInputSchema;
    QTest::newRow("huge node count") << header(0) + i64(1LL << 40) + node << kDamaged;
    QTest::newRow("negative node count") << header(0) + i64(-3) + node << kDamaged;
    QTest::newRow("huge pattern count") << header(0) + i64(1) + node + i64(1LL << 60) << kDamaged;
    QTest::newRow("huge connection count")
        << header(0) + i64(0) + i64(1LL << 33) + utf16("a") + utf16("b") << kDamaged;
    QTest::newRow("huge track count")
        << header(0) + emptyGraph + kPosition + i64(1LL << 40) << kDamaged;
    QTest::newRow("huge entry count") << header(0) + track + i64(1LL << 50) << kDamaged;
    // The entry count fits the data; its type name does not.
    QTest::newRow("huge entry type name")
        << header(0) + track + i64(1) + u32(0xFFFFFFF0) + QByteArray(8, 'x') << kDamaged;
    QTest::newRow("unknown node type") << header(0) + i64(1) + utf16("X") + utf16("x") + f64(0)
            + f64(0) + utf16("NoSuchType") + i64(0) + i64(0) + i64(0)
            + kEmptySong.mid(8) << kDamaged;
    const QByteArray zlib = qCompress(QByteArray(64, 'z')).mid(4);
    const QByteArray block = header(1) + u32(quint32(4 + zlib.size()));
    QTest::newRow("block claiming 4 GB") << block + u32(0xFFFFFFFF) + zlib << kDamaged;
    QTest::newRow("block claiming more than zlib can give")
        << block + u32(quint32(zlib.size() * 2000)) + zlib << kDamaged;
    QTest::newRow("block claiming less than it holds") << block + u32(10) + zlib << kDamaged;
    QTest::newRow("block past file") << header(1) + u32(0x7FFFFFFF) + u32(64) + zlib << kDamaged;
    QTest::newRow("block too short") << header(1) + u32(2) + QByteArray(2, '\0') << kDamaged;
    const QByteArray oversized(1024 * 1024 + 1, '\0');
    QTest::newRow("block over the size limit")
        << header(1) + u32(quint32(oversized.size())) + u32(1000) + oversized << kDamaged;
}

void SongFileTest::refusedFilesChangeNothing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    const auto song = Song::createNewSong(16);
    const QByteArray before = fingerprint(song);
    CapturedMessages messages;
    const songfile::LoadReport report = songfile::decode(song, bytes);
    QVERIFY(!report.ok);
    QCOMPARE(report.message, message);
    QCOMPARE(messages.lines().filter("skipping"), QStringList { message });
    QCOMPARE(fingerprint(song), before);
}

void SongFileTest::truncationAtEveryLengthFails_data()
{
    QTest::addColumn<qint8>("flag");
    QTest::newRow("compressed") << qint8(1);
    QTest::newRow("uncompressed") << qint8(0);
    QTest::newRow("any non-zero flag is compressed") << qint8(-1);
}

// Only an uncompressed file can be cut inside its extension section; its song then loads
// as if it had none.
void SongFileTest::truncationAtEveryLengthFails()
{
    QFETCH(qint8, flag);
    CapturedMessages messages;
    const QByteArray encoded = songfile::encode(*smallSong());
    const QByteArray file = header(flag) + (flag ? encoded.mid(9) : bodyOf(encoded));
    QVERIFY(flag || file.endsWith(kSmallSection));
    const qsizetype sectionStart = flag ? file.size() : file.size() - kSmallSection.size();
    const auto song = Song::createNewSong(16);
    const QByteArray before = fingerprint(song);
    for (qsizetype size = 0; size < file.size(); ++size) {
        const bool whole = size >= sectionStart;
        const auto target = whole ? Song::createNewSong(16) : song;
        const songfile::LoadReport report = songfile::decode(target, file.left(size));
        const QString expected = whole ? QString()
            : size < 4                 ? kWrongMagic
            : size < 8                 ? kWrongVersion
                                       : kDamaged;
        QVERIFY2(
            report.ok == whole && report.message == expected, qPrintable(QString::number(size)));
        QVERIFY(!whole
            || (target->tags == SongInfoModel::initialTags() && !target->graph->nodes[0]->muted));
    }
    QCOMPARE(fingerprint(song), before);
    QVERIFY(songfile::decode(song, file).ok);
    QCOMPARE(songfile::encode(*song), encoded);
}

void SongFileTest::extensionSections_data()
{
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<QString>("title"); // null: the initial tags
    QTest::addColumn<int>("flags"); // muted 1, solo 2
    QTest::addColumn<quint32>("kept");
    const QByteArray node = record("NODE", utf16("k1") + i8(3) + u32(4) + u32(7));
    const QByteArray valid = kTitleSmall + node;
    QTest::newRow("none") << QByteArray() << QString() << QString() << 0 << 0u;
    QTest::newRow("tags, flags, processor") << section(2, valid) << QString() << "Small" << 3 << 7u;
    QTest::newRow("unknown tag and node skipped") << section(
        4, record("ZZZZ", "any") + valid + record("NODE", utf16("gone") + i8(1) + u32(0)))
                                                  << QString() << "Small" << 3 << 7u;
    QTest::newRow("record longer than its reader knows")
        << section(1, record("INFO", u32(1) + utf16("Title") + utf16("Later") + "more"))
        << QString() << "Later" << 0 << 0u;
    QTest::newRow("record the processor refuses")
        << section(1, record("NODE", utf16("k1") + i8(1) + u32(2) + "xy"))
        << "Song extension: node k1 could not use its processor record" << QString() << 1 << 0u;
    // A damaged section is ignored whole: the valid records in front of the damage count too.
    const auto damaged = [&](const char* name, const QByteArray& bytes, const char* reason) {
        QTest::newRow(name) << bytes << QStringLiteral("Song extension ignored: ") + reason
                            << QString() << 0 << 0u;
    };
    damaged("bad magic", "ZEXX" + section(2, valid).mid(4), "bad magic");
    damaged("version 2", "ZEXT" + u32(2) + u32(2) + valid, "unknown version 2");
    damaged("header cut short", "ZEXT" + u32(1), "header cut short");
    damaged("record count past the data", section(1000, valid), "implausible record count");
    damaged("record count over the cap", section(65537, record("ZZZZ", "").repeated(65537)),
        "implausible record count");
    damaged("length past the end", section(3, valid + "INFO" + u32(0xFFFFFFF0) + u32(0)),
        "record past the end");
    damaged("huge tag count", section(2, node + record("INFO", u32(0xFFFF) + u32(0) + u32(0))),
        "damaged INFO record");
    damaged("repeated key",
        section(2, node + record("INFO", u32(2) + (utf16("Title") + utf16("A")).repeated(2))),
        "damaged INFO record");
    damaged("second INFO", section(3, valid + kTitleSmall), "second INFO record");
    damaged("node without size", section(3, valid + record("NODE", utf16("k2") + i8(1))),
        "damaged NODE record");
    damaged("huge processor size",
        section(3, valid + record("NODE", utf16("k2") + i8(0) + u32(~0u))), "damaged NODE record");
    damaged("node twice", section(3, valid + node), "second NODE record for one node");
    damaged("bytes after the records", section(2, valid) + i8(0), "bytes after the last record");
}

// Sections after a hand-built version-1 song: whatever the section holds, the song loads.
void SongFileTest::extensionSections()
{
    QFETCH(QByteArray, section);
    QFETCH(QString, logged);
    QFETCH(QString, title);
    QFETCH(int, flags);
    QFETCH(quint32, kept);
    const auto song = Song::createNewSong(16);
    song->tags = { { "Before", "load" } };
    CapturedMessages messages;
    QVERIFY(songfile::decode(song, kKeeperSong + section).ok);
    QCOMPARE(messages.lines().filter("Song extension"),
        logged.isEmpty() ? QStringList() : QStringList { logged });
    const QMap<QString, QString> tags { { "Title", title } };
    QCOMPARE(song->tags, title.isNull() ? SongInfoModel::initialTags() : tags);
    const zarn::NodePointer node = song->graph->nodes.first();
    QCOMPARE(int(node->muted) | int(node->solo) << 1, flags);
    QCOMPARE(node->processor.staticCast<KeeperProcessor>()->kept, kept);
}

// A processor's bytes are kept as it wrote them; a probe is never written.
void SongFileTest::processorRecordsAreWrittenAsIs()
{
    CapturedMessages messages;
    const auto song = Song::createEmpty();
    const auto keeper = zarn::Node::create("Keeper", song);
    keeper->uniqueID = "k1";
    keeper->solo = true;
    keeper->processor.staticCast<KeeperProcessor>()->kept = 0x01020304;
    const auto probe = zarn::Node::create("Keeper", song);
    probe->uniqueID = "probe";
    probe->muted = true;
    song->graph->addNode(keeper);
    song->graph->attachProbe(probe, keeper);
    const QByteArray node = utf16("k1") + i8(2) + u32(4) + u32(0x01020304);
    const QByteArray body = bodyOf(songfile::encode(*song));
    QVERIFY(body.endsWith(section(2, record("INFO", u32(0)) + record("NODE", node))));
    QVERIFY(!body.contains(utf16("probe")));
}

// Noise does not compress, so the long sample's block passes a mebibyte and the file keeps
// the song uncompressed.
void SongFileTest::aSamplePlaysTheSameAfterSaveAndOpen_data()
{
    QTest::addColumn<int>("frames");
    QTest::newRow("a short sample") << 3;
    QTest::newRow("stored uncompressed") << 400000;
}

void SongFileTest::aSamplePlaysTheSameAfterSaveAndOpen()
{
    QFETCH(int, frames);
    Sample sample { QStringLiteral("noise.wav"), QVector<float>(frames) };
    quint32 seed = 7;
    for (float& frame : sample.frames)
        frame = float((seed = seed * 1664525u + 1013904223u) >> 8) / float(1 << 24) - 0.5f;
    const auto source = Song::createNewSong(16);
    const auto node = zarn::Node::create(QStringLiteral("Sample"), source);
    node->processor.dynamicCast<SampleProcessor>()->setSample(sample);
    source->graph->addNode(node);
    const QString path = m_dir.filePath("sampled.zarn");
    QVERIFY(saveSong(source, path));
    const auto song = Song::createEmpty();
    QVERIFY(loadSong(song, path));
    const auto& loaded = song->graph->nodes.last()->processor;
    QCOMPARE(loaded.dynamicCast<SampleProcessor>()->sample(), sample);
    // A note at volume 51 plays the frames at a fifth.
    instrumentTesting::deliver(*loaded, { 60, 51 });
    const QList<double> block = instrumentTesting::render(*loaded, frames + 1);
    for (int i = 0; i < frames; ++i)
        QCOMPARE(block[i], double(sample.frames[i] * float(51 / 255.0)));
    QCOMPARE(block.last(), 0.0);
}

QTEST_GUILESS_MAIN(SongFileTest)
#include "tst_song_file.moc"
