#pragma once

#include <QHash>
#include <QObject>
#include <QRecursiveMutex>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Work that must finish before the program may end.
struct ShutdownTask {
    QString icon;
    QString identifier;
    QString title;
    QString description;
    QString detail;
    // Asked to hurry the work along when a shutdown is requested; may be empty.
    std::function<void()> finish;
};

// The registry of outstanding shutdown tasks. A shutdown, once requested, becomes ready
// when no task is left, at once or when the last task ends; until then it may be abandoned.
class ShutdownLifecycle : public QObject {
    Q_OBJECT

public:
    // Only tests make registries of their own; the program uses instance().
    explicit ShutdownLifecycle(QObject* parent = nullptr);
    ~ShutdownLifecycle() override;

    static ShutdownLifecycle& instance();

    // Adds the task, replacing one with the same identifier.
    void beginTask(const ShutdownTask& task);
    void endTask(const QString& identifier);

    QStringList outstandingTasks() const; // identifiers, sorted
    std::optional<ShutdownTask> task(const QString& identifier) const;

    // Runs every outstanding task's finish hook, then reports ready when nothing is left.
    void requestShutdown();
    // Gives up a requested shutdown that is not ready yet.
    void abortShutdown();
    bool shutdownPending() const;

signals:
    void changed();
    void shutdownReady();
    void shutdownAborted();

private:
    // Clears the pending request when it has just become ready; called under the mutex.
    bool takeReadiness();

    mutable QRecursiveMutex m_mutex;
    QHash<QString, ShutdownTask> m_tasks;
    bool m_shutdownPending = false;
};
