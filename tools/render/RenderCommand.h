#pragma once

#include <QStringList>
#include <QTextStream>

#include <functional>

namespace render {

// Where the command talks to: standard output for --info and --help, standard error for
// messages, and an optional progress display called with frames done and frames in all.
struct Console {
    QTextStream& out;
    QTextStream& err;
    std::function<void(quint64 done, quint64 total)> progress;
};

// The whole of zarn-render behind its arguments (without the program name); returns
// the exit code. Never throws and never crashes on bad files.
int run(const QStringList& arguments, Console& console);

} // namespace render
