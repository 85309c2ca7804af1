#include "ui/undo/GraphCommand.h"

#include "song/Sequencer.h"
#include "ui/undo/SequencerCommand.h"
#include "ui/undo/SongHistory.h"

GraphSnapshot GraphSnapshot::take(const Graph& graph)
{
    // Probes come and go outside the history; a snapshot leaves them out.
    GraphSnapshot snapshot { graph.nodes, graph.connections, {} };
    snapshot.nodes.removeIf([](const zarn::NodePointer& node) { return node->probe; });
    snapshot.connections.removeIf(
        [](const ConnectionPointer& c) { return Graph::isProbeConnection(*c); });
    snapshot.states.reserve(snapshot.nodes.size());
    for (const zarn::NodePointer& node : snapshot.nodes)
        snapshot.states.append({ node, node->name, node->position, node->muted, node->solo });
    return snapshot;
}

void GraphSnapshot::restore(Graph& graph) const
{
    // The probes attached now stay attached, as long as what they listen to is there.
    QList<zarn::NodePointer> restoredNodes = nodes;
    QList<ConnectionPointer> restoredConnections = connections;
    for (const ConnectionPointer& c : std::as_const(graph.connections))
        if (c->to && c->to->probe && nodes.contains(c->from)) {
            restoredNodes.append(c->to);
            restoredConnections.append(c);
        }
    graph.restore(restoredNodes, restoredConnections);
    bool heardDifferently = false;
    for (const NodeState& state : states) {
        zarn::Node& node = *state.node;
        node.setName(state.name);
        node.setPosition(state.position);
        heardDifferently |= node.muted != state.muted || node.solo != state.solo;
        node.muted = state.muted;
        node.solo = state.solo;
    }
    // Mute and solo live in the plan, so the player builds it again.
    if (heardDifferently)
        graph.changed = true;
}

GraphCommand::GraphCommand(const GraphPointer& graph, const QString& text, GraphSnapshot before,
    GraphSnapshot after, QUndoCommand* arrangement, int mergeId)
    : QUndoCommand(text)
    , m_graph(graph)
    , m_before(std::move(before))
    , m_after(std::move(after))
    , m_arrangement(arrangement)
    , m_mergeId(mergeId)
{
    // The arrangement's command is never pushed; this is the first redo, which it skips.
    if (m_arrangement)
        m_arrangement->redo();
}

GraphCommand::~GraphCommand() = default;

void GraphCommand::redo()
{
    if (!m_applied) {
        m_after.restore(*m_graph);
        if (m_arrangement)
            m_arrangement->redo();
    }
    m_applied = false;
}

void GraphCommand::undo()
{
    if (m_arrangement)
        m_arrangement->undo();
    m_before.restore(*m_graph);
}

bool GraphCommand::mergeWith(const QUndoCommand* other)
{
    // The stack offers only commands of the same id, and zoom steps carry no arrangement.
    m_after = static_cast<const GraphCommand*>(other)->m_after;
    return true;
}

GraphEdit::GraphEdit(const SongPointer& song)
    : m_song(song)
    , m_before(GraphSnapshot::take(*song->graph))
    , m_arrangement(std::make_unique<SequencerEdit>(song->sequencer))
{
}

GraphEdit::~GraphEdit() = default;

QUndoCommand* GraphEdit::command(const QString& text, int mergeId) const
{
    GraphSnapshot after = GraphSnapshot::take(*m_song->graph);
    QUndoCommand* arrangement = m_arrangement->command(text);
    if (after == m_before && !arrangement)
        return nullptr;
    return new GraphCommand(m_song->graph, text, m_before, std::move(after), arrangement, mergeId);
}

void recordGraphEdit(const GraphEdit& recorder, SongHistory* history, const QString& text,
    const std::function<void()>& change, int mergeId)
{
    const auto run = [&]() -> QUndoCommand* {
        change();
        return recorder.command(text, mergeId);
    };
    if (history)
        history->record(run);
    else
        delete run();
}
