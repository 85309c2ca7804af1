// The render path of one block, piece by piece, with processors of known arithmetic.

#include "engine/AudioEngine.h"
#include "engine/BlockRenderer.h"
#include "engine/Context.h"
#include "engine/Scheduler.h"
#include "engine/SongPlanBuilder.h"
#include "song/Connection.h"
#include "song/RandomId.h"
#include "song/Sequencer.h"

#include "../song/CapturedMessages.h"

#include <QtTest>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

using L = QList<qint32>;
using D = QList<double>;

// Every sample becomes sample x factor + offset, from an operation such as "+3" or "*0.5"
// (none adds 0); a sink has the output node's character. Of a row, lane 0 names the row and
// lane 1, once the row is taken, becomes the value added.
class ArithmeticProcessor final : public Processor {
public:
    static constexpr quint32 kEmpty = 255;
    ArithmeticProcessor(const QString& role, const QString& operation)
        : Processor({ QStringLiteral("Test ") + role, role != QLatin1String("source"),
            role != QLatin1String("sink"), true, true, role == QLatin1String("sink"),
            role == QLatin1String("sink") })
        , m_scales(operation.startsWith(QLatin1Char('*')))
        , m_value(operation.mid(1).toDouble())
    {
    }
    void process(AudioContext& context) override
    {
        for (quint64 i = 0; i < context.frames * context.channels; ++i)
            context.data[i] = m_scales ? context.data[i] * m_value : context.data[i] + m_value;
        lastFrames = context.frames;
    }
    SchemaPointer schema() const override
    {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = { ParameterDescriptor::byte("Row", {}, 0, 254, kEmpty, 10),
            ParameterDescriptor::byte("Level", {}, 0, 254, kEmpty, 20) };
        return schema;
    }
    void applyRow(const quint32* values, int count, quint32 rowSerial) override
    {
        if (count > 0 && rowSerial < quint32(rowByTick.size()))
            rowByTick[rowSerial] = int(values[0]);
        if (acceptRow(rowSerial) && count > 1 && values[1] != kEmpty)
            m_value = values[1];
    }
    quint64 lastFrames = 0;
    QList<int> rowByTick; // lane 0 of the row each tick's serial delivered

private:
    bool m_scales;
    double m_value;
};

// A song of nodes "Osc:source+1 Amp:effect*2 Out:sink" and connections "Osc>Amp Amp>Out";
// a name written "-Osc" is muted and "^Osc" soloed; "A~B" appends the connection as a damaged song
// may hold it, past the connect rules. By default a recorder node and a hum beside an output.
struct TestGraph {
    TestGraph(const QString& nodeList = "Out:sink Recorder:source Hum:source+0.25",
        const QString& connections = {})
    {
        for (const QString& text : nodeList.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QString marked = text.section(QLatin1Char(':'), 0, 0);
            const QString name = marked.mid(marked.startsWith('-') || marked.startsWith('^'));
            const QString rest = text.section(QLatin1Char(':'), 1);
            const qsizetype split = rest.indexOf(QRegularExpression(QStringLiteral("[+*]|$")));
            auto& node = nodes[name] = QSharedPointer<zarn::Node>::create();
            node->name = name;
            node->muted = marked.startsWith('-');
            node->solo = marked.startsWith('^');
            node->uniqueID = randomIdentifier();
            node->processor = processors[name]
                = QSharedPointer<ArithmeticProcessor>::create(rest.left(split), rest.mid(split));
            graph->addNode(node);
        }
        for (const QString& text : connections.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QStringList ends = text.split(QRegularExpression(QStringLiteral("[>~]")));
            const auto from = nodes.value(ends.value(0)), to = nodes.value(ends.value(1));
            if (text.contains(QLatin1Char('~')))
                graph->connections.append(ConnectionPointer::create(from, to, song));
            else
                graph->connect(from, to);
        }
    }
    SongPointer song = Song::createEmpty();
    GraphPointer graph = song->graph;
    Position& position = song->sequencer->position;
    QHash<QString, zarn::NodePointer> nodes;
    QHash<QString, QSharedPointer<ArithmeticProcessor>> processors;
};

struct Rig : TestGraph {
    zarn::NodePointer node = nodes.value(QStringLiteral("Recorder"));
    QSharedPointer<ArithmeticProcessor> recorder = processors.value(QStringLiteral("Recorder"));
};

// True when one block rendered over samples of `prefill` comes out all `expected`.
bool rendersAll(AudioEngine& engine, quint64 frames, double expected, double prefill = 99.0)
{
    AudioContext context;
    Buffer destination(frames);
    std::fill_n(destination.data(), frames, prefill);
    execute(engine, context, destination);
    return std::all_of(destination.data(), destination.data() + frames,
        [expected](double sample) { return sample == expected; });
}

// A pattern with a row slot for each character of `rowSlots`; row i, where the character is
// '#', carries i and i + 1.
PatternPointer numberedPattern(const zarn::NodePointer& node, const QString& rowSlots)
{
    auto pattern = PatternPointer::create(QStringLiteral("00"), node, int(rowSlots.size()));
    for (int i = 0; i < rowSlots.size(); ++i)
        if (rowSlots.at(i) == QLatin1Char('#'))
            pattern->setRow(i, RowPointer::create(Row { { quint32(i), quint32(i + 1) } }));
    return pattern;
}

} // namespace

class SchedulerTest : public QObject {
    Q_OBJECT

private slots:
    void build_data();
    void build();
    void stepRuns_data();
    void stepRuns();
    void storageIsLaidOutOnce();
    void rowsByTick_data();
    void rowsByTick();
    void valueCache_data();
    void valueCache();
    void advance_data();
    void advance();
    void contextReadings_data();
    void contextReadings();
    void renderer();
};

void SchedulerTest::build_data()
{
    QTest::addColumn<QString>("nodes");
    QTest::addColumn<QString>("connections");
    QTest::addColumn<QString>("plan"); // the steps, then the buffers heard
    QTest::addColumn<QString>("logLine"); // the build log line that tells the case apart
    QTest::addColumn<double>("heard");
    const auto row = [](const char* name, const char* nodes, const char* connections,
                         const char* plan, const char* logLine, double heard) {
        QTest::newRow(name) << QString(nodes) << QString(connections) << QString(plan)
                            << QString(logLine) << heard;
    };
    row("single output node", "Output:sink+0.25", "", "CLEAR B1; PROCESS B1 WITH Output => B1",
        "Buffer B1 created for node 'Output'", 0.25);
    row("outputs are averaged", "G1:source+2 G2:source+6 O1:sink*3 O2:sink*0.5", "G1>O1 G2>O2",
        "CLEAR B1; PROCESS B1 WITH G1; CLEAR B2; PROCESS B2 WITH G2; PROCESS B1 WITH O1; "
        "PROCESS B2 WITH O2 => B1 B2",
        "Queuing 'O1' ('G1's neighbour)", (2.0 * 3 + 6.0 * 0.5) / 2);
    row("two generators mixed into one output", "Osc:source+1 Saw:source+2 Out:sink*2",
        "Osc>Out Saw>Out",
        "CLEAR B1; PROCESS B1 WITH Osc; CLEAR B2; PROCESS B2 WITH Saw; MIX B2 INTO B1; "
        "PROCESS B1 WITH Out => B1",
        "'Out' ('Saw's neighbour) already queued", (1.0 + 2.0) * 2);
    // X and Y feed each other, as only a damaged song can; nothing reaches the output behind.
    row("unreached nodes are not processed", "Osc:source+1 X:effect+1 Y:effect+1 Output:sink",
        "X~Y Y~X Y~Output", "CLEAR B1; PROCESS B1 WITH Osc => ", "No dowry for node 'Output'", 0.0);
    // Kept, or existing songs would sound different: nodes run once each, breadth first, so
    // X's buffer joins Out's mix-ins after Out (depth 1) ran, too late to be heard.
    row("input reached at a later depth", "A:source+1 B:source+10 X:effect+100 Out:sink",
        "A>Out B>X X>Out",
        "CLEAR B1; PROCESS B1 WITH A; CLEAR B2; PROCESS B2 WITH B; PROCESS B1 WITH Out; "
        "PROCESS B2 WITH X => B1",
        "'Out' ('X's neighbour) already processed, skipping", 1.0);
    // Amp continues in Osc's buffer and runs before Echo's mix: Echo hears Osc after Amp.
    row("branch hears the first destination's output",
        "Osc:source+1 Amp:effect+10 Echo:effect+100 Out:sink", "Osc>Amp Osc>Echo Echo>Out",
        "CLEAR B1; PROCESS B1 WITH Osc; CLEAR B2; PROCESS B1 WITH Amp; MIX B1 INTO B2; "
        "PROCESS B2 WITH Echo; PROCESS B2 WITH Out => B2",
        "Buffer B2 created for branching output node 'Echo'", 1.0 + 10.0 + 100.0);
    row("a muted node runs and passes on silence", "Osc:source+1 -Saw:source+2 Out:sink*2",
        "Osc>Out Saw>Out",
        "CLEAR B1; PROCESS B1 WITH Osc; CLEAR B2; PROCESS B2 WITH Saw; CLEAR B2; MIX B2 INTO B1; "
        "PROCESS B1 WITH Out => B1",
        "Processing 'Saw'", 1.0 * 2);
    row("a muted output is silent", "Osc:source+1 -Out:sink", "Osc>Out",
        "CLEAR B1; PROCESS B1 WITH Osc; PROCESS B1 WITH Out; CLEAR B1 => B1", "Processing 'Out'",
        0.0);
    // What the soloed node hears and what hears it stay; the other generator goes quiet.
    // Listed from the output back, so reaching the Output takes a second pass.
    row("a solo keeps its own chain", "^Osc:source+1 Saw:source+2 Amp:effect*3 Out:sink",
        "Amp>Out Osc>Amp Saw>Out",
        "CLEAR B1; PROCESS B1 WITH Osc; CLEAR B2; PROCESS B2 WITH Saw; CLEAR B2; "
        "PROCESS B1 WITH Amp; MIX B1 INTO B2; PROCESS B2 WITH Out => B2",
        "Processing 'Amp'", 1.0 * 3);
    row("a soloed effect keeps its source", "Osc:source+1 Saw:source+2 ^Amp:effect*3 Out:sink",
        "Osc>Amp Amp>Out Saw>Out",
        "CLEAR B1; PROCESS B1 WITH Osc; CLEAR B2; PROCESS B2 WITH Saw; CLEAR B2; "
        "PROCESS B1 WITH Amp; MIX B1 INTO B2; PROCESS B2 WITH Out => B2",
        "Processing 'Amp'", 1.0 * 3);
}

// Built twice by one builder: a build starts afresh, with buffers of its own. The second
// block proves the first writers clear what the last block left.
void SchedulerTest::build()
{
    QFETCH(QString, nodes);
    QFETCH(QString, connections);
    QFETCH(QString, plan);
    QFETCH(QString, logLine);
    QFETCH(double, heard);
    const TestGraph test(nodes, connections);
    SongPlanBuilder builder;
    const auto first = builder.build(*test.graph);
    const auto built = builder.build(*test.graph);
    QStringList steps, outputs;
    for (const auto& step : built->steps())
        steps.append(step->text());
    for (const auto& buffer : built->outputs())
        outputs.append(buffer->label());
    QCOMPARE(steps.join("; ") + " => " + outputs.join(' '), plan);
    QCOMPARE(builder.log().count(logLine), 1);
    QVERIFY(!built->buffers().intersects(first->buffers()));
    AudioEngine engine;
    engine.setPlan(built);
    QVERIFY(rendersAll(engine, 64, heard));
    QVERIFY(rendersAll(engine, 64, heard));
}

void SchedulerTest::stepRuns_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("operations"); // the step's processors, named after them
    QTest::addColumn<QString>("text");
    QTest::addColumn<D>("after"); // each buffer Bn holds n before the step
    const auto row = [](const char* name, int kind, const QStringList& operations, const char* text,
                         const D& after) {
        QTest::newRow(name) << kind << operations << QString(text) << after;
    };
    row("noop", PlanStep::Noop, {}, "NOOP", { 1 });
    row("clear", PlanStep::Clear, {}, "CLEAR B1 B2", { 0, 0 });
    row("copy", PlanStep::Copy, {}, "COPY B1 INTO B2", { 1, 1 });
    row("mix", PlanStep::Mix, {}, "MIX B2 B3 INTO B1", { 1 + 2 + 3, 2, 3 });
    row("processors in order on every buffer", PlanStep::Process, { "+3", "*2" },
        "PROCESS B1 B2 WITH +3 *2", { (1 + 3) * 2, (2 + 3) * 2 });
    row("past the last kind", PlanStep::Process + 1, {}, "", { 1 });
}

void SchedulerTest::stepRuns()
{
    QFETCH(int, kind);
    QFETCH(QStringList, operations);
    QFETCH(QString, text);
    QFETCH(D, after);
    constexpr quint64 kFrames = 4;
    PlanStep step(kind, {});
    for (int n = 1; n <= after.size(); ++n) {
        step.buffers.append(QSharedPointer<Buffer>::create(kFrames));
        step.buffers.last()->id = n;
        std::fill_n(step.buffers.last()->data(), kFrames, double(n));
    }
    step.names = operations;
    for (const QString& operation : operations)
        step.processors.append(QSharedPointer<ArithmeticProcessor>::create("effect", operation));
    AudioContext context;
    step.run(context);
    QCOMPARE(step.text(), text);
    for (qsizetype i = 0; i < after.size(); ++i)
        QCOMPARE(
            D(step.buffers[i]->data(), step.buffers[i]->data() + kFrames), D(kFrames, after[i]));
}

// Every plan taken is a new generation; without one a block leaves the destination as it was.
// All samples live in one block, laid out again only for a larger block: each slice holds
// frames x 8 bytes rounded up to 32 on a 32-byte boundary, overlapping no other, plus 32
// bytes per buffer and 32 for aligning the start.
void SchedulerTest::storageIsLaidOutOnce()
{
    const TestGraph test("Osc:source+1 Saw:source+2 Amp:effect Echo:effect Out:sink",
        "Osc>Amp Osc>Echo Saw>Echo Amp>Out Echo>Out");
    const auto plan = SongPlanBuilder().build(*test.graph);
    AudioEngine engine;
    QCOMPARE(engine.setPlan(PlanPointer()), 1);
    QVERIFY(rendersAll(engine, 8, 7.0, 7.0));
    QCOMPARE(engine.setPlan(plan), 2);
    const CapturedMessages log;
    for (const quint64 frames : { 37, 512, 512, 256 }) {
        QVERIFY(rendersAll(engine, frames, 1.0 + (1.0 + 2.0)));
        QList<const Buffer*> all { &plan->output() };
        for (const auto& buffer : plan->buffers())
            all.append(buffer.data());
        std::sort(all.begin(), all.end(),
            [](const Buffer* a, const Buffer* b) { return a->data() < b->data(); });
        for (qsizetype i = 0; i < all.size(); ++i) {
            QCOMPARE(reinterpret_cast<std::uintptr_t>(all[i]->data()) % 32, 0u);
            QCOMPARE(all[i]->frames(), plan->capacityFrames());
            if (i + 1 < all.size())
                QVERIFY(all[i]->data() + all[i]->size() <= all[i + 1]->data());
        }
    }
    QCOMPARE(plan->capacityFrames(), 512u);
    QCOMPARE(CapturedMessages::lines(),
        QStringList(
            { "Re-sized optimized buffer from 0 to 1408 ( 37  frames, 3  input buffers + 1 output)",
                "Re-sized optimized buffer from 0 to 16512 ( 512  frames, 3  input buffers + 1 "
                "output)" }));
    // A plan's buffers point into its block; a free-standing buffer owns, and frees, its own.
    QVERIFY(!plan->output().ownsData() && Buffer(4).ownsData());
    // Processors keep rendering the laid-out block; only its head reaches the destination.
    QCOMPARE(test.processors.value(QStringLiteral("Out"))->lastFrames, 512u);
}

void SchedulerTest::rowsByTick_data()
{
    // A track slot holds 'P' for a new entry of the pattern, '=' for the previous slot's
    // entry, 'B' for a break and '.' for nothing; "-" is a node without a track.
    QTest::addColumn<QString>("entryLayout");
    QTest::addColumn<QString>("rowSlots"); // the pattern's row slots, '#' for a row
    QTest::addColumn<QString>("expected"); // the row each tick from 0 delivers, or '-'
    const auto row
        = [](const char* name, const char* layout, const char* rowSlots, const char* expected) {
              QTest::newRow(name) << QString(layout) << QString(rowSlots) << QString(expected);
          };
    row("pattern at slot 0 plays once", "P", "####", "0123--");
    row("same entry in slots 0-3 restarts", "P===", "########", "000012");
    row("entry starting later", "..P", "####", "--0123-");
    row("new entry restarts the pattern", "P..P", "########", "01201");
    row("break silences the rest", "P..B", "########", "012--");
    row("missing row slots deliver nothing", "P", "#.#.", "0-2-");
    // A node with a track plays only what the track says, even an empty one.
    row("no entries", "", "####", "--");
    // Without a track the node loops its first pattern, aligned to tick 0.
    row("looped, length 4", "-", "####", "0123012301");
    row("looped, sparse rows", "-", ".#.", "-1--1-");
}

// What the pattern editor marks as playing agrees with the rows delivered; where a pattern
// has every row slot, a tick that delivered nothing plays no pattern at all.
void SchedulerTest::rowsByTick()
{
    QFETCH(QString, entryLayout);
    QFETCH(QString, rowSlots);
    QFETCH(QString, expected);
    Rig rig;
    rig.position.samplesPerTickValue = 100;
    const PatternPointer pattern = numberedPattern(rig.node, rowSlots);
    rig.node->patterns = { pattern, numberedPattern(rig.node, "##") };
    if (entryLayout != QLatin1String("-")) {
        Track& track = *rig.song->sequencer->addTrack(rig.node);
        for (int i = 0; i < entryLayout.size(); ++i) {
            if (entryLayout.at(i) == QLatin1Char('P'))
                track.setEntry(i, pattern);
            else if (entryLayout.at(i) == QLatin1Char('B'))
                track.setBreak(i);
            else
                track.entries.append(
                    entryLayout.at(i) == QLatin1Char('=') ? track.entries.last() : EntryPointer());
        }
    }
    rig.recorder->rowByTick = QList<int>(expected.size(), -1);
    QString delivered, playing;
    for (int tick = 0; tick < expected.size(); ++tick) {
        rig.position.playPos.sample = tick * 100 + 99; // the last sample of the tick
        scheduler::deliverRows(*rig.song->sequencer, *rig.graph);
        const auto row = scheduler::playingRow(*rig.song->sequencer, *rig.node, tick);
        playing += row.pattern ? QString::number(row.index) : QStringLiteral("-");
    }
    for (const int row : std::as_const(rig.recorder->rowByTick))
        delivered += row < 0 ? QStringLiteral("-") : QString::number(row);
    QCOMPARE(delivered, expected);
    if (!rowSlots.contains(QLatin1Char('.')))
        QCOMPARE(playing, expected);
}

void SchedulerTest::valueCache_data()
{
    using W = QList<quint32>;
    QTest::addColumn<bool>("filled");
    QTest::addColumn<W>("row");
    QTest::addColumn<W>("expected"); // defaults are 10 and 20, empties 255
    QTest::newRow("both entered") << true << W { 5, 6 } << W { 5, 6 };
    QTest::newRow("empty keeps the value") << true << W { 255, 7 } << W { 10, 7 };
    QTest::newRow("short row") << true << W { 3 } << W { 3, 20 };
    QTest::newRow("long row") << true << W { 1, 2, 3 } << W { 1, 2 };
    QTest::newRow("cache never filled") << false << W { 1, 2 } << W {};
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
    scheduler::deliverRows(*rig.song->sequencer, *rig.graph);
    QCOMPARE(rig.recorder->nodeValues, expected);
}

void SchedulerTest::advance_data()
{
    // playing, looping, samples per tick, loop begin, sequence end, start, frames
    QTest::addColumn<L>("given");
    // the sample after the block, still playing, ticks crossed: the tick after the block
    // less the tick before it
    QTest::addColumn<L>("expected");
    constexpr qint32 kLast = std::numeric_limits<qint32>::max();
    const auto row = [](const char* name, const L& given, const L& expected) {
        QTest::newRow(name) << given << expected;
    };
    row("stopped", { 0, 0, 100, 0, 0, 500, 256 }, { 500, 0, 0 });
    row("inside one tick", { 1, 0, 100, 0, 0, 0, 50 }, { 50, 1, 0 });
    row("onto a boundary", { 1, 0, 100, 0, 0, 50, 50 }, { 100, 1, 1 });
    row("stop at the end", { 1, 0, 100, 0, 1000, 900, 256 }, { 1000, 0, 2 });
    row("stop exactly at the end", { 1, 0, 100, 0, 1000, 744, 256 }, { 1000, 0, 3 });
    row("loop from a later begin", { 1, 1, 100, 600, 1000, 950, 500 }, { 600 + 450 % 400, 1, 5 });
    row("loop begin past the end", { 1, 1, 100, 1200, 1000, 990, 20 }, { 1200, 1, 1 });
    row("zero samples per tick counts every sample", { 1, 0, 0, 0, 0, 0, 10 }, { 10, 1, 10 });
    row("last sample holds", { 1, 0, 1000, 0, 0, kLast - 10, 100 },
        { kLast, 1, kLast / 1000 - (kLast - 10) / 1000 });
}

void SchedulerTest::advance()
{
    QFETCH(L, given);
    QFETCH(L, expected);
    Position position;
    position.playing = given[0];
    position.looping = given[1];
    position.samplesPerTickValue = given[2];
    position.loopBegin.sample = given[3];
    position.sequenceEnd.sample = given[4];
    position.playPos.sample = given[5];
    const qint32 crossed = scheduler::advance(position, quint64(given[6]));
    QCOMPARE((L { position.playPos.sample, position.playing, crossed }), expected);
    if (position.playing)
        QCOMPARE(position.shownPlayPos.sample, expected[0]);
}

void SchedulerTest::contextReadings_data()
{
    QTest::addColumn<int>("samplesPerTick"); // -1: a context without a position
    QTest::addColumn<L>("steps"); // play, sequence begin and end, loop begin
    QTest::addColumn<L>("expected"); // step, tick, sample, sequence step
    const auto row = [](const char* name, int samplesPerTick, const L& steps, const L& expected) {
        QTest::newRow(name) << samplesPerTick << steps << expected;
    };
    // With s the current step, L = end - begin and M = end - loop:
    // s >= L gives loop + (s - end) mod M, otherwise begin + s mod L.
    row("offset sequence", 10, { 5, 2, 10, 4 }, { 5, 21, 217, 2 + 5 % 8 });
    row("at the end", 10, { 8, 0, 8, 2 }, { 8, 33, 337, 2 + (8 - 8) % 6 });
    row("past the end folds into the loop", 10, { 13, 0, 8, 2 }, { 13, 53, 537, 2 + (13 - 8) % 6 });
    row("zero loop length", 10, { 9, 1, 8, 8 }, { 9, 37, 377, 1 });
    row("zero sequence length", 10, { 3, 0, 0, 0 }, { 3, 13, 137, 0 });
    row("before the start of time", 10, { -3, 2, 10, 4 }, { -3, -13, -137, 2 });
    // A damaged song may carry a zero tick length; time then reads as tick and step 0.
    row("zero tick length", 0, { 5, 0, 8, 2 }, { 0, 0, 217, 0 });
    row("without a position", -1, { 5, 0, 8, 2 }, { 0, 0, 0, 0 });
}

// Steps are 40 samples (10 per tick, 4 ticks per step); the samples fall mid-step, so a
// reading that rounds instead of truncating shows.
void SchedulerTest::contextReadings()
{
    QFETCH(int, samplesPerTick);
    QFETCH(L, steps);
    QFETCH(L, expected);
    Position position;
    position.samplesPerTickValue = samplesPerTick;
    position.ticksPerStepValue = 4;
    position.playing = position.looping = true;
    position.playPos.sample = steps[0] * 40 + (steps[0] < 0 ? -17 : 17);
    position.sequenceBegin.sample = steps[1] * 40 + 39;
    position.sequenceEnd.sample = steps[2] * 40 + 1;
    position.loopBegin.sample = steps[3] * 40 + 20;
    zarn::Context c(nullptr, samplesPerTick < 0 ? nullptr : &position);
    c.counters[0] = 5;
    c.counters[1] = 6;
    QCOMPARE(
        (L { c.currentStep(), c.currentTick(), c.currentSample(), c.sequenceStep() }), expected);
    const L fixed
        = samplesPerTick < 0 ? L { 64, 64, 0, 0, 0, 5, 6 } : L { 4, samplesPerTick, 1, 1, 0, 5, 6 };
    QCOMPARE((L { c.ticksPerStep(), c.samplesPerTick(), c.isPlaying(), c.isLooping(),
                 c.isRecording(), int(c.firstCounter()), int(c.secondCounter()) }),
        fixed);
}

// The renderer builds a song handed over whatever its graph's flag says, and a change of
// topology before the next block. Block k starts in tick k, whose row sets the recorder's
// level to k % 4 + 1 before the block is rendered.
void SchedulerTest::renderer()
{
    constexpr quint64 kFrames = 256;
    Rig rig;
    rig.node->patterns.append(numberedPattern(rig.node, "####"));
    QVERIFY(rig.graph->connect(rig.node, rig.nodes.value("Out")).ok);
    rig.graph->changed = false;
    rig.position.samplesPerTickValue = qint32(kFrames);
    rig.position.playing = true;
    BlockRenderer renderer(rig.song, kFrames);
    for (int block = 0; block < 6; ++block) {
        if (block == 3)
            QVERIFY(rig.graph->connect(rig.nodes.value("Hum"), rig.nodes.value("Out")).ok);
        QCOMPARE(renderer.render(), 1);
        QVERIFY(!rig.graph->changed);
        const double level = block % 4 + 1.0 + (block < 3 ? 0.0 : 0.25);
        QCOMPARE(renderer.block().data()[0], level);
        QCOMPARE(renderer.block().data()[kFrames - 1], level);
        QCOMPARE(rig.position.playPos.sample, qint32((block + 1) * kFrames));
        QCOMPARE(renderer.context().blockFrames, kFrames);
    }
    rig.position.playing = false;
    QCOMPARE(renderer.render(), 0);
    QCOMPARE(rig.position.playPos.sample, qint32(6 * kFrames));
}

QTEST_GUILESS_MAIN(SchedulerTest)
#include "tst_scheduler.moc"
