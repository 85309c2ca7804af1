#include "ui/pages/PatternPage.h"

#include "core/NodeParameterSchema.h"
#include "engine/Scheduler.h"
#include "song/Sequencer.h"

#include <QHeaderView>
#include <QTableWidget>

namespace {

// What an empty cell shows: one dot per character the value would take.
QString cellText(const ParameterDescriptor& parameter, quint32 value)
{
    if (value == parameter.empty)
        return QString(qMax(1, charactersOf(parameter.valueType())), QChar('.'));
    return parameter.valueText(value);
}

// The play line: the accent colour, faint enough to read the cells through it.
const QColor kPlayLine(46, 140, 130, 110);

SchemaPointer schemaOf(const zarn::NodePointer& node)
{
    return node && node->processor ? node->processor->schema() : nullptr;
}

} // namespace

PatternPage::PatternPage(QWidget* parent)
    : EditorPage(parent)
{
    connect(table(), &QTableWidget::currentCellChanged, this, &PatternPage::cursorChanged);
}

void PatternPage::setSong(const SongPointer& song)
{
    m_node.reset();
    m_pattern.reset();
    EditorPage::setSong(song);
}

void PatternPage::showPattern(const zarn::NodePointer& node, const PatternPointer& pattern)
{
    m_node = node;
    m_pattern = pattern;
    m_playRow = -1; // found again at the next position
    refresh();
    emit cursorChanged();
}

std::optional<PatternCursor> PatternPage::cursor() const
{
    if (!m_pattern || table()->currentRow() < 0 || table()->currentColumn() < 0)
        return std::nullopt;
    return PatternCursor { table()->currentRow(), table()->currentColumn() };
}

void PatternPage::refresh()
{
    const SchemaPointer schema = schemaOf(m_node);
    if (!m_pattern || !schema) {
        setColumns({}, 0);
        m_playRow = -1;
        return;
    }
    const int cells
        = int(schema->nodeParameters.size() + m_pattern->lanes * schema->trackParameters.size());
    QStringList headers;
    for (int cell = 0; cell < cells; ++cell)
        headers << schema->parameterOfCell(cell)->name;
    setColumns(headers, m_pattern->length);
    for (int tick = 0; tick < m_pattern->length; ++tick) {
        const RowPointer row = m_pattern->rowAt(tick);
        for (int cell = 0; cell < cells; ++cell) {
            const ParameterPointer parameter = schema->parameterOfCell(cell);
            const quint32 value
                = row && cell < row->cells.size() ? row->cells.at(cell) : parameter->empty;
            setCell(tick, cell, cellText(*parameter, value));
        }
    }
    QStringList ticks;
    for (int tick = 0; tick < m_pattern->length; ++tick)
        ticks << QStringLiteral("%1").arg(tick, 2, 16, QChar('0')).toUpper();
    table()->setVerticalHeaderLabels(ticks);
    table()->resizeColumnsToContents();
    const int playRow = m_playRow;
    m_playRow = -1;
    markPlayRow(playRow);
}

void PatternPage::playPositionChanged(const Position& position)
{
    int row = -1;
    if (m_song && m_song->sequencer && m_node && m_pattern) {
        const qint32 tick = scheduler::tickOf(position, position.playPos.sample);
        const scheduler::PlayingRow playing
            = scheduler::playingRow(*m_song->sequencer, *m_node, tick);
        if (playing.pattern == m_pattern.data())
            row = int(playing.index);
    }
    markPlayRow(row);
    if (row >= 0 && position.playing)
        table()->scrollToItem(table()->item(row, 0), QAbstractItemView::PositionAtCenter);
}

void PatternPage::markPlayRow(int row)
{
    if (row == m_playRow)
        return;
    const auto paint = [this](int at, const QBrush& brush) {
        if (at < 0 || at >= table()->rowCount())
            return;
        for (int column = 0; column < table()->columnCount(); ++column)
            if (QTableWidgetItem* item = table()->item(at, column))
                item->setBackground(brush);
    };
    paint(m_playRow, QBrush());
    paint(row, kPlayLine);
    m_playRow = row;
}
