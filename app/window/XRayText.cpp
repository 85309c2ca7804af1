#include "app/window/XRayText.h"

#include "core/NodeParameterSchema.h"
#include "ui/pattern/PatternEdits.h"

#include <QCoreApplication>

namespace {

QString caption(const char* text)
{
    return QCoreApplication::translate("XRayText", text);
}

QString line(const QString& label, const QString& value)
{
    return QStringLiteral("<b>%1:</b> %2<br>").arg(label, value);
}

// The column part: which lane the cell belongs to, or the node's own parameters.
QString columnText(const NodeParameterSchema& schema, const Pattern& pattern, int cell)
{
    const int nodeCells = int(schema.nodeParameters.size());
    const int laneCells = int(schema.trackParameters.size());
    if (cell < nodeCells || laneCells == 0)
        return line(caption("Column"), caption("Node params"));
    const int lane = (cell - nodeCells) / laneCells + 1;
    return line(caption("Lane"), QStringLiteral("%1 / %2").arg(lane).arg(pattern.lanes));
}

QString cellText(
    const NodeParameterSchema& schema, const Pattern& pattern, const PatternCursor& cursor)
{
    const ParameterPointer parameter = schema.parameterOfCell(cursor.parameterIndex);
    if (!parameter)
        return {};
    const quint32 value = patternEdits::cellAt(pattern, schema, cursor.tick, cursor.parameterIndex);
    QString text = line(caption("Parameter"), parameter->name)
        + line(caption("Type"), valueTypeName(parameter->valueType()));
    if (!parameter->description.isEmpty())
        text += line(caption("Description"), parameter->description);
    text += QStringLiteral("<hr>") + line(caption("Value"), parameter->valueText(value));
    if (parameter->defaultValue != parameter->empty)
        text += line(caption("Default"), parameter->valueText(parameter->defaultValue));
    return text;
}

} // namespace

QString xRayText(
    const zarn::NodePointer& node, const PatternPointer& pattern, const PatternCursor* cursor)
{
    if (!node)
        return QStringLiteral("<i>%1</i>").arg(caption("No node selected"));
    QString text = line(caption("Node"), node->name.toHtmlEscaped());
    if (!pattern)
        return text + QStringLiteral("<i>%1</i>").arg(caption("No pattern selected"));
    text += line(caption("Pattern"), pattern->name.toHtmlEscaped())
        + line(caption("Rows"), QString::number(pattern->length))
        + line(caption("Lanes"), QString::number(pattern->lanes));
    const SchemaPointer schema = node->processor ? node->processor->schema() : nullptr;
    if (!cursor || !schema)
        return text;
    text += QStringLiteral("<hr>") + line(caption("Tick"), QString::number(cursor->tick))
        + columnText(*schema, *pattern, cursor->parameterIndex);
    return text + cellText(*schema, *pattern, *cursor);
}
