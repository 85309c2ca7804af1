#include "tools/render/RenderOptions.h"

#include "engine/BlockRenderer.h"

#include <QHash>

#include <functional>

namespace render {

namespace {

struct ExitCodeMeaning {
    ExitCode code;
    const char* text;
};
constexpr ExitCodeMeaning kExitCodeMeanings[] = {
    { Success, "success" },
    { BadArguments, "bad arguments" },
    { SongUnreadable, "the song file cannot be read or is damaged" },
    { OutputUnwritable, "the output file cannot be written" },
};

using Setter = std::function<QString(Options&, const QString&)>; // returns an error or ""

QString setOutput(Options& options, const QString& value)
{
    options.outputPath = value;
    return QString();
}

QString setSeconds(Options& options, const QString& value)
{
    bool ok = false;
    const double seconds = value.toDouble(&ok);
    if (!ok || !(seconds > 0.0) || seconds > Options::kMaxSeconds)
        return QStringLiteral(
            "--seconds wants a number of seconds above 0 and at most %1, not '%2'")
            .arg(Options::kMaxSeconds)
            .arg(value);
    options.seconds = seconds;
    options.secondsGiven = true;
    return QString();
}

QString setBlock(Options& options, const QString& value)
{
    bool ok = false;
    const qint64 frames = value.toLongLong(&ok);
    if (!ok)
        return QStringLiteral("--block wants a whole number of frames, not '%1'").arg(value);
    options.blockFrames = qint64(BlockRenderer::clampBlockFrames(frames));
    return QString();
}

QString setFormat(Options& options, const QString& value)
{
    static const QHash<QString, wav::SampleFormat> formats = {
        { QStringLiteral("s16"), wav::SampleFormat::Int16 },
        { QStringLiteral("s24"), wav::SampleFormat::Int24 },
        { QStringLiteral("f32"), wav::SampleFormat::Float32 },
    };
    if (!formats.contains(value))
        return QStringLiteral("--format wants s16, s24 or f32, not '%1'").arg(value);
    options.format = formats.value(value);
    return QString();
}

struct ValueOption {
    QStringList names;
    Setter set;
};

const QList<ValueOption>& valueOptions()
{
    static const QList<ValueOption> table = {
        { { QStringLiteral("-o"), QStringLiteral("--output") }, setOutput },
        { { QStringLiteral("--seconds") }, setSeconds },
        { { QStringLiteral("--block") }, setBlock },
        { { QStringLiteral("--format") }, setFormat },
    };
    return table;
}

const ValueOption* valueOption(const QString& name)
{
    for (const ValueOption& option : valueOptions())
        if (option.names.contains(name))
            return &option;
    return nullptr;
}

// A flag; false when `name` is none.
bool setFlag(Options& options, const QString& name)
{
    if (name == QLatin1String("--info"))
        options.mode = Options::Mode::Info;
    else if (name == QLatin1String("-h") || name == QLatin1String("--help"))
        options.mode = Options::Mode::Help;
    else if (name == QLatin1String("-v") || name == QLatin1String("--verbose"))
        options.verbose = true;
    else
        return false;
    return true;
}

// Whatever the options say, the song and output must fit the mode.
QString checkComplete(const Options& options, const QStringList& positional)
{
    if (options.mode == Options::Mode::Help)
        return QString();
    if (positional.isEmpty())
        return QStringLiteral("no song file given");
    if (positional.size() > 1)
        return QStringLiteral("one song file at a time, not '%1'")
            .arg(positional.join(QLatin1String("', '")));
    if (options.mode == Options::Mode::Render && options.outputPath.isEmpty())
        return QStringLiteral("no output file given (-o OUT.wav)");
    return QString();
}

} // namespace

ParseResult parseArguments(const QStringList& arguments)
{
    ParseResult result;
    Options& options = result.options;
    QStringList positional;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        const qsizetype equals
            = argument.startsWith(QLatin1String("--")) ? argument.indexOf(QLatin1Char('=')) : -1;
        const QString name = equals < 0 ? argument : argument.left(equals);
        if (const ValueOption* option = valueOption(name)) {
            if (equals < 0 && i + 1 >= arguments.size()) {
                result.error = QStringLiteral("%1 needs a value").arg(name);
                return result;
            }
            const QString value = equals < 0 ? arguments.at(++i) : argument.mid(equals + 1);
            result.error = option->set(options, value);
        } else if (setFlag(options, argument)) {
            continue;
        } else if (argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            result.error = QStringLiteral("unknown option '%1'").arg(argument);
        } else {
            positional.append(argument);
        }
        if (!result.error.isEmpty())
            return result;
    }
    if (!positional.isEmpty())
        options.songPath = positional.first();
    result.error = checkComplete(options, positional);
    return result;
}

QString helpText()
{
    QString text = QStringLiteral(
        "Usage: zarn-render SONG.zarn -o OUT.wav [--seconds S] [--block N] [--format F]\n"
        "       zarn-render --info SONG.zarn\n"
        "\n"
        "Renders a Zarn song offline into a mono 44100 Hz WAV file, block by block as the\n"
        "player does. Playback starts at the sequence begin; it stops at the sequence end\n"
        "when the song has one, otherwise after S seconds. The song's title, artist,\n"
        "comment and other info tags go into the file's INFO chunk.\n"
        "\n"
        "Options:\n"
        "  -o, --output OUT.wav  the WAV file to write (replaced only when the render succeeds)\n"
        "  --seconds S           length without a sequence end (default 30); with an end,\n"
        "                        the longest render (at most 3600)\n"
        "  --block N             block size in frames (default 1024, clamped to 64..8192)\n"
        "  --format F            s16: 16-bit integer (default), s24: 24-bit integer,\n"
        "                        f32: 32-bit float samples\n"
        "  --info                print the song's nodes, connections, tracks and position\n"
        "                        as JSON instead of rendering\n"
        "  -v, --verbose         show the engine's log lines\n"
        "  -h, --help            show this text\n"
        "\n"
        "Exit codes:\n");
    for (const ExitCodeMeaning& meaning : kExitCodeMeanings)
        text += QStringLiteral("  %1  %2\n").arg(meaning.code).arg(QLatin1String(meaning.text));
    return text;
}

} // namespace render
