#pragma once

#include <QtGlobal>

#include <atomic>

namespace media::audio {

// Output side: logs the underruns of the last period, at most once per period.
struct UnderrunReport {
    static constexpr qint64 kPeriodMs = 5000;

    qint64 lastUnderrunReportMs = -1;
    quint64 underrunsAtLastReport = 0;

    // Watchdog thread; `underrunCount` is the running total.
    void check(quint64 underrunCount, qint64 nowMs);
};

// Input side: counts samples the capture ring could not take, and warns at most once per
// period with the total so far.
struct OverflowReport {
    static constexpr qint64 kPeriodMs = 2000;

    std::atomic<quint64> overflowTotal { 0 };
    qint64 lastOverflowReportMs = -1;

    void add(quint64 dropped, quint64 ringCapacity, qint64 nowMs);
};

} // namespace media::audio
