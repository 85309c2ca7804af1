#include "app/window/Zarn.h"

#include "app/window/XRayText.h"
#include "infra/Settings.h"
#include "media/devices/DeviceManager.h"
#include "song/Graph.h"
#include "song/Sequencer.h"
#include "song/SongFile.h"
#include "ui/config/ConfigurationEditor.h"
#include "ui/export/ExportDialog.h"
#include "ui/info/SongInfoEditor.h"
#include "ui/pages/MixerPage.h"
#include "ui/pages/NodePage.h"
#include "ui/pages/PatternPage.h"
#include "ui/pages/SequencerPage.h"
#include "ui/parameters/ParameterView.h"
#include "ui/scopes/ConnectionScope.h"
#include "ui/shortcuts/ShortcutHelpWidget.h"
#include "ui/shortcuts/ShortcutRegistry.h"
#include "ui/status/EngineStatusWidget.h"
#include "ui/transport/TrackerTransport.h"
#include "ui/undo/SongHistory.h"

#include "app/window/Logging.h"
#include "ui_Zarn.h"

#include <QCloseEvent>
#include <QDebug>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QSignalBlocker>

using media::devices::DeviceManager;

const QString Zarn::kFileFilter
    = QStringLiteral("ZARN Files (*.zarn);;BMX Files (*.bmx);;All Files (*.*)");
const QString Zarn::kTitle = QStringLiteral("Kalvex Zarn");

namespace {

// What a selector lists, as name and uniqueID, to compare with what the song holds.
QStringList listedItems(const QComboBox& box)
{
    QStringList items;
    for (int i = 0; i < box.count(); ++i)
        items << box.itemText(i) + box.itemData(i).toString();
    return items;
}

template <class T> QStringList itemsOf(const QList<QSharedPointer<T>>& list)
{
    QStringList items;
    for (const QSharedPointer<T>& item : list)
        items << item->name + item->uniqueID;
    return items;
}

// The nodes a user can pick: a probe listening to a wire is none of them.
QList<zarn::NodePointer> selectableNodes(const Graph& graph)
{
    QList<zarn::NodePointer> nodes = graph.nodes;
    nodes.removeIf([](const zarn::NodePointer& node) { return node->probe; });
    return nodes;
}

constexpr int kTicksPerStepChoices[] = { 1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64 };
constexpr int kOctaves = 10;
constexpr int kDefaultOctave = 4;

QString onOff(bool on)
{
    return on ? QStringLiteral("ON") : QStringLiteral("OFF");
}

// Keeps a widget disabled for the length of a flow, so no edit lands in the middle of it.
class DisabledWhile {
public:
    explicit DisabledWhile(QWidget* widget)
        : m_widget(widget)
    {
        m_widget->setEnabled(false);
    }
    ~DisabledWhile() { m_widget->setEnabled(true); }

private:
    QWidget* m_widget;
};

// Pauses the player for the length of a flow and restores its state afterwards.
class PausedWhile {
public:
    explicit PausedWhile(ZarnPlayer& player)
        : m_player(player)
        , m_wasRunning(player.setRunning(false))
    {
    }
    ~PausedWhile() { m_player.setRunning(m_wasRunning); }

private:
    ZarnPlayer& m_player;
    bool m_wasRunning;
};

QString dialogFile(QWidget* parent, const QString& title, const QString& suggestion,
    const QString& filter, bool forSaving)
{
    return forSaving ? QFileDialog::getSaveFileName(parent, title, suggestion, filter)
                     : QFileDialog::getOpenFileName(parent, title, suggestion, filter);
}

} // namespace

// A destination prefix, the page it shows and the button that marks it.
struct Zarn::PageRoute {
    QString prefix;
    EditorPage* page;
    QAbstractButton* button;
};

Zarn::Zarn(const QSharedPointer<Settings>& settings, QWidget* parent)
    : QWidget(parent)
    , chooseOpenFile([](QWidget* p, const QString& t, const QString& s, const QString& f) {
        return dialogFile(p, t, s, f, false);
    })
    , chooseSaveFile([](QWidget* p, const QString& t, const QString& s, const QString& f) {
        return dialogFile(p, t, s, f, true);
    })
    , m_ui(std::make_unique<Ui::Zarn>())
    , m_settings(settings)
    , m_song(Song::createNewSong(kDefaultPatternLength))
    , m_player(new ZarnPlayer(this))
    , m_history(new SongHistory(this))
{
    m_ui->setupUi(this);
    buildPages();
    buildSelectors();
    connectForm();
    buildShortcuts();
    m_player->setRunning(false);
    setSong(m_song);
    setFilePath(QString());
    restoreTempo();
    restoreWindowState();
    navigateTo(QStringLiteral("nodes"));
    m_player->setRunning(false);
}

Zarn::~Zarn()
{
    // The output device's stream must stop before its objects go.
    m_player->setRunning(false);
}

void Zarn::buildPages()
{
    m_nodePage = new NodePage(m_ui->pageNodes);
    m_patternPage = new PatternPage(m_ui->pagePatterns);
    m_sequencerPage = new SequencerPage(m_ui->pageSequencer);
    m_mixerPage = new MixerPage(m_ui->pageMixer);
    m_ui->pageNodes->layout()->addWidget(m_nodePage);
    m_ui->pagePatterns->layout()->addWidget(m_patternPage);
    m_ui->pageSequencer->layout()->addWidget(m_sequencerPage);
    m_ui->pageMixer->layout()->addWidget(m_mixerPage);

    auto* transportLayout = new QVBoxLayout(m_ui->transportWidget);
    transportLayout->setContentsMargins(0, 0, 0, 0);
    m_transport = new TrackerTransport(m_ui->transportWidget);
    m_transport->setSettings(m_settings);
    transportLayout->addWidget(m_transport);

    auto* statusLayout = new QVBoxLayout(m_ui->widgetEngineStatus);
    statusLayout->setContentsMargins(4, 0, 4, 0);
    m_status = new EngineStatusWidget(m_ui->widgetEngineStatus);
    statusLayout->addWidget(m_status);

    m_ui->widgetDebug->setVisible(false);
    m_ui->tableWidgetData->setColumnCount(2);
    m_ui->tableWidgetData->setHorizontalHeaderLabels({ tr("Cell"), tr("Value") });
}

void Zarn::buildSelectors()
{
    for (const int ticks : kTicksPerStepChoices)
        m_ui->comboBoxTicksPerStep->addItem(QString::number(ticks), ticks);
    m_ui->comboBoxTicksPerStep->setCurrentIndex(
        m_ui->comboBoxTicksPerStep->findData(kDefaultPatternLength));
    for (int octave = 0; octave < kOctaves; ++octave)
        m_ui->comboBoxBaseOctave->addItem(QString::number(octave), octave);
    m_ui->comboBoxBaseOctave->setCurrentIndex(kDefaultOctave);
    // The window opens on the node page, which has no use for the octave.
    m_ui->labelBaseOctave->setVisible(false);
    m_ui->comboBoxBaseOctave->setVisible(false);
}

void Zarn::connectForm()
{
    const struct {
        QAbstractButton* button;
        void (Zarn::*slot)();
    } clicks[] = {
        { m_ui->pushButtonLoad, &Zarn::load },
        { m_ui->pushButtonSave, &Zarn::save },
        { m_ui->pushButtonClear, &Zarn::clear },
        { m_ui->pushButtonPatterns, &Zarn::goToPatterns },
        { m_ui->pushButtonNodes, &Zarn::goToNodes },
        { m_ui->pushButtonSequencer, &Zarn::goToSequencer },
        { m_ui->pushButtonMixer, &Zarn::goToMixer },
        { m_ui->pushButtonInfo, &Zarn::showSongInfo },
        { m_ui->pushButtonExport, &Zarn::showExport },
        { m_ui->pushButtonConfig, &Zarn::showConfiguration },
        { m_ui->pushButtonArrange, &Zarn::autoArrange },
        { m_ui->pushButtonZoomToFit, &Zarn::zoomToFit },
    };
    connect(m_ui->pushButtonUndo, &QAbstractButton::clicked, m_history, &SongHistory::undo);
    connect(m_ui->pushButtonRedo, &QAbstractButton::clicked, m_history, &SongHistory::redo);
    connect(m_history, &SongHistory::edited, this, &Zarn::showHistory);
    for (const auto& click : clicks)
        connect(click.button, &QAbstractButton::clicked, this, click.slot);
    connect(m_ui->toggleButtonAudio, &QAbstractButton::toggled, this, &Zarn::toggleAudio);
    connect(m_ui->toggleButtonXRay, &QAbstractButton::toggled, this, &Zarn::toggleXRay);
    connect(m_ui->toggleButtonFullscreen, &QAbstractButton::toggled, this, &Zarn::toggleFullscreen);
    connect(m_ui->comboBoxNode, &QComboBox::currentTextChanged, this, &Zarn::selectedNodeChanged);
    connect(
        m_ui->comboBoxPattern, &QComboBox::currentTextChanged, this, &Zarn::selectedPatternChanged);
    connect(m_ui->comboBoxTicksPerStep, &QComboBox::currentIndexChanged, this,
        &Zarn::ticksPerStepSelected);
    connectPatternView();
    connectSequencerView();
    connectNodeView();
    m_mixerPage->view()->setHistory(m_history);

    connect(m_player, &ZarnPlayer::positionChanged, m_transport,
        &TrackerTransport::playPositionChanged);
    connect(m_player, &ZarnPlayer::positionChanged, this, &Zarn::followPlayPosition);
    connect(
        m_player, &ZarnPlayer::engineStatusChanged, m_status, &EngineStatusWidget::updateStatus);
    connect(m_transport, &TrackerTransport::playbackModeChanged, this, [this](bool render) {
        m_player->setMode(render ? ZarnPlayer::Render : ZarnPlayer::Live);
        m_status->setRenderMode(render);
    });
    connect(m_transport, &TrackerTransport::gridChanged, this, &Zarn::syncTicksPerStepSelector);
    connect(m_transport, &TrackerTransport::playingChanged, this, &Zarn::playingToggled);
}

void Zarn::connectPatternView()
{
    PatternView* view = m_patternPage->view();
    view->setHistory(m_history);
    connect(view, &PatternView::cursorChanged, this, &Zarn::refreshXRay);
    connect(m_history, &SongHistory::edited, this, &Zarn::refreshXRay);
    connect(view, &PatternView::navigateApp, this, &Zarn::navigateTo);
    connect(view, &PatternView::updatePatterns, this, &Zarn::syncPatternSelector);
    connect(m_history, &SongHistory::edited, this, &Zarn::syncPatternSelector);
    connect(view, &PatternView::baseOctaveChanged, m_ui->comboBoxBaseOctave,
        &QComboBox::setCurrentIndex);
    connect(m_ui->comboBoxBaseOctave, &QComboBox::currentIndexChanged, view,
        &PatternView::setBaseOctave);
    view->setBaseOctave(m_ui->comboBoxBaseOctave->currentIndex());
    connect(m_player, &ZarnPlayer::positionChanged, view, &PatternView::playPositionChanged);
    connect(m_transport, &TrackerTransport::jamChanged, view, &PatternView::setJam);
}

void Zarn::connectSequencerView()
{
    SequencerView* view = m_sequencerPage->view();
    view->setHistory(m_history);
    connect(view, &SequencerView::navigate, this, &Zarn::navigateTo);
    connect(
        view, &SequencerView::ticksPerStepChanged, m_transport, &TrackerTransport::setTicksPerStep);
    connect(m_player, &ZarnPlayer::positionChanged, view, &SequencerView::playPositionChanged);
    connect(view, &SequencerView::playPositionMoved, this, [this] {
        const Position& position = m_song->sequencer->position;
        m_transport->playPositionChanged(position);
        m_patternPage->view()->playPositionChanged(position);
    });
}

void Zarn::connectNodeView()
{
    NodeView* view = m_nodePage->view();
    view->setHistory(m_history);
    connect(m_history, &SongHistory::edited, view, &NodeView::graphEdited);
    connect(m_history, &SongHistory::edited, this, &Zarn::syncNodeSelector);
    connect(view, &NodeView::scopeRequested, this, &Zarn::showConnectionScope);
    view->makeParameterView = [this](const zarn::NodePointer& node, QWidget* parent) {
        auto* window = new ParameterView(node, m_song, m_history, parent);
        window->currentPattern = [this, node] { return patternToRecordInto(node); };
        return window;
    };
}

// The pattern the editor shows when it shows the node, else the node's first.
PatternPointer Zarn::patternToRecordInto(const zarn::NodePointer& node) const
{
    if (m_ui->comboBoxNode->currentData().toString() == node->uniqueID)
        for (const PatternPointer& pattern : node->patterns)
            if (pattern->uniqueID == m_ui->comboBoxPattern->currentData().toString())
                return pattern;
    return node->patterns.value(0);
}

void Zarn::buildShortcuts()
{
    const QHash<QString, std::function<void()>> actions {
        { QStringLiteral("global.help"), [this] { showKeyboardHelp(); } },
        { QStringLiteral("global.pattern_editor"),
            [this] { navigateTo(QStringLiteral("pattern")); } },
        { QStringLiteral("global.node_graph"), [this] { navigateTo(QStringLiteral("node")); } },
        { QStringLiteral("global.sequencer"), [this] { navigateTo(QStringLiteral("sequencer")); } },
        { QStringLiteral("global.play"), [this] { startPlaying(false); } },
        { QStringLiteral("global.play_from_cursor"), [this] { startPlaying(true); } },
        { QStringLiteral("global.stop"), [this] { m_transport->togglePlay(false); } },
        { QStringLiteral("global.fullscreen"), [this] { toggleFullscreen(!isFullScreen()); } },
        { QStringLiteral("global.open"), [this] { load(); } },
        { QStringLiteral("global.save"), [this] { save(); } },
        { QStringLiteral("global.undo"), [this] { m_history->undo(); } },
        { QStringLiteral("global.redo"), [this] { m_history->redo(); } },
        { QStringLiteral("global.redo_alt"), [this] { m_history->redo(); } },
        { QStringLiteral("global.export"), [this] { showExport(); } },
        { QStringLiteral("pat.base_octave"),
            [this] {
                if (currentPage() != m_patternPage)
                    return;
                m_ui->comboBoxBaseOctave->setFocus();
                m_ui->comboBoxBaseOctave->showPopup();
            } },
    };
    for (const ShortcutEntry& entry : ShortcutRegistry::instance().entries()) {
        const auto action = actions.constFind(entry.id);
        if (action == actions.constEnd() || entry.key.isEmpty())
            continue;
        auto* shortcut = new QShortcut(entry.key, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, *action);
    }
}

void Zarn::restoreTempo()
{
    // A new song starts from the tempo and grid the user worked with last.
    if (!m_settings)
        return;
    m_transport->restoreSettings();
}

void Zarn::restoreWindowState()
{
    if (!m_settings) {
        qCWarning(lcWindow) << "No settings while loading configurations";
        return;
    }
    const QRect geometry = m_settings->windowGeometry();
    if (debug)
        qCDebug(lcWindow) << "Setting geometry from settings:" << geometry;
    if (geometry.width() > 0) {
        showNormal();
        setGeometry(geometry);
    }
    const bool fullScreen
        = m_settings->boolValue(settingskey::kFullScreen, settingskey::kDefaultFullScreen);
    const bool xRay = m_settings->boolValue(settingskey::kXRayMode, settingskey::kDefaultXRayMode);
    m_ui->toggleButtonFullscreen->setChecked(fullScreen);
    m_ui->toggleButtonXRay->setChecked(xRay);
}

EditorPage* Zarn::currentPage() const
{
    QWidget* page = m_ui->stackedWidgetMain->currentWidget();
    return page ? page->findChild<EditorPage*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

void Zarn::navigateTo(const QString& destination)
{
    if (debug)
        qCDebug(lcWindow) << "NAVIGATING TO" << destination;
    const PageRoute routes[] = {
        { QStringLiteral("sequencer"), m_sequencerPage, m_ui->pushButtonSequencer },
        { QStringLiteral("mixer"), m_mixerPage, m_ui->pushButtonMixer },
        { QStringLiteral("pattern"), m_patternPage, m_ui->pushButtonPatterns },
        { QStringLiteral("node"), m_nodePage, m_ui->pushButtonNodes },
    };
    static const QRegularExpression withPattern(
        QStringLiteral("^pattern\\((?<node_name>[^,]+)(?:,(?<pattern_name>[^)]+))?\\)$"));
    for (const PageRoute& route : routes) {
        if (!destination.startsWith(route.prefix))
            continue;
        if (route.page == m_patternPage) {
            const QRegularExpressionMatch match = withPattern.match(destination);
            if (match.hasMatch())
                selectPatternByIds(match.captured(QStringLiteral("node_name")).trimmed(),
                    match.captured(QStringLiteral("pattern_name")).trimmed());
        }
        showPage(route.page, route.button);
        return;
    }
    qCWarning(lcWindow) << "Unknown destination:" << destination;
}

void Zarn::showPage(EditorPage* page, QAbstractButton* button)
{
    for (QAbstractButton* pageButton : { static_cast<QAbstractButton*>(m_ui->pushButtonNodes),
             static_cast<QAbstractButton*>(m_ui->pushButtonPatterns),
             static_cast<QAbstractButton*>(m_ui->pushButtonSequencer),
             static_cast<QAbstractButton*>(m_ui->pushButtonMixer) })
        pageButton->setChecked(pageButton == button);
    m_ui->stackedWidgetMain->setCurrentWidget(page->parentWidget());
    // The selector row carries each page's own tools only while that page is shown.
    for (QWidget* tool :
        std::initializer_list<QWidget*> { m_ui->pushButtonArrange, m_ui->pushButtonZoomToFit })
        tool->setVisible(page == m_nodePage);
    for (QWidget* tool :
        std::initializer_list<QWidget*> { m_ui->labelBaseOctave, m_ui->comboBoxBaseOctave })
        tool->setVisible(page == m_patternPage);
    page->focusTarget()->setFocus();
    if (m_help)
        m_help->setContext(page->shortcutContext());
}

bool Zarn::selectPatternByIds(const QString& nodeId, const QString& patternId)
{
    const int nodeIndex = m_ui->comboBoxNode->findData(
        nodeId, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (nodeIndex < 0)
        return false;
    {
        const QSignalBlocker blockNodes(m_ui->comboBoxNode);
        m_ui->comboBoxNode->setCurrentIndex(nodeIndex);
    }
    fillPatternSelector();
    if (!patternId.isEmpty()) {
        const int patternIndex = m_ui->comboBoxPattern->findData(
            patternId, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
        const QSignalBlocker blockPatterns(m_ui->comboBoxPattern);
        if (patternIndex >= 0)
            m_ui->comboBoxPattern->setCurrentIndex(patternIndex);
    }
    showSelectedPattern();
    return true;
}

void Zarn::setSong(const SongPointer& song)
{
    // A scope listens to a wire of the song it was opened on.
    if (m_connectionScope)
        m_connectionScope->detach();
    if (m_song)
        disconnect(m_song.data(), nullptr, this, nullptr);
    m_song = song;
    m_history->setSong(song);
    showHistory();
    connect(song.data(), &Song::changedFlagChanged, this, &Zarn::showChangedFlag);
    showChangedFlag(song->changed);
    for (EditorPage* page : std::initializer_list<EditorPage*> {
             m_nodePage, m_patternPage, m_sequencerPage, m_mixerPage })
        page->setSong(song);
    m_player->setSong(song); // pauses and resumes the player around the exchange
    // The selector follows the song's grid; a song's timing is its own.
    m_transport->setSong(song->sequencer);
    syncTicksPerStepSelector(song->sequencer->position.ticksPerStep());
    if (m_songInfo)
        m_songInfo->setSong(song);
    if (m_export)
        m_export->setSong(song);
    fillNodeSelector();
    if (debug)
        qCDebug(lcWindow) << "Set song to" << song.data() << "(Nodes)"
                          << "(Pattern)"
                          << "(Sequencer)";
}

void Zarn::fillNodeSelector()
{
    {
        const QSignalBlocker block(m_ui->comboBoxNode);
        m_ui->comboBoxNode->clear();
        for (const zarn::NodePointer& node : selectableNodes(*m_song->graph))
            m_ui->comboBoxNode->addItem(node->name, node->uniqueID);
    }
    fillPatternSelector();
    showSelectedPattern();
}

// Lists the nodes again when the graph's nodes changed, keeping the chosen one if it stays.
void Zarn::syncNodeSelector()
{
    if (listedItems(*m_ui->comboBoxNode) == itemsOf(selectableNodes(*m_song->graph)))
        return;
    const QString nodeId = m_ui->comboBoxNode->currentData().toString();
    const QString patternId = m_ui->comboBoxPattern->currentData().toString();
    fillNodeSelector();
    if (m_song->graph->nodeByUniqueID(nodeId))
        selectPatternByIds(nodeId, patternId);
}

void Zarn::fillPatternSelector()
{
    const QSignalBlocker block(m_ui->comboBoxPattern);
    m_ui->comboBoxPattern->clear();
    const zarn::NodePointer node
        = m_song->graph->nodeByUniqueID(m_ui->comboBoxNode->currentData().toString());
    if (!node)
        return;
    for (const PatternPointer& pattern : node->patterns)
        m_ui->comboBoxPattern->addItem(pattern->name, pattern->uniqueID);
}

void Zarn::syncPatternSelector()
{
    const QString nodeId = m_ui->comboBoxNode->currentData().toString();
    const zarn::NodePointer node = m_song->graph->nodeByUniqueID(nodeId);
    if (!node)
        return;
    // Only a changed list is shown again, so an ordinary edit keeps the cursor where it is.
    if (listedItems(*m_ui->comboBoxPattern) != itemsOf(node->patterns))
        selectPatternByIds(nodeId, m_ui->comboBoxPattern->currentData().toString());
}

void Zarn::showSelectedPattern()
{
    const zarn::NodePointer node
        = m_song->graph->nodeByUniqueID(m_ui->comboBoxNode->currentData().toString());
    PatternPointer pattern;
    if (node)
        for (const PatternPointer& candidate : node->patterns)
            if (candidate->uniqueID == m_ui->comboBoxPattern->currentData().toString())
                pattern = candidate;
    m_patternPage->view()->showPattern(node, pattern);
    refreshXRay();
}

void Zarn::selectedNodeChanged(const QString&)
{
    fillPatternSelector();
    showSelectedPattern();
}

void Zarn::selectedPatternChanged(const QString&)
{
    showSelectedPattern();
}

void Zarn::refreshXRay()
{
    const PatternView& view = *m_patternPage->view();
    const PatternPointer pattern = view.pattern();
    const zarn::NodePointer node = view.node();
    const PatternCursor* cursor = pattern ? &view.cursor() : nullptr;
    m_ui->labelXRay->setText(xRayText(node, pattern, cursor));
    QTableWidget* data = m_ui->tableWidgetData;
    data->setRowCount(0);
    if (!cursor || !node || !node->processor)
        return;
    // The whole row under the cursor, cell by cell, as stored.
    const RowPointer row = pattern->rowAt(cursor->tick);
    const SchemaPointer schema = node->processor->schema();
    const int cells = row ? int(row->cells.size()) : 0;
    data->setRowCount(cells);
    for (int cell = 0; cell < cells; ++cell) {
        const ParameterPointer parameter = schema->parameterOfCell(cell);
        data->setItem(cell, 0, new QTableWidgetItem(parameter ? parameter->name : QString()));
        data->setItem(
            cell, 1, new QTableWidgetItem(QStringLiteral("0x%1").arg(row->cells.at(cell), 0, 16)));
    }
}

void Zarn::syncTicksPerStepSelector(int ticks)
{
    QComboBox* selector = m_ui->comboBoxTicksPerStep;
    int index = selector->findData(ticks);
    const QSignalBlocker block(selector);
    if (index < 0) {
        selector->addItem(QString::number(ticks), ticks);
        index = selector->count() - 1;
    }
    selector->setCurrentIndex(index);
    m_sequencerPage->view()->setTicksPerStep(ticks);
}

void Zarn::ticksPerStepSelected(int index)
{
    // The transport's TPS box holds the same grid: it writes the position and the store, and
    // its grid signal brings the sequencer page along.
    m_transport->setTicksPerStep(m_ui->comboBoxTicksPerStep->itemData(index).toInt());
}

Zarn::Answer Zarn::askAboutUnsavedChanges()
{
    QMessageBox box(QMessageBox::Question, tr("Unsaved Changes"),
        tr("The file has been changed since the last save. Do you want to proceed without saving "
           "changes?"),
        QMessageBox::NoButton, this);
    box.setTextInteractionFlags(Qt::TextBrowserInteraction);
    QPushButton* saveButton = box.addButton(tr("&Save"), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(tr("&Discard"), QMessageBox::DestructiveRole);
    QPushButton* abort = box.addButton(tr("&Abort"), QMessageBox::RejectRole);
    box.setDefaultButton(abort);
    box.setEscapeButton(abort);
    box.exec();
    if (box.clickedButton() == discard)
        return Answer::Proceed;
    if (box.clickedButton() == saveButton)
        return Answer::Save;
    return Answer::Cancel;
}

bool Zarn::newSong()
{
    const DisabledWhile disabled(m_ui->stackedWidgetMain);
    const PausedWhile paused(*m_player);
    if (m_song && m_song->changed) {
        switch (askAboutUnsavedChanges()) {
        case Answer::Cancel:
            return false;
        case Answer::Save:
            saveSong(QString());
            return false;
        case Answer::Proceed:
            break;
        }
    }
    const QVariant length = m_ui->comboBoxTicksPerStep->currentData();
    setSong(Song::createNewSong(length.isValid() ? length.toInt() : kDefaultPatternLength));
    setFilePath(QString());
    // Only a song the program makes takes the tempo the user worked with last.
    restoreTempo();
    return true;
}

QString Zarn::suggestion(const QString& name) const
{
    const QString last = m_settings
        ? m_settings->stringValue(settingskey::kLastFileDir, settingskey::defaultLastFileDir())
        : settingskey::defaultLastFileDir();
    const QFileInfo info(last);
    return info.dir().filePath(name.isEmpty() ? info.fileName() : name);
}

void Zarn::rememberFile(const QString& path)
{
    if (m_settings)
        m_settings->setString(settingskey::kLastFileDir, path);
}

void Zarn::openSong(const QString& name)
{
    if (!newSong())
        return;
    const DisabledWhile disabled(m_ui->stackedWidgetMain);
    const QString suggested = suggestion(name);
    const PausedWhile paused(*m_player);
    const QString chosen = chooseOpenFile(this, tr("Open File"), suggested, kFileFilter);
    if (debug)
        qCDebug(lcWindow) << "LOAD FILES suggested=" << suggested << " actual=" << chosen;
    if (chosen.isEmpty())
        return;
    loadFile(chosen);
}

bool Zarn::loadFile(const QString& path)
{
    const songfile::LoadReport report = loadSongReport(m_song, path);
    if (report.ok) {
        rememberFile(path);
        setFilePath(path);
        Position& position = m_song->sequencer->position;
        // The file holds samples per tick, not the tempo: show numbers that give it back.
        position.matchTempoToSamplesPerTick();
        // The loop point is not saved; a looping song comes round to its own begin.
        position.loopBegin.sample = position.sequenceBegin.sample;
    }
    // Reading replaces the graph and the sequencer, so every page and the player look again.
    setSong(m_song);
    if (!report.ok)
        warn(tr("Open File"),
            tr("Could not open \"%1\":\n%2").arg(QFileInfo(path).fileName(), report.message));
    return report.ok;
}

void Zarn::saveSong(const QString& name)
{
    const DisabledWhile disabled(m_ui->stackedWidgetMain);
    const QString suggested = suggestion(name);
    const PausedWhile paused(*m_player);
    QString chosen = chooseSaveFile(this, tr("Save File"), suggested, kFileFilter);
    if (debug)
        qCDebug(lcWindow) << "SAVE FILES suggested=" << suggested << " actual=" << chosen;
    if (chosen.isEmpty())
        return;
    if (!chosen.endsWith(QStringLiteral(".zarn")))
        chosen += QStringLiteral(".zarn");
    if (!::saveSong(m_song, chosen)) {
        warn(tr("Save File"),
            tr("Could not save \"%1\". The previous file, if any, is unchanged.")
                .arg(QFileInfo(chosen).fileName()));
        return;
    }
    m_history->markSaved();
    rememberFile(chosen);
    setFilePath(chosen);
}

void Zarn::setFilePath(const QString& path)
{
    setWindowFilePath(path);
    // An explicit title hides the file path, so the title names the file itself.
    setWindowTitle(path.isEmpty()
            ? kTitle + QStringLiteral("[*]")
            : QStringLiteral("%1[*] - %2").arg(QFileInfo(path).fileName(), kTitle));
}

void Zarn::showHistory()
{
    const QUndoStack& stack = m_history->stack();
    const struct {
        QAbstractButton* button;
        bool enabled;
        QString tip;
    } buttons[] = {
        { m_ui->pushButtonUndo, stack.canUndo(), tr("Undo %1").arg(stack.undoText()) },
        { m_ui->pushButtonRedo, stack.canRedo(), tr("Redo %1").arg(stack.redoText()) },
    };
    for (const auto& b : buttons) {
        b.button->setEnabled(b.enabled);
        b.button->setToolTip(b.enabled ? b.tip.trimmed() : QString());
    }
}

void Zarn::showChangedFlag(bool changed)
{
    setWindowModified(changed);
}

void Zarn::warn(const QString& title, const QString& text)
{
    QMessageBox::warning(this, title, text);
}

void Zarn::load()
{
    openSong(QString());
}

void Zarn::save()
{
    saveSong(QString());
}

void Zarn::clear()
{
    newSong();
}

void Zarn::goToPatterns()
{
    navigateTo(QStringLiteral("pattern"));
}

void Zarn::goToNodes()
{
    navigateTo(QStringLiteral("node"));
}

void Zarn::goToSequencer()
{
    navigateTo(QStringLiteral("sequencer"));
}

void Zarn::goToMixer()
{
    navigateTo(QStringLiteral("mixer"));
}

void Zarn::showSongInfo()
{
    if (!m_songInfo) {
        m_songInfo = new SongInfoEditor(this);
        m_songInfo->setHistory(m_history);
        m_songInfo->setSong(m_song);
    }
    m_songInfo->show();
    m_songInfo->raise();
    m_songInfo->activateWindow();
}

void Zarn::showExport()
{
    if (!m_export) {
        m_export = new ExportDialog(this);
        m_export->setSong(m_song);
    }
    const QFileInfo song(windowFilePath());
    if (!windowFilePath().isEmpty())
        m_export->suggestPath(
            song.dir().filePath(song.completeBaseName() + QStringLiteral(".wav")));
    m_export->show();
    m_export->raise();
    m_export->activateWindow();
}

void Zarn::showConfiguration()
{
    if (!m_configuration) {
        m_configuration = new ConfigurationEditor(m_settings, this);
        m_configuration->setWindowFlag(Qt::Window);
        connect(m_configuration, &ConfigurationEditor::outputChanged, m_player,
            &ZarnPlayer::onOutputChanged);
        connect(m_configuration, &ConfigurationEditor::bufferSizeChanged, m_player,
            &ZarnPlayer::onBufferSizeChanged);
        connect(m_player, &ZarnPlayer::engineStatusChanged, m_configuration,
            &ConfigurationEditor::onEngineStatusReceived);
    }
    m_configuration->showAtPointer();
}

void Zarn::showConnectionScope(const ConnectionPointer& connection)
{
    if (!m_connectionScope) {
        m_connectionScope = new ConnectionScope(this);
        connect(m_connectionScope, &ConnectionScope::graphChanged, m_nodePage->view(),
            &NodeView::graphEdited);
    }
    m_connectionScope->attach(m_song->graph, connection);
}

void Zarn::showKeyboardHelp()
{
    if (!m_help) {
        m_help = new ShortcutHelpWidget(this);
        m_help->setWindowFlag(Qt::Window);
    }
    if (const EditorPage* page = currentPage())
        m_help->setContext(page->shortcutContext());
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}

void Zarn::chooseOutputDevice()
{
    if (m_outputChosen)
        return;
    DeviceManager& devices = DeviceManager::instance();
    devices.initializeAudio();
    const QString stored
        = m_settings ? m_settings->stringValue(settingskey::kOutputDevice) : QString();
    m_player->onOutputChanged(
        stored.isEmpty() ? DeviceManager::hexId(devices.defaultAudioOutput()) : stored);
    if (m_settings)
        m_player->onBufferSizeChanged(int(m_settings->int64Value(settingskey::kBufferSize)));
    m_outputChosen = true;
}

void Zarn::toggleAudio(bool on)
{
    if (debug)
        qCDebug(lcWindow) << "Toggling audio to " << onOff(on);
    const QSignalBlocker block(m_ui->toggleButtonAudio);
    m_ui->toggleButtonAudio->setChecked(on);
    if (on)
        chooseOutputDevice();
    m_player->setRunning(on);
}

void Zarn::toggleXRay(bool on)
{
    {
        const QSignalBlocker block(m_ui->toggleButtonXRay);
        m_ui->toggleButtonXRay->setChecked(on);
    }
    for (EditorPage* page :
        std::initializer_list<EditorPage*> { m_sequencerPage, m_patternPage, m_nodePage })
        page->setXRayMode(on);
    m_ui->widgetDebug->setVisible(on);
    refreshXRay();
    if (m_settings)
        m_settings->setBool(settingskey::kXRayMode, on);
}

void Zarn::toggleFullscreen(bool on)
{
    if (on == isFullScreen()) {
        if (debug)
            qCDebug(lcWindow) << "Already right fullscreen mode, skipping";
        return;
    }
    if (debug)
        qCDebug(lcWindow) << "Togging fullscreen to " << onOff(on);
    {
        const QSignalBlocker block(m_ui->toggleButtonFullscreen);
        m_ui->toggleButtonFullscreen->setChecked(on);
    }
    if (on && m_settings) {
        if (debug)
            qCDebug(lcWindow) << "Storing gemoetry to settings at fs:" << normalGeometry();
        m_settings->setWindowGeometry(normalGeometry());
    }
    on ? showFullScreen() : showNormal();
    if (m_settings)
        m_settings->setBool(settingskey::kFullScreen, on);
}

void Zarn::zoomToFit()
{
    m_nodePage->zoomToFit();
}

void Zarn::autoArrange()
{
    m_nodePage->autoArrange();
}

void Zarn::startPlaying(bool fromCursor)
{
    if (fromCursor && m_song->sequencer)
        m_song->sequencer->setPlayPositionAtCursor();
    m_transport->togglePlay(true);
}

void Zarn::playingToggled(bool on)
{
    const bool starting = on && !m_playing;
    m_playing = on;
    if (!starting || !m_song->sequencer)
        return;
    Position& position = m_song->sequencer->position;
    // Play where a song has stopped at its end starts it again.
    if (position.sequenceEnd.sample > 0 && position.playPos >= position.sequenceEnd)
        position.playPos.sample = position.sequenceBegin.sample;
    if (position.playPos == position.sequenceBegin)
        m_player->startFromSequenceBegin();
}

void Zarn::followPlayPosition(const Position& position)
{
    // Playback that ends by itself at the sequence end releases the play button.
    if (!position.playing && m_transport->isPlaying())
        m_transport->togglePlay(false);
}

void Zarn::closeEvent(QCloseEvent* event)
{
    if (isFullScreen())
        toggleFullscreen(false);
    if (m_song && m_song->changed) {
        switch (askAboutUnsavedChanges()) {
        case Answer::Cancel:
            event->ignore();
            return;
        case Answer::Save:
            saveSong(QString());
            if (m_song->changed) {
                event->ignore();
                return;
            }
            break;
        case Answer::Proceed:
            break;
        }
    }
    m_player->setRunning(false);
    event->accept();
}

void Zarn::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_settings && !isFullScreen() && isVisible())
        m_settings->setWindowGeometry(geometry());
}
