#pragma once

#include "song/Node.h"
#include "song/Position.h"
#include "song/Song.h"
#include "ui/MessageBoxes.h"
#include "ui/pattern/KeyboardJam.h"
#include "ui/pattern/PatternCursor.h"
#include "ui/pattern/PatternGeometry.h"
#include "ui/pattern/PatternSelection.h"
#include "ui/shortcuts/ShortcutBindings.h"
#include "ui/undo/PatternCommand.h"
#include "ui/undo/RecordingPass.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QMenu;
class SongHistory;

// The tracker grid of one pattern of one node: a row per tick, a column per value, node
// parameters first and then each lane. It paints the pattern itself, types into it from
// the keyboard, and makes every change through the song's history so it can be undone.
// Piano keys the cell under the cursor does not take, and all of them while jamming, play
// the node live instead; while the transport records and plays, they land in the pattern.
class PatternView : public QWidget {
    Q_OBJECT

public:
    // What the pattern dialog returns; `accepted` false when the user cancels.
    struct PatternAnswer {
        bool accepted = false;
        QString name;
        int length = 0;
    };
    // Asks for a name and a length under the title. Tests answer for the user.
    using PatternAsker
        = std::function<PatternAnswer(const QString& title, const QString& name, int length)>;

    explicit PatternView(QWidget* parent = nullptr);

    // The text of one cell: "x" without a row, a dot per character when empty, else the
    // value as its type shows it.
    static QString cellText(const ParameterDescriptor& parameter, quint32 value, bool rowExists);

    void setSong(const SongPointer& song);
    void setHistory(SongHistory* history);
    void showPattern(const zarn::NodePointer& node, const PatternPointer& pattern);

    void setBaseOctave(int octave);
    int baseOctave() const { return m_baseOctave; }

    const PatternCursor& cursor() const { return m_cursor; }
    const PatternSelection& selection() const { return m_selection; }
    zarn::NodePointer node() const { return m_node; }
    PatternPointer pattern() const { return m_pattern; }
    int playRow() const { return m_playRow; }
    int scrollTop() const { return m_scrollTop; }
    // Rows that fit the widget, the last perhaps in part.
    int visibleRows() const;
    // Where the cell of flat parameter `parameter` at `tick` is drawn.
    QRect cellRect(int tick, int parameter) const;

    void addLane();
    void removeLane();
    void newPattern();
    void copyPattern();
    void editPattern();
    void deletePattern();

    PatternAsker askPattern;
    Informer inform;
    Questioner ask;
    bool debug = false;

public slots:
    // Marks the row the node plays at the position and, while the song plays, keeps it in view.
    void playPositionChanged(const Position& position);
    // While on, piano keys play the node and never type, whatever the cursor is on.
    void setJam(bool on);

signals:
    void navigateApp(const QString& destination);
    void updatePatterns();
    void cursorChanged();
    void baseOctaveChanged(int octave);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void bindActions();
    void buildMenu();
    void relayOut();
    SchemaPointer schema() const;
    int nodeCount() const;
    int trackCount() const;
    PatternSelection::Span selectedSpan() const;

    void moveTick(int tick);
    void moveDigit(int digit);
    void moveColumn(int delta);
    void extend(int ticks, int digits);
    void keepCursorVisible();
    void cursorMoved(bool changed);

    bool typeKey(const QKeyEvent& event);
    // The cursor is on a note's name or octave, where piano keys type.
    bool onNoteEntry() const;
    // Plays a piano key on the node; true for every piano key, sounding or not.
    bool jamKey(const QKeyEvent& event);
    void recordJam(const std::optional<KeyboardJam::Played>& played);
    void renewRecording();
    bool stepKey(const QKeyEvent& event);
    // Runs `change` on the pattern and records it with the history, from slot `first` to
    // `last` (an empty range records lanes, length and name only).
    void record(const QString& text, int first, int last, const std::function<void()>& change,
        TypingRun typing = {});

    void eraseValue();
    void insertRow();
    void deleteRow();
    void stepSelection(int delta, bool coarse);
    void interpolateSelection(bool throughWaypoints);
    void copySelection();
    void cutSelection();
    void paste();
    void changeLanes(bool add);
    void patternFlow(int mode);
    std::optional<PatternAnswer> askForName(int mode, const QString& name, int length);
    PatternPointer copyOf(const Pattern& source, const QString& name) const;
    void pushCommand(QUndoCommand* command);

    void paintHeader(QPainter& painter, int firstColumn, int lastColumn);
    void paintRows(QPainter& painter, int firstColumn, int lastColumn);

    SongPointer m_song;
    SongHistory* m_history = nullptr;
    zarn::NodePointer m_node;
    PatternPointer m_pattern;
    PatternCursor m_cursor;
    PatternSelection m_selection;
    PatternGeometry m_geometry;
    ShortcutBindings m_bindings;
    KeyboardJam m_jam;
    std::unique_ptr<RecordingPass> m_recording;
    bool m_jamOn = false;
    int m_jamRow = -1; // where the recorded note that sounds now went
    QMenu* m_menu = nullptr;
    int m_baseOctave = 4;
    int m_scrollTop = 0;
    int m_scrollX = 0;
    int m_playRow = -1;
    int m_charWidth = 8;
    int m_rowHeight = 16;
    int m_gutter = 32;
};
