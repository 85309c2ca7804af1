#include "ui/info/SongInfoEditor.h"

#include "song/Sequencer.h"
#include "song/Song.h"
#include "ui/undo/SongHistory.h"

#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

constexpr int kTagRows = 31, kValueRows = 19;

class SongInfoEditorTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void removeTakesOnlyTags_data();
    void removeTakesOnlyTags();
    void addedTagsStayWithTheirSong();
    void tagEditsAreStepsOfTheHistory();

private:
    QTableView* table() const { return m_editor->findChild<QTableView*>(); }
    QAbstractItemModel* model() const { return table()->model(); }
    QModelIndexList selected() const { return table()->selectionModel()->selectedRows(); }
    QPushButton* button(const char* name) const { return m_editor->findChild<QPushButton*>(name); }
    void click(const char* name) const { QTest::mouseClick(button(name), Qt::LeftButton); }
    bool removable() const { return button("pushButtonRemoveTag")->isEnabled(); }
    QStringList keys() const
    {
        QStringList all;
        for (int row = 0; row < model()->rowCount(); ++row)
            all.append(model()->index(row, 0).data().toString());
        return all;
    }
    void select(const QList<int>& rows) const
    {
        table()->clearSelection();
        for (int row : rows)
            table()->selectionModel()->select(
                model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    std::unique_ptr<SongInfoEditor> m_editor;
    QSharedPointer<Song> m_song;
};

void SongInfoEditorTest::init()
{
    m_editor = std::make_unique<SongInfoEditor>();
    m_song = Song::createNewSong(16);
    m_editor->setSong(m_song);
    m_editor->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_editor.get()));
}

void SongInfoEditorTest::removeTakesOnlyTags_data()
{
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<QStringList>("gone");
    QTest::newRow("scattered tags, the last among them") << QList<int> { 1, 3,
        kTagRows - 1 } << QStringList { "Album Artist (accompaniment)", "BPM", "Year" };
    QTest::newRow("the first value row") << QList<int> { kTagRows } << QStringList {};
    QTest::newRow("tag and value") << QList<int> { 2, kTagRows + 5 } << QStringList { "Artist" };
    QTest::newRow("nothing selected") << QList<int> {} << QStringList {};
}

void SongInfoEditorTest::removeTakesOnlyTags()
{
    QFETCH(QList<int>, rows);
    QFETCH(QStringList, gone);
    QStringList expected = keys();
    select(rows);
    QCOMPARE(removable(), !gone.isEmpty());
    click("pushButtonRemoveTag");
    for (const QString& key : gone)
        expected.removeOne(key);
    QCOMPARE(keys(), expected);
}

// A tag is added under the first free number, so an edited one is never overwritten even
// after a removal lowered the tag count; another song shows its own tags.
void SongInfoEditorTest::addedTagsStayWithTheirSong()
{
    const QStringList initial = keys();
    click("pushButtonAddTag");
    const int added = int(keys().indexOf(QStringLiteral("New Key 31")));
    QCOMPARE(selected(), QModelIndexList { model()->index(added, 0) });
    QVERIFY(model()->setData(model()->index(added, 1), QStringLiteral("mine")));
    select({ 0 });
    click("pushButtonRemoveTag");
    click("pushButtonAddTag");
    QCOMPARE(model()->rowCount(), kTagRows + kValueRows + 1);
    const int again = int(keys().indexOf(QStringLiteral("New Key 32")));
    QCOMPARE(selected(), QModelIndexList { model()->index(again, 0) });
    QCOMPARE(model()->index(int(keys().indexOf("New Key 31")), 1).data().toString(), "mine");
    const QSharedPointer<Song> other = Song::createNewSong(16);
    other->sequencer->position.playPos.sample = 12345;
    m_editor->setSong(other);
    QCOMPARE(keys(), initial);
    QCOMPARE(model()->index(int(keys().indexOf("playPos.sample()")), 1).data().toString(), "12345");
    QVERIFY(!removable());
    m_editor->setSong(m_song);
    QCOMPARE(model()->index(int(keys().indexOf("New Key 31")), 1).data().toString(), "mine");
}

// A value, an added tag and a removal are three steps; undoing them all gives the song its
// tags back, clean, and the table shows them.
void SongInfoEditorTest::tagEditsAreStepsOfTheHistory()
{
    SongHistory history;
    history.setSong(m_song);
    m_editor->setHistory(&history);
    const QMap<QString, QString> original = m_song->tags;
    const int title = int(std::distance(original.begin(), original.find("Title")));
    QVERIFY(model()->setData(model()->index(title, 1), "Night Drive"));
    click("pushButtonAddTag");
    select({ 0 });
    click("pushButtonRemoveTag");
    QCOMPARE(history.stack().count(), 3);
    QVERIFY(m_song->changed);
    history.undo();
    history.undo();
    QCOMPARE(m_song->tags.value("Title"), QStringLiteral("Night Drive"));
    QCOMPARE(model()->rowCount(), kTagRows + kValueRows);
    history.undo();
    QCOMPARE(m_song->tags, original);
    QCOMPARE(model()->index(title, 1).data().toString(), QString());
    QVERIFY(!m_song->changed);
    history.redo();
    QCOMPARE(model()->index(title, 1).data().toString(), QStringLiteral("Night Drive"));
}

QTEST_MAIN(SongInfoEditorTest)
#include "tst_song_info_editor.moc"
