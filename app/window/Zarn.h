#pragma once

#include "engine/ZarnPlayer.h"
#include "song/Connection.h"
#include "song/Song.h"

#include <QSharedPointer>
#include <QWidget>

#include <functional>
#include <memory>

class ConfigurationEditor;
class ConnectionScope;
class EditorPage;
class EngineStatusWidget;
class ExportDialog;
class MixerPage;
class NodePage;
class PatternPage;
class QAbstractButton;
class SequencerPage;
class Settings;
class ShortcutHelpWidget;
class SongHistory;
class SongInfoEditor;
class TrackerTransport;

namespace Ui {
class Zarn;
}

// The main window: owns the song and the player, hosts the four pages, the transport and the
// X-ray panel, and runs the new, open and save flows behind the unsaved-changes question.
class Zarn : public QWidget {
    Q_OBJECT

public:
    // Asks for a file; returns an empty path when the user cancels. Tests answer for the user.
    using FileChooser = std::function<QString(
        QWidget* parent, const QString& title, const QString& suggestion, const QString& filter)>;

    static const QString kFileFilter;
    static const QString kTitle;
    static constexpr int kDefaultPatternLength = 16;

    explicit Zarn(const QSharedPointer<Settings>& settings, QWidget* parent = nullptr);
    ~Zarn() override;

    void navigateTo(const QString& destination);
    bool newSong();
    void openSong(const QString& name);
    void saveSong(const QString& name);
    void setSong(const SongPointer& song);
    // Reads the file into a new song without asking for a name; false, after telling the
    // user why, when it could not be read.
    bool loadFile(const QString& path);

    SongPointer song() const { return m_song; }
    ZarnPlayer& player() { return *m_player; }
    SongHistory& history() { return *m_history; }
    EditorPage* currentPage() const;

    FileChooser chooseOpenFile;
    FileChooser chooseSaveFile;
    bool debug = false;

public slots:
    void load();
    void save();
    void clear();
    void goToPatterns();
    void goToNodes();
    void goToSequencer();
    void goToMixer();
    void showSongInfo();
    void showExport();
    void showConfiguration();
    void showConnectionScope(const ConnectionPointer& connection);
    void showKeyboardHelp();
    void toggleAudio(bool on);
    void toggleXRay(bool on);
    void toggleFullscreen(bool on);
    void zoomToFit();
    void autoArrange();
    void selectedNodeChanged(const QString& text);
    void selectedPatternChanged(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct PageRoute;
    enum class Answer { Proceed, Cancel, Save };

    void buildPages();
    void buildSelectors();
    void buildShortcuts();
    void connectForm();
    // The pattern editor's history, X-ray, navigation, octave and play line.
    void connectPatternView();
    // The sequencer editor's history, navigation, grid and play position.
    void connectSequencerView();
    // The node editor's history and the selectors that follow its nodes.
    void connectNodeView();
    void restoreTempo();
    void restoreWindowState();
    Answer askAboutUnsavedChanges();
    QString suggestion(const QString& name) const;
    void rememberFile(const QString& path);
    void showPage(EditorPage* page, QAbstractButton* button);
    bool selectPatternByIds(const QString& nodeId, const QString& patternId);
    void fillNodeSelector();
    void fillPatternSelector();
    void syncNodeSelector();
    PatternPointer patternToRecordInto(const zarn::NodePointer& node) const;
    // Lists the node's patterns again when they changed, keeping the current one if it stays.
    void syncPatternSelector();
    void showSelectedPattern();
    void refreshXRay();
    void syncTicksPerStepSelector(int ticks);
    void ticksPerStepSelected(int index);
    void startPlaying(bool fromCursor);
    void playingToggled(bool on);
    void setFilePath(const QString& path);
    void showChangedFlag(bool changed);
    void showHistory();
    void followPlayPosition(const Position& position);
    void chooseOutputDevice();
    void warn(const QString& title, const QString& text);

    std::unique_ptr<Ui::Zarn> m_ui;
    QSharedPointer<Settings> m_settings;
    SongPointer m_song;
    ZarnPlayer* m_player;
    SongHistory* m_history;
    TrackerTransport* m_transport = nullptr;
    EngineStatusWidget* m_status = nullptr;
    NodePage* m_nodePage = nullptr;
    PatternPage* m_patternPage = nullptr;
    SequencerPage* m_sequencerPage = nullptr;
    MixerPage* m_mixerPage = nullptr;
    SongInfoEditor* m_songInfo = nullptr;
    ExportDialog* m_export = nullptr;
    ShortcutHelpWidget* m_help = nullptr;
    ConfigurationEditor* m_configuration = nullptr;
    ConnectionScope* m_connectionScope = nullptr;
    bool m_outputChosen = false;
    bool m_playing = false;
};
