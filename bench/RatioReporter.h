#pragma once

#include <benchmark/benchmark.h>

#include <QString>
#include <QStringList>

#include <map>
#include <string>
#include <vector>

// Prints Google Benchmark's table, then a second table of each run's CPU nanoseconds per
// sample beside a baseline run of the same program, so the figures read as ratios that
// survive a noisy shared machine.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    // `baseline` names the run the others are compared with; `framesPerIteration` turns
    // iteration time into time per sample and into times real-time at `sampleRate`.
    RatioReporter(std::string baseline, double framesPerIteration, double sampleRate);

    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

private:
    std::string m_baseline;
    double m_frames;
    double m_rate;
    std::vector<std::pair<std::string, double>> m_nsPerIteration;
};
