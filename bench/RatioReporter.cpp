#include "RatioReporter.h"

#include <cstdio>

RatioReporter::RatioReporter(std::string baseline, double framesPerIteration, double sampleRate)
    : m_baseline(std::move(baseline))
    , m_frames(framesPerIteration)
    , m_rate(sampleRate)
{
}

void RatioReporter::ReportRuns(const std::vector<Run>& runs)
{
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) {
        if (run.run_type != Run::RT_Iteration || run.iterations == 0)
            continue;
        const double ns
            = run.GetAdjustedCPUTime() * 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
        m_nsPerIteration.emplace_back(run.benchmark_name(), ns);
    }
}

void RatioReporter::Finalize()
{
    ConsoleReporter::Finalize();
    double baseline = 0.0;
    for (const auto& [name, ns] : m_nsPerIteration)
        if (name.rfind(m_baseline, 0) == 0)
            baseline = ns;
    std::printf("\n%-40s %12s %12s %14s\n", "run", "ns/sample", "x baseline", "x real-time");
    for (const auto& [name, ns] : m_nsPerIteration) {
        const double perSample = ns / m_frames;
        const double ratio = baseline > 0.0 ? ns / baseline : 0.0;
        const double realTime = (m_frames / m_rate * 1e9) / ns;
        std::printf("%-40s %12.3f %12.2f %14.0f\n", name.c_str(), perSample, ratio, realTime);
    }
    std::printf(
        "(baseline: %s, %g frames per block at %g Hz)\n", m_baseline.c_str(), m_frames, m_rate);
}
