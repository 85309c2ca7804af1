#include "ui/pages/MixerPage.h"

#include "song/Graph.h"

#include <QHeaderView>
#include <QTableWidget>

void MixerPage::refresh()
{
    const QSharedPointer<Graph> graph = m_song ? m_song->graph : nullptr;
    QList<QPair<QString, QString>> lines;
    if (graph)
        for (const auto& connection : graph->connections)
            if (connection->to && !connection->to->givesAudioOutput() && connection->from)
                lines.append({ connection->from->name, connection->to->name });
    setColumns({ tr("Source"), tr("Output") }, int(lines.size()));
    for (int row = 0; row < lines.size(); ++row) {
        setCell(row, 0, lines.at(row).first);
        setCell(row, 1, lines.at(row).second);
    }
    table()->horizontalHeader()->setStretchLastSection(true);
    table()->resizeColumnsToContents();
}
