#include "tools/play/PlayOptions.h"

#include <QtTest>

class PlayTest : public QObject {
    Q_OBJECT

private slots:
    void arguments_data();
    void arguments();
};

void PlayTest::arguments_data()
{
    QTest::addColumn<QString>("arguments");
    // The options as "mode device block seconds loop", the modes numbered play, list, help
    // from 0; or the start of the error.
    QTest::addColumn<QString>("result");
    QTest::newRow("song alone") << "a.zarn" << QString("0  1024 0 0");
    QTest::newRow("everything") << "--device 7a61 a.zarn --block 256 --seconds 2.5 --loop"
                                << QString("0 7a61 256 2.5 1");
    QTest::newRow("list needs no song") << "--list-devices" << QString("1  1024 0 0");
    QTest::newRow("help") << "-h" << QString("2  1024 0 0");
    QTest::newRow("no song") << "" << QString("which song");
    QTest::newRow("two songs") << "a b" << QString("one song");
    QTest::newRow("unknown option") << "a --loud" << QString("unknown option '--loud'");
    QTest::newRow("value missing") << "a --device" << QString("--device needs a value");
    QTest::newRow("block not whole") << "a --block 1.5" << QString("--block needs");
    QTest::newRow("seconds zero") << "a --seconds 0" << QString("--seconds needs");
    QTest::newRow("seconds not finite") << "a --seconds inf" << QString("--seconds needs");
}

void PlayTest::arguments()
{
    QFETCH(QString, arguments);
    QFETCH(QString, result);
    const auto parsed = play::parseArguments(arguments.split(' ', Qt::SkipEmptyParts));
    const play::Options& o = parsed.options;
    QCOMPARE(parsed.error.isEmpty() ? QStringLiteral("%1 %2 %3 %4 %5")
                                          .arg(int(o.mode))
                                          .arg(o.device)
                                          .arg(o.blockFrames)
                                          .arg(o.seconds)
                                          .arg(int(o.loop))
                                    : parsed.error.left(result.size()),
        result);
}

QTEST_GUILESS_MAIN(PlayTest)
#include "tst_play.moc"
