// Engine overhead: a chain of 32 Amp nodes rendered through a built plan, beside the same
// 32 processors called directly on one buffer; and the row delivery and advance each block
// pays for a song of 32 tracked Saw nodes.
#include "RatioReporter.h"
#include "engine/AudioEngine.h"
#include "engine/Context.h"
#include "engine/Scheduler.h"
#include "engine/SongPlanBuilder.h"
#include "processors/ProcessorFactory.h"
#include "song/Graph.h"
#include "song/Sequencer.h"
#include "song/Song.h"

#include <QCoreApplication>
#include <QVector>

#include <cstring>

namespace {

constexpr quint64 kFrames = 1024;
constexpr int kChainLength = 32;
const QString kAmp = QStringLiteral("Amp");

void direct(benchmark::State& state)
{
    QVector<QSharedPointer<Processor>> chain;
    for (int i = 0; i < kChainLength; ++i)
        chain.append(ProcessorFactory::instance().create(kAmp));
    QVector<double> block(kFrames);
    AudioContext context;
    context.frames = kFrames;
    context.data = block.data();
    for (auto _ : state) {
        std::memset(block.data(), 0, kFrames * sizeof(double));
        for (const auto& p : chain)
            p->process(context);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
}

void throughPlan(benchmark::State& state)
{
    const auto song = Song::createEmpty();
    zarn::NodePointer previous;
    for (int i = 0; i < kChainLength; ++i) {
        const auto node = zarn::Node::create(kAmp, song);
        song->graph->addNode(node);
        if (previous)
            song->graph->connect(previous, node);
        previous = node;
    }
    SongPlanBuilder builder;
    AudioEngine engine;
    engine.setPlan(builder.build(*song->graph));
    zarn::Context context;
    Buffer destination(kFrames);
    execute(engine, context, destination); // lays out the storage
    for (auto _ : state) {
        execute(engine, context, destination);
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
}

// 32 Saw nodes, each with a track that starts a 16-row pattern on every step.
SongPointer trackedSong()
{
    const auto song = Song::createEmpty();
    for (int i = 0; i < kChainLength; ++i) {
        const auto node = zarn::Node::create(QStringLiteral("Saw"), song);
        song->graph->addNode(node);
        const auto pattern = PatternPointer::create(QStringLiteral("00"), node, 16);
        for (int row = 0; row < pattern->length; ++row)
            pattern->setRow(row, pattern->makeNeutralRow());
        node->addPattern(pattern);
        const TrackPointer track = song->sequencer->addTrack(node);
        for (int step = 0; step < 64; ++step)
            track->setEntry(step * 16, pattern);
    }
    Position& position = song->sequencer->position;
    position.updateNumbers();
    position.sequenceEnd.sample = 64 * 16 * position.samplesPerTick();
    position.looping = true;
    position.playing = true;
    return song;
}

void rowDelivery(benchmark::State& state)
{
    const SongPointer song = trackedSong();
    for (auto _ : state) {
        scheduler::deliverRows(*song->sequencer, *song->graph);
        scheduler::advance(song->sequencer->position, kFrames);
        benchmark::ClobberMemory();
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::RegisterBenchmark("amp-chain/direct", direct);
    benchmark::RegisterBenchmark("amp-chain/plan", throughPlan);
    benchmark::RegisterBenchmark("rows/32-tracks", rowDelivery);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter("amp-chain/direct", double(kFrames), 44100.0);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
