#pragma once

#include <QDialog>
#include <QPointer>
#include <QSharedPointer>

class QPushButton;
class SongHistory;
class QTableView;
class Song;
class SongInfoModel;

// The song info dialog: the editable tags over the song's read-only timing values. Tags
// can be added and removed; the value rows stay as they are.
class SongInfoEditor : public QDialog {
    Q_OBJECT

public:
    explicit SongInfoEditor(QWidget* parent = nullptr);

    // Shows this song's tags and the values of its position.
    void setSong(const QSharedPointer<Song>& song);
    // Tag edits become steps of this history while it holds the shown song.
    void setHistory(SongHistory* history);

public slots:
    void addTag();
    void removeSelectedTags();

private:
    // The table, a note that the tags are saved, and the buttons below.
    void layOut();
    bool isTagRow(int row) const;
    QList<int> selectedTagRows() const;
    void updateButtons();

    SongInfoModel* m_model;
    QSharedPointer<Song> m_song;
    QPointer<SongHistory> m_history;
    QTableView* m_table;
    QPushButton* m_addButton;
    QPushButton* m_removeButton;
    QPushButton* m_closeButton;
};
