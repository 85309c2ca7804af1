#pragma once

#include <QKeySequence>
#include <QString>
#include <Qt>

// One registry row: a key that runs an action of one editor context.
struct ShortcutEntry {
    QString id; // context prefix, a point and the action, e.g. "pat.copy"
    QString context;
    QString name;
    QString description;
    QKeySequence key; // may be empty: listed for the help screen only
};

// A set of modifiers that has an effect while held rather than a key that is pressed.
struct ShortcutHoldEntry {
    QString id;
    QString context;
    QString name;
    QString description;
    Qt::KeyboardModifiers modifiers;
};

namespace shortcutContext {
inline const QString kGlobal = QStringLiteral("global");
inline const QString kPatternEditor = QStringLiteral("pattern_editor");
inline const QString kSequenceEditor = QStringLiteral("sequence_editor");
inline const QString kNodeGraph = QStringLiteral("node_graph");
} // namespace shortcutContext
