#pragma once

#include "ui/shortcuts/ShortcutRegistry.h"

#include <QHash>
#include <QKeySequence>
#include <QString>

#include <functional>

class QEvent;
class QKeyEvent;

// One editor view's actions by shortcut id. The view offers every key press here first.
class ShortcutBindings {
public:
    using Action = std::function<void()>;

    explicit ShortcutBindings(
        const QString& context, const ShortcutRegistry& registry = ShortcutRegistry::instance());

    void bind(const QString& id, const Action& action);
    // Runs the action bound to `id`, as a menu does; false when there is none.
    bool run(const QString& id) const;

    // Runs the action of the entry the key matches in this context, else in "global";
    // true when an action ran, so the view consumes the key.
    bool handle(const QKeyEvent& event) const;
    // Accepts a shortcut override for a key of this context's own, so that it wins over
    // the window's shortcuts while the view has the focus; true when it did.
    bool acceptOverride(QEvent* event) const;

    // The key sequence a press stands for: Enter counts as Return, Shift+Backtab as
    // Shift+Tab, and the keypad modifier is dropped.
    static QKeySequence sequenceOf(const QKeyEvent& event);

    const QString& context() const { return m_context; }

private:
    QString m_context;
    const ShortcutRegistry* m_registry;
    QHash<QString, Action> m_actions;
};
