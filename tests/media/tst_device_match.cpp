#include "media/devices/DeviceMatch.h"

#include <QtTest>

using media::devices::DeviceMatch;

class DeviceMatchTest : public QObject {
    Q_OBJECT

private slots:
    void tags_data();
    void tags();
    void similarityOfTexts_data();
    void similarityOfTexts();
    void matches_data();
    void matches();
};

void DeviceMatchTest::tags_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tag");
    QTest::newRow("in parentheses") << "USB Audio (1A2B:3C4D)"
                                    << "1a2b:3c4d";
    QTest::newRow("in the middle") << "Card (0bda:4014) analog"
                                   << "0bda:4014";
    QTest::newRow("alone, trimmed") << "  1a2b:3c4d "
                                    << "1a2b:3c4d";
    QTest::newRow("alone with more text") << "1a2b:3c4d x"
                                          << "";
    QTest::newRow("three digits") << "Card (1a2:3c4d)"
                                  << "";
    QTest::newRow("not hex") << "Card (1g2b:3c4d)"
                             << "";
    QTest::newRow("first of two") << "(aaaa:bbbb) (cccc:dddd)"
                                  << "aaaa:bbbb";
    QTest::newRow("none") << "Built-in Speakers"
                          << "";
}

void DeviceMatchTest::tags()
{
    QFETCH(QString, text);
    QFETCH(QString, tag);
    QCOMPARE(media::devices::deviceTag(text), tag);
}

void DeviceMatchTest::similarityOfTexts_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<double>("expected");
    QTest::newRow("both empty") << ""
                                << "" << 1.0;
    QTest::newRow("one empty") << "abc"
                               << "" << 0.0;
    QTest::newRow("equal") << "speakers"
                           << "speakers" << 1.0;
    QTest::newRow("two inserted") << "speakers"
                                  << "speakers 2" << 0.8;
    QTest::newRow("one substituted") << "abcd"
                                     << "abxd" << 0.75;
    QTest::newRow("kitten") << "kitten"
                            << "sitting" << 1.0 - 3.0 / 7.0;
    QTest::newRow("nothing alike") << "abc"
                                   << "xyz" << 0.0;
    QTest::newRow("utf-16 units") << QString::fromUtf8("é") << "e" << 0.0;
}

void DeviceMatchTest::similarityOfTexts()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(double, expected);
    QCOMPARE(media::devices::similarity(a, b), expected);
    QCOMPARE(media::devices::similarity(b, a), expected);
}

void DeviceMatchTest::matches_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("candidates");
    QTest::addColumn<int>("index");
    QTest::addColumn<double>("score");
    QTest::addColumn<bool>("found");
    QTest::newRow("tag wins over text")
        << "USB Audio (1a2b:3c4d)" << QStringList { "usb audio", "usb audio device (1A2B:3C4D)" }
        << 1 << 1.0 << true;
    QTest::newRow("close description")
        << "Speakers" << QStringList { "Speakers 2" } << 0 << 0.72 << true;
    QTest::newRow("far description")
        << "Speakers" << QStringList { "Headphones" } << 0 << 0.0 << false;
    QTest::newRow("case ignored") << "SPEAKERS" << QStringList { "speakers" } << 0 << 0.9 << true;
    QTest::newRow("equal best, earlier wins")
        << "Line" << QStringList { "Line 1", "Line 2" } << 0 << 0.9 * (1.0 - 2.0 / 6.0) << true;
    QTest::newRow("better later") << "Line 2" << QStringList { "Line 1", "Line 2" } << 1 << 0.9
                                  << true;
    QTest::newRow("empty query") << "" << QStringList { "Speakers" } << -1 << 0.0 << false;
    QTest::newRow("no candidates") << "Speakers" << QStringList {} << -1 << 0.0 << false;
}

void DeviceMatchTest::matches()
{
    QFETCH(QString, query);
    QFETCH(QStringList, candidates);
    QFETCH(int, index);
    QFETCH(double, score);
    QFETCH(bool, found);
    const DeviceMatch match = media::devices::fuzzyMatch(query, candidates, 0.5);
    QCOMPARE(match.found, found);
    if (found)
        QCOMPARE(match.index, index);
    QVERIFY(qFuzzyCompare(1.0 + match.score, 1.0 + score));
}

QTEST_GUILESS_MAIN(DeviceMatchTest)
#include "tst_device_match.moc"
