#include "song/Sequencer.h"
#include "song/Song.h"
#include "song/SongInfoModel.h"

#include <QAbstractItemModelTester>
#include <QTest>

namespace {

constexpr int kTagRows = 31;
constexpr int kValueRows = 19;

// A model over a song whose grid is small, 100 samples a tick and 4 ticks a step, so every
// reading is worked out by hand; the tester checks every change against the model contract.
struct Fixture {
    SongInfoModel model;
    QAbstractItemModelTester tester { &model,
        QAbstractItemModelTester::FailureReportingMode::QtTest };

    Fixture()
    {
        const auto song = Song::createEmpty();
        Position& position = song->sequencer->position;
        position.samplesPerTickValue = 100;
        position.ticksPerStepValue = 4;
        position.scrollStep = 7;
        position.cursor.sample = 1534;
        position.playPos.sample = 999;
        position.sequenceEnd.sample = 4399;
        model.setSong(song);
    }
    int rowOf(const QString& key) const
    {
        const auto found
            = model.match(model.index(0, 0), Qt::DisplayRole, key, 1, Qt::MatchExactly);
        return found.isEmpty() ? -1 : found.first().row();
    }
    QString entry(const QString& key) const
    {
        return key + '=' + model.index(rowOf(key), SongInfoModel::ValueColumn).data().toString();
    }
    QStringList keys() const
    {
        QStringList keys;
        for (int row = 0; row < model.rowCount(); ++row)
            keys.append(model.index(row, SongInfoModel::KeyColumn).data().toString());
        return keys;
    }
};

} // namespace

class SongInfoTest : public QObject {
    Q_OBJECT

private slots:
    void tagsThenValues();
    void rowsComeAndGoAmongTheTags();
};

void SongInfoTest::tagsThenValues()
{
    const Fixture f;
    QCOMPARE(f.model.rowCount(), kTagRows + kValueRows);
    QCOMPARE(f.model.columnCount(), 2);
    const QStringList keys = f.keys();
    QCOMPARE(keys.at(kTagRows - 1), "Year");
    QCOMPARE(keys.at(kTagRows), "beatsPerMinute()");
    QCOMPARE(f.model.index(kTagRows, 1).data(Qt::EditRole), "120");
    QVERIFY(!f.model.index(0, 1).data(Qt::ToolTipRole).isValid());
    QCOMPARE(f.entry("Encoded By"), "Encoded By=Zarn");
    // A point shows its step and its tick within the step: 1534 samples are tick 15, so
    // step 3 and tick 3; 999 are tick 9, step 2, tick 1; 4399 are tick 43, step 10, tick 3.
    QStringList shown;
    for (const char* key :
        { "cursor.step()", "cursor.tick()", "playPos.sample()", "playPos.step()", "playPos.tick()",
            "sequenceEnd.step()", "sequenceEnd.tick()", "samplesPerTick()", "scrollStep" })
        shown.append(f.entry(key).section('=', 1));
    QCOMPARE(shown.join(' '), "3 3 999 2 1 10 3 100 7");
    QVERIFY(f.model.flags(f.model.index(kTagRows - 1, 0)) & Qt::ItemIsEditable);
    QVERIFY(f.model.flags(f.model.index(kTagRows, 1)) & Qt::ItemIsEnabled);
    QVERIFY(!(f.model.flags(f.model.index(kTagRows, 1)) & Qt::ItemIsEditable));
    QCOMPARE(f.model.flags(QModelIndex()), Qt::NoItemFlags);
}

void SongInfoTest::rowsComeAndGoAmongTheTags()
{
    Fixture f;
    const int all = kTagRows + kValueRows;
    QVERIFY(!f.model.insertRows(0, 0));
    QVERIFY(!f.model.insertRows(-1, 1));
    QVERIFY(!f.model.insertRows(all + 1, 1));
    QVERIFY(f.model.insertRows(all, 2)); // at the very end
    // The new tags take their place in key order, after "Mood".
    const int mood = f.rowOf("Mood");
    QCOMPARE(f.keys().mid(mood + 1, 2), QStringList({ "New Key 50", "New Key 51" }));
    QCOMPARE(f.entry("New Key 51"), "New Key 51=New Value 51");
    // Only whole ranges of tags go; the value block is read-only.
    const int tags = kTagRows + 2;
    QVERIFY(!f.model.removeRows(tags, 1));
    QVERIFY(!f.model.removeRows(tags - 1, 2));
    QVERIFY(!f.model.removeRows(0, 0));
    QVERIFY(!f.model.removeRows(-1, 1));
    QCOMPARE(f.model.rowCount(), tags + kValueRows);
    QVERIFY(f.model.removeRows(tags - 1, 1));
    QCOMPARE(f.keys().at(tags - 2), "Track No");
    QVERIFY(f.model.removeRows(0, tags - 1));
    QCOMPARE(f.keys().first(), "beatsPerMinute()");
    f.model.setSong({});
    QCOMPARE(f.model.rowCount(), kTagRows);
}

QTEST_GUILESS_MAIN(SongInfoTest)
#include "tst_song_info.moc"
