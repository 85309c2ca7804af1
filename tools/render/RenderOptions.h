#pragma once

#include "tools/render/WavWriter.h"

#include <QString>
#include <QStringList>

namespace render {

// What zarn-render returns; `--help` lists them.
enum ExitCode {
    Success = 0,
    BadArguments = 2,
    SongUnreadable = 3,
    OutputUnwritable = 4,
};

struct Options {
    enum class Mode { Render, Info, Help };

    static constexpr double kDefaultSeconds = 30.0;
    static constexpr double kMaxSeconds = 3600.0;
    static constexpr qint64 kDefaultBlock = 1024;

    Mode mode = Mode::Render;
    QString songPath;
    QString outputPath;
    double seconds = kDefaultSeconds;
    bool secondsGiven = false; // an explicit length also bounds a song with an end
    qint64 blockFrames = kDefaultBlock; // clamped to what the player accepts
    wav::SampleFormat format = wav::SampleFormat::Int16;
    bool verbose = false;
};

struct ParseResult {
    Options options;
    QString error; // empty when the arguments made sense
};

// Reads the arguments after the program name.
ParseResult parseArguments(const QStringList& arguments);
QString helpText();

} // namespace render
