#include "song/Sequencer.h"
#include "song/Song.h"
#include "song/SongInfoModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

namespace {

constexpr int kTagRows = 31;
constexpr int kValueRows = 19;

int rowOf(const SongInfoModel& model, const QString& key)
{
    for (int row = 0; row < model.rowCount(); ++row)
        if (model.index(row, SongInfoModel::KeyColumn).data().toString() == key)
            return row;
    return -1;
}

QString valueOf(const SongInfoModel& model, const QString& key)
{
    const int row = rowOf(model, key);
    return row < 0 ? QString() : model.index(row, SongInfoModel::ValueColumn).data().toString();
}

QStringList keysOf(const SongInfoModel& model)
{
    QStringList keys;
    for (int row = 0; row < model.rowCount(); ++row)
        keys.append(model.index(row, SongInfoModel::KeyColumn).data().toString());
    return keys;
}

// A song whose position has a small grid, so every reading is worked out by hand.
QSharedPointer<Song> songWithKnownPosition()
{
    const auto song = Song::createEmpty();
    Position& position = song->sequencer->position;
    position.samplesPerTickValue = 100;
    position.ticksPerStepValue = 4;
    position.beatsPerMinute = 133;
    position.ticksPerBeat = 6;
    position.samplesPerSecond = 48000;
    position.cursorColumn = 2;
    position.scrollStep = 7;
    position.scrollHeight = 21;
    position.cursor.sample = 1534;
    position.playPos.sample = 999;
    position.sequenceBegin.sample = 400;
    position.sequenceEnd.sample = 4399;
    position.loopBegin.sample = 800;
    return song;
}

} // namespace

class SongInfoTest : public QObject {
    Q_OBJECT

private slots:
    void newSongShowsTagsThenValues();
    void positionValues_data();
    void positionValues();
    void flagsAndHeaders();
    void edits_data();
    void edits();
    void renameKeepsPersistentIndexOnItsEntry();
    void insertRows();
    void removeRows_data();
    void removeRows();
    void settingASongRestoresTheTags();
};

void SongInfoTest::newSongShowsTagsThenValues()
{
    SongInfoModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setSong(Song::createNewSong(16));

    QCOMPARE(model.rowCount(), kTagRows + kValueRows);
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(model.rowCount(model.index(0, 0)), 0);
    const QStringList keys = keysOf(model);
    // Each block is in key order; "Album" sorts before "Album Artist (accompaniment)".
    QCOMPARE(keys.first(), QStringLiteral("Album"));
    QCOMPARE(keys.at(1), QStringLiteral("Album Artist (accompaniment)"));
    QCOMPARE(keys.at(kTagRows - 1), QStringLiteral("Year"));
    QCOMPARE(keys.at(kTagRows), QStringLiteral("beatsPerMinute()"));
    QCOMPARE(keys.last(), QStringLiteral("ticksPerStep()"));
    QCOMPARE(valueOf(model, QStringLiteral("Encoded By")), QStringLiteral("Zarn"));
    QCOMPARE(valueOf(model, QStringLiteral("File Type")), QStringLiteral(".zarn"));
    QCOMPARE(valueOf(model, QStringLiteral("Title")), QString());
    QCOMPARE(valueOf(model, QStringLiteral("beatsPerMinute()")), QStringLiteral("120"));
}

void SongInfoTest::positionValues_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    // Grid: 100 samples per tick, 4 ticks per step, so a step is 400 samples.
    QTest::newRow("tempo") << "beatsPerMinute()"
                           << "133";
    QTest::newRow("ticks per beat") << "ticksPerBeat()"
                                    << "6";
    QTest::newRow("ticks per step") << "ticksPerStep()"
                                    << "4";
    QTest::newRow("samples per tick") << "samplesPerTick()"
                                      << "100";
    QTest::newRow("sample rate") << "samplesPerSecond()"
                                 << "48000";
    QTest::newRow("cursor column") << "cursorColumn"
                                   << "2";
    QTest::newRow("scroll step") << "scrollStep"
                                 << "7";
    QTest::newRow("scroll height") << "scrollHeight"
                                   << "21";
    // 1534 samples: tick 15, 15 mod 4 = 3, step 1534 / 400 = 3.
    QTest::newRow("cursor step") << "cursor.step()"
                                 << "3";
    QTest::newRow("cursor tick") << "cursor.tick()"
                                 << "3";
    // 999 samples: tick 9, 9 mod 4 = 1, step 2.
    QTest::newRow("play sample") << "playPos.sample()"
                                 << "999";
    QTest::newRow("play step") << "playPos.step()"
                               << "2";
    QTest::newRow("play tick") << "playPos.tick()"
                               << "1";
    QTest::newRow("begin step") << "sequenceBegin.step()"
                                << "1";
    QTest::newRow("begin tick") << "sequenceBegin.tick()"
                                << "0";
    // 4399 samples: tick 43, 43 mod 4 = 3, step 10.
    QTest::newRow("end step") << "sequenceEnd.step()"
                              << "10";
    QTest::newRow("end tick") << "sequenceEnd.tick()"
                              << "3";
    QTest::newRow("loop step") << "loopBegin.step()"
                               << "2";
    QTest::newRow("loop tick") << "loopBegin.tick()"
                               << "0";
}

void SongInfoTest::positionValues()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    SongInfoModel model;
    model.setSong(songWithKnownPosition());
    QCOMPARE(model.rowCount(), kTagRows + kValueRows);
    const int row = rowOf(model, key);
    QVERIFY2(row >= kTagRows, qPrintable(key));
    QCOMPARE(model.index(row, SongInfoModel::ValueColumn).data().toString(), value);
}

void SongInfoTest::flagsAndHeaders()
{
    SongInfoModel model;
    model.setSong(songWithKnownPosition());
    for (int column : { SongInfoModel::KeyColumn, SongInfoModel::ValueColumn }) {
        QVERIFY(model.flags(model.index(0, column)) & Qt::ItemIsEditable);
        QVERIFY(model.flags(model.index(kTagRows - 1, column)) & Qt::ItemIsEditable);
        const Qt::ItemFlags valueFlags = model.flags(model.index(kTagRows, column));
        QVERIFY(valueFlags & Qt::ItemIsEnabled);
        QVERIFY(!(valueFlags & Qt::ItemIsEditable));
    }
    QCOMPARE(model.flags(QModelIndex()), Qt::NoItemFlags);
    QCOMPARE(model.headerData(SongInfoModel::KeyColumn, Qt::Horizontal).toString(),
        QStringLiteral("Key"));
    QCOMPARE(model.headerData(SongInfoModel::ValueColumn, Qt::Horizontal).toString(),
        QStringLiteral("Value"));
}

void SongInfoTest::edits_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("expectedKey");
    QTest::addColumn<QString>("expectedValue");

    QTest::newRow("tag value") << "Title" << 1 << int(Qt::EditRole) << "Acid Rain" << true
                               << "Title"
                               << "Acid Rain";
    QTest::newRow("tag key") << "Mood" << 0 << int(Qt::EditRole) << "Atmosphere" << true
                             << "Atmosphere"
                             << "";
    QTest::newRow("key kept") << "Encoded By" << 0 << int(Qt::EditRole) << "Encoded By" << true
                              << "Encoded By"
                              << "Zarn";
    QTest::newRow("key of another tag")
        << "Album" << 0 << int(Qt::EditRole) << "Artist" << false << "Album"
        << "";
    QTest::newRow("display role") << "Title" << 1 << int(Qt::DisplayRole) << "x" << false << "Title"
                                  << "";
    QTest::newRow("value row value")
        << "scrollStep" << 1 << int(Qt::EditRole) << "9" << false << "scrollStep"
        << "7";
    QTest::newRow("value row key")
        << "scrollStep" << 0 << int(Qt::EditRole) << "other" << false << "scrollStep"
        << "7";
}

void SongInfoTest::edits()
{
    QFETCH(QString, key);
    QFETCH(int, column);
    QFETCH(int, role);
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(QString, expectedKey);
    QFETCH(QString, expectedValue);

    SongInfoModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setSong(songWithKnownPosition());
    const int row = rowOf(model, key);
    QVERIFY(row >= 0);

    QCOMPARE(model.setData(model.index(row, column), text, role), accepted);
    QCOMPARE(model.rowCount(), kTagRows + kValueRows);
    QCOMPARE(valueOf(model, expectedKey), expectedValue);
    if (expectedKey != key)
        QCOMPARE(rowOf(model, key), -1);
    // Whatever happened, each block is still in key order.
    const QStringList keys = keysOf(model);
    QStringList tags = keys.mid(0, kTagRows);
    std::sort(tags.begin(), tags.end());
    QCOMPARE(keys.mid(0, kTagRows), tags);
}

void SongInfoTest::renameKeepsPersistentIndexOnItsEntry()
{
    SongInfoModel model;
    model.setSong(songWithKnownPosition());
    const QPersistentModelIndex renamed(model.index(rowOf(model, QStringLiteral("Album")), 1));
    const QPersistentModelIndex bystander(model.index(rowOf(model, QStringLiteral("Year")), 0));
    const QPersistentModelIndex value(model.index(kTagRows, 1));

    // "Zzz" sorts after "Year", so both tags change rows.
    QVERIFY(model.setData(model.index(renamed.row(), 0), QStringLiteral("Zzz")));
    QCOMPARE(renamed.row(), kTagRows - 1);
    QCOMPARE(model.index(renamed.row(), 0).data().toString(), QStringLiteral("Zzz"));
    QCOMPARE(bystander.data().toString(), QStringLiteral("Year"));
    QCOMPARE(value.row(), kTagRows);
}

void SongInfoTest::insertRows()
{
    SongInfoModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setSong(songWithKnownPosition());
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

    QVERIFY(model.insertRows(5, 2));
    QCOMPARE(model.rowCount(), kTagRows + 2 + kValueRows);
    QCOMPARE(valueOf(model, QStringLiteral("New Key 5")), QStringLiteral("New Value 5"));
    QCOMPARE(valueOf(model, QStringLiteral("New Key 6")), QStringLiteral("New Value 6"));
    // The new entries take their place in key order among the tags: after "Mood".
    const int mood = rowOf(model, QStringLiteral("Mood"));
    QCOMPARE(rowOf(model, QStringLiteral("New Key 5")), mood + 1);
    QCOMPARE(rowOf(model, QStringLiteral("New Key 6")), mood + 2);
    QCOMPARE(inserted.size(), 2);
    QCOMPARE(inserted.at(0).at(1).toInt(), mood + 1);
    QVERIFY(model.flags(model.index(mood + 1, 0)) & Qt::ItemIsEditable);

    // The same keys again only take their values back: no row is added.
    QVERIFY(model.setData(model.index(mood + 1, 1), QStringLiteral("edited")));
    QVERIFY(model.insertRows(5, 1));
    QCOMPARE(model.rowCount(), kTagRows + 2 + kValueRows);
    QCOMPARE(valueOf(model, QStringLiteral("New Key 5")), QStringLiteral("New Value 5"));

    QVERIFY(!model.insertRows(0, 0));
    QVERIFY(!model.insertRows(-1, 1));
    QVERIFY(!model.insertRows(model.rowCount() + 1, 1));
    QCOMPARE(model.rowCount(), kTagRows + 2 + kValueRows);
}

void SongInfoTest::removeRows_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QStringList>("gone");

    QTest::newRow("first tag") << 0 << 1 << true << QStringList { "Album" };
    QTest::newRow("two tags") << 1 << 2 << true
                              << QStringList { "Album Artist (accompaniment)", "Artist" };
    QTest::newRow("last tag") << kTagRows - 1 << 1 << true << QStringList { "Year" };
    QTest::newRow("all tags") << 0 << kTagRows << true << QStringList { "Album", "Year" };
    QTest::newRow("value row") << kTagRows << 1 << false << QStringList();
    QTest::newRow("into the values") << kTagRows - 1 << 2 << false << QStringList();
    QTest::newRow("no rows") << 0 << 0 << false << QStringList();
    QTest::newRow("negative row") << -1 << 1 << false << QStringList();
}

void SongInfoTest::removeRows()
{
    QFETCH(int, row);
    QFETCH(int, count);
    QFETCH(bool, accepted);
    QFETCH(QStringList, gone);

    SongInfoModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setSong(songWithKnownPosition());
    const QStringList before = keysOf(model);

    QCOMPARE(model.removeRows(row, count), accepted);
    const QStringList after = keysOf(model);
    QCOMPARE(after.size(), before.size() - (accepted ? count : 0));
    for (const QString& key : gone)
        QVERIFY2(!after.contains(key), qPrintable(key));
    // The value block never loses a row.
    QCOMPARE(after.mid(after.size() - kValueRows), before.mid(kTagRows));
    if (!accepted)
        QCOMPARE(after, before);
}

void SongInfoTest::settingASongRestoresTheTags()
{
    SongInfoModel model;
    model.setSong(songWithKnownPosition());
    QVERIFY(model.removeRows(0, 3));
    QVERIFY(model.setData(model.index(0, 1), QStringLiteral("edited")));
    QVERIFY(model.insertRows(0, 1));

    model.setSong(Song::createEmpty());
    QCOMPARE(model.rowCount(), kTagRows + kValueRows);
    QCOMPARE(keysOf(model).mid(0, kTagRows), SongInfoModel::initialTags().keys());
    QCOMPARE(valueOf(model, QStringLiteral("Artist")), QString());
    QCOMPARE(valueOf(model, QStringLiteral("scrollStep")), QStringLiteral("0"));

    model.setSong({});
    QCOMPARE(model.rowCount(), kTagRows);
}

QTEST_GUILESS_MAIN(SongInfoTest)
#include "tst_song_info.moc"
