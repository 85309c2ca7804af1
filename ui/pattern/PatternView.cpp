#include "ui/pattern/PatternView.h"

#include "engine/Scheduler.h"
#include "infra/Style.h"
#include "song/PatternClipboard.h"
#include "song/Sequencer.h"
#include "ui/GridStyle.h"
#include "ui/Logging.h"
#include "ui/pattern/PatternDialog.h"
#include "ui/pattern/PatternEdits.h"
#include "ui/pattern/PatternNames.h"
#include "ui/undo/PatternListCommand.h"
#include "ui/undo/SongHistory.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>

#include <cmath>
#include <optional>

namespace {

constexpr int kHeaderRows = 2;
constexpr int kCellMargin = 6;
constexpr int kRowMargin = 4;
constexpr int kPageTicks = 16;
constexpr int kBeatRows = 4;
constexpr char16_t kSwitchOn = 0x23FD;
constexpr char16_t kSwitchOff = 0x2B58;
constexpr char16_t kMinusSign = 0x2212;

enum FlowMode { NewFlow, CopyFlow, EditFlow, DeleteFlow };

} // namespace

QString PatternView::cellText(const ParameterDescriptor& p, quint32 value, bool rowExists)
{
    if (!rowExists)
        return QStringLiteral("x");
    if (value == p.empty)
        return QString(std::max(1, charactersOf(p.valueType())), QChar('.'));
    switch (p.valueType()) {
    case ValueType::Switch:
        return QString(QChar((value & 0xFF) != 0 ? kSwitchOn : kSwitchOff));
    case ValueType::Byte:
        return hexText(value & 0xFF, 2);
    case ValueType::MidiNote:
        return noteText(qint32(value));
    case ValueType::Word:
        return hexText(value & 0xFFFF, 4);
    default:
        qCWarning(lcUi) << "Parsing unknown value type as WORD";
        return hexText(value & 0xFFFF, 4);
    }
}

PatternView::PatternView(QWidget* parent)
    : QWidget(parent)
    , m_bindings(QStringLiteral("pattern_editor"))
{
    setFocusPolicy(Qt::StrongFocus);
    setFont(ZarnStyle::gridFont());
    setAttribute(Qt::WA_OpaquePaintEvent);
    askPattern = [this](const QString& title, const QString& name, int length) {
        return PatternDialog::ask(this, title, name, length);
    };
    inform = messageBoxes::informer(this);
    ask = messageBoxes::questioner(this);
    bindActions();
    buildMenu();
    renewRecording();
    relayOut();
}

void PatternView::bindActions()
{
    const std::pair<const char*, std::function<void()>> actions[] = {
        { "pat.cursor_left", [this] { moveDigit(m_cursor.digit - 1); } },
        { "pat.cursor_right", [this] { moveDigit(m_cursor.digit + 1); } },
        { "pat.cursor_up", [this] { moveTick(m_cursor.tick - 1); } },
        { "pat.cursor_down", [this] { moveTick(m_cursor.tick + 1); } },
        { "pat.page_up", [this] { moveTick(m_cursor.tick - kPageTicks); } },
        { "pat.page_down", [this] { moveTick(m_cursor.tick + kPageTicks); } },
        { "pat.tab_right", [this] { moveColumn(1); } },
        { "pat.tab_left", [this] { moveColumn(-1); } },
        { "pat.home", [this] { moveDigit(0); } },
        { "pat.end",
            [this] {
                if (!schema() && debug)
                    qCDebug(lcUi) << "Node had no schema";
                moveDigit(m_cursor.digitCount() - 1);
            } },
        { "pat.first_tick", [this] { moveTick(0); } },
        { "pat.last_tick", [this] { moveTick(m_pattern ? m_pattern->length - 1 : 0); } },
        { "pat.sequencer", [this] { emit navigateApp(QStringLiteral("sequencer")); } },
        { "pat.erase_value", [this] { eraseValue(); } },
        { "pat.delete_row", [this] { deleteRow(); } },
        { "pat.insert_row", [this] { insertRow(); } },
        { "pat.add_lane", [this] { addLane(); } },
        { "pat.remove_lane", [this] { removeLane(); } },
        { "pat.new_pattern", [this] { newPattern(); } },
        { "pat.copy_pattern", [this] { copyPattern(); } },
        { "pat.pattern_props", [this] { editPattern(); } },
        { "pat.sel_begin",
            [this] {
                if (m_pattern) {
                    m_selection.markBegin(m_cursor, m_pattern->length);
                    update();
                }
            } },
        { "pat.sel_end",
            [this] {
                if (m_pattern) {
                    m_selection.markEnd(m_cursor);
                    update();
                }
            } },
        { "pat.sel_up", [this] { extend(-1, 0); } },
        { "pat.sel_down", [this] { extend(1, 0); } },
        { "pat.sel_left", [this] { extend(0, -1); } },
        { "pat.sel_right", [this] { extend(0, 1); } },
        { "pat.sel_clear",
            [this] {
                m_selection.clear();
                update();
            } },
        { "pat.copy", [this] { copySelection(); } },
        { "pat.cut", [this] { cutSelection(); } },
        { "pat.paste", [this] { paste(); } },
        { "pat.interpolate", [this] { interpolateSelection(false); } },
        { "pat.interpolate_wp", [this] { interpolateSelection(true); } },
        // The history's keys, for when the grid has the focus.
        { "global.undo", [this] { m_history ? m_history->undo() : void(); } },
        { "global.redo", [this] { m_history ? m_history->redo() : void(); } },
        { "global.redo_alt", [this] { m_history ? m_history->redo() : void(); } },
    };
    for (const auto& [id, action] : actions)
        m_bindings.bind(QString::fromLatin1(id), action);
}

void PatternView::buildMenu()
{
    m_menu = new QMenu(this);
    const std::pair<const char*, std::function<void()>> entries[] = {
        { QT_TR_NOOP("&Add Lane\tCtrl + +"), [this] { addLane(); } },
        { QT_TR_NOOP("&Remove Lane\tCtrl + -"), [this] { removeLane(); } },
        { nullptr, {} },
        { QT_TR_NOOP("&New Pattern...\tCtrl + Enter"), [this] { newPattern(); } },
        { QT_TR_NOOP("&Pattern Properties...\tCtrl + Backspace"), [this] { editPattern(); } },
        { QT_TR_NOOP("&Remove Pattern...\tCtrl + Delete"), [this] { deletePattern(); } },
        { QT_TR_NOOP("&Copy Pattern...\tCtrl + Shift + Enter"), [this] { copyPattern(); } },
        { nullptr, {} },
    };
    for (const auto& [text, action] : entries) {
        if (!text)
            m_menu->addSeparator();
        else
            connect(m_menu->addAction(tr(text)), &QAction::triggered, this, action);
    }
}

void PatternView::setSong(const SongPointer& song)
{
    recordJam(m_jam.stop());
    m_song = song;
    renewRecording();
    showPattern({}, {});
}

void PatternView::setHistory(SongHistory* history)
{
    m_history = history;
    renewRecording();
    connect(history, &SongHistory::edited, this, [this] {
        relayOut();
        update();
    });
}

void PatternView::showPattern(const zarn::NodePointer& node, const PatternPointer& pattern)
{
    recordJam(m_jam.stop());
    m_node = node;
    m_pattern = pattern;
    m_playRow = -1;
    m_selection.clear();
    m_cursor = PatternCursor();
    m_scrollTop = 0;
    m_scrollX = 0;
    relayOut();
    update();
    emit cursorChanged();
}

SchemaPointer PatternView::schema() const
{
    return m_node && m_node->processor && m_pattern ? m_node->processor->schema() : nullptr;
}

int PatternView::nodeCount() const
{
    const SchemaPointer s = schema();
    return s ? int(s->nodeParameters.size()) : 0;
}

int PatternView::trackCount() const
{
    const SchemaPointer s = schema();
    return s ? int(s->trackParameters.size()) : 0;
}

PatternSelection::Span PatternView::selectedSpan() const
{
    return m_selection.span(nodeCount(), trackCount(), m_pattern ? m_pattern->lanes : 0);
}

void PatternView::relayOut()
{
    const QFontMetrics metrics(font());
    m_charWidth = metrics.horizontalAdvance(QLatin1Char('M'));
    m_rowHeight = metrics.height() + kRowMargin;
    m_gutter = 4 * m_charWidth;
    const SchemaPointer s = schema();
    const int lanes = m_pattern ? m_pattern->lanes : 0;
    m_geometry.layOut(s.data(), lanes, m_charWidth, kCellMargin);
    m_cursor.setLayout(s, lanes, m_pattern ? m_pattern->length : 1);
    keepCursorVisible();
}

int PatternView::visibleRows() const
{
    return std::max(1, height() / m_rowHeight + 1 - kHeaderRows);
}

void PatternView::resizeEvent(QResizeEvent*)
{
    relayOut();
}

void PatternView::keepCursorVisible()
{
    if (m_cursor.tick < m_scrollTop)
        m_scrollTop = m_cursor.tick;
    if (m_cursor.tick >= m_scrollTop + visibleRows() - 2)
        m_scrollTop = std::max(0, m_cursor.tick - visibleRows() + 2);
    const auto& columns = m_geometry.columns();
    if (m_cursor.parameterIndex < columns.size()) {
        const auto& c = columns.at(m_cursor.parameterIndex);
        const int view = width() - m_gutter;
        if (c.x < m_scrollX)
            m_scrollX = c.x;
        else if (c.x + c.width > m_scrollX + view)
            m_scrollX = std::max(0, c.x + c.width - view);
    }
}

void PatternView::cursorMoved(bool changed)
{
    if (!changed)
        return;
    keepCursorVisible();
    emit cursorChanged();
    update();
}

void PatternView::moveTick(int tick)
{
    m_selection.endExtending();
    cursorMoved(m_cursor.moveTickAbsolute(tick));
}

void PatternView::moveDigit(int digit)
{
    m_selection.endExtending();
    cursorMoved(m_cursor.moveDigitAbsolute(digit));
}

void PatternView::moveColumn(int delta)
{
    m_selection.endExtending();
    cursorMoved(m_cursor.moveColumnRelative(delta));
}

void PatternView::extend(int ticks, int digits)
{
    if (!m_pattern)
        return;
    m_selection.startExtending(m_cursor);
    const bool moved = ticks != 0 ? m_cursor.moveTickAbsolute(m_cursor.tick + ticks)
                                  : m_cursor.moveDigitAbsolute(m_cursor.digit + digits);
    m_selection.extendTo(m_cursor, nodeCount(), trackCount());
    cursorMoved(moved);
    update();
}

void PatternView::setBaseOctave(int octave)
{
    octave = std::clamp(octave, 0, 9);
    if (octave == m_baseOctave)
        return;
    m_baseOctave = octave;
    emit baseOctaveChanged(octave);
    update();
}

bool PatternView::event(QEvent* event)
{
    // Tab and Shift+Tab move between columns here, not between widgets.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            keyPressEvent(key);
            return true;
        }
    }
    if (m_bindings.acceptOverride(event))
        return true;
    return QWidget::event(event);
}

void PatternView::keyPressEvent(QKeyEvent* event)
{
    if (m_bindings.handle(*event))
        return;
    // The context menu offers Ctrl+Delete for removing the pattern; the table has no row for it.
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::ControlModifier) {
        deletePattern();
        return;
    }
    const bool keypad = event->modifiers() & Qt::KeypadModifier;
    if (keypad && event->key() == Qt::Key_Asterisk) {
        setBaseOctave(m_baseOctave + 1);
        return;
    }
    if (keypad && event->key() == Qt::Key_Slash) {
        setBaseOctave(m_baseOctave - 1);
        return;
    }
    if (stepKey(*event) || (m_jamOn && jamKey(*event)) || typeKey(*event)
        || (!onNoteEntry() && jamKey(*event)))
        return;
    if (debug)
        qCDebug(lcUi) << "Unhandled pattern KEY" << event->key() << event->modifiers();
    QWidget::keyPressEvent(event);
}

void PatternView::keyReleaseEvent(QKeyEvent* event)
{
    if (!event->isAutoRepeat())
        if (const auto played = m_jam.release(event->key())) {
            recordJam(played);
            return;
        }
    QWidget::keyReleaseEvent(event);
}

void PatternView::focusOutEvent(QFocusEvent* event)
{
    // The release of a held key goes elsewhere now.
    recordJam(m_jam.stop());
    QWidget::focusOutEvent(event);
}

bool PatternView::stepKey(const QKeyEvent& event)
{
    const bool shift = event.modifiers() & Qt::ShiftModifier;
    int delta = 0;
    if (event.key() == Qt::Key_Plus && shift)
        delta = 1;
    else if ((event.key() == Qt::Key_Minus && shift) || event.key() == Qt::Key_Underscore
        || event.key() == kMinusSign)
        delta = -1;
    if (delta == 0)
        return false;
    stepSelection(delta, event.modifiers() & Qt::ControlModifier);
    return true;
}

bool PatternView::typeKey(const QKeyEvent& event)
{
    // Ctrl and Alt keys are commands, never values.
    if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const SchemaPointer s = schema();
    const ParameterPointer p = s ? s->parameterOfCell(m_cursor.parameterIndex) : nullptr;
    if (!p || m_cursor.digitCount() == 0)
        return false;
    const int tick = m_cursor.tick;
    const int parameter = m_cursor.parameterIndex;
    const quint32 old = patternEdits::cellAt(*m_pattern, *s, tick, parameter);
    const auto value = patternEdits::typedValue(*p, m_cursor.digitInParameter, old, event.key(),
        event.modifiers() & Qt::KeypadModifier, m_baseOctave);
    if (!value)
        return false;
    record(tr("typing"), tick, tick,
        [&] { patternEdits::writeCell(*m_pattern, *s, tick, parameter, *value); },
        { parameter, tick });
    moveTick(tick + 1);
    return true;
}

bool PatternView::onNoteEntry() const
{
    const SchemaPointer s = schema();
    const ParameterPointer p = s ? s->parameterOfCell(m_cursor.parameterIndex) : nullptr;
    if (!p || m_cursor.digitCount() == 0)
        return false;
    const auto kind = patternEdits::digitKind(*p, m_cursor.digitInParameter);
    return kind == patternEdits::DigitKind::Note || kind == patternEdits::DigitKind::Octave;
}

bool PatternView::jamKey(const QKeyEvent& event)
{
    if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const auto note = patternEdits::noteOfKey(
        event.key(), event.modifiers() & Qt::KeypadModifier, m_baseOctave);
    if (!note)
        return false;
    // A held key repeats; the note it started goes on sounding.
    if (!event.isAutoRepeat())
        recordJam(m_jam.press(m_node, event.key(), *note));
    return true;
}

void PatternView::recordJam(const std::optional<KeyboardJam::Played>& played)
{
    if (!played || played->node != m_node)
        return;
    // A note let go within its own row keeps that row; its end goes to the next one.
    const bool noteOff = played->value == KeyboardJam::kNoteOff;
    const int row = m_recording->write(
        played->node, m_pattern, played->parameter, played->value, noteOff ? m_jamRow : -1);
    m_jamRow = noteOff ? -1 : row;
    update();
}

void PatternView::renewRecording()
{
    m_recording = std::make_unique<RecordingPass>(m_song, m_history, tr("Record notes"));
    m_recording->currentPattern = [this] { return m_pattern; };
}

void PatternView::setJam(bool on)
{
    m_jamOn = on;
}

void PatternView::record(
    const QString& text, int first, int last, const std::function<void()>& change, TypingRun typing)
{
    if (!m_pattern)
        return;
    const PatternEdit edit(m_pattern, first, last);
    change();
    if (QUndoCommand* command = edit.command(text, typing)) {
        if (m_history)
            m_history->push(command);
        else
            delete command;
    }
    update();
}

void PatternView::eraseValue()
{
    const SchemaPointer s = schema();
    const ParameterPointer p = s ? s->parameterOfCell(m_cursor.parameterIndex) : nullptr;
    if (!p)
        return;
    const int tick = m_cursor.tick;
    record(tr("erase"), tick, tick,
        [&] { patternEdits::writeCell(*m_pattern, *s, tick, m_cursor.parameterIndex, p->empty); });
    moveTick(tick + 1);
}

void PatternView::insertRow()
{
    if (!m_pattern || m_cursor.tick >= m_pattern->length)
        return;
    record(tr("insert row"), m_cursor.tick, m_pattern->length - 1,
        [&] { patternEdits::insertRow(*m_pattern, m_cursor.tick); });
}

void PatternView::deleteRow()
{
    if (!m_pattern || m_cursor.tick >= m_pattern->length)
        return;
    record(tr("delete row"), m_cursor.tick, m_pattern->length - 1,
        [&] { patternEdits::deleteRow(*m_pattern, m_cursor.tick); });
}

void PatternView::stepSelection(int delta, bool coarse)
{
    const SchemaPointer s = schema();
    if (!s || !m_selection.active)
        return;
    const auto span = selectedSpan();
    record(tr("step values"), span.firstTick, span.lastTick,
        [&] { patternEdits::step(*m_pattern, *s, span, delta, coarse); });
}

void PatternView::interpolateSelection(bool throughWaypoints)
{
    const SchemaPointer s = schema();
    if (!s || !m_selection.active)
        return;
    const auto span = selectedSpan();
    record(throughWaypoints ? tr("interpolate through values") : tr("interpolate"), span.firstTick,
        span.lastTick, [&] {
            if (throughWaypoints)
                patternEdits::interpolateWaypoints(*m_pattern, *s, span);
            else
                patternEdits::interpolate(*m_pattern, *s, span);
        });
}

void PatternView::copySelection()
{
    if (!m_selection.active)
        return;
    const auto span = selectedSpan();
    auto data = patternClipboard::copy(m_node, m_pattern, schema(),
        { span.firstTick, span.lastTick, span.firstParameter, span.lastParameter });
    if (data)
        QApplication::clipboard()->setMimeData(data.release());
}

void PatternView::cutSelection()
{
    const SchemaPointer s = schema();
    if (!s || !m_selection.active)
        return;
    copySelection();
    const auto span = selectedSpan();
    record(tr("cut"), span.firstTick, span.lastTick,
        [&] { patternEdits::erase(*m_pattern, *s, span); });
    m_selection.clear();
    update();
}

void PatternView::paste()
{
    const SchemaPointer s = schema();
    if (!s)
        return;
    const QMimeData* data = QApplication::clipboard()->mimeData();
    record(tr("paste"), m_cursor.tick, m_pattern->length - 1, [&] {
        patternClipboard::paste(
            data, m_node, m_pattern, s, { m_cursor.tick, m_cursor.parameterIndex });
    });
}

void PatternView::addLane()
{
    changeLanes(true);
}

void PatternView::removeLane()
{
    changeLanes(false);
}

void PatternView::changeLanes(bool add)
{
    if (!m_pattern)
        return;
    bool refused = false;
    record(add ? tr("add lane") : tr("remove lane"), 0, -1,
        [&] { refused = !(add ? m_pattern->addLane() : m_pattern->removeLane()); });
    if (refused) {
        if (add)
            inform(tr("Max lanes"), tr("Can't add more lanes to this pattern"));
        else
            inform(tr("Min lanes"), tr("Can't remove more lanes from this pattern"));
    }
    m_selection.clear();
    relayOut();
    update();
}

void PatternView::newPattern()
{
    patternFlow(NewFlow);
}

void PatternView::copyPattern()
{
    patternFlow(CopyFlow);
}

void PatternView::editPattern()
{
    patternFlow(EditFlow);
}

void PatternView::deletePattern()
{
    patternFlow(DeleteFlow);
}

void PatternView::pushCommand(QUndoCommand* command)
{
    if (m_history) {
        m_history->push(command);
        return;
    }
    command->redo(); // without a history the edit still happens, once
    delete command;
}

std::optional<PatternView::PatternAnswer> PatternView::askForName(
    int mode, const QString& name, int length)
{
    static const char* const kTitles[]
        = { QT_TR_NOOP("New Pattern"), QT_TR_NOOP("Copy Pattern"), QT_TR_NOOP("Edit Pattern") };
    static const char* const kWhat[] = { "new", "copy", "edit" };
    PatternAnswer answer { true, name, length };
    for (;;) {
        answer = askPattern(tr(kTitles[mode]), answer.name, answer.length);
        if (!answer.accepted)
            return std::nullopt;
        const Pattern* except = mode == EditFlow ? m_pattern.data() : nullptr;
        if (!patternNames::taken(*m_node, answer.name, except))
            return answer;
        inform(tr("Pattern exists for %1").arg(QLatin1String(kWhat[mode])),
            tr("A pattern already exists with the name you selected"));
        qCInfo(lcUi).noquote() << "Pattern already exists for" << kWhat[mode];
    }
}

void PatternView::patternFlow(int mode)
{
    if (!m_node) {
        qCDebug(lcUi) << "No selected node";
        return;
    }
    if (mode != NewFlow && !m_pattern) {
        qCDebug(lcUi) << "No selected pattern to edit, copy or delete";
        return;
    }
    if (mode == DeleteFlow) {
        if (!ask(tr("Delete Pattern"), tr("Would you like to delete this pattern?")))
            return;
        pushCommand(new PatternListCommand(m_node, m_pattern, false, tr("delete pattern")));
        showPattern(m_node, {});
        emit updatePatterns();
        return;
    }
    const int gridLength
        = m_song && m_song->sequencer ? m_song->sequencer->position.ticksPerStep() : 16;
    const QString proposal = mode == NewFlow ? patternNames::proposeNew(*m_node)
        : mode == CopyFlow                   ? patternNames::proposeCopy(*m_node, m_pattern->name)
                                             : m_pattern->name;
    const auto answer
        = askForName(mode, proposal, mode == NewFlow ? gridLength : m_pattern->length);
    if (!answer)
        return;
    PatternPointer target = m_pattern;
    if (mode == EditFlow) {
        record(tr("edit pattern"), 0, -1, [&] {
            m_pattern->name = answer->name;
            m_pattern->length = std::max(1, answer->length);
        });
    } else {
        target = mode == NewFlow ? PatternPointer::create(answer->name, m_node, answer->length)
                                 : copyOf(*m_pattern, answer->name);
        pushCommand(new PatternListCommand(
            m_node, target, true, mode == NewFlow ? tr("new pattern") : tr("copy pattern")));
        emit updatePatterns();
    }
    emit navigateApp(QStringLiteral("pattern(%1, %2)").arg(m_node->uniqueID, target->uniqueID));
}

// The copy keeps the source's length and rows, deep, under a fresh identifier with one lane.
PatternPointer PatternView::copyOf(const Pattern& source, const QString& name) const
{
    const auto copy
        = PatternPointer::create(name.isEmpty() ? source.name : name, m_node, source.length);
    copy->lanes = 1;
    for (const RowPointer& row : source.rows)
        copy->rows.append(row ? RowPointer::create(*row) : RowPointer());
    return copy;
}

void PatternView::playPositionChanged(const Position& position)
{
    int row = -1;
    if (m_song && m_song->sequencer && m_node && m_pattern) {
        const qint32 tick = scheduler::tickOf(position, position.playPos.sample);
        const scheduler::PlayingRow playing
            = scheduler::playingRow(*m_song->sequencer, *m_node, tick);
        if (playing.pattern == m_pattern.data())
            row = int(playing.index);
    }
    if (row == m_playRow)
        return;
    m_playRow = row;
    if (row >= 0 && position.playing
        && (row < m_scrollTop || row >= m_scrollTop + visibleRows() - 2))
        m_scrollTop = std::max(0, row - visibleRows() / 2);
    update();
}

void PatternView::wheelEvent(QWheelEvent* event)
{
    const double degrees = std::round(event->angleDelta().y() / 8.0);
    const int steps = int(std::round(degrees / 15.0));
    if (steps != 0)
        moveTick(m_cursor.tick - steps);
    event->accept();
}

void PatternView::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    if (!m_pattern || event->button() != Qt::LeftButton)
        return;
    const int row = int(event->position().y()) / m_rowHeight - kHeaderRows;
    const int x = int(event->position().x()) - m_gutter + m_scrollX;
    const int column = m_geometry.firstColumnFrom(x);
    if (row < 0 || column >= m_geometry.columns().size())
        return;
    const auto& c = m_geometry.columns().at(column);
    const int inside = std::clamp((x - c.x - kCellMargin / 2) / m_charWidth, 0, c.characters - 1);
    m_selection.endExtending();
    const bool moved = m_cursor.moveTickAbsolute(m_scrollTop + row);
    const int digit = m_cursor.firstDigitOf(column);
    cursorMoved(moved | (digit >= 0 && m_cursor.moveDigitAbsolute(digit + inside)));
}

void PatternView::contextMenuEvent(QContextMenuEvent* event)
{
    m_menu->popup(event->globalPos());
}

QRect PatternView::cellRect(int tick, int parameter) const
{
    if (parameter < 0 || parameter >= m_geometry.columns().size())
        return {};
    const auto& c = m_geometry.columns().at(parameter);
    return QRect(m_gutter + c.x - m_scrollX, (tick - m_scrollTop + kHeaderRows) * m_rowHeight,
        c.width, m_rowHeight);
}

void PatternView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const GridColours colours = GridColours::of(palette());
    painter.fillRect(rect(), colours.base);
    if (!m_pattern || !schema()) {
        painter.setPen(colours.faint);
        painter.drawText(rect(), Qt::AlignCenter, tr("No pattern selected"));
        return;
    }
    const int first = m_geometry.firstColumnFrom(m_scrollX);
    const int last = std::min(int(m_geometry.columns().size()),
        m_geometry.firstColumnFrom(m_scrollX + width() - m_gutter) + 1);
    paintRows(painter, first, last);
    paintHeader(painter, first, last);
}

void PatternView::paintHeader(QPainter& painter, int firstColumn, int lastColumn)
{
    const GridColours colours = GridColours::of(palette());
    painter.fillRect(0, 0, width(), kHeaderRows * m_rowHeight, colours.header);
    const SchemaPointer s = schema();
    const auto& columns = m_geometry.columns();
    int shownLane = -1;
    for (int i = firstColumn; i < lastColumn; ++i) {
        const auto& c = columns.at(i);
        const ParameterPointer p = s->parameterOfCell(i);
        const int x = m_gutter + c.x - m_scrollX;
        painter.setPen(c.lane == m_cursor.column ? colours.text : colours.faint);
        if (c.lane != shownLane) {
            shownLane = c.lane;
            painter.drawText(QRect(x, 0, width(), m_rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                c.lane == 0 ? tr("Node") : tr("Lane %1").arg(c.lane));
        }
        const QString name = painter.fontMetrics().elidedText(
            p ? p->name : QString(), Qt::ElideRight, c.width - 2, Qt::TextSingleLine);
        painter.drawText(
            QRect(x, m_rowHeight, c.width, m_rowHeight), Qt::AlignLeft | Qt::AlignVCenter, name);
    }
    painter.fillRect(0, 0, m_gutter, kHeaderRows * m_rowHeight, colours.header);
}

void PatternView::paintRows(QPainter& painter, int firstColumn, int lastColumn)
{
    const GridColours colours = GridColours::of(palette());
    const SchemaPointer s = schema();
    const PatternSelection::Span span = selectedSpan();
    const int last = std::min(m_pattern->length, m_scrollTop + visibleRows());
    const int baseline
        = (m_rowHeight + painter.fontMetrics().ascent() - painter.fontMetrics().descent()) / 2;
    for (int tick = m_scrollTop; tick < last; ++tick) {
        const int row = tick - m_scrollTop;
        const int y = (row + kHeaderRows) * m_rowHeight;
        if (tick % kBeatRows == 0)
            painter.fillRect(0, y, width(), m_rowHeight, colours.beat);
        if (tick == m_cursor.tick)
            painter.fillRect(0, y, width(), m_rowHeight, colours.cursorRow);
        if (tick == m_playRow)
            painter.fillRect(0, y, width(), m_rowHeight, colours.play);
        painter.setPen(tick == m_cursor.tick ? colours.text : colours.faint);
        painter.drawText(QRect(0, y, m_gutter - m_charWidth / 2, m_rowHeight),
            Qt::AlignRight | Qt::AlignVCenter, hexText(quint32(tick), 2));
        const RowPointer cells = m_pattern->rowAt(tick);
        for (int i = firstColumn; i < lastColumn; ++i) {
            const ParameterPointer p = s->parameterOfCell(i);
            const QRect box = cellRect(tick, i);
            if (m_selection.active && tick >= span.firstTick && tick <= span.lastTick
                && i >= span.firstParameter && i <= span.lastParameter)
                painter.fillRect(box, colours.selection);
            const quint32 value = cells && i < cells->cells.size() ? cells->cells.at(i) : p->empty;
            const QString text = cellText(*p, value, bool(cells));
            const bool empty = !cells || value == p->empty;
            const int textX = box.x() + kCellMargin / 2;
            painter.setPen(empty ? colours.faint : colours.text);
            painter.drawText(textX, y + baseline, text);
            if (tick == m_cursor.tick && i == m_cursor.parameterIndex) {
                const QRect mark(
                    textX + m_cursor.digitInParameter * m_charWidth, y, m_charWidth, m_rowHeight);
                painter.fillRect(mark, colours.cursor);
                painter.setPen(colours.cursorText);
                painter.drawText(mark, Qt::AlignCenter, text.mid(m_cursor.digitInParameter, 1));
            }
        }
    }
}
