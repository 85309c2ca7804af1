#pragma once

#include "core/NodeParameterSchema.h"

#include <QList>

// Where each value column of a pattern sits, in pixels from the left of the grid, for one
// character size. Lanes are groups separated by a gap; nothing here depends on rows.
class PatternGeometry {
public:
    struct Column {
        int x = 0;
        int width = 0;
        int characters = 0;
        int lane = 0; // 0 for the node parameters
    };

    void layOut(const NodeParameterSchema* schema, int lanes, int charWidth, int margin);

    const QList<Column>& columns() const { return m_columns; }
    int width() const { return m_width; }
    // The first column whose right edge lies past `x`.
    int firstColumnFrom(int x) const;

private:
    QList<Column> m_columns;
    int m_width = 0;
};
