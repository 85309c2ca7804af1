#include "ui/info/SongInfoEditor.h"

#include "song/Sequencer.h"
#include "song/Song.h"
#include "song/SongInfoModel.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

namespace {

constexpr int kTagRows = 31;
constexpr int kValueRows = 19;

} // namespace

class SongInfoEditorTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void newSongShowsTagsThenValues();
    void addButtonAddsFreshRows();
    void addButtonKeepsEditedTags();
    void removeButtonRemovesOnlyTags_data();
    void removeButtonRemovesOnlyTags();
    void setSongStartsTheTagsAfresh();
    void closeButtonCloses();
    void closeKeysClose_data();
    void closeKeysClose();

private:
    QTableView* table() const
    {
        return m_editor->findChild<QTableView*>(QStringLiteral("tableViewInfo"));
    }
    QAbstractItemModel* model() const { return table()->model(); }
    QPushButton* button(const char* name) const
    {
        return m_editor->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    QString key(int row) const { return model()->index(row, 0).data().toString(); }
    QStringList keys() const
    {
        QStringList all;
        for (int row = 0; row < model()->rowCount(); ++row)
            all.append(key(row));
        return all;
    }
    int editableRows() const
    {
        int count = 0;
        for (int row = 0; row < model()->rowCount(); ++row)
            count += model()->flags(model()->index(row, 0)).testFlag(Qt::ItemIsEditable) ? 1 : 0;
        return count;
    }
    void select(const QList<int>& rows) const
    {
        table()->clearSelection();
        for (int row : rows)
            table()->selectionModel()->select(
                model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    QSharedPointer<Song> m_song;
    std::unique_ptr<SongInfoEditor> m_editor;
};

void SongInfoEditorTest::init()
{
    m_song = Song::createNewSong(16);
    m_editor = std::make_unique<SongInfoEditor>();
    m_editor->setSong(m_song);
    m_editor->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_editor.get()));
    QVERIFY(table());
    QVERIFY(button("pushButtonAddTag"));
    QVERIFY(button("pushButtonRemoveTag"));
    QVERIFY(button("pushButtonClose"));
}

void SongInfoEditorTest::cleanup()
{
    m_editor.reset();
    m_song.reset();
}

void SongInfoEditorTest::newSongShowsTagsThenValues()
{
    QCOMPARE(m_editor->windowTitle(), QStringLiteral("Song Info"));
    QCOMPARE(model()->columnCount(), 2);
    QCOMPARE(model()->rowCount(), kTagRows + kValueRows);
    for (int row = 0; row < model()->rowCount(); ++row)
        QCOMPARE(
            model()->flags(model()->index(row, 1)).testFlag(Qt::ItemIsEditable), row < kTagRows);
    QCOMPARE(key(0), QStringLiteral("Album"));
    QCOMPARE(key(kTagRows - 1), QStringLiteral("Year"));
    QCOMPARE(key(kTagRows), QStringLiteral("beatsPerMinute()"));
    QVERIFY(table()->horizontalHeader()->stretchLastSection());
    QVERIFY(m_editor->findChild<QLabel*>(QStringLiteral("labelTagsNotSaved"))->isVisible());
    // The longest tag fits its column.
    QVERIFY(table()->columnWidth(0)
        > table()->fontMetrics().horizontalAdvance(QStringLiteral("Album Artist (accompaniment)")));
}

void SongInfoEditorTest::addButtonAddsFreshRows()
{
    QTest::mouseClick(button("pushButtonAddTag"), Qt::LeftButton);
    QCOMPARE(model()->rowCount(), kTagRows + kValueRows + 1);
    QCOMPARE(editableRows(), kTagRows + 1);
    QVERIFY(keys().contains(QStringLiteral("New Key 31")));
    const QModelIndexList selected = table()->selectionModel()->selectedRows();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(key(selected.first().row()), QStringLiteral("New Key 31"));

    QTest::mouseClick(button("pushButtonAddTag"), Qt::LeftButton);
    QCOMPARE(editableRows(), kTagRows + 2);
    QVERIFY(keys().contains(QStringLiteral("New Key 32")));
}

// Removing a tag lowers the tag count, so the next number may already be in use.
void SongInfoEditorTest::addButtonKeepsEditedTags()
{
    QTest::mouseClick(button("pushButtonAddTag"), Qt::LeftButton);
    const int added = int(keys().indexOf(QStringLiteral("New Key 31")));
    QVERIFY(added >= 0);
    QVERIFY(model()->setData(model()->index(added, 1), QStringLiteral("mine")));
    select({ 0 });
    QTest::mouseClick(button("pushButtonRemoveTag"), Qt::LeftButton);
    QCOMPARE(editableRows(), kTagRows);

    QTest::mouseClick(button("pushButtonAddTag"), Qt::LeftButton);
    QCOMPARE(editableRows(), kTagRows + 1);
    const int kept = int(keys().indexOf(QStringLiteral("New Key 31")));
    QCOMPARE(model()->index(kept, 1).data().toString(), QStringLiteral("mine"));
}

void SongInfoEditorTest::removeButtonRemovesOnlyTags_data()
{
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<QStringList>("gone");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("one tag") << QList<int> { 0 } << QStringList { "Album" } << true;
    QTest::newRow("scattered tags")
        << QList<int> { 1, 3, 30 } << QStringList { "Album Artist (accompaniment)", "BPM", "Year" }
        << true;
    QTest::newRow("a value row") << QList<int> { kTagRows + 2 } << QStringList {} << false;
    QTest::newRow("the last value row")
        << QList<int> { kTagRows + kValueRows - 1 } << QStringList {} << false;
    QTest::newRow("tag and value")
        << QList<int> { 2, kTagRows } << QStringList { "Artist" } << true;
    QTest::newRow("nothing selected") << QList<int> {} << QStringList {} << false;
}

void SongInfoEditorTest::removeButtonRemovesOnlyTags()
{
    QFETCH(QList<int>, rows);
    QFETCH(QStringList, gone);
    QFETCH(bool, enabled);
    const QStringList before = keys();
    select(rows);
    QCOMPARE(button("pushButtonRemoveTag")->isEnabled(), enabled);
    QTest::mouseClick(button("pushButtonRemoveTag"), Qt::LeftButton);

    QStringList expected = before;
    for (const QString& key : gone)
        expected.removeOne(key);
    QCOMPARE(keys(), expected);
    QCOMPARE(editableRows(), kTagRows - int(gone.size()));
    QCOMPARE(model()->rowCount() - editableRows(), kValueRows);
}

void SongInfoEditorTest::setSongStartsTheTagsAfresh()
{
    const QStringList initial = keys();
    QTest::mouseClick(button("pushButtonAddTag"), Qt::LeftButton);
    select({ 4 });
    QTest::mouseClick(button("pushButtonRemoveTag"), Qt::LeftButton);
    QVERIFY(model()->setData(model()->index(0, 1), QStringLiteral("An Album")));
    QVERIFY(keys() != initial);

    const QSharedPointer<Song> other = Song::createNewSong(16);
    other->sequencer->position.playPos.sample = 12345;
    m_editor->setSong(other);
    QCOMPARE(keys(), initial);
    QVERIFY(model()->index(0, 1).data().toString().isEmpty());
    const int playSample = int(keys().indexOf(QStringLiteral("playPos.sample()")));
    QVERIFY(playSample >= kTagRows);
    QCOMPARE(model()->index(playSample, 1).data().toString(), QStringLiteral("12345"));
    QVERIFY(!button("pushButtonRemoveTag")->isEnabled());
}

void SongInfoEditorTest::closeButtonCloses()
{
    QVERIFY(m_editor->isVisible());
    QTest::mouseClick(button("pushButtonClose"), Qt::LeftButton);
    QVERIFY(!m_editor->isVisible());
}

void SongInfoEditorTest::closeKeysClose_data()
{
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("Escape") << Qt::Key_Escape << Qt::KeyboardModifiers(Qt::NoModifier);
    QTest::newRow("Ctrl+W") << Qt::Key_W << Qt::KeyboardModifiers(Qt::ControlModifier);
}

void SongInfoEditorTest::closeKeysClose()
{
    QFETCH(Qt::Key, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QVERIFY(QTest::qWaitForWindowActive(m_editor.get()));
    table()->setFocus();
    QTest::keyClick(table(), key, modifiers);
    QVERIFY(!m_editor->isVisible());
}

QTEST_MAIN(SongInfoEditorTest)
#include "tst_song_info_editor.moc"
