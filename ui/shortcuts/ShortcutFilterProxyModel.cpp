#include "ui/shortcuts/ShortcutFilterProxyModel.h"

#include "ui/shortcuts/ShortcutModel.h"

#include <QRegularExpression>

void ShortcutFilterProxyModel::setFilterText(const QString& text)
{
    setFilterRegularExpression(QRegularExpression(text, QRegularExpression::CaseInsensitiveOption));
}

bool ShortcutFilterProxyModel::filterAcceptsRow(
    int sourceRow, const QModelIndex& sourceParent) const
{
    const QRegularExpression expression = filterRegularExpression();
    if (expression.pattern().isEmpty())
        return true;
    const auto matches = [&](int column) {
        const QModelIndex index = sourceModel()->index(sourceRow, column, sourceParent);
        return expression.match(index.data(Qt::DisplayRole).toString()).hasMatch();
    };
    return matches(ShortcutModel::Name) || matches(ShortcutModel::Details);
}
