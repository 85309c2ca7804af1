// Nanoseconds per sample of every registered processor at 1024-frame blocks, beside a plain
// copy of the same block in the same run.
#include "RatioReporter.h"
#include "processors/ProcessorFactory.h"

#include <QCoreApplication>
#include <QVector>

#include <cstring>

namespace {

constexpr quint64 kFrames = 1024;
constexpr int kWarmUpBlocks = 16;
constexpr quint32 kMiddleC = 60;

// A noisy input so effects have something to work on.
QVector<double> makeInput()
{
    QVector<double> input(kFrames);
    quint32 s = 2463534242u;
    for (double& x : input) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        x = 0.5 * double(qint32(s)) / 2147483648.0;
    }
    return input;
}

// Defaults everywhere and a note on every note lane, so sources sound.
QVector<quint32> soundingRow(const NodeParameterSchema& schema)
{
    QVector<quint32> row;
    const auto append = [&row](const ParameterPointer& p) {
        row.append(p->valueType() == ValueType::MidiNote ? kMiddleC : p->defaultValue);
    };
    for (const auto& p : schema.nodeParameters)
        append(p);
    for (const auto& p : schema.trackParameters)
        append(p);
    return row;
}

void copyLoop(benchmark::State& state)
{
    const QVector<double> input = makeInput();
    QVector<double> block(kFrames);
    for (auto _ : state) {
        std::memcpy(block.data(), input.constData(), kFrames * sizeof(double));
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
}

// Every block starts a new note (an octave apart each time) when `playing`, so a voice
// is measured while it sounds rather than after it has died away.
void processorLoop(benchmark::State& state, const QString& typeID, bool playing = false)
{
    const auto processor = ProcessorFactory::instance().create(typeID);
    const QVector<double> input = makeInput();
    QVector<double> block(kFrames);
    AudioContext context;
    context.frames = kFrames;
    context.channels = 1;
    context.data = block.data();
    QVector<quint32> row;
    if (const auto schema = processor->schema()) {
        row = soundingRow(*schema);
        processor->applyRow(row.constData(), int(row.size()), 0);
    }
    quint32 serial = 0;
    const auto nextNote = [&] {
        for (quint32& value : row)
            if (value == kMiddleC || value == kMiddleC - 12)
                value = value == kMiddleC ? kMiddleC - 12 : kMiddleC;
        processor->applyRow(row.constData(), int(row.size()), ++serial);
    };
    for (int i = 0; i < kWarmUpBlocks; ++i) {
        std::memcpy(block.data(), input.constData(), kFrames * sizeof(double));
        processor->process(context);
    }
    for (auto _ : state) {
        if (playing)
            nextNote();
        std::memcpy(block.data(), input.constData(), kFrames * sizeof(double));
        processor->process(context);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::RegisterBenchmark("copy", copyLoop);
    for (const QString& id : ProcessorFactory::instance().typeIDs())
        benchmark::RegisterBenchmark(("processor/" + id).toStdString().c_str(),
            [id](benchmark::State& state) { processorLoop(state, id); });
    for (const char* id : { "TB-303", "Ding", "Drum" })
        benchmark::RegisterBenchmark((std::string("playing/") + id).c_str(),
            [id](benchmark::State& state) { processorLoop(state, id, true); });
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter("copy", double(kFrames), 44100.0);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
