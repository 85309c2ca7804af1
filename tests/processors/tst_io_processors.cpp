#include "core/DataStream.h"
#include "processors/io/InputProcessor.h"
#include "processors/io/OutputProcessor.h"

#include "InstrumentTesting.h"

#include <cmath>

using namespace instrumentTesting;

Q_DECLARE_METATYPE(StripDials)
Q_DECLARE_METATYPE(stripdials::Dial)

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
    void stripDialsShapeTheSound_data();
    void stripDialsShapeTheSound();
    void gainDialRampsBothWays();
    void meterAndClipLight();
    void dialTooltipsSayWhatTheDialDoes_data();
    void dialTooltipsSayWhatTheDialDoes();
    void stripDialsLiveInTheExtension_data();
    void stripDialsLiveInTheExtension();
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

namespace {

// A second-order Butterworth made by the bilinear transform, at its warped frequency ratio.
double butterworthDb(double hz, double cutoff, bool highPass)
{
    const double r = std::tan(M_PI * hz / 44100.0) / std::tan(M_PI * cutoff / 44100.0);
    return 20.0 * std::log10((highPass ? r * r : 1.0) / std::sqrt(1.0 + r * r * r * r));
}

double rms(const Samples& samples, qsizetype from)
{
    double sum = 0.0;
    for (qsizetype i = from; i < samples.size(); ++i)
        sum += samples[i] * samples[i];
    return std::sqrt(sum / double(samples.size() - from));
}

} // namespace

// Gain in quarter decibels; right of centre the filters sweep 20 Hz to 5 kHz (high-pass) and
// 20 kHz to 500 Hz (low-pass); left of centre they lift the ends by shelves up to 12 dB.
void IoProcessorsTest::stripDialsShapeTheSound_data()
{
    const DataTable<StripDials, double, double, double> add("dials", "hz", "db", "tolerance");
    add("flat is exact", StripDials {}, 1000.0, 0.0, 0.0);
    add("gain +6 dB", StripDials { 24, 0, 0 }, 1000.0, 6.0, 1e-9);
    add("gain floor", StripDials { -99, 0, 0 }, 1000.0, -24.75, 1e-9);
    add("high-pass at 5 kHz", StripDials { 0, 99, 0 }, 1000.0, butterworthDb(1000, 5000, true),
        0.05);
    add("high-pass half way", StripDials { 0, 50, 0 }, 100.0,
        butterworthDb(100, 20.0 * std::pow(250.0, 50.0 / 99.0), true), 0.05);
    add("low-pass at 500 Hz", StripDials { 0, 0, 99 }, 2000.0, butterworthDb(2000, 500, false),
        0.05);
    add("low shelf lifts the lows", StripDials { 0, -99, 0 }, 20.0, 12.0, 0.5);
    add("low shelf leaves the highs", StripDials { 0, -99, 0 }, 8000.0, 0.0, 0.1);
    add("high shelf lifts the highs", StripDials { 0, 0, -99 }, 18000.0, 12.0, 1.0);
    add("high shelf leaves the lows", StripDials { 0, 0, -99 }, 100.0, 0.0, 0.1);
    add("both filters", StripDials { 12, 99, 99 }, 1000.0,
        3.0 + butterworthDb(1000, 5000, true) + butterworthDb(1000, 500, false), 0.1);
}

void IoProcessorsTest::stripDialsShapeTheSound()
{
    const auto [dials, hz, db, tolerance]
        = fetch<StripDials, double, double, double>("dials", "hz", "db", "tolerance");
    OutputProcessor output(44100);
    output.setDials(dials);
    const Samples in = sine(hz, 0.25, 44100);
    const Samples out = render(output, in, 512);
    if (tolerance == 0.0)
        QCOMPARE(out, in);
    const double measured = 20.0 * std::log10(rms(out, 22050) / rms(in, 22050));
    QVERIFY2(std::abs(measured - db) <= tolerance, qPrintable(QString::number(measured)));
}

// A turn of the gain dial ramps like the volume, a full 0 to 1 swing in 5 ms, also on the way
// back to flat, where the stage then leaves the samples exactly alone.
void IoProcessorsTest::gainDialRampsBothWays()
{
    OutputProcessor output(44100);
    output.setDials({ 24, 0, 0 });
    const double boost = std::pow(10.0, 6.0 / 20.0);
    const double step = 1.0 / 220.5;
    QCOMPARE(
        render(output, Samples(2, 0.5)), Samples({ 0.5 * (1 + step), 0.5 * ((1 + step) + step) }));
    render(output, Samples(300, 0.5));
    output.setDials({});
    const Samples back = render(output, Samples(300, 0.5));
    QVERIFY(std::abs(back[0] - 0.5 * (boost - step)) < 1e-12);
    QCOMPARE(back.last(), 0.5);
}

// The meter reads the peak and mean square since its last reading; the clip light stays lit
// until it is reset.
void IoProcessorsTest::meterAndClipLight()
{
    OutputProcessor output(44100);
    render(output, sine(441.0, 1.2, 4400));
    const OutputProcessor::MeterReading hot = output.takeMeter();
    QVERIFY(std::abs(hot.peak - 1.2) < 1e-3);
    QVERIFY(std::abs(hot.meanSquare - 0.72) < 1e-3);
    QCOMPARE(hot.samples, quint64(4400));
    QVERIFY(output.clipped());
    render(output, sine(441.0, 0.5, 1000));
    QVERIFY(output.clipped());
    QVERIFY(output.takeMeter().peak <= 0.5);
    output.resetClip();
    // A block of 9 runs every accumulator and the tail: the peak is found wherever it is.
    for (int at = 0; at < 9; ++at) {
        Samples spike(9, 0.1);
        spike[at] = -0.9;
        render(output, spike, 9);
        QCOMPARE(output.takeMeter().peak, 0.9);
    }
    render(output, Samples(100, 1.0), 7);
    QVERIFY(!output.clipped());
    QCOMPARE(output.takeMeter().meanSquare, 1.0);
    QCOMPARE(output.takeMeter().samples, quint64(0));
}

void IoProcessorsTest::dialTooltipsSayWhatTheDialDoes_data()
{
    using stripdials::Dial;
    const DataTable<Dial, int, QString> add("dial", "value", "text");
    add("gain up", Dial::Gain, 24, "+6.0 dB");
    add("gain down", Dial::Gain, -2, "-0.5 dB");
    add("high-pass centred", Dial::HighPass, 0, "Flat");
    add("high-pass right", Dial::HighPass, 99, "High-pass 5000 Hz");
    add("high-pass left", Dial::HighPass, -99, "Low shelf +12.0 dB");
    add("low-pass right", Dial::LowPass, 99, "Low-pass 500 Hz");
    add("low-pass left", Dial::LowPass, -33, "High shelf +4.0 dB");
}

void IoProcessorsTest::dialTooltipsSayWhatTheDialDoes()
{
    const auto [dial, value, text] = fetch<stripdials::Dial, int, QString>("dial", "value", "text");
    QCOMPARE(stripdials::describe(dial, value), text);
}

// A version byte and three big-endian 32-bit dials; anything else is refused whole.
void IoProcessorsTest::stripDialsLiveInTheExtension_data()
{
    const DataTable<QByteArray, bool> add("record", "loads");
    add("gain 5, high-pass -7, low-pass 99", QByteArray::fromHex("01 00000005 FFFFFFF9 00000063"),
        true);
    add("unknown version", QByteArray::fromHex("02 00000005 FFFFFFF9 00000063"), false);
    add("dial beyond 99", QByteArray::fromHex("01 00000005 FFFFFFF9 00000064"), false);
    add("truncated", QByteArray::fromHex("01 00000005 FFFFFFF9 0000"), false);
}

void IoProcessorsTest::stripDialsLiveInTheExtension()
{
    const auto [record, loads] = fetch<QByteArray, bool>("record", "loads");
    OutputProcessor output(44100);
    output.setDials({ 1, 2, 3 });
    QDataStream in(record);
    datastream::prepare(in);
    QCOMPARE(output.loadExtension(in), loads);
    const StripDials expected = loads ? StripDials { 5, -7, 99 } : StripDials { 1, 2, 3 };
    QCOMPARE(output.dials(), expected);
    QByteArray saved;
    QDataStream out(&saved, QIODevice::WriteOnly);
    datastream::prepare(out);
    output.saveExtension(out);
    if (loads)
        QCOMPARE(saved, record);
}

QTEST_GUILESS_MAIN(IoProcessorsTest)
#include "tst_io_processors.moc"
