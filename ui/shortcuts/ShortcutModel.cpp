#include "ui/shortcuts/ShortcutModel.h"

#include <QBrush>
#include <QStringList>

namespace {

constexpr const char* kHeaders[ShortcutModel::ColumnCount]
    = { "Name", "Details", "Context", "Shortcut" };

struct ModifierName {
    Qt::KeyboardModifier modifier;
    const char* name;
};
constexpr ModifierName kModifierNames[] = {
    { Qt::ControlModifier, "Ctrl" },
    { Qt::ShiftModifier, "Shift" },
    { Qt::AltModifier, "Alt" },
    { Qt::MetaModifier, "Meta" },
};

QString holdText(Qt::KeyboardModifiers modifiers)
{
    QStringList names;
    for (const ModifierName& m : kModifierNames)
        if (modifiers.testFlag(m.modifier))
            names.append(QString::fromLatin1(m.name));
    return names.join(QLatin1Char('+')) + QStringLiteral(" (hold)");
}

} // namespace

ShortcutModel::ShortcutModel(const ShortcutRegistry& registry, QObject* parent)
    : QAbstractTableModel(parent)
    , m_registry(&registry)
{
}

int ShortcutModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return int(m_registry->entries().size() + m_registry->holdEntries().size());
}

int ShortcutModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

ShortcutModel::RowView ShortcutModel::rowView(int row) const
{
    const auto& keys = m_registry->entries();
    if (row < keys.size()) {
        const ShortcutEntry& e = keys.at(row);
        return { e.name, e.description, e.context, e.key.toString(QKeySequence::NativeText) };
    }
    const ShortcutHoldEntry& e = m_registry->holdEntries().at(row - keys.size());
    return { e.name, e.description, e.context, holdText(e.modifiers) };
}

QVariant ShortcutModel::display(const RowView& view, int column) const
{
    switch (Column(column)) {
    case Name:
        return view.name;
    case Details:
        return view.description;
    case Context:
        return view.context;
    case Shortcut:
        return view.shortcut;
    case ColumnCount:
        break;
    }
    return {};
}

bool ShortcutModel::isActive(const QString& context) const
{
    return context == shortcutContext::kGlobal || context == m_context;
}

QVariant ShortcutModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const RowView view = rowView(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return display(view, index.column());
    case Qt::BackgroundRole:
        return QBrush(isActive(view.context) ? kActiveBackground : kInactiveBackground);
    case Qt::ForegroundRole:
        return isActive(view.context) ? QVariant() : QVariant(QBrush(kInactiveText));
    default:
        return {};
    }
}

QVariant ShortcutModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0
        || section >= ColumnCount)
        return {};
    return QString::fromLatin1(kHeaders[section]);
}

void ShortcutModel::setContext(const QString& context)
{
    if (context == m_context)
        return;
    m_context = context;
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1),
            { Qt::BackgroundRole, Qt::ForegroundRole });
}
