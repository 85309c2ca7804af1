#pragma once

#include "song/Node.h"
#include "song/Position.h"
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
    // The row of the shown pattern that the song plays, or -1.
    int playRow() const { return m_playRow; }

public slots:
    void refresh() override;
    // Marks the row the node plays at the position and, while the song plays, keeps it in view.
    void playPositionChanged(const Position& position);

signals:
    void cursorChanged();

private:
    zarn::NodePointer m_node;
    void markPlayRow(int row);

    PatternPointer m_pattern;
    int m_playRow = -1;
};
