// zarn-play: plays a song through an audio output in real time, without the window.
#include "tools/play/PlayCommand.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

std::atomic<bool> g_interrupted = false;

void onInterrupt(int)
{
    g_interrupted = true;
}

// The engine and the song loader talk a lot; the player reports in its own words.
void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments();
    arguments.removeFirst();
    if (!arguments.contains(QStringLiteral("--verbose")))
        qInstallMessageHandler(quietHandler);
    arguments.removeAll(QStringLiteral("--verbose"));
    std::signal(SIGINT, onInterrupt);

    QTextStream out(stdout);
    QTextStream err(stderr);
    play::Console console { out, err, bool(isatty(fileno(stderr))), &g_interrupted };
    return play::run(arguments, console);
}
