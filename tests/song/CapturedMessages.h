#pragma once

#include <QStringList>
#include <QtGlobal>

// Collects every log line while alive, so a test can also prove that nothing was logged.
class CapturedMessages {
public:
    CapturedMessages() { lines().clear(); }
    ~CapturedMessages() { qInstallMessageHandler(m_previous); }
    CapturedMessages(const CapturedMessages&) = delete;

    static QStringList& lines()
    {
        static QStringList captured;
        return captured;
    }

private:
    QtMessageHandler m_previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { lines().append(text); });
};
