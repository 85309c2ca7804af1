#pragma once

#include <QStringList>
#include <QTextStream>

#include <atomic>

namespace play {

struct Console {
    QTextStream& out;
    QTextStream& err;
    bool statusLine = false; // standard error is a terminal
    const std::atomic<bool>* interrupted = nullptr; // set by Ctrl+C
};

// Runs zarn-play with the arguments after the program name; returns its exit code.
// Needs a running event loop-capable application (it spins its own loop).
int run(const QStringList& arguments, Console& console);

} // namespace play
