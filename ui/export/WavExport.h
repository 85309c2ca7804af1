#pragma once

#include "tools/render/WavWriter.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>

class Position;

// The part of the song an export covers.
enum class ExportRange { Sequence, Loop, Seconds };

// Where a render starts and how long it runs, read from the live song's position.
struct ExportSpan {
    qint32 start = 0;
    quint64 frames = 0;
    bool looping = false; // a looping song comes round its loop within the span
    qint32 loopBegin = 0;
};

// The span of `range`, or none when the song has no such range: the sequence needs an end
// after its begin, the loop an end after the loop begin. Sequence and loop are played once
// and, like the N seconds, never run past zarn-render's longest render.
std::optional<ExportSpan> exportSpan(const Position& position, ExportRange range, double seconds);

// Everything an export needs, taken on the user-interface thread, so the render reads its
// own copy of the song and never the live one.
struct ExportRequest {
    QByteArray song; // the song file's bytes
    ExportSpan span;
    wav::SampleFormat format = wav::SampleFormat::Int16;
    QString path;
    bool perOutput = false; // one more file for each Output node when the song has several
};

struct ExportProgress {
    quint64 done = 0;
    quint64 total = 0;
    double speed = 0.0; // seconds of sound per second of rendering
};

struct ExportResult {
    enum class Outcome { Written, Cancelled, Failed };
    Outcome outcome = Outcome::Failed;
    QStringList files; // what was written
    QString failedFile; // the file that could not be written, with the reason
    QString reason;
};

// The files beside `path` for the song's outputs: the path without ".wav", a dash and the
// node's name (characters a file name should not hold become "_"), a number after a name
// that came before.
QStringList outputPaths(const QString& path, const QStringList& outputNames);

using ExportProgressReport = std::function<void(const ExportProgress&)>;

// Renders the request block by block as zarn-render does and writes each file through a
// QSaveFile: the files appear only when the whole render succeeded, and a cancel or a
// failure leaves nothing behind. `report` hears of the progress at most every
// kProgressIntervalMs and once at the end. Safe to run on any thread.
ExportResult exportWav(const ExportRequest& request, const std::atomic_bool& cancel,
    const ExportProgressReport& report);

inline constexpr qint64 kProgressIntervalMs = 100;
