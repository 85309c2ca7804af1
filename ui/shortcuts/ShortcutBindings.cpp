#include "ui/shortcuts/ShortcutBindings.h"

#include <QKeyEvent>

namespace {

// Keys that arrive under another code than the one the tables use.
struct KeyAlias {
    Qt::Key pressed;
    Qt::Key registered;
};
constexpr KeyAlias kKeyAliases[] = {
    { Qt::Key_Enter, Qt::Key_Return },
    // Shift+Tab arrives as Backtab on every platform, still with Shift held.
    { Qt::Key_Backtab, Qt::Key_Tab },
};

Qt::Key registeredKey(int pressed)
{
    for (const KeyAlias& alias : kKeyAliases)
        if (alias.pressed == pressed)
            return alias.registered;
    return Qt::Key(pressed);
}

} // namespace

ShortcutBindings::ShortcutBindings(const QString& context, const ShortcutRegistry& registry)
    : m_context(context)
    , m_registry(&registry)
{
}

void ShortcutBindings::bind(const QString& id, const Action& action)
{
    m_actions.insert(id, action);
}

QKeySequence ShortcutBindings::sequenceOf(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    return QKeySequence(QKeyCombination(modifiers, registeredKey(event.key())));
}

bool ShortcutBindings::run(const QString& id) const
{
    const auto action = m_actions.constFind(id);
    if (action == m_actions.cend() || !*action)
        return false;
    (*action)();
    return true;
}

bool ShortcutBindings::acceptOverride(QEvent* event) const
{
    if (event->type() != QEvent::ShortcutOverride
        || !m_registry->match(m_context, sequenceOf(*static_cast<QKeyEvent*>(event))))
        return false;
    event->accept();
    return true;
}

bool ShortcutBindings::handle(const QKeyEvent& event) const
{
    const QKeySequence key = sequenceOf(event);
    const ShortcutEntry* entry = m_registry->match(m_context, key);
    if (!entry)
        entry = m_registry->match(shortcutContext::kGlobal, key);
    return entry && run(entry->id);
}
