#pragma once

#include "ui/pages/EditorPage.h"

// The mixer page: the nodes that reach the song's output, one line each.
class MixerPage : public EditorPage {
    Q_OBJECT

public:
    using EditorPage::EditorPage;

    QString shortcutContext() const override { return QStringLiteral("mixer"); }

public slots:
    void refresh() override;
};
