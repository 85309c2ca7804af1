#include "media/audio/LiveWatchdog.h"
#include "media/Logging.h"

#include <QDebug>
#include <QThread>

#include <algorithm>
#include <chrono>

namespace media::audio {

namespace {
constexpr std::chrono::hours kLongestSleep { 24 };
}

LiveWatchdog::LiveWatchdog(const QString& name, qint64 periodMs, std::function<void()> tick)
    : m_name(name)
    , m_periodMs(periodMs)
    , m_tick(std::move(tick))
{
}

LiveWatchdog::~LiveWatchdog()
{
    stop();
}

void LiveWatchdog::start()
{
    if (m_thread)
        return;
    m_running = true;
    m_thread.reset(QThread::create([this] { run(); }));
    m_thread->setObjectName(m_name);
    m_thread->start();
}

void LiveWatchdog::stop()
{
    if (!m_thread)
        return;
    if (QThread::currentThread() == m_thread.get()) {
        qCWarning(lcMedia).noquote() << "LiveWatchdog::stop called from its own thread" << m_name;
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(m_sleepMutex);
        m_running = false;
    }
    m_wake.notify_all();
    m_thread->wait();
    m_thread.reset();
}

void LiveWatchdog::run()
{
    using Clock = std::chrono::steady_clock;
    while (m_running) {
        m_tick();
        const Clock::time_point wakeAt = Clock::now() + std::chrono::milliseconds(m_periodMs);
        std::unique_lock<std::mutex> lock(m_sleepMutex);
        while (m_running && Clock::now() < wakeAt) {
            const auto chunk = std::min<Clock::duration>(wakeAt - Clock::now(), kLongestSleep);
            m_wake.wait_for(lock, chunk);
        }
    }
}

} // namespace media::audio
