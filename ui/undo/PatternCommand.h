#pragma once

#include "song/Pattern.h"

#include <QMap>
#include <QUndoCommand>

// What a pattern held in the row slots an edit touched, with its length, lanes and name.
struct PatternSnapshot {
    QMap<int, RowPointer> rows; // deep copies; null where the slot had no row
    qsizetype slotCount = 0;
    qint32 length = 0;
    qint32 lanes = 0;
    QString name;

    static PatternSnapshot take(const Pattern& pattern, int firstSlot, int lastSlot);
    void restore(Pattern& pattern) const;
    bool sameAs(const PatternSnapshot& other) const;
};

// Where a typing run stands, so the next keystroke can join it; no run by default.
struct TypingRun {
    int parameter = -1;
    int tick = -1;
};

// One edit of one pattern, recorded as the touched slots before and after. The edit is
// applied by the caller first; the first redo does nothing. Typing down a column merges
// into one step, as does retyping a cell.
class PatternCommand final : public QUndoCommand {
public:
    PatternCommand(const PatternPointer& pattern, const QString& text, PatternSnapshot before,
        PatternSnapshot after, TypingRun typing = {});

    void redo() override;
    void undo() override;
    int id() const override { return m_typing.parameter >= 0 ? kTypingId : -1; }
    bool mergeWith(const QUndoCommand* other) override;

    static constexpr int kTypingId = 1;

private:
    PatternPointer m_pattern;
    PatternSnapshot m_before;
    PatternSnapshot m_after;
    TypingRun m_typing;
    bool m_applied = true;
};

// Records an edit around the code that makes it: the slots from `firstSlot` to `lastSlot`
// are taken before, and again by `command()` after; nothing came of it when they agree.
class PatternEdit {
public:
    PatternEdit(const PatternPointer& pattern, int firstSlot, int lastSlot);

    // The command for the edit, or null when the pattern is as it was.
    QUndoCommand* command(const QString& text, TypingRun typing = {}) const;

private:
    PatternPointer m_pattern;
    int m_first;
    int m_last;
    PatternSnapshot m_before;
};
