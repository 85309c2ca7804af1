#include "processors/channel/Impairments.h"
#include "processors/effects/AverageProcessor.h"
#include "processors/reverb/CheapReverbProcessor.h"
#include "processors/units/Delay.h"
#include "processors/units/XorShift.h"

#include <QtTest>

#include <bit>
#include <cmath>

namespace {

using Samples = std::vector<double>;
using Lengths = QList<int>;
using Outputs = std::pair<Samples, Samples>; // the old ring's, then the processor's

// Each of the following runs a ring the delay line replaced, with its own index
// arithmetic, beside the code that now uses the delay line. change() opens a segment
// with a new length, restart() clears or restarts both, step() returns both outputs.

double processOne(Processor& p, double x)
{
    AudioContext context;
    context.frames = 1;
    context.data = &x;
    p.process(context);
    return x;
}

struct DelayRings {
    std::vector<double> buffer = std::vector<double>(2 * kEngineRate, 0.0);
    quint32 length = Delay<double>::kInitialLength;
    quint32 readIndex = 0;
    quint32 writeIndex = 0;
    double feedback = 0.0;
    Delay<double> unit;
    XorShift32 random { 7 };

    void change(int samples)
    {
        unit.dry = random.uniform();
        unit.wet = random.uniform();
        feedback = random.uniform();
        unit.setFeedback(feedback);
        unit.setLength(quint32(samples));
        if (quint32(samples) == length)
            return;
        if (quint32(samples) > length)
            std::fill(buffer.begin() + length, buffer.begin() + samples, 0.0);
        length = quint32(samples);
        readIndex = writeIndex = 0;
    }
    void restart()
    {
        readIndex = writeIndex = 0;
        unit.restart();
    }
    std::pair<double, double> step(double x)
    {
        double y = unit.dry * x;
        readIndex = (readIndex + 1) % length;
        y += unit.wet * buffer[readIndex];
        writeIndex = (writeIndex + 1) % length;
        buffer[writeIndex] = feedback * y + (1.0 - feedback) * x;
        return { y, unit.step(x) };
    }
};

struct EchoRings {
    static constexpr quint32 kLength = 4410;
    std::vector<double> buffer = std::vector<double>(kLength, 0.0);
    quint32 write = 0;
    EchoImpairment stage;
    XorShift32 random { 7 };

    void change(int delay)
    {
        stage.enabled = true;
        stage.delaySamples = quint32(delay);
        stage.gain = random.uniform();
    }
    void restart()
    {
        std::fill(buffer.begin(), buffer.end(), 0.0);
        write = 0;
        stage.clear();
    }
    std::pair<double, double> step(double x)
    {
        const double e = buffer[(write + kLength - stage.delaySamples) % kLength];
        buffer[write] = x;
        write = (write + 1) % kLength;
        return { x + stage.gain * e, stage.process(x) };
    }
};

// The lengths are velocity lane values.
struct DopplerRings {
    static constexpr qint64 kLength = 2048;
    std::vector<double> buffer = std::vector<double>(kLength, 0.0);
    qint64 write = 0;
    double readOffset = 0.0;
    DopplerImpairment stage;

    static qint64 wrap(qint64 index) { return (index % kLength + kLength) % kLength; }
    void change(int lane) { stage.applyVelocity(quint32(lane)); }
    void restart()
    {
        std::fill(buffer.begin(), buffer.end(), 0.0);
        write = 0;
        readOffset = 0.0;
        stage.clear();
    }
    std::pair<double, double> step(double x)
    {
        buffer[write] = x;
        write = (write + 1) % kLength;
        readOffset += stage.velocity;
        double p = std::fmod(double(kLength / 2) + readOffset, double(kLength));
        if (p < 0.0)
            p += double(kLength);
        const qint64 i = wrap(write - qint64(p) - 1);
        const double f = p - std::floor(p);
        return { buffer[i] * (1.0 - f) + buffer[wrap(i + 1)] * f, stage.process(x) };
    }
};

// The lengths are stored sizes.
struct AverageRings {
    std::vector<double> ring;
    double sum = 0.0;
    qint32 index = 0;
    AverageProcessor processor { 44100 };

    void change(int size)
    {
        QByteArray bytes;
        QDataStream(&bytes, QIODevice::WriteOnly) << 0.0 << 0.0 << qint32(size);
        QDataStream stored(bytes);
        processor.loadState(stored);
        ring.assign(size_t(size), 0.0);
        sum = 0.0;
        index = 0;
    }
    void restart()
    {
        std::fill(ring.begin(), ring.end(), 0.0);
        sum = 0.0;
        index = 0;
        processor.reset();
    }
    std::pair<double, double> step(double x)
    {
        const auto size = qint32(ring.size());
        index = (index + 1) % size;
        sum += x - ring[size_t(index)];
        ring[size_t(index)] = x;
        return { sum / size, processOne(processor, x) };
    }
};

// Four combs and two all-passes; the lengths are a byte for every lane.
struct CheapReverbRings {
    static constexpr std::array<int, 6> kLengths = { 1557, 1617, 1491, 1422, 225, 556 };
    std::array<std::vector<double>, 6> rings;
    std::array<int, 6> index {};
    std::array<double, 4> store {};
    double lane = 0.0;
    CheapReverbProcessor processor { 44100 };
    quint32 serial = 0;

    CheapReverbRings() { restart(); }
    void change(int v)
    {
        const quint32 row[] = { quint32(v), quint32(v), quint32(v) };
        processor.applyRow(row, 3, ++serial);
        lane = v / 254.0;
    }
    void restart()
    {
        for (int k = 0; k < 6; ++k)
            rings[k].assign(size_t(kLengths[k]), 0.0);
        index = {};
        store = {};
        processor.reset();
    }
    double& next(int k)
    {
        double& slot = rings[k][size_t(index[k])];
        index[k] = index[k] + 1 == kLengths[k] ? 0 : index[k] + 1;
        return slot;
    }
    std::pair<double, double> step(double x)
    {
        double sum = 0.0;
        for (int k = 0; k < 4; ++k) {
            double& slot = next(k);
            const double y = slot;
            store[k] = store[k] * lane + y * (1.0 - lane);
            slot = (lane * 0.45 + 0.5) * store[k] + x;
            sum += y;
        }
        double s = sum * 0.25;
        for (int k = 4; k < 6; ++k) {
            double& slot = next(k);
            const double b = slot;
            const double w = s - 0.5 * b;
            slot = w;
            s = 0.5 * w + b;
        }
        return { s * lane + x * (1.0 - lane), processOne(processor, x) };
    }
};

// One segment per length; each restarts three quarters of the way through.
template <class Rings> Outputs run(const Samples& in, const Lengths& lengths)
{
    Rings rings;
    Outputs out;
    const auto count = qsizetype(in.size());
    const qsizetype segment = count / lengths.size();
    for (qsizetype n = 0; n < count; ++n) {
        if (n % segment == 0 && n / segment < lengths.size())
            rings.change(lengths[n / segment]);
        if (n % segment == segment * 3 / 4)
            rings.restart();
        const auto [expected, actual] = rings.step(in[size_t(n)]);
        out.first.push_back(expected);
        out.second.push_back(actual);
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

void DelayLineTest::matchesTheRingsItReplaced_data()
{
    QTest::addColumn<QString>("ring");
    QTest::addColumn<Lengths>("lengths");
    QTest::newRow("delay") << "delay" << Lengths { 44, 88200, 1, 4097, 4096, 4096, 17640, 1389 };
    QTest::newRow("echo") << "echo" << Lengths { 4410, 1, 2, 1000, 4409 };
    QTest::newRow("doppler at full speed") << "doppler" << Lengths { 254 };
    QTest::newRow("doppler") << "doppler" << Lengths { 1, 127, 254, 3 };
    QTest::newRow("average") << "average" << Lengths { 1, 3, 4096, 1000, 441000 };
    QTest::newRow("cheap reverb") << "cheap reverb" << Lengths { 128, 254, 0, 77 };
}

// Long noise through both, compared to the last bit.
void DelayLineTest::matchesTheRingsItReplaced()
{
    QFETCH(QString, ring);
    QFETCH(Lengths, lengths);
    static const QHash<QString, Outputs (*)(const Samples&, const Lengths&)> runs = {
        { "delay", run<DelayRings> },
        { "echo", run<EchoRings> },
        { "doppler", run<DopplerRings> },
        { "average", run<AverageRings> },
        { "cheap reverb", run<CheapReverbRings> },
    };
    XorShift32 random { 2463534242u };
    Samples in(200000);
    for (double& x : in)
        x = 2.0 * random.uniform() - 1.0;

    const auto [expected, actual] = runs.value(ring)(in, lengths);
    const auto same
        = [](double a, double b) { return std::bit_cast<quint64>(a) == std::bit_cast<quint64>(b); };
    const auto differ = std::mismatch(actual.begin(), actual.end(), expected.begin(), same);
    QCOMPARE(differ.first - actual.begin(), qsizetype(in.size()));
}

QTEST_GUILESS_MAIN(DelayLineTest)
#include "tst_delay_line.moc"
