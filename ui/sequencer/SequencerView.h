#pragma once

#include "song/SequenceClipboard.h"
#include "song/Sequencer.h"
#include "song/Song.h"
#include "ui/MessageBoxes.h"
#include "ui/shortcuts/ShortcutBindings.h"

#include <QWidget>

#include <functional>
#include <optional>

class QMenu;
class SongHistory;

// The song's arrangement: a column per track, a row per step. It paints the sequencer
// itself, places patterns, breaks and markers from the keyboard and the mouse, and makes
// every change through the song's history so it can be undone.
class SequencerView : public QWidget {
    Q_OBJECT

public:
    // Picks one of the nodes, or none when the user cancels. Tests answer for the user.
    using NodeChooser = std::function<zarn::NodePointer(const QList<zarn::NodePointer>& nodes)>;

    explicit SequencerView(QWidget* parent = nullptr);

    // What a cell shows: the pattern's number in its node's list and its name, or the kind
    // of entry; nothing for an empty slot.
    static QString entryText(const EntryPointer& entry, const zarn::Node* node);
    // A step number as the transport reads it.
    static QString stepText(int step);

    void setSong(const SongPointer& song);
    void setHistory(SongHistory* history);
    void setXRayMode(bool on);
    // Writes the song's grid, which decides how many ticks a row of the view holds.
    void setTicksPerStep(int ticks);

    int cursorStep() const;
    int cursorColumn() const;
    bool hasSelection() const { return m_selecting; }
    SequenceRange selection() const;
    // Where the cell of the track at `column` and `step` is drawn.
    QRect cellRect(int step, int column) const;
    // Steps from the top of the grid to the bottom, the last perhaps in part.
    int visibleSteps() const;

    // Menus as they would pop up now; rebuilt on each call.
    QMenu* contextMenu();
    QMenu* addTrackMenu();

    NodeChooser chooseNode;
    Informer inform;
    Questioner ask;
    bool debug = false;

public slots:
    // Repaints the play position and, while the song plays, keeps it in view.
    void playPositionChanged();

signals:
    void navigate(const QString& destination);
    void cursorChanged();
    void ticksPerStepChanged(int ticks);
    // The play position was moved from the view.
    void playPositionMoved();
    // A short note for the user about a key that did nothing, and why.
    void statusMessage(const QString& text);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    struct PendingDigit {
        int digit;
        int step;
        int column;
    };
    struct Cell {
        int step;
        int column;
    };

    void bindActions();
    void relayOut();
    Position* position() const;
    TrackPointer cursorTrack() const;
    int cursorIndex() const;
    std::optional<Cell> cellAt(const QPoint& point) const;

    void moveTo(int column, int step);
    void move(int steps, int columns);
    void extend(int steps, int columns);
    void keepColumnVisible();
    int lastStep() const;
    int lastReachableStep() const;
    int columnX(int column) const;

    // Runs `change` on the sequencer and records it with the history.
    void edit(const QString& text, const std::function<void()>& change);
    void onCursorTrack(
        const QString& text, const std::function<void(Track&, int index)>& change, int advance = 0);
    void onEveryTrack(const QString& text, const std::function<void(Track&, int index)>& change);
    void setMarker(const QString& text, bool (Sequencer::*marker)());
    void moveTrack(int delta);
    void addTrackFor(const zarn::NodePointer& node);
    void addTrackByDialog();
    void showAddTrackMenu();
    void removeTrack();
    void enterPattern();
    void copySelection();
    void cutSelection();
    void paste();
    bool typeDigit(const QKeyEvent& event);
    void placePattern(int number, int advance);
    void cyclePattern(int delta);

    void paintHeader(QPainter& painter, int firstColumn, int lastColumn);
    void paintColumn(QPainter& painter, int column);
    void paintMarkers(QPainter& painter);

    SongPointer m_song;
    SequencerPointer m_sequencer;
    SongHistory* m_history = nullptr;
    ShortcutBindings m_bindings;
    QMenu* m_menu = nullptr;
    QMenu* m_addMenu = nullptr;
    zarn::NodePointer m_lastChosen;
    std::optional<PendingDigit> m_pending;
    bool m_selecting = false;
    Cell m_anchor { 0, 0 };
    bool m_dragging = false;
    bool m_xRay = false;
    int m_firstColumn = 0;
    int m_charWidth = 8;
    int m_rowHeight = 16;
    int m_columnWidth = 120;
    int m_gutter = 48;
};
