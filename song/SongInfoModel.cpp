#include "song/SongInfoModel.h"

#include "song/Position.h"
#include "song/Sequencer.h"
#include "song/Song.h"

#include <iterator>

namespace {

const QString kNewKey = QStringLiteral("New Key %1");
const QString kNewValue = QStringLiteral("New Value %1");
const QString kEditReason = QStringLiteral("editSongInfo");

const char* const kTagKeys[] = {
    "Album Artist (accompaniment)",
    "Album",
    "Artist",
    "BPM",
    "Comment",
    "Composer",
    "Conductor/Performer refinement",
    "Copyright Info",
    "Cover Art",
    "Encoded By",
    "Encoding Time",
    "File Owner/Licensee",
    "File Type",
    "Genre",
    "Grouping",
    "Initial Key",
    "Language(s)",
    "Length",
    "Lyricist(s)",
    "Mood",
    "Original Album",
    "Original Filename",
    "Original Lyricist(s)",
    "Original Release Time",
    "Playlist Delay",
    "Publisher",
    "Release Time",
    "Remixed",
    "Title",
    "Track No",
    "Year",
};

struct PresetTag {
    const char* key;
    const char* value;
};

const PresetTag kPresetTags[] = {
    { "Encoded By", "Zarn" },
    { "File Type", ".zarn" },
};

// A point is shown as its step and its tick within that step.
void addPoint(QMap<QString, QString>& values, const QString& name, const Point& point)
{
    values.insert(name + QStringLiteral(".step()"), QString::number(point.step()));
    values.insert(name + QStringLiteral(".tick()"), QString::number(point.tickInStep()));
}

} // namespace

SongInfoModel::SongInfoModel(QObject* parent)
    : QAbstractTableModel(parent)
    , m_ownTags(initialTags())
{
}

QMap<QString, QString> SongInfoModel::initialTags()
{
    QMap<QString, QString> tags;
    for (const char* key : kTagKeys)
        tags.insert(QString::fromLatin1(key), QString());
    for (const PresetTag& preset : kPresetTags)
        tags.insert(QString::fromLatin1(preset.key), QString::fromLatin1(preset.value));
    return tags;
}

QMap<QString, QString> SongInfoModel::positionValues(const Position& position)
{
    QMap<QString, QString> values;
    const auto add = [&values](const char* key, qint32 value) {
        values.insert(QString::fromLatin1(key), QString::number(value));
    };
    add("beatsPerMinute()", position.beatsPerMinute);
    add("cursorColumn", position.cursorColumn);
    add("playPos.sample()", position.playPos.sample);
    add("samplesPerSecond()", position.samplesPerSecond);
    add("samplesPerTick()", position.samplesPerTick());
    add("scrollHeight", position.scrollHeight);
    add("scrollStep", position.scrollStep);
    add("ticksPerStep()", position.ticksPerStep());
    add("ticksPerBeat()", position.ticksPerBeat);
    addPoint(values, QStringLiteral("cursor"), position.cursor);
    addPoint(values, QStringLiteral("sequenceBegin"), position.sequenceBegin);
    addPoint(values, QStringLiteral("sequenceEnd"), position.sequenceEnd);
    addPoint(values, QStringLiteral("loopBegin"), position.loopBegin);
    addPoint(values, QStringLiteral("playPos"), position.playPos);
    return values;
}

void SongInfoModel::setSong(const QSharedPointer<Song>& song)
{
    beginResetModel();
    m_song = song;
    m_ownTags = initialTags();
    m_values.clear();
    if (song && song->sequencer) {
        // A copy, so the values describe the position at the moment the song arrived.
        const Position position = song->sequencer->position;
        m_values = positionValues(position);
    }
    m_shown = tags();
    endResetModel();
}

int SongInfoModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(tags().size() + m_values.size());
}

int SongInfoModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SongInfoModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    const bool tag = isTagRow(index.row());
    const QMap<QString, QString>& map = tag ? tags() : m_values;
    const int offset = tag ? index.row() : index.row() - int(tags().size());
    const auto entry = std::next(map.cbegin(), offset);
    return index.column() == KeyColumn ? entry.key() : entry.value();
}

QVariant SongInfoModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section == KeyColumn)
        return QStringLiteral("Key");
    if (section == ValueColumn)
        return QStringLiteral("Value");
    return {};
}

Qt::ItemFlags SongInfoModel::flags(const QModelIndex& index) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return Qt::NoItemFlags;
    const Qt::ItemFlags base = QAbstractTableModel::flags(index);
    return isTagRow(index.row()) ? base | Qt::ItemIsEditable : base;
}

bool SongInfoModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !checkIndex(index, CheckIndexOption::IndexIsValid)
        || !isTagRow(index.row()))
        return false;
    const QString text = value.toString();
    if (index.column() == KeyColumn)
        return renameTag(index.row(), text);
    // Copied first: taking the reference below then gives the song tags of their own.
    const QMap<QString, QString> before = tags();
    QString& stored = std::next(tags().begin(), index.row()).value();
    if (stored == text)
        return true;
    stored = text;
    tagsEdited(before);
    emit dataChanged(index, index, { Qt::DisplayRole, Qt::EditRole });
    return true;
}

bool SongInfoModel::insertRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid() || count < 1 || row < 0 || row > rowCount())
        return false;
    const QMap<QString, QString> before = tags();
    for (int k = 0; k < count; ++k)
        insertTag(newKey(row + k), kNewValue.arg(row + k));
    tagsEdited(before);
    return true;
}

bool SongInfoModel::removeRows(int row, int count, const QModelIndex& parent)
{
    // The whole range must lie among the tags: the value block is read-only.
    if (parent.isValid() || count < 1 || !isTagRow(row) || row + count > tags().size())
        return false;
    const QMap<QString, QString> before = tags();
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    const auto first = std::next(tags().begin(), row);
    tags().erase(first, std::next(first, count));
    endRemoveRows();
    tagsEdited(before);
    return true;
}

QMap<QString, QString>& SongInfoModel::tags()
{
    return m_song ? m_song->tags : m_ownTags;
}

const QMap<QString, QString>& SongInfoModel::tags() const
{
    return m_song ? m_song->tags : m_ownTags;
}

void SongInfoModel::tagsEdited(const QMap<QString, QString>& before)
{
    m_shown = tags();
    if (!m_song)
        return;
    if (recordEdit)
        recordEdit(before);
    else
        m_song->taint(kEditReason);
}

void SongInfoModel::reloadTags()
{
    if (tags() == m_shown)
        return;
    beginResetModel();
    m_shown = tags();
    endResetModel();
}

bool SongInfoModel::isTagRow(int row) const
{
    return row >= 0 && row < tags().size();
}

// A renamed tag moves to its new place in key order. Taking the key of another tag would
// silently drop that tag, so it is refused.
bool SongInfoModel::renameTag(int row, const QString& key)
{
    QMap<QString, QString>& map = tags();
    const auto entry = std::next(map.begin(), row);
    if (entry.key() == key)
        return true;
    if (map.contains(key))
        return false;
    const QMap<QString, QString> before = map;
    emit layoutAboutToBeChanged();
    const QModelIndexList previous = persistentIndexList();
    QStringList keys;
    for (const QModelIndex& index : previous)
        keys.append(
            isTagRow(index.row()) ? data(index.siblingAtColumn(KeyColumn)).toString() : QString());
    const QString oldKey = entry.key();
    const QString value = entry.value();
    map.erase(entry);
    map.insert(key, value);
    QModelIndexList after;
    for (int i = 0; i < previous.size(); ++i) {
        if (keys[i].isNull()) {
            after.append(previous[i]);
            continue;
        }
        const QString& moved = keys[i] == oldKey ? key : keys[i];
        const int newRow = int(std::distance(map.cbegin(), map.constFind(moved)));
        after.append(this->index(newRow, previous[i].column()));
    }
    changePersistentIndexList(previous, after);
    emit layoutChanged();
    tagsEdited(before);
    return true;
}

// An entry whose key exists already only takes the new value.
void SongInfoModel::insertTag(const QString& key, const QString& value)
{
    QMap<QString, QString>& map = tags();
    const auto existing = map.find(key);
    if (existing != map.end()) {
        existing.value() = value;
        const int row = int(std::distance(map.begin(), existing));
        emit dataChanged(index(row, KeyColumn), index(row, ValueColumn));
        return;
    }
    const int row = int(std::distance(map.begin(), map.lowerBound(key)));
    beginInsertRows(QModelIndex(), row, row);
    map.insert(key, value);
    endInsertRows();
}

QString SongInfoModel::newKey(int row)
{
    return kNewKey.arg(row);
}
