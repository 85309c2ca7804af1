#include "ui/scopes/ConnectionScope.h"

#include "processors/scope/ScopeProcessor.h"
#include "ui/Logging.h"
#include "ui/scopes/UnifiedAudioScope.h"

#include "ui/WindowPlacement.h"
#include <QCloseEvent>

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr char kScopeType[] = "Scope";
constexpr char kNoProcessor[] = "No processor for node";
constexpr double kFallbackRefreshHz = 60.0;

// One refresh per frame the screen shows.
int refreshIntervalMs()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double hz
        = screen && screen->refreshRate() > 0 ? screen->refreshRate() : kFallbackRefreshHz;
    return std::max(1, int(std::lround(1000.0 / hz)));
}

} // namespace

ConnectionScope::ConnectionScope(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint)
    , m_scope(new UnifiedAudioScope(this))
{
    setWindowTitle(tr("Connection Scope"));
    resize(kSize);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_scope->setObjectName(QStringLiteral("widgetScope"));
    m_scope->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_scope->setHeaderVisible(true);
    m_scope->setFreezeOnPress(true); // hold the button to read a moment of the signal
    layout->addWidget(m_scope);
    m_refreshTimer.setTimerType(Qt::PreciseTimer);
    m_refreshTimer.setInterval(refreshIntervalMs());
    connect(&m_refreshTimer, &QTimer::timeout, this, &ConnectionScope::refresh);
    m_block.reserve(ScopeProcessor::kLongestBlock);
}

ConnectionScope::~ConnectionScope()
{
    release();
}

void ConnectionScope::attach(
    const QSharedPointer<Graph>& graph, const ConnectionPointer& connection)
{
    const QPoint pointer = QCursor::pos();
    move(placement::keptOnScreen(
        pointer - QPoint(width() / 2, height() / 2), size(), placement::screenAround(pointer)));
    detach();
    if (!graph || !connection || !connection->from || !connection->to)
        return;
    m_scope->resetChannels();
    m_node = zarn::Node::create(QString::fromLatin1(kScopeType), graph->song.toStrongRef());
    m_node->position = (connection->from->position + connection->to->position) / 2;
    if (!m_node->processor || !connection->from->processor)
        qCWarning(lcUi).noquote() << kNoProcessor;
    graph->attachProbe(m_node, connection->from);
    m_graph = graph;
    m_connection = connection;
    m_refreshTimer.start();
    show();
    emit graphChanged();
}

void ConnectionScope::detach()
{
    if (release())
        emit graphChanged();
    hide();
}

bool ConnectionScope::release()
{
    m_refreshTimer.stop();
    const zarn::NodePointer node = std::exchange(m_node, {});
    const QSharedPointer<Graph> graph = m_graph.toStrongRef();
    if (graph && node)
        graph->detachProbe(node);
    m_graph.clear();
    m_connection.reset();
    m_counted.clear();
    m_lastBlockCount = 0;
    return bool(node);
}

void ConnectionScope::refresh()
{
    const QSharedPointer<Processor> processor = m_node ? m_node->processor : nullptr;
    const auto* scope = dynamic_cast<const ScopeProcessor*>(processor.data());
    if (!scope)
        return;
    if (m_counted != processor) {
        m_counted = processor;
        m_lastBlockCount = 0;
    }
    if (scope->blockCount() <= m_lastBlockCount)
        return;
    m_lastBlockCount = scope->blockCount();
    const std::vector<double>& block = scope->lastBlock();
    m_block.resize(block.size());
    std::transform(
        block.cbegin(), block.cend(), m_block.begin(), [](double sample) { return float(sample); });
    m_scope->pushSamples(0, m_block.data(), int(m_block.size()));
}

void ConnectionScope::closeEvent(QCloseEvent* event)
{
    detach();
    event->accept();
}
