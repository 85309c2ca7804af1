// Writes the example songs into a folder (the repository's examples/), then reads each
// back to make sure it loads. scripts/make-examples runs it.
#include "Examples.h"

#include "processors/ProcessorFactory.h"
#include "song/Graph.h"
#include "song/SongFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QSet>

#include <cstdio>

namespace {

bool g_verbose = false;

// Saving and loading log every record; show that only when asked.
void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (g_verbose || type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

void print(const QString& line)
{
    std::fprintf(stderr, "%s\n", qPrintable(line));
}

// Writes one example; returns the types it uses, or nothing when it failed.
bool writeExample(const Example& example, const QDir& folder, QSet<QString>& used)
{
    SongSketch sketch = example.make();
    sketch.arrange();
    sketch.checkWiring();
    for (const QString& problem : sketch.problems())
        print(QStringLiteral("%1: %2").arg(example.fileName, problem));
    if (!sketch.problems().isEmpty())
        return false;

    const QString path = folder.filePath(example.fileName);
    if (!saveSong(sketch.song(), path)) {
        print(QStringLiteral("%1: cannot write %2").arg(example.fileName, path));
        return false;
    }
    const auto report = loadSongReport(Song::createEmpty(), path);
    if (!report.ok) {
        print(QStringLiteral("%1: does not load back: %2").arg(example.fileName, report.message));
        return false;
    }
    for (const auto& node : std::as_const(sketch.song()->graph->nodes))
        used.insert(node->typeName());
    print(QStringLiteral("wrote %1 (%2 nodes)").arg(path).arg(sketch.song()->graph->nodes.size()));
    return true;
}

// Types a user can add that no example shows yet.
QStringList unusedTypes(const QSet<QString>& used)
{
    QStringList unused;
    const ProcessorFactory& factory = ProcessorFactory::instance();
    for (const QString& type : factory.typeIDs())
        if (factory.characterOf(type)->userCreatable && !used.contains(type))
            unused.append(type);
    return unused;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    g_verbose = arguments.removeAll(QStringLiteral("--verbose")) > 0;
    qInstallMessageHandler(quietHandler);
    if (arguments.size() != 1) {
        print(QStringLiteral("usage: zarn-make-examples [--verbose] EXAMPLES_DIR"));
        return 2;
    }
    const QDir folder(arguments.first());
    if (!QDir().mkpath(folder.path())) {
        print(QStringLiteral("cannot create %1").arg(folder.path()));
        return 1;
    }

    bool ok = true;
    QSet<QString> used;
    for (const Example& example : examples())
        ok = writeExample(example, folder, used) && ok;
    const QStringList unused = unusedTypes(used);
    if (!unused.isEmpty())
        print(QStringLiteral("no example uses: %1").arg(unused.join(QStringLiteral(", "))));
    return ok ? 0 : 1;
}
