#include "ui/sequencer/SequencerView.h"

#include "infra/Style.h"
#include "song/Clipboard.h"
#include "song/Graph.h"
#include "ui/GridStyle.h"
#include "ui/Logging.h"
#include "ui/undo/SequencerCommand.h"
#include "ui/undo/SongHistory.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>

#include <cmath>
#include <limits>

namespace {

constexpr int kHeaderRows = 1;
constexpr int kRowMargin = 4;
constexpr int kCellMargin = 6;
constexpr int kColumnCharacters = 16;
constexpr int kGutterCharacters = 6;
constexpr int kXRayGutterCharacters = 12;
constexpr int kPageSteps = 16;
constexpr int kBarSteps = 4;
constexpr int kDegreesPerNotch = 15;

const QColor kBeginColour(90, 200, 120);
const QColor kEndColour(225, 80, 80);
const QColor kLoopColour(90, 160, 235);
const QColor kPlayColour(240, 180, 60);

int hexDigitOf(int key)
{
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return key - Qt::Key_0;
    if (key >= Qt::Key_A && key <= Qt::Key_F)
        return 10 + key - Qt::Key_A;
    return -1;
}

// The slot in force at `tick`: the nearest filled slot at or before it, or -1.
qint64 slotInForce(const Track& track, qint64 tick)
{
    for (qint64 slot = std::min<qint64>(tick, track.entries.size() - 1); slot >= 0; --slot)
        if (track.entries.at(slot))
            return slot;
    return -1;
}

// Whether the track is the only one of a node whose type always has one (the Output): that
// node plays the song through it.
bool lastTrackOfIntrinsic(const Sequencer& sequencer, const Track& track)
{
    if (!track.node || !track.node->processor || !track.node->processor->character().intrinsicTrack)
        return false;
    const auto same = std::count_if(sequencer.tracks.cbegin(), sequencer.tracks.cend(),
        [&](const TrackPointer& t) { return t->node == track.node; });
    return same <= 1;
}

} // namespace

QString SequencerView::entryText(const EntryPointer& entry, const zarn::Node* node)
{
    if (!entry)
        return {};
    switch (entry->type) {
    case Entry::BreakEntry:
        return QStringLiteral("<break>");
    case Entry::MuteEntry:
        return QStringLiteral("<mute>");
    case Entry::PatternEntry:
        if (entry->pattern) {
            const qsizetype number = node ? node->patterns.indexOf(entry->pattern) : -1;
            return (number >= 0 ? hexText(quint32(number), 2) : QStringLiteral("--"))
                + QLatin1Char(' ') + entry->pattern->name;
        }
        [[fallthrough]];
    default:
        return QStringLiteral("ERROR");
    }
}

QString SequencerView::stepText(int step)
{
    return QStringLiteral("%1").arg(step, 4, 10, QLatin1Char('0'));
}

SequencerView::SequencerView(QWidget* parent)
    : QWidget(parent)
    , m_bindings(QStringLiteral("sequence_editor"))
{
    setFocusPolicy(Qt::StrongFocus);
    setFont(ZarnStyle::gridFont());
    setAttribute(Qt::WA_OpaquePaintEvent);
    chooseNode = [this](const QList<zarn::NodePointer>& nodes) {
        QStringList names;
        for (const zarn::NodePointer& node : nodes)
            names << node->name;
        bool ok = false;
        const int current = std::max(0, int(nodes.indexOf(m_lastChosen)));
        const QString name = QInputDialog::getItem(
            this, tr("Select Node to add"), tr("Node:"), names, current, false, &ok);
        const qsizetype chosen = names.indexOf(name);
        return ok && chosen >= 0 ? nodes.at(chosen) : zarn::NodePointer();
    };
    inform = messageBoxes::informer(this);
    ask = messageBoxes::questioner(this);
    bindActions();
    relayOut();
}

void SequencerView::bindActions()
{
    // A row of the view is a step's worth of slots.
    const auto removeRow
        = [this](Track& t, int index) { t.removeEntries(index, position()->ticksPerStep()); };
    const auto insertRow
        = [this](Track& t, int index) { t.insertEntries(index, position()->ticksPerStep(), {}); };
    const auto erase = [](Track& t, int index) { t.setEntry(index, {}); };
    const auto placeBreak = [](Track& t, int index) { t.setBreak(index); };
    const std::pair<const char*, std::function<void()>> actions[] = {
        { "seq.cursor_left", [this] { move(0, -1); } },
        { "seq.cursor_right", [this] { move(0, 1); } },
        { "seq.cursor_up", [this] { move(-1, 0); } },
        { "seq.cursor_down", [this] { move(1, 0); } },
        { "seq.sel_left", [this] { extend(0, -1); } },
        { "seq.sel_right", [this] { extend(0, 1); } },
        { "seq.sel_up", [this] { extend(-1, 0); } },
        { "seq.sel_down", [this] { extend(1, 0); } },
        { "seq.page_up", [this] { move(-kPageSteps, 0); } },
        { "seq.page_down", [this] { move(kPageSteps, 0); } },
        { "seq.home", [this] { move(0, -cursorColumn()); } },
        { "seq.end",
            [this] {
                move(0, m_sequencer ? int(m_sequencer->tracks.size()) - 1 - cursorColumn() : 0);
            } },
        { "seq.first_step", [this] { move(-cursorStep(), 0); } },
        { "seq.last_step", [this] { move(lastStep() - cursorStep(), 0); } },
        { "seq.enter_pattern", [this] { enterPattern(); } },
        { "seq.new_track_menu", [this] { showAddTrackMenu(); } },
        { "seq.erase_entry", [=, this] { onCursorTrack(tr("erase entry"), erase, 1); } },
        { "seq.break_entry", [=, this] { onCursorTrack(tr("break"), placeBreak, 1); } },
        { "seq.delete_row", [=, this] { onCursorTrack(tr("delete row"), removeRow); } },
        { "seq.insert_row", [=, this] { onCursorTrack(tr("insert row"), insertRow); } },
        { "seq.wide_delete", [=, this] { onEveryTrack(tr("wide delete"), removeRow); } },
        { "seq.wide_insert", [=, this] { onEveryTrack(tr("wide insert"), insertRow); } },
        { "seq.seq_begin",
            [this] { setMarker(tr("sequence begin"), &Sequencer::setSequenceBegin); } },
        { "seq.seq_end", [this] { setMarker(tr("sequence end"), &Sequencer::setSequenceEnd); } },
        { "seq.loop_begin", [this] { setMarker(tr("loop begin"), &Sequencer::setLoopBegin); } },
        { "seq.add_track", [this] { addTrackByDialog(); } },
        { "seq.remove_track", [this] { removeTrack(); } },
        { "seq.move_track_left", [this] { moveTrack(-1); } },
        { "seq.move_track_right", [this] { moveTrack(1); } },
        { "seq.copy", [this] { copySelection(); } },
        { "seq.cut", [this] { cutSelection(); } },
        { "seq.paste", [this] { paste(); } },
        { "seq.next_pattern", [this] { cyclePattern(1); } },
        { "seq.previous_pattern", [this] { cyclePattern(-1); } },
        // The history's keys, for when the grid has the focus.
        { "global.undo", [this] { m_history ? m_history->undo() : void(); } },
        { "global.redo", [this] { m_history ? m_history->redo() : void(); } },
        { "global.redo_alt", [this] { m_history ? m_history->redo() : void(); } },
    };
    for (const auto& [id, action] : actions)
        m_bindings.bind(QString::fromLatin1(id), action);
}

void SequencerView::setSong(const SongPointer& song)
{
    m_song = song;
    m_sequencer = song ? song->sequencer : nullptr;
    m_selecting = false;
    m_pending.reset();
    m_firstColumn = 0;
    // A damaged file may hold any scroll; the grid starts where a cursor could stand.
    if (m_sequencer)
        m_sequencer->position.scrollStep
            = std::clamp(m_sequencer->position.scrollStep, 0, lastReachableStep());
    relayOut();
    update();
}

void SequencerView::setHistory(SongHistory* history)
{
    m_history = history;
    connect(history, &SongHistory::edited, this, [this] {
        // An undo may take away tracks a marked block spans.
        m_selecting = false;
        keepColumnVisible();
        update();
    });
}

void SequencerView::setXRayMode(bool on)
{
    m_xRay = on;
    relayOut();
    update();
}

void SequencerView::setTicksPerStep(int ticks)
{
    Position* p = position();
    if (p && ticks > 0 && p->ticksPerStepValue != ticks) {
        p->ticksPerStepValue = ticks;
        p->updateNumbers();
        emit ticksPerStepChanged(ticks);
    }
    update();
}

Position* SequencerView::position() const
{
    return m_sequencer ? &m_sequencer->position : nullptr;
}

int SequencerView::cursorStep() const
{
    return m_sequencer ? m_sequencer->position.cursor.step() : 0;
}

int SequencerView::cursorColumn() const
{
    return m_sequencer ? m_sequencer->position.cursorColumn : 0;
}

TrackPointer SequencerView::cursorTrack() const
{
    return m_sequencer ? m_sequencer->tracks.value(cursorColumn()) : TrackPointer();
}

int SequencerView::cursorIndex() const
{
    return m_sequencer ? m_sequencer->position.cursor.tick() : 0;
}

SequenceRange SequencerView::selection() const
{
    return { std::min(m_anchor.column, cursorColumn()), std::max(m_anchor.column, cursorColumn()),
        std::min(m_anchor.step, cursorStep()), std::max(m_anchor.step, cursorStep()) };
}

void SequencerView::relayOut()
{
    const QFontMetrics metrics(font());
    m_charWidth = metrics.horizontalAdvance(QLatin1Char('M'));
    m_rowHeight = metrics.height() + kRowMargin;
    m_columnWidth = kColumnCharacters * m_charWidth + kCellMargin;
    m_gutter = (m_xRay ? kXRayGutterCharacters : kGutterCharacters) * m_charWidth;
    Position* p = position();
    if (!p)
        return;
    p->scrollHeight = height() / m_rowHeight;
    if (debug)
        qCDebug(lcUi).nospace() << "resize c(" << m_charWidth << "x" << metrics.height() << ")"
                                << " w(" << width() << "x" << height() << ")"
                                << " m(" << m_columnWidth << "x" << m_rowHeight << ")"
                                << " g(" << (width() - m_gutter) / m_columnWidth << "x"
                                << p->scrollHeight << ")";
    keepColumnVisible();
}

int SequencerView::visibleSteps() const
{
    return std::max(1, height() / m_rowHeight + 1 - kHeaderRows);
}

void SequencerView::resizeEvent(QResizeEvent*)
{
    relayOut();
    // The cursor stays in view of the new height. A song just shown keeps the scroll its
    // file holds, so saving it again writes the same bytes.
    if (m_sequencer)
        m_sequencer->moveCursorAbsolute(cursorColumn(), cursorStep());
}

void SequencerView::keepColumnVisible()
{
    const int column = std::max(0, cursorColumn());
    const int fit = std::max(1, (width() - m_gutter) / m_columnWidth);
    if (column < m_firstColumn)
        m_firstColumn = column;
    else if (column >= m_firstColumn + fit)
        m_firstColumn = column - fit + 1;
}

void SequencerView::moveTo(int column, int step)
{
    if (!m_sequencer)
        return;
    step = std::min(step, lastReachableStep());
    if (!m_sequencer->moveCursorAbsolute(column, step))
        return;
    keepColumnVisible();
    emit cursorChanged();
    update();
}

void SequencerView::move(int steps, int columns)
{
    m_selecting = false;
    update();
    moveTo(cursorColumn() + columns, cursorStep() + steps);
}

void SequencerView::extend(int steps, int columns)
{
    if (!m_selecting) {
        m_selecting = true;
        m_anchor = { cursorStep(), cursorColumn() };
    }
    update();
    moveTo(cursorColumn() + columns, cursorStep() + steps);
}

int SequencerView::lastReachableStep() const
{
    // The cursor is a sample count, which must not wrap round; the rows drawn below the
    // last step must still count in an int.
    constexpr qint64 kLastSample = std::numeric_limits<qint32>::max();
    constexpr qint64 kRowsBelow = 1 << 16;
    const Position& p = m_sequencer->position;
    const qint64 samplesPerStep
        = std::max<qint64>(1, qint64(p.samplesPerTick()) * p.ticksPerStep());
    return int(std::min(kLastSample / samplesPerStep, kLastSample - kRowsBelow));
}

// The step of the latest entry of any track.
int SequencerView::lastStep() const
{
    if (!m_sequencer)
        return 0;
    qint64 last = 0;
    for (const TrackPointer& track : m_sequencer->tracks)
        last = std::max(last, slotInForce(*track, track->entries.size() - 1));
    return int(last / std::max(1, m_sequencer->position.ticksPerStep()));
}

void SequencerView::edit(const QString& text, const std::function<void()>& change)
{
    if (!m_sequencer)
        return;
    if (m_history) {
        m_history->record([&]() -> QUndoCommand* {
            const SequencerEdit recorded(m_sequencer);
            change();
            return recorded.command(text);
        });
    } else {
        change();
    }
    update();
}

void SequencerView::onCursorTrack(
    const QString& text, const std::function<void(Track&, int)>& change, int advance)
{
    const TrackPointer track = cursorTrack();
    if (!track)
        return;
    const int index = cursorIndex();
    edit(text, [&] { change(*track, index); });
    if (advance != 0)
        move(advance, 0);
}

void SequencerView::onEveryTrack(
    const QString& text, const std::function<void(Track&, int)>& change)
{
    const int index = cursorIndex();
    edit(text, [&] {
        for (const TrackPointer& track : m_sequencer->tracks)
            change(*track, index);
    });
}

void SequencerView::setMarker(const QString& text, bool (Sequencer::*marker)())
{
    edit(text, [&] { (m_sequencer.data()->*marker)(); });
}

void SequencerView::moveTrack(int delta)
{
    bool moved = false;
    const int column = cursorColumn();
    edit(tr("move track"), [&] { moved = m_sequencer->moveTrack(column, delta); });
    if (moved)
        moveTo(column + delta, cursorStep());
}

void SequencerView::addTrackFor(const zarn::NodePointer& node)
{
    if (!node || !m_sequencer)
        return;
    m_lastChosen = node;
    edit(tr("add track"), [&] { m_sequencer->addTrack(node); });
    moveTo(int(m_sequencer->tracks.size()) - 1, cursorStep());
}

void SequencerView::addTrackByDialog()
{
    if (!m_song || !m_song->graph) {
        qCWarning(lcUi) << "No graph in song";
        return;
    }
    addTrackFor(chooseNode(m_song->graph->nodes));
}

QMenu* SequencerView::addTrackMenu()
{
    delete m_addMenu;
    m_addMenu = new QMenu(this);
    m_addMenu->addSection(tr("Add Track"));
    if (!m_song || !m_song->graph) {
        qCWarning(lcUi) << "No graph in song";
        return m_addMenu;
    }
    for (const zarn::NodePointer& node : m_song->graph->nodes) {
        QAction* action = m_addMenu->addAction(node->name);
        action->setEnabled(bool(node->processor));
        connect(action, &QAction::triggered, this, [this, node] { addTrackFor(node); });
    }
    return m_addMenu;
}

void SequencerView::showAddTrackMenu()
{
    QMenu* menu = addTrackMenu();
    QAction* active = nullptr;
    for (QAction* action : menu->actions())
        if (m_lastChosen && action->text() == m_lastChosen->name) {
            active = action;
            if (debug)
                qCDebug(lcUi) << "FOUND LAST SEL";
            break;
        }
    for (QAction* action : menu->actions())
        if (!active && action->isEnabled() && !action->isSeparator()) {
            active = action;
            if (debug)
                qCDebug(lcUi) << "FOUND FIRST AVAILABLE";
        }
    if (debug)
        qCDebug(lcUi) << (active ? "WE HAVE SEL" : "WE HAVE NO SEL");
    menu->setActiveAction(active);
    const QSize size = menu->sizeHint();
    menu->popup(QCursor::pos() - QPoint(size.width() / 2, size.height() / 2), active);
}

void SequencerView::removeTrack()
{
    const TrackPointer track = cursorTrack();
    if (!track)
        return;
    const QString name = track->node ? track->node->name : track->uniqueID;
    if (lastTrackOfIntrinsic(*m_sequencer, *track)) {
        inform(tr("Remove Track"),
            tr("%1 plays the song through its track, so its last track stays.").arg(name));
        return;
    }
    if (!ask(tr("Remove Track"), tr("Remove the track of %1 with all its entries?").arg(name)))
        return;
    const int column = cursorColumn();
    edit(tr("remove track"), [&] { m_sequencer->removeTrack(column); });
    moveTo(column, cursorStep());
}

void SequencerView::enterPattern()
{
    const TrackPointer track = cursorTrack();
    if (!track) {
        qCWarning(lcUi) << "No track selected";
        return;
    }
    if (debug)
        qCDebug(lcUi) << "Enter pattern";
    const QString node = track->node ? track->node->uniqueID : QString();
    const EntryPointer entry = track->entryAt(cursorIndex());
    if (entry && entry->pattern)
        emit navigate(QStringLiteral("pattern(%1,%2)").arg(node, entry->pattern->uniqueID));
    else
        emit navigate(QStringLiteral("pattern(%1)").arg(node));
}

void SequencerView::copySelection()
{
    if (!m_selecting)
        return;
    if (auto data = sequenceClipboard::copy(m_sequencer, selection()))
        QApplication::clipboard()->setMimeData(data.release());
}

void SequencerView::cutSelection()
{
    if (!m_selecting || !m_sequencer)
        return;
    copySelection();
    const SequenceRange range = selection();
    const int ticks = m_sequencer->position.ticksPerStep();
    const int lastTrack = std::min(range.lastTrack, int(m_sequencer->tracks.size()) - 1);
    edit(tr("cut"), [&] {
        for (int column = std::max(0, range.firstTrack); column <= lastTrack; ++column) {
            Track& track = *m_sequencer->tracks.at(column);
            // Slots past the end are empty already; clearing them would only grow the list.
            for (int step = range.firstStep; step <= range.lastStep; ++step)
                if (qint64(step) * ticks < track.entries.size())
                    track.setEntry(step * ticks, {});
        }
    });
    m_selecting = false;
}

void SequencerView::paste()
{
    const auto block = clipboard::blockIn<SequenceBlock>(QApplication::clipboard()->mimeData());
    if (!block || !m_sequencer)
        return;
    bool pasted = false;
    edit(tr("paste"), [&] { pasted = block->pasteInto(*m_sequencer); });
    if (!pasted)
        emit statusMessage(block->refusal(*m_sequencer));
}

bool SequencerView::typeDigit(const QKeyEvent& event)
{
    const std::optional<PendingDigit> pending = std::exchange(m_pending, std::nullopt);
    if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const int digit = hexDigitOf(event.key());
    if (digit < 0 || !cursorTrack())
        return false;
    if (pending && pending->step == cursorStep() && pending->column == cursorColumn()) {
        placePattern(pending->digit * 16 + digit, 1);
    } else {
        m_pending = PendingDigit { digit, cursorStep(), cursorColumn() };
        update();
    }
    return true;
}

void SequencerView::placePattern(int number, int advance)
{
    const TrackPointer track = cursorTrack();
    if (!track)
        return;
    const zarn::NodePointer node = track->node;
    const QString name = node ? node->name : track->uniqueID;
    if (!node || node->patterns.isEmpty()) {
        emit statusMessage(tr("%1 has no patterns to place").arg(name));
        qCInfo(lcUi).noquote() << "No patterns to place on" << name;
        update();
        return;
    }
    if (number >= node->patterns.size()) {
        emit statusMessage(tr("%1 has no pattern %2").arg(name, hexText(quint32(number), 2)));
        update();
        return;
    }
    const PatternPointer pattern = node->patterns.at(number);
    onCursorTrack(
        tr("place pattern"), [&](Track& t, int i) { t.setEntry(i, pattern); }, advance);
}

void SequencerView::cyclePattern(int delta)
{
    const TrackPointer track = cursorTrack();
    if (!track)
        return;
    const qsizetype count = track->node ? track->node->patterns.size() : 0;
    if (count == 0) {
        placePattern(0, 0); // says why nothing was placed
        return;
    }
    const EntryPointer entry = track->entryAt(cursorIndex());
    const qsizetype current = entry ? track->node->patterns.indexOf(entry->pattern) : -1;
    const qsizetype next
        = current < 0 ? (delta > 0 ? 0 : count - 1) : (current + delta + count) % count;
    placePattern(int(next), 0);
}

bool SequencerView::event(QEvent* event)
{
    if (m_bindings.acceptOverride(event))
        return true;
    return QWidget::event(event);
}

void SequencerView::keyPressEvent(QKeyEvent* event)
{
    if (typeDigit(*event))
        return;
    if (m_bindings.handle(*event))
        return;
    // Plus needs Shift on many keyboards; Ctrl and plus still mean Ctrl++.
    if (event->key() == Qt::Key_Plus && (event->modifiers() & Qt::ShiftModifier)) {
        const QKeyEvent plain(
            QEvent::KeyPress, event->key(), event->modifiers() & ~Qt::ShiftModifier, event->text());
        if (m_bindings.handle(plain))
            return;
    }
    if (debug)
        qCDebug(lcUi) << "Unhandled sequencer KEY" << event->key() << event->modifiers();
    QWidget::keyPressEvent(event);
}

void SequencerView::playPositionChanged()
{
    Position* p = position();
    if (p && p->playing) {
        const int step = p->playPos.step();
        const int rows = std::max(1, p->scrollHeight - 2);
        if (step < p->scrollStep || step >= p->scrollStep + rows)
            p->scrollStep = std::max(0, step - rows / 2);
    }
    update();
}

std::optional<SequencerView::Cell> SequencerView::cellAt(const QPoint& point) const
{
    const int row = point.y() / m_rowHeight - kHeaderRows;
    if (row < 0 || !m_sequencer)
        return std::nullopt;
    const int step = m_sequencer->position.scrollStep + row;
    if (point.x() < m_gutter)
        return Cell { step, -1 };
    return Cell { step, m_firstColumn + (point.x() - m_gutter) / m_columnWidth };
}

void SequencerView::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    m_pending.reset();
    const auto cell = cellAt(event->position().toPoint());
    if (!cell || event->button() != Qt::LeftButton)
        return;
    if (cell->column < 0) {
        if (debug)
            qCDebug(lcUi) << "GUTTER CLICKED" << event->position();
        const qint64 tick = qint64(cell->step) * m_sequencer->position.ticksPerStep();
        m_sequencer->movePlayPositionAbsolute(
            int(std::clamp<qint64>(tick, 0, std::numeric_limits<qint32>::max())));
        emit playPositionMoved();
        update();
        return;
    }
    if (debug)
        qCDebug(lcUi) << "TRACK CLICKED" << event->position();
    m_selecting = false;
    m_dragging = true;
    m_anchor = *cell;
    moveTo(cell->column, cell->step);
    update();
}

void SequencerView::mouseMoveEvent(QMouseEvent* event)
{
    const auto cell = cellAt(event->position().toPoint());
    if (!m_dragging || !(event->buttons() & Qt::LeftButton) || !cell || cell->column < 0)
        return;
    // Dragging from the cell first pressed marks the block between it and the pointer.
    m_selecting = cell->step != m_anchor.step || cell->column != m_anchor.column || m_selecting;
    moveTo(cell->column, cell->step);
    update();
}

void SequencerView::wheelEvent(QWheelEvent* event)
{
    const QPoint notches = event->angleDelta() / 8 / kDegreesPerNotch;
    if (debug)
        qCDebug(lcUi) << "Wheel" << notches;
    if (notches.y() != 0 || notches.x() != 0)
        move(-notches.y(), -notches.x());
    event->accept();
}

QMenu* SequencerView::contextMenu()
{
    delete m_menu;
    m_menu = new QMenu(tr("Sequencer"), this);
    m_menu->setToolTipsVisible(true);
    const std::pair<const char*, const char*> entries[] = {
        { QT_TR_NOOP("&Add Track...\tCtrl++"), "seq.add_track" },
        { QT_TR_NOOP("&Remove Track\tCtrl+-"), "seq.remove_track" },
        { QT_TR_NOOP("Move Track &Left\tCtrl+Left"), "seq.move_track_left" },
        { QT_TR_NOOP("Move Track &Right\tCtrl+Right"), "seq.move_track_right" },
        { nullptr, nullptr },
        { QT_TR_NOOP("&Edit Pattern"), "seq.enter_pattern" },
        { QT_TR_NOOP("&Erase Entry"), "seq.erase_entry" },
        { QT_TR_NOOP("&Break Entry"), "seq.break_entry" },
        { QT_TR_NOOP("&Delete Row"), "seq.delete_row" },
        { QT_TR_NOOP("&Insert Row"), "seq.insert_row" },
        { nullptr, nullptr },
        { QT_TR_NOOP("Set Sequence &Begin\tCtrl+B"), "seq.seq_begin" },
        { QT_TR_NOOP("Set Sequence &End\tCtrl+E"), "seq.seq_end" },
        { QT_TR_NOOP("Set &Loop Begin\tCtrl+L"), "seq.loop_begin" },
        { QT_TR_NOOP("Wide &Insert\tCtrl+I"), "seq.wide_insert" },
        { QT_TR_NOOP("Wide &Delete\tCtrl+D"), "seq.wide_delete" },
    };
    for (const auto& [text, id] : entries) {
        if (!text) {
            m_menu->addSeparator();
            continue;
        }
        const QString command = QString::fromLatin1(id);
        connect(m_menu->addAction(tr(text)), &QAction::triggered, this,
            [this, command] { m_bindings.run(command); });
    }
    m_menu->addSeparator();
    QMenu* place = m_menu->addMenu(tr("Place Pattern"));
    const TrackPointer track = cursorTrack();
    const QList<PatternPointer> patterns
        = track && track->node ? track->node->patterns : QList<PatternPointer>();
    place->setEnabled(!patterns.isEmpty());
    for (int i = 0; i < patterns.size(); ++i)
        connect(place->addAction(hexText(quint32(i), 2) + QLatin1Char(' ') + patterns.at(i)->name),
            &QAction::triggered, this, [this, i] { placePattern(i, 0); });
    QList<zarn::Node*> paused;
    for (const TrackPointer& t : m_sequencer ? m_sequencer->tracks : QList<TrackPointer>()) {
        zarn::Node* node = t->node.data();
        if (!node || !node->processor || !node->processor->paused || paused.contains(node))
            continue;
        paused << node;
        QAction* unpause = m_menu->addAction(tr("&Unpause %1").arg(node->name));
        unpause->setToolTip(
            tr("Node was auto-paused (peak: %1 ms)").arg(node->processor->peakMs, 0, 'f', 1));
        connect(unpause, &QAction::triggered, this, [processor = node->processor] {
            processor->paused = false;
            processor->peakMs = 0.0;
        });
    }
    return m_menu;
}

void SequencerView::contextMenuEvent(QContextMenuEvent* event)
{
    // The menu acts at the cursor, so a click on another cell takes the cursor there first.
    const auto cell = cellAt(event->pos());
    if (cell && cell->column >= 0) {
        const SequenceRange range = selection();
        const bool inside = m_selecting && cell->column >= range.firstTrack
            && cell->column <= range.lastTrack && cell->step >= range.firstStep
            && cell->step <= range.lastStep;
        if (!inside) {
            m_selecting = false;
            moveTo(cell->column, cell->step);
        }
    }
    contextMenu()->popup(event->globalPos());
}

int SequencerView::columnX(int column) const
{
    return m_gutter + (column - m_firstColumn) * m_columnWidth;
}

QRect SequencerView::cellRect(int step, int column) const
{
    // Far-off steps land far off screen, never at a wrapped-round place.
    constexpr qint64 kFarOff = 1 << 24;
    const qint64 scroll = m_sequencer ? m_sequencer->position.scrollStep : 0;
    const qint64 y = (qint64(step) - scroll + kHeaderRows) * m_rowHeight;
    return QRect(
        columnX(column), int(std::clamp(y, -kFarOff, kFarOff)), m_columnWidth, m_rowHeight);
}

void SequencerView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const GridColours colours = GridColours::of(palette());
    painter.fillRect(rect(), colours.base);
    if (!m_sequencer)
        return;
    const Position& p = m_sequencer->position;
    const int columns = int(m_sequencer->tracks.size());
    const int last = std::min(columns, m_firstColumn + (width() - m_gutter) / m_columnWidth + 1);
    const int cursor = cursorStep();
    const int playStep = p.playPos.step();
    for (int row = 0; row < visibleSteps(); ++row) {
        const int step = p.scrollStep + row;
        const int y = (row + kHeaderRows) * m_rowHeight;
        if ((step / kBarSteps) % 2 == 1)
            painter.fillRect(0, y, width(), m_rowHeight, colours.beat);
        if (step == cursor)
            painter.fillRect(0, y, width(), m_rowHeight, colours.cursorRow);
        if (step == playStep)
            painter.fillRect(0, y, m_gutter, m_rowHeight, colours.play);
        painter.setPen(step == cursor ? colours.text : colours.faint);
        QString label = stepText(step);
        if (m_xRay)
            label += QStringLiteral(" t%1").arg(qint64(step) * p.ticksPerStep());
        painter.drawText(QRect(0, y, m_gutter - m_charWidth / 2, m_rowHeight),
            Qt::AlignRight | Qt::AlignVCenter, label);
    }
    for (int column = m_firstColumn; column < last; ++column)
        paintColumn(painter, column);
    paintMarkers(painter);
    paintHeader(painter, m_firstColumn, last);
}

void SequencerView::paintHeader(QPainter& painter, int firstColumn, int lastColumn)
{
    const GridColours colours = GridColours::of(palette());
    painter.fillRect(0, 0, width(), kHeaderRows * m_rowHeight, colours.header);
    painter.setPen(colours.faint);
    painter.drawText(QRect(0, 0, m_gutter - m_charWidth / 2, m_rowHeight),
        Qt::AlignRight | Qt::AlignVCenter, tr("Step"));
    for (int column = firstColumn; column < lastColumn; ++column) {
        const Track& track = *m_sequencer->tracks.at(column);
        const QRect head(
            columnX(column) + kCellMargin / 2, 0, m_columnWidth - kCellMargin, m_rowHeight);
        painter.setPen(column == cursorColumn() ? colours.text : colours.faint);
        const QString name = track.node ? track.node->name : tr("(no node)");
        painter.drawText(head, Qt::AlignLeft | Qt::AlignVCenter,
            painter.fontMetrics().elidedText(name, Qt::ElideRight, head.width()));
    }
}

void SequencerView::paintColumn(QPainter& painter, int column)
{
    const GridColours colours = GridColours::of(palette());
    const Track& track = *m_sequencer->tracks.at(column);
    const Position& p = m_sequencer->position;
    const qint64 ticks = std::max(1, p.ticksPerStep());
    const SequenceRange range = selection();
    const int baseline
        = (m_rowHeight + painter.fontMetrics().ascent() - painter.fontMetrics().descent()) / 2;
    // The slot in force, walked forward from the first visible step.
    qint64 scanned = qint64(p.scrollStep) * ticks;
    qint64 inForce = slotInForce(track, scanned);
    for (int step = p.scrollStep; step < p.scrollStep + visibleSteps(); ++step) {
        const qint64 index = qint64(step) * ticks;
        for (; scanned < index && scanned + 1 < track.entries.size(); ++scanned)
            if (track.entries.at(scanned + 1))
                inForce = scanned + 1;
        scanned = std::max(scanned, index);
        const QRect box = cellRect(step, column);
        if (m_selecting && column >= range.firstTrack && column <= range.lastTrack
            && step >= range.firstStep && step <= range.lastStep)
            painter.fillRect(box, colours.selection);
        const EntryPointer entry = track.entryAt(int(std::min<qint64>(index, INT_MAX)));
        const EntryPointer running
            = inForce >= 0 && inForce < index ? track.entries.at(inForce) : nullptr;
        if (!entry && running && running->pattern && index - inForce < running->pattern->length)
            painter.fillRect(box.x() + kCellMargin / 2, box.y(), 2, box.height(), colours.faint);
        QString text = entryText(entry, track.node.data());
        const bool atCursor = step == cursorStep() && column == cursorColumn();
        if (atCursor && m_pending)
            text = hexText(quint32(m_pending->digit), 1) + QLatin1Char('_');
        if (atCursor) {
            painter.fillRect(box.adjusted(1, 0, -1, 0), colours.cursor);
            painter.setPen(colours.cursorText);
        } else {
            painter.setPen(entry ? colours.text : colours.faint);
        }
        if (text.isEmpty())
            text = QStringLiteral("..");
        const int textWidth = m_columnWidth - kCellMargin - m_charWidth;
        painter.drawText(box.x() + kCellMargin / 2 + m_charWidth / 2, box.y() + baseline,
            painter.fontMetrics().elidedText(text, Qt::ElideRight, textWidth));
    }
}

void SequencerView::paintMarkers(QPainter& painter)
{
    const Position& p = m_sequencer->position;
    const double samplesPerStep = std::max(1.0, double(p.samplesPerTick()) * p.ticksPerStep());
    const auto yOf = [&](qint32 sample) {
        return int(
            std::lround((sample / samplesPerStep - p.scrollStep + kHeaderRows) * m_rowHeight));
    };
    const struct {
        qint32 sample;
        QColor colour;
        Qt::PenStyle style;
        bool shown;
    } markers[] = {
        { p.loopBegin.sample, kLoopColour, Qt::DashLine, p.loopBegin != p.sequenceBegin },
        { p.sequenceBegin.sample, kBeginColour, Qt::SolidLine, true },
        { p.sequenceEnd.sample, kEndColour, Qt::SolidLine, p.sequenceEnd.sample > 0 },
        { p.playPos.sample, kPlayColour, Qt::SolidLine, true },
    };
    const int top = kHeaderRows * m_rowHeight;
    for (const auto& marker : markers) {
        const int y = yOf(marker.sample);
        if (!marker.shown || y < top || y > height())
            continue;
        painter.setPen(QPen(marker.colour, 2, marker.style));
        painter.drawLine(0, y, width(), y);
        // A small flag in the gutter tells the markers apart where they meet.
        const QPoint flag[] = { { 0, y - 5 }, { 7, y }, { 0, y + 5 } };
        painter.setBrush(marker.colour);
        painter.drawPolygon(flag, 3);
    }
    painter.setBrush(Qt::NoBrush);
}
