// zarn-render: renders a song offline to a WAV file, or describes it as JSON.
#include "tools/render/RenderCommand.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

namespace {

bool g_verbose = false;

// The engine and the song loader talk a lot; a command-line tool shows their lines
// only when asked, and reports failures in its own words.
void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (g_verbose || type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

void showProgress(quint64 done, quint64 total)
{
    constexpr int kWidth = 40;
    static int shown = -1; // redraw only when the percentage moves
    const double fraction = total ? double(done) / double(total) : 1.0;
    const int percent = int(fraction * 100.0);
    if (percent == shown)
        return;
    shown = percent;
    const int filled = int(fraction * kWidth);
    std::fprintf(stderr, "\r[%s%s] %3d%%", QByteArray(filled, '#').constData(),
        QByteArray(kWidth - filled, '.').constData(), percent);
    if (done >= total)
        std::fputc('\n', stderr);
    std::fflush(stderr);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments();
    arguments.removeFirst();
    g_verbose = arguments.contains(QStringLiteral("-v"))
        || arguments.contains(QStringLiteral("--verbose"));
    qInstallMessageHandler(quietHandler);

    QTextStream out(stdout);
    QTextStream err(stderr);
    render::Console console { out, err, {} };
    if (isatty(fileno(stderr)))
        console.progress = showProgress;
    return render::run(arguments, console);
}
