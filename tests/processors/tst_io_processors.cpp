#include "processors/io/InputProcessor.h"
#include "processors/io/IoSchema.h"
#include "processors/io/OutputProcessor.h"
#include "core/DataStream.h"

#include <QtTest>

#include <cmath>
#include <limits>

namespace {

using Words = QList<quint32>;

constexpr quint32 kEmptyByte = 0xFF;

// Per-sample gain step at a rate: a full 0 to 1 swing in 5 ms.
double stepAt(int rate)
{
    return 1.0 / (rate * 0.005);
}

void processInBlocks(Processor& processor, QList<double>& samples, int blockFrames)
{
    for (qsizetype start = 0; start < samples.size(); start += blockFrames) {
        AudioContext context;
        context.frames = quint64(std::min<qsizetype>(blockFrames, samples.size() - start));
        context.data = samples.data() + start;
        processor.process(context);
    }
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (const int v : values)
        out.append(char(v));
    return out;
}

} // namespace

class IoProcessorsTest : public QObject {
    Q_OBJECT

private slots:
    void schemaHasBpmAndVolume_data();
    void schemaHasBpmAndVolume();
    void gainRampsLinearlyToVolume_data();
    void gainRampsLinearlyToVolume();
    void volumeLane_data();
    void volumeLane();
    void sameSerialIsAppliedOnce_data();
    void sameSerialIsAppliedOnce();
    void saveStateWritesVolumeAsDouble_data();
    void saveStateWritesVolumeAsDouble();
    void loadStateReadsVolume_data();
    void loadStateReadsVolume();
    void resetJumpsToVolume_data();
    void resetJumpsToVolume();
    void inputWritesZeros_data();
    void inputWritesZeros();
};

void IoProcessorsTest::schemaHasBpmAndVolume_data()
{
    QTest::addColumn<QSharedPointer<Processor>>("processor");
    QTest::newRow("Output") << QSharedPointer<Processor>(new OutputProcessor(44100));
    QTest::newRow("Input") << QSharedPointer<Processor>(new InputProcessor(44100));
}

void IoProcessorsTest::schemaHasBpmAndVolume()
{
    QFETCH(QSharedPointer<Processor>, processor);
    const SchemaPointer schema = processor->schema();
    QVERIFY(schema);
    QVERIFY(schema->trackParameters.isEmpty());
    QCOMPARE(schema->nodeParameters.size(), 2);

    const ParameterDescriptor& bpm = *schema->nodeParameters[io::Bpm];
    QCOMPARE(bpm.name, QString("BPM"));
    QCOMPARE(bpm.description, QString("Beats Per Minute"));
    QCOMPARE(bpm.valueType(), ValueType::Byte);
    const Words bpmNumbers { bpm.minimum, bpm.maximum, bpm.empty, bpm.defaultValue };
    QCOMPARE(bpmNumbers, Words({ 0, 255, 255, 128 }));

    const ParameterDescriptor& volume = *schema->nodeParameters[io::Volume];
    QCOMPARE(volume.name, QString("Volume"));
    QCOMPARE(volume.description, QString("Final output volume"));
    QCOMPARE(volume.valueType(), ValueType::Word);
    const Words volumeNumbers { volume.minimum, volume.maximum, volume.empty, volume.defaultValue };
    QCOMPARE(volumeNumbers, Words({ 0, 65535, 65535, 32767 }));
}

void IoProcessorsTest::gainRampsLinearlyToVolume_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<quint32>("lane");
    QTest::addColumn<int>("reach"); // first sample, counted from 1, at the target gain
    // reach = ceil(|target - 1| * rate * 0.005)
    QTest::newRow("silence at 44100") << 44100 << 0u << 221; // 220.5
    QTest::newRow("double at 44100") << 44100 << 65534u << 221; // 220.5
    QTest::newRow("half at 48000") << 48000 << 16383u << 121; // 16384/32767 * 240 = 120.004
    QTest::newRow("silence at 22050") << 22050 << 0u << 111; // 110.25
    QTest::newRow("one and a half at 8000") << 8000 << 49150u << 20; // 16383/32767 * 40 = 19.999
}

void IoProcessorsTest::gainRampsLinearlyToVolume()
{
    QFETCH(int, rate);
    QFETCH(quint32, lane);
    QFETCH(int, reach);
    OutputProcessor output(44100);
    output.setSampleRate(rate);
    const Words row { kEmptyByte, lane };
    output.applyRow(row.constData(), int(row.size()), 0);

    const double input = 0.5;
    QList<double> samples(reach + 40, input);
    processInBlocks(output, samples, 64);

    const double target = lane / 32767.0;
    const double d = stepAt(rate);
    for (int n = 1; n <= samples.size(); ++n) {
        const double gain
            = target < 1.0 ? std::max(1.0 - n * d, target) : std::min(1.0 + n * d, target);
        const double out = samples[n - 1];
        QVERIFY2(std::abs(out - input * gain) < 1e-12, qPrintable(QString("sample %1").arg(n)));
        if (n < reach)
            QVERIFY2(out != input * target, qPrintable(QString("sample %1 early").arg(n)));
        else
            QCOMPARE(out, input * target);
    }
    QCOMPARE(output.lastSample(), samples.last());
    QCOMPARE(output.gain(), target);
}

void IoProcessorsTest::volumeLane_data()
{
    QTest::addColumn<Words>("row");
    QTest::addColumn<double>("volume");
    const double start = 16383 / 32767.0;
    QTest::newRow("one value") << Words { 0 } << start;
    QTest::newRow("no values") << Words {} << start;
    QTest::newRow("empty word") << Words { kEmptyByte, 0xFFFF } << start;
    QTest::newRow("empty low bits") << Words { kEmptyByte, 0x1FFFF } << start;
    QTest::newRow("empty low bits, high word") << Words { kEmptyByte, 0xABCDFFFF } << start;
    QTest::newRow("BPM only") << Words { 0x40, 0xFFFF } << start;
    QTest::newRow("unity") << Words { kEmptyByte, 32767 } << 1.0;
    QTest::newRow("loudest") << Words { kEmptyByte, 65534 } << 2.0;
    QTest::newRow("silent") << Words { kEmptyByte, 0 } << 0.0;
    QTest::newRow("high bits dropped to zero") << Words { kEmptyByte, 0x10000 } << 0.0;
    QTest::newRow("high bits dropped") << Words { kEmptyByte, 0x12345 } << 0x2345 / 32767.0;
    QTest::newRow("extra lanes") << Words { kEmptyByte, 32767, 5 } << 1.0;
}

void IoProcessorsTest::volumeLane()
{
    QFETCH(Words, row);
    QFETCH(double, volume);
    OutputProcessor output(44100);
    const Words first { kEmptyByte, 16383 };
    output.applyRow(first.constData(), int(first.size()), 1);
    output.applyRow(row.constData(), int(row.size()), 2);
    QCOMPARE(output.volume(), volume);
}

void IoProcessorsTest::sameSerialIsAppliedOnce_data()
{
    QTest::addColumn<Words>("firstRow");
    QTest::addColumn<quint32>("firstSerial");
    QTest::addColumn<quint32>("secondSerial");
    QTest::addColumn<double>("volume");
    const Words silence { kEmptyByte, 0 };
    QTest::newRow("same serial") << silence << 7u << 7u << 0.0;
    QTest::newRow("next tick") << silence << 7u << 8u << 2.0;
    QTest::newRow("manual serial") << silence << 7u << 0xFFFFFFFEu << 2.0;
    // A row that changes nothing still takes its serial.
    QTest::newRow("short row, same serial") << Words { 0 } << 7u << 7u << 1.0;
    // A new processor has applied serial 0xFFFFFFFF already.
    QTest::newRow("initial serial") << silence << 0xFFFFFFFFu << 0xFFFFFFFFu << 1.0;
}

void IoProcessorsTest::sameSerialIsAppliedOnce()
{
    QFETCH(Words, firstRow);
    QFETCH(quint32, firstSerial);
    QFETCH(quint32, secondSerial);
    QFETCH(double, volume);
    OutputProcessor output(44100);
    output.applyRow(firstRow.constData(), int(firstRow.size()), firstSerial);
    const Words loudest { kEmptyByte, 65534 };
    output.applyRow(loudest.constData(), int(loudest.size()), secondSerial);
    QCOMPARE(output.volume(), volume);
}

void IoProcessorsTest::saveStateWritesVolumeAsDouble_data()
{
    QTest::addColumn<quint32>("lane");
    QTest::addColumn<bool>("singlePrecisionStream");
    QTest::addColumn<QByteArray>("expected");
    // IEEE 754 binary64, big-endian.
    QTest::newRow("unity") << 0xFFFFu << false << bytes({ 0x3F, 0xF0, 0, 0, 0, 0, 0, 0 });
    QTest::newRow("double") << 65534u << false << bytes({ 0x40, 0, 0, 0, 0, 0, 0, 0 });
    QTest::newRow("silent") << 0u << false << bytes({ 0, 0, 0, 0, 0, 0, 0, 0 });
    QTest::newRow("single precision stream")
        << 65534u << true << bytes({ 0x40, 0, 0, 0, 0, 0, 0, 0 });
}

void IoProcessorsTest::saveStateWritesVolumeAsDouble()
{
    QFETCH(quint32, lane);
    QFETCH(bool, singlePrecisionStream);
    QFETCH(QByteArray, expected);
    OutputProcessor output(44100);
    {
        QDataStream song(expected);
        datastream::prepare(song);
        output.loadState(song);
    }
    // The lane moves the playing volume; the song keeps the volume it holds.
    const Words fade { kEmptyByte, 1000 };
    output.applyRow(fade.constData(), int(fade.size()), 0);

    QByteArray stored;
    {
        QDataStream out(&stored, QIODevice::WriteOnly);
        datastream::prepare(out);
        if (singlePrecisionStream)
            out.setFloatingPointPrecision(QDataStream::SinglePrecision);
        output.saveState(out);
        QCOMPARE(out.floatingPointPrecision(),
            singlePrecisionStream ? QDataStream::SinglePrecision : QDataStream::DoublePrecision);
    }
    QCOMPARE(stored, expected);

    // A loaded processor keeps its gain at 1.0 and ramps from there.
    OutputProcessor loaded(44100);
    QDataStream in(stored);
    datastream::prepare(in);
    loaded.loadState(in);
    const double volume = lane == 0xFFFF ? 1.0 : lane / 32767.0;
    QCOMPARE(loaded.volume(), volume);
    QCOMPARE(loaded.gain(), 1.0);
    QList<double> samples(2, 1.0);
    processInBlocks(loaded, samples, 64);
    const double d = stepAt(44100);
    for (int n = 1; n <= 2; ++n) {
        const double gain
            = volume < 1.0 ? std::max(1.0 - n * d, volume) : std::min(1.0 + n * d, volume);
        QVERIFY(std::abs(samples[n - 1] - gain) < 1e-12);
    }
}

void IoProcessorsTest::loadStateReadsVolume_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("singlePrecisionStream");
    QTest::addColumn<double>("volume");
    const double kept = 0.0;
    QTest::newRow("quarter") << bytes({ 0x3F, 0xD0, 0, 0, 0, 0, 0, 0 }) << false << 0.25;
    QTest::newRow("double") << bytes({ 0x40, 0, 0, 0, 0, 0, 0, 0 }) << false << 2.0;
    QTest::newRow("single precision stream")
        << bytes({ 0x3F, 0xD0, 0, 0, 0, 0, 0, 0 }) << true << 0.25;
    QTest::newRow("truncated") << bytes({ 0x3F, 0xF0, 0, 0 }) << false << kept;
    QTest::newRow("empty") << QByteArray() << false << kept;
    QTest::newRow("not a number") << bytes({ 0x7F, 0xF8, 0, 0, 0, 0, 0, 0 }) << false << kept;
    QTest::newRow("infinite") << bytes({ 0x7F, 0xF0, 0, 0, 0, 0, 0, 0 }) << false << kept;
}

void IoProcessorsTest::loadStateReadsVolume()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, singlePrecisionStream);
    QFETCH(double, volume);
    OutputProcessor output(44100);
    const Words silence { kEmptyByte, 0 };
    output.applyRow(silence.constData(), int(silence.size()), 0);

    QDataStream in(stored);
    datastream::prepare(in);
    if (singlePrecisionStream)
        in.setFloatingPointPrecision(QDataStream::SinglePrecision);
    output.loadState(in);
    QCOMPARE(output.volume(), volume);
    QCOMPARE(output.gain(), 1.0);
}

void IoProcessorsTest::resetJumpsToVolume_data()
{
    QTest::addColumn<quint32>("lane");
    QTest::newRow("silent") << 0u;
    QTest::newRow("half") << 16383u;
    QTest::newRow("double") << 65534u;
}

void IoProcessorsTest::resetJumpsToVolume()
{
    QFETCH(quint32, lane);
    OutputProcessor output(44100);
    QList<double> warmUp(10, 0.75);
    processInBlocks(output, warmUp, 64);
    QCOMPARE(output.lastSample(), 0.75);

    const Words row { kEmptyByte, lane };
    output.applyRow(row.constData(), int(row.size()), 0);
    output.reset();
    const double volume = lane / 32767.0;
    QCOMPARE(output.lastSample(), 0.0);
    QCOMPARE(output.gain(), volume);

    QList<double> samples(3, 1.0);
    processInBlocks(output, samples, 64);
    QCOMPARE(samples, QList<double>(3, volume));
}

void IoProcessorsTest::inputWritesZeros_data()
{
    QTest::addColumn<int>("frames");
    QTest::newRow("none") << 0;
    QTest::newRow("one") << 1;
    QTest::newRow("block") << 64;
    QTest::newRow("odd") << 1001;
}

void IoProcessorsTest::inputWritesZeros()
{
    QFETCH(int, frames);
    const double garbage[] = { std::numeric_limits<double>::quiet_NaN(),
        std::numeric_limits<double>::infinity(), 1e300, -7.5 };
    const int guard = 4;
    QList<double> samples(frames + guard, 42.0);
    for (int i = 0; i < frames; ++i)
        samples[i] = garbage[i % 4];

    InputProcessor input(44100);
    AudioContext context;
    context.frames = quint64(frames);
    context.data = samples.data();
    input.process(context);

    QCOMPARE(samples.mid(0, frames), QList<double>(frames, 0.0));
    QCOMPARE(samples.mid(frames), QList<double>(guard, 42.0));
}

QTEST_GUILESS_MAIN(IoProcessorsTest)
#include "tst_io_processors.moc"
