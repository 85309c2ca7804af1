#include "core/DataStream.h"
#include "processors/io/InputProcessor.h"
#include "processors/io/OutputProcessor.h"

#include "InstrumentTesting.h"

using namespace instrumentTesting;

constexpr quint32 kE = 0xFF; // an empty BPM lane

class IoProcessorsTest : public QObject {
    Q_OBJECT

private slots:
    void gainRampsLinearlyToVolume_data();
    void gainRampsLinearlyToVolume();
    void rowsSetTheVolume_data();
    void rowsSetTheVolume();
    void stateIsTheSongVolume_data();
    void stateIsTheSongVolume();
    void inputWritesZeros();
};

// A full 0 to 1 swing takes 5 ms at the processor's own rate; a reset jumps to the volume.
// Reach is the first sample (from 1) at the target: ceil(|target - 1| rate / 200).
void IoProcessorsTest::gainRampsLinearlyToVolume_data()
{
    const DataTable<int, quint32, int> add("rate", "lane", "reach");
    add("down to 0: 220.5", 44100, 0u, 221);
    add("up to 2: 220.5", 44100, 65534u, 221);
    add("48 kHz: 16384/32767 * 240 = 120.004", 48000, 16383u, 121);
    add("8 kHz: 16383/32767 * 40 = 19.999", 8000, 49150u, 20);
}

void IoProcessorsTest::gainRampsLinearlyToVolume()
{
    const auto [rate, lane, reach] = fetch<int, quint32, int>("rate", "lane", "reach");
    OutputProcessor output(44100);
    output.setSampleRate(rate);
    deliver(output, { kE, lane }, 0);
    QCOMPARE(output.setActive(1), 1);
    const Samples samples = render(output, Samples(reach + 40, 0.5), 64);
    const double target = lane / 32767.0;
    const double d = 1.0 / (rate * 0.005);
    for (int n = 1; n <= samples.size(); ++n) {
        const double gain
            = target < 1.0 ? std::max(1.0 - n * d, target) : std::min(1.0 + n * d, target);
        QVERIFY2(std::abs(samples[n - 1] - 0.5 * gain) < 1e-12, qPrintable(QString::number(n)));
        QCOMPARE(samples[n - 1] == 0.5 * target, n >= reach);
    }
    QCOMPARE(output.lastSample(), samples.last());
    deliver(output, { kE, 40000 }, 1);
    output.reset();
    QCOMPARE(output.lastSample(), 0.0);
    QCOMPARE(render(output, Samples(3, 1.0)), Samples(3, 40000 / 32767.0));
}

// After a first row of volume 16383 with serial 7.
void IoProcessorsTest::rowsSetTheVolume_data()
{
    const DataTable<Row, quint32, double> add("row", "serial", "volume");
    const double start = 16383 / 32767.0;
    add("empty row", {}, 8u, start);
    add("BPM only", { 0x40 }, 8u, start);
    add("empty volume", { kE, 0xFFFF }, 8u, start);
    add("empty low bits", { kE, 0xABCDFFFF }, 8u, start);
    add("unity, longer row", { kE, 32767, 5 }, 8u, 1.0);
    add("highest, manual serial", { kE, 65534 }, 0xFFFFFFFEu, 2.0);
    add("silent", { kE, 0 }, 8u, 0.0);
    add("high bits dropped", { kE, 0x12345 }, 8u, 0x2345 / 32767.0);
    add("same serial ignored", { kE, 0 }, 7u, start);
}

void IoProcessorsTest::rowsSetTheVolume()
{
    const auto [row, serial, volume] = fetch<Row, quint32, double>("row", "serial", "volume");
    OutputProcessor output(44100);
    deliver(output, { kE, 16383 }, 7);
    deliver(output, row, serial);
    QCOMPARE(output.volume(), volume);
}

void IoProcessorsTest::stateIsTheSongVolume_data()
{
    // The volume after loading over a playing volume of 0.
    const DataTable<QByteArray, bool, double, QByteArray> add(
        "stored", "singlePrecisionStream", "volume", "saved");
    const QByteArray unity = QByteArray::fromHex("3FF0000000000000");
    // IEEE 754 binary64, big-endian, whatever precision the stream was left in.
    add("quarter", QByteArray::fromHex("3FD0000000000000"), false, 0.25,
        QByteArray::fromHex("3FD0000000000000"));
    add("double", QByteArray::fromHex("4000000000000000"), true, 2.0,
        QByteArray::fromHex("4000000000000000"));
    add("silent", QByteArray(8, 0), false, 0.0, QByteArray(8, 0));
    // A short or damaged record, or a value no row could give, keeps the volume.
    add("truncated", unity.left(4), false, 0.0, unity);
    add("empty", QByteArray(), false, 0.0, unity);
    add("not a number", QByteArray::fromHex("7FF8000000000000"), false, 0.0, unity);
    add("infinite", QByteArray::fromHex("7FF0000000000000"), true, 0.0, unity);
}

// The song keeps the volume it loaded (unity when new); rows only move the playing volume.
// A loaded processor ramps from a gain of 1.
void IoProcessorsTest::stateIsTheSongVolume()
{
    const auto [stored, singlePrecisionStream, volume, saved]
        = fetch<QByteArray, bool, double, QByteArray>(
            "stored", "singlePrecisionStream", "volume", "saved");
    const auto precision
        = singlePrecisionStream ? QDataStream::SinglePrecision : QDataStream::DoublePrecision;
    OutputProcessor output(44100);
    deliver(output, { kE, 0 }, 0);
    QDataStream in(stored);
    datastream::prepare(in);
    in.setFloatingPointPrecision(precision);
    output.loadState(in);
    QCOMPARE(output.volume(), volume);
    QCOMPARE(output.gain(), 1.0);
    deliver(output, { kE, 1000 }, 1);
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    datastream::prepare(out);
    out.setFloatingPointPrecision(precision);
    output.saveState(out);
    QCOMPARE(out.floatingPointPrecision(), precision);
    QCOMPARE(bytes, saved);
}

// Garbage in the block is overwritten with silence, and nothing past it is touched.
void IoProcessorsTest::inputWritesZeros()
{
    InputProcessor input(44100);
    Samples samples = { kNaN, kInf, 1e300, -7.5, 42.0 };
    AudioContext context;
    context.frames = 4;
    context.data = samples.data();
    input.process(context);
    QCOMPARE(samples, Samples({ 0.0, 0.0, 0.0, 0.0, 42.0 }));
}

QTEST_GUILESS_MAIN(IoProcessorsTest)
#include "tst_io_processors.moc"
