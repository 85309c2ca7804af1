#include "song/Graph.h"

#include "core/DataStream.h"
#include "song/Logging.h"
#include "song/Song.h"

#include <QDebug>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QString kOutputType = QStringLiteral("Output");

constexpr int kArrangeRounds = 15;
constexpr int kStepsPerRound = 200;
constexpr qreal kArrangeMargin = 100.0;

constexpr float kDistanceBias = 0.0001f; // keeps coincident nodes from dividing by zero
constexpr float kSpacingReach = 5.0f; // times the mean width two nodes keep apart
constexpr float kSpringReach = 1.5f; // times the mean width a connection wants
constexpr float kFlowX = 0.5f;
constexpr float kFlowY = 0.05f;
constexpr float kCentrePull = 0.001f;
constexpr double kMoveRate = 0.15;
constexpr float kUnitTolerance = 1e-5f;

// The smallest records a stream can hold: a node with empty strings, no state, an empty
// schema and no patterns; a connection of two empty identifiers.
constexpr qint64 kMinNodeBytes = 4 + 4 + 16 + 4 + 8 + 8 + 8;
constexpr qint64 kMinConnectionBytes = 4 + 4;

// The layout's forces are single precision, whatever the positions are stored in.
struct Vec {
    float x = 0.0f;
    float y = 0.0f;

    Vec& operator+=(Vec v)
    {
        x += v.x;
        y += v.y;
        return *this;
    }
    Vec& operator-=(Vec v)
    {
        x -= v.x;
        y -= v.y;
        return *this;
    }
    friend Vec operator-(Vec a, Vec b) { return { a.x - b.x, a.y - b.y }; }
    friend Vec operator*(Vec v, float f) { return { v.x * f, v.y * f }; }
};

Vec toVec(const QPointF& p)
{
    return { float(p.x()), float(p.y()) };
}

float length(Vec v)
{
    return std::hypot(v.x, v.y);
}

Vec normalised(Vec v)
{
    const float l = length(v);
    if (std::abs(l - 1.0f) < kUnitTolerance)
        return v;
    if (l < kUnitTolerance)
        return {};
    return { v.x / l, v.y / l };
}

QString idOf(const zarn::NodePointer& node)
{
    return node ? node->uniqueID : QString();
}

// One run of the force-directed layout over a graph's nodes and connections.
class Layout {
public:
    Layout(const QList<zarn::NodePointer>& nodes, const QList<ConnectionPointer>& connections,
        const QRectF& area)
        : m_nodes(nodes)
        , m_connections(connections)
        , m_area(area)
    {
    }

    void step()
    {
        const auto count = m_nodes.size();
        m_forces.fill(Vec {}, count);
        m_incoming.fill(0, count);
        m_outgoing.fill(0, count);
        spacing();
        springs();
        flow();
        centrePull();
        move();
    }

private:
    Vec positionOf(qsizetype i) const { return toVec(m_nodes[i]->position); }
    float widthOf(qsizetype i) const { return float(m_nodes[i]->size.width()); }

    // Overlapping nodes push apart; distant ones draw faintly together.
    void spacing()
    {
        for (qsizetype i = 0; i < m_nodes.size(); ++i) {
            for (qsizetype j = i + 1; j < m_nodes.size(); ++j) {
                const Vec d = positionOf(i) - positionOf(j);
                const float dist = length(d) + kDistanceBias;
                const float rest = (widthOf(i) + widthOf(j)) * kSpacingReach * 0.5f;
                const float f = rest > dist ? (rest - dist) / rest : -std::exp(-(dist - rest));
                const Vec force = normalised(d) * f;
                m_forces[i] += force;
                m_forces[j] -= force;
            }
        }
    }

    // Every connection is a spring that wants its two ends a node and a half apart.
    void springs()
    {
        for (const auto& c : m_connections) {
            const auto from = m_nodes.indexOf(c->from);
            const auto to = m_nodes.indexOf(c->to);
            if (from == to) {
                qCDebug(lcSong).noquote() << "Identical to and from index for connection" << from;
                continue;
            }
            if (from < 0) {
                qCDebug(lcSong).noquote() << "Zero from index for connection";
                continue;
            }
            if (to < 0) {
                qCDebug(lcSong).noquote() << "Zero to index for connection";
                continue;
            }
            const Vec d = positionOf(from) - positionOf(to);
            const float rest = (widthOf(to) + widthOf(from)) * kSpringReach * 0.5f;
            const float f = rest - (length(d) + kDistanceBias);
            const Vec force = normalised(d) * f;
            m_forces[from] += force;
            m_forces[to] -= force;
            ++m_outgoing[from];
            ++m_incoming[to];
        }
    }

    // Nodes that mostly receive drift right, nodes that mostly send drift left.
    void flow()
    {
        for (qsizetype i = 0; i < m_nodes.size(); ++i) {
            const float a = float(std::max(0, m_incoming[i] - m_outgoing[i]));
            const float b = float(std::max(0, m_outgoing[i] - m_incoming[i]));
            m_forces[i] += Vec { kFlowX * a, kFlowY * a };
            m_forces[i] += Vec { -kFlowX * b, -kFlowY * b };
        }
    }

    void centrePull()
    {
        const Vec centre = toVec(m_area.center());
        for (qsizetype i = 0; i < m_nodes.size(); ++i)
            m_forces[i] += (centre - positionOf(i)) * kCentrePull;
    }

    // The upper bound first, then the lower, so a node wider than the area hugs its left.
    static double clamp(double value, double low, double high)
    {
        return std::max(std::min(value, high), low);
    }

    void move()
    {
        for (qsizetype i = 0; i < m_nodes.size(); ++i) {
            const auto& node = m_nodes[i];
            const QPointF moved
                = node->position + QPointF(m_forces[i].x, m_forces[i].y) * kMoveRate;
            const double halfWidth = node->size.width() / 2;
            const double halfHeight = node->size.height() / 2;
            node->setPosition(
                QPointF(clamp(moved.x(), m_area.left() + halfWidth, m_area.right() - halfWidth),
                    clamp(moved.y(), m_area.top() + halfHeight, m_area.bottom() - halfHeight)));
        }
    }

    const QList<zarn::NodePointer>& m_nodes;
    const QList<ConnectionPointer>& m_connections;
    const QRectF m_area;
    QList<Vec> m_forces;
    QList<int> m_incoming;
    QList<int> m_outgoing;
};

// The largest scale that fits both extents; an axis without extent does not limit it,
// and with no extent at all the positions keep their scale.
double fitScale(const QRectF& inner, double spanX, double spanY)
{
    double scale = std::numeric_limits<double>::infinity();
    if (spanX > 0)
        scale = std::min(scale, inner.width() / spanX);
    if (spanY > 0)
        scale = std::min(scale, inner.height() / spanY);
    return std::isfinite(scale) ? scale : 1.0;
}

} // namespace

Graph::Graph(const QSharedPointer<Song>& song)
    : song(song)
{
}

zarn::NodePointer Graph::nodeAt(
    const QPointF& point, bool anyInput, bool anyOutput, const zarn::NodePointer& excluded) const
{
    for (const auto& node : nodes) {
        if (node == excluded || node->probe || !node->boundingRect().contains(point))
            continue;
        if ((anyInput || node->takesAudioInput()) && (anyOutput || node->givesAudioOutput()))
            return node;
    }
    return {};
}

void Graph::autoArrange(const QRectF& area)
{
    const QMarginsF margins(kArrangeMargin, kArrangeMargin, kArrangeMargin, kArrangeMargin);
    Layout layout(nodes, connections, area);
    for (int round = 0; round < kArrangeRounds; ++round) {
        for (int step = 0; step < kStepsPerRound; ++step)
            layout.step();
        fitInto(area, margins);
    }
}

void Graph::fitInto(const QRectF& area, const QMarginsF& margins)
{
    if (nodes.isEmpty())
        return;
    double minX = std::numeric_limits<double>::infinity();
    double minY = minX;
    double maxX = -minX;
    double maxY = -minX;
    for (const auto& node : nodes) {
        minX = std::min(minX, node->position.x());
        maxX = std::max(maxX, node->position.x());
        minY = std::min(minY, node->position.y());
        maxY = std::max(maxY, node->position.y());
    }
    const QRectF inner = area.marginsRemoved(margins);
    const double spanX = maxX - minX;
    const double spanY = maxY - minY;
    const double scale = fitScale(inner, spanX, spanY);
    const double offsetX = inner.left() + (inner.width() - spanX * scale) / 2;
    const double offsetY = inner.top() + (inner.height() - spanY * scale) / 2;
    for (const auto& node : nodes) {
        node->setPosition(QPointF((node->position.x() - minX) * scale + offsetX,
            (node->position.y() - minY) * scale + offsetY));
    }
}

void Graph::attachProbe(const zarn::NodePointer& probe, const zarn::NodePointer& source)
{
    if (!probe || !source || nodes.contains(probe))
        return;
    probe->probe = true;
    nodes.append(probe);
    connections.append(makeConnection(source, probe));
    changed = true;
}

void Graph::detachProbe(const zarn::NodePointer& probe)
{
    if (!probe || !probe->probe || !nodes.removeOne(probe))
        return;
    connections.removeIf([&](const ConnectionPointer& c) { return c->to == probe; });
    changed = true;
}

bool Graph::isProbeConnection(const Connection& connection)
{
    return (connection.from && connection.from->probe) || (connection.to && connection.to->probe);
}

void Graph::write(QDataStream& stream) const
{
    QList<zarn::NodePointer> stored = nodes;
    stored.removeIf([](const zarn::NodePointer& node) { return node->probe; });
    QList<ConnectionPointer> storedConnections = connections;
    storedConnections.removeIf([](const ConnectionPointer& c) { return isProbeConnection(*c); });

    stream << qint64(stored.size());
    qCDebug(lcSong).noquote().nospace() << "Stream OUT NodeGraph: nodeSize=" << stored.size();
    for (const auto& node : stored)
        node->write(stream);

    stream << qint64(storedConnections.size());
    qCDebug(lcSong).noquote().nospace()
        << "Stream OUT NodeGraph: connectionsSize=" << storedConnections.size();
    for (const auto& c : storedConnections) {
        const QString from = idOf(c->from);
        const QString to = idOf(c->to);
        stream << from << to;
        qCDebug(lcSong).noquote().nospace()
            << "Stream OUT Connection: from=" << from << ", to=" << to;
    }
}

void Graph::read(QDataStream& stream)
{
    nodes.clear();
    connections.clear();
    changed = true;
    readNodes(stream);
    // A damaged node list leaves nothing the connections could be trusted to refer to.
    if (datastream::healthy(stream))
        readConnections(stream);
}

void Graph::readNodes(QDataStream& stream)
{
    qint64 count = 0;
    stream >> count;
    qCDebug(lcSong).noquote().nospace() << "Stream IN NodeGraph: nodesSize=" << count;
    if (!datastream::plausibleCount(stream, count, kMinNodeBytes))
        return;
    for (qint64 i = 0; i < count && datastream::healthy(stream); ++i) {
        // A node that damaged the stream is kept with what it read, and ends the list.
        auto node = zarn::NodePointer::create();
        node->song = song;
        node->read(stream, node);
        nodes.append(node);
    }
}

void Graph::readConnections(QDataStream& stream)
{
    qint64 count = 0;
    stream >> count;
    if (!datastream::plausibleCount(stream, count, kMinConnectionBytes))
        return;
    for (qint64 i = 0; i < count; ++i) {
        QString from;
        QString to;
        stream >> from >> to;
        if (!datastream::healthy(stream))
            return;
        qCDebug(lcSong).noquote().nospace()
            << "Stream IN Connection: from=" << from << ", to=" << to;
        // Stored connections are taken as they are, without the rules of connect.
        connections.append(
            ConnectionPointer::create(nodeByUniqueID(from), nodeByUniqueID(to), song));
    }
}

ConnectionPointer Graph::makeConnection(const zarn::NodePointer& from, const zarn::NodePointer& to)
{
    return ConnectionPointer::create(from, to, song);
}

void Graph::topologyChanged()
{
    taintSong(song, "topologyChanged");
}

QList<zarn::NodePointer> Graph::outputNodes() const
{
    QList<zarn::NodePointer> outputs;
    for (const zarn::NodePointer& node : nodes)
        if (node && node->processor && node->typeName() == kOutputType)
            outputs.append(node);
    return outputs;
}
