#pragma once

#include <QString>
#include <QtGlobal>

// Damaged input makes the parsers log on every run; the fuzzer's own output is what counts.
inline void silenceLogsOnce()
{
    static const bool silenced = [] {
        qSetMessagePattern(QString());
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        return true;
    }();
    Q_UNUSED(silenced);
}
