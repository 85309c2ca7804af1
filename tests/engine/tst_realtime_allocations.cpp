// Steady-state blocks of a song of every processor type, rows and the loop included, neither
// allocate nor free. The AddressSanitizer allocator's hooks count new and malloc alike.

#include "engine/BlockRenderer.h"
#include "processors/ProcessorFactory.h"
#include "song/Graph.h"
#include "song/Sequencer.h"

#include <QtTest>

#include <algorithm>
#include <atomic>

#ifdef __SANITIZE_ADDRESS__
extern "C" int __sanitizer_install_malloc_and_free_hooks(
    void (*mallocHook)(const volatile void*, std::size_t), void (*freeHook)(const volatile void*));
#endif

namespace {

// Only the rendering thread counts, so a Qt helper thread cannot disturb the result.
thread_local bool t_counting = false;
std::atomic<qint64> g_heapCalls { 0 };

constexpr quint64 kBlockFrames = 1024;
constexpr int kBlocksPerTick = 100;

// Three rows, node parameters then one lane of track parameters: every lane empty, at its
// default, in the middle of its range.
PatternPointer rowsOfEveryKind(const zarn::NodePointer& node)
{
    const auto pattern = PatternPointer::create(QStringLiteral("00"), node, 3);
    const auto schema = node->processor->schema();
    QList<quint32> rows[3];
    for (const auto& lanes : { schema->nodeParameters, schema->trackParameters })
        for (const auto& p : lanes)
            rows[0] << p->empty, rows[1] << p->defaultValue,
                rows[2] << p->minimum + (p->maximum - p->minimum) / 2;
    for (int i = 0; i < 3; ++i)
        pattern->setRow(i, RowPointer::create(Row { rows[i] }));
    return pattern;
}

} // namespace

class RealtimeAllocationsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void steadyRenderingDoesNotAllocate();
};

// The counter must see both kinds of allocation, or a zero would prove nothing.
void RealtimeAllocationsTest::initTestCase()
{
#ifndef __SANITIZE_ADDRESS__
    QSKIP("counting heap calls needs the AddressSanitizer allocator");
#else
    QVERIFY(__sanitizer_install_malloc_and_free_hooks(
                [](const volatile void*, std::size_t) { g_heapCalls += t_counting; },
                [](const volatile void*) { g_heapCalls += t_counting; })
        > 0);
    t_counting = true;
    ::operator delete(::operator new(16));
    QByteArray(100, 'x'); // Qt containers take their memory from malloc
    t_counting = false;
    QCOMPARE(g_heapCalls.exchange(0), 4);
#endif
}

// Generators first, the last feeding a chain of every effect that feeds every node that
// only takes audio. Every other node plays from a track that restarts its pattern and then
// breaks; the others loop theirs. Rows change every hundred blocks; the sequence loops.
void RealtimeAllocationsTest::steadyRenderingDoesNotAllocate()
{
    const SongPointer song = Song::createEmpty();
    QList<zarn::NodePointer> nodes;
    for (const QString& typeID : ProcessorFactory::instance().typeIDs()) {
        nodes.append(zarn::Node::create(typeID, song));
        QVERIFY2(nodes.last()->processor, qPrintable(typeID));
    }
    const auto rank = [](const zarn::NodePointer& node) {
        const ProcessorCharacter& c = node->processor->character();
        return 2 * int(c.takesAudioInput) - int(c.givesAudioOutput);
    };
    std::stable_sort(
        nodes.begin(), nodes.end(), [&](auto& a, auto& b) { return rank(a) < rank(b); });
    zarn::NodePointer last;
    for (const auto& node : std::as_const(nodes)) {
        song->graph->addNode(node);
        const ProcessorCharacter& c = node->processor->character();
        if (last && c.takesAudioInput)
            QVERIFY2(song->graph->connect(last, node).ok, qPrintable(node->name));
        if (c.givesAudioOutput)
            last = node;
        node->patterns.append(rowsOfEveryKind(node));
        if (song->graph->nodes.size() % 2 == 0) {
            const TrackPointer track = song->sequencer->addTrack(node);
            track->setEntry(0, node->patterns.first());
            track->setEntry(3, node->patterns.first());
            track->setBreak(6);
        }
    }
    Position& position = song->sequencer->position;
    position.samplesPerTickValue = qint32(kBlockFrames) * kBlocksPerTick;
    position.sequenceEnd.sample = 8 * position.samplesPerTickValue;
    position.looping = position.playing = true;
    // The first ticks build the plan, lay out its storage and fill every value cache.
    BlockRenderer renderer(song, kBlockFrames);
    for (int block = 0; block < 3 * kBlocksPerTick; ++block)
        renderer.render();
    const auto& steps = renderer.engine().plan()->steps();
    QCOMPARE(qsizetype(std::count_if(steps.cbegin(), steps.cend(),
                 [](const auto& step) { return step->kind == PlanStep::Process; })),
        nodes.size());
    QVERIFY(!renderer.engine().plan()->outputs().isEmpty());
    t_counting = true;
    for (int block = 0; block < 100 * kBlocksPerTick; ++block)
        renderer.render();
    t_counting = false;
    QVERIFY(position.playing);
    QCOMPARE(g_heapCalls.load(), 0);
}

QTEST_GUILESS_MAIN(RealtimeAllocationsTest)
#include "tst_realtime_allocations.moc"
