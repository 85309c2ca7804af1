#include "ui/nodes/NodeView.h"

#include "processors/AddMenu.h"
#include "processors/ProcessorFactory.h"
#include "song/Sequencer.h"
#include "ui/Logging.h"
#include "ui/nodes/ConnectionCurve.h"
#include "ui/nodes/TypeArrangement.h"
#include "ui/parameters/SampleLoader.h"
#include "ui/undo/GraphCommand.h"
#include "ui/undo/SongHistory.h"

#include <QDropEvent>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMetaMethod>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QWheelEvent>

#include <cmath>

namespace {

constexpr qint64 kRepaintMs = 17;
constexpr double kPickDistanceSquared = 400.0;
constexpr double kDotRadius = 4.0;
constexpr double kXRaySquare = 20.0;
constexpr double kCurveReach = 20.0;
constexpr double kArrowSize = 7.0;
constexpr double kWindowGap = 12.0;
constexpr char kFirstPatternName[] = "00";

// A node's box colours, unselected then selected, by what its type does.
struct Look {
    QColor fill, outline, selectedFill, selectedOutline;
};

const Look kIntrinsicLook { QColor(0x4a, 0x3f, 0x78), QColor(0x8f, 0x80, 0xd0),
    QColor(0x6d, 0x5c, 0xb0), QColor(0xe0, 0xd8, 0xff) };
const Look kEffectLook { QColor(0x2f, 0x55, 0x70), QColor(0x6a, 0xa0, 0xc8),
    QColor(0x43, 0x7d, 0xa6), QColor(0xd0, 0xee, 0xff) };
const Look kGeneratorLook { QColor(0x3b, 0x62, 0x2c), QColor(0x78, 0xb0, 0x5a),
    QColor(0x58, 0x92, 0x40), QColor(0xdc, 0xff, 0xc8) };
const Look kSinkLook { QColor(0x70, 0x48, 0x2c), QColor(0xc8, 0x88, 0x5a), QColor(0xa6, 0x68, 0x40),
    QColor(0xff, 0xe0, 0xc8) };
const Look kFallbackLook { QColor(0x5a, 0x2c, 0x2c), QColor(0xb0, 0x50, 0x50),
    QColor(0x88, 0x3c, 0x3c), QColor(0xff, 0xc8, 0xc8) };

const Look& lookOf(const zarn::Node& node)
{
    if (!node.processor)
        return kFallbackLook;
    const ProcessorCharacter& c = node.processor->character();
    if (c.intrinsicToSong)
        return kIntrinsicLook;
    if (c.takesAudioInput && c.givesAudioOutput)
        return kEffectLook;
    if (c.givesAudioOutput)
        return kGeneratorLook;
    if (c.takesAudioInput)
        return kSinkLook;
    return kFallbackLook;
}

// Each node's own colour, the same on every run, so a node is known by it.
QColor xRayColourOf(const zarn::Node& node)
{
    return QColor::fromHsv(int(qHash(node.uniqueID) % 360), 190, 240);
}

double distanceSquaredToSegment(const QPointF& p, const QPointF& a, const QPointF& b)
{
    const QPointF ab = b - a;
    const double lengthSquared = QPointF::dotProduct(ab, ab);
    const double t = lengthSquared > 0
        ? std::clamp(QPointF::dotProduct(p - a, ab) / lengthSquared, 0.0, 1.0)
        : 0.0;
    const QPointF d = p - (a + ab * t);
    return QPointF::dotProduct(d, d);
}

// A menu's title line. The style elides a section's text to the menu's width, so a long
// heading is a disabled entry instead, which widens the menu to fit it.
void addHeading(QMenu& menu, const QString& text)
{
    menu.addAction(text)->setEnabled(false);
    menu.addSeparator();
}

// The first local file among dropped links; none when nothing dropped is a file.
QString droppedFile(const QMimeData* mime)
{
    for (const QUrl& url : mime ? mime->urls() : QList<QUrl>())
        if (url.isLocalFile())
            return url.toLocalFile();
    return {};
}

} // namespace

NodeView::NodeView(QWidget* parent)
    : QWidget(parent)
    , warn(messageBoxes::warner(this))
    , inform(messageBoxes::informer(this))
    , askName([this](const QString& title, const QString& name) -> std::optional<QString> {
        bool ok = false;
        const QString text
            = QInputDialog::getText(this, title, tr("Name:"), QLineEdit::Normal, name, &ok);
        return ok ? std::optional<QString>(text) : std::nullopt;
    })
    , m_bindings(QStringLiteral("node_graph"))
    , m_addMenu(new QMenu(this))
    , m_nodeMenu(new QMenu(this))
    , m_connectionMenu(new QMenu(this))
    , m_samples(new SampleLoader(this, [this] { return m_history; }))
{
    setMouseTracking(true);
    setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    bindActions();
}

NodeView::~NodeView()
{
    closeParameterViews();
}

void NodeView::bindActions()
{
    m_bindings.bind(QStringLiteral("node.zoom_fit"), [this] { zoomToFit(); });
    m_bindings.bind(QStringLiteral("node.auto_arrange"), [this] { autoArrange(); });
    m_bindings.bind(QStringLiteral("node.arrange_by_type"), [this] { arrangeByType(); });
    m_bindings.bind(QStringLiteral("node.toggle_xray"), [this] { toggleXRay(); });
}

void NodeView::setSong(const SongPointer& song)
{
    m_song = song;
    m_selection.clear();
    m_grabbed.reset();
    m_connectFrom.reset();
    m_connectTo.reset();
    m_interaction = None;
    m_drag.reset();
    m_labels.clear();
    closeParameterViews();
    m_addMenu->clear();
    recomputePaths();
    update();
}

void NodeView::setHistory(SongHistory* history)
{
    m_history = history;
}

Graph* NodeView::graph() const
{
    return m_song ? m_song->graph.data() : nullptr;
}

void NodeView::graphEdited()
{
    const Graph* g = graph();
    if (g)
        m_selection.removeIf([g](const zarn::NodePointer& n) { return !g->nodes.contains(n); });
    recomputePaths();
    update();
}

void NodeView::edit(const QString& text, const std::function<void()>& change, int mergeId)
{
    if (!m_song || !m_song->graph || !m_song->sequencer)
        return;
    GraphEdit recorder(m_song);
    record(recorder, text, change, mergeId);
}

void NodeView::record(const GraphEdit& recorder, const QString& text,
    const std::function<void()>& change, int mergeId)
{
    recordGraphEdit(recorder, m_history, text, change, mergeId);
    graphEdited();
}

// ---- actions ------------------------------------------------------------------------------

void NodeView::zoomToFit()
{
    edit(tr("Zoom to Fit"), [this] {
        graph()->fitInto(QRectF(rect()), QMarginsF(kMargin, kMargin, kMargin, kMargin));
    });
}

void NodeView::autoArrange()
{
    edit(tr("Auto Arrange"), [this] { graph()->autoArrange(QRectF(rect())); });
}

void NodeView::arrangeByType()
{
    edit(tr("Arrange by Type"), [this] {
        const Graph& g = *graph();
        qCDebug(lcUi).noquote() << "autoArrangeByType";
        for (const zarn::NodePointer& node : g.nodes)
            qCDebug(lcUi).noquote()
                << typeArrangement::kindText(typeArrangement::kindOf(*node)) << node->name;
        const auto placed = typeArrangement::layout(
            g, QRectF(rect()), QMarginsF(kMargin, kMargin, kMargin, kMargin));
        for (const zarn::NodePointer& node : g.nodes)
            node->setPosition(placed.value(node.data(), node->position));
    });
}

void NodeView::toggleXRay()
{
    setXRay(!m_xRay);
}

void NodeView::setXRay(bool on)
{
    m_xRay = on;
    update();
}

zarn::NodePointer NodeView::addNode(const QString& typeID, const QPointF& at)
{
    if (!m_song || !graph())
        return {};
    const zarn::NodePointer node = zarn::Node::create(typeID, m_song);
    if (!node->processor)
        return {};
    edit(tr("Add %1").arg(typeID), [&] {
        node->setPosition(at);
        const auto pattern = PatternPointer::create(
            QString::fromLatin1(kFirstPatternName), node, kNewPatternLength);
        node->addPattern(pattern);
        graph()->addNode(node);
        // Its pattern starts where the song does, so what the user types is heard at once.
        Sequencer& sequencer = *m_song->sequencer;
        sequencer.addTrack(node)->setEntry(sequencer.position.sequenceBegin.tick(), pattern);
    });
    qCDebug(lcUi).noquote() << "ADD" << typeID;
    return node;
}

std::optional<QString> NodeView::deleteRefusal(const Graph& graph, const zarn::Node& node)
{
    if (!node.processor)
        return std::nullopt;
    const ProcessorCharacter& c = node.processor->character();
    if (!c.intrinsicToSong)
        return std::nullopt;
    const auto sameType = std::count_if(graph.nodes.cbegin(), graph.nodes.cend(),
        [&](const zarn::NodePointer& n) { return n->typeName() == node.typeName(); });
    // A second node of an intrinsic type may go, as long as one stays.
    if (c.userCreatable && sameType > 1)
        return std::nullopt;
    return tr("This node is intrinsic and can't be deleted");
}

void NodeView::deleteNode(const zarn::NodePointer& node)
{
    if (!graph() || !graph()->nodes.contains(node) || deleteRefusal(*graph(), *node))
        return;
    edit(tr("Delete %1").arg(node->name), [&] {
        Sequencer& sequencer = *m_song->sequencer;
        for (qsizetype i = sequencer.tracks.size() - 1; i >= 0; --i)
            if (sequencer.tracks.at(i)->node == node)
                sequencer.removeTrack(int(i));
        graph()->removeNode(node);
    });
}

void NodeView::renameNode(const zarn::NodePointer& node)
{
    const std::optional<QString> answer = askName(tr("Rename %1").arg(node->name), node->name);
    if (!answer || *answer == node->name)
        return;
    const QString name = answer->trimmed();
    if (name.isEmpty()) {
        inform(tr("Rename"), tr("A node needs a name; \"%1\" keeps its own.").arg(node->name));
        return;
    }
    qCDebug(lcUi).noquote() << "Changed name from:" << node->name << "-->" << name;
    edit(tr("Rename %1").arg(node->name), [&] { node->setName(name); });
}

void NodeView::setMuted(const zarn::NodePointer& node, bool on)
{
    edit(on ? tr("Mute %1").arg(node->name) : tr("Unmute %1").arg(node->name), [&] {
        node->muted = on;
        graph()->changed = true;
    });
}

void NodeView::setSolo(const zarn::NodePointer& node, bool on)
{
    edit(on ? tr("Solo %1").arg(node->name) : tr("Unsolo %1").arg(node->name), [&] {
        node->solo = on;
        graph()->changed = true;
    });
}

void NodeView::disconnectNodes(const ConnectionPointer& connection)
{
    edit(tr("Disconnect"), [&] { graph()->removeConnection(connection); });
}

QWidget* NodeView::openParameters(const zarn::NodePointer& node)
{
    if (!node || !makeParameterView)
        return nullptr;
    QPointer<QWidget>& view = m_parameterViews[node.data()];
    if (!view) {
        view = makeParameterView(node, this);
        if (!view)
            return nullptr;
        placeBeside(*view, *node);
    }
    view->show();
    view->raise();
    view->activateWindow();
    return view;
}

// Beside the node, on the screen, so the knobs and the box stay in sight together.
void NodeView::placeBeside(QWidget& window, const zarn::Node& node) const
{
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect();
    const QPoint corner
        = mapToGlobal((node.boundingRect().topRight() + QPointF(kWindowGap, 0)).toPoint());
    const QSize size = window.sizeHint();
    if (screen.isEmpty()) {
        window.move(corner);
        return;
    }
    window.move(std::clamp(corner.x(), screen.left(),
                    std::max(screen.left(), screen.right() - size.width())),
        std::clamp(
            corner.y(), screen.top(), std::max(screen.top(), screen.bottom() - size.height())));
}

void NodeView::closeParameterViews()
{
    for (const QPointer<QWidget>& view : std::as_const(m_parameterViews))
        if (view)
            view->close();
    m_parameterViews.clear();
}

// ---- menus --------------------------------------------------------------------------------

QMenu* NodeView::nodeMenu(const zarn::NodePointer& node)
{
    QMenu* menu = m_nodeMenu;
    menu->clear();
    menu->setTitle(tr("Node %1").arg(node->name));
    addHeading(*menu, menu->title());
    menu->setToolTipsVisible(true);
    QAction* muted
        = menu->addAction(tr("&Muted"), this, [this, node](bool on) { setMuted(node, on); });
    muted->setCheckable(true);
    muted->setChecked(node->muted);
    QAction* solo
        = menu->addAction(tr("&Solo"), this, [this, node](bool on) { setSolo(node, on); });
    solo->setCheckable(true);
    solo->setChecked(node->solo);
    menu->addAction(tr("&Rename..."), this, [this, node] { renameNode(node); });
    if (SampleLoader::takes(*node))
        menu->addAction(tr("&Load Sample..."), this, [this, node] { m_samples->chooseFor(node); });
    QAction* remove = menu->addAction(tr("&Delete"), this, [this, node] { deleteNode(node); });
    if (const auto refusal = graph() ? deleteRefusal(*graph(), *node) : std::nullopt) {
        remove->setEnabled(false);
        remove->setToolTip(*refusal);
    }
    if (node->processor && node->processor->paused) {
        QAction* unpause = menu->addAction(tr("&Unpause"), this, [this, node] {
            node->processor->paused = false;
            node->processor->peakMs = 0.0;
            update();
        });
        unpause->setToolTip(
            tr("Node was auto-paused (peak: %1 ms)").arg(node->processor->peakMs, 0, 'f', 1));
    }
    return menu;
}

QMenu* NodeView::connectionMenu(const ConnectionPointer& connection)
{
    QMenu* menu = m_connectionMenu;
    menu->clear();
    menu->setToolTipsVisible(true);
    const auto nameOf = [](const zarn::NodePointer& n) { return n ? n->name : QString(); };
    const auto typeOf = [](const zarn::NodePointer& n) { return n ? n->typeName() : QString(); };
    addHeading(*menu,
        tr("Connection %1 → %2 (%3)")
            .arg(nameOf(connection->from), nameOf(connection->to),
                tr("%1 into %2").arg(typeOf(connection->from), typeOf(connection->to))));
    QAction* scope = menu->addAction(tr("&Scope"), this, [this, connection] {
        if (!connection->from || !connection->from->processor) {
            qCDebug(lcUi).noquote() << "No processor for node";
            return;
        }
        emit scopeRequested(connection);
    });
    if (!isSignalConnected(QMetaMethod::fromSignal(&NodeView::scopeRequested))) {
        scope->setEnabled(false);
        scope->setToolTip(tr("No scope window is available"));
    }
    menu->addAction(tr("&Delete"), this, [this, connection] { disconnectNodes(connection); });
    return menu;
}

QMenu* NodeView::addMenu(const QPointF& at)
{
    QMenu* menu = m_addMenu;
    menu->clear();
    for (const AddMenuSection& section : addMenuSections(ProcessorFactory::instance())) {
        QMenu* sub = menu->addMenu(section.title);
        for (const QString& typeID : section.typeIDs)
            sub->addAction(typeID, this, [this, typeID, at] { addNode(typeID, at); });
    }
    menu->addSeparator();
    // The view's own commands have no keys by default; here the mouse finds them.
    for (const ShortcutEntry& entry : ShortcutRegistry::instance().entries())
        if (entry.context == m_bindings.context())
            menu->addAction(entry.name, this, [this, id = entry.id] { m_bindings.run(id); });
    return menu;
}

void NodeView::popUp(QMenu* menu, const QPoint& globalPos)
{
    const QSize size = menu->sizeHint();
    menu->popup(globalPos - QPoint(size.width() / 2, size.height() / 2));
}

ConnectionPointer NodeView::connectionNear(const QPointF& point) const
{
    ConnectionPointer closest;
    double best = kPickDistanceSquared;
    for (const ConnectionPointer& c : graph() ? graph()->connections : QList<ConnectionPointer>()) {
        if (!c->from || !c->to || Graph::isProbeConnection(*c))
            continue;
        const double d = distanceSquaredToSegment(point, c->from->position, c->to->position);
        if (d <= best) {
            best = d;
            closest = c;
        }
    }
    return closest;
}

// ---- dropped files ------------------------------------------------------------------------

zarn::NodePointer NodeView::sampleNodeAt(const QPointF& point) const
{
    const zarn::NodePointer node = graph() ? graph()->nodeAt(point, true, true) : nullptr;
    return node && SampleLoader::takes(*node) ? node : zarn::NodePointer();
}

void NodeView::dragEnterEvent(QDragEnterEvent* event)
{
    if (!droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

// Only a Sample node takes a file, so the cursor says where a drop would land.
void NodeView::dragMoveEvent(QDragMoveEvent* event)
{
    if (sampleNodeAt(event->position()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void NodeView::dropEvent(QDropEvent* event)
{
    const QString file = droppedFile(event->mimeData());
    const zarn::NodePointer node = sampleNodeAt(event->position());
    if (file.isEmpty() || !node) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    m_samples->load(node, file);
}

// ---- mouse --------------------------------------------------------------------------------

void NodeView::mousePressEvent(QMouseEvent* event)
{
    Graph* g = graph();
    if (!g)
        return;
    const QPointF point = event->position();
    m_currentPoint = m_lastPoint = point;
    if (event->button() == Qt::MiddleButton) {
        m_interaction = Panning;
        m_pressPoint = point;
        return;
    }
    if (event->button() == Qt::RightButton) {
        pressRight(point, event->globalPosition().toPoint());
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    m_pressPoint = point;
    if (event->modifiers() & Qt::ShiftModifier) {
        m_connectFrom = g->nodeAt(point, true, false);
        m_connectTo.reset();
        if (m_connectFrom) {
            m_interaction = Connecting;
            if (debug)
                qCDebug(lcUi) << "Starting connect";
        }
        return;
    }
    if (const zarn::NodePointer node = g->nodeAt(point, true, true)) {
        if (!m_selection.contains(node))
            m_selection = { node };
        m_grabbed = node;
        m_interaction = Moving;
        m_grabOffset = node->position - point;
        m_drag = std::make_unique<GraphEdit>(m_song);
        m_moveTimer.start();
        if (debug)
            qCDebug(lcUi) << "Starting node move";
    } else {
        m_selection.clear();
        m_interaction = Lasso;
        if (debug)
            qCDebug(lcUi) << "Starting lasso";
    }
    update();
}

void NodeView::pressRight(const QPointF& point, const QPoint& globalPos)
{
    if (const zarn::NodePointer node = graph()->nodeAt(point, true, true))
        popUp(nodeMenu(node), globalPos);
    else if (const ConnectionPointer connection = connectionNear(point))
        popUp(connectionMenu(connection), globalPos);
    else
        popUp(addMenu(point), globalPos);
}

void NodeView::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF point = event->position();
    m_currentPoint = point;
    switch (m_interaction) {
    case Connecting:
        m_connectTo = graph()->nodeAt(point, false, true, m_connectFrom);
        update();
        break;
    case Moving:
        moveSelection(point);
        break;
    case Panning:
        m_panOffset = point - m_pressPoint;
        update();
        break;
    case Lasso:
        selectInLasso();
        update();
        break;
    case None:
        break;
    }
    m_lastPoint = point;
}

void NodeView::moveSelection(const QPointF& point)
{
    const QPointF delta = point - m_lastPoint;
    if (delta.isNull())
        return;
    QSet<zarn::Node*> moved;
    // Written without marking the song: the drag becomes one edit when it ends.
    for (const zarn::NodePointer& node : std::as_const(m_selection)) {
        node->position += delta;
        moved.insert(node.data());
    }
    markPathsOf(moved);
    if (m_moveTimer.elapsed() >= kRepaintMs) {
        update();
        m_moveTimer.restart();
    }
}

void NodeView::mouseReleaseEvent(QMouseEvent* event)
{
    const QPointF point = event->position();
    switch (m_interaction) {
    case Moving:
        finishMove(point);
        break;
    case Panning:
        finishPan();
        break;
    case Lasso:
        if (debug)
            qCDebug(lcUi) << "Ending lasso";
        break;
    case Connecting:
        finishConnecting(point);
        break;
    case None:
        if (event->button() != Qt::RightButton)
            m_selection.clear();
        break;
    }
    m_interaction = None;
    update();
}

void NodeView::finishMove(const QPointF& point)
{
    if (m_grabbed)
        m_grabbed->position = point + m_grabOffset;
    if (debug)
        qCDebug(lcUi) << "Ending node move";
    m_grabbed.reset();
    // The whole drag, from the press on, is one edit.
    if (const std::unique_ptr<GraphEdit> drag = std::move(m_drag))
        record(*drag, tr("Move"), [] {});
}

void NodeView::finishPan()
{
    const QPointF offset = std::exchange(m_panOffset, QPointF());
    if (offset.isNull())
        return;
    edit(tr("Pan"), [&] {
        for (const zarn::NodePointer& node : graph()->nodes)
            node->setPosition(node->position + offset);
    });
}

void NodeView::finishConnecting(const QPointF& point)
{
    const zarn::NodePointer target = graph()->nodeAt(point, false, true, m_connectFrom);
    if (m_connectFrom && target) {
        if (debug)
            qCDebug(lcUi) << "Making connection";
        media::graph::ConnectResult result;
        edit(tr("Connect %1 to %2").arg(m_connectFrom->name, target->name),
            [&] { result = graph()->connect(m_connectFrom, target); });
        if (!result.ok)
            warn(tr("Could not connect"), result.message);
    }
    if (debug)
        qCDebug(lcUi) << "connecting"
                      << "ending connect";
    m_connectFrom.reset();
    m_connectTo.reset();
}

void NodeView::selectInLasso()
{
    const QRectF lasso = QRectF(m_pressPoint, m_currentPoint).normalized();
    m_selection.clear();
    for (const zarn::NodePointer& node : graph()->nodes)
        if (!node->probe && lasso.contains(node->boundingRect()))
            m_selection.append(node);
}

void NodeView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !graph())
        return;
    if (const zarn::NodePointer node = graph()->nodeAt(event->position(), true, true))
        openParameters(node);
}

void NodeView::wheelEvent(QWheelEvent* event)
{
    if (!graph() || event->angleDelta().y() == 0)
        return;
    const double factor = event->angleDelta().y() > 0 ? kZoomStep : 1.0 / kZoomStep;
    const QPointF about = event->position();
    edit(
        tr("Zoom"),
        [&] {
            for (const zarn::NodePointer& node : graph()->nodes)
                node->setPosition(about + (node->position - about) * factor);
        },
        GraphCommand::kZoomId);
    event->accept();
}

// ---- keys ---------------------------------------------------------------------------------

bool NodeView::event(QEvent* event)
{
    if (m_bindings.acceptOverride(event))
        return true;
    return QWidget::event(event);
}

void NodeView::keyPressEvent(QKeyEvent* event)
{
    if (m_bindings.handle(*event))
        return;
    if (debug)
        qCDebug(lcUi) << "Unhandled node KEY" << event->key() << event->modifiers();
    QWidget::keyPressEvent(event);
}

// ---- painting -----------------------------------------------------------------------------

void NodeView::recomputePaths()
{
    m_paths.clear();
    if (!graph())
        return;
    for (const ConnectionPointer& c : graph()->connections)
        if (c->from && c->to)
            m_paths.insert(c.data(),
                ConnectionCurve::between(
                    c->from->position, c->to->position, c->from->size.width() / 2 + kCurveReach));
}

void NodeView::markPathsOf(const QSet<zarn::Node*>& moved)
{
    for (const ConnectionPointer& c : graph()->connections)
        if (moved.contains(c->from.data()) || moved.contains(c->to.data()))
            m_paths.remove(c.data());
}

bool NodeView::isHighlighted(const zarn::NodePointer& node) const
{
    return m_selection.contains(node) || (m_connectTo && node == m_connectTo);
}

void NodeView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    const Graph* g = graph();
    if (!g)
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor accent = palette().highlight().color();
    if (m_interaction == Connecting) {
        painter.setPen(QPen(accent, 2, Qt::DashLine));
        painter.drawLine(m_pressPoint, m_currentPoint);
    } else if (m_interaction == Lasso) {
        QColor fill = accent;
        fill.setAlpha(50);
        painter.setPen(QPen(accent, 1));
        painter.setBrush(fill);
        painter.drawRect(QRectF(m_pressPoint, m_currentPoint).normalized());
    }
    painter.translate(m_panOffset);
    paintConnections(painter);
    for (const zarn::NodePointer& node : g->nodes)
        if (!node->probe)
            paintNode(painter, node);
}

void NodeView::paintConnections(QPainter& painter)
{
    const QColor normal = palette().text().color();
    const QColor lit = palette().highlight().color();
    for (const ConnectionPointer& c : graph()->connections) {
        if (!c->from || !c->to) {
            qCWarning(lcUi) << (c->from ? "No connection->to" : "No connection->from");
            continue;
        }
        if (Graph::isProbeConnection(*c))
            continue;
        const bool both = isHighlighted(c->from) && isHighlighted(c->to);
        painter.setPen(QPen(both ? lit : normal, both ? 2.5 : 1.5));
        painter.setBrush(Qt::NoBrush);
        // A moving end is drawn straight until the move ends and the curve is worked out.
        const auto cached = m_paths.constFind(c.data());
        const ConnectionCurve curve = cached != m_paths.constEnd()
            ? *cached
            : ConnectionCurve::straight(c->from->position, c->to->position);
        painter.drawPolyline(curve.points);
        // An arrowhead halfway, pointing the way the signal flows.
        const QPointF along = curve.direction * kArrowSize;
        const QPointF side = QPointF(-along.y(), along.x()) * 0.6;
        const QPointF tip = curve.middle + along, back = curve.middle - along;
        painter.setBrush(both ? lit : normal);
        painter.drawPolygon(QPolygonF({ tip, back + side, back - side }));
    }
}

const QPixmap& NodeView::labelOf(const zarn::Node& node)
{
    Label& label = m_labels[&node];
    if (label.pixmap.isNull() || label.name != node.name || label.size != node.size) {
        const qreal ratio = devicePixelRatioF();
        label = { node.name, node.size, QPixmap((node.size * ratio).toSize()) };
        label.pixmap.setDevicePixelRatio(ratio);
        label.pixmap.fill(Qt::transparent);
        QPainter painter(&label.pixmap);
        painter.setPen(Qt::white);
        painter.setFont(font());
        const QRectF box(QPointF(), node.size);
        const QString text
            = painter.fontMetrics().elidedText(node.name, Qt::ElideRight, int(box.width()) - 8);
        painter.drawText(box, Qt::AlignCenter, text);
    }
    return label.pixmap;
}

void NodeView::paintNode(QPainter& painter, const zarn::NodePointer& node)
{
    const QRectF box = node->boundingRect();
    const Look& look = lookOf(*node);
    const bool lit = isHighlighted(node);
    painter.setPen(QPen(lit ? look.selectedOutline : look.outline, lit ? 2.0 : 1.0));
    painter.setBrush(lit ? look.selectedFill : look.fill);
    painter.drawRoundedRect(box, 6, 6);
    painter.drawPixmap(box.topLeft(), labelOf(*node));
    if (node->muted || node->solo) {
        painter.setPen(look.selectedOutline);
        painter.drawText(box.adjusted(4, 2, -4, -2), Qt::AlignLeft | Qt::AlignTop,
            node->muted ? tr("M") : tr("S"));
    }
    if (node->processor && node->processor->paused) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::red);
        painter.drawEllipse(box.topRight() + QPointF(-8, 8), kDotRadius, kDotRadius);
    }
    if (m_xRay) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(xRayColourOf(*node));
        painter.drawRect(QRectF(box.bottomRight() - QPointF(kXRaySquare, kXRaySquare),
            QSizeF(kXRaySquare, kXRaySquare)));
    }
}
