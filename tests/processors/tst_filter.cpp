#include "processors/filters/FilterProcessor.h"

#include "InstrumentTesting.h"

using namespace instrumentTesting;

namespace {

using Filter = Biquad<double>;

constexpr quint32 kE = 0xFF; // an empty byte lane
constexpr quint32 kEW = 0xFFFF; // an empty word lane
constexpr int kBlock = 256;

// The lanes' scales, from their documented ranges.
const auto cutoffOf = [](quint32 v) { return 20.0 * std::pow(10.0, 3.0 * v / 65534.0); };
const auto qOf = [](quint32 v) { return v / 254.0 * 19.9 + 0.1; };

Filter designed(int type, double hz, double q)
{
    Filter f(44100.0, type, hz / 44100.0, q);
    f.computeCoefficients();
    return f;
}

Samples run(Filter& f, Samples block)
{
    for (double& x : block)
        x = f.process(x);
    return block;
}

} // namespace

Q_DECLARE_METATYPE(Filter)

class FilterTest : public QObject {
    Q_OBJECT

private slots:
    void rowsDesignTheFilter_data();
    void rowsDesignTheFilter();
    void newSettingsKeepTheState();
    void switchingOffDesignsTheFilterBeforeAnyRow();
    void switchingOffClearsTheState_data();
    void switchingOffClearsTheState();
};

// A fresh processor passes its input until a row makes it design a filter (low-pass,
// 1 kHz, Q 0.707), which shows whether a row recomputed anything. Rows take serials 1, 2,
// ... or all 5 when `repeat`.
void FilterTest::rowsDesignTheFilter_data()
{
    const DataTable<QList<Row>, Filter, bool> add("rows", "expected", "repeat");
    add("type repeated, others empty", { { 0, kEW, kE } }, Filter(), false);
    add("empty in the high word bits", { { kE, 0x1FFFF, kE } }, Filter(), false);
    add("empty row", { {} }, Filter(), false);
    add("high pass", { { 1, kEW, kE } }, designed(1, 1000.0, 0.707), false);
    add("lowest cutoff", { { kE, 0, kE } }, designed(0, 20.0, 0.707), false);
    add("highest cutoff", { { kE, 65534, kE } }, designed(0, 20000.0, 0.707), false);
    add("band pass, highest q", { { 2, 40000, 254 } }, designed(2, cutoffOf(40000), 20.0), false);
    // The shelf's gain has no lane and stays 0 dB, so the high shelf passes its input.
    add("type 100 is the high shelf", { { 3, 20000, 30 }, { 100, kEW, kE } },
        designed(6, cutoffOf(20000), qOf(30)), false);
    add("type 255 is ignored", { { 3, 20000, 30 }, { 255, kEW, kE } },
        designed(3, cutoffOf(20000), qOf(30)), false);
    add("a repeated serial is skipped", { { 1, kEW, kE }, { 2, 100, 200 } },
        designed(1, 1000.0, 0.707), true);
}

void FilterTest::rowsDesignTheFilter()
{
    auto [rows, expected, repeat] = fetch<QList<Row>, Filter, bool>("rows", "expected", "repeat");
    FilterProcessor p(44100);
    for (int i = 0; i < rows.size(); ++i)
        deliver(p, rows[i], repeat ? 5 : quint32(i + 1));
    const Samples input = noise(kBlock, 7);
    COMPARE_BLOCKS(render(p, input), run(expected, input), 1e-12);
}

void FilterTest::newSettingsKeepTheState()
{
    FilterProcessor p(44100);
    Filter expected = designed(Filter::LowPass, cutoffOf(20000), qOf(40));
    deliver(p, { 0, 20000, 40 }, 1);
    const Samples first = noise(kBlock, 3);
    COMPARE_BLOCKS(render(p, first), run(expected, first), 1e-12);
    deliver(p, { 1, 45000, kE }, 2);
    expected.type = Filter::HighPass;
    expected.frequency = cutoffOf(45000) / 44100.0;
    expected.computeCoefficients();
    const Samples second = noise(kBlock, 4);
    COMPARE_BLOCKS(render(p, second), run(expected, second), 1e-12);
}

void FilterTest::switchingOffDesignsTheFilterBeforeAnyRow()
{
    FilterProcessor fresh(44100);
    fresh.setActive(0);
    Filter expected = designed(Filter::LowPass, 1000.0, 0.707);
    const Samples input = noise(kBlock, 13);
    COMPARE_BLOCKS(render(fresh, input), run(expected, input), 1e-12);
}

// A cleared filter stays silent without input and answers an impulse from rest.
void FilterTest::switchingOffClearsTheState_data()
{
    const DataTable<int, bool> add("flag", "cleared");
    add("off", 0, true);
    add("an even flag is off", 2, true);
    add("on", 1, false);
    add("-1 resets instead", -1, true);
}

void FilterTest::switchingOffClearsTheState()
{
    const auto [flag, cleared] = fetch<int, bool>("flag", "cleared");
    FilterProcessor p(44100);
    deliver(p, { 0, 25000, 100 }, 1);
    render(p, noise(kBlock, 9));
    if (flag < 0)
        p.reset();
    else
        QCOMPARE(p.setActive(flag), flag);
    QCOMPARE(peak(render(p, kBlock)) == 0.0, cleared);
    if (cleared) {
        Filter expected = designed(Filter::LowPass, cutoffOf(25000), qOf(100));
        COMPARE_BLOCKS(render(p, impulse(kBlock)), run(expected, impulse(kBlock)), 1e-12);
    }
}

QTEST_GUILESS_MAIN(FilterTest)
#include "tst_filter.moc"
