#include "ui/export/WavExport.h"

#include "core/EngineRate.h"
#include "engine/Plan.h"
#include "song/Position.h"
#include "song/Sequencer.h"
#include "song/SongFile.h"
#include "tools/render/RenderOptions.h"
#include "tools/render/SongRender.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

const QString kNotAFile = QStringLiteral("it is not a regular file");
const QString kTooLong = QStringLiteral("the sound is too long for a WAV file");
const QString kOutputsChanged = QStringLiteral("the song's outputs changed during the export");
const QString kWavSuffix = QStringLiteral(".wav");

// One file being written: nothing is visible under its name before the commit.
struct Target {
    QString path;
    std::unique_ptr<QSaveFile> file;
    std::unique_ptr<wav::Writer> writer;

    QString reason() const
    {
        return file && file->error() != QFileDevice::NoError ? file->errorString() : kTooLong;
    }
};

// Opens the file and writes its header; the reason when that failed.
QString open(Target& target, const ExportRequest& request, const QMap<QString, QString>& tags)
{
    const QFileInfo existing(target.path);
    if (existing.exists() && !existing.isFile())
        return kNotAFile;
    target.file = std::make_unique<QSaveFile>(target.path);
    if (!target.file->open(QIODevice::WriteOnly))
        return target.file->errorString();
    target.writer = std::make_unique<wav::Writer>(*target.file, request.format, tags);
    return target.writer->begin() ? QString() : target.reason();
}

ExportResult failed(const QString& path, const QString& reason)
{
    ExportResult result;
    result.failedFile = path;
    result.reason = reason;
    return result;
}

// The copy plays from the span's start as the transport does from the sequence begin.
void placeAt(Position& position, const ExportSpan& span)
{
    position.sequenceBegin.sample = span.start;
    position.looping = span.looping;
    position.loopBegin.sample = span.loopBegin;
}

// Commits every file, or none: a commit that fails takes back the ones before it.
ExportResult commit(std::vector<Target>& targets)
{
    for (Target& target : targets)
        if (!target.writer->finish())
            return failed(target.path, target.reason());
    ExportResult result;
    for (Target& target : targets) {
        if (!target.file->commit()) {
            for (const QString& written : std::as_const(result.files))
                QFile::remove(written);
            return failed(target.path, target.file->errorString());
        }
        result.files.append(target.path);
    }
    result.outcome = ExportResult::Outcome::Written;
    return result;
}

class Session {
public:
    Session(const ExportRequest& request, const SongPointer& song)
        : m_request(request)
        , m_tags(song->tags)
        , m_render(song, quint64(render::Options::kDefaultBlock), { request.span.frames, false })
    {
        m_targets.emplace_back().path = request.path;
        m_clock.start();
    }

    ExportResult run(const std::atomic_bool& cancel, const ExportProgressReport& report)
    {
        if (const QString reason = open(m_targets.front(), m_request, m_tags); !reason.isEmpty())
            return failed(m_request.path, reason);
        qint64 reported = 0;
        while (!m_render.done()) {
            if (cancel)
                return cancelled();
            const qsizetype frames = m_render.next();
            if (const std::optional<ExportResult> problem = writeBlock(frames))
                return *problem;
            if (report && m_clock.elapsed() - reported >= kProgressIntervalMs) {
                reported = m_clock.elapsed();
                report(progress());
            }
        }
        if (report)
            report(progress());
        return commit(m_targets);
    }

private:
    // After the first block the plan is there to say what the outputs are.
    QString openOutputs()
    {
        m_plan = m_render.plan();
        const QStringList names = m_plan ? m_plan->outputNames() : QStringList();
        if (!m_request.perOutput || names.size() < 2)
            return QString();
        for (const QString& path : outputPaths(m_request.path, names)) {
            Target& target = m_targets.emplace_back();
            target.path = path;
            if (const QString reason = open(target, m_request, m_tags); !reason.isEmpty())
                return reason;
        }
        return QString();
    }

    // None when every file took the block.
    std::optional<ExportResult> writeBlock(qsizetype frames)
    {
        if (!m_outputsOpen) {
            m_outputsOpen = true;
            if (const QString reason = openOutputs(); !reason.isEmpty())
                return failed(m_targets.back().path, reason);
        }
        if (m_targets.size() > 1 && m_render.plan() != m_plan)
            return failed(m_request.path, kOutputsChanged);
        for (std::size_t i = 0; i < m_targets.size(); ++i) {
            const double* samples = i == 0 ? m_render.data() : m_plan->outputs().at(i - 1)->data();
            if (!m_targets[i].writer->write(samples, frames))
                return failed(m_targets[i].path, m_targets[i].reason());
        }
        return std::nullopt;
    }

    ExportResult cancelled()
    {
        for (Target& target : m_targets)
            if (target.file)
                target.file->cancelWriting();
        ExportResult result;
        result.outcome = ExportResult::Outcome::Cancelled;
        return result;
    }

    ExportProgress progress() const
    {
        const double seconds = double(m_render.renderedFrames()) / kEngineRate;
        const double elapsed = std::max(double(m_clock.nsecsElapsed()) / 1e9, 1e-9);
        return { m_render.renderedFrames(), m_render.totalFrames(), seconds / elapsed };
    }

    const ExportRequest& m_request;
    const QMap<QString, QString> m_tags;
    render::SongRender m_render;
    std::vector<Target> m_targets;
    PlanPointer m_plan;
    bool m_outputsOpen = false;
    QElapsedTimer m_clock;
};

} // namespace

std::optional<ExportSpan> exportSpan(const Position& position, ExportRange range, double seconds)
{
    const quint64 longest = render::framesOf(render::Options::kMaxSeconds);
    if (range == ExportRange::Seconds) {
        if (!(seconds > 0.0))
            return std::nullopt;
        const quint64 frames = std::min(render::framesOf(seconds), longest);
        return ExportSpan { position.sequenceBegin.sample, frames, position.looping,
            position.loopBegin.sample };
    }
    const qint64 begin
        = range == ExportRange::Loop ? position.loopBegin.sample : position.sequenceBegin.sample;
    const qint64 end = position.sequenceEnd.sample;
    if (end <= 0 || end <= begin)
        return std::nullopt;
    return ExportSpan { qint32(begin), std::min(quint64(end - begin), longest), false,
        qint32(begin) };
}

QStringList outputPaths(const QString& path, const QStringList& outputNames)
{
    static const QRegularExpression unsafe(QStringLiteral("[^\\w .-]"));
    const QString stem
        = path.endsWith(kWavSuffix, Qt::CaseInsensitive) ? path.chopped(kWavSuffix.size()) : path;
    QHash<QString, int> seen;
    QStringList paths;
    for (QString name : outputNames) {
        name.replace(unsafe, QStringLiteral("_"));
        const int count = ++seen[name];
        const QString suffix = count > 1 ? QStringLiteral("-%1").arg(count) : QString();
        paths.append(QStringLiteral("%1-%2%3%4").arg(stem, name, suffix, kWavSuffix));
    }
    return paths;
}

ExportResult exportWav(const ExportRequest& request, const std::atomic_bool& cancel,
    const ExportProgressReport& report)
{
    const SongPointer song = Song::createEmpty();
    const songfile::LoadReport loaded = songfile::decode(song, request.song);
    if (!loaded.ok)
        return failed(request.path, loaded.message);
    placeAt(song->sequencer->position, request.span);
    return Session(request, song).run(cancel, report);
}
