#include "media/audio/StreamReports.h"
#include "media/Logging.h"

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
        qCInfo(lcMedia).noquote() << QStringLiteral(
            "AudioOutputNode: %1 underrun(s) in last %2 ms (total %3 since start) — producer "
            "pipeline failed to keep up with QAudioSink demand; audible as buffer "
            "micro-gaps. Consider load reduction or larger `ringFrames`.")
                                         .arg(delta)
                                         .arg(nowMs - std::max<qint64>(lastUnderrunReportMs, 0))
                                         .arg(underrunCount);
    underrunsAtLastReport = underrunCount;
    lastUnderrunReportMs = nowMs;
}

void OverflowReport::add(quint64 dropped, quint64 ringCapacity, qint64 nowMs)
{
    const quint64 total = overflowTotal.fetch_add(dropped) + dropped;
    if (lastOverflowReportMs >= 0 && nowMs - lastOverflowReportMs < kPeriodMs)
        return;
    lastOverflowReportMs = nowMs;
    qCWarning(lcMedia).noquote() << QStringLiteral(
        "AudioInputNode: capture ring OVERFLOW — dropped %1 samples (total %2, "
        "ring capacity %3 frames). Consumer is not draining in real time; any "
        "in-flight acoustic frame is torn (§RC).")
                                        .arg(dropped)
                                        .arg(total)
                                        .arg(ringCapacity);
}

} // namespace media::audio
