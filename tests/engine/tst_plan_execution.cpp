#include "engine/AudioEngine.h"
#include "engine/Buffer.h"
#include "engine/EngineTestGraph.h"
#include "engine/Plan.h"
#include "engine/PlanStep.h"
#include "engine/SongPlanBuilder.h"

#include <QThread>
#include <QtTest>

#include <algorithm>
#include <cstdint>

namespace {

// Collects the storage layout lines while installed.
class LayoutLog {
public:
    LayoutLog() { s_previous = qInstallMessageHandler(&LayoutLog::handle); }
    ~LayoutLog()
    {
        qInstallMessageHandler(s_previous);
        s_lines.clear();
    }
    const QStringList& lines() const { return s_lines; }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (text.startsWith(QLatin1String("Re-sized optimized buffer from")))
            s_lines.append(text);
        else if (s_previous)
            s_previous(type, context, text);
    }

    static inline QtMessageHandler s_previous = nullptr;
    static inline QStringList s_lines;
};

// A plan rendered by one engine into one destination block.
struct Rig {
    explicit Rig(const PlanPointer& plan) { engine.setPlan(plan); }

    const Buffer& render(quint64 frames, double prefill = 99.0)
    {
        destination.resize(frames);
        std::fill_n(destination.data(), frames, prefill);
        execute(engine, context, destination);
        return destination;
    }

    AudioEngine engine;
    AudioContext context;
    Buffer destination;
};

bool allEqual(const Buffer& buffer, double value)
{
    return std::all_of(buffer.data(), buffer.data() + buffer.size(),
        [value](double sample) { return sample == value; });
}

// A plan written by hand, one step per ';'-separated statement:
//   "add B1 3"        PROCESS B1 with a processor adding 3
//   "proc B1 B2 +3 *2" PROCESS B1 B2 with the listed processors in order
//   "clear B1 B2", "copy B1 B2 B3", "mix B1 B2 B3", "noop", "kind9 B1"
class ScriptedPlan {
public:
    ScriptedPlan(const QString& script, const QStringList& outputs)
        : plan(PlanPointer::create())
    {
        for (const QString& statement : script.split(QLatin1Char(';'), Qt::SkipEmptyParts))
            plan->addStep(stepFrom(statement.simplified().split(QLatin1Char(' '))));
        for (const QString& label : outputs)
            plan->addOutput(buffer(label));
    }

    PlanPointer plan;

private:
    PlanStepPointer stepFrom(const QStringList& words)
    {
        static const QHash<QString, qint32> kinds = {
            { QStringLiteral("add"), PlanStep::Process },
            { QStringLiteral("proc"), PlanStep::Process },
            { QStringLiteral("clear"), PlanStep::Clear },
            { QStringLiteral("copy"), PlanStep::Copy },
            { QStringLiteral("mix"), PlanStep::Mix },
            { QStringLiteral("noop"), PlanStep::Noop },
            { QStringLiteral("kind9"), 9 },
        };
        auto step = PlanStepPointer::create();
        step->kind = kinds.value(words.first());
        for (const QString& word : words.mid(1)) {
            if (word.startsWith(QLatin1Char('B')))
                step->buffers.append(buffer(word));
            else
                step->processors.append(arithmetic(ArithmeticProcessor::Role::Effect,
                    word.front().isDigit() ? QLatin1Char('+') + word : word));
        }
        return step;
    }

    QSharedPointer<Buffer> buffer(const QString& label)
    {
        auto& slot = m_buffers[label];
        if (!slot) {
            slot = QSharedPointer<Buffer>::create();
            slot->id = label.mid(1).toInt();
        }
        return slot;
    }

    QHash<QString, QSharedPointer<Buffer>> m_buffers;
};

} // namespace

class PlanExecutionTest : public QObject {
    Q_OBJECT

private slots:
    void bufferResize_data();
    void bufferResize();
    void engineHoldsPlans();
    void outputsAreAveraged_data();
    void outputsAreAveraged();
    void stepArithmetic_data();
    void stepArithmetic();
    void withoutPlan_data();
    void withoutPlan();
    void storageGrowsOnlyWithTheBlock();
    void buffersAreAligned_data();
    void buffersAreAligned();
};

void PlanExecutionTest::bufferResize_data()
{
    QTest::addColumn<int>("newSize");
    QTest::addColumn<QList<double>>("samples");

    // The buffer holds 1, 2, 3 before resizing with fill 0.5.
    QTest::newRow("grow") << 5 << QList<double> { 1, 2, 3, 0.5, 0.5 };
    QTest::newRow("shrink") << 2 << QList<double> { 1, 2 };
    QTest::newRow("same") << 3 << QList<double> { 1, 2, 3 };
    QTest::newRow("empty") << 0 << QList<double> {};
}

void PlanExecutionTest::bufferResize()
{
    QFETCH(int, newSize);
    QFETCH(QList<double>, samples);

    Buffer fresh(3);
    QVERIFY(fresh.ownsData());
    QCOMPARE(fresh.frames(), 3u);
    QCOMPARE(fresh.channels(), 1u);
    QCOMPARE(QList<double>(fresh.data(), fresh.data() + 3), (QList<double> { 0, 0, 0 }));

    std::copy_n(QList<double> { 1, 2, 3 }.constData(), 3, fresh.data());
    fresh.resize(quint64(newSize), 0.5);
    QCOMPARE(fresh.size(), quint64(newSize));
    QCOMPARE(fresh.frames(), quint64(newSize));
    QVERIFY(fresh.ownsData());
    QCOMPARE(QList<double>(fresh.data(), fresh.data() + fresh.size()), samples);
}

void PlanExecutionTest::engineHoldsPlans()
{
    AudioEngine engine;
    QCOMPARE(engine.objectName(), QStringLiteral("Kalvex.mediacore.audio-engine"));
    QCOMPARE(engine.maxThreadCount(), QThread::idealThreadCount());
    QVERIFY(engine.plan());
    QVERIFY(engine.plan()->steps().isEmpty());

    const auto plan = PlanPointer::create();
    QCOMPARE(engine.setPlan(plan), 1);
    QCOMPARE(engine.plan(), plan);
    QCOMPARE(engine.setPlan({}), 2);
    QCOMPARE(engine.generation(), 2);
}

void PlanExecutionTest::outputsAreAveraged_data()
{
    QTest::addColumn<QString>("nodes");
    QTest::addColumn<QString>("connections");
    QTest::addColumn<double>("expected");

    QTest::newRow("single output node") << "Output:sink+0.25"
                                        << "" << 0.25;
    QTest::newRow("two outputs") << "G1:source+2 G2:source+6 O1:sink O2:sink"
                                 << "G1>O1 G2>O2" << (2.0 + 6.0) / 2;
    QTest::newRow("outputs process their input") << "G1:source+2 G2:source+6 O1:sink*3 O2:sink*0.5"
                                                 << "G1>O1 G2>O2" << (2.0 * 3 + 6.0 * 0.5) / 2;
    QTest::newRow("mixed into one output") << "G1:source+2 G2:source+6 Out:sink"
                                           << "G1>Out G2>Out" << 2.0 + 6.0;
    QTest::newRow("no output node is silence") << "G1:source+2 Amp:effect*2"
                                               << "G1>Amp" << 0.0;
}

void PlanExecutionTest::outputsAreAveraged()
{
    QFETCH(QString, nodes);
    QFETCH(QString, connections);
    QFETCH(double, expected);

    const TestGraph test(nodes, connections);
    Rig rig(SongPlanBuilder().build(*test.graph));
    // The second block proves the first writers clear what the last block left.
    QVERIFY(allEqual(rig.render(64), expected));
    QVERIFY(allEqual(rig.render(64), expected));
}

void PlanExecutionTest::stepArithmetic_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("outputs");
    QTest::addColumn<double>("expected");

    const QStringList b1 { "B1" };
    QTest::newRow("clear") << "add B1 3; clear B1" << b1 << 0.0;
    QTest::newRow("clear several")
        << "add B1 3; add B2 5; clear B1 B2" << QStringList { "B1", "B2" } << 0.0;
    QTest::newRow("copy overwrites")
        << "add B1 3; add B2 5; copy B1 B2" << QStringList { "B2" } << 3.0;
    QTest::newRow("copy into several")
        << "add B1 3; copy B1 B2 B3" << QStringList { "B1", "B2", "B3" } << 3.0;
    QTest::newRow("copy alone does nothing") << "add B1 3; copy B1" << b1 << 3.0;
    QTest::newRow("mix adds into the first")
        << "add B1 3; add B2 5; add B3 7; mix B1 B2 B3" << b1 << 3.0 + 5.0 + 7.0;
    QTest::newRow("mix leaves the others")
        << "add B1 3; add B2 5; mix B1 B2" << QStringList { "B1", "B2" } << ((3.0 + 5.0) + 5.0) / 2;
    QTest::newRow("mix alone does nothing") << "add B1 3; mix B1" << b1 << 3.0;
    QTest::newRow("noop and unknown kinds") << "add B1 3; noop; kind9 B1" << b1 << 3.0;
    QTest::newRow("processors run in order on every buffer")
        << "proc B1 B2 +3 *2" << QStringList { "B1", "B2" } << (0.0 + 3.0) * 2.0;
    QTest::newRow("no outputs is silence") << "add B1 3" << QStringList {} << 0.0;
}

void PlanExecutionTest::stepArithmetic()
{
    QFETCH(QString, script);
    QFETCH(QStringList, outputs);
    QFETCH(double, expected);

    Rig rig(ScriptedPlan(script, outputs).plan);
    QVERIFY(allEqual(rig.render(8), expected));
}

void PlanExecutionTest::withoutPlan_data()
{
    QTest::addColumn<bool>("installEmptyPlan");
    QTest::addColumn<double>("expected");

    QTest::newRow("no plan leaves the destination") << false << 7.0;
    QTest::newRow("an empty plan renders silence") << true << 0.0;
}

void PlanExecutionTest::withoutPlan()
{
    QFETCH(bool, installEmptyPlan);
    QFETCH(double, expected);

    Rig rig(installEmptyPlan ? PlanPointer::create() : PlanPointer());
    QVERIFY(allEqual(rig.render(32, 7.0), expected));
}

void PlanExecutionTest::storageGrowsOnlyWithTheBlock()
{
    const TestGraph test(
        QStringLiteral("A:source+1 B:source+3 Out:sink"), QStringLiteral("A>Out B>Out"));
    const auto plan = SongPlanBuilder().build(*test.graph);
    QCOMPARE(plan->buffers().size(), 2);
    Rig rig(plan);
    const LayoutLog log;

    // Two buffers and the output, each slice frames x 8 bytes rounded up to 32, plus
    // 32 bytes per buffer and 32 for alignment.
    QVERIFY(allEqual(rig.render(256), 4.0));
    QVERIFY(allEqual(rig.render(512), 4.0));
    QVERIFY(allEqual(rig.render(256), 4.0));
    QCOMPARE(log.lines(),
        (QStringList { "Re-sized optimized buffer from 0 to 6240 ( 256  frames, 2  input buffers "
                       "+ 1 output)",
            "Re-sized optimized buffer from 0 to 12384 ( 512  frames, 2  input buffers + 1 "
            "output)" }));

    QCOMPARE(plan->capacityFrames(), 512u);
    for (const auto& buffer : plan->buffers()) {
        QCOMPARE(buffer->frames(), 512u);
        QCOMPARE(buffer->size(), 512u);
        QVERIFY(!buffer->ownsData());
    }
    QCOMPARE(plan->output().frames(), 512u);
    // Processors keep rendering the laid-out block; only its head reaches the destination.
    QCOMPARE(test.processors.value(QStringLiteral("Out"))->lastFrames, 512u);
}

void PlanExecutionTest::buffersAreAligned_data()
{
    QTest::addColumn<int>("frames");

    QTest::newRow("1 frame") << 1;
    QTest::newRow("37 frames") << 37;
    QTest::newRow("64 frames") << 64;
    QTest::newRow("1021 frames") << 1021;
}

void PlanExecutionTest::buffersAreAligned()
{
    QFETCH(int, frames);

    const TestGraph test(
        QStringLiteral("Osc:source+1 Saw:source+2 Amp:effect Echo:effect Out:sink"),
        QStringLiteral("Osc>Amp Osc>Echo Saw>Echo Amp>Out Echo>Out"));
    const auto plan = SongPlanBuilder().build(*test.graph);
    QCOMPARE(plan->buffers().size(), 3);
    Rig rig(plan);
    rig.render(quint64(frames));

    QList<const Buffer*> all { &plan->output() };
    for (const auto& buffer : plan->buffers())
        all.append(buffer.data());
    std::sort(all.begin(), all.end(),
        [](const Buffer* a, const Buffer* b) { return a->data() < b->data(); });
    for (qsizetype i = 0; i < all.size(); ++i) {
        const auto address = reinterpret_cast<std::uintptr_t>(all[i]->data());
        QCOMPARE(address % 32, 0u);
        QCOMPARE(all[i]->frames(), quint64(frames));
        // Slices never overlap.
        if (i + 1 < all.size())
            QVERIFY(all[i]->data() + all[i]->size() <= all[i + 1]->data());
    }
}

QTEST_GUILESS_MAIN(PlanExecutionTest)
#include "tst_plan_execution.moc"
