#include "song/Song.h"
#include "song/SongInfoModel.h"

#include <QAbstractItemModelTester>
#include <QTest>

namespace {

constexpr int kTagRows = 31;
constexpr int kValueRows = 19;

// The tester checks every change against the model contract.
struct Fixture {
    SongInfoModel model;
    QAbstractItemModelTester tester { &model,
        QAbstractItemModelTester::FailureReportingMode::QtTest };

    const QSharedPointer<Song> song = Song::createNewSong(16);
    Fixture() { model.setSong(song); }
    QString entry(const QString& key) const
    {
        const auto found
            = model.match(model.index(0, 0), Qt::DisplayRole, key, 1, Qt::MatchExactly);
        return key + '='
            + found.value(0).siblingAtColumn(SongInfoModel::ValueColumn).data().toString();
    }
};

} // namespace

class SongInfoTest : public QObject {
    Q_OBJECT

private slots:
    void tagsThenValues();
    void rowsComeAndGoAmongTheTags();
    void editsChangeTheSongsTags();
};

void SongInfoTest::tagsThenValues()
{
    const Fixture f;
    QCOMPARE(f.model.columnCount(), 2);
    QCOMPARE(f.model.index(kTagRows, 0).data(), "beatsPerMinute()");
    QCOMPARE(f.model.index(kTagRows, 1).data(Qt::EditRole), "120");
    QVERIFY(!f.model.index(0, 1).data(Qt::ToolTipRole).isValid());
    QCOMPARE(f.entry("Encoded By"), "Encoded By=Zarn");
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
    QCOMPARE(f.entry("New Key 51"), "New Key 51=New Value 51");
    // Only whole ranges of tags go; the value block is read-only.
    const int tags = kTagRows + 2;
    QVERIFY(!f.model.removeRows(tags, 1));
    QVERIFY(!f.model.removeRows(tags - 1, 2));
    QVERIFY(!f.model.removeRows(0, 0));
    QVERIFY(!f.model.removeRows(-1, 1));
    QCOMPARE(f.model.rowCount(), tags + kValueRows);
    QVERIFY(f.model.removeRows(tags - 1, 1));
    QVERIFY(f.model.removeRows(0, tags - 1));
    f.model.setSong({});
    QCOMPARE(f.model.rowCount(), kTagRows);
}

// Every edit lands in the song and marks it changed; a refused or empty edit does neither.
void SongInfoTest::editsChangeTheSongsTags()
{
    Fixture f;
    QMap<QString, QString> expected = SongInfoModel::initialTags();
    const auto edited = [&](bool done) {
        const bool changed = f.song->changed && f.song->changeReason == "editSongInfo";
        f.song->untaint("test");
        return done == changed && f.song->tags == expected;
    };
    QVERIFY(!f.model.setData(f.model.index(kTagRows, 1), "x") && edited(false));
    QVERIFY(f.model.setData(f.model.index(0, 1), "") && edited(false));
    expected["Album Artist (accompaniment)"] = "Mine";
    QVERIFY(f.model.setData(f.model.index(1, 1), "Mine") && edited(true));
    expected.insert("Zed", expected.take("Year"));
    QVERIFY(f.model.setData(f.model.index(kTagRows - 1, 0), "Zed") && edited(true));
    expected.insert("New Key 2", "New Value 2");
    QVERIFY(f.model.insertRows(2, 1) && edited(true));
    expected.remove("Album");
    QVERIFY(f.model.removeRows(0, 1) && edited(true));
    f.model.setSong(Song::createNewSong(16));
    QCOMPARE(f.model.rowCount(), kTagRows + kValueRows);
    QCOMPARE(f.song->tags, expected);
}

QTEST_GUILESS_MAIN(SongInfoTest)
#include "tst_song_info.moc"
