#pragma once

#include "core/NodeParameterSchema.h"
#include "processors/presets/Preset.h"

#include <QByteArray>
#include <QList>

// Preset files are small JSON documents marked with a format name and version, so that
// another program's JSON is told apart from a damaged preset:
//   one preset:  {"format": "zarn-preset", "version": 1, "type": "TB-303",
//                 "name": "Acid", "values": {"Cutoff": 60, ...}}
//   a library:   {"format": "zarn-preset-library", "version": 1, "type": "TB-303",
//                 "presets": [{"name": "Acid", "values": {...}}, ...]}
namespace presetFile {

inline constexpr char kPresetFormat[] = "zarn-preset";
inline constexpr char kLibraryFormat[] = "zarn-preset-library";
inline constexpr int kVersion = 1;
// Far above any real preset or library, low enough that parsing stays quick and small.
inline constexpr qint64 kMaxBytes = 1024 * 1024;

QByteArray encode(const Preset& preset);
QByteArray encodeLibrary(const QString& typeID, const QList<Preset>& presets);

// Parses and checks against the processor type; nothing is returned unless all of it fits.
Outcome<Preset> decode(
    const QByteArray& bytes, const QString& typeID, const NodeParameterSchema& schema);
Outcome<QList<Preset>> decodeLibrary(
    const QByteArray& bytes, const QString& typeID, const NodeParameterSchema& schema);

// A file's bytes, refused unread when it is not a regular file or is over kMaxBytes.
Outcome<QByteArray> read(const QString& path);
// One preset file, read and decoded.
Outcome<Preset> load(const QString& path, const QString& typeID, const NodeParameterSchema& schema);
// Writes through a temporary file, so a failed write leaves the old file whole. Returns
// the reason on failure, empty on success.
QString write(const QString& path, const QByteArray& bytes);

} // namespace presetFile
