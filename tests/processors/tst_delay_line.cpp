#include "processors/channel/Impairments.h"
#include "processors/effects/AverageProcessor.h"
#include "processors/reverb/CheapReverbProcessor.h"
#include "processors/units/Delay.h"
#include "processors/units/XorShift.h"

#include "InstrumentTesting.h"

using namespace instrumentTesting;

namespace {

using Lengths = QList<int>;
using Run = Samples (*)(const Samples&, const Lengths&);

// Each driver runs one user of the delay line: change() opens a segment with a new
// length, restart() clears it, step() returns one output.

struct DelayDriver {
    Delay<double> unit;
    XorShift32 random { 7 };
    void change(int samples)
    {
        unit.dry = random.uniform();
        unit.wet = random.uniform();
        unit.setFeedback(random.uniform());
        unit.setLength(quint32(samples));
    }
    void restart() { unit.restart(); }
    double step(double x) { return unit.step(x); }
};

struct EchoDriver {
    EchoImpairment stage;
    XorShift32 random { 7 };
    void change(int delay)
    {
        stage.enabled = true;
        stage.delaySamples = quint32(delay);
        stage.gain = random.uniform();
    }
    void restart() { stage.clear(); }
    double step(double x) { return stage.process(x); }
};

// The lengths are velocity lane values.
struct DopplerDriver {
    DopplerImpairment stage;
    void change(int lane) { stage.applyVelocity(quint32(lane)); }
    void restart() { stage.clear(); }
    double step(double x) { return stage.process(x); }
};

// The lengths are stored sizes.
struct AverageDriver {
    AverageProcessor processor { 44100 };
    void change(int size)
    {
        QByteArray bytes;
        QDataStream(&bytes, QIODevice::WriteOnly) << 0.0 << 0.0 << qint32(size);
        QDataStream stored(bytes);
        processor.loadState(stored);
    }
    void restart() { processor.reset(); }
    double step(double x) { return renderOne(processor, x); }
};

// The lengths are a byte for every lane.
struct CheapReverbDriver {
    CheapReverbProcessor processor { 44100 };
    quint32 serial = 0;
    void change(int v)
    {
        const quint32 row[] = { quint32(v), quint32(v), quint32(v) };
        processor.applyRow(row, 3, ++serial);
    }
    void restart() { processor.reset(); }
    double step(double x) { return renderOne(processor, x); }
};

// One segment per length; each restarts three quarters of the way through.
template <class Driver> Samples run(const Samples& in, const Lengths& lengths)
{
    Driver driver;
    Samples out;
    const qsizetype segment = in.size() / lengths.size();
    for (qsizetype n = 0; n < in.size(); ++n) {
        if (n % segment == 0 && n / segment < lengths.size())
            driver.change(lengths[n / segment]);
        if (n % segment == segment * 3 / 4)
            driver.restart();
        out.append(driver.step(in[n]));
    }
    return out;
}

} // namespace

class DelayLineTest : public QObject {
    Q_OBJECT

private slots:
    void matchesTheRingsItReplaced_data();
    void matchesTheRingsItReplaced();
};

// The fingerprints are the outputs of the hand-written rings the delay line replaced,
// recorded while this test still ran those rings beside it and found them bit-identical.
void DelayLineTest::matchesTheRingsItReplaced_data()
{
    const DataTable<Run, Lengths, Samples> add("run", "lengths", "golden");
    add("delay", run<DelayDriver>, { 44, 88200, 1, 4097, 4096, 4096, 17640, 1389 },
        { 0.16729361844129451, -0.0015571789845032708 });
    add("echo", run<EchoDriver>, { 4410, 1, 2, 1000, 4409 },
        { 0.44843095512814324, -0.0016855229012464315 });
    add("doppler at full speed", run<DopplerDriver>, { 254 },
        { 0.22044813196930779, -0.00086092039608346685 });
    add("doppler", run<DopplerDriver>, { 1, 127, 254, 3 },
        { 0.21596657927961382, -0.00094499102183695917 });
    add("average", run<AverageDriver>, { 1, 3, 4096, 1000, 441000 },
        { 0.089335687832221095, -0.00036570103152548303 });
    add("cheap reverb", run<CheapReverbDriver>, { 128, 254, 0, 77 },
        { 0.17313528432820366, 8.3385398585433595e-05 });
}

void DelayLineTest::matchesTheRingsItReplaced()
{
    const auto [run, lengths, golden] = fetch<Run, Lengths, Samples>("run", "lengths", "golden");
    XorShift32 random { 2463534242u };
    Samples in(200000);
    for (double& x : in)
        x = 2.0 * random.uniform() - 1.0;
    COMPARE_FINGERPRINT(run(in, lengths), golden);
}

QTEST_GUILESS_MAIN(DelayLineTest)
#include "tst_delay_line.moc"
