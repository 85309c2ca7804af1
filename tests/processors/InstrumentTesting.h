#pragma once

#include "processors/Processor.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <tuple>

// Shared by the processor tests: row delivery, rendering in blocks, test signals and
// sample-by-sample comparison.
namespace instrumentTesting {

using Samples = QList<double>;
using Row = QList<quint32>;

constexpr int kRate = 44100;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// A data table: one column per type, named in order; each call adds a named row, every
// value taken as its column's type.
template <typename... T> class DataTable {
public:
    template <typename... Names> explicit DataTable(Names... names)
    {
        static_assert(sizeof...(Names) == sizeof...(T));
        (QTest::addColumn<T>(names), ...);
    }
    void operator()(const char* name, const T&... values) const
    {
        (QTest::newRow(name) << ... << values);
    }
};

// The current row's values in the named columns, to unpack into structured bindings.
template <typename... T, typename... Names> std::tuple<T...> fetch(Names... names)
{
    static_assert(sizeof...(Names) == sizeof...(T));
    return { *static_cast<T*>(QTest::qData(names, qMetaTypeId<T>()))... };
}

inline void deliver(Processor& processor, const Row& lanes, quint32 serial = 1)
{
    processor.applyRow(lanes.constData(), int(lanes.size()), serial);
}

// The first sample where two renders differ, if any: equal means bit for bit here.
inline std::optional<qsizetype> firstDifference(const Samples& a, const Samples& b)
{
    const auto [x, y] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (x == a.end() && y == b.end())
        return std::nullopt;
    return x - a.begin();
}

// Runs the samples through in blocks, so state must carry across block edges.
inline Samples render(Processor& processor, Samples samples, qsizetype block = 1024)
{
    for (qsizetype start = 0; start < samples.size(); start += block) {
        AudioContext context;
        context.frames = quint64(std::min(block, samples.size() - start));
        context.data = samples.data() + start;
        processor.process(context);
    }
    return samples;
}

inline Samples render(Processor& processor, int frames)
{
    return render(processor, Samples(frames, 0.0), frames);
}

inline double renderOne(Processor& processor, double x)
{
    return render(processor, Samples { x }).first();
}

// Uniform values in [-amplitude, amplitude).
inline Samples noise(int count, quint32 seed = 11, double amplitude = 0.8)
{
    Samples out(count);
    for (double& x : out) {
        seed = seed * 1664525u + 1013904223u;
        x = (double(seed) / 4294967296.0 * 2.0 - 1.0) * amplitude;
    }
    return out;
}

inline Samples sine(double hz, double amplitude, int count)
{
    Samples out(count);
    for (int n = 0; n < count; ++n)
        out[n] = amplitude * std::sin(2.0 * std::numbers::pi * hz * n / kRate);
    return out;
}

inline Samples impulse(int count)
{
    Samples out(count, 0.0);
    out[0] = 1.0;
    return out;
}

inline double peak(const Samples& samples, qsizetype from = 0, qsizetype to = -1)
{
    double result = 0.0;
    for (qsizetype i = from; i < (to < 0 ? samples.size() : to); ++i)
        result = std::max(result, std::abs(samples[i]));
    return result;
}

// Mean energy and mean position-weighted level of a render: two numbers that move with
// nearly any change to it, so one pair recorded from a model of the definition pins a
// whole render.
inline Samples fingerprint(const Samples& samples)
{
    double energy = 0.0;
    double moment = 0.0;
    for (qsizetype i = 0; i < samples.size(); ++i) {
        energy += samples[i] * samples[i];
        moment += double(i + 1) * samples[i];
    }
    const double n = double(samples.size());
    return { energy / n, moment / (n * n) };
}

// Empty when the blocks agree within `tolerance`, else where they first differ.
inline QString mismatch(const Samples& actual, const Samples& expected, double tolerance)
{
    if (actual.size() != expected.size())
        return QString("%1 samples, expected %2").arg(actual.size()).arg(expected.size());
    for (qsizetype i = 0; i < actual.size(); ++i) {
        if (!(std::abs(actual[i] - expected[i]) <= tolerance))
            return QString("sample %1: %2, expected %3")
                .arg(i)
                .arg(actual[i], 0, 'g', 17)
                .arg(expected[i], 0, 'g', 17);
    }
    return {};
}

} // namespace instrumentTesting

// Each number within a billionth of the recorded one, so a silent golden asks for silence.
#define COMPARE_FINGERPRINT(samples, golden)                                                       \
    do {                                                                                           \
        const Samples actualPrint = instrumentTesting::fingerprint(samples);                       \
        const Samples goldenPrint = golden;                                                        \
        for (int i = 0; i < 2; ++i)                                                                \
            QVERIFY2(std::abs(actualPrint[i] - goldenPrint[i]) <= 1e-9 * std::abs(goldenPrint[i]), \
                qPrintable(QString("%1, expected %2")                                              \
                               .arg(actualPrint[i], 0, 'g', 17)                                    \
                               .arg(goldenPrint[i], 0, 'g', 17)));                                 \
    } while (false)

#define COMPARE_BLOCKS(actual, expected, tolerance)                                                \
    do {                                                                                           \
        const QString difference = instrumentTesting::mismatch(actual, expected, tolerance);       \
        QVERIFY2(difference.isEmpty(), qPrintable(difference));                                    \
    } while (false)
