#pragma once

#include "RatioReporter.h"

#include <QApplication>
#include <QLoggingCategory>

#include <string>

// Runs an editor's two benchmarks, "<editor>/paint" and "<editor>/<action>+paint", on an
// offscreen display, and reads both as parts of one 60 Hz frame beside the paint alone.
inline int runEditorBenchmarks(int argc, char** argv, const std::string& editor,
    void (*paint)(benchmark::State&), void (*keystroke)(benchmark::State&),
    const std::string& action = "keystroke")
{
    constexpr double kFrameRate = 60.0;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("zarn.*.debug=false"));
    benchmark::Initialize(&argc, argv);
    const std::string baseline = editor + "/paint";
    benchmark::RegisterBenchmark(baseline.c_str(), paint)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((editor + "/" + action + "+paint").c_str(), keystroke)
        ->Unit(benchmark::kMicrosecond);
    RatioReporter reporter(baseline, 1.0, kFrameRate);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    return 0;
}
