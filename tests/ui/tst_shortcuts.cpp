#include "ui/shortcuts/ShortcutBindings.h"
#include "ui/shortcuts/ShortcutRegistry.h"

#include <QKeyEvent>
#include <QtTest>

namespace {

ShortcutEntry entry(const char* id, const QString& context, const char* key)
{
    return { QString::fromLatin1(id), context, QString::fromLatin1(id), QString(),
        QKeySequence::fromString(QString::fromLatin1(key), QKeySequence::PortableText) };
}

// A small registry in which one key is taken by both an editor and "global", and one
// editor key has no action bound.
const ShortcutRegistry& dispatchRegistry()
{
    using namespace shortcutContext;
    static const ShortcutRegistry registry(
        { entry("global.shared", kGlobal, "Ctrl+K"), entry("global.play", kGlobal, "F5"),
            entry("global.unbound_in_editor", kGlobal, "Ctrl+L"),
            entry("pat.shared", kPatternEditor, "Ctrl+K"),
            entry("pat.unbound", kPatternEditor, "Ctrl+L"), entry("pat.no_key", kPatternEditor, ""),
            entry("pat.enter", kPatternEditor, "Return"), entry("pat.erase", kPatternEditor, "."),
            entry("pat.back", kPatternEditor, "Shift+Tab"),
            entry("seq.shared", kSequenceEditor, "Ctrl+K") },
        {});
    return registry;
}

} // namespace

class ShortcutsTest : public QObject {
    Q_OBJECT

private slots:
    void handleDispatches_data();
    void handleDispatches();
    void applicationKeysDoNotCollide();
};

void ShortcutsTest::handleDispatches_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("ran"); // empty: nothing ran and the key is not consumed
    const QString pattern = shortcutContext::kPatternEditor,
                  sequence = shortcutContext::kSequenceEditor;
    const int ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier, keypad = Qt::KeypadModifier;
    const auto row
        = [](const char* name, const QString& context, int key, int modifiers, const char* ran) {
              QTest::newRow(name) << context << key << modifiers << QString::fromLatin1(ran);
          };
    row("editor before global", pattern, Qt::Key_K, ctrl, "pat.shared");
    row("global when the editor lacks the key", pattern, Qt::Key_F5, 0, "global.play");
    row("editor entry without action is not consumed", pattern, Qt::Key_L, ctrl, "");
    row("global where the editor has no entry", sequence, Qt::Key_L, ctrl,
        "global.unbound_in_editor");
    row("other modifiers do not match", pattern, Qt::Key_F5, ctrl, "");
    row("enter taken as return", pattern, Qt::Key_Enter, 0, "pat.enter");
    row("keypad enter", pattern, Qt::Key_Enter, keypad, "pat.enter");
    row("keypad point", pattern, Qt::Key_Period, keypad, "pat.erase");
    row("backtab taken as tab", pattern, Qt::Key_Backtab, shift, "pat.back");
}

void ShortcutsTest::handleDispatches()
{
    QFETCH(QString, context);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, ran);
    const ShortcutRegistry& registry = dispatchRegistry();
    ShortcutBindings bindings(context, registry);
    QStringList calls;
    for (const ShortcutEntry& entry : registry.entries())
        if (entry.id != QLatin1String("pat.unbound"))
            bindings.bind(entry.id, [&calls, id = entry.id] { calls.append(id); });
    const QKeyEvent event(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers));
    QCOMPARE(bindings.handle(event), !ran.isEmpty());
    QCOMPARE(calls, ran.isEmpty() ? QStringList() : QStringList { ran });
}

// The editors bind the whole table, so a clash would silently hide one of the actions.
void ShortcutsTest::applicationKeysDoNotCollide()
{
    const ShortcutRegistry& registry = ShortcutRegistry::instance();
    QSet<QString> ids;
    for (const ShortcutEntry& entry : registry.entries()) {
        ids.insert(entry.id);
        if (entry.key.isEmpty())
            continue;
        QVERIFY2(registry.match(entry.context, entry.key) == &entry, qPrintable(entry.id));
        if (entry.context != shortcutContext::kGlobal)
            QVERIFY2(!registry.match(shortcutContext::kGlobal, entry.key), qPrintable(entry.id));
    }
    QCOMPARE(ids.size(), registry.entries().size());
}

QTEST_GUILESS_MAIN(ShortcutsTest)
#include "tst_shortcuts.moc"
