#include "ui/pages/EditorPage.h"

#include "infra/Style.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

EditorPage::EditorPage(QWidget* editor, QWidget* parent)
    : QWidget(parent)
    , m_editor(editor)
{
    editor->setParent(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(editor);
}

EditorPage::EditorPage(QWidget* parent)
    : EditorPage(new QTableWidget, parent)
{
    m_table = static_cast<QTableWidget*>(m_editor);
    m_table->setFont(ZarnStyle::gridFont());
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->horizontalHeader()->setHighlightSections(false);
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
}

void EditorPage::setSong(const SongPointer& song)
{
    m_song = song;
    refresh();
}

void EditorPage::setXRayMode(bool on)
{
    m_xRay = on;
    update();
}

QWidget* EditorPage::focusTarget()
{
    return m_editor;
}

void EditorPage::setColumns(const QStringList& headers, int rows)
{
    m_table->clear();
    m_table->setColumnCount(int(headers.size()));
    m_table->setHorizontalHeaderLabels(headers);
    m_table->setRowCount(rows);
}

void EditorPage::setCell(int row, int column, const QString& text)
{
    m_table->setItem(row, column, new QTableWidgetItem(text));
}
