#pragma once

#include <QSortFilterProxyModel>

// Keeps the rows whose name or details match the filter expression; all rows while the
// expression is empty.
class ShortcutFilterProxyModel : public QSortFilterProxyModel {
    Q_OBJECT

public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    // The help window's filter box: the text as a case-insensitive expression.
    void setFilterText(const QString& text);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
};
