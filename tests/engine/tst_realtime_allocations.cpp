// Renders a song holding one node of every registered processor type and requires
// that steady-state blocks, row delivery included, neither allocate nor free.
//
// This executable replaces the global operator new and delete with counting versions.
// Qt's containers allocate with malloc directly; under AddressSanitizer the
// allocator's own hooks count those too.

#include "engine/AudioEngine.h"
#include "engine/Buffer.h"
#include "engine/Context.h"
#include "engine/SongPlanBuilder.h"
#include "processors/ProcessorFactory.h"
#include "song/Graph.h"
#include "song/Node.h"
#include "song/Position.h"
#include "song/Song.h"

#include <QtTest>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// Only the rendering thread counts, so a Qt helper thread cannot disturb the result.
thread_local bool t_counting = false;
std::atomic<qint64> g_news { 0 };
std::atomic<qint64> g_deletes { 0 };
std::atomic<qint64> g_heapAllocations { 0 };
std::atomic<qint64> g_heapFrees { 0 };

void* allocate(std::size_t size) noexcept
{
    if (t_counting)
        g_news.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}

void* allocateAligned(std::size_t size, std::align_val_t alignment) noexcept
{
    if (t_counting)
        g_news.fetch_add(1, std::memory_order_relaxed);
    void* block = nullptr;
    const std::size_t align = std::max(std::size_t(alignment), sizeof(void*));
    return posix_memalign(&block, align, size ? size : 1) == 0 ? block : nullptr;
}

void* allocateOrThrow(void* block)
{
    if (!block)
        throw std::bad_alloc();
    return block;
}

void release(void* block) noexcept
{
    if (!block)
        return;
    if (t_counting)
        g_deletes.fetch_add(1, std::memory_order_relaxed);
    std::free(block);
}

} // namespace

void* operator new(std::size_t size)
{
    return allocateOrThrow(allocate(size));
}
void* operator new[](std::size_t size)
{
    return allocateOrThrow(allocate(size));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return allocate(size);
}
void* operator new(std::size_t size, std::align_val_t alignment)
{
    return allocateOrThrow(allocateAligned(size, alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment)
{
    return allocateOrThrow(allocateAligned(size, alignment));
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return allocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return allocateAligned(size, alignment);
}
void operator delete(void* block) noexcept
{
    release(block);
}
void operator delete[](void* block) noexcept
{
    release(block);
}
void operator delete(void* block, std::size_t) noexcept
{
    release(block);
}
void operator delete[](void* block, std::size_t) noexcept
{
    release(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept
{
    release(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept
{
    release(block);
}
void operator delete(void* block, std::align_val_t) noexcept
{
    release(block);
}
void operator delete[](void* block, std::align_val_t) noexcept
{
    release(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept
{
    release(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept
{
    release(block);
}
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept
{
    release(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept
{
    release(block);
}

#if defined(__SANITIZE_ADDRESS__)
#define ZARN_HEAP_HOOKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZARN_HEAP_HOOKS 1
#endif
#endif

#ifdef ZARN_HEAP_HOOKS
extern "C" int __sanitizer_install_malloc_and_free_hooks(
    void (*mallocHook)(const volatile void*, std::size_t), void (*freeHook)(const volatile void*));

namespace {

void countHeapAllocation(const volatile void*, std::size_t)
{
    if (t_counting)
        g_heapAllocations.fetch_add(1, std::memory_order_relaxed);
}

void countHeapFree(const volatile void*)
{
    if (t_counting)
        g_heapFrees.fetch_add(1, std::memory_order_relaxed);
}

} // namespace
#endif

namespace {

constexpr quint64 kBlockFrames = 1024;
constexpr int kBlocks = 10000;
constexpr int kRowInterval = 100;

// Rows prepared before rendering: every lane empty, every lane at its default, every
// lane in the middle of its range. Node parameters first, then one lane of track parameters.
struct RowSet {
    QSharedPointer<Processor> processor;
    QList<quint32> rows[3];

    const QList<quint32>& neutral() const { return rows[0]; }
};

RowSet rowsFor(const QSharedPointer<Processor>& processor)
{
    RowSet set { processor, {} };
    const auto schema = processor->schema();
    if (!schema)
        return set;
    for (const auto& lanes : { schema->nodeParameters, schema->trackParameters }) {
        for (const auto& p : lanes) {
            set.rows[0].append(p->empty);
            set.rows[1].append(p->defaultValue);
            set.rows[2].append(p->minimum + (p->maximum - p->minimum) / 2);
        }
    }
    return set;
}

void deliver(const RowSet& set, const QList<quint32>& row, quint32 serial)
{
    set.processor->applyRow(row.constData(), int(row.size()), serial);
}

// Generators feed the first effect, the effects form one chain, and the last effect
// (or the generators, without effects) feeds every node that only takes audio.
QStringList wireEveryType(Graph& graph, const SongPointer& song)
{
    QList<zarn::NodePointer> generators, effects, sinks;
    for (const QString& typeID : ProcessorFactory::instance().typeIDs()) {
        const auto node = zarn::Node::create(typeID, song);
        graph.addNode(node);
        if (!node->processor)
            continue;
        const ProcessorCharacter& c = node->processor->character();
        if (c.takesAudioInput && c.givesAudioOutput)
            effects.append(node);
        else if (c.givesAudioOutput)
            generators.append(node);
        else if (c.takesAudioInput)
            sinks.append(node);
    }

    QStringList refusals;
    const auto connect = [&](const zarn::NodePointer& from, const zarn::NodePointer& to) {
        const auto result = graph.connect(from, to);
        if (!result.ok)
            refusals.append(from->name + QStringLiteral(" > ") + to->name + QStringLiteral(": ")
                + result.message);
    };
    for (qsizetype i = 1; i < effects.size(); ++i)
        connect(effects[i - 1], effects[i]);
    for (const auto& generator : generators)
        for (const auto& to : effects.isEmpty() ? sinks : effects.mid(0, 1))
            connect(generator, to);
    if (!effects.isEmpty())
        for (const auto& sink : sinks)
            connect(effects.last(), sink);
    return refusals;
}

} // namespace

class RealtimeAllocationsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void steadyRenderingDoesNotAllocate();
};

// The counters must see both kinds of allocation, or a zero below would prove nothing.
void RealtimeAllocationsTest::initTestCase()
{
#ifdef ZARN_HEAP_HOOKS
    QVERIFY(__sanitizer_install_malloc_and_free_hooks(countHeapAllocation, countHeapFree) > 0);
#endif
    t_counting = true;
    ::operator delete(::operator new(16));
    QByteArray bytes(100, 'x'); // Qt containers take their memory from malloc
    bytes = QByteArray();
    t_counting = false;

    QCOMPARE(g_news.exchange(0), 1);
    QCOMPARE(g_deletes.exchange(0), 1);
#ifdef ZARN_HEAP_HOOKS
    QCOMPARE(g_heapAllocations.exchange(0), 2);
    QCOMPARE(g_heapFrees.exchange(0), 2);
#endif
}

void RealtimeAllocationsTest::steadyRenderingDoesNotAllocate()
{
    const SongPointer song = Song::createEmpty();
    Graph& graph = *song->graph;
    QCOMPARE(wireEveryType(graph, song), QStringList());

    QList<RowSet> rowSets;
    QStringList everyNode;
    for (const auto& node : std::as_const(graph.nodes)) {
        QVERIFY2(node->processor, qPrintable(node->name));
        node->processor->setSampleRate(44100);
        rowSets.append(rowsFor(node->processor));
        everyNode.append(node->name);
    }
    QCOMPARE(everyNode, ProcessorFactory::instance().typeIDs());

    SongPlanBuilder builder;
    const auto plan = builder.build(graph);
    QStringList processed;
    for (const auto& step : plan->steps())
        if (step->kind == PlanStep::Process)
            processed += step->names;
    std::sort(processed.begin(), processed.end());
    QCOMPARE(processed, everyNode);
    QVERIFY(!plan->outputs().isEmpty());

    AudioEngine engine;
    engine.setPlan(plan);
    Position position;
    position.playing = true;
    zarn::Context context(song.data(), &position);
    context.blockFrames = kBlockFrames;
    Buffer destination(kBlockFrames);

    for (const auto& set : std::as_const(rowSets))
        deliver(set, set.neutral(), 0);
    execute(engine, context, destination);
    position.playPos.sample += qint32(kBlockFrames);

    t_counting = true;
    for (int block = 0; block < kBlocks; ++block) {
        if (block % kRowInterval == 0) {
            const int delivery = block / kRowInterval;
            for (const auto& set : std::as_const(rowSets))
                deliver(set, set.rows[delivery % 3], quint32(delivery + 1));
        }
        execute(engine, context, destination);
        position.playPos.sample += qint32(kBlockFrames);
    }
    t_counting = false;

    QCOMPARE(g_news.load(), 0);
    QCOMPARE(g_deletes.load(), 0);
    QCOMPARE(g_heapAllocations.load(), 0);
    QCOMPARE(g_heapFrees.load(), 0);
}

QTEST_GUILESS_MAIN(RealtimeAllocationsTest)
#include "tst_realtime_allocations.moc"
