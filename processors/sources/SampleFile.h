#pragma once

#include "processors/sources/Sample.h"

#include <QString>

#include <atomic>

// Reads a sound file into a Sample: WAV, FLAC or Ogg, mixed to mono by averaging the
// channels and converted to the engine rate with a band-limited converter.
namespace samplefile {

// The file as a sample, or the reason it was refused; `error` names the file.
struct Loaded {
    Sample sample;
    QString error; // empty when the sample is usable

    bool ok() const { return error.isEmpty(); }
};

// Empty, damaged, longer than ten minutes, unsupported or unreadable files are refused.
// The name is the file's name without its folder. Setting `stop` from another thread ends
// a long read early, refused.
Loaded load(const QString& path, const std::atomic_bool* stop = nullptr);

// The message refusing the file at `path` for `reason`.
QString refusal(const QString& path, const QString& reason);

// The file dialog's filter for the formats `load` takes.
QString dialogFilter();

} // namespace samplefile
