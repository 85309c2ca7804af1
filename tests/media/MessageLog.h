#pragma once

#include <QMutex>
#include <QStringList>
#include <QtGlobal>

// Records every log line while alive, from any thread, and passes it on to the test
// framework's handler, so tests can count lines that other threads log.
class MessageLog {
public:
    MessageLog()
    {
        const QMutexLocker locker(&mutex());
        lines().clear();
        m_previous = qInstallMessageHandler(&MessageLog::capture);
        previous() = m_previous;
    }
    ~MessageLog() { qInstallMessageHandler(m_previous); }
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    int count(const QString& text) const
    {
        const QMutexLocker locker(&mutex());
        return int(lines().count(text));
    }
    int countContaining(const QString& part) const
    {
        const QMutexLocker locker(&mutex());
        return int(lines().filter(part).size());
    }

private:
    static void capture(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        {
            const QMutexLocker locker(&mutex());
            lines().append(text);
        }
        if (previous())
            previous()(type, context, text);
    }
    static QMutex& mutex()
    {
        static QMutex m;
        return m;
    }
    static QStringList& lines()
    {
        static QStringList captured;
        return captured;
    }
    static QtMessageHandler& previous()
    {
        static QtMessageHandler handler = nullptr;
        return handler;
    }

    QtMessageHandler m_previous = nullptr;
};
