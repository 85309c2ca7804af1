#pragma once

#include "ui/nodes/NodeView.h"
#include "ui/pages/EditorPage.h"

// The node graph page: the patching surface.
class NodePage : public EditorPage {
    Q_OBJECT

public:
    explicit NodePage(QWidget* parent = nullptr);

    QString shortcutContext() const override { return QStringLiteral("node_graph"); }
    void setSong(const SongPointer& song) override;
    void setXRayMode(bool on) override;

    NodeView* view() const { return m_view; }

public slots:
    void refresh() override;
    void autoArrange();
    void zoomToFit();

private:
    NodeView* m_view;
};
