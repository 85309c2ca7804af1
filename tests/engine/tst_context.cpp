#include "engine/Context.h"
#include "song/Position.h"

#include <QtTest>

#include <functional>

namespace {

using Reading = std::function<qint64(const zarn::Context&)>;

// Every reading of the context by the name the rows use.
const QHash<QString, Reading>& readingTable()
{
    static const QHash<QString, Reading> table = {
        { "ticksPerStep", [](const zarn::Context& c) { return c.ticksPerStep(); } },
        { "samplesPerTick", [](const zarn::Context& c) { return c.samplesPerTick(); } },
        { "isPlaying", [](const zarn::Context& c) { return qint64(c.isPlaying()); } },
        { "isLooping", [](const zarn::Context& c) { return qint64(c.isLooping()); } },
        { "isRecording", [](const zarn::Context& c) { return qint64(c.isRecording()); } },
        { "currentStep", [](const zarn::Context& c) { return c.currentStep(); } },
        { "currentTick", [](const zarn::Context& c) { return c.currentTick(); } },
        { "currentSample", [](const zarn::Context& c) { return c.currentSample(); } },
        { "sequenceStep", [](const zarn::Context& c) { return c.sequenceStep(); } },
        { "firstCounter", [](const zarn::Context& c) { return c.firstCounter(); } },
        { "secondCounter", [](const zarn::Context& c) { return c.secondCounter(); } },
    };
    return table;
}

} // namespace

class ContextTest : public QObject {
    Q_OBJECT

private slots:
    void readings_data();
    void readings();
    void sequenceStep_data();
    void sequenceStep();
    void readsThePositionLive();
    void zeroTickLength();
    void withoutPosition_data();
    void withoutPosition();
};

void ContextTest::readings_data()
{
    QTest::addColumn<QString>("reading");
    QTest::addColumn<qint64>("expected");

    // The position below: 10 samples per tick, 4 ticks per step, playing from sample 1234,
    // looping, not recording; counters 5 and 6.
    QTest::newRow("ticks per step") << "ticksPerStep" << qint64(4);
    QTest::newRow("samples per tick") << "samplesPerTick" << qint64(10);
    QTest::newRow("playing") << "isPlaying" << qint64(true);
    QTest::newRow("looping") << "isLooping" << qint64(true);
    QTest::newRow("recording") << "isRecording" << qint64(false);
    QTest::newRow("step") << "currentStep" << qint64(1234 / (10 * 4));
    QTest::newRow("tick") << "currentTick" << qint64(1234 / 10);
    QTest::newRow("sample") << "currentSample" << qint64(1234);
    QTest::newRow("first counter") << "firstCounter" << qint64(5);
    QTest::newRow("second counter") << "secondCounter" << qint64(6);
}

void ContextTest::readings()
{
    QFETCH(QString, reading);
    QFETCH(qint64, expected);

    Position position;
    position.samplesPerTickValue = 10;
    position.ticksPerStepValue = 4;
    position.playing = true;
    position.looping = true;
    position.recording = false;
    position.playPos.sample = 1234;
    zarn::Context context(nullptr, &position);
    context.counters[0] = 5;
    context.counters[1] = 6;

    QVERIFY(readingTable().contains(reading));
    QCOMPARE(readingTable().value(reading)(context), expected);
}

void ContextTest::sequenceStep_data()
{
    QTest::addColumn<int>("play");
    QTest::addColumn<int>("begin");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("loop");
    QTest::addColumn<int>("expected");

    // Steps are 40 samples (10 per tick, 4 ticks per step); the arguments are steps.
    // With s the current step, L = end - begin and M = end - loop:
    // s >= L gives loop + (s - end) mod M, otherwise begin + s mod L.
    QTest::newRow("inside the sequence") << 5 << 0 << 8 << 2 << 5;
    QTest::newRow("offset sequence") << 5 << 2 << 10 << 4 << 2 + 5 % 8;
    QTest::newRow("at the end") << 8 << 0 << 8 << 2 << 2 + (8 - 8) % 6;
    QTest::newRow("past the end folds into the loop") << 13 << 0 << 8 << 2 << 2 + (13 - 8) % 6;
    QTest::newRow("several loops past the end") << 21 << 0 << 8 << 2 << 2 + (21 - 8) % 6;
    QTest::newRow("loop from the start") << 11 << 0 << 8 << 0 << (11 - 8) % 8;
    QTest::newRow("zero loop length") << 9 << 1 << 8 << 8 << 1;
    QTest::newRow("zero sequence length") << 3 << 0 << 0 << 0 << 0;
    QTest::newRow("before the start of time") << -3 << 2 << 10 << 4 << 2;
}

void ContextTest::sequenceStep()
{
    QFETCH(int, play);
    QFETCH(int, begin);
    QFETCH(int, end);
    QFETCH(int, loop);
    QFETCH(int, expected);

    constexpr int samplesPerStep = 10 * 4;
    Position position;
    position.samplesPerTickValue = 10;
    position.ticksPerStepValue = 4;
    // Mid-step samples, so a reading that rounds instead of truncating shows.
    position.playPos.sample = play * samplesPerStep + (play < 0 ? -17 : 17);
    position.sequenceBegin.sample = begin * samplesPerStep + 39;
    position.sequenceEnd.sample = end * samplesPerStep + 1;
    position.loopBegin.sample = loop * samplesPerStep + 20;
    const zarn::Context context(nullptr, &position);

    QCOMPARE(context.sequenceStep(), expected);
}

void ContextTest::readsThePositionLive()
{
    Position position;
    position.samplesPerTickValue = 10;
    position.ticksPerStepValue = 4;
    const zarn::Context context(nullptr, &position);
    QCOMPARE(context.currentTick(), 0);

    position.playPos.sample = 95;
    position.playing = true;
    QCOMPARE(context.currentTick(), 9);
    QVERIFY(context.isPlaying());
    position.samplesPerTickValue = 5;
    QCOMPARE(context.currentTick(), 19);
}

// A damaged song may carry a zero tick length; time then reads as tick and step 0.
void ContextTest::zeroTickLength()
{
    Position position;
    position.samplesPerTickValue = 0;
    position.playPos.sample = 500;
    position.sequenceEnd.sample = 1000;
    const zarn::Context context(nullptr, &position);

    QCOMPARE(context.currentSample(), 500);
    QCOMPARE(context.currentTick(), 0);
    QCOMPARE(context.currentStep(), 0);
    QCOMPARE(context.sequenceStep(), 0);
}

void ContextTest::withoutPosition_data()
{
    QTest::addColumn<QString>("reading");
    QTest::addColumn<qint64>("expected");

    QTest::newRow("ticks per step") << "ticksPerStep" << qint64(64);
    QTest::newRow("samples per tick") << "samplesPerTick" << qint64(64);
    QTest::newRow("not playing") << "isPlaying" << qint64(false);
    QTest::newRow("not looping") << "isLooping" << qint64(false);
    QTest::newRow("not recording") << "isRecording" << qint64(false);
    QTest::newRow("step") << "currentStep" << qint64(0);
    QTest::newRow("tick") << "currentTick" << qint64(0);
    QTest::newRow("sample") << "currentSample" << qint64(0);
    QTest::newRow("sequence step") << "sequenceStep" << qint64(0);
}

void ContextTest::withoutPosition()
{
    QFETCH(QString, reading);
    QFETCH(qint64, expected);

    const zarn::Context context;
    QVERIFY(readingTable().contains(reading));
    QCOMPARE(readingTable().value(reading)(context), expected);
}

QTEST_GUILESS_MAIN(ContextTest)
#include "tst_context.moc"
