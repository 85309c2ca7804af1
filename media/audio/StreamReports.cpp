#include "media/audio/StreamReports.h"

#include <QDebug>
#include <QString>

#include <algorithm>

namespace media::audio {

void UnderrunReport::check(quint64 underrunCount, qint64 nowMs)
{
    if (lastUnderrunReportMs >= 0 && nowMs - lastUnderrunReportMs < kPeriodMs)
        return;
    const quint64 delta = underrunCount - underrunsAtLastReport;
    if (delta != 0)
        qInfo().noquote() << QString::asprintf(
            "AudioOutputNode: %llu underrun(s) in last %lld ms (total %llu since start) — producer "
            "pipeline failed to keep up with QAudioSink demand; audible as buffer micro-gaps. "
            "Consider load reduction or larger `ringFrames`.",
            static_cast<unsigned long long>(delta),
            static_cast<long long>(nowMs - std::max<qint64>(lastUnderrunReportMs, 0)),
            static_cast<unsigned long long>(underrunCount));
    underrunsAtLastReport = underrunCount;
    lastUnderrunReportMs = nowMs;
}

void OverflowReport::add(quint64 dropped, quint64 ringCapacity, qint64 nowMs)
{
    const quint64 total = overflowTotal.fetch_add(dropped) + dropped;
    if (lastOverflowReportMs >= 0 && nowMs - lastOverflowReportMs < kPeriodMs)
        return;
    lastOverflowReportMs = nowMs;
    qWarning().noquote() << QString::asprintf(
        "AudioInputNode: capture ring OVERFLOW — dropped %zu samples (total %zu, ring capacity "
        "%zu frames). Consumer is not draining in real time; any in-flight acoustic frame is "
        "torn (§RC).",
        size_t(dropped), size_t(total), size_t(ringCapacity));
}

} // namespace media::audio
