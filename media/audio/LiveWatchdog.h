#pragma once

#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class QThread;

namespace media::audio {

// Calls `tick` on its own thread, `periodMs` after the end of the previous call, until
// stopped. A slow tick therefore delays the next one instead of piling up.
class LiveWatchdog {
public:
    LiveWatchdog(const QString& name, qint64 periodMs, std::function<void()> tick);
    ~LiveWatchdog();
    LiveWatchdog(const LiveWatchdog&) = delete;
    LiveWatchdog& operator=(const LiveWatchdog&) = delete;

    void start();
    // Joins the thread; must not be called from the watchdog's own thread.
    void stop();
    bool isRunning() const { return m_running.load(); }

private:
    void run();

    const QString m_name;
    const qint64 m_periodMs;
    const std::function<void()> m_tick;
    std::atomic<bool> m_running { false };
    std::unique_ptr<QThread> m_thread;
    // Only lets stop() cut a sleep short; ticks never take it.
    std::mutex m_sleepMutex;
    std::condition_variable m_wake;
};

} // namespace media::audio
