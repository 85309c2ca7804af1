#include "media/audio/RebuildPolicy.h"

#include <algorithm>

namespace media::audio {

namespace {

// Underruns and clean stops are not failures of the device.
bool errorCounts(QAudio::Error error)
{
    return error == QAudio::OpenError || error == QAudio::IOError || error == QAudio::FatalError;
}

// Ticks held up this long mean the host slept, not that the device stalled.
constexpr qint64 kMinSuspendGapMs = 10000;

} // namespace

bool RebuildPolicy::evaluateStall(bool active, quint64 samples, qint64 nowMs)
{
    suspendDetected = false;
    if (lastTickMs >= 0 && tickPeriodMs > 0
        && nowMs - lastTickMs > std::max(5 * stallMs, kMinSuspendGapMs)) {
        suspendDetected = true;
        forgetProgress();
        if (startIntentMs >= 0)
            startIntentMs = nowMs;
        lastTickMs = nowMs;
        return false;
    }
    lastTickMs = nowMs;

    if (gaveUp) {
        if (!retryDue(nowMs))
            return false;
        lastRetryMs = nowMs;
        forgetProgress();
        startIntentMs = nowMs;
        return commit(nowMs);
    }

    if (lockoutUntilMs > 0) {
        if (nowMs < lockoutUntilMs) {
            if (active && (lastSampleCount < 0 || qint64(samples) > lastSampleCount))
                recordProgress(samples, nowMs);
            return false;
        }
        lockoutUntilMs = -1;
    }

    if (active) {
        startIntentMs = -1;
        if (lastSampleCount < 0 || qint64(samples) > lastSampleCount) {
            recordProgress(samples, nowMs);
            return false;
        }
        if (nowMs - lastProgressMs < stallMs || tooSoonAfterRebuild(nowMs))
            return false;
        if (rebuildCount >= maxRebuilds)
            return giveUp(nowMs);
        forgetProgress();
        return commit(nowMs);
    }

    forgetProgress();
    if (startIntentMs < 0 || nowMs - startIntentMs < stallMs || tooSoonAfterRebuild(nowMs))
        return false;
    if (rebuildCount >= maxRebuilds)
        return giveUp(nowMs);
    // The next attempt gets another full stall period to become active.
    startIntentMs = nowMs;
    return commit(nowMs);
}

bool RebuildPolicy::evaluateStateChange(QAudio::Error error, qint64 nowMs)
{
    if (gaveUp) {
        if (!retryDue(nowMs) || !errorCounts(error))
            return false;
        lastRetryMs = nowMs;
        return commit(nowMs);
    }
    if (lockoutUntilMs > 0) {
        if (nowMs < lockoutUntilMs)
            return false;
        lockoutUntilMs = -1;
    }
    if (!errorCounts(error) || tooSoonAfterRebuild(nowMs))
        return false;
    if (rebuildCount >= maxRebuilds)
        return giveUp(nowMs);
    return commit(nowMs);
}

void RebuildPolicy::markStartIntent(qint64 nowMs)
{
    if (startIntentMs < 0)
        startIntentMs = nowMs;
}

bool RebuildPolicy::overdue(qint64 nowMs) const
{
    return gaveUp && gaveUpAtMs >= 0 && nowMs - gaveUpAtMs >= postGiveUpTimeoutMs;
}

void RebuildPolicy::resetAfterRecovery(qint64 nowMs)
{
    rebuildCount = 0;
    gaveUp = false;
    lastRebuildMs = lastRetryMs = gaveUpAtMs = -1;
    forgetProgress();
    lastTickMs = startIntentMs = -1;
    suspendDetected = false;
    lockoutUntilMs = nowMs + kRecoveryLockoutMs;
}

bool RebuildPolicy::retryDue(qint64 nowMs) const
{
    return retryIntervalMs > 0 && lastRetryMs >= 0 && nowMs - lastRetryMs >= retryIntervalMs;
}

bool RebuildPolicy::tooSoonAfterRebuild(qint64 nowMs) const
{
    return lastRebuildMs >= 0 && nowMs - lastRebuildMs < minRebuildGapMs;
}

void RebuildPolicy::recordProgress(quint64 samples, qint64 nowMs)
{
    lastSampleCount = qint64(samples);
    lastProgressMs = nowMs;
}

void RebuildPolicy::forgetProgress()
{
    lastSampleCount = lastProgressMs = -1;
}

bool RebuildPolicy::commit(qint64 nowMs)
{
    lastRebuildMs = nowMs;
    ++rebuildCount;
    return true;
}

bool RebuildPolicy::giveUp(qint64 nowMs)
{
    lastRetryMs = gaveUpAtMs = nowMs;
    gaveUp = true;
    return false;
}

} // namespace media::audio
