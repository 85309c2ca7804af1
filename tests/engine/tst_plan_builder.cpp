#include "engine/AudioEngine.h"
#include "engine/Buffer.h"
#include "engine/EngineTestGraph.h"
#include "engine/Plan.h"
#include "engine/PlanStep.h"
#include "engine/SongPlanBuilder.h"

#include <QtTest>

namespace {

QStringList stepTexts(const Plan& plan)
{
    QStringList texts;
    for (const auto& step : plan.steps())
        texts.append(step->text());
    return texts;
}

QStringList labels(const QList<QSharedPointer<Buffer>>& buffers)
{
    QStringList texts;
    for (const auto& buffer : buffers)
        texts.append(buffer->label());
    return texts;
}

// Buffers B1..Bn numbered as a build numbers them.
QList<QSharedPointer<Buffer>> numbered(int count)
{
    QList<QSharedPointer<Buffer>> buffers;
    for (int i = 1; i <= count; ++i) {
        buffers.append(QSharedPointer<Buffer>::create());
        buffers.last()->id = i;
    }
    return buffers;
}

} // namespace

class PlanBuilderTest : public QObject {
    Q_OBJECT

private slots:
    void stepText_data();
    void stepText();
    void build_data();
    void build();
    void rebuildingStartsAfresh();
    void lateInputs_data();
    void lateInputs();
};

void PlanBuilderTest::stepText_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("bufferCount");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("text");

    const QStringList none;
    const QStringList osc { QStringLiteral("Osc") };
    QTest::newRow("noop") << int(PlanStep::Noop) << 0 << none << "NOOP";
    QTest::newRow("clear one") << int(PlanStep::Clear) << 1 << none << "CLEAR B1";
    QTest::newRow("clear two") << int(PlanStep::Clear) << 2 << none << "CLEAR B1 B2";
    QTest::newRow("copy") << int(PlanStep::Copy) << 3 << none << "COPY B1 INTO B2 B3";
    QTest::newRow("copy alone") << int(PlanStep::Copy) << 1 << none << "";
    QTest::newRow("mix") << int(PlanStep::Mix) << 3 << none << "MIX B2 B3 INTO B1";
    QTest::newRow("mix alone") << int(PlanStep::Mix) << 1 << none << "";
    QTest::newRow("mix empty") << int(PlanStep::Mix) << 0 << none << "";
    QTest::newRow("process") << int(PlanStep::Process) << 1 << osc << "PROCESS B1 WITH Osc";
    QTest::newRow("process many") << int(PlanStep::Process) << 2
                                  << QStringList { QStringLiteral("Osc"), QStringLiteral("Amp") }
                                  << "PROCESS B1 B2 WITH Osc Amp";
    QTest::newRow("unknown kind") << 9 << 1 << none << "";
}

void PlanBuilderTest::stepText()
{
    QFETCH(int, kind);
    QFETCH(int, bufferCount);
    QFETCH(QStringList, names);
    QFETCH(QString, text);

    PlanStep step(kind, numbered(bufferCount));
    step.names = names;
    QCOMPARE(step.text(), text);
}

void PlanBuilderTest::build_data()
{
    QTest::addColumn<QString>("nodes");
    QTest::addColumn<QString>("connections");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("outputs");
    QTest::addColumn<QStringList>("log");

    QTest::newRow("single output node")
        << "Output:sink"
        << "" << QStringList { "CLEAR B1", "PROCESS B1 WITH Output" } << QStringList { "B1" }
        << QStringList { "Starting build", "Queuing 'Output' as initial",
               "Dowry created for node 'Output'", "Buffer B1 created for node 'Output'", "",
               "Processing 'Output'", "CLEAR B1", "PROCESS B1 WITH Output",
               "Node 'Output' was terminal", "Build done" };

    QTest::newRow("generator into the output")
        << "Osc:source+1 Output:sink"
        << "Osc>Output"
        << QStringList { "CLEAR B1", "PROCESS B1 WITH Osc", "PROCESS B1 WITH Output" }
        << QStringList { "B1" }
        << QStringList { "Starting build", "Queuing 'Osc' as initial",
               "Dowry created for node 'Osc'", "Buffer B1 created for node 'Osc'", "",
               "Processing 'Osc'", "CLEAR B1", "PROCESS B1 WITH Osc",
               "Dowry created for node 'Output'", "Queuing 'Output' ('Osc's neighbour)", "",
               "Processing 'Output'", "PROCESS B1 WITH Output", "Node 'Output' was terminal",
               "Build done" };

    QTest::newRow("generator feeding two effects")
        << "Osc:source+1 Amp:effect*2 Echo:effect+1"
        << "Osc>Amp Osc>Echo"
        << QStringList { "CLEAR B1", "PROCESS B1 WITH Osc", "CLEAR B2", "PROCESS B1 WITH Amp",
               "MIX B1 INTO B2", "PROCESS B2 WITH Echo" }
        << QStringList {}
        << QStringList { "Starting build", "Queuing 'Osc' as initial",
               "Dowry created for node 'Osc'", "Buffer B1 created for node 'Osc'", "",
               "Processing 'Osc'", "CLEAR B1", "PROCESS B1 WITH Osc",
               "Dowry created for node 'Amp'", "Dowry created for node 'Echo'",
               "Buffer B2 created for branching output node 'Echo'", "CLEAR B2",
               "Queuing 'Amp' ('Osc's neighbour)", "Queuing 'Echo' ('Osc's neighbour)", "",
               "Processing 'Amp'", "PROCESS B1 WITH Amp", "Node 'Amp' was terminal", "",
               "Processing 'Echo'", "MIX B1 INTO B2", "PROCESS B2 WITH Echo",
               "Node 'Echo' was terminal", "Build done" };

    QTest::newRow("two generators into one effect")
        << "Osc:source+1 Saw:source+2 Amp:effect*2"
        << "Osc>Amp Saw>Amp"
        << QStringList { "CLEAR B1", "PROCESS B1 WITH Osc", "CLEAR B2", "PROCESS B2 WITH Saw",
               "MIX B2 INTO B1", "PROCESS B1 WITH Amp" }
        << QStringList {}
        << QStringList { "Starting build", "Queuing 'Osc' as initial",
               "Dowry created for node 'Osc'", "Buffer B1 created for node 'Osc'",
               "Queuing 'Saw' as initial", "Dowry created for node 'Saw'",
               "Buffer B2 created for node 'Saw'", "", "Processing 'Osc'", "CLEAR B1",
               "PROCESS B1 WITH Osc", "Dowry created for node 'Amp'",
               "Queuing 'Amp' ('Osc's neighbour)", "", "Processing 'Saw'", "CLEAR B2",
               "PROCESS B2 WITH Saw", "'Amp' ('Saw's neighbour) already queued", "",
               "Processing 'Amp'", "MIX B2 INTO B1", "PROCESS B1 WITH Amp",
               "Node 'Amp' was terminal", "Build done" };

    // X and Y feed each other, as only a damaged or hand-made song can: no initial node
    // reaches them or the output behind them.
    QTest::newRow("unreached nodes are not processed")
        << "Osc:source+1 X:effect+1 Y:effect+1 Output:sink"
        << "X~Y Y~X Y~Output" << QStringList { "CLEAR B1", "PROCESS B1 WITH Osc" } << QStringList {}
        << QStringList { "Starting build", "Queuing 'Osc' as initial",
               "Dowry created for node 'Osc'", "Buffer B1 created for node 'Osc'", "",
               "Processing 'Osc'", "CLEAR B1", "PROCESS B1 WITH Osc", "Node 'Osc' was terminal",
               "No dowry for node 'Output'", "Build done" };

    QTest::newRow("input reached at a later depth")
        << "A:source+1 B:source+10 X:effect+100 Out:sink"
        << "A>Out B>X X>Out"
        << QStringList { "CLEAR B1", "PROCESS B1 WITH A", "CLEAR B2", "PROCESS B2 WITH B",
               "PROCESS B1 WITH Out", "PROCESS B2 WITH X" }
        << QStringList { "B1" }
        << QStringList { "Starting build", "Queuing 'A' as initial", "Dowry created for node 'A'",
               "Buffer B1 created for node 'A'", "Queuing 'B' as initial",
               "Dowry created for node 'B'", "Buffer B2 created for node 'B'", "", "Processing 'A'",
               "CLEAR B1", "PROCESS B1 WITH A", "Dowry created for node 'Out'",
               "Queuing 'Out' ('A's neighbour)", "", "Processing 'B'", "CLEAR B2",
               "PROCESS B2 WITH B", "Dowry created for node 'X'", "Queuing 'X' ('B's neighbour)",
               "", "Processing 'Out'", "PROCESS B1 WITH Out", "Node 'Out' was terminal", "",
               "Processing 'X'", "PROCESS B2 WITH X",
               "'Out' ('X's neighbour) already processed, skipping", "Build done" };
}

void PlanBuilderTest::build()
{
    QFETCH(QString, nodes);
    QFETCH(QString, connections);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, outputs);
    QFETCH(QStringList, log);

    const TestGraph test(nodes, connections);
    QCOMPARE(test.refusals, QStringList());
    SongPlanBuilder builder;
    const auto plan = builder.build(*test.graph);

    QCOMPARE(builder.log(), log);
    QCOMPARE(stepTexts(*plan), steps);
    QCOMPARE(labels(plan->outputs()), outputs);
    // Every PROCESS step carries the node's processor.
    for (const auto& step : plan->steps())
        if (step->kind == PlanStep::Process)
            QCOMPARE(step->processors,
                QList<QSharedPointer<AudioNode>> {
                    test.nodes.value(step->names.value(0))->processor });
}

void PlanBuilderTest::rebuildingStartsAfresh()
{
    const TestGraph test(QStringLiteral("Osc:source+1 Saw:source+2 Output:sink"),
        QStringLiteral("Osc>Output Saw>Output"));
    SongPlanBuilder builder;
    const auto first = builder.build(*test.graph);
    const QStringList firstLog = builder.log();
    const auto second = builder.build(*test.graph);

    QCOMPARE(builder.log(), firstLog);
    QCOMPARE(stepTexts(*second), stepTexts(*first));
    // Each plan has buffers of its own.
    QVERIFY(!second->buffers().intersects(first->buffers()));
}

// Known consequences of processing each node once, breadth first. They are kept on
// purpose: a change here changes what existing songs sound like.
void PlanBuilderTest::lateInputs_data()
{
    QTest::addColumn<QString>("nodes");
    QTest::addColumn<QString>("connections");
    QTest::addColumn<double>("heard");

    // Out is processed at depth 1, before X; X's buffer joins Out's mix-ins too late.
    QTest::newRow("input reached later is not heard")
        << "A:source+1 B:source+10 X:effect+100 Out:sink"
        << "A>Out B>X X>Out" << 1.0;
    // Amp continues in Osc's buffer and runs before Echo's mix: Echo hears Osc after Amp.
    QTest::newRow("branch hears the first destination's output")
        << "Osc:source+1 Amp:effect+10 Echo:effect+100 Out:sink"
        << "Osc>Amp Osc>Echo Echo>Out" << 1.0 + 10.0 + 100.0;
}

void PlanBuilderTest::lateInputs()
{
    QFETCH(QString, nodes);
    QFETCH(QString, connections);
    QFETCH(double, heard);

    const TestGraph test(nodes, connections);
    QCOMPARE(test.refusals, QStringList());
    AudioEngine engine;
    engine.setPlan(SongPlanBuilder().build(*test.graph));
    AudioContext context;
    Buffer destination(16);
    execute(engine, context, destination);
    for (quint64 i = 0; i < destination.size(); ++i)
        QCOMPARE(destination.data()[i], heard);
}

QTEST_GUILESS_MAIN(PlanBuilderTest)
#include "tst_plan_builder.moc"
