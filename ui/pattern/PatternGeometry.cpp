#include "ui/pattern/PatternGeometry.h"

#include <algorithm>

void PatternGeometry::layOut(
    const NodeParameterSchema* schema, int lanes, int charWidth, int margin)
{
    m_columns.clear();
    m_width = 0;
    if (!schema)
        return;
    int x = 0;
    const auto addGroup = [&](const QList<ParameterPointer>& parameters, int lane) {
        if (parameters.isEmpty())
            return;
        for (const ParameterPointer& p : parameters) {
            const int characters = charactersOf(p->valueType());
            const int width = characters * charWidth + margin;
            m_columns.append({ x, width, characters, lane });
            x += width;
        }
        x += charWidth; // the gap between lanes
    };
    addGroup(schema->nodeParameters, 0);
    for (int lane = 1; lane <= lanes; ++lane)
        addGroup(schema->trackParameters, lane);
    m_width = x;
}

int PatternGeometry::firstColumnFrom(int x) const
{
    const auto it = std::lower_bound(m_columns.cbegin(), m_columns.cend(), x,
        [](const Column& c, int edge) { return c.x + c.width <= edge; });
    return int(it - m_columns.cbegin());
}
