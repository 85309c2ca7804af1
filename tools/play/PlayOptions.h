#pragma once

#include <QString>
#include <QStringList>

namespace play {

// What zarn-play returns; `--help` lists them.
enum ExitCode {
    Success = 0,
    BadArguments = 2,
    SongUnreadable = 3,
    NoUsableDevice = 4,
    NoAudioServer = 5,
};

struct Options {
    enum class Mode { Play, ListDevices, Help };

    static constexpr double kMaxSeconds = 24.0 * 3600.0;
    static constexpr int kDefaultBlock = 1024;

    Mode mode = Mode::Play;
    QString songPath;
    QString device; // hex id or description; empty for the default output
    int blockFrames = kDefaultBlock; // the player clamps it
    double seconds = 0.0; // 0: until the sequence end, or for ever when the song loops
    bool loop = false; // play the sequence again from its begin at its end
};

struct ParseResult {
    Options options;
    QString error; // empty when the arguments made sense
};

ParseResult parseArguments(const QStringList& arguments);
QString helpText();

} // namespace play
