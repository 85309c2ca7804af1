#pragma once

#include "song/Node.h"
#include "ui/pages/EditorPage.h"

#include <optional>

// Where the pattern cursor stands: a row (tick) and a row cell, node parameters first.
struct PatternCursor {
    int tick = 0;
    int cell = 0;
};

// The pattern page: one node's pattern as a grid, a row per tick and a column per cell.
class PatternPage : public EditorPage {
    Q_OBJECT

public:
    explicit PatternPage(QWidget* parent = nullptr);

    QString shortcutContext() const override { return QStringLiteral("pattern_editor"); }
    void setSong(const SongPointer& song) override;

    void showPattern(const zarn::NodePointer& node, const PatternPointer& pattern);
    zarn::NodePointer node() const { return m_node; }
    PatternPointer pattern() const { return m_pattern; }
    std::optional<PatternCursor> cursor() const;

public slots:
    void refresh() override;

signals:
    void cursorChanged();

private:
    zarn::NodePointer m_node;
    PatternPointer m_pattern;
};
