// zarn-peer-songs: writes the songs that match the peer's patches into a folder, for
// bench/peer/side-by-side to render.
#include "PeerSongs.h"

#include "song/SongFile.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

namespace {

// Saving logs every record; only failures matter here.
void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

void print(const QString& line)
{
    std::fprintf(stderr, "%s\n", qPrintable(line));
}

bool writeSong(const PeerSong& peer, const QDir& folder)
{
    SongSketch sketch = peer.make();
    sketch.arrange();
    sketch.checkWiring();
    for (const QString& problem : sketch.problems())
        print(QStringLiteral("%1: %2").arg(peer.fileName, problem));
    const QString path = folder.filePath(peer.fileName);
    if (!sketch.problems().isEmpty())
        return false;
    if (!saveSong(sketch.song(), path)) {
        print(QStringLiteral("%1: cannot write %2").arg(peer.fileName, path));
        return false;
    }
    print(QStringLiteral("wrote %1").arg(path));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quietHandler);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.size() != 1) {
        print(QStringLiteral("usage: zarn-peer-songs DIR"));
        return 2;
    }
    const QDir folder(arguments.first());
    if (!QDir().mkpath(folder.path())) {
        print(QStringLiteral("cannot create %1").arg(folder.path()));
        return 1;
    }
    bool ok = true;
    for (const PeerSong& peer : peerSongs())
        ok = writeSong(peer, folder) && ok;
    return ok ? 0 : 1;
}
