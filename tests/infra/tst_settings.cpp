#include "infra/ObjectCheck.h"
#include "infra/Settings.h"
#include "infra/ShutdownLifecycle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QStandardPaths>
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

QString fileText(const QString& path)
{
    return QString::fromUtf8(fileBytes(path));
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

enum Kind { StringKind, IntKind, BoolKind, Int64Kind, RectKind };

} // namespace

Q_DECLARE_METATYPE(QList<qint64>)

class SettingsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void delayedSync_data();
    void delayedSync();
    void armedTimerEndsTheBurstInOneSync();
    void blankKeysAreRefused_data();
    void blankKeysAreRefused();
    void gettersAnswerDefaultsAndStoredValues_data();
    void gettersAnswerDefaultsAndStoredValues();
    void settersWriteTheirKeys_data();
    void settersWriteTheirKeys();
    void storeWithoutBacking_data();
    void storeWithoutBacking();
    void instanceIsSharedByName();
    void flushAtShutdown_data();
    void flushAtShutdown();
    void destructionSyncs();
    void implausibleAddressesAreReported();
    void flushRunsWhenTheApplicationQuits(); // last: the application quits only once

private:
    QString path() const { return m_directory.filePath(QStringLiteral("zarn.ini")); }

    QTemporaryDir m_home;
    QTemporaryDir m_directory;
};

void SettingsTest::initTestCase()
{
    // Keep every store the tests make, including instance(), away from the user's own.
    QVERIFY(m_home.isValid());
    QVERIFY(m_directory.isValid());
    qputenv("HOME", QFile::encodeName(m_home.path()));
    QStandardPaths::setTestModeEnabled(true);
}

void SettingsTest::init()
{
    QFile::remove(path());
}

void SettingsTest::delayedSync_data()
{
    QTest::addColumn<qint64>("lastSyncBefore");
    QTest::addColumn<QList<qint64>>("writeTimes");
    QTest::addColumn<bool>("firstSyncsAtOnce");
    QTest::addColumn<QList<int>>("timerIntervals");

    // Times in milliseconds after the first write.
    QTest::newRow("two writes a second apart, sync 20 s ago")
        << qint64(20000) << QList<qint64> { 0, 1000 } << true << QList<int> { 9000 };
    QTest::newRow("sync 2 s ago") << qint64(2000) << QList<qint64> { 0 } << false
                                  << QList<int> { 8000 };
    QTest::newRow("sync exactly 10 s ago still waits")
        << qint64(10000) << QList<qint64> { 0 } << false << QList<int> { 0 };
    QTest::newRow("burst restarts the timer")
        << qint64(20000) << QList<qint64> { 0, 1000, 4000, 9500 } << true
        << QList<int> { 9000, 6000, 500 };
    QTest::newRow("clock behind the last sync")
        << qint64(-5000) << QList<qint64> { 0 } << false << QList<int> { 10000 };
}

void SettingsTest::delayedSync()
{
    QFETCH(qint64, lastSyncBefore);
    QFETCH(QList<qint64>, writeTimes);
    QFETCH(bool, firstSyncsAtOnce);
    QFETCH(QList<int>, timerIntervals);

    constexpr qint64 kStart = 1'700'000'000'000;
    FakeClock clock;
    Settings settings(QStringLiteral("test"), path());
    settings.setClock(clock.clock());
    clock.now = kStart - lastSyncBefore;
    settings.sync();

    for (int i = 0; i < writeTimes.size(); ++i) {
        clock.now = kStart + writeTimes[i];
        settings.setBufferSize(1000 + i);
        if (i == 0) {
            const bool synced = fileText(path()).contains(QStringLiteral("zarn_buffer_size=1000"));
            QCOMPARE(synced, firstSyncsAtOnce);
            QCOMPARE(settings.isDirty(), !firstSyncsAtOnce);
            QCOMPARE(settings.lastSync(), firstSyncsAtOnce ? kStart : kStart - lastSyncBefore);
        }
    }
    QCOMPARE(clock.intervals, timerIntervals);
    // The later writes of a burst wait for the timer.
    const QString last = QStringLiteral("zarn_buffer_size=%1").arg(1000 + writeTimes.size() - 1);
    QCOMPARE(fileText(path()).contains(last), firstSyncsAtOnce && writeTimes.size() == 1);
}

void SettingsTest::armedTimerEndsTheBurstInOneSync()
{
    FakeClock clock;
    clock.armRealTimer = true;
    clock.now = 50000;
    Settings settings(QStringLiteral("test"), path());
    settings.setClock(clock.clock());
    settings.sync();

    clock.now = 51000;
    settings.setInt(QStringLiteral("zarn_ticks_per_beat"), 3);
    clock.now = 52000;
    settings.setInt(QStringLiteral("zarn_ticks_per_beat"), 4);
    QCOMPARE(clock.intervals, QList<int>({ 9000, 8000 }));
    QVERIFY(settings.isDirty());
    QVERIFY(!fileText(path()).contains(QStringLiteral("zarn_ticks_per_beat")));

    clock.now = 60001;
    QTRY_VERIFY(!settings.isDirty());
    QCOMPARE(settings.lastSync(), qint64(60001));
    QVERIFY(fileText(path()).contains(QStringLiteral("zarn_ticks_per_beat=4")));
    // One sync ended the burst: the timer was not armed again.
    QCOMPARE(clock.intervals.size(), 2);
}

void SettingsTest::blankKeysAreRefused_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("key");
    QTest::newRow("string, spaces") << int(StringKind) << "  ";
    QTest::newRow("int, empty") << int(IntKind) << "";
    QTest::newRow("bool, tab and newline") << int(BoolKind) << "\t\n";
}

void SettingsTest::blankKeysAreRefused()
{
    QFETCH(int, kind);
    QFETCH(QString, key);
    Settings settings(QStringLiteral("test"), path());
    QSignalSpy changed(&settings, &Settings::customSettingChanged);

    QTest::ignoreMessage(QtWarningMsg, "ERROR: Key was empty");
    switch (kind) {
    case StringKind:
        settings.setString(key, QStringLiteral("value"));
        break;
    case IntKind:
        settings.setInt(key, 5);
        break;
    default:
        settings.setBool(key, true);
        break;
    }
    QCOMPARE(changed.size(), 0);
    QVERIFY(!settings.isDirty());
    settings.sync();
    QVERIFY(!fileText(path()).contains(u'='));
}

void SettingsTest::gettersAnswerDefaultsAndStoredValues_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("defaultValue"); // invalid: the getter's own default
    QTest::addColumn<QVariant>("expected");

    const QByteArray empty;
    QTest::newRow("buffer size from an empty file")
        << empty << int(Int64Kind) << "zarn_buffer_size" << QVariant() << QVariant(qint64(1024));
    QTest::newRow("bool absent") << empty << int(BoolKind) << "zarn_full_screen" << QVariant()
                                 << QVariant(false);
    QTest::newRow("string absent") << empty << int(StringKind) << "zarn_last_file_dir"
                                   << QVariant("/home") << QVariant("/home");
    QTest::newRow("int absent") << empty << int(IntKind) << "zarn_beats_per_minute" << QVariant(120)
                                << QVariant(120);
    QTest::newRow("no geometry") << empty << int(RectKind) << "zarn_window_geometry" << QVariant()
                                 << QVariant(QRect());

    const QByteArray stored("[General]\n"
                            "zarn_beats_per_minute=133\n"
                            "zarn_ticks_per_beat=lots\n"
                            "zarn_full_screen=true\n"
                            "zarn_x_ray_mode=false\n"
                            "zarn_output_device=Speakers\n"
                            "zarn_buffer_size=4096\n"
                            "zarn_window_geometry=@Rect(10 20 300 400)\n");
    QTest::newRow("int stored") << stored << int(IntKind) << "zarn_beats_per_minute"
                                << QVariant(120) << QVariant(133);
    QTest::newRow("int unreadable")
        << stored << int(IntKind) << "zarn_ticks_per_beat" << QVariant(16) << QVariant(16);
    QTest::newRow("bool stored true")
        << stored << int(BoolKind) << "zarn_full_screen" << QVariant() << QVariant(true);
    QTest::newRow("bool stored false, default true")
        << stored << int(BoolKind) << "zarn_x_ray_mode" << QVariant(true) << QVariant(false);
    QTest::newRow("string stored") << stored << int(StringKind) << "zarn_output_device"
                                   << QVariant("") << QVariant("Speakers");
    QTest::newRow("int64 stored") << stored << int(Int64Kind) << "zarn_buffer_size" << QVariant()
                                  << QVariant(qint64(4096));
    QTest::newRow("geometry stored") << stored << int(RectKind) << "zarn_window_geometry"
                                     << QVariant() << QVariant(QRect(10, 20, 300, 400));
}

void SettingsTest::gettersAnswerDefaultsAndStoredValues()
{
    QFETCH(QByteArray, file);
    QFETCH(int, kind);
    QFETCH(QString, key);
    QFETCH(QVariant, defaultValue);
    QFETCH(QVariant, expected);
    writeFile(path(), file);
    const Settings settings(QStringLiteral("test"), path());
    QVERIFY(settings.hasBacking());

    QVariant actual;
    switch (kind) {
    case StringKind:
        actual = settings.stringValue(key, defaultValue.toString());
        break;
    case IntKind:
        actual = settings.intValue(key, defaultValue.toInt());
        break;
    case BoolKind:
        actual = defaultValue.isValid() ? settings.boolValue(key, defaultValue.toBool())
                                        : settings.boolValue(key);
        break;
    case Int64Kind:
        actual = settings.int64Value(key);
        break;
    case RectKind:
        actual = settings.windowGeometry();
        break;
    }
    QCOMPARE(actual, expected);
}

void SettingsTest::settersWriteTheirKeys_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("line");

    QTest::newRow("string") << int(StringKind) << "zarn_last_file_dir"
                            << QVariant("/music/acid.zarn")
                            << "zarn_last_file_dir=/music/acid.zarn";
    QTest::newRow("string, padded key") << int(StringKind) << "  zarn_output_device \t"
                                        << QVariant("Speakers") << "zarn_output_device=Speakers";
    QTest::newRow("int") << int(IntKind) << "zarn_beats_per_minute" << QVariant(133)
                         << "zarn_beats_per_minute=133";
    QTest::newRow("bool") << int(BoolKind) << "zarn_full_screen" << QVariant(true)
                          << "zarn_full_screen=true";
    QTest::newRow("buffer size") << int(Int64Kind) << "zarn_buffer_size" << QVariant(qint64(2048))
                                 << "zarn_buffer_size=2048";
    QTest::newRow("window geometry")
        << int(RectKind) << "zarn_window_geometry" << QVariant(QRect(10, 20, 300, 400))
        << "zarn_window_geometry=@Rect(10 20 300 400)";
}

void SettingsTest::settersWriteTheirKeys()
{
    QFETCH(int, kind);
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    QFETCH(QString, line);
    Settings settings(QStringLiteral("test"), path());
    QSignalSpy changed(&settings, &Settings::customSettingChanged);

    switch (kind) {
    case StringKind:
        settings.setString(key, value.toString());
        break;
    case IntKind:
        settings.setInt(key, value.toInt());
        break;
    case BoolKind:
        settings.setBool(key, value.toBool());
        break;
    case Int64Kind:
        settings.setBufferSize(value.toLongLong());
        break;
    case RectKind:
        settings.setWindowGeometry(value.toRect());
        break;
    }
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).toString(), key.trimmed());
    settings.sync();
    QVERIFY2(fileText(path()).contains(QStringLiteral("[General]\n") + line + u'\n'),
        qPrintable(fileText(path())));
}

void SettingsTest::storeWithoutBacking_data()
{
    QTest::addColumn<bool>("directory");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("path is a directory") << true << QByteArray();
    QTest::newRow("malformed file") << false << QByteArray("[General\n=x\n\xff\xfe");
}

void SettingsTest::storeWithoutBacking()
{
    QFETCH(bool, directory);
    QFETCH(QByteArray, bytes);
    const QString broken = m_directory.filePath(QStringLiteral("broken.ini"));
    QFile::remove(broken);
    QDir(m_directory.path()).rmdir(QStringLiteral("broken.ini"));
    if (directory)
        QVERIFY(QDir(m_directory.path()).mkdir(QStringLiteral("broken.ini")));
    else
        writeFile(broken, bytes);

    QTest::ignoreMessage(QtWarningMsg, "ERROR: Could not create Settings for Broken");
    Settings settings(QStringLiteral("Broken"), broken);
    QVERIFY(!settings.hasBacking());
    QSignalSpy changed(&settings, &Settings::customSettingChanged);

    settings.setString(QStringLiteral("zarn_output_device"), QStringLiteral("Speakers"));
    settings.setInt(QStringLiteral("zarn_beats_per_minute"), 133);
    settings.setBool(QStringLiteral("zarn_full_screen"), true);
    settings.setBufferSize(4096);
    settings.setWindowGeometry(QRect(1, 2, 3, 4));
    QCOMPARE(changed.size(), 0);
    QVERIFY(!settings.isDirty());

    QCOMPARE(settings.stringValue(QStringLiteral("zarn_output_device"), QStringLiteral("x")),
        QStringLiteral("x"));
    QCOMPARE(settings.intValue(QStringLiteral("zarn_beats_per_minute"), 120), 120);
    QCOMPARE(settings.boolValue(QStringLiteral("zarn_full_screen")), false);
    QCOMPARE(settings.int64Value(QStringLiteral("zarn_buffer_size")), qint64(1024));
    QCOMPARE(settings.windowGeometry(), QRect());
    if (!directory)
        QCOMPARE(fileBytes(broken), bytes); // the damaged file is left as it was
}

void SettingsTest::instanceIsSharedByName()
{
    const QString name = QStringLiteral("ZarnSettingsTest");
    const QSharedPointer<Settings> first = Settings::instance(name);
    QVERIFY(first);
    QCOMPARE(Settings::instance(name), first);
    QVERIFY(Settings::instance(QStringLiteral("ZarnSettingsOther")) != first);

    QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Kalvex"));
    QVERIFY(!QCoreApplication::organizationDomain().isEmpty());
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("ZarnSettingsOther"));
    const QString expectedFile
        = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Kalvex/ZarnSettingsTest.ini");
    QCOMPARE(first->fileName(), expectedFile);
    QVERIFY(expectedFile.startsWith(m_home.path()));
}

void SettingsTest::flushAtShutdown_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<bool>("write");
    QTest::addColumn<QString>("identifier");
    QTest::addColumn<QString>("line");
    QTest::newRow("program store") << "" << true << "settings.flush.default"
                                   << "[General]\nzarn_full_screen=true\n";
    QTest::newRow("grouped store") << "mixer" << true << "settings.flush.mixer"
                                   << "[mixer]\nzarn_full_screen=true\n";
    QTest::newRow("nothing pending") << "" << false << ""
                                     << "";
}

void SettingsTest::flushAtShutdown()
{
    QFETCH(QString, group);
    QFETCH(bool, write);
    QFETCH(QString, identifier);
    QFETCH(QString, line);

    FakeClock clock;
    Settings settings(QStringLiteral("test"), path(), group);
    settings.setClock(clock.clock());
    settings.sync();
    if (write)
        settings.setBool(QStringLiteral("zarn_full_screen"), true);
    QCOMPARE(settings.isDirty(), write);

    ShutdownLifecycle& lifecycle = ShutdownLifecycle::instance();
    QList<QStringList> outstanding;
    std::optional<ShutdownTask> registered;
    const QMetaObject::Connection observer
        = connect(&lifecycle, &ShutdownLifecycle::changed, this, [&] {
              outstanding.append(lifecycle.outstandingTasks());
              if (!registered && !identifier.isEmpty())
                  registered = lifecycle.task(identifier);
          });
    settings.flushAtShutdown();
    disconnect(observer);

    QVERIFY(lifecycle.outstandingTasks().isEmpty());
    QVERIFY(!settings.isDirty());
    if (!write) {
        QVERIFY(outstanding.isEmpty());
        return;
    }
    QCOMPARE(outstanding, QList<QStringList>({ QStringList { identifier }, QStringList() }));
    QVERIFY(registered);
    QCOMPARE(registered->title, QStringLiteral("Settings"));
    QCOMPARE(registered->description, QStringLiteral("Flushing"));
    QCOMPARE(registered->detail, path());
    QVERIFY(fileText(path()).contains(line));
}

void SettingsTest::destructionSyncs()
{
    FakeClock clock;
    {
        Settings settings(QStringLiteral("test"), path(), QStringLiteral("transport"));
        settings.setClock(clock.clock());
        settings.sync();
        settings.setInt(QStringLiteral("zarn_beats_per_step"), 12);
        QCOMPARE(clock.intervals.size(), 1);
        QVERIFY(!fileText(path()).contains(QStringLiteral("zarn_beats_per_step")));
    }
    QVERIFY(fileText(path()).contains(QStringLiteral("[transport]\nzarn_beats_per_step=12\n")));
}

void SettingsTest::implausibleAddressesAreReported()
{
    QTest::ignoreMessage(QtWarningMsg,
        "ERROR: this < 851968, which likely means dangling pointer or nullptr access");
    QVERIFY(implausibleObject(nullptr));
    QTest::ignoreMessage(QtWarningMsg,
        "ERROR: this < 851968, which likely means dangling pointer or nullptr access");
    QVERIFY(implausibleObject(reinterpret_cast<const void*>(quintptr(851967))));
    QVERIFY(!implausibleObject(reinterpret_cast<const void*>(quintptr(851968))));
    QVERIFY(!implausibleObject(this));
}

void SettingsTest::flushRunsWhenTheApplicationQuits()
{
    FakeClock clock;
    Settings settings(QStringLiteral("test"), path());
    settings.setClock(clock.clock());
    settings.sync();
    settings.setString(QStringLiteral("zarn_input_device"), QStringLiteral("Microphone"));
    QVERIFY(settings.isDirty());

    QSignalSpy changed(&ShutdownLifecycle::instance(), &ShutdownLifecycle::changed);
    QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();

    QCOMPARE(changed.size(), 2); // the flush task began and ended
    QVERIFY(ShutdownLifecycle::instance().outstandingTasks().isEmpty());
    QVERIFY(!settings.isDirty());
    QVERIFY(fileText(path()).contains(QStringLiteral("zarn_input_device=Microphone")));
}

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
