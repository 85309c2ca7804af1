#pragma once

#include "song/Connection.h"
#include "song/Graph.h"

#include <QTimer>
#include <QWeakPointer>
#include <QWidget>

#include <vector>

class Processor;
class UnifiedAudioScope;

// A window that watches the signal on one wire: a hidden "Scope" node listens to the wire's
// source, and each new block it receives goes to the scope's first channel.
class ConnectionScope : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize kSize { 500, 350 };

    explicit ConnectionScope(QWidget* parent = nullptr);
    ~ConnectionScope() override;

    // Detaches from any previous wire, adds the hidden "Scope" node listening to the
    // connection's source, places the window centred on the mouse pointer and shows it.
    void attach(const QSharedPointer<Graph>& graph, const ConnectionPointer& connection);
    void detach();

    UnifiedAudioScope* scope() const { return m_scope; }
    zarn::NodePointer scopeNode() const { return m_node; }
    ConnectionPointer connection() const { return m_connection; }

public slots:
    // Hands the scope node's latest block, if it is new, to the scope.
    void refresh();

signals:
    // After attaching or detaching, so the node editor re-lays out and repaints.
    void graphChanged();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Takes the probe out of the graph; true when there was one.
    bool release();

    UnifiedAudioScope* m_scope = nullptr;
    QWeakPointer<Graph> m_graph;
    ConnectionPointer m_connection;
    zarn::NodePointer m_node;
    // The processor whose blocks were counted: playing from the start replaces it.
    QWeakPointer<Processor> m_counted;
    quint64 m_lastBlockCount = 0;
    QTimer m_refreshTimer;
    std::vector<float> m_block;
};
