#include "ui/info/SongInfoEditor.h"

#include "song/Song.h"
#include "song/SongInfoModel.h"
#include "ui/undo/SongHistory.h"
#include "ui/undo/TagsCommand.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kKeyColumnMinimum = 160;
constexpr int kKeyColumnPadding = 24;
constexpr QSize kInitialSize { 520, 620 };

} // namespace

SongInfoEditor::SongInfoEditor(QWidget* parent)
    : QDialog(parent)
    , m_model(new SongInfoModel(this))
    , m_table(new QTableView(this))
    , m_addButton(new QPushButton(tr("Add Tag"), this))
    , m_removeButton(new QPushButton(tr("Remove Tag"), this))
    , m_closeButton(new QPushButton(tr("Close"), this))
{
    setWindowTitle(tr("Song Info"));
    m_table->setObjectName(QStringLiteral("tableViewInfo"));
    m_addButton->setObjectName(QStringLiteral("pushButtonAddTag"));
    m_removeButton->setObjectName(QStringLiteral("pushButtonRemoveTag"));
    m_closeButton->setObjectName(QStringLiteral("pushButtonClose"));
    m_addButton->setToolTip(tr("Add a tag"));
    m_removeButton->setToolTip(tr("Remove the selected tags"));
    m_closeButton->setAutoDefault(false);
    m_addButton->setAutoDefault(false);
    m_removeButton->setAutoDefault(false);

    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setWordWrap(false);
    m_table->setAlternatingRowColors(true);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setHighlightSections(false);

    layOut();
    resize(kInitialSize);

    connect(m_addButton, &QPushButton::clicked, this, &SongInfoEditor::addTag);
    connect(m_removeButton, &QPushButton::clicked, this, &SongInfoEditor::removeSelectedTags);
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::accept);
    // Escape closes any dialog already; without a window manager Ctrl+W is the other way out.
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), this), &QShortcut::activated, this,
        &QDialog::reject);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &SongInfoEditor::updateButtons);
    connect(m_model, &QAbstractItemModel::modelReset, this, &SongInfoEditor::updateButtons);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &SongInfoEditor::updateButtons);

    const int keyWidth
        = m_table->fontMetrics().horizontalAdvance(QStringLiteral("Album Artist (accompaniment)"));
    m_table->setColumnWidth(
        SongInfoModel::KeyColumn, std::max(kKeyColumnMinimum, keyWidth + kKeyColumnPadding));
    updateButtons();
}

void SongInfoEditor::layOut()
{
    // The dialog has no save button of its own, so say where the tags go.
    auto* saved = new QLabel(
        tr("Tags are saved with the song; the timing values below them are read-only."), this);
    saved->setObjectName(QStringLiteral("labelTagsSaved"));
    saved->setWordWrap(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_addButton);
    buttons->addWidget(m_removeButton);
    buttons->addStretch();
    buttons->addWidget(m_closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    layout->addWidget(saved);
    layout->addLayout(buttons);
}

void SongInfoEditor::setSong(const QSharedPointer<Song>& song)
{
    m_song = song;
    m_model->setSong(song);
    m_table->scrollToTop();
}

void SongInfoEditor::setHistory(SongHistory* history)
{
    if (m_history)
        disconnect(m_history, nullptr, this, nullptr);
    m_history = history;
    if (!history) {
        m_model->recordEdit = nullptr;
        return;
    }
    // An undo or redo of a tag edit changes the tags behind the model.
    connect(history, &SongHistory::edited, m_model, &SongInfoModel::reloadTags);
    m_model->recordEdit = [this](const QMap<QString, QString>& before) {
        if (m_history && m_song && m_history->song() == m_song)
            m_history->push(new TagsCommand(m_song, before, m_song->tags));
        else if (m_song)
            m_song->taint(QStringLiteral("editSongInfo"));
    };
}

void SongInfoEditor::addTag()
{
    // The model gives an existing key the new value instead of a row, which would
    // overwrite a tag the user has edited; take the first number whose key is free.
    const auto taken = [this](int row) {
        return !m_model
                    ->match(m_model->index(0, SongInfoModel::KeyColumn), Qt::DisplayRole,
                        SongInfoModel::newKey(row), 1,
                        Qt::MatchFixedString | Qt::MatchCaseSensitive)
                    .isEmpty();
    };
    int row = 0;
    while (isTagRow(row))
        ++row;
    while (taken(row))
        ++row;
    if (!m_model->insertRows(row, 1))
        return;
    const QModelIndexList added
        = m_model->match(m_model->index(0, SongInfoModel::KeyColumn), Qt::DisplayRole,
            SongInfoModel::newKey(row), 1, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (added.isEmpty())
        return;
    m_table->selectRow(added.constFirst().row());
    m_table->scrollTo(added.constFirst());
}

void SongInfoEditor::removeSelectedTags()
{
    // Bottom up, so the rows still to go keep their numbers. Value rows are skipped: the
    // model refuses them, and a refusal in the middle would leave half a removal behind.
    QList<int> rows = selectedTagRows();
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    for (int row : rows)
        m_model->removeRows(row, 1);
}

bool SongInfoEditor::isTagRow(int row) const
{
    return m_model->flags(m_model->index(row, SongInfoModel::KeyColumn))
        .testFlag(Qt::ItemIsEditable);
}

QList<int> SongInfoEditor::selectedTagRows() const
{
    QList<int> rows;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows())
        if (isTagRow(index.row()))
            rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void SongInfoEditor::updateButtons()
{
    m_removeButton->setEnabled(!selectedTagRows().isEmpty());
}
