#pragma once

#include "song/Song.h"
#include "song/Track.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// A small vocabulary for writing example songs in code: nodes by type, chains of
// connections, patterns written as tracker text, and a sequencer arranged in steps.
// Mistakes are collected in `problems()` rather than stopping at the first.
class SongSketch {
public:
    using Cells = QList<QPair<int, quint32>>; // lane, value

    SongSketch(int beatsPerMinute, int ticksPerBeat, int ticksPerStep);

    // A node of a registered type; an unknown type is a problem.
    zarn::NodePointer node(const QString& type, const QString& name);
    zarn::NodePointer output() const { return m_output; }
    // Connects each node to the next; null entries are skipped.
    void chain(const QList<zarn::NodePointer>& nodes);

    PatternPointer pattern(const zarn::NodePointer& node, const QString& name, int length);
    // Fixed settings: a one-row first pattern, which a node without a track loops.
    void settings(const zarn::NodePointer& node, const Cells& cells);
    void set(const PatternPointer& pattern, int row, const Cells& cells);
    // One whitespace-separated token per row: a note such as "C-5" or "F#3", "off"
    // for a note-off, "." for nothing.
    void notes(const PatternPointer& pattern, int lane, const QString& text);
    // One character per row: 'x' a hit at `soft`, 'X' a hit at `loud` in the velocity
    // lane (none when negative), '-' a note-off, '.' nothing.
    void hits(const PatternPointer& pattern, int noteLane, const QString& text,
        int velocityLane = -1, quint32 soft = 0, quint32 loud = 0);
    // The lane moves in a straight line from `from` at row `first` to `to` at row `last`.
    void ramp(
        const PatternPointer& pattern, int lane, int first, int last, quint32 from, quint32 to);

    TrackPointer track(const zarn::NodePointer& node);
    void play(const TrackPointer& track, const PatternPointer& pattern, const QList<int>& steps);
    void pause(const TrackPointer& track, int step); // a break entry
    void sequence(int beginStep, int endStep);

    // Lays the nodes out in columns by their distance from the sources.
    void arrange();
    // Checks that the plan hears every connection: each node feeds one node at most and
    // all inputs of a node arrive at the same depth, so each is processed before it.
    void checkWiring();

    const SongPointer& song() const { return m_song; }
    const QStringList& problems() const { return m_problems; }

    static constexpr quint32 kNoteOff = 254;
    static int midiNote(const QString& token); // -1 when the token is not a note

private:
    RowPointer rowFor(const PatternPointer& pattern, int row);
    QHash<zarn::Node*, int> depths() const;
    void problem(const QString& text) { m_problems.append(text); }

    SongPointer m_song;
    zarn::NodePointer m_output;
    int m_ticksPerStep;
    QStringList m_problems;
};
