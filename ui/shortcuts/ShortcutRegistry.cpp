#include "ui/shortcuts/ShortcutRegistry.h"

#include <QKeyCombination>

#include <algorithm>
#include <span>

namespace {

// One row of a context's table; a combination of 0 is a shortcut without a key.
struct Row {
    const char* id;
    const char* name;
    const char* description;
    QKeyCombination key;
};

constexpr QKeyCombination kNoKey = QKeyCombination::fromCombined(0);

constexpr Row kGlobalRows[] = {
    { "global.help", "Keyboard Help", "Show the keyboard shortcuts", Qt::Key_F1 },
    { "global.pattern_editor", "Pattern Editor", "Show the pattern editor", Qt::Key_F2 },
    { "global.node_graph", "Node Graph", "Show the node graph", Qt::Key_F3 },
    { "global.sequencer", "Sequencer", "Show the sequencer", Qt::Key_F4 },
    { "global.play", "Play", "Start playback", Qt::Key_F5 },
    { "global.play_from_cursor", "Play from Cursor", "Start playback at the sequencer cursor",
        Qt::Key_F6 },
    { "global.stop", "Stop", "Stop playback", Qt::Key_F8 },
    { "global.fullscreen", "Fullscreen", "Toggle full screen", Qt::Key_F11 },
    { "global.open", "Open", "Open a song file", Qt::CTRL | Qt::Key_O },
    { "global.save", "Save", "Save the song file", Qt::CTRL | Qt::Key_S },
    { "global.undo", "Undo", "Undo the last edit", Qt::CTRL | Qt::Key_Z },
    { "global.redo", "Redo", "Redo the last undone edit", Qt::CTRL | Qt::SHIFT | Qt::Key_Z },
    { "global.redo_alt", "Redo (alternative)", "Redo the last undone edit", Qt::CTRL | Qt::Key_Y },
    { "global.export", "Export", "Export the song to WAV", Qt::CTRL | Qt::SHIFT | Qt::Key_E },
};

constexpr Row kSequenceEditorRows[] = {
    { "seq.cursor_left", "Cursor Left", "Move cursor one step left", Qt::Key_Left },
    { "seq.cursor_right", "Cursor Right", "Move cursor one step right", Qt::Key_Right },
    { "seq.cursor_up", "Cursor Up", "Move cursor up one track", Qt::Key_Up },
    { "seq.cursor_down", "Cursor Down", "Move cursor down one track", Qt::Key_Down },
    { "seq.sel_left", "Select Left", "Extend selection left", Qt::SHIFT | Qt::Key_Left },
    { "seq.sel_right", "Select Right", "Extend selection right", Qt::SHIFT | Qt::Key_Right },
    { "seq.sel_up", "Select Up", "Extend selection up", Qt::SHIFT | Qt::Key_Up },
    { "seq.sel_down", "Select Down", "Extend selection down", Qt::SHIFT | Qt::Key_Down },
    { "seq.page_up", "Page Up", "Move cursor up 16 tracks", Qt::Key_PageUp },
    { "seq.page_down", "Page Down", "Move cursor down 16 tracks", Qt::Key_PageDown },
    { "seq.home", "Home", "Move to first track", Qt::Key_Home },
    { "seq.end", "End", "Move to last track", Qt::Key_End },
    { "seq.first_step", "First Step", "Move cursor to first step", Qt::CTRL | Qt::Key_Home },
    { "seq.last_step", "Last Step", "Move cursor to last step", Qt::CTRL | Qt::Key_End },
    { "seq.enter_pattern", "Edit Pattern", "Enter the pattern at cursor", Qt::Key_Return },
    { "seq.new_track_menu", "Add Track Menu", "Show add track menu", Qt::CTRL | Qt::Key_Return },
    { "seq.erase_entry", "Erase Entry", "Clear the entry at cursor", Qt::Key_Period },
    { "seq.break_entry", "Break Entry", "Insert a break at cursor", Qt::Key_Comma },
    { "seq.delete_row", "Delete Row", "Delete the row at cursor", Qt::Key_Delete },
    { "seq.insert_row", "Insert Row", "Insert an empty row at cursor", Qt::Key_Insert },
    { "seq.wide_delete", "Wide Delete", "Delete row from all tracks", Qt::CTRL | Qt::Key_D },
    { "seq.wide_insert", "Wide Insert", "Insert row in all tracks", Qt::CTRL | Qt::Key_I },
    { "seq.seq_begin", "Seq. Begin", "Set sequence begin marker", Qt::CTRL | Qt::Key_B },
    { "seq.seq_end", "Seq. End", "Set sequence end marker", Qt::CTRL | Qt::Key_E },
    { "seq.loop_begin", "Loop Begin", "Set loop begin marker", Qt::CTRL | Qt::Key_L },
    { "seq.add_track", "Add Track", "Add track via dialog", Qt::CTRL | Qt::Key_Plus },
    { "seq.remove_track", "Remove Track", "Remove selected track", Qt::CTRL | Qt::Key_Minus },
    { "seq.move_track_left", "Move Track Left", "Reorder track to the left",
        Qt::CTRL | Qt::Key_Left },
    { "seq.move_track_right", "Move Track Right", "Reorder track to the right",
        Qt::CTRL | Qt::Key_Right },
    { "seq.copy", "Copy", "Copy selection to clipboard", Qt::CTRL | Qt::Key_C },
    { "seq.cut", "Cut", "Cut selection to clipboard", Qt::CTRL | Qt::Key_X },
    { "seq.paste", "Paste", "Paste from clipboard", Qt::CTRL | Qt::Key_V },
    // Patterns are placed by their number in the track node's list, as trackers do.
    { "seq.type_pattern", "Type Pattern", "Place pattern by number: two hex digits (0-9, A-F)",
        kNoKey },
    { "seq.next_pattern", "Next Pattern", "Place the node's next pattern at cursor",
        Qt::Key_Space },
    { "seq.previous_pattern", "Previous Pattern", "Place the node's previous pattern at cursor",
        Qt::SHIFT | Qt::Key_Space },
};

constexpr Row kPatternEditorRows[] = {
    { "pat.cursor_left", "Cursor Left", "Move cursor one digit left", Qt::Key_Left },
    { "pat.cursor_right", "Cursor Right", "Move cursor one digit right", Qt::Key_Right },
    { "pat.cursor_up", "Cursor Up", "Move cursor up one tick", Qt::Key_Up },
    { "pat.cursor_down", "Cursor Down", "Move cursor down one tick", Qt::Key_Down },
    { "pat.page_up", "Page Up", "Move cursor up 16 ticks", Qt::Key_PageUp },
    { "pat.page_down", "Page Down", "Move cursor down 16 ticks", Qt::Key_PageDown },
    { "pat.tab_right", "Tab", "Move cursor to next column", Qt::Key_Tab },
    { "pat.tab_left", "Shift+Tab", "Move cursor to previous column", Qt::SHIFT | Qt::Key_Tab },
    { "pat.home", "Home", "Move to first digit", Qt::Key_Home },
    { "pat.end", "End", "Move to last digit", Qt::Key_End },
    { "pat.first_tick", "First Tick", "Move cursor to first tick", Qt::CTRL | Qt::Key_Home },
    { "pat.last_tick", "Last Tick", "Move cursor to last tick", Qt::CTRL | Qt::Key_End },
    { "pat.sequencer", "Sequencer", "Navigate to sequencer", Qt::Key_Return },
    { "pat.erase_value", "Erase Value", "Clear value at cursor", Qt::Key_Period },
    { "pat.delete_row", "Delete Row", "Delete the row at cursor", Qt::Key_Delete },
    { "pat.insert_row", "Insert Row", "Insert an empty row at cursor", Qt::Key_Insert },
    { "pat.add_lane", "Add Lane", "Add a parameter lane", Qt::CTRL | Qt::Key_Plus },
    { "pat.remove_lane", "Remove Lane", "Remove a parameter lane", Qt::CTRL | Qt::Key_Minus },
    { "pat.new_pattern", "New Pattern", "Create a new pattern", Qt::CTRL | Qt::Key_Return },
    { "pat.copy_pattern", "Copy Pattern", "Copy the current pattern",
        Qt::CTRL | Qt::SHIFT | Qt::Key_Return },
    { "pat.pattern_props", "Pattern Props", "Edit pattern properties",
        Qt::CTRL | Qt::Key_Backspace },
    { "pat.note_input", "Note Input", "Piano keyboard layout (Z-M, Q-P)", kNoKey },
    { "pat.octave_up", "Octave Up", "Increase base octave (Numpad *)", kNoKey },
    { "pat.octave_down", "Octave Down", "Decrease base octave (Numpad /)", kNoKey },
    { "pat.base_octave", "Base Octave", "Open base octave dropdown", Qt::ALT | Qt::Key_B },
    { "pat.sel_begin", "Select Begin", "Set selection begin / cycle mode", Qt::CTRL | Qt::Key_B },
    { "pat.sel_end", "Select End", "Set selection end / cycle mode", Qt::CTRL | Qt::Key_E },
    { "pat.sel_up", "Select Up", "Extend selection up one tick", Qt::SHIFT | Qt::Key_Up },
    { "pat.sel_down", "Select Down", "Extend selection down one tick", Qt::SHIFT | Qt::Key_Down },
    { "pat.sel_left", "Select Left", "Extend selection left one digit", Qt::SHIFT | Qt::Key_Left },
    { "pat.sel_right", "Select Right", "Extend selection right one digit",
        Qt::SHIFT | Qt::Key_Right },
    { "pat.sel_clear", "Clear Selection", "Clear current selection", Qt::Key_Escape },
    { "pat.copy", "Copy", "Copy selection to clipboard", Qt::CTRL | Qt::Key_C },
    { "pat.cut", "Cut", "Cut selection to clipboard", Qt::CTRL | Qt::Key_X },
    { "pat.paste", "Paste", "Paste from clipboard", Qt::CTRL | Qt::Key_V },
    { "pat.interpolate", "Interpolate", "Linear interpolate begin to end", Qt::CTRL | Qt::Key_I },
    { "pat.interpolate_wp", "Interp Waypoints", "Interpolate through existing values",
        Qt::CTRL | Qt::SHIFT | Qt::Key_I },
};

// The node view's actions have no default key; they are reached from its menus and buttons.
constexpr Row kNodeGraphRows[] = {
    { "node.zoom_fit", "Zoom to Fit", "Fit all nodes to view", kNoKey },
    { "node.auto_arrange", "Auto Arrange", "Auto-arrange nodes", kNoKey },
    { "node.arrange_by_type", "Arrange by Type", "Auto-arrange by node type", kNoKey },
    { "node.toggle_xray", "Toggle X-Ray", "Toggle x-ray mode", kNoKey },
};

struct Group {
    const QString& context;
    std::span<const Row> rows;
};

struct HoldRow {
    const char* id;
    const QString& context;
    const char* name;
    const char* description;
    Qt::KeyboardModifiers modifiers;
};

QList<ShortcutEntry> entriesOf(std::span<const Group> groups)
{
    QList<ShortcutEntry> entries;
    for (const Group& group : groups) {
        QList<ShortcutEntry> batch;
        for (const Row& row : group.rows)
            batch.append(
                { QString::fromLatin1(row.id), group.context, QString::fromLatin1(row.name),
                    QString::fromLatin1(row.description), QKeySequence(row.key) });
        entries.append(batch);
    }
    return entries;
}

QList<ShortcutEntry> applicationEntries()
{
    const Group groups[] = {
        { shortcutContext::kGlobal, kGlobalRows },
        { shortcutContext::kSequenceEditor, kSequenceEditorRows },
        { shortcutContext::kPatternEditor, kPatternEditorRows },
        { shortcutContext::kNodeGraph, kNodeGraphRows },
    };
    return entriesOf(groups);
}

QList<ShortcutHoldEntry> applicationHoldEntries()
{
    const HoldRow rows[] = {
        { "pat.coarse_step", shortcutContext::kPatternEditor, "Coarse Step",
            "Step by 16, or by an octave for notes, with Shift and plus or minus",
            Qt::ControlModifier },
        { "node.connect", shortcutContext::kNodeGraph, "Connect",
            "Drag from a node onto another to connect them", Qt::ShiftModifier },
    };
    QList<ShortcutHoldEntry> entries;
    for (const HoldRow& row : rows)
        entries.append({ QString::fromLatin1(row.id), row.context, QString::fromLatin1(row.name),
            QString::fromLatin1(row.description), row.modifiers });
    return entries;
}

} // namespace

const ShortcutRegistry& ShortcutRegistry::instance()
{
    static const ShortcutRegistry registry(applicationEntries(), applicationHoldEntries());
    return registry;
}

ShortcutRegistry::ShortcutRegistry(
    QList<ShortcutEntry> entries, QList<ShortcutHoldEntry> holdEntries)
    : m_entries(std::move(entries))
    , m_holdEntries(std::move(holdEntries))
{
}

const ShortcutEntry* ShortcutRegistry::match(const QString& context, const QKeySequence& key) const
{
    const auto it = std::find_if(m_entries.cbegin(), m_entries.cend(), [&](const ShortcutEntry& e) {
        return e.context == context && !e.key.isEmpty() && e.key == key;
    });
    return it != m_entries.cend() ? &*it : nullptr;
}
