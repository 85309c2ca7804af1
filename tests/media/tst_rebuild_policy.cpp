#include "media/audio/DeviceLiveness.h"
#include "media/audio/LiveWatchdog.h"
#include "media/audio/RebuildPolicy.h"
#include "media/audio/StreamReports.h"

#include "MessageLog.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QtTest>

#include <vector>

using media::audio::DeviceLiveness;
using media::audio::LiveWatchdog;
using media::audio::OverflowReport;
using media::audio::RebuildPolicy;
using media::audio::TickReport;
using media::audio::UnderrunReport;

namespace {

constexpr qint64 kTick = 250;

// Ticks a policy every 250 ms from `from` (inclusive) to `to` (exclusive) with the given
// stream state; returns the times at which it asked for a rebuild.
std::vector<qint64> tickPolicy(
    RebuildPolicy& policy, qint64 from, qint64 to, bool active, quint64 samples)
{
    std::vector<qint64> rebuilds;
    for (qint64 now = from; now < to; now += kTick) {
        if (policy.evaluateStall(active, samples, now))
            rebuilds.push_back(now);
    }
    return rebuilds;
}

} // namespace

class RebuildPolicyTest : public QObject {
    Q_OBJECT

private slots:
    void frozenCounterRebuildsAfterStall_data();
    void frozenCounterRebuildsAfterStall();
    void advancingCounterNeverRebuilds();
    void unconfirmedStartRebuildsAfterStall();
    void givesUpAtTheTwentyFirstRebuild();
    void retriesAMinuteApartAfterGivingUp();
    void stateErrorsRebuildWithAGap_data();
    void stateErrorsRebuildWithAGap();
    void tickGapRestartsTracking();
    void lockoutHoldsRebuildsBack();
    void livenessReportsHealthOnce();
    void livenessResetsOnRecovery();
    void underrunReportsAtMostEveryFiveSeconds();
    void overflowReportsAtMostEveryTwoSeconds();
    void watchdogPeriodStartsAfterTheTick();
};

void RebuildPolicyTest::frozenCounterRebuildsAfterStall_data()
{
    QTest::addColumn<qint64>("lastProgressAt");
    QTest::addColumn<qint64>("checkAt");
    QTest::addColumn<bool>("rebuild");
    QTest::newRow("2999 ms frozen") << qint64(1000) << qint64(3999) << false;
    QTest::newRow("3000 ms frozen") << qint64(1000) << qint64(4000) << true;
    QTest::newRow("off the tick grid") << qint64(1100) << qint64(4099) << false;
}

void RebuildPolicyTest::frozenCounterRebuildsAfterStall()
{
    QFETCH(qint64, lastProgressAt);
    QFETCH(qint64, checkAt);
    QFETCH(bool, rebuild);
    RebuildPolicy policy;
    QVERIFY(!policy.evaluateStall(true, 100, 0));
    // The last progress: the counter moved from 100 to 500.
    QVERIFY(!policy.evaluateStall(true, 500, lastProgressAt));
    // Frozen at 500 every tick since then.
    for (qint64 now = lastProgressAt + kTick; now < checkAt; now += kTick)
        QVERIFY(!policy.evaluateStall(true, 500, now));
    QCOMPARE(policy.evaluateStall(true, 500, checkAt), rebuild);
    QCOMPARE(policy.rebuildCount, rebuild ? 1 : 0);
}

void RebuildPolicyTest::advancingCounterNeverRebuilds()
{
    RebuildPolicy policy;
    for (qint64 now = 0; now < 60000; now += kTick)
        QVERIFY(!policy.evaluateStall(true, quint64(now) * 44, now));
    QCOMPARE(policy.rebuildCount, 0);
}

void RebuildPolicyTest::unconfirmedStartRebuildsAfterStall()
{
    RebuildPolicy policy;
    policy.markStartIntent(1000);
    // Not active: the start is confirmed never; 3 s later a rebuild, then 3 s after that.
    const std::vector<qint64> rebuilds = tickPolicy(policy, 1000, 7500, false, 0);
    QCOMPARE(rebuilds, (std::vector<qint64> { 4000, 7000 }));
    // Once active, the intent is cleared and no start rebuild follows.
    QVERIFY(!policy.evaluateStall(true, 10, 7250));
    QCOMPARE(policy.startIntentMs, qint64(-1));
}

void RebuildPolicyTest::givesUpAtTheTwentyFirstRebuild()
{
    RebuildPolicy policy;
    // Frozen and active: each rebuild forgets progress, the next tick records the frozen
    // count as fresh progress, and 3000 ms later the next rebuild comes: every 3250 ms.
    const std::vector<qint64> rebuilds = tickPolicy(policy, 0, 3000 + 19 * 3250 + 1, true, 42);
    QCOMPARE(rebuilds.size(), size_t(20));
    QCOMPARE(rebuilds.front(), qint64(3000));
    QCOMPARE(rebuilds.back(), qint64(3000 + 19 * 3250));
    QVERIFY(!policy.gaveUp);
    // The 21st needed rebuild gives up instead.
    const qint64 due = rebuilds.back() + 3250;
    QVERIFY(tickPolicy(policy, rebuilds.back() + kTick, due + kTick, true, 42).empty());
    QVERIFY(policy.gaveUp);
    QCOMPARE(policy.gaveUpAtMs, due);
    QCOMPARE(policy.rebuildCount, 20);
}

void RebuildPolicyTest::retriesAMinuteApartAfterGivingUp()
{
    RebuildPolicy policy;
    policy.rebuildCount = policy.maxRebuilds;
    policy.markStartIntent(0);
    QVERIFY(tickPolicy(policy, 0, 3001, false, 0).empty());
    QVERIFY(policy.gaveUp);
    QCOMPARE(policy.gaveUpAtMs, qint64(3000));
    // Retries, counted on from 20, at 60 s spacing whatever the stream does.
    const std::vector<qint64> retries = tickPolicy(policy, 3250, 3000 + 180001, false, 0);
    QCOMPARE(retries, (std::vector<qint64> { 63000, 123000, 183000 }));
    QCOMPARE(policy.rebuildCount, 23);
    // A state error while given up waits for the same spacing.
    QVERIFY(!policy.evaluateStateChange(QAudio::IOError, 183000 + 59999));
    QVERIFY(policy.evaluateStateChange(QAudio::IOError, 183000 + 60000));
}

void RebuildPolicyTest::stateErrorsRebuildWithAGap_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<qint64>("secondAt");
    QTest::addColumn<bool>("first");
    QTest::addColumn<bool>("second");
    QTest::newRow("open error, 499 ms") << int(QAudio::OpenError) << qint64(499) << true << false;
    QTest::newRow("io error, 500 ms") << int(QAudio::IOError) << qint64(500) << true << true;
    QTest::newRow("fatal error, 500 ms") << int(QAudio::FatalError) << qint64(500) << true << true;
    QTest::newRow("underrun") << int(QAudio::UnderrunError) << qint64(10000) << false << false;
    QTest::newRow("no error") << int(QAudio::NoError) << qint64(10000) << false << false;
}

void RebuildPolicyTest::stateErrorsRebuildWithAGap()
{
    QFETCH(int, error);
    QFETCH(qint64, secondAt);
    QFETCH(bool, first);
    QFETCH(bool, second);
    RebuildPolicy policy;
    QCOMPARE(policy.evaluateStateChange(QAudio::Error(error), 0), first);
    QCOMPARE(policy.evaluateStateChange(QAudio::Error(error), secondAt), second);
}

void RebuildPolicyTest::tickGapRestartsTracking()
{
    RebuildPolicy policy;
    QVERIFY(!policy.evaluateStall(true, 100, 0));
    // The host slept 15001 ms: far past the stall time, yet no rebuild, and tracking restarts.
    QVERIFY(!policy.evaluateStall(true, 100, 15001));
    QVERIFY(policy.suspendDetected);
    QCOMPARE(policy.lastSampleCount, qint64(-1));
    // The frozen count is fresh progress again and needs a full stall period.
    QVERIFY(tickPolicy(policy, 15251, 15251 + 3000, true, 100).empty());
    QVERIFY(!policy.suspendDetected);
    QVERIFY(policy.evaluateStall(true, 100, 15251 + 3000));

    // Exactly 15000 ms is not a gap yet: the frozen counter is a stall.
    RebuildPolicy edge;
    QVERIFY(!edge.evaluateStall(true, 100, 0));
    QVERIFY(edge.evaluateStall(true, 100, 15000));
}

void RebuildPolicyTest::lockoutHoldsRebuildsBack()
{
    RebuildPolicy policy;
    policy.gaveUp = true;
    policy.rebuildCount = 20;
    policy.resetAfterRecovery(1000);
    QCOMPARE(policy.rebuildCount, 0);
    QVERIFY(!policy.gaveUp);
    // Frozen for the whole lockout: no rebuild until 31000, then the normal stall rule.
    QVERIFY(tickPolicy(policy, 1000, 31000, true, 7).empty());
    QVERIFY(!policy.evaluateStateChange(QAudio::FatalError, 30999));
    QVERIFY(policy.evaluateStall(true, 7, 31000));
}

void RebuildPolicyTest::livenessReportsHealthOnce()
{
    DeviceLiveness liveness;
    // Never active: start intent 0, rebuilds every 3 s, gives up at the 21st at 63000.
    liveness.markStartIntent(0);
    int unhealthy = 0;
    int healthy = 0;
    int rebuilds = 0;
    qint64 unhealthyAt = -1;
    for (qint64 now = 0; now <= 63000 + 300000; now += kTick) {
        const TickReport report = liveness.tick(false, 0, now);
        rebuilds += report.rebuild ? 1 : 0;
        if (report.health == TickReport::Health::BecameUnhealthy) {
            ++unhealthy;
            unhealthyAt = now;
        }
        healthy += report.health == TickReport::Health::BecameHealthy ? 1 : 0;
    }
    QCOMPARE(liveness.snapshot().gaveUpAtMs, qint64(63000));
    // 20 rebuilds, then one retry per minute: 123000 ... 363000.
    QCOMPARE(rebuilds, 20 + 5);
    QCOMPARE(unhealthy, 1);
    QCOMPARE(unhealthyAt, qint64(63000 + 300000));
    QCOMPARE(healthy, 0);

    // The stream comes back on its own: recovery, then healthy.
    TickReport report = liveness.tick(true, 4410, 363250);
    QVERIFY(report.recovered);
    QCOMPARE(report.recoveredFrom, qint64(0));
    QCOMPARE(report.recoveredTo, qint64(4410));
    report = liveness.tick(true, 8820, 363500);
    QCOMPARE(report.health, TickReport::Health::BecameHealthy);
    QVERIFY(!report.gaveUp);
}

void RebuildPolicyTest::livenessResetsOnRecovery()
{
    DeviceLiveness liveness;
    liveness.markStartIntent(0);
    qint64 now = 0;
    // The tick that gives up samples the counter (500) for the recovery check.
    for (; !liveness.snapshot().gaveUp; now += kTick)
        QVERIFY(!liveness.tick(false, 500, now).recovered);
    TickReport report = liveness.tick(true, 500, now);
    QVERIFY(report.gaveUp);
    QVERIFY(!report.recovered);
    report = liveness.tick(true, 900, now + kTick);
    QVERIFY(report.recovered);
    QCOMPARE(report.recoveredFrom, qint64(500));
    QCOMPARE(report.recoveredTo, qint64(900));

    const RebuildPolicy policy = liveness.snapshot();
    QVERIFY(!policy.gaveUp);
    QCOMPARE(policy.rebuildCount, 0);
    QCOMPARE(policy.lockoutUntilMs, now + kTick + 30000);
    QCOMPARE(policy.lastRebuildMs, qint64(-1));
    QCOMPARE(policy.gaveUpAtMs, qint64(-1));
    QVERIFY(!liveness.tick(true, 900, now + 2 * kTick).gaveUp);
}

void RebuildPolicyTest::underrunReportsAtMostEveryFiveSeconds()
{
    UnderrunReport report;
    QTest::ignoreMessage(QtInfoMsg,
        "AudioOutputNode: 3 underrun(s) in last 1000 ms (total 3 since start) — producer "
        "pipeline failed to keep up with QAudioSink demand; audible as buffer micro-gaps. "
        "Consider load reduction or larger `ringFrames`.");
    report.check(3, 1000);
    // Inside the window nothing is said even though the count grew.
    report.check(5, 5999);
    QTest::ignoreMessage(QtInfoMsg,
        "AudioOutputNode: 4 underrun(s) in last 5000 ms (total 7 since start) — producer "
        "pipeline failed to keep up with QAudioSink demand; audible as buffer micro-gaps. "
        "Consider load reduction or larger `ringFrames`.");
    report.check(7, 6000);
    // No new underruns: nothing to say.
    const MessageLog log;
    report.check(7, 20000);
    QCOMPARE(log.countContaining("underrun"), 0);
}

void RebuildPolicyTest::overflowReportsAtMostEveryTwoSeconds()
{
    OverflowReport report;
    QTest::ignoreMessage(QtWarningMsg,
        "AudioInputNode: capture ring OVERFLOW — dropped 10 samples (total 10, ring capacity "
        "16383 frames). Consumer is not draining in real time; any in-flight acoustic frame is "
        "torn (§RC).");
    report.add(10, 16383, 0);
    {
        const MessageLog log;
        report.add(20, 16383, 1000);
        QCOMPARE(log.countContaining("OVERFLOW"), 0);
    }
    QCOMPARE(report.overflowTotal.load(), quint64(30));
    QTest::ignoreMessage(QtWarningMsg,
        "AudioInputNode: capture ring OVERFLOW — dropped 5 samples (total 35, ring capacity "
        "16383 frames). Consumer is not draining in real time; any in-flight acoustic frame is "
        "torn (§RC).");
    report.add(5, 16383, 2000);
}

void RebuildPolicyTest::watchdogPeriodStartsAfterTheTick()
{
    QMutex mutex;
    std::vector<qint64> starts;
    QElapsedTimer clock;
    clock.start();
    QString threadName;
    LiveWatchdog watchdog("audio-livewd-test", 50, [&] {
        const QMutexLocker locker(&mutex);
        starts.push_back(clock.elapsed());
        threadName = QThread::currentThread()->objectName();
        QThread::msleep(100);
    });
    watchdog.start();
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            const QMutexLocker locker(&mutex);
            return starts.size() >= 3;
        }(),
        5000);
    watchdog.stop();
    QVERIFY(!watchdog.isRunning());
    const QMutexLocker locker(&mutex);
    QCOMPARE(threadName, QString("audio-livewd-test"));
    // 100 ms of tick plus 50 ms of period between starts.
    for (size_t i = 1; i < starts.size(); ++i)
        QVERIFY2(starts[i] - starts[i - 1] >= 150,
            qPrintable(QString::number(starts[i] - starts[i - 1])));
}

QTEST_GUILESS_MAIN(RebuildPolicyTest)
#include "tst_rebuild_policy.moc"
