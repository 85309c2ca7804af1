#include "tools/play/PlayOptions.h"

#include <QtTest>

using play::Options;

class PlayTest : public QObject {
    Q_OBJECT

private slots:
    void arguments_data();
    void arguments();
};

void PlayTest::arguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("errorPart"); // empty: accepted
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("block");
    QTest::addColumn<double>("seconds");
    const int play = int(Options::Mode::Play);
    QTest::newRow("song alone") << QStringList { "a.zarn" } << "" << play << "" << 1024 << 0.0;
    QTest::newRow("everything") << QStringList { "--device", "7a61", "a.zarn", "--block", "256",
        "--seconds", "2.5" } << ""
                                << play << "7a61" << 256 << 2.5;
    QTest::newRow("loop") << QStringList { "--loop", "a.zarn" } << "" << play << "" << 1024 << 0.0;
    QTest::newRow("list needs no song") << QStringList { "--list-devices" } << ""
                                        << int(Options::Mode::ListDevices) << "" << 1024 << 0.0;
    QTest::newRow("help") << QStringList { "-h" } << "" << int(Options::Mode::Help) << "" << 1024
                          << 0.0;
    QTest::newRow("no song") << QStringList {} << "which song" << play << "" << 0 << 0.0;
    QTest::newRow("two songs") << QStringList { "a", "b" } << "one song" << play << "" << 0 << 0.0;
    QTest::newRow("unknown option")
        << QStringList { "a", "--loud" } << "unknown option '--loud'" << play << "" << 0 << 0.0;
    QTest::newRow("value missing")
        << QStringList { "a", "--device" } << "--device needs a value" << play << "" << 0 << 0.0;
    QTest::newRow("block not whole")
        << QStringList { "a", "--block", "1.5" } << "--block" << play << "" << 0 << 0.0;
    QTest::newRow("block negative")
        << QStringList { "a", "--block", "-4" } << "--block" << play << "" << 0 << 0.0;
    QTest::newRow("seconds zero") << QStringList { "a", "--seconds", "0" } << "--seconds" << play
                                  << "" << 0 << 0.0;
    QTest::newRow("seconds not finite")
        << QStringList { "a", "--seconds", "inf" } << "--seconds" << play << "" << 0 << 0.0;
}

void PlayTest::arguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, errorPart);
    QFETCH(int, mode);
    QFETCH(QString, device);
    QFETCH(int, block);
    QFETCH(double, seconds);
    const play::ParseResult parsed = play::parseArguments(arguments);
    if (!errorPart.isEmpty()) {
        QVERIFY2(parsed.error.contains(errorPart), qPrintable(parsed.error));
        return;
    }
    QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
    QCOMPARE(int(parsed.options.mode), mode);
    QCOMPARE(parsed.options.device, device);
    QCOMPARE(parsed.options.blockFrames, block);
    QCOMPARE(parsed.options.seconds, seconds);
}

QTEST_GUILESS_MAIN(PlayTest)
#include "tst_play.moc"
