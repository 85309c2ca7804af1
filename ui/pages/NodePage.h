#pragma once

#include "ui/pages/EditorPage.h"

// The node graph page: every node with its type, patterns, inputs and place on the canvas.
class NodePage : public EditorPage {
    Q_OBJECT

public:
    static constexpr double kFitMargin = 100.0;

    using EditorPage::EditorPage;

    QString shortcutContext() const override { return QStringLiteral("node_graph"); }

public slots:
    void refresh() override;
    // Both lay the nodes out on a canvas of the page's size.
    void autoArrange();
    void zoomToFit();
};
