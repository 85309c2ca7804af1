#include "media/audio/DeviceLiveness.h"
#include "media/audio/RebuildPolicy.h"
#include "media/audio/StreamReports.h"

#include <QtTest>

#include <vector>

using namespace media::audio;
using Times = std::vector<qint64>;

namespace {

// A stretch of watchdog ticks every 250 ms over [from, to), the counter growing by `growth`
// a tick, after a start intent at `intentAt` unless that is negative.
struct Ticks {
    qint64 from, to;
    bool active;
    quint64 samples, growth;
    qint64 intentAt;
};

using Run = QList<Ticks>;

Times run(RebuildPolicy& policy, const Run& stretches)
{
    Times rebuilds;
    for (Ticks t : stretches) {
        if (t.intentAt >= 0)
            policy.markStartIntent(t.intentAt);
        for (qint64 now = t.from; now < t.to; now += 250, t.samples += t.growth)
            if (policy.evaluateStall(t.active, t.samples, now))
                rebuilds.push_back(now);
    }
    return rebuilds;
}

} // namespace

class RebuildPolicyTest : public QObject {
    Q_OBJECT

private slots:
    void stallsRebuild_data();
    void stallsRebuild();
    void stateErrorsRebuildWithAGap();
    void livenessReportsHealthAndRecovery();
    void reportsAreRateLimited();
};

void RebuildPolicyTest::stallsRebuild_data()
{
    QTest::addColumn<Run>("stretches");
    QTest::addColumn<Times>("rebuilds");
    // Active with the counter frozen for 3000 ms, or never active 3000 ms after the intent.
    QTest::newRow("frozen 3000 ms")
        << Run { { 0, 1, true, 100, 0, -1 }, { 1000, 4001, true, 500, 0, -1 } } << Times { 4000 };
    QTest::newRow("frozen 2999 ms, then 3249 ms") << Run { { 0, 1, true, 100, 0, -1 },
        { 1000, 1001, true, 500, 0, -1 }, { 1249, 4250, true, 500, 0, -1 } }
                                                  << Times { 4249 };
    // Playing clears the intent, so a drop-out waits from its own; then every 3 s.
    QTest::newRow("playing, then not")
        << Run { { 0, 60000, true, 0, 11025, 0 }, { 60000, 66001, false, 0, 0, 60000 } }
        << Times { 63000, 66000 };
    // The 21st rebuild gives up instead, then one a minute. Frozen, each rebuild forgets
    // progress and the next tick takes the count as fresh: every 3250 ms.
    Times never, frozen;
    for (qint64 i = 0; i < 20; ++i) {
        never.push_back(3000 + i * 3000);
        frozen.push_back(3000 + i * 3250);
    }
    never.insert(never.end(), { 123000, 183000 });
    frozen.insert(frozen.end(), { 128000, 188000 });
    QTest::newRow("never active, gives up") << Run { { 0, 183001, false, 42, 0, 0 } } << never;
    QTest::newRow("frozen, gives up") << Run { { 0, 188001, true, 42, 0, -1 } } << frozen;
    // Ticks more than 15000 ms apart mean the host slept: a full stall period from then.
    QTest::newRow("frozen, 15001 ms suspend") << Run { { 0, 1, true, 100, 0, -1 },
        { 15001, 18252, true, 100, 0, -1 } } << Times { 15001 + 250 + 3000 };
    QTest::newRow("frozen, 15000 ms gap")
        << Run { { 0, 1, true, 100, 0, -1 }, { 15000, 15001, true, 100, 0, -1 } }
        << Times { 15000 };
    QTest::newRow("starting, 15001 ms suspend") << Run { { 0, 1, false, 0, 0, 0 },
        { 15001, 18002, false, 0, 0, -1 } } << Times { 15001 + 3000 };
}

void RebuildPolicyTest::stallsRebuild()
{
    QFETCH(Run, stretches);
    QFETCH(Times, rebuilds);
    RebuildPolicy policy;
    QCOMPARE(run(policy, stretches), rebuilds);
    QCOMPARE(policy.rebuildCount, int(rebuilds.size()));
}

void RebuildPolicyTest::stateErrorsRebuildWithAGap()
{
    // Open, I/O and fatal errors count, 500 ms apart at least; underruns and stops do not.
    RebuildPolicy policy;
    QVERIFY(!policy.evaluateStateChange(QAudio::UnderrunError, 0));
    QVERIFY(!policy.evaluateStateChange(QAudio::NoError, 0));
    QVERIFY(policy.evaluateStateChange(QAudio::OpenError, 0));
    QVERIFY(!policy.evaluateStateChange(QAudio::IOError, 499));
    QVERIFY(policy.evaluateStateChange(QAudio::IOError, 500));
    QVERIFY(policy.evaluateStateChange(QAudio::FatalError, 1000));
    // Given up, only the retry spacing lets an error through.
    policy.gaveUp = true;
    policy.lastRetryMs = 1000;
    QVERIFY(!policy.evaluateStateChange(QAudio::IOError, 60999));
    QVERIFY(!policy.evaluateStateChange(QAudio::UnderrunError, 61000));
    QVERIFY(policy.evaluateStateChange(QAudio::IOError, 61000));
    QCOMPARE(policy.rebuildCount, 4);
}

void RebuildPolicyTest::livenessReportsHealthAndRecovery()
{
    DeviceLiveness liveness;
    // Never active: gives up at 63000 with the counter at 500, then retries once a minute.
    liveness.markStartIntent(0);
    int rebuilds = 0;
    QList<qint64> unhealthyAt;
    for (qint64 now = 0; now <= 63000 + 300000; now += 250) {
        const TickReport report = liveness.tick(false, 500, now);
        QVERIFY(!report.recovered && report.health != TickReport::Health::BecameHealthy);
        rebuilds += report.rebuild ? 1 : 0;
        if (report.health == TickReport::Health::BecameUnhealthy)
            unhealthyAt.append(now);
    }
    QCOMPARE(liveness.snapshot().gaveUpAtMs, qint64(63000));
    QCOMPARE(rebuilds, 20 + 5);
    QCOMPARE(unhealthyAt, QList<qint64> { 63000 + 300000 });
    // Only a counter past the one seen at giving up, while active, recovers; a suspend resets it.
    QVERIFY(!liveness.tick(true, 500, 363250).recovered);
    QVERIFY(!liveness.tick(true, 900, 363250 + 15001).recovered);
    QVERIFY(!liveness.tick(true, 900, 378501).recovered);
    TickReport report = liveness.tick(true, 1300, 378751);
    QVERIFY(report.recovered);
    QCOMPARE(report.recoveredFrom, qint64(900));
    QCOMPARE(report.recoveredTo, qint64(1300));
    const RebuildPolicy policy = liveness.snapshot();
    QVERIFY(!policy.gaveUp);
    QCOMPARE(policy.rebuildCount, 0);
    QCOMPARE(policy.lockoutUntilMs, qint64(378751 + 30000));
    report = liveness.tick(true, 1700, 379001);
    QCOMPARE(report.health, TickReport::Health::BecameHealthy);
    QVERIFY(!report.gaveUp);
    // Frozen through the lockout: no rebuild before it ends, then the frozen time counts.
    for (qint64 now = 379251; now < 408751; now += 250)
        QVERIFY(!liveness.tick(true, 1700, now).rebuild);
    QVERIFY(!liveness.stateChanged(QAudio::FatalError, 408750).rebuild);
    QVERIFY(liveness.tick(true, 1700, 408751).rebuild);
}

void RebuildPolicyTest::reportsAreRateLimited()
{
    const auto expect = [](QtMsgType type, const QString& line) {
        QTest::ignoreMessage(type, QRegularExpression("^" + QRegularExpression::escape(line)));
    };
    // Within five seconds of a report nothing is said; a later check with no new underruns
    // says nothing either, yet starts the next window.
    UnderrunReport underrun;
    QTest::ignoreMessage(QtInfoMsg,
        "AudioOutputNode: 3 underrun(s) in last 1000 ms (total 3 since start) — producer "
        "pipeline failed to keep up with QAudioSink demand; audible as buffer micro-gaps. "
        "Consider load reduction or larger `ringFrames`.");
    underrun.check(3, 1000);
    underrun.check(5, 5999);
    expect(QtInfoMsg, "AudioOutputNode: 4 underrun(s) in last 5000 ms (total 7 since start)");
    underrun.check(7, 6000);
    underrun.check(7, 20000);
    expect(QtInfoMsg, "AudioOutputNode: 2 underrun(s) in last 6000 ms (total 9 since start)");
    underrun.check(9, 26000);
    // Two seconds apart, each with the total so far.
    OverflowReport overflow;
    QTest::ignoreMessage(QtWarningMsg,
        "AudioInputNode: capture ring OVERFLOW — dropped 10 samples (total 10, ring capacity "
        "16383 frames). Consumer is not draining in real time; any in-flight acoustic frame is "
        "torn (§RC).");
    overflow.add(10, 16383, 0);
    overflow.add(20, 16383, 1999);
    QCOMPARE(overflow.overflowTotal.load(), quint64(30));
    expect(QtWarningMsg, "AudioInputNode: capture ring OVERFLOW — dropped 5 samples (total 35,");
    overflow.add(5, 16383, 2000);
}

QTEST_GUILESS_MAIN(RebuildPolicyTest)
#include "tst_rebuild_policy.moc"
