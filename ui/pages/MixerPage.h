#pragma once

#include "ui/mixer/MixerView.h"
#include "ui/pages/EditorPage.h"

// The mixer page: a strip for every output of the song.
class MixerPage : public EditorPage {
    Q_OBJECT

public:
    explicit MixerPage(QWidget* parent = nullptr);

    QString shortcutContext() const override { return QStringLiteral("mixer"); }
    void setSong(const SongPointer& song) override;

    MixerView* view() const { return m_view; }

public slots:
    void refresh() override;

private:
    MixerView* m_view;
};
