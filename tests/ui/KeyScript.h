#pragma once

#include <QKeySequence>
#include <QTest>
#include <QWidget>

// Presses the keys of a script such as "Down Ctrl+B Shift+Right" on the widget, in order.
inline void pressKeys(QWidget* widget, const QString& script)
{
    for (const QString& token : script.split(' ', Qt::SkipEmptyParts)) {
        const QKeyCombination key = QKeySequence::fromString(token)[0];
        QTest::keyClick(widget, key.key(), key.keyboardModifiers());
    }
}
