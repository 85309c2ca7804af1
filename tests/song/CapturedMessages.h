#pragma once

#include <QStringList>
#include <QtGlobal>

// Collects every log line while alive, so a test can also prove that nothing was logged.
class CapturedMessages {
public:
    CapturedMessages()
    {
        lines().clear();
        m_previous = qInstallMessageHandler(&CapturedMessages::capture);
    }
    ~CapturedMessages() { qInstallMessageHandler(m_previous); }
    CapturedMessages(const CapturedMessages&) = delete;
    CapturedMessages& operator=(const CapturedMessages&) = delete;

    static QStringList& lines()
    {
        static QStringList captured;
        return captured;
    }

private:
    static void capture(QtMsgType, const QMessageLogContext&, const QString& text)
    {
        lines().append(text);
    }

    QtMessageHandler m_previous = nullptr;
};
