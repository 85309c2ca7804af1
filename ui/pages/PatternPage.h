#pragma once

#include "ui/pages/EditorPage.h"
#include "ui/pattern/PatternView.h"

// The pattern page: the pattern editor of the window's current node and pattern.
class PatternPage : public EditorPage {
    Q_OBJECT

public:
    explicit PatternPage(QWidget* parent = nullptr);

    QString shortcutContext() const override { return QStringLiteral("pattern_editor"); }
    void setSong(const SongPointer& song) override;
    void setXRayMode(bool on) override;

    PatternView* view() const { return m_view; }

public slots:
    void refresh() override;

private:
    PatternView* m_view;
};
