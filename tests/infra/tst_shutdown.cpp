#include "infra/ShutdownLifecycle.h"

#include <QRegularExpression>
#include <QTest>

namespace {

ShutdownTask makeTask(const QString& identifier, const QString& title = QString())
{
    return { QString(), identifier, title, QStringLiteral("Working"), QString(), {} };
}

// Records the registry's signals by name, in the order they arrive.
class SignalLog {
public:
    explicit SignalLog(ShutdownLifecycle& lifecycle)
    {
        QObject::connect(
            &lifecycle, &ShutdownLifecycle::changed, [this] { names.append("changed"); });
        QObject::connect(&lifecycle, &ShutdownLifecycle::shutdownReady,
            [this] { names.append("shutdownReady"); });
        QObject::connect(&lifecycle, &ShutdownLifecycle::shutdownAborted,
            [this] { names.append("shutdownAborted"); });
    }
    QStringList names;
};

enum Step { Begin, End, Request, Abort };

struct Action {
    Step step;
    QString identifier;
};

void perform(ShutdownLifecycle& lifecycle, const QList<Action>& actions)
{
    for (const Action& action : actions) {
        switch (action.step) {
        case Begin:
            lifecycle.beginTask(makeTask(action.identifier));
            break;
        case End:
            lifecycle.endTask(action.identifier);
            break;
        case Request:
            lifecycle.requestShutdown();
            break;
        case Abort:
            lifecycle.abortShutdown();
            break;
        }
    }
}

} // namespace

Q_DECLARE_METATYPE(QList<Action>)

class ShutdownTest : public QObject {
    Q_OBJECT

private slots:
    void bookkeeping();
    void beginningTwiceKeepsTheLaterRecord();
    void signalsInOrder_data();
    void signalsInOrder();
    void observersMayCallBack();
    void requestRunsTheFinishHooks();
    void warnsAboutOutstandingTasksAtDestruction_data();
    void warnsAboutOutstandingTasksAtDestruction();
};

void ShutdownTest::bookkeeping()
{
    ShutdownLifecycle lifecycle;
    SignalLog log(lifecycle);
    lifecycle.beginTask(makeTask("b"));
    lifecycle.beginTask(makeTask("a"));
    QCOMPARE(lifecycle.outstandingTasks(), QStringList({ "a", "b" }));
    lifecycle.endTask("b");
    QCOMPARE(lifecycle.outstandingTasks(), QStringList({ "a" }));
    lifecycle.endTask("nothing");
    lifecycle.endTask("b");
    QCOMPARE(lifecycle.outstandingTasks(), QStringList({ "a" }));
    lifecycle.endTask("a");
    QVERIFY(lifecycle.outstandingTasks().isEmpty());
    QVERIFY(!lifecycle.task("a").has_value());
    // Unknown identifiers emit nothing; without a request nothing is ever ready.
    QCOMPARE(log.names, QStringList({ "changed", "changed", "changed", "changed" }));
}

void ShutdownTest::beginningTwiceKeepsTheLaterRecord()
{
    ShutdownLifecycle lifecycle;
    SignalLog log(lifecycle);
    lifecycle.beginTask(makeTask("settings.flush.default", "first"));
    lifecycle.beginTask(makeTask("settings.flush.default", "second"));
    QCOMPARE(lifecycle.outstandingTasks(), QStringList({ "settings.flush.default" }));
    QCOMPARE(lifecycle.task("settings.flush.default")->title, QStringLiteral("second"));
    QCOMPARE(log.names, QStringList({ "changed", "changed" }));
    lifecycle.endTask("settings.flush.default");
}

void ShutdownTest::signalsInOrder_data()
{
    QTest::addColumn<QList<Action>>("actions");
    QTest::addColumn<QStringList>("signalNames");

    QTest::newRow("request with nothing outstanding")
        << QList<Action> { { Request, {} } } << QStringList { "shutdownReady" };
    QTest::newRow("last end completes the request") << QList<Action> {
        { Begin, "a" }, { Begin, "b" }, { Request, {} }, { End, "a" }, { End, "b" }
    } << QStringList { "changed", "changed", "changed", "changed", "shutdownReady" };
    QTest::newRow("abandoned request") << QList<Action> { { Begin, "a" }, { Request, {} },
        { Abort, {} }, { End, "a" } } << QStringList { "changed", "shutdownAborted", "changed" };
    QTest::newRow("abort without request") << QList<Action> { { Abort, {} } } << QStringList();
    QTest::newRow("ready only once") << QList<Action> { { Request, {} }, { Begin, "a" },
        { End, "a" }, { Abort, {} } } << QStringList { "shutdownReady", "changed", "changed" };
    QTest::newRow("task begun while pending is waited for") << QList<Action> {
        { Begin, "a" }, { Request, {} }, { Begin, "b" }, { End, "a" }, { End, "b" }
    } << QStringList { "changed", "changed", "changed", "changed", "shutdownReady" };
    QTest::newRow("second request while pending")
        << QList<Action> { { Begin, "a" }, { Request, {} }, { Request, {} }, { End, "a" } }
        << QStringList { "changed", "changed", "shutdownReady" };
}

void ShutdownTest::signalsInOrder()
{
    QFETCH(QList<Action>, actions);
    QFETCH(QStringList, signalNames);
    ShutdownLifecycle lifecycle;
    SignalLog log(lifecycle);
    perform(lifecycle, actions);
    QCOMPARE(log.names, signalNames);
    QVERIFY(!lifecycle.shutdownPending() || !lifecycle.outstandingTasks().isEmpty());
}

void ShutdownTest::observersMayCallBack()
{
    ShutdownLifecycle lifecycle;
    QList<QStringList> seen;
    bool followedUp = false;
    // Signals come after the mutex is released, so an observer may read and register.
    connect(&lifecycle, &ShutdownLifecycle::changed, &lifecycle, [&] {
        seen.append(lifecycle.outstandingTasks());
        if (!followedUp) {
            followedUp = true;
            lifecycle.beginTask(makeTask("follow-up"));
        }
    });
    lifecycle.beginTask(makeTask("a"));
    QCOMPARE(seen, QList<QStringList>({ QStringList { "a" }, QStringList { "a", "follow-up" } }));
    lifecycle.endTask("follow-up");
    lifecycle.endTask("a");
    QVERIFY(lifecycle.outstandingTasks().isEmpty());
}

void ShutdownTest::requestRunsTheFinishHooks()
{
    ShutdownLifecycle lifecycle;
    SignalLog log(lifecycle);
    int hurried = 0;
    ShutdownTask flush = makeTask("flush");
    flush.finish = [&] {
        ++hurried;
        lifecycle.endTask("flush");
    };
    lifecycle.beginTask(flush);
    lifecycle.beginTask(makeTask("slow"));

    lifecycle.requestShutdown();
    QCOMPARE(hurried, 1);
    QCOMPARE(lifecycle.outstandingTasks(), QStringList({ "slow" }));
    QVERIFY(lifecycle.shutdownPending());
    lifecycle.endTask("slow");
    QCOMPARE(
        log.names, QStringList({ "changed", "changed", "changed", "changed", "shutdownReady" }));
    QVERIFY(!lifecycle.shutdownPending());
}

void ShutdownTest::warnsAboutOutstandingTasksAtDestruction_data()
{
    QTest::addColumn<QStringList>("identifiers");
    QTest::addColumn<QString>("warning");
    QTest::newRow("two tasks") << QStringList { "settings.flush.default", "disk" }
                               << "ShutdownLifecycle: shutdown with 2 outstanding tasks: "
                                  "QList(disk, settings.flush.default)";
    QTest::newRow("one task") << QStringList { "a" }
                              << "ShutdownLifecycle: shutdown with 1 outstanding tasks: QList(a)";
    QTest::newRow("none") << QStringList() << QString();
}

void ShutdownTest::warnsAboutOutstandingTasksAtDestruction()
{
    QFETCH(QStringList, identifiers);
    QFETCH(QString, warning);
    if (warning.isEmpty())
        QTest::failOnWarning(QRegularExpression(QStringLiteral("ShutdownLifecycle")));
    else
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    {
        ShutdownLifecycle lifecycle;
        for (const QString& identifier : identifiers)
            lifecycle.beginTask(makeTask(identifier));
    }
}

QTEST_GUILESS_MAIN(ShutdownTest)
#include "tst_shutdown.moc"
