#include "ui/shortcuts/ShortcutBindings.h"
#include "ui/shortcuts/ShortcutFilterProxyModel.h"
#include "ui/shortcuts/ShortcutModel.h"
#include "ui/shortcuts/ShortcutRegistry.h"

#include <QKeyEvent>
#include <QSet>
#include <QSignalSpy>
#include <QtTest>

namespace {

QKeySequence portable(const char* text)
{
    return QKeySequence::fromString(QString::fromLatin1(text), QKeySequence::PortableText);
}

const ShortcutEntry* entryById(const ShortcutRegistry& registry, const QString& id)
{
    for (const ShortcutEntry& entry : registry.entries())
        if (entry.id == id)
            return &entry;
    return nullptr;
}

ShortcutEntry entry(const char* id, const QString& context, const char* key)
{
    return { QString::fromLatin1(id), context, QString::fromLatin1(id), QString(), portable(key) };
}

// A small registry in which one key is taken by both an editor and "global", and one
// editor key has no action bound.
const ShortcutRegistry& dispatchRegistry()
{
    using namespace shortcutContext;
    static const ShortcutRegistry registry(
        {
            entry("global.shared", kGlobal, "Ctrl+K"),
            entry("global.play", kGlobal, "F5"),
            entry("global.unbound_in_editor", kGlobal, "Ctrl+L"),
            entry("pat.shared", kPatternEditor, "Ctrl+K"),
            entry("pat.unbound", kPatternEditor, "Ctrl+L"),
            entry("pat.no_key", kPatternEditor, ""),
            entry("pat.enter", kPatternEditor, "Return"),
            entry("pat.erase", kPatternEditor, "."),
            entry("pat.back", kPatternEditor, "Shift+Tab"),
            entry("seq.shared", kSequenceEditor, "Ctrl+K"),
        },
        {});
    return registry;
}

// A registry with one entry of each context and hold entries, for the model.
const ShortcutRegistry& modelRegistry()
{
    using namespace shortcutContext;
    static const ShortcutRegistry registry(
        {
            { "global.save", kGlobal, "Save", "Save the song", portable("Ctrl+S") },
            { "pat.paste", kPatternEditor, "Paste", "Paste from clipboard", portable("Ctrl+V") },
            { "seq.copy", kSequenceEditor, "Copy", "Copy selection", portable("Ctrl+C") },
            { "pat.note_input", kPatternEditor, "Note Input", "Piano keys", QKeySequence() },
        },
        {
            { "node.connect", kNodeGraph, "Connect", "Drag to connect", Qt::ShiftModifier },
            { "pat.all", kPatternEditor, "All", "Every modifier",
                Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier },
        });
    return registry;
}

enum ModelRow { GlobalSave, PatternPaste, SequenceCopy, NoteInput, ConnectHold, AllHold };

} // namespace

class ShortcutsTest : public QObject {
    Q_OBJECT

private slots:
    void registryHoldsEveryContextInOrder();
    void registryRows_data();
    void registryRows();
    void keysAreUniqueWithinAContext();
    void handleDispatches_data();
    void handleDispatches();
    void modelShowsColumnsAndHeaders_data();
    void modelShowsColumnsAndHeaders();
    void modelColoursFollowTheContext_data();
    void modelColoursFollowTheContext();
    void filterMatchesNameOrDetails_data();
    void filterMatchesNameOrDetails();
};

void ShortcutsTest::registryHoldsEveryContextInOrder()
{
    const struct {
        const char* context;
        const char* prefix;
        int count;
    } groups[] = {
        { "global", "global.", 10 },
        { "sequence_editor", "seq.", 32 },
        { "pattern_editor", "pat.", 37 },
        { "node_graph", "node.", 4 },
    };
    const auto& entries = ShortcutRegistry::instance().entries();
    QCOMPARE(entries.size(), 10 + 32 + 37 + 4);
    int row = 0;
    for (const auto& group : groups) {
        for (int i = 0; i < group.count; ++i, ++row) {
            QCOMPARE(entries.at(row).context, QString::fromLatin1(group.context));
            QVERIFY2(entries.at(row).id.startsWith(QLatin1String(group.prefix)),
                qPrintable(entries.at(row).id));
        }
    }
    const QStringList globalIds { "global.help", "global.pattern_editor", "global.node_graph",
        "global.sequencer", "global.play", "global.play_from_cursor", "global.stop",
        "global.fullscreen", "global.open", "global.save" };
    for (int i = 0; i < globalIds.size(); ++i)
        QCOMPARE(entries.at(i).id, globalIds.at(i));
}

void ShortcutsTest::registryRows_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QKeySequence>("key");
    const auto row = [](const char* id, const char* context, const char* name,
                         const char* description, const char* key) {
        QTest::newRow(id) << QString::fromLatin1(id) << QString::fromLatin1(context)
                          << QString::fromUtf8(name) << QString::fromUtf8(description)
                          << portable(key);
    };
    row("global.help", "global", "Keyboard Help", "Show the keyboard shortcuts", "F1");
    row("global.fullscreen", "global", "Fullscreen", "Toggle full screen", "F11");
    row("seq.sel_down", "sequence_editor", "Select Down", "Extend selection down", "Shift+Down");
    row("seq.last_step", "sequence_editor", "Last Step", "Move cursor to last step", "Ctrl+End");
    row("seq.break_entry", "sequence_editor", "Break Entry", "Insert a break at cursor", ",");
    row("seq.remove_track", "sequence_editor", "Remove Track", "Remove selected track", "Ctrl+-");
    row("seq.paste", "sequence_editor", "Paste", "Paste from clipboard", "Ctrl+V");
    row("pat.tab_left", "pattern_editor", "Shift+Tab", "Move cursor to previous column",
        "Shift+Tab");
    row("pat.erase_value", "pattern_editor", "Erase Value", "Clear value at cursor", ".");
    row("pat.copy_pattern", "pattern_editor", "Copy Pattern", "Copy the current pattern",
        "Ctrl+Shift+Return");
    row("pat.note_input", "pattern_editor", "Note Input", "Piano keyboard layout (Z-M, Q-P)", "");
    row("pat.base_octave", "pattern_editor", "Base Octave", "Open base octave dropdown", "Alt+B");
    row("pat.interpolate_wp", "pattern_editor", "Interp Waypoints",
        "Interpolate through existing values", "Ctrl+Shift+I");
    row("node.zoom_fit", "node_graph", "Zoom to Fit", "Fit all nodes to view", "");
    row("node.toggle_xray", "node_graph", "Toggle X-Ray", "Toggle x-ray mode", "");
}

void ShortcutsTest::registryRows()
{
    QFETCH(QString, id);
    const ShortcutEntry* entry = entryById(ShortcutRegistry::instance(), id);
    QVERIFY(entry);
    QTEST(entry->context, "context");
    QTEST(entry->name, "name");
    QTEST(entry->description, "description");
    QTEST(entry->key, "key");
}

void ShortcutsTest::keysAreUniqueWithinAContext()
{
    QHash<QString, QSet<QString>> keysByContext;
    QSet<QString> ids;
    for (const ShortcutEntry& entry : ShortcutRegistry::instance().entries()) {
        QVERIFY2(!ids.contains(entry.id), qPrintable(entry.id));
        ids.insert(entry.id);
        if (entry.key.isEmpty())
            continue;
        const QString key = entry.key.toString(QKeySequence::PortableText);
        QVERIFY2(!keysByContext[entry.context].contains(key), qPrintable(entry.id));
        keysByContext[entry.context].insert(key);
    }
    // An editor key equal to a global one would hide the global action in that editor.
    for (auto it = keysByContext.cbegin(); it != keysByContext.cend(); ++it)
        if (it.key() != shortcutContext::kGlobal)
            QVERIFY2(!it.value().intersects(keysByContext.value(shortcutContext::kGlobal)),
                qPrintable(it.key()));
}

void ShortcutsTest::handleDispatches_data()
{
    QTest::addColumn<bool>("application"); // the application's registry, else the small one
    QTest::addColumn<QString>("context");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("ran"); // empty: nothing ran and the key is not consumed

    const QString pattern = shortcutContext::kPatternEditor;
    const QString sequence = shortcutContext::kSequenceEditor;
    const QString nodes = shortcutContext::kNodeGraph;
    const int ctrl = int(Qt::ControlModifier);
    const int keypad = int(Qt::KeypadModifier);
    const auto small = [](const char* name) -> QTestData& { return QTest::newRow(name) << false; };
    small("editor before global") << pattern << int(Qt::Key_K) << ctrl << "pat.shared";
    small("other editor before global") << sequence << int(Qt::Key_K) << ctrl << "seq.shared";
    small("global when the editor lacks the key")
        << pattern << int(Qt::Key_F5) << 0 << "global.play";
    small("editor entry without action is not consumed") << pattern << int(Qt::Key_L) << ctrl << "";
    small("global applies where the editor has no entry")
        << sequence << int(Qt::Key_L) << ctrl << "global.unbound_in_editor";
    small("unknown key") << pattern << int(Qt::Key_Q) << ctrl << "";
    small("other modifiers do not match") << pattern << int(Qt::Key_F5) << ctrl << "";
    small("enter taken as return") << pattern << int(Qt::Key_Enter) << 0 << "pat.enter";
    small("keypad enter") << pattern << int(Qt::Key_Enter) << keypad << "pat.enter";
    small("keypad point") << pattern << int(Qt::Key_Period) << keypad << "pat.erase";
    small("keypad modifier on a global key")
        << pattern << int(Qt::Key_F5) << keypad << "global.play";
    small("backtab taken as tab") << pattern << int(Qt::Key_Backtab) << int(Qt::ShiftModifier)
                                  << "pat.back";

    const auto application
        = [](const char* name) -> QTestData& { return QTest::newRow(name) << true; };
    application("pattern Ctrl+I") << pattern << int(Qt::Key_I) << ctrl << "pat.interpolate";
    application("sequencer Ctrl+I") << sequence << int(Qt::Key_I) << ctrl << "seq.wide_insert";
    application("pattern keypad Ctrl+Shift+Enter")
        << pattern << int(Qt::Key_Enter) << int(Qt::ControlModifier | Qt::ShiftModifier) + keypad
        << "pat.copy_pattern";
    application("sequencer keypad Enter")
        << sequence << int(Qt::Key_Enter) << keypad << "seq.enter_pattern";
    application("pattern Shift+Tab")
        << pattern << int(Qt::Key_Backtab) << int(Qt::ShiftModifier) << "pat.tab_left";
    application("pattern F6") << pattern << int(Qt::Key_F6) << 0 << "global.play_from_cursor";
    application("node graph Ctrl+C is nothing") << nodes << int(Qt::Key_C) << ctrl << "";
}

void ShortcutsTest::handleDispatches()
{
    QFETCH(bool, application);
    QFETCH(QString, context);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, ran);

    const ShortcutRegistry& registry
        = application ? ShortcutRegistry::instance() : dispatchRegistry();
    ShortcutBindings bindings(context, registry);
    QStringList calls;
    for (const ShortcutEntry& entry : registry.entries())
        if (entry.id != QLatin1String("pat.unbound"))
            bindings.bind(entry.id, [&calls, id = entry.id] { calls.append(id); });

    const QKeyEvent event(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers));
    QCOMPARE(bindings.handle(event), !ran.isEmpty());
    QCOMPARE(calls, ran.isEmpty() ? QStringList() : QStringList { ran });
}

void ShortcutsTest::modelShowsColumnsAndHeaders_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QStringList>("cells");
    QTest::newRow("key entry") << int(PatternPaste)
                               << QStringList { "Paste", "Paste from clipboard", "pattern_editor",
                                      portable("Ctrl+V").toString(QKeySequence::NativeText) };
    QTest::newRow("entry without key")
        << int(NoteInput) << QStringList { "Note Input", "Piano keys", "pattern_editor", "" };
    QTest::newRow("hold entry") << int(
        ConnectHold) << QStringList { "Connect", "Drag to connect", "node_graph", "Shift (hold)" };
    QTest::newRow("hold of every modifier")
        << int(AllHold)
        << QStringList { "All", "Every modifier", "pattern_editor", "Ctrl+Shift+Alt+Meta (hold)" };
}

void ShortcutsTest::modelShowsColumnsAndHeaders()
{
    QFETCH(int, row);
    QFETCH(QStringList, cells);

    const ShortcutModel model(modelRegistry());
    QCOMPARE(model.columnCount(), 4);
    QCOMPARE(model.rowCount(), 6);
    const QStringList headers { "Name", "Details", "Context", "Shortcut" };
    for (int column = 0; column < headers.size(); ++column) {
        QCOMPARE(model.headerData(column, Qt::Horizontal).toString(), headers.at(column));
        QCOMPARE(model.data(model.index(row, column)).toString(), cells.at(column));
    }
}

void ShortcutsTest::modelColoursFollowTheContext_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("active");

    const QString pattern = shortcutContext::kPatternEditor;
    QTest::newRow("global entry") << pattern << int(GlobalSave) << true;
    QTest::newRow("entry of the context") << pattern << int(PatternPaste) << true;
    QTest::newRow("entry of another editor") << pattern << int(SequenceCopy) << false;
    QTest::newRow("hold entry of the context") << pattern << int(AllHold) << true;
    QTest::newRow("hold entry of another editor") << pattern << int(ConnectHold) << false;
    QTest::newRow("no context yet") << QString() << int(PatternPaste) << false;
    QTest::newRow("global without a context") << QString() << int(GlobalSave) << true;
    QTest::newRow("after switching pages")
        << shortcutContext::kSequenceEditor << int(SequenceCopy) << true;
}

void ShortcutsTest::modelColoursFollowTheContext()
{
    QFETCH(QString, context);
    QFETCH(int, row);
    QFETCH(bool, active);

    ShortcutModel model(modelRegistry());
    model.setContext(shortcutContext::kPatternEditor);
    const QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.setContext(context);
    QCOMPARE(changed.size(), context == shortcutContext::kPatternEditor ? 0 : 1);

    for (int column = 0; column < model.columnCount(); ++column) {
        const QModelIndex index = model.index(row, column);
        const QVariant background = index.data(Qt::BackgroundRole);
        const QVariant foreground = index.data(Qt::ForegroundRole);
        QCOMPARE(
            background.value<QBrush>().color(), active ? QColor(60, 90, 60) : QColor(40, 40, 40));
        QCOMPARE(foreground.isValid(), !active);
        if (!active)
            QCOMPARE(foreground.value<QBrush>().color(), QColor(120, 120, 120));
    }
}

void ShortcutsTest::filterMatchesNameOrDetails_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("kept"); // "context name" of each kept row, in order

    const QStringList paste { "sequence_editor Paste", "pattern_editor Paste" };
    QTest::newRow("lower case") << "paste" << paste;
    QTest::newRow("upper case") << "PASTE" << paste;
    QTest::newRow("details only") << "clipboard"
                                  << QStringList { "sequence_editor Copy", "sequence_editor Cut",
                                         "sequence_editor Paste", "pattern_editor Copy",
                                         "pattern_editor Cut", "pattern_editor Paste" };
    QTest::newRow("name only") << "waypoints" << QStringList { "pattern_editor Interp Waypoints" };
    QTest::newRow("expression") << "^seq\\. (begin|end)$"
                                << QStringList { "sequence_editor Seq. Begin",
                                       "sequence_editor Seq. End" };
    QTest::newRow("context column is not searched") << "node_graph" << QStringList();
    QTest::newRow("shortcut column is not searched") << "F11" << QStringList();
}

void ShortcutsTest::filterMatchesNameOrDetails()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, kept);

    ShortcutModel model;
    ShortcutFilterProxyModel proxy;
    proxy.setSourceModel(&model);
    proxy.setFilterText(filter);
    QStringList shown;
    for (int row = 0; row < proxy.rowCount(); ++row)
        shown.append(proxy.index(row, ShortcutModel::Context).data().toString() + ' '
            + proxy.index(row, ShortcutModel::Name).data().toString());
    QCOMPARE(shown, kept);

    proxy.setFilterText(QString());
    QCOMPARE(proxy.rowCount(), model.rowCount());
    QCOMPARE(model.rowCount(),
        ShortcutRegistry::instance().entries().size()
            + ShortcutRegistry::instance().holdEntries().size());
}

QTEST_GUILESS_MAIN(ShortcutsTest)
#include "tst_shortcuts.moc"
