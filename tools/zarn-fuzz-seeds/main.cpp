// Writes the seed corpora of the fuzz targets: small, valid encodings that the
// fuzzer mutates from. Run it with the repository's fuzz/corpus folder as
// argument.
#include "song/DataStream.h"
#include "song/Graph.h"
#include "song/Song.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <functional>

namespace {

QByteArray encode(const std::function<void(QDataStream &)> &write) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QDataStream stream(&buffer);
  datastream::prepare(stream);
  write(stream);
  return bytes;
}

bool save(const QString &path, const QByteArray &bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

// Output fed by Input, each with a pattern holding sparse rows.
SongPointer smallSong() {
  const auto song = Song::createEmpty();
  const auto input = zarn::Node::create(QStringLiteral("Input"), song);
  const auto output = zarn::Node::create(QStringLiteral("Output"), song);
  for (const auto &node : {input, output}) {
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

bool writeGraphSeeds(const QDir &corpus) {
  const QDir dir(corpus.filePath(QStringLiteral("graph_stream")));
  QDir().mkpath(dir.path());
  const auto empty = Song::createEmpty();
  const auto song = smallSong();
  const auto unknown = smallSong();
  unknown->graph->nodes.first()->processor.clear();
  return save(dir.filePath("empty.bin"),
              encode([&](QDataStream &s) { empty->graph->write(s); })) &&
         save(dir.filePath("two-nodes.bin"),
              encode([&](QDataStream &s) { song->graph->write(s); })) &&
         save(dir.filePath("unknown-type.bin"),
              encode([&](QDataStream &s) { unknown->graph->write(s); }));
}

} // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FUZZ_CORPUS_DIR\n", argv[0]);
    return 2;
  }
  const QDir corpus(QString::fromLocal8Bit(argv[1]));
  return writeGraphSeeds(corpus) ? 0 : 1;
}
