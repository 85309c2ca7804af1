#include "CapturedMessages.h"
#include "core/DataStream.h"
#include "song/Position.h"

#include <QTest>

namespace {

class FixedGrid : public GranularityProvider {
public:
    FixedGrid(qint32 samplesPerTick, qint32 ticksPerStep)
        : m_samplesPerTick(samplesPerTick)
        , m_ticksPerStep(ticksPerStep)
    {
    }
    qint32 ticksPerStep() const override { return m_ticksPerStep; }
    qint32 samplesPerTick() const override { return m_samplesPerTick; }

private:
    qint32 m_samplesPerTick;
    qint32 m_ticksPerStep;
};

// samplesPerTick 5512, ticksPerStep 16, scrollStep 3, then cursor -2, playPos 0x01020304,
// sequenceBegin 0, sequenceEnd 8 steps of 16 x 5512 samples = 705536 = 0x000AC400.
const QByteArray kStoredPosition("\x00\x00\x15\x88"
                                 "\x00\x00\x00\x10"
                                 "\x00\x00\x00\x03"
                                 "\xFF\xFF\xFF\xFE"
                                 "\x01\x02\x03\x04"
                                 "\x00\x00\x00\x00"
                                 "\x00\x0A\xC4\x00",
    28);

QString debugText(const auto& value)
{
    QString text;
    QDebug(&text).nospace() << value;
    return text;
}

} // namespace

class PositionTest : public QObject {
    Q_OBJECT

private slots:
    void updateNumbers_data();
    void updateNumbers();
    void updateNumbersLogsOnlyWhenDebugging();
    void tempoFromTheStoredGrid_data();
    void tempoFromTheStoredGrid();
    void pointReadings_data();
    void pointReadings();
    void pointsReadThroughTheirPosition();
    void wrap_data();
    void wrap();
    void debugTexts();
    void streamOut();
    void streamIn();
    void damagedStreamReadsSafely();
};

void PositionTest::updateNumbers_data()
{
    QTest::addColumn<qint32>("samplesPerSecond");
    QTest::addColumn<qint32>("beatsPerMinute");
    QTest::addColumn<qint32>("ticksPerBeat");
    QTest::addColumn<qint32>("samplesPerTick");

    // 44100 x 60 = 2646000 samples per minute.
    QTest::newRow("5512.5 truncates") << 44100 << 120 << 4 << 2646000 / 480;
    QTest::newRow("exact") << 48000 << 125 << 8 << 2880;
    QTest::newRow("4973.68 truncates") << 44100 << 133 << 4 << 4973;
    QTest::newRow("zero tempo keeps the value") << 44100 << 0 << 4 << 777;
    QTest::newRow("zero ticks per beat keeps the value") << 44100 << 120 << 0 << 777;
    QTest::newRow("negative tempo keeps the value") << 44100 << -120 << 4 << 777;
}

void PositionTest::updateNumbers()
{
    QFETCH(qint32, samplesPerSecond);
    QFETCH(qint32, beatsPerMinute);
    QFETCH(qint32, ticksPerBeat);
    QFETCH(qint32, samplesPerTick);

    Position position;
    position.samplesPerTickValue = 777;
    position.samplesPerSecond = samplesPerSecond;
    position.beatsPerMinute = beatsPerMinute;
    position.ticksPerBeat = ticksPerBeat;
    position.updateNumbers();
    QCOMPARE(position.samplesPerTick(), samplesPerTick);
}

void PositionTest::updateNumbersLogsOnlyWhenDebugging()
{
    Position position;
    {
        CapturedMessages messages;
        position.updateNumbers();
        QCOMPARE(messages.lines(), QStringList());
    }

    position.debug = true;
    position.ticksPerStepValue = 12;
    CapturedMessages messages;
    position.updateNumbers();
    const QStringList expected = { "", "UPDATE NUMBERS", "  samplesPerSec=44100",
        "  beatsPerMinute=120", "  ticksPerBeat=4", "  ticksPerMinute=480", "  ticksPerStep=12",
        "  samplesPerTick=5512", "" };
    QCOMPARE(messages.lines(), expected);
}

void PositionTest::tempoFromTheStoredGrid_data()
{
    QTest::addColumn<int>("samplesPerTick");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("ticksPerBeatBefore");
    QTest::addColumn<int>("beatsPerMinute"); // 0: no whole numbers give the grid back
    QTest::addColumn<int>("ticksPerBeat");
    QTest::newRow("120 at 4, truncated") << 5512 << 44100 << 16 << 120 << 4;
    QTest::newRow("90 at 4, exact") << 7350 << 44100 << 16 << 90 << 4;
    QTest::newRow("128 at 4") << 5167 << 44100 << 4 << 128 << 4;
    QTest::newRow("120 at 16, the default grid") << 1378 << 44100 << 16 << 120 << 16;
    QTest::newRow("120 at 16 from a 4 grid") << 1378 << 44100 << 4 << 120 << 16;
    QTest::newRow("170 at 4, not at 16") << 3891 << 44100 << 16 << 170 << 4;
    QTest::newRow("between two tempos") << 5511 << 44100 << 4 << 0 << 0;
    QTest::newRow("slower than any plain tempo") << 165375 << 44100 << 16 << 1 << 16;
    QTest::newRow("damaged grid") << 0 << 44100 << 4 << 0 << 0;
    QTest::newRow("no rate") << 5512 << 0 << 4 << 0 << 0;
}

// A file keeps samples per tick only; the tempo shown must give exactly that grid back.
void PositionTest::tempoFromTheStoredGrid()
{
    QFETCH(int, samplesPerTick);
    QFETCH(int, rate);
    QFETCH(int, ticksPerBeatBefore);
    QFETCH(int, beatsPerMinute);
    QFETCH(int, ticksPerBeat);
    Position position;
    position.samplesPerSecond = rate;
    position.samplesPerTickValue = samplesPerTick;
    position.ticksPerBeat = ticksPerBeatBefore;
    position.beatsPerMinute = 77;
    const bool matched = position.matchTempoToSamplesPerTick();
    QCOMPARE(matched, beatsPerMinute > 0);
    if (!matched) {
        QCOMPARE(position.beatsPerMinute, 77);
        QCOMPARE(position.ticksPerBeat, ticksPerBeatBefore);
        return;
    }
    QCOMPARE(position.beatsPerMinute, beatsPerMinute);
    QCOMPARE(position.ticksPerBeat, ticksPerBeat);
    position.updateNumbers();
    QCOMPARE(position.samplesPerTick(), samplesPerTick);
}

void PositionTest::pointReadings_data()
{
    QTest::addColumn<qint32>("samplesPerTick"); // 0 with ticksPerStep 0: no provider
    QTest::addColumn<qint32>("ticksPerStep");
    QTest::addColumn<bool>("hasProvider");
    QTest::addColumn<qint32>("sample");
    QTest::addColumn<qint32>("tick");
    QTest::addColumn<qint32>("sampleInTick");
    QTest::addColumn<qint32>("tickInStep");
    QTest::addColumn<qint32>("step");

    // 5000 = 78 x 64 + 8; 78 = 1 x 64 + 14
    QTest::newRow("null provider reads 64/64") << 0 << 0 << false << 5000 << 78 << 8 << 14 << 1;
    QTest::newRow("zero grid reads like no provider")
        << 0 << 0 << true << 5000 << 78 << 8 << 14 << 1;
    QTest::newRow("start of step 3") << 5512 << 16 << true << 3 * 16 * 5512 << 48 << 0 << 0 << 3;
    // 264575 = 47 x 5512 + 5511
    QTest::newRow("last sample of step 2")
        << 5512 << 16 << true << 3 * 16 * 5512 - 1 << 47 << 5511 << 15 << 2;
    QTest::newRow("inside a step") << 100 << 4 << true << 1234 << 12 << 34 << 0 << 3;
    QTest::newRow("negative truncates towards zero")
        << 100 << 4 << true << -250 << -2 << -50 << -2 << 0;
    QTest::newRow("largest sample")
        << 1 << 1 << true << 2147483647 << 2147483647 << 0 << 0 << 2147483647;
    QTest::newRow("grid product beyond 32 bits")
        << 65536 << 65536 << true << 2147483647 << 32767 << 65535 << 32767 << 0;
}

void PositionTest::pointReadings()
{
    QFETCH(qint32, samplesPerTick);
    QFETCH(qint32, ticksPerStep);
    QFETCH(bool, hasProvider);
    QFETCH(qint32, sample);

    const FixedGrid grid(samplesPerTick, ticksPerStep);
    const Point point { sample, hasProvider ? &grid : nullptr };
    QTEST(point.tick(), "tick");
    QTEST(point.sampleInTick(), "sampleInTick");
    QTEST(point.tickInStep(), "tickInStep");
    QTEST(point.step(), "step");
}

void PositionTest::pointsReadThroughTheirPosition()
{
    Position position;
    position.updateNumbers();
    position.ticksPerStepValue = 8;
    // step 2, tick 3, sample 7 on a 5512 x 8 grid
    position.playPos.sample = (2 * 8 + 3) * 5512 + 7;
    QCOMPARE(position.playPos.step(), 2);
    QCOMPARE(position.playPos.tickInStep(), 3);
    QCOMPARE(position.playPos.sampleInTick(), 7);
    QCOMPARE(position.shownPlayPos.provider, nullptr);

    // A copy reads through the grid of its source.
    const Position copy(position);
    position.ticksPerStepValue = 4;
    QCOMPARE(copy.playPos.step(), (2 * 8 + 3) / 4);
}

void PositionTest::wrap_data()
{
    QTest::addColumn<bool>("looping");
    QTest::addColumn<qint32>("loopBegin");
    QTest::addColumn<qint32>("end");
    QTest::addColumn<qint32>("before");
    QTest::addColumn<qint32>("after");
    QTest::addColumn<bool>("stillPlaying");

    QTest::newRow("no end never stops") << false << 0 << 0 << 999999 << 999999 << true;
    QTest::newRow("no end never loops") << true << 0 << 0 << 999999 << 999999 << true;
    QTest::newRow("before the end") << false << 0 << 1000 << 999 << 999 << true;
    QTest::newRow("stops at the end") << false << 200 << 1000 << 1000 << 1000 << false;
    QTest::newRow("stops past the end") << false << 200 << 1000 << 1500 << 1000 << false;
    QTest::newRow("loops at the end") << true << 200 << 1000 << 1000 << 200 << true;
    // 200 + (1900 - 1000) mod 800
    QTest::newRow("loop keeps the overshoot") << true << 200 << 1000 << 1900 << 300 << true;
    QTest::newRow("loop folds whole lengths")
        << true << 200 << 1000 << 1000 + 2 * 800 + 5 << 205 << true;
    QTest::newRow("loop begin at the end") << true << 1000 << 1000 << 1200 << 1000 << true;
    QTest::newRow("loop begin after the end") << true << 1500 << 1000 << 1000 << 1500 << true;
}

void PositionTest::wrap()
{
    QFETCH(bool, looping);
    QFETCH(qint32, loopBegin);
    QFETCH(qint32, end);
    QFETCH(qint32, before);
    QFETCH(qint32, after);
    QFETCH(bool, stillPlaying);

    const FixedGrid endGrid(10, 10);
    Position position;
    position.playing = true;
    position.looping = looping;
    position.loopBegin.sample = loopBegin;
    position.sequenceEnd = { end, &endGrid };
    position.playPos.sample = before;
    position.wrapPlayPosition();

    QCOMPARE(position.playPos.sample, after);
    QCOMPARE(position.playing, stillPlaying);
    // Stopping takes the end point whole; looping and passing keep the play position's grid.
    const GranularityProvider* provider
        = stillPlaying ? static_cast<const GranularityProvider*>(&position) : &endGrid;
    QCOMPARE(position.playPos.provider, provider);
    QCOMPARE(position.shownPlayPos.sample, after);
    QCOMPARE(position.shownPlayPos.provider, provider);
}

void PositionTest::debugTexts()
{
    Position position; // 64 samples per tick, 16 ticks per step
    position.cursorColumn = 2;
    position.scrollStep = 3;
    position.scrollHeight = 9;
    position.cursor.sample = 70; // tick 1, sample 6
    position.playPos.sample = 64 * 16 + 128; // step 1, tick 2
    position.loopBegin.sample = 5;

    QCOMPARE(debugText(position.cursor), QString("Point(sample: 6, tick: 1, step: 0)"));
    const QString zero = "Point(sample: 0, tick: 0, step: 0)";
    QCOMPARE(debugText(position),
        "Position(beatsPerMinute: 120, ticksPerBeat: 4, ticksPerStep: 16, "
        "samplesPerSecond: 44100, samplesPerTick: 64, cursorColumn: 2, scrollStep: 3, "
        "scrollHeight: 9, cursor: Point(sample: 6, tick: 1, step: 0), "
        "playPos: Point(sample: 0, tick: 2, step: 1), sequenceBegin: "
            + zero + ", sequenceEnd: " + zero + ", loopBegin: Point(sample: 5, tick: 0, step: 0))");
}

void PositionTest::streamOut()
{
    Position position;
    position.samplesPerTickValue = 5512;
    position.scrollStep = 3;
    position.cursor.sample = -2;
    position.playPos.sample = 0x01020304;
    position.sequenceEnd.sample = 705536;
    // Not stored: they come from the settings and the running program.
    position.beatsPerMinute = 99;
    position.cursorColumn = 4;
    position.scrollHeight = 11;
    position.loopBegin.sample = 77;

    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    datastream::prepare(out);
    QTest::ignoreMessage(QtDebugMsg, "Stream OUT Position");
    for (int i = 0; i < 4; ++i)
        QTest::ignoreMessage(QtDebugMsg, "Stream OUT Point");
    position.write(out);
    QCOMPARE(bytes.toHex(' '), kStoredPosition.toHex(' '));
}

void PositionTest::streamIn()
{
    Position position;
    position.beatsPerMinute = 90;
    position.ticksPerBeat = 3;
    position.samplesPerSecond = 48000;
    position.cursorColumn = 5;
    position.scrollHeight = 7;
    position.loopBegin.sample = 333;
    position.shownPlayPos.sample = 44;
    position.looping = true;

    QDataStream in(kStoredPosition);
    datastream::prepare(in);
    for (int i = 0; i < 4; ++i)
        QTest::ignoreMessage(QtDebugMsg, "Stream IN Point");
    QTest::ignoreMessage(QtDebugMsg, "Stream IN Position");
    position.read(in);

    QCOMPARE(in.status(), QDataStream::Ok);
    QCOMPARE(position.samplesPerTick(), 5512);
    QCOMPARE(position.ticksPerStep(), 16);
    QCOMPARE(position.scrollStep, 3);
    QCOMPARE(position.cursor.sample, -2);
    QCOMPARE(position.playPos.sample, 0x01020304);
    QCOMPARE(position.sequenceBegin.sample, 0);
    QCOMPARE(position.sequenceEnd.sample, 705536);
    QCOMPARE(position.sequenceEnd.provider, &position);
    QCOMPARE(position.playPos.provider, &position);

    QCOMPARE(position.beatsPerMinute, 90);
    QCOMPARE(position.ticksPerBeat, 3);
    QCOMPARE(position.samplesPerSecond, 48000);
    QCOMPARE(position.cursorColumn, 5);
    QCOMPARE(position.scrollHeight, 7);
    QCOMPARE(position.loopBegin.sample, 333);
    QCOMPARE(position.shownPlayPos.sample, 44);
    QVERIFY(position.looping);
}

void PositionTest::damagedStreamReadsSafely()
{
    // Cut after ticksPerStep: the rest reads as zero, so the grid has no samples per tick.
    const QByteArray cut("\x00\x00\x00\x00"
                         "\x00\x00\x00\x10",
        8);
    Position position;
    position.playPos.sample = 640;
    QDataStream in(cut);
    datastream::prepare(in);
    position.read(in);

    QCOMPARE(in.status(), QDataStream::ReadPastEnd);
    QCOMPARE(position.samplesPerTickValue, 0);
    QCOMPARE(position.playPos.sample, 0);
    position.playPos.sample = 640;
    QCOMPARE(position.playPos.tick(), 640 / Point::kFallbackGranularity);
    QCOMPARE(position.playPos.step(), 0);
}

QTEST_GUILESS_MAIN(PositionTest)
#include "tst_position.moc"
