#include "tools/render/RenderCommand.h"

#include "song/Sequencer.h"
#include "song/SongFile.h"
#include "tools/render/RenderOptions.h"
#include "tools/render/SongInfo.h"
#include "tools/render/SongRender.h"
#include "tools/render/WavWriter.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

namespace render {

namespace {

// Loads the song or says why not.
SongPointer loadOrExplain(const QString& path, QTextStream& err)
{
    const QFileInfo file(path);
    if (!file.isFile() || !file.isReadable()) {
        err << "zarn-render: cannot read '" << path
            << "': " << (file.exists() ? "not a readable file" : "no such file") << Qt::endl;
        return {};
    }
    const SongPointer song = Song::createEmpty();
    const songfile::LoadReport report = loadSongReport(song, path);
    if (!report.ok) {
        err << "zarn-render: '" << path << "' is not a Zarn song it can read: " << report.message
            << Qt::endl;
        return {};
    }
    return song;
}

int printInfo(const Song& song, QTextStream& out)
{
    out << QJsonDocument(songInfo(song)).toJson(QJsonDocument::Indented);
    out.flush();
    return Success;
}

int outputFailure(const QString& path, const QString& reason, QTextStream& err)
{
    err << "zarn-render: cannot write '" << path << "': " << reason << Qt::endl;
    return OutputUnwritable;
}

int renderToFile(const SongPointer& song, const Options& options, Console& console)
{
    QSaveFile file(options.outputPath);
    if (!file.open(QIODevice::WriteOnly))
        return outputFailure(options.outputPath, file.errorString(), console.err);
    wav::Writer writer(file, options.format, song->tags);
    const Length length
        = renderLength(song->sequencer->position, options.seconds, options.secondsGiven);
    SongRender session(song, quint64(options.blockFrames), length);

    QElapsedTimer clock;
    clock.start();
    bool written = writer.begin();
    while (written && !session.done()) {
        const qsizetype frames = session.next();
        written = writer.write(session.data(), frames);
        if (console.progress)
            console.progress(session.renderedFrames(), session.totalFrames());
    }
    if (!written || !writer.finish() || !file.commit())
        return outputFailure(options.outputPath, file.errorString(), console.err);

    const double seconds = double(session.renderedFrames()) / wav::kSampleRate;
    const double elapsed = std::max(double(clock.nsecsElapsed()) / 1e9, 1e-9);
    console.err << "Rendered " << QString::number(seconds, 'f', 2) << " s in "
                << QString::number(elapsed, 'f', 2) << " s ("
                << QString::number(seconds / elapsed, 'f', 1) << "x real time) to "
                << options.outputPath << Qt::endl;
    return Success;
}

} // namespace

int run(const QStringList& arguments, Console& console)
{
    const ParseResult parsed = parseArguments(arguments);
    if (!parsed.error.isEmpty()) {
        console.err << "zarn-render: " << parsed.error << Qt::endl
                    << "Try 'zarn-render --help'." << Qt::endl;
        return BadArguments;
    }
    const Options& options = parsed.options;
    if (options.mode == Options::Mode::Help) {
        console.out << helpText();
        console.out.flush();
        return Success;
    }
    const SongPointer song = loadOrExplain(options.songPath, console.err);
    if (!song)
        return SongUnreadable;
    if (options.mode == Options::Mode::Info)
        return printInfo(*song, console.out);
    return renderToFile(song, options, console);
}

} // namespace render
