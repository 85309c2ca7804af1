#pragma once

#include "ui/pages/EditorPage.h"
#include "ui/sequencer/SequencerView.h"

class QLabel;

// The sequencer page: the arrangement editor, with a line below it for its notes.
class SequencerPage : public EditorPage {
    Q_OBJECT

public:
    explicit SequencerPage(QWidget* parent = nullptr);

    QString shortcutContext() const override { return QStringLiteral("sequence_editor"); }
    void setSong(const SongPointer& song) override;
    void setXRayMode(bool on) override;

    SequencerView* view() const { return m_view; }

public slots:
    void refresh() override;

private:
    SequencerView* m_view;
    QLabel* m_status;
};
