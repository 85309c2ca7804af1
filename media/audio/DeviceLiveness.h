#pragma once

#include "media/audio/RebuildPolicy.h"

#include <QMutex>

namespace media::audio {

// What one watchdog tick found; the node turns it into log lines, signals and a rebuild.
struct TickReport {
    enum class Health { Unchanged, BecameUnhealthy, BecameHealthy };

    bool rebuild = false;
    // The policy had given up when the tick began (selects the retry message).
    bool gaveUp = false;
    qint32 rebuildCount = 0;
    qint64 stallMs = 0;
    Health health = Health::Unchanged;
    bool recovered = false;
    qint64 recoveredFrom = 0;
    qint64 recoveredTo = 0;
};

struct StateReport {
    bool rebuild = false;
    bool gaveUp = false;
};

// The watchdog's bookkeeping shared by the device nodes: the rebuild policy under its
// mutex, plus what the tick remembers across calls about giving up and health. Every entry
// takes "now" from the caller.
class DeviceLiveness {
public:
    static constexpr const char* kPostGiveUpTimeout = "POST_GIVEUP_TIMEOUT";

    // Watchdog thread only.
    TickReport tick(bool active, quint64 samples, qint64 nowMs);
    // The stream changed state other than by dropping out of ActiveState.
    StateReport stateChanged(QAudio::Error error, qint64 nowMs);

    void markStartIntent(qint64 nowMs);
    void clearStartIntent();
    RebuildPolicy snapshot() const;
    qint32 rebuildCount() const;

private:
    TickReport::Health updateHealth(qint64 nowMs);

    mutable QMutex m_stateMutex;
    RebuildPolicy m_rebuildPolicy;
    // Sample count seen when the tick first found the policy given up, -1 when not sampled.
    qint64 m_bytesAtGiveUp = -1;
    bool m_unhealthy = false;
};

} // namespace media::audio
