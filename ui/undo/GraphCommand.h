#pragma once

#include "song/Graph.h"
#include "song/Song.h"

#include <QList>
#include <QPointF>
#include <QUndoCommand>

#include <functional>
#include <memory>

// The graph as an edit may change it: the node and connection lists, and each node's name,
// place and mute and solo flags. Nodes keep their processors and patterns, so holding them
// is enough to bring a deleted node back whole.
struct GraphSnapshot {
    struct NodeState {
        zarn::NodePointer node;
        QString name;
        QPointF position;
        bool muted = false;
        bool solo = false;

        bool operator==(const NodeState&) const = default;
    };

    QList<zarn::NodePointer> nodes;
    QList<ConnectionPointer> connections;
    QList<NodeState> states; // one per node, in node order

    static GraphSnapshot take(const Graph& graph);
    void restore(Graph& graph) const;
    bool operator==(const GraphSnapshot&) const = default;
};

// One edit of the graph, with the arrangement edit that went with it (a track added or
// removed with its node). The caller applies the edit first; the first redo does nothing.
// Zoom steps in a row merge into one.
class GraphCommand final : public QUndoCommand {
public:
    static constexpr int kZoomId = 2;

    GraphCommand(const GraphPointer& graph, const QString& text, GraphSnapshot before,
        GraphSnapshot after, QUndoCommand* arrangement, int mergeId = -1);
    ~GraphCommand() override;

    void redo() override;
    void undo() override;
    int id() const override { return m_mergeId; }
    bool mergeWith(const QUndoCommand* other) override;

private:
    GraphPointer m_graph;
    GraphSnapshot m_before;
    GraphSnapshot m_after;
    std::unique_ptr<QUndoCommand> m_arrangement;
    int m_mergeId;
    bool m_applied = true;
};

class SequencerEdit;
class SongHistory;

// Records an edit of the graph and the arrangement around the code that makes it.
class GraphEdit {
public:
    explicit GraphEdit(const SongPointer& song);
    ~GraphEdit();

    // The command for the edit, or null when nothing changed.
    QUndoCommand* command(const QString& text, int mergeId = -1) const;

private:
    SongPointer m_song;
    GraphSnapshot m_before;
    std::unique_ptr<SequencerEdit> m_arrangement;
};

// Runs `change` as one step of the history, or as a plain edit when there is none.
void recordGraphEdit(const GraphEdit& recorder, SongHistory* history, const QString& text,
    const std::function<void()>& change, int mergeId = -1);
