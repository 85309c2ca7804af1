#pragma once

#include <QList>
#include <QSet>
#include <QSharedPointer>
#include <QString>

#include <type_traits>

namespace media::graph {

// Outcome of a connect request; `message` says why a refused connection was refused.
struct ConnectResult {
    bool ok = false;
    QString message;
};

inline constexpr char kInvalidNodes[] = "Invalid nodes";
inline constexpr char kSelfConnection[] = "Cannot connect node to itself";
inline constexpr char kAlreadyConnected[] = "Nodes are already connected";
inline constexpr char kLoop[] = "Connecting these nodes would form an invalid loop";

// Nodes and directed connections, refusing edges that would leave the graph invalid
// (missing ends, self edges, duplicates in either direction, cycles).
template <class N, class C> class Graph {
public:
    using NodePointer = QSharedPointer<N>;
    using ConnectionPointer = QSharedPointer<C>;

    virtual ~Graph() = default;

    void addNode(const NodePointer& node)
    {
        if (!node || nodes.contains(node))
            return;
        nodes.append(node);
        changed = true;
        topologyChanged();
    }

    ConnectResult connect(const NodePointer& from, const NodePointer& to)
    {
        if (!from || !to)
            return { false, QString::fromLatin1(kInvalidNodes) };
        if (from == to)
            return { false, QString::fromLatin1(kSelfConnection) };
        if (connectionBetween(from, to) || connectionBetween(to, from))
            return { false, QString::fromLatin1(kAlreadyConnected) };
        if (wouldFormLoop(from, to))
            return { false, QString::fromLatin1(kLoop) };
        connections.append(makeConnection(from, to));
        changed = true;
        topologyChanged();
        return { true, QString() };
    }

    // Takes the node out together with every connection that touches it.
    void removeNode(const NodePointer& node)
    {
        if (!nodes.removeOne(node))
            return;
        connections.removeIf(
            [&](const ConnectionPointer& c) { return c->from == node || c->to == node; });
        changed = true;
        topologyChanged();
    }

    void removeConnection(const ConnectionPointer& connection)
    {
        if (!connections.removeOne(connection))
            return;
        changed = true;
        topologyChanged();
    }

    // Puts the node and connection lists back as they were, as an undo does.
    void restore(
        const QList<NodePointer>& storedNodes, const QList<ConnectionPointer>& storedConnections)
    {
        if (nodes == storedNodes && connections == storedConnections)
            return;
        nodes = storedNodes;
        connections = storedConnections;
        changed = true;
        topologyChanged();
    }

    ConnectionPointer connectionBetween(const NodePointer& from, const NodePointer& to) const
    {
        for (const auto& c : connections)
            if (c->from == from && c->to == to)
                return c;
        return {};
    }

    NodePointer nodeByUniqueID(const QString& id) const
    {
        for (const auto& n : nodes)
            if (n->uniqueID == id)
                return n;
        return {};
    }

    // Depth-first search over the existing edges plus from -> to, keyed by uniqueID.
    bool wouldFormLoop(const NodePointer& from, const NodePointer& to) const
    {
        LoopSearch search { *this, from, to, {}, {} };
        for (const auto& n : nodes)
            if (search.visit(n))
                return true;
        return false;
    }

    QList<NodePointer> nodes;
    QList<ConnectionPointer> connections;
    bool changed = true;

protected:
    // Edge types that carry more than their two ends are made by the derived graph.
    virtual ConnectionPointer makeConnection(const NodePointer& from, const NodePointer& to)
    {
        if constexpr (std::is_constructible_v<C, const NodePointer&, const NodePointer&>)
            return ConnectionPointer::create(from, to);
        else
            return {};
    }
    virtual void topologyChanged() { }

private:
    struct LoopSearch {
        const Graph& graph;
        NodePointer from;
        NodePointer to;
        QSet<QString> visited;
        QSet<QString> onStack;

        // True when following `target` closes a cycle.
        bool follow(const NodePointer& target)
        {
            if (!target)
                return false;
            if (visited.contains(target->uniqueID))
                return onStack.contains(target->uniqueID);
            return visit(target);
        }

        bool visit(const NodePointer& n)
        {
            if (visited.contains(n->uniqueID))
                return false;
            visited.insert(n->uniqueID);
            onStack.insert(n->uniqueID);
            for (const auto& c : graph.connections)
                if (c->from && c->from->uniqueID == n->uniqueID && follow(c->to))
                    return true;
            if (n == from && follow(to))
                return true;
            onStack.remove(n->uniqueID);
            return false;
        }
    };
};

} // namespace media::graph
