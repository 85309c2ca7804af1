#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// Talks to the PulseAudio server the test script started, through pactl.
namespace pulse {

inline QString pactl(const QStringList& arguments, bool* ok = nullptr)
{
    QProcess process;
    process.start(QStringLiteral("pactl"), arguments);
    const bool finished = process.waitForFinished(5000);
    const bool success
        = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (ok)
        *ok = success;
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

inline bool serverAnswers()
{
    bool ok = false;
    pactl({ QStringLiteral("info") }, &ok);
    return ok;
}

// Loads a null sink, with a description when one is given (a single word: the server
// refuses quoted ones); returns the module index, -1 on failure.
inline int loadNullSink(const QString& name, const QString& description = {})
{
    QStringList arguments { QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
        QStringLiteral("sink_name=") + name };
    if (!description.isEmpty())
        arguments.append(QStringLiteral("sink_properties=device.description=") + description);
    bool ok = false;
    const QString index = pactl(arguments, &ok);
    return ok ? index.toInt() : -1;
}

inline bool unloadModule(int index)
{
    bool ok = false;
    pactl({ QStringLiteral("unload-module"), QString::number(index) }, &ok);
    return ok;
}

} // namespace pulse
