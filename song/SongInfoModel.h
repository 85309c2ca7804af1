#pragma once

#include <QAbstractTableModel>
#include <QMap>
#include <QSharedPointer>
#include <QString>

class Position;
class Song;

// The key/value table of the song info editor: the editable descriptive tags first, then a
// read-only block of the song's position and timing values. The tags belong to the editor
// only; they start afresh for every song and are not stored with it.
class SongInfoModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { KeyColumn, ValueColumn, ColumnCount };

    explicit SongInfoModel(QObject* parent = nullptr);

    // Restores the initial tags and reads the values of the song's position; without a
    // song (or sequencer) the value block is empty.
    void setSong(const QSharedPointer<Song>& song);

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
    bool isTagRow(int row) const;
    bool renameTag(int row, const QString& key);
    void insertTag(const QString& key, const QString& value);

    QMap<QString, QString> m_tags;
    QMap<QString, QString> m_values;
};
