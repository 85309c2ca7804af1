#include "engine/BlockRenderer.h"
#include "engine/EngineTestGraph.h"
#include "engine/Scheduler.h"
#include "song/Sequencer.h"

#include <QtTest>

#include <limits>

namespace {

constexpr qint32 kSamplesPerTick = 100;
constexpr int kNothing = -1;

// Remembers every row it is handed, and which of them it took (a repeated serial is
// ignored, as every processor does). Each test row carries its own index in lane 0.
class RecordingProcessor final : public Processor {
public:
    enum Lane { RowIndex, Level };
    static constexpr quint32 kEmpty = 255;

    struct Call {
        quint32 serial;
        QList<quint32> values;
    };

    RecordingProcessor()
        : Processor(
            ProcessorCharacter(QStringLiteral("Recorder"), false, true, true, true, false, false))
    {
    }

    void process(AudioContext& context) override
    {
        // A generator whose level is the Level lane of the last row taken.
        for (quint64 i = 0; i < context.frames; ++i)
            context.data[i] += m_level;
    }
    SchemaPointer schema() const override
    {
        auto layout = QSharedPointer<NodeParameterSchema>::create();
        layout->nodeParameters = {
            ParameterDescriptor::byte(QStringLiteral("Row"), QString(), 0, 254, kEmpty, 10),
            ParameterDescriptor::byte(QStringLiteral("Level"), QString(), 0, 254, kEmpty, 20),
        };
        return layout;
    }
    void applyRow(const quint32* values, int count, quint32 rowSerial) override
    {
        if (logging)
            calls.append({ rowSerial, QList<quint32>(values, values + count) });
        if (!acceptRow(rowSerial))
            return;
        ++taken;
        if (count > Level && values[Level] != kEmpty)
            m_level = values[Level];
    }

    // The row index each tick delivered, kNothing for a tick that delivered nothing.
    QList<int> rowIndexByTick(int ticks) const
    {
        QList<int> result(ticks, kNothing);
        for (const Call& call : calls)
            if (call.serial < quint32(ticks) && !call.values.isEmpty())
                result[call.serial] = int(call.values.at(RowIndex));
        return result;
    }

    QList<Call> calls;
    int taken = 0;
    bool logging = true; // off where the log's own allocations would be counted

private:
    double m_level = 0.0;
};

// A pattern of `length` rows where row i carries i in lane 0 and i + 1 in lane 1;
// `present` limits which row slots exist (all of them when empty).
PatternPointer numberedPattern(
    const zarn::NodePointer& node, int length, const QList<int>& present = {})
{
    auto pattern = PatternPointer::create(QStringLiteral("00"), node, length);
    for (int i = 0; i < length; ++i) {
        if (!present.isEmpty() && !present.contains(i))
            continue;
        auto row = RowPointer::create();
        row->cells = { quint32(i), quint32(i + 1) };
        pattern->setRow(i, row);
    }
    return pattern;
}

struct Rig {
    SongPointer song = Song::createEmpty();
    QSharedPointer<RecordingProcessor> recorder = QSharedPointer<RecordingProcessor>::create();
    zarn::NodePointer node = makeNode(QStringLiteral("Recorder"), recorder);

    Rig()
    {
        song->graph->addNode(node);
        song->sequencer->position.samplesPerTickValue = kSamplesPerTick;
    }
    Position& position() { return song->sequencer->position; }

    void deliverAt(int tick)
    {
        position().playPos.sample = tick * kSamplesPerTick;
        scheduler::deliverRows(*song->sequencer, *song->graph);
    }
    QList<int> deliverTicks(int ticks)
    {
        for (int t = 0; t < ticks; ++t)
            deliverAt(t);
        return recorder->rowIndexByTick(ticks);
    }
};

// The rows the pattern editor marks as playing agree with the rows delivered; where a
// pattern has every row slot, a tick that delivered nothing plays no pattern at all.
void checkPlayingRows(Rig& rig, const QList<int>& delivered, bool everySlotFilled)
{
    for (int tick = 0; tick < delivered.size(); ++tick) {
        const scheduler::PlayingRow playing
            = scheduler::playingRow(*rig.song->sequencer, *rig.node, tick);
        if (delivered.at(tick) != kNothing) {
            QVERIFY(playing.pattern);
            QCOMPARE(playing.index, qint64(delivered.at(tick)));
        } else if (everySlotFilled) {
            QVERIFY2(!playing.pattern, qPrintable(QStringLiteral("tick %1").arg(tick)));
        }
    }
}

// Fills a track from a layout of one character per slot: 'P' starts a new entry of the
// pattern, '=' repeats the previous slot's entry, 'B' is a break, '.' an empty slot.
void layOut(Track& track, const QString& entryLayout, const PatternPointer& pattern)
{
    for (int i = 0; i < entryLayout.size(); ++i) {
        switch (entryLayout.at(i).toLatin1()) {
        case 'P':
            track.setEntry(i, pattern);
            break;
        case '=':
            track.entries.append(track.entries.last());
            break;
        case 'B':
            track.setBreak(i);
            break;
        default:
            track.entries.append(EntryPointer());
        }
    }
}

QList<int> sequence(std::initializer_list<int> values)
{
    return QList<int>(values);
}

QList<int> rangeThenNothing(int rows, int nothing)
{
    QList<int> result;
    for (int i = 0; i < rows; ++i)
        result.append(i);
    result.append(QList<int>(nothing, kNothing));
    return result;
}

#ifdef __has_feature
#if __has_feature(address_sanitizer)
#define ZARN_COUNT_HEAP 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ZARN_COUNT_HEAP 1
#endif

#ifdef ZARN_COUNT_HEAP
extern "C" int __sanitizer_install_malloc_and_free_hooks(
    void (*mallocHook)(const volatile void*, std::size_t), void (*freeHook)(const volatile void*));

thread_local bool t_counting = false;
std::atomic<qint64> g_heapCalls { 0 };

void countAllocation(const volatile void*, std::size_t)
{
    if (t_counting)
        g_heapCalls.fetch_add(1, std::memory_order_relaxed);
}

void countFree(const volatile void*)
{
    if (t_counting)
        g_heapCalls.fetch_add(1, std::memory_order_relaxed);
}
#endif

} // namespace

class SchedulerTest : public QObject {
    Q_OBJECT

private slots:
    void trackRows_data();
    void trackRows();
    void untrackedNodeLoopsItsFirstPattern_data();
    void untrackedNodeLoopsItsFirstPattern();
    void trackedNodeDoesNotLoop();
    void stoppedTransportHoldsItsRow();
    void valueCache_data();
    void valueCache();
    void advance_data();
    void advance();
    void rendererDeliversBeforeRendering();
    void rendererRebuildsWhenTheGraphChanged();
    void steadyBlocksDoNotAllocate();
};

void SchedulerTest::trackRows_data()
{
    QTest::addColumn<QString>("entryLayout");
    QTest::addColumn<int>("length");
    QTest::addColumn<QList<int>>("present");
    QTest::addColumn<QList<int>>("expected"); // row index per tick from 0

    const QList<int> all;
    QTest::newRow("pattern at slot 0 plays once") << "P" << 16 << all << rangeThenNothing(16, 2);
    QTest::newRow("same entry in slots 0-3 restarts")
        << "P===" << 16 << all << sequence({ 0, 0, 0, 0, 1, 2 });
    QTest::newRow("entry in slot 0 only") << "P..." << 16 << all << sequence({ 0, 1, 2, 3, 4 });
    QTest::newRow("entry starting later")
        << "..P" << 4 << all << sequence({ kNothing, kNothing, 0, 1, 2, 3, kNothing });
    QTest::newRow("new entry restarts the pattern")
        << "P..P" << 8 << all << sequence({ 0, 1, 2, 0, 1 });
    QTest::newRow("break silences the rest")
        << "P..B" << 16 << all << sequence({ 0, 1, 2, kNothing, kNothing });
    QTest::newRow("missing row slots deliver nothing")
        << "P" << 4 << sequence({ 0, 2 }) << sequence({ 0, kNothing, 2, kNothing });
    QTest::newRow("no entries") << "" << 4 << all << sequence({ kNothing, kNothing });
    QTest::newRow("empty slots only") << "..." << 4 << all << sequence({ kNothing, kNothing });
}

void SchedulerTest::trackRows()
{
    QFETCH(QString, entryLayout);
    QFETCH(int, length);
    QFETCH(QList<int>, present);
    QFETCH(QList<int>, expected);

    Rig rig;
    const TrackPointer track = rig.song->sequencer->addTrack(rig.node);
    layOut(*track, entryLayout, numberedPattern(rig.node, length, present));

    QCOMPARE(rig.deliverTicks(int(expected.size())), expected);
    for (const auto& call : std::as_const(rig.recorder->calls))
        QCOMPARE(call.values, QList<quint32>({ call.values.at(0), call.values.at(0) + 1 }));
    checkPlayingRows(rig, expected, present.isEmpty());
}

void SchedulerTest::untrackedNodeLoopsItsFirstPattern_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QList<int>>("present");
    QTest::addColumn<QList<int>>("expected");

    QTest::newRow("length 4") << 4 << QList<int>() << sequence({ 0, 1, 2, 3, 0, 1, 2, 3, 0, 1 });
    QTest::newRow("length 1") << 1 << QList<int>() << sequence({ 0, 0, 0 });
    QTest::newRow("sparse rows") << 3 << sequence({ 1 })
                                 << sequence({ kNothing, 1, kNothing, kNothing, 1, kNothing });
}

void SchedulerTest::untrackedNodeLoopsItsFirstPattern()
{
    QFETCH(int, length);
    QFETCH(QList<int>, present);
    QFETCH(QList<int>, expected);

    Rig rig;
    rig.node->patterns.append(numberedPattern(rig.node, length, present));
    // Only the first pattern loops.
    rig.node->patterns.append(numberedPattern(rig.node, 2));

    QCOMPARE(rig.deliverTicks(int(expected.size())), expected);
    checkPlayingRows(rig, expected, present.isEmpty());
}

// A node with a track plays only what the track says, even when the track is empty.
void SchedulerTest::trackedNodeDoesNotLoop()
{
    Rig rig;
    rig.node->patterns.append(numberedPattern(rig.node, 4));
    rig.song->sequencer->addTrack(rig.node);

    rig.deliverTicks(6);
    QVERIFY(rig.recorder->calls.isEmpty());
}

void SchedulerTest::stoppedTransportHoldsItsRow()
{
    Rig rig;
    rig.node->patterns.append(numberedPattern(rig.node, 4));
    Position& position = rig.position();
    position.playPos.sample = 2 * kSamplesPerTick + 30;
    position.playing = false;

    for (int block = 0; block < 5; ++block) {
        scheduler::deliverRows(*rig.song->sequencer, *rig.song->graph);
        QCOMPARE(scheduler::advance(position, 1024), 0);
    }

    QCOMPARE(position.playPos.sample, 2 * kSamplesPerTick + 30);
    QCOMPARE(rig.recorder->calls.size(), 5);
    for (const auto& call : std::as_const(rig.recorder->calls))
        QCOMPARE(call.serial, 2u);
    QCOMPARE(rig.recorder->taken, 1);
}

void SchedulerTest::valueCache_data()
{
    QTest::addColumn<bool>("filled");
    QTest::addColumn<QList<quint32>>("row");
    QTest::addColumn<QList<quint32>>("expected"); // defaults are 10 and 20, empties 255

    QTest::newRow("both entered") << true << QList<quint32>({ 5, 6 }) << QList<quint32>({ 5, 6 });
    QTest::newRow("empty keeps the value")
        << true << QList<quint32>({ 255, 7 }) << QList<quint32>({ 10, 7 });
    QTest::newRow("short row") << true << QList<quint32>({ 3 }) << QList<quint32>({ 3, 20 });
    QTest::newRow("long row") << true << QList<quint32>({ 1, 2, 3 }) << QList<quint32>({ 1, 2 });
    QTest::newRow("cache never filled") << false << QList<quint32>({ 1, 2 }) << QList<quint32>();
}

void SchedulerTest::valueCache()
{
    QFETCH(bool, filled);
    QFETCH(QList<quint32>, row);
    QFETCH(QList<quint32>, expected);

    Rig rig;
    if (filled)
        rig.recorder->ensureValueCache();
    auto pattern = PatternPointer::create(QStringLiteral("00"), rig.node, 1);
    pattern->setRow(0, RowPointer::create(Row { row }));
    rig.node->patterns.append(pattern);

    rig.deliverAt(0);
    QCOMPARE(rig.recorder->nodeValues, expected);
}

void SchedulerTest::advance_data()
{
    QTest::addColumn<bool>("playing");
    QTest::addColumn<bool>("looping");
    QTest::addColumn<qint32>("samplesPerTick");
    QTest::addColumn<qint32>("loopBegin");
    QTest::addColumn<qint32>("sequenceEnd");
    QTest::addColumn<qint32>("start");
    QTest::addColumn<int>("frames");
    QTest::addColumn<qint32>("expected");
    QTest::addColumn<bool>("stillPlaying");
    QTest::addColumn<int>("ticksCrossed");

    constexpr qint32 kLast = std::numeric_limits<qint32>::max();
    // ticks crossed = tick after the block - tick before it, with 100 samples per tick
    QTest::newRow("stopped") << false << false << 100 << 0 << 0 << 500 << 256 << 500 << false << 0;
    QTest::newRow("inside one tick")
        << true << false << 100 << 0 << 0 << 0 << 50 << 50 << true << 0;
    QTest::newRow("onto a boundary")
        << true << false << 100 << 0 << 0 << 50 << 50 << 100 << true << 1;
    QTest::newRow("many ticks") << true << false << 100 << 0 << 0 << 0 << 1024 << 1024 << true
                                << 10;
    QTest::newRow("no sequence end")
        << true << false << 100 << 0 << 0 << 5000 << 100 << 5100 << true << 1;
    QTest::newRow("stop at the end")
        << true << false << 100 << 0 << 1000 << 900 << 256 << 1000 << false << 2;
    QTest::newRow("stop exactly at the end")
        << true << false << 100 << 0 << 1000 << 744 << 256 << 1000 << false << 3;
    QTest::newRow("loop 1010 over 1000 becomes 10")
        << true << true << 100 << 0 << 1000 << 754 << 256 << 10 << true << 3;
    QTest::newRow("loop from a later begin")
        << true << true << 100 << 600 << 1000 << 950 << 500 << 600 + 450 % 400 << true << 5;
    QTest::newRow("loop begin past the end")
        << true << true << 100 << 1200 << 1000 << 990 << 20 << 1200 << true << 1;
    QTest::newRow("zero samples per tick counts every sample")
        << true << false << 0 << 0 << 0 << 0 << 10 << 10 << true << 10;
    QTest::newRow("last sample holds") << true << false << 1000 << 0 << 0 << kLast - 10 << 100
                                       << kLast << true << kLast / 1000 - (kLast - 10) / 1000;
}

void SchedulerTest::advance()
{
    QFETCH(bool, playing);
    QFETCH(bool, looping);
    QFETCH(qint32, samplesPerTick);
    QFETCH(qint32, loopBegin);
    QFETCH(qint32, sequenceEnd);
    QFETCH(qint32, start);
    QFETCH(int, frames);
    QFETCH(qint32, expected);
    QFETCH(bool, stillPlaying);
    QFETCH(int, ticksCrossed);

    Position position;
    position.playing = playing;
    position.looping = looping;
    position.samplesPerTickValue = samplesPerTick;
    position.loopBegin.sample = loopBegin;
    position.sequenceEnd.sample = sequenceEnd;
    position.playPos.sample = start;

    QCOMPARE(scheduler::advance(position, quint64(frames)), ticksCrossed);
    QCOMPARE(position.playPos.sample, expected);
    QCOMPARE(position.playing, stillPlaying);
    if (playing)
        QCOMPARE(position.shownPlayPos.sample, expected);
}

// Block k starts in tick k, whose row sets the generator's level to k % 4 + 1: a block
// showing that level proves the row arrived before the block was rendered, and the
// position moved one block per render.
void SchedulerTest::rendererDeliversBeforeRendering()
{
    constexpr quint64 kFrames = 256;
    TestGraph rig(QStringLiteral("Out:sink"), QString());
    const auto recorder = QSharedPointer<RecordingProcessor>::create();
    const auto node = makeNode(QStringLiteral("Recorder"), recorder);
    node->patterns.append(numberedPattern(node, 4));
    rig.graph->addNode(node);
    rig.graph->connect(node, rig.nodes.value(QStringLiteral("Out")));
    rig.song->graph = rig.graph;
    Position& position = rig.song->sequencer->position;
    position.samplesPerTickValue = qint32(kFrames);
    position.playing = true;

    BlockRenderer renderer(rig.song, kFrames);
    for (int block = 0; block < 6; ++block) {
        QCOMPARE(renderer.render(), 1);
        const double level = block % 4 + 1;
        QCOMPARE(renderer.block().data()[0], level);
        QCOMPARE(renderer.block().data()[kFrames - 1], level);
        QCOMPARE(position.playPos.sample, qint32((block + 1) * kFrames));
        QCOMPARE(renderer.context().blockFrames, kFrames);
    }
}

void SchedulerTest::rendererRebuildsWhenTheGraphChanged()
{
    TestGraph rig(QStringLiteral("Tone:source+0.5 Out:sink"), QString());
    rig.song->graph = rig.graph;
    rig.graph->changed = false; // a song handed over is built whatever its flag says

    BlockRenderer renderer(rig.song, 128);
    renderer.render();
    QVERIFY(!rig.graph->changed);
    QCOMPARE(renderer.block().data()[0], 0.0);

    QVERIFY(rig.graph->connect(rig.nodes.value("Tone"), rig.nodes.value("Out")).ok);
    renderer.render();
    QVERIFY(!rig.graph->changed);
    QCOMPARE(renderer.block().data()[127], 0.5);
    QCOMPARE(rig.song->sequencer->position.playPos.sample, 0); // stopped: time stands
}

void SchedulerTest::steadyBlocksDoNotAllocate()
{
#ifndef ZARN_COUNT_HEAP
    QSKIP("counting heap calls needs the AddressSanitizer allocator");
#else
    QVERIFY(__sanitizer_install_malloc_and_free_hooks(countAllocation, countFree) > 0);
    t_counting = true;
    QByteArray probe(64, 'x'); // the counter must see an allocation, or zero proves nothing
    t_counting = false;
    QVERIFY(g_heapCalls.exchange(0) > 0);

    Rig rig;
    rig.recorder->logging = false;
    rig.recorder->ensureValueCache();
    const TrackPointer track = rig.song->sequencer->addTrack(rig.node);
    layOut(*track, QStringLiteral("P..B"), numberedPattern(rig.node, 16));
    TestGraph sink(QStringLiteral("Out:sink"), QString());
    const auto out = sink.nodes.value(QStringLiteral("Out"));
    rig.song->graph->addNode(out);
    rig.song->graph->connect(rig.node, out);
    const auto looper = QSharedPointer<RecordingProcessor>::create();
    looper->logging = false;
    auto untracked = makeNode(QStringLiteral("Loop"), looper);
    untracked->patterns.append(numberedPattern(untracked, 3));
    rig.song->graph->addNode(untracked);
    rig.position().playing = true;
    rig.position().looping = true;
    rig.position().sequenceEnd.sample = 8 * kSamplesPerTick;

    BlockRenderer renderer(rig.song, 64);
    renderer.render(); // builds the plan and lays out its storage

    t_counting = true;
    for (int block = 0; block < 20; ++block)
        renderer.render();
    t_counting = false;
    QCOMPARE(g_heapCalls.load(), 0);
#endif
}

QTEST_GUILESS_MAIN(SchedulerTest)
#include "tst_scheduler.moc"
