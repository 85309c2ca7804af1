// Writes the seed corpora of the fuzz targets: small, valid encodings that the fuzzer
// mutates from. Run it with the repository's fuzz/corpus folder as argument.
#include "core/DataStream.h"
#include "fuzz/ClipboardFixture.h"
#include "processors/sources/SampleProcessor.h"
#include "song/Graph.h"
#include "song/PatternClipboard.h"
#include "song/SequenceClipboard.h"
#include "song/Sequencer.h"
#include "song/Song.h"
#include "song/SongExtension.h"
#include "song/SongFile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <functional>

namespace {

QByteArray encode(const std::function<void(QDataStream&)>& write)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QDataStream stream(&buffer);
    datastream::prepare(stream);
    write(stream);
    return bytes;
}

bool save(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// Output fed by Input, each with a pattern holding sparse rows.
SongPointer smallSong()
{
    const auto song = Song::createEmpty();
    const auto input = zarn::Node::create(QStringLiteral("Input"), song);
    const auto output = zarn::Node::create(QStringLiteral("Output"), song);
    for (const auto& node : { input, output }) {
        const auto pattern = PatternPointer::create(QStringLiteral("00"), node, 8);
        const auto row = pattern->makeNeutralRow();
        row->setCell(1, 16000, 0);
        pattern->setRow(0, row);
        pattern->setRow(5, pattern->makeNeutralRow());
        node->addPattern(pattern);
        song->graph->addNode(node);
    }
    song->graph->connect(input, output);
    return song;
}

bool writeGraphSeeds(const QDir& corpus)
{
    const QDir dir(corpus.filePath(QStringLiteral("graph_stream")));
    QDir().mkpath(dir.path());
    const auto empty = Song::createEmpty();
    const auto song = smallSong();
    const auto unknown = smallSong();
    unknown->graph->nodes.first()->processor.clear();
    return save(dir.filePath("empty.bin"), encode([&](QDataStream& s) { empty->graph->write(s); }))
        && save(
            dir.filePath("two-nodes.bin"), encode([&](QDataStream& s) { song->graph->write(s); }))
        && save(dir.filePath("unknown-type.bin"),
            encode([&](QDataStream& s) { unknown->graph->write(s); }));
}

// A new song with a Sample node holding a short sample, its nodes named "n0" and "n1" as the
// extension target's own song names them, so the sample's record reaches its reader.
SongPointer sampledSong()
{
    const auto song = Song::createNewSong(16);
    const auto sampler = zarn::Node::create(QStringLiteral("Sample"), song);
    QVector<float> frames(16);
    for (qsizetype i = 0; i < frames.size(); ++i)
        frames[i] = float(i % 4) / 4.0f - 0.5f;
    sampler->processor.dynamicCast<SampleProcessor>()->setSample({ QStringLiteral("hit"), frames });
    song->graph->addNode(sampler);
    for (qsizetype i = 0; i < song->graph->nodes.size(); ++i)
        song->graph->nodes[i]->uniqueID = QStringLiteral("n%1").arg(i);
    return song;
}

bool writeExtensionSeeds(const QDir& corpus)
{
    const QDir dir(corpus.filePath(QStringLiteral("song_extension")));
    QDir().mkpath(dir.path());
    return save(dir.filePath("sample.bin"), songextension::write(*sampledSong()));
}

// Song files: a new song, the small song with a track, and the small song stored with
// its body uncompressed (flag 0), and a song with a sample.
bool writeSongFileSeeds(const QDir& corpus)
{
    const QDir dir(corpus.filePath(QStringLiteral("load_song")));
    QDir().mkpath(dir.path());
    const auto song = smallSong();
    const auto track = song->sequencer->addTrack(song->graph->nodes.last());
    track->setEntry(0, song->graph->nodes.last()->patterns.first());
    track->setBreak(4);
    track->insertEntries(6, 2, song->graph->nodes.first()->patterns.first());
    const QByteArray file = songfile::encode(*song);
    constexpr int kHeaderSize = 9;
    constexpr int kLengthSize = 4;
    QByteArray uncompressed = file.left(kHeaderSize);
    uncompressed[kHeaderSize - 1] = 0;
    uncompressed += qUncompress(file.mid(kHeaderSize + kLengthSize));
    return save(dir.filePath("new-song.zarn"), songfile::encode(*Song::createNewSong(16)))
        && save(dir.filePath("small-song.zarn"), file)
        && save(dir.filePath("uncompressed.zarn"), uncompressed)
        && save(dir.filePath("with-sample.zarn"), songfile::encode(*sampledSong()));
}

// Clipboard blocks copied from the fixture the clipboard targets paste into: one cell, one
// lane, blocks across lanes, and sequencer blocks of one and of several tracks.
bool writeClipboardSeeds(const QDir& corpus)
{
    const QDir patterns(corpus.filePath(QStringLiteral("pattern_clipboard")));
    const QDir sequences(corpus.filePath(QStringLiteral("sequence_clipboard")));
    QDir().mkpath(patterns.path());
    QDir().mkpath(sequences.path());
    const auto song = clipboardfixture::makeSong();
    const auto node = song->graph->nodes.first();
    const auto schema = node->processor->schema();
    const auto patternSeed = [&](const char* name, const PatternRange& range) {
        const auto block = PatternBlock::copy(*node, *node->patterns.first(), *schema, range);
        return save(patterns.filePath(QString::fromLatin1(name)), block.encode());
    };
    const auto sequenceSeed = [&](const char* name, const SequenceRange& range) {
        const auto block = SequenceBlock::copy(*song->sequencer, range);
        return save(sequences.filePath(QString::fromLatin1(name)), block.encode());
    };
    return patternSeed("one-cell.bin", { 1, 1, 1, 1 })
        && patternSeed("node-parameters.bin", { 0, 5, 0, 2 })
        && patternSeed("one-lane.bin", { 0, 5, 3, 4 })
        && patternSeed("across-lanes.bin", { 0, 15, 1, 8 })
        && sequenceSeed("one-track.bin", { 1, 1, 0, 3 })
        && sequenceSeed("two-tracks.bin", { 0, 1, 0, 4 })
        && sequenceSeed("all-tracks.bin", { 0, 2, 1, 6 });
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FUZZ_CORPUS_DIR\n", argv[0]);
        return 2;
    }
    const QDir corpus(QString::fromLocal8Bit(argv[1]));
    const bool written = writeGraphSeeds(corpus) && writeSongFileSeeds(corpus)
        && writeExtensionSeeds(corpus) && writeClipboardSeeds(corpus);
    return written ? 0 : 1;
}
