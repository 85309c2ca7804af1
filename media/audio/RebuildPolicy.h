#pragma once

#include <QAudio>
#include <QtGlobal>

namespace media::audio {

// When a device node rebuilds its stream, gives up, and retries. Times are milliseconds of
// the node's clock, -1 when unset; the caller passes "now", so the rules run without a
// thread or a real clock.
struct RebuildPolicy {
    qint64 minRebuildGapMs = 500;
    qint32 maxRebuilds = 20;
    qint32 rebuildCount = 0;
    qint64 lastRebuildMs = -1;
    bool gaveUp = false;
    qint64 stallMs = 3000;
    qint64 lastSampleCount = -1;
    qint64 lastProgressMs = -1;
    qint64 startIntentMs = -1;
    qint64 lockoutUntilMs = -1;
    qint64 retryIntervalMs = 60000;
    qint64 lastRetryMs = -1;
    qint64 gaveUpAtMs = -1;
    qint64 postGiveUpTimeoutMs = 300000;
    qint64 tickPeriodMs = 250;
    qint64 lastTickMs = -1;
    bool suspendDetected = false;

    static constexpr qint64 kRecoveryLockoutMs = 30000;

    // One watchdog tick: true when the stream must be rebuilt now.
    bool evaluateStall(bool active, quint64 samples, qint64 nowMs);
    // A state change reported by the stream: true when the stream must be rebuilt now.
    bool evaluateStateChange(QAudio::Error error, qint64 nowMs);

    void markStartIntent(qint64 nowMs);
    // Given up for long enough that the node counts as unhealthy.
    bool overdue(qint64 nowMs) const;
    // The stream came back by itself after giving up: start afresh behind a lockout.
    void resetAfterRecovery(qint64 nowMs);

private:
    bool retryDue(qint64 nowMs) const;
    bool tooSoonAfterRebuild(qint64 nowMs) const;
    void recordProgress(quint64 samples, qint64 nowMs);
    void forgetProgress();
    bool commit(qint64 nowMs);
    bool giveUp(qint64 nowMs);
};

} // namespace media::audio
