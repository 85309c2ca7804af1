#include "tools/play/PlayOptions.h"

#include <algorithm>
#include <cmath>

namespace play {

namespace {

ParseResult failed(const QString& error)
{
    return { {}, error };
}

bool readNumber(const QString& text, double& value)
{
    bool ok = false;
    value = text.toDouble(&ok);
    return ok && std::isfinite(value);
}

// Reads the value of an option at `i`, moving past it; false when it is missing.
bool takeValue(const QStringList& arguments, qsizetype& i, QString& value)
{
    if (i + 1 >= arguments.size())
        return false;
    value = arguments.at(++i);
    return true;
}

QString applyOption(Options& options, const QString& option, const QString& value)
{
    double number = 0.0;
    if (option == QLatin1String("--device")) {
        options.device = value;
    } else if (option == QLatin1String("--block")) {
        if (!readNumber(value, number) || number != std::floor(number) || number <= 0)
            return QStringLiteral("--block needs a whole number of frames, not '%1'").arg(value);
        options.blockFrames = int(std::min(number, 1e6));
    } else if (option == QLatin1String("--seconds")) {
        if (!readNumber(value, number) || number <= 0 || number > Options::kMaxSeconds)
            return QStringLiteral("--seconds needs a length above 0, not '%1'").arg(value);
        options.seconds = number;
    }
    return {};
}

} // namespace

ParseResult parseArguments(const QStringList& arguments)
{
    static const QStringList valued { QStringLiteral("--device"), QStringLiteral("--block"),
        QStringLiteral("--seconds") };
    Options options;
    QStringList songs;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            options.mode = Options::Mode::Help;
        } else if (argument == QLatin1String("--loop")) {
            options.loop = true;
        } else if (argument == QLatin1String("--list-devices")) {
            options.mode = Options::Mode::ListDevices;
        } else if (valued.contains(argument)) {
            QString value;
            if (!takeValue(arguments, i, value))
                return failed(QStringLiteral("%1 needs a value").arg(argument));
            if (const QString error = applyOption(options, argument, value); !error.isEmpty())
                return failed(error);
        } else if (argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            return failed(QStringLiteral("unknown option '%1'").arg(argument));
        } else {
            songs.append(argument);
        }
    }
    if (options.mode != Options::Mode::Play)
        return { options, {} };
    if (songs.size() != 1)
        return failed(songs.isEmpty() ? QStringLiteral("which song? Give one SONG.zarn")
                                      : QStringLiteral("one song at a time"));
    options.songPath = songs.first();
    return { options, {} };
}

QString helpText()
{
    return QStringLiteral(
        "Usage: zarn-play SONG.zarn [--device NAME] [--block N] [--seconds S] [--loop]\n"
        "       zarn-play --list-devices\n"
        "\n"
        "Plays a Zarn song through an audio output in real time, from the sequence begin\n"
        "to its end (or for S seconds, or until Ctrl+C).\n"
        "\n"
        "Options:\n"
        "  --device NAME    output device by hex id or description (default: the host's\n"
        "                   default); a device that cannot take 44100 Hz stereo 16-bit\n"
        "                   falls back to the first one that can\n"
        "  --block N        block size in frames (default 1024, clamped to 64..8192)\n"
        "  --seconds S      stop after S seconds\n"
        "  --loop           play the sequence again from its begin when it ends\n"
        "  --list-devices   list the output devices with their hex ids\n"
        "  -h, --help       show this text\n"
        "\n"
        "Exit codes:\n"
        "  0  success\n"
        "  2  bad arguments\n"
        "  3  the song file cannot be read or is damaged\n"
        "  4  no output device takes the format\n"
        "  5  no audio server answers (no output devices at all)\n");
}

} // namespace play
