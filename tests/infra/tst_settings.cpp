#include "infra/Settings.h"
#include "infra/ShutdownLifecycle.h"

#include <QCoreApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Time stands still until the test moves it; every timer request is written down.
struct FakeClock {
    qint64 now = 0;
    QList<int> intervals;
    bool armRealTimer = false;
    SyncClock clock()
    {
        return { [this] { return now; },
            [this](QTimer& timer, int milliseconds) {
                intervals.append(milliseconds);
                if (armRealTimer)
                    timer.start(0);
            } };
    }
};

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The last sync before the first write; the writes, in ms after it; then what happens.
struct Sync {
    qint64 lastSyncBefore;
    QList<int> writeTimes;
    bool firstSyncsAtOnce;
    QList<int> timerIntervals;
};

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void delayedSync_data();
    void delayedSync();
    void unreadableStoreKeepsItsFile_data();
    void unreadableStoreKeepsItsFile();
    void pendingWritesAreFlushedAtQuit(); // last: the application quits only once

private:
    QString path() const { return m_directory.filePath(QStringLiteral("zarn.ini")); }
    QString text() const { return QString::fromUtf8(fileBytes(path())); }
    QTemporaryDir m_directory;
};

void SettingsTest::init()
{
    QVERIFY(m_directory.isValid());
    QFile::remove(path());
}

void SettingsTest::delayedSync_data()
{
    QTest::addColumn<Sync>("sync");
    QTest::newRow("sync exactly 10 s ago still waits") << Sync { 10000, { 0 }, false, { 0 } };
    QTest::newRow("burst restarts the timer")
        << Sync { 20000, { 0, 1000, 4000, 9500 }, true, { 9000, 6000, 500 } };
    QTest::newRow("clock behind the last sync") << Sync { -5000, { 0 }, false, { 10000 } };
}

void SettingsTest::delayedSync()
{
    QFETCH(Sync, sync);
    const auto& [lastSyncBefore, writeTimes, firstSyncsAtOnce, timerIntervals] = sync;
    constexpr qint64 kStart = 1'700'000'000'000;
    FakeClock clock;
    clock.armRealTimer = true;
    Settings settings(QStringLiteral("test"), path());
    settings.setClock(clock.clock());
    clock.now = kStart - lastSyncBefore;
    settings.sync();
    for (int i = 0; i < writeTimes.size(); ++i) {
        clock.now = kStart + writeTimes[i];
        settings.setBufferSize(1000 + i);
        if (i > 0)
            continue;
        QCOMPARE(text().contains(QStringLiteral("zarn_buffer_size=1000")), firstSyncsAtOnce);
        QCOMPARE(settings.isDirty(), !firstSyncsAtOnce);
        QCOMPARE(settings.lastSync(), firstSyncsAtOnce ? kStart : kStart - lastSyncBefore);
    }
    QCOMPARE(clock.intervals, timerIntervals);
    // The later writes of a burst wait for the timer; when it fires, one sync ends the burst.
    const QString last = QStringLiteral("zarn_buffer_size=%1").arg(1000 + writeTimes.size() - 1);
    QCOMPARE(text().contains(last), firstSyncsAtOnce && writeTimes.size() == 1);
    clock.now = kStart + 60000;
    QTRY_VERIFY(!settings.isDirty());
    QCOMPARE(settings.lastSync(), clock.now);
    QCOMPARE(text(), "[General]\n" + last + "\n");
    QCOMPARE(clock.intervals, timerIntervals);
}

void SettingsTest::unreadableStoreKeepsItsFile_data()
{
    QTest::addColumn<QByteArray>("bytes"); // empty: the path is a directory
    QTest::newRow("path is a directory") << QByteArray();
    QTest::newRow("malformed file") << QByteArray("[General\n=x\n\xff\xfe");
}

void SettingsTest::unreadableStoreKeepsItsFile()
{
    QFETCH(QByteArray, bytes);
    const QString file = m_directory.filePath(QString::fromLatin1(QTest::currentDataTag()));
    QFile out(file);
    QVERIFY(bytes.isEmpty() ? QDir().mkdir(file)
                            : out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
    out.close();
    QTest::ignoreMessage(QtWarningMsg, "ERROR: Could not create Settings for Broken");
    Settings settings(QStringLiteral("Broken"), file);
    QVERIFY(!settings.hasBacking());
    QSignalSpy changed(&settings, &Settings::customSettingChanged);
    settings.setString(QStringLiteral("zarn_output_device"), QStringLiteral("Speakers"));
    settings.setBufferSize(4096);
    settings.sync();
    QCOMPARE(changed.size(), 0);
    QCOMPARE(settings.stringValue(QStringLiteral("zarn_output_device"), "x"), QStringLiteral("x"));
    QCOMPARE(settings.int64Value(QStringLiteral("zarn_buffer_size")), qint64(1024));
    QCOMPARE(fileBytes(file), bytes);
}

void SettingsTest::pendingWritesAreFlushedAtQuit()
{
    // Each store with writes pending registers a shutdown task named after its group while
    // it flushes; a store with nothing pending registers none.
    FakeClock clock;
    Settings program(QStringLiteral("test"), path());
    Settings mixer(QStringLiteral("test"), path(), QStringLiteral("mixer"));
    Settings clean(QStringLiteral("test"), path(), QStringLiteral("clean"));
    for (Settings* store : { &program, &mixer, &clean }) {
        store->setClock(clock.clock());
        store->sync();
    }
    program.setString(QStringLiteral("zarn_input_device"), QStringLiteral("Microphone"));
    mixer.setBool(QStringLiteral("zarn_full_screen"), true);
    QVERIFY(program.isDirty() && mixer.isDirty() && !clean.isDirty());
    ShutdownLifecycle& lifecycle = ShutdownLifecycle::instance();
    QList<QStringList> outstanding;
    QList<ShutdownTask> tasks;
    connect(&lifecycle, &ShutdownLifecycle::changed, this, [&] {
        outstanding.append(lifecycle.outstandingTasks());
        for (const QString& identifier : outstanding.last())
            tasks.append(*lifecycle.task(identifier));
    });
    QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    QCOMPARE(outstanding,
        QList<QStringList>({ QStringList { "settings.flush.default" }, QStringList(),
            QStringList { "settings.flush.mixer" }, QStringList() }));
    QCOMPARE(tasks.first().detail, path());
    QVERIFY(!program.isDirty() && !mixer.isDirty());
    QVERIFY(text().contains(QStringLiteral("[General]\nzarn_input_device=Microphone\n")));
    QVERIFY(text().contains(QStringLiteral("[mixer]\nzarn_full_screen=true\n")));
}

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
