#pragma once

#include "ui/shortcuts/ShortcutRegistry.h"

#include <QAbstractTableModel>
#include <QColor>

// The registry as a table for the help window: key entries, then hold entries. Entries
// of "global" and of the current context are shown as active.
class ShortcutModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Name, Details, Context, Shortcut, ColumnCount };

    static constexpr QColor kActiveBackground { 60, 90, 60 };
    static constexpr QColor kInactiveBackground { 40, 40, 40 };
    static constexpr QColor kInactiveText { 120, 120, 120 };

    explicit ShortcutModel(
        const ShortcutRegistry& registry = ShortcutRegistry::instance(), QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void setContext(const QString& context);
    const QString& context() const { return m_context; }

private:
    // The fields of one row, whichever list it comes from.
    struct RowView {
        const QString& name;
        const QString& description;
        const QString& context;
        QString shortcut;
    };

    RowView rowView(int row) const;
    QVariant display(const RowView& view, int column) const;
    bool isActive(const QString& context) const;

    const ShortcutRegistry* m_registry;
    QString m_context;
};
