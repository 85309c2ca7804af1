#pragma once

#include "core/AudioNode.h"
#include "core/ProcessorCharacter.h"
#include "engine/BufferPool.h"
#include "engine/Dowry.h"
#include "engine/Plan.h"
#include "engine/PlanStep.h"
#include "media/graph/Graph.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QSharedPointer>
#include <QStringList>

#include <utility>

// Compiles a graph into a plan. Nodes are processed once each, breadth first from the
// nodes nothing feeds; a node's signal continues in its first destination's buffer and
// is mixed into the buffers of the others.
//
// N is read through three free functions found next to it, so any node type can be
// built once it provides them:
//   QString planName(const N&);
//   QSharedPointer<AudioNode> planAudioNode(const N&);   // null when it has none
//   const ProcessorCharacter* planCharacter(const N&);   // null when it has none
//   bool planMuted(const N&);
//   bool planSoloed(const N&);
// A silenced node (muted, or left out by a solo) still runs, so its state goes on, but its
// buffer is cleared behind it.
// C needs `from` and `to` shared node pointers; a connection missing either end is ignored.
template <class N, class C> class PlanBuilder {
public:
    using NodePointer = QSharedPointer<N>;
    using ConnectionPointer = QSharedPointer<C>;

    QSharedPointer<Plan> build(const media::graph::Graph<N, C>& graph)
    {
        return build(graph.nodes, graph.connections);
    }

    // Nodes and connections in their stored order, which decides the plan's order.
    QSharedPointer<Plan> build(
        const QList<NodePointer>& nodes, const QList<ConnectionPointer>& connections);

    // One line per event of the last build.
    const QStringList& log() const { return m_log; }

private:
    QSharedPointer<Dowry> dowryFor(const NodePointer& node, bool create);
    void queueInitialNodes(const QList<NodePointer>& nodes);
    void processNode(const NodePointer& node);
    void handOn(const NodePointer& node, const Dowry& dowry);
    void queueNeighbours(const NodePointer& node);
    void collectOutputs(const QList<NodePointer>& nodes);
    void findSilenced(const QList<NodePointer>& nodes);
    void spread(QSet<NodePointer>& reached, bool downstream) const;

    bool isFed(const NodePointer& node) const;
    bool feedsOthers(const NodePointer& node) const;
    bool isLive(const ConnectionPointer& c) const { return c && c->from && c->to; }

    void addStep(qint32 kind, const QList<QSharedPointer<Buffer>>& buffers);
    void note(const QString& line) { m_log.append(line); }

    QSharedPointer<Plan> m_plan;
    BufferPool m_pool;
    QHash<NodePointer, QSharedPointer<Dowry>> m_dowries;
    QList<NodePointer> m_queue;
    QSet<NodePointer> m_seen;
    QSet<NodePointer> m_silenced;
    QStringList m_log;
    const QList<ConnectionPointer>* m_connections = nullptr;
};

template <class N, class C>
QSharedPointer<Plan> PlanBuilder<N, C>::build(
    const QList<NodePointer>& nodes, const QList<ConnectionPointer>& connections)
{
    m_plan = QSharedPointer<Plan>::create();
    m_pool.clear();
    m_dowries.clear();
    m_queue.clear();
    m_seen.clear();
    m_log.clear();
    m_connections = &connections;
    note(QStringLiteral("Starting build"));

    findSilenced(nodes);
    queueInitialNodes(nodes);
    while (!m_queue.isEmpty()) {
        const NodePointer node = m_queue.takeFirst();
        note(QString());
        note(QStringLiteral("Processing '%1'").arg(planName(*node)));
        processNode(node);
        queueNeighbours(node);
    }
    collectOutputs(nodes);

    note(QStringLiteral("Build done"));
    m_pool.clear(); // the plan holds its own references
    m_dowries.clear();
    m_seen.clear();
    m_silenced.clear();
    m_connections = nullptr;
    return std::exchange(m_plan, {});
}

template <class N, class C>
QSharedPointer<Dowry> PlanBuilder<N, C>::dowryFor(const NodePointer& node, bool create)
{
    const auto found = m_dowries.constFind(node);
    if (found != m_dowries.constEnd())
        return *found;
    if (!create) {
        note(QStringLiteral("No dowry for node '%1'").arg(planName(*node)));
        return {};
    }
    auto dowry = QSharedPointer<Dowry>::create();
    note(QStringLiteral("Dowry created for node '%1'").arg(planName(*node)));
    m_dowries.insert(node, dowry);
    return dowry;
}

template <class N, class C>
void PlanBuilder<N, C>::queueInitialNodes(const QList<NodePointer>& nodes)
{
    for (const auto& node : nodes) {
        if (!node || isFed(node))
            continue;
        const QString name = planName(*node);
        note(QStringLiteral("Queuing '%1' as initial").arg(name));
        const auto dowry = dowryFor(node, true);
        if (!dowry->buffer) {
            dowry->buffer = m_pool.acquire();
            note(QStringLiteral("Buffer B%2 created for node '%1'")
                     .arg(name, QString::number(dowry->buffer->id)));
        }
        m_queue.append(node);
        m_seen.insert(node);
    }
}

template <class N, class C> void PlanBuilder<N, C>::processNode(const NodePointer& node)
{
    const auto dowry = dowryFor(node, true);
    const QString name = planName(*node);
    if (!dowry->buffer) {
        note(QStringLiteral("Node '%1' had no buffer").arg(name));
        return;
    }
    if (!isFed(node))
        addStep(PlanStep::Clear, { dowry->buffer });
    if (!dowry->mixIns.isEmpty())
        addStep(PlanStep::Mix, QList<QSharedPointer<Buffer>> { dowry->buffer } + dowry->mixIns);

    auto step = QSharedPointer<PlanStep>::create(
        PlanStep::Process, QList<QSharedPointer<Buffer>> { dowry->buffer });
    step->names.append(name);
    if (const QSharedPointer<AudioNode> audio = planAudioNode(*node))
        step->processors.append(audio);
    m_plan->addStep(step);
    note(step->text());
    if (m_silenced.contains(node))
        addStep(PlanStep::Clear, { dowry->buffer });

    if (!feedsOthers(node)) {
        note(QStringLiteral("Node '%1' was terminal").arg(name));
        return;
    }
    handOn(node, *dowry);
}

// The first destination without a buffer continues in this node's buffer; later ones
// get a cleared buffer of their own and mix this one in.
template <class N, class C>
void PlanBuilder<N, C>::handOn(const NodePointer& node, const Dowry& dowry)
{
    bool handedOn = false;
    for (const auto& c : *m_connections) {
        if (!isLive(c) || c->from != node)
            continue;
        const auto next = dowryFor(c->to, true);
        if (!next->buffer && !handedOn) {
            next->buffer = dowry.buffer;
            handedOn = true;
            continue;
        }
        if (!next->buffer) {
            next->buffer = m_pool.acquire();
            note(QStringLiteral("Buffer B%2 created for branching output node '%1'")
                     .arg(planName(*c->to), QString::number(next->buffer->id)));
            addStep(PlanStep::Clear, { next->buffer });
        }
        next->mixIns.append(dowry.buffer);
    }
}

template <class N, class C> void PlanBuilder<N, C>::queueNeighbours(const NodePointer& node)
{
    const QString name = planName(*node);
    for (const auto& c : *m_connections) {
        if (!isLive(c) || c->from != node)
            continue;
        const NodePointer& next = c->to;
        const QString nextName = planName(*next);
        if (m_queue.contains(next)) {
            note(QStringLiteral("'%2' ('%1's neighbour) already queued").arg(name, nextName));
        } else if (m_seen.contains(next)) {
            note(QStringLiteral("'%2' ('%1's neighbour) already processed, skipping")
                     .arg(name, nextName));
        } else {
            note(QStringLiteral("Queuing '%2' ('%1's neighbour)").arg(name, nextName));
            m_queue.append(next);
            m_seen.insert(next);
        }
    }
}

// The song's outputs are the terminal nodes of output type: they take audio, give
// none and belong to every song.
template <class N, class C> void PlanBuilder<N, C>::collectOutputs(const QList<NodePointer>& nodes)
{
    for (const auto& node : nodes) {
        const ProcessorCharacter* character = node ? planCharacter(*node) : nullptr;
        if (!character || !character->takesAudioInput || character->givesAudioOutput
            || !character->intrinsicToSong || feedsOthers(node))
            continue;
        const auto dowry = dowryFor(node, false);
        if (dowry && dowry->buffer)
            m_plan->addOutput(dowry->buffer, planName(*node));
    }
}

// Muted nodes, and while anything is soloed, every node that neither feeds a soloed node
// nor hears one.
template <class N, class C> void PlanBuilder<N, C>::findSilenced(const QList<NodePointer>& nodes)
{
    m_silenced.clear();
    QSet<NodePointer> soloed;
    for (const auto& node : nodes) {
        if (node && planMuted(*node))
            m_silenced.insert(node);
        if (node && planSoloed(*node))
            soloed.insert(node);
    }
    if (soloed.isEmpty())
        return;
    QSet<NodePointer> upstream = soloed;
    QSet<NodePointer> downstream = soloed;
    spread(upstream, false);
    spread(downstream, true);
    for (const auto& node : nodes)
        if (node && !upstream.contains(node) && !downstream.contains(node))
            m_silenced.insert(node);
}

// Grows the set along the connections until it holds everything reachable.
template <class N, class C>
void PlanBuilder<N, C>::spread(QSet<NodePointer>& reached, bool downstream) const
{
    bool grew = true;
    while (grew) {
        grew = false;
        for (const auto& c : *m_connections) {
            if (!isLive(c))
                continue;
            const NodePointer& near = downstream ? c->from : c->to;
            const NodePointer& far = downstream ? c->to : c->from;
            if (reached.contains(near) && !reached.contains(far)) {
                reached.insert(far);
                grew = true;
            }
        }
    }
}

template <class N, class C> bool PlanBuilder<N, C>::isFed(const NodePointer& node) const
{
    for (const auto& c : *m_connections)
        if (isLive(c) && c->to == node)
            return true;
    return false;
}

template <class N, class C> bool PlanBuilder<N, C>::feedsOthers(const NodePointer& node) const
{
    for (const auto& c : *m_connections)
        if (isLive(c) && c->from == node)
            return true;
    return false;
}

template <class N, class C>
void PlanBuilder<N, C>::addStep(qint32 kind, const QList<QSharedPointer<Buffer>>& buffers)
{
    const auto step = QSharedPointer<PlanStep>::create(kind, buffers);
    m_plan->addStep(step);
    note(step->text());
}
