#pragma once

#include "ui/pages/EditorPage.h"

// The sequencer page: a row per track, a column per step, each cell what the step starts.
class SequencerPage : public EditorPage {
    Q_OBJECT

public:
    using EditorPage::EditorPage;

    QString shortcutContext() const override { return QStringLiteral("sequence_editor"); }

public slots:
    void refresh() override;
};
