#include "infra/ShutdownLifecycle.h"
#include "infra/Logging.h"

#include <QDebug>
#include <QMutexLocker>

#include <algorithm>

ShutdownLifecycle::ShutdownLifecycle(QObject* parent)
    : QObject(parent)
{
}

ShutdownLifecycle::~ShutdownLifecycle()
{
    const QStringList left = outstandingTasks();
    if (!left.isEmpty())
        qCWarning(lcInfra).noquote()
            << "ShutdownLifecycle: shutdown with" << left.size() << "outstanding tasks:" << left;
}

ShutdownLifecycle& ShutdownLifecycle::instance()
{
    static ShutdownLifecycle lifecycle;
    return lifecycle;
}

void ShutdownLifecycle::beginTask(const ShutdownTask& task)
{
    {
        const QMutexLocker locker(&m_mutex);
        m_tasks.insert(task.identifier, task);
    }
    emit changed();
}

void ShutdownLifecycle::endTask(const QString& identifier)
{
    bool ready = false;
    {
        const QMutexLocker locker(&m_mutex);
        if (m_tasks.remove(identifier) == 0)
            return;
        ready = takeReadiness();
    }
    emit changed();
    if (ready)
        emit shutdownReady();
}

QStringList ShutdownLifecycle::outstandingTasks() const
{
    QStringList identifiers;
    {
        const QMutexLocker locker(&m_mutex);
        identifiers = m_tasks.keys();
    }
    // The hash has no order of its own; sorted, the list reads the same on every run.
    std::sort(identifiers.begin(), identifiers.end());
    return identifiers;
}

std::optional<ShutdownTask> ShutdownLifecycle::task(const QString& identifier) const
{
    const QMutexLocker locker(&m_mutex);
    const auto found = m_tasks.constFind(identifier);
    if (found == m_tasks.cend())
        return std::nullopt;
    return *found;
}

void ShutdownLifecycle::requestShutdown()
{
    QList<std::function<void()>> hooks;
    {
        const QMutexLocker locker(&m_mutex);
        if (m_shutdownPending)
            return;
        m_shutdownPending = true;
        for (const ShutdownTask& task : std::as_const(m_tasks))
            if (task.finish)
                hooks.append(task.finish);
    }
    // Outside the mutex: a hook usually ends its own task, which may already report ready.
    for (const auto& hook : std::as_const(hooks))
        hook();
    bool ready = false;
    {
        const QMutexLocker locker(&m_mutex);
        ready = takeReadiness();
    }
    if (ready)
        emit shutdownReady();
}

void ShutdownLifecycle::abortShutdown()
{
    {
        const QMutexLocker locker(&m_mutex);
        if (!m_shutdownPending)
            return;
        m_shutdownPending = false;
    }
    emit shutdownAborted();
}

bool ShutdownLifecycle::shutdownPending() const
{
    const QMutexLocker locker(&m_mutex);
    return m_shutdownPending;
}

bool ShutdownLifecycle::takeReadiness()
{
    if (!m_shutdownPending || !m_tasks.isEmpty())
        return false;
    m_shutdownPending = false;
    return true;
}
