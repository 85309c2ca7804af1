#include "ui/pages/NodePage.h"

#include "song/Graph.h"

#include <QHeaderView>
#include <QTableWidget>

namespace {

QString inputsOf(const Graph& graph, const zarn::NodePointer& node)
{
    QStringList names;
    for (const auto& connection : graph.connections)
        if (connection->to == node && connection->from)
            names << connection->from->name;
    return names.join(QStringLiteral(", "));
}

} // namespace

void NodePage::refresh()
{
    const QSharedPointer<Graph> graph = m_song ? m_song->graph : nullptr;
    const int rows = graph ? int(graph->nodes.size()) : 0;
    setColumns({ tr("Node"), tr("Type"), tr("Patterns"), tr("Inputs from"), tr("Position") }, rows);
    for (int row = 0; row < rows; ++row) {
        const zarn::NodePointer& node = graph->nodes.at(row);
        setCell(row, 0, node->name);
        setCell(row, 1, node->typeName());
        setCell(row, 2, QString::number(node->patterns.size()));
        setCell(row, 3, inputsOf(*graph, node));
        setCell(row, 4,
            QStringLiteral("%1, %2")
                .arg(qRound(node->position.x()))
                .arg(qRound(node->position.y())));
    }
    table()->resizeColumnsToContents();
    table()->horizontalHeader()->setStretchLastSection(true);
}

void NodePage::autoArrange()
{
    if (!m_song || !m_song->graph)
        return;
    m_song->graph->autoArrange(QRectF(rect()));
    refresh();
}

void NodePage::zoomToFit()
{
    if (!m_song || !m_song->graph)
        return;
    const QMarginsF margins(kFitMargin, kFitMargin, kFitMargin, kFitMargin);
    m_song->graph->fitInto(QRectF(rect()), margins);
    refresh();
}
