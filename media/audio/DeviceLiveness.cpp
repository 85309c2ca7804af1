#include "media/audio/DeviceLiveness.h"

namespace media::audio {

TickReport DeviceLiveness::tick(bool active, quint64 samples, qint64 nowMs)
{
    TickReport report;
    bool suspended = false;
    {
        const QMutexLocker locker(&m_stateMutex);
        report.rebuild = m_rebuildPolicy.evaluateStall(active, samples, nowMs);
        report.gaveUp = m_rebuildPolicy.gaveUp;
        report.rebuildCount = m_rebuildPolicy.rebuildCount;
        report.stallMs = m_rebuildPolicy.stallMs;
        suspended = m_rebuildPolicy.suspendDetected;
    }
    if (suspended)
        m_bytesAtGiveUp = -1;
    report.health = updateHealth(nowMs);

    if (!report.gaveUp) {
        m_bytesAtGiveUp = -1;
    } else if (m_bytesAtGiveUp < 0) {
        m_bytesAtGiveUp = qint64(samples);
    } else if (active && qint64(samples) > m_bytesAtGiveUp) {
        report.recovered = true;
        report.recoveredFrom = m_bytesAtGiveUp;
        report.recoveredTo = qint64(samples);
        m_bytesAtGiveUp = -1;
        const QMutexLocker locker(&m_stateMutex);
        m_rebuildPolicy.resetAfterRecovery(nowMs);
    }
    return report;
}

TickReport::Health DeviceLiveness::updateHealth(qint64 nowMs)
{
    bool overdue = false;
    {
        const QMutexLocker locker(&m_stateMutex);
        overdue = m_rebuildPolicy.overdue(nowMs);
    }
    if (overdue == m_unhealthy)
        return TickReport::Health::Unchanged;
    m_unhealthy = overdue;
    return overdue ? TickReport::Health::BecameUnhealthy : TickReport::Health::BecameHealthy;
}

StateReport DeviceLiveness::stateChanged(QAudio::Error error, qint64 nowMs)
{
    const QMutexLocker locker(&m_stateMutex);
    const bool rebuild = m_rebuildPolicy.evaluateStateChange(error, nowMs);
    return { rebuild, m_rebuildPolicy.gaveUp };
}

void DeviceLiveness::markStartIntent(qint64 nowMs)
{
    const QMutexLocker locker(&m_stateMutex);
    m_rebuildPolicy.markStartIntent(nowMs);
}

void DeviceLiveness::clearStartIntent()
{
    const QMutexLocker locker(&m_stateMutex);
    m_rebuildPolicy.startIntentMs = -1;
}

RebuildPolicy DeviceLiveness::snapshot() const
{
    const QMutexLocker locker(&m_stateMutex);
    return m_rebuildPolicy;
}

qint32 DeviceLiveness::rebuildCount() const
{
    const QMutexLocker locker(&m_stateMutex);
    return m_rebuildPolicy.rebuildCount;
}

} // namespace media::audio
