#pragma once

#include <QProcess>
#include <QStringList>

// Talks to the PulseAudio server the test script started, through pactl.
namespace pulse {

inline QString pactl(const QStringList& arguments, bool* ok = nullptr)
{
    QProcess process;
    process.start(QStringLiteral("pactl"), arguments);
    const bool finished = process.waitForFinished(5000);
    if (ok)
        *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

inline bool serverAnswers()
{
    return !pactl({ QStringLiteral("info") }).isEmpty();
}

// A module loaded for one test and unloaded with it. A description must be a single word:
// the server refuses quoted ones.
struct Module {
    explicit Module(const QString& arguments)
    {
        bool ok = false;
        index = pactl(QStringList { QStringLiteral("load-module") } + arguments.split(u' '), &ok);
        if (!ok)
            index.clear();
    }
    ~Module() { unload(); }
    bool unload()
    {
        bool ok = false;
        if (!index.isEmpty())
            pactl({ QStringLiteral("unload-module"), index }, &ok);
        index.clear();
        return ok;
    }
    QString index;
};

} // namespace pulse
