#pragma once

#include "song/Graph.h"
#include "song/Song.h"
#include "ui/MessageBoxes.h"
#include "ui/nodes/ConnectionCurve.h"
#include "ui/shortcuts/ShortcutBindings.h"

#include <QElapsedTimer>
#include <QHash>
#include <QPixmap>
#include <QPointF>
#include <QPointer>
#include <QSet>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class GraphEdit;
class QMenu;
class SampleLoader;
class SongHistory;

// The song's node graph as boxes and curves. The user adds, wires, moves, renames, mutes,
// solos and deletes nodes here; panning and zooming move the stored positions, so the
// arrangement is saved with the song. Every change goes through the song's history.
class NodeView : public QWidget {
    Q_OBJECT

public:
    enum Interaction { None = 0, Connecting = 1, Moving = 2, Panning = 3, Lasso = 4 };

    // Asks for a node's new name; nothing when the user cancels. Tests answer for the user.
    using NameAsker
        = std::function<std::optional<QString>(const QString& title, const QString& name)>;
    // Opens the parameter window of a node.
    using ParameterOpener = std::function<QWidget*(const zarn::NodePointer& node, QWidget* parent)>;

    static constexpr double kMargin = 100.0;
    static constexpr double kZoomStep = 1.1;
    static constexpr int kNewPatternLength = 16;

    explicit NodeView(QWidget* parent = nullptr);
    ~NodeView() override;

    void setSong(const SongPointer& song);
    void setHistory(SongHistory* history);
    // Drops what was drawn for the graph as it was, after an edit from anywhere.
    void graphEdited();

    bool xRay() const { return m_xRay; }
    Interaction interaction() const { return m_interaction; }
    const QList<zarn::NodePointer>& selection() const { return m_selection; }
    // The connection whose straight line runs within 20 pixels of the point, the closest.
    ConnectionPointer connectionNear(const QPointF& point) const;
    // Whether "&Delete" is offered for the node, and the reason when it is not.
    static std::optional<QString> deleteRefusal(const Graph& graph, const zarn::Node& node);

    // Menus as they pop up for a node, a connection and the empty canvas at `at`.
    QMenu* nodeMenu(const zarn::NodePointer& node);
    QMenu* connectionMenu(const ConnectionPointer& connection);
    QMenu* addMenu(const QPointF& at);

    // The edits behind the menus; each is one step of the history.
    zarn::NodePointer addNode(const QString& typeID, const QPointF& at);
    void deleteNode(const zarn::NodePointer& node);
    void renameNode(const zarn::NodePointer& node);
    void setMuted(const zarn::NodePointer& node, bool on);
    void setSolo(const zarn::NodePointer& node, bool on);
    void disconnectNodes(const ConnectionPointer& connection);
    QWidget* openParameters(const zarn::NodePointer& node);
    // Loads sound files into Sample nodes, from the node menu or dropped on a node.
    SampleLoader& sampleLoader() { return *m_samples; }

    Informer warn;
    Informer inform;
    NameAsker askName;
    ParameterOpener makeParameterView;
    bool debug = false;

public slots:
    void zoomToFit();
    void autoArrange();
    void arrangeByType();
    void toggleXRay();
    void setXRay(bool on);

signals:
    // The user asked to watch the signal on a connection.
    void scopeRequested(const ConnectionPointer& connection);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    struct Label {
        QString name;
        QSizeF size;
        QPixmap pixmap;
    };

    Graph* graph() const;
    void bindActions();
    // Runs `change` and records it as one step of the history.
    void edit(const QString& text, const std::function<void()>& change, int mergeId = -1);
    void record(const GraphEdit& recorder, const QString& text, const std::function<void()>& change,
        int mergeId = -1);
    void popUp(QMenu* menu, const QPoint& globalPos);
    void pressRight(const QPointF& point, const QPoint& globalPos);
    void moveSelection(const QPointF& point);
    void finishConnecting(const QPointF& point);
    void finishMove(const QPointF& point);
    void finishPan();
    void selectInLasso();
    void recomputePaths();
    void closeParameterViews();
    void placeBeside(QWidget& window, const zarn::Node& node) const;
    void markPathsOf(const QSet<zarn::Node*>& moved);

    void paintConnections(QPainter& painter);
    void paintNode(QPainter& painter, const zarn::NodePointer& node);
    const QPixmap& labelOf(const zarn::Node& node);
    bool isHighlighted(const zarn::NodePointer& node) const;
    zarn::NodePointer sampleNodeAt(const QPointF& point) const;

    SongPointer m_song;
    SongHistory* m_history = nullptr;
    ShortcutBindings m_bindings;
    QMenu* m_addMenu = nullptr;
    QMenu* m_nodeMenu = nullptr;
    QMenu* m_connectionMenu = nullptr;
    SampleLoader* m_samples = nullptr;
    Interaction m_interaction = None;
    QPointF m_pressPoint;
    QPointF m_currentPoint;
    QPointF m_lastPoint;
    QPointF m_grabOffset;
    QPointF m_panOffset;
    zarn::NodePointer m_grabbed;
    zarn::NodePointer m_connectFrom;
    zarn::NodePointer m_connectTo;
    QList<zarn::NodePointer> m_selection;
    QElapsedTimer m_moveTimer;
    std::unique_ptr<GraphEdit> m_drag; // the graph as the drag found it
    QHash<const zarn::Node*, Label> m_labels;
    QHash<const Connection*, ConnectionCurve> m_paths;
    QHash<const zarn::Node*, QPointer<QWidget>> m_parameterViews; // one window per node
    bool m_xRay = false;
};
