// The two patches timed side by side against Csound (bench/peer/side-by-side), rendered
// block by block as zarn-render does, without the file writing.
#include "PeerSongs.h"
#include "RatioReporter.h"
#include "engine/BlockRenderer.h"
#include "song/Sequencer.h"

#include <QCoreApplication>

namespace {

constexpr quint64 kFrames = 1024;
constexpr int kWarmUpBlocks = 16;

void start(BlockRenderer& renderer)
{
    renderer.startFromSequenceBegin();
    renderer.song()->sequencer->position.playing = true;
}

void renderLoop(benchmark::State& state, const PeerSong& peer)
{
    const SongSketch sketch = peer.make();
    BlockRenderer renderer(sketch.song(), kFrames);
    start(renderer);
    const quint64 songBlocks = peerSongFrames() / kFrames;
    quint64 played = 0;
    for (int i = 0; i < kWarmUpBlocks; ++i, ++played)
        renderer.render();
    for (auto _ : state) {
        // A long run starts the song over rather than time the silence after its end.
        if (++played == songBlocks) {
            state.PauseTiming();
            start(renderer);
            played = 0;
            state.ResumeTiming();
        }
        renderer.render();
        benchmark::DoNotOptimize(renderer.block().data());
        benchmark::ClobberMemory();
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    for (const PeerSong& peer : peerSongs())
        benchmark::RegisterBenchmark(("patch/" + peer.fileName).toStdString().c_str(),
            [&peer](benchmark::State& state) { renderLoop(state, peer); });
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter("patch/saw.zarn", double(kFrames), 44100.0);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
