#pragma once

#include <QAbstractTableModel>
#include <QMap>
#include <QSharedPointer>
#include <QString>

#include <functional>

class Position;
class Song;

// The key/value table of the song info editor: the song's editable descriptive tags first,
// then a read-only block of its position and timing values. Every change to the tags marks
// the song changed; without a song the model edits initial tags of its own.
class SongInfoModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { KeyColumn, ValueColumn, ColumnCount };

    explicit SongInfoModel(QObject* parent = nullptr);

    // Shows the song's tags and reads the values of its position; without a song the tags
    // are the initial ones and (as without a sequencer) the value block is empty.
    void setSong(const QSharedPointer<Song>& song);
    // Shows the song's tags again when they changed behind the model's back (an undo).
    void reloadTags();

    // Takes each edit of the song's tags, already made, with the tags as they were before;
    // without it an edit marks the song changed itself.
    std::function<void(const QMap<QString, QString>& before)> recordEdit;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    bool insertRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

    static QMap<QString, QString> initialTags();
    // The key an insertion at `row` gives its new tag.
    static QString newKey(int row);
    static QMap<QString, QString> positionValues(const Position& position);

private:
    QMap<QString, QString>& tags();
    const QMap<QString, QString>& tags() const;
    void tagsEdited(const QMap<QString, QString>& before);
    bool isTagRow(int row) const;
    bool renameTag(int row, const QString& key);
    void insertTag(const QString& key, const QString& value);

    QSharedPointer<Song> m_song;
    QMap<QString, QString> m_ownTags; // used while there is no song
    QMap<QString, QString> m_shown; // the tags as the views last learnt them
    QMap<QString, QString> m_values;
};
