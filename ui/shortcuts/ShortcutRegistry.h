#pragma once

#include "ui/shortcuts/ShortcutEntry.h"

#include <QList>

// Every keyboard shortcut of the application, in the order the help screen lists them.
class ShortcutRegistry {
public:
    // The process-wide registry, filled with the application's tables on first use.
    static const ShortcutRegistry& instance();

    ShortcutRegistry(QList<ShortcutEntry> entries, QList<ShortcutHoldEntry> holdEntries);

    const QList<ShortcutEntry>& entries() const { return m_entries; }
    const QList<ShortcutHoldEntry>& holdEntries() const { return m_holdEntries; }

    // The first entry of the context whose non-empty key equals `key`, or null.
    const ShortcutEntry* match(const QString& context, const QKeySequence& key) const;

private:
    QList<ShortcutEntry> m_entries;
    QList<ShortcutHoldEntry> m_holdEntries;
};
