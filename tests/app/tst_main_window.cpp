#include "../media/PulseControl.h"
#include "app/window/Zarn.h"
#include "engine/BlockRenderer.h"
#include "infra/Settings.h"
#include "song/Graph.h"
#include "song/Sequencer.h"
#include "song/SongFile.h"
#include "ui/config/ConfigurationEditor.h"
#include "ui/export/ExportDialog.h"
#include "ui/nodes/NodeView.h"
#include "ui/pattern/PatternView.h"
#include "ui/sequencer/SequencerView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cmath>

namespace {

// Clicks `button` in the next message box that opens, and keeps what it said.
struct MessageBoxAnswer {
    QString text;
    bool answered = false;
    void arm(const QString& button)
    {
        QTimer::singleShot(20, [this, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return arm(button);
            text = box->text();
            for (QAbstractButton* candidate : box->buttons())
                if (candidate->text() == button) {
                    answered = true;
                    return QTest::mouseClick(candidate, Qt::LeftButton);
                }
            box->reject();
        });
    }
};

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A saved song's music: the file as it would be written with the play position at 0.
QByteArray musicOf(const QString& path)
{
    const SongPointer song = Song::createEmpty();
    if (!loadSong(song, path))
        return {};
    song->sequencer->position.playPos.sample = 0;
    return songfile::encode(*song);
}

QString examplePath(const char* name)
{
    return QStringLiteral(ZARN_EXAMPLES_DIR "/%1.zarn").arg(QLatin1String(name));
}

// The level of the loudest tenth of a second in a 16-bit mono recording.
double loudestLevel(const QByteArray& raw)
{
    constexpr qsizetype kWindow = 4410;
    const auto* values = reinterpret_cast<const qint16*>(raw.constData());
    double loudest = 0.0;
    for (qsizetype start = 0; start + kWindow <= raw.size() / 2; start += kWindow) {
        double sum = 0.0;
        for (qsizetype i = start; i < start + kWindow; ++i)
            sum += double(values[i]) * values[i];
        loudest = std::max(loudest, std::sqrt(sum / kWindow) / 32768.0);
    }
    return loudest;
}

// Closing, else a new song; the answer; the file chosen to save (empty: cancelled); the result.
struct Question {
    bool closing;
    QString answer, chosen, written;
    bool proceeds;
};

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void unsavedChangesQuestion_data();
    void unsavedChangesQuestion();
    void failedOpenLeavesANewSong();
    void examplesSurviveOpenPlayAndSave_data();
    void examplesSurviveOpenPlayAndSave();
    void changedMeansSavingWouldDiffer_data();
    void changedMeansSavingWouldDiffer();
    void typedNotesUndoAndSave();
    void playsFromTheSequencerCursor();
    void playsAnExampleThroughTheServer();
    void configurationAndScopeReachTheSong();

private:
    // Both file dialogs answer `chosen`; empty is a cancelled dialog.
    std::unique_ptr<Zarn> makeWindow(const QString& chosen = QString(), bool shown = false);
    std::unique_ptr<QTemporaryDir> m_dir;
    QSharedPointer<Settings> m_settings;
};

void MainWindowTest::init()
{
    m_settings.reset(); // before its folder goes
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_settings = QSharedPointer<Settings>::create(
        QStringLiteral("Zarn"), m_dir->filePath(QStringLiteral("zarn.ini")));
}

std::unique_ptr<Zarn> MainWindowTest::makeWindow(const QString& chosen, bool shown)
{
    auto window = std::make_unique<Zarn>(m_settings);
    window->chooseOpenFile
        = [chosen](QWidget*, const QString&, const QString&, const QString&) { return chosen; };
    window->chooseSaveFile = window->chooseOpenFile;
    if (shown) {
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qFatal("the main window was never exposed");
    }
    return window;
}

void MainWindowTest::unsavedChangesQuestion_data()
{
    QTest::addColumn<Question>("question");
    QTest::newRow("new, save keeps the old song") << Question { 0, "&Save", "old", "old.zarn", 0 };
    QTest::newRow("new, save, other extension")
        << Question { 0, "&Save", "old.bmx", "old.bmx.zarn", 0 };
    QTest::newRow("new, discard") << Question { 0, "&Discard", "", "", 1 };
    QTest::newRow("close, discard") << Question { 1, "&Discard", "", "", 1 };
    QTest::newRow("close, abort") << Question { 1, "&Abort", "", "", 0 };
    QTest::newRow("close, save") << Question { 1, "&Save", "closing.zarn", "closing.zarn", 1 };
    QTest::newRow("close, save cancelled") << Question { 1, "&Save", "", "", 0 };
}

void MainWindowTest::unsavedChangesQuestion()
{
    QFETCH(Question, question);
    const auto [closing, answer, chosen, written, proceeds] = question;
    const auto window = makeWindow(chosen.isEmpty() ? QString() : m_dir->filePath(chosen), true);
    const SongPointer old = Song::createNewSong(16);
    window->setSong(old);
    old->taint(QStringLiteral("test edit"));
    MessageBoxAnswer box;
    box.arm(answer);
    QCOMPARE(closing ? window->close() : window->newSong(), proceeds);
    QVERIFY(box.answered);
    QStringList files = QDir(m_dir->path()).entryList(QDir::Files);
    files.removeOne(QStringLiteral("zarn.ini"));
    QCOMPARE(files, written.isEmpty() ? QStringList() : QStringList { written });
    QCOMPARE(window->isVisible(), !(closing && proceeds));
    QVERIFY(window->findChild<QWidget*>("stackedWidgetMain")->isEnabled());
    if (closing)
        return;
    QCOMPARE(window->song() == old, !proceeds);
    if (written.isEmpty())
        return;
    QCOMPARE(m_settings->stringValue(settingskey::kLastFileDir), m_dir->filePath(written));
    // The next dialog starts where the last file went.
    QString suggested;
    window->chooseSaveFile
        = [&](QWidget*, const QString& title, const QString& suggestion, const QString& filter) {
              suggested = suggestion;
              return title == "Save File" && filter == Zarn::kFileFilter ? suggestion : QString();
          };
    window->save();
    QCOMPARE(suggested, m_dir->filePath(written));
}

void MainWindowTest::failedOpenLeavesANewSong()
{
    const QString path = m_dir->filePath(QStringLiteral("broken.zarn"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("SING but not a song at all") > 0);
    }
    const auto window = makeWindow(path);
    const SongPointer before = window->song();
    MessageBoxAnswer box;
    box.arm(QStringLiteral("OK"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(".*"));
    window->load();
    QVERIFY(box.answered);
    QVERIFY2(box.text.contains("broken.zarn"), qPrintable(box.text));
    QVERIFY2(box.text.split('\n').last().size() > 5, qPrintable(box.text)); // the reason
    QVERIFY(window->song() != before);
    QVERIFY(!window->song()->changed);
    QCOMPARE(window->song()->graph->nodes.size(), before->graph->nodes.size());
    QVERIFY(m_settings->stringValue(settingskey::kLastFileDir).isEmpty());
}

void MainWindowTest::examplesSurviveOpenPlayAndSave_data()
{
    QTest::addColumn<QString>("path");
    for (const char* name : { "first-song", "temple-bells", "acid-machine", "radio-ghost" })
        QTest::newRow(name) << examplePath(name);
}

// The whole way a user goes: an example opens with its own tempo, saves to the same bytes,
// and playing it through its end changes nothing but the play position the file records.
void MainWindowTest::examplesSurviveOpenPlayAndSave()
{
    QFETCH(QString, path);
    QString target = m_dir->filePath(QStringLiteral("untouched.zarn"));
    const auto window = makeWindow(QString(), true);
    window->chooseSaveFile
        = [&target](QWidget*, const QString&, const QString&, const QString&) { return target; };
    QVERIFY(window->loadFile(path));
    QCOMPARE(m_settings->stringValue(settingskey::kLastFileDir), path);
    const SongPointer stored = Song::createEmpty();
    QVERIFY(loadSong(stored, path));
    Position shown = stored->sequencer->position;
    const Position& position = window->song()->sequencer->position;
    QCOMPARE(position.samplesPerTick(), shown.samplesPerTick());
    QCOMPARE(window->findChild<QSpinBox*>("spinBoxTPS")->value(), shown.ticksPerStep());
    QCOMPARE(window->findChild<QComboBox*>("comboBoxTicksPerStep")->currentData().toInt(),
        shown.ticksPerStep());
    QCOMPARE(window->findChild<QSpinBox*>("spinBoxTPB")->value(), 4); // as the examples are written
    // The tempo shown gives the stored grid back.
    shown.beatsPerMinute = window->findChild<QSpinBox*>("spinBoxBPM")->value();
    shown.ticksPerBeat = 4;
    shown.updateNumbers();
    QCOMPARE(shown.samplesPerTick(), position.samplesPerTick());
    window->save();
    QCOMPARE(fileBytes(target), fileBytes(path));
    QTest::mouseClick(window->findChild<QAbstractButton*>("toggleButtonLoop"), Qt::LeftButton);
    QTest::keyClick(window.get(), Qt::Key_F5);
    QVERIFY(position.playing);
    BlockRenderer renderer(window->song(), quint64(window->player().bufferSize()));
    const qint64 blocks = (position.sequenceEnd.sample - position.sequenceBegin.sample)
        / window->player().bufferSize();
    for (qint64 block = 0; block <= blocks + 1 && position.playing; ++block)
        renderer.render();
    QVERIFY(!position.playing);
    QVERIFY(!window->song()->changed);
    target = m_dir->filePath(QStringLiteral("played.zarn"));
    window->save();
    QCOMPARE(musicOf(target), musicOf(path));
}

void MainWindowTest::changedMeansSavingWouldDiffer_data()
{
    QTest::addColumn<QString>("action"); // keys, a button, or a tempo or grid edit
    QTest::addColumn<bool>("changed");
    QTest::newRow("play from the cursor") << "F6" << false;
    QTest::newRow("play and stop") << "F5 F8" << false;
    QTest::newRow("open the export") << "Ctrl+Shift+E" << false;
    QTest::newRow("arrange") << "pushButtonArrange" << true;
    QTest::newRow("tempo") << "tempo" << true;
    QTest::newRow("grid") << "grid" << true;
}

// The changed flag, the title's mark and so the unsaved-changes question follow what a
// save would write: view and transport actions leave them alone, edits set them.
void MainWindowTest::changedMeansSavingWouldDiffer()
{
    QFETCH(QString, action);
    QFETCH(bool, changed);
    const auto window = makeWindow(QString(), true);
    QVERIFY(window->loadFile(examplePath("first-song")));
    QVERIFY(!window->isWindowModified());
    window->navigateTo(QStringLiteral("node"));
    auto* selector = window->findChild<QComboBox*>("comboBoxTicksPerStep");
    if (action == "tempo")
        window->findChild<QSpinBox*>("spinBoxBPM")->setValue(97);
    else if (action == "grid")
        selector->setCurrentIndex(selector->findData(3));
    else if (action.contains("Button"))
        QTest::mouseClick(window->findChild<QAbstractButton*>(action), Qt::LeftButton);
    else
        for (const QString& key : action.split(' '))
            QTest::keySequence(window.get(), QKeySequence(key));
    const auto* exporter = window->findChild<ExportDialog*>();
    QCOMPARE(exporter && exporter->isVisible(), action == "Ctrl+Shift+E");
    QCOMPARE(window->song()->changed, changed);
    QCOMPARE(window->isWindowModified(), changed);
}

// F2, a note typed into the lead, undone and redone from the window's keys: the flag and the
// buttons follow, saving makes the state clean, and the file holds the note.
void MainWindowTest::typedNotesUndoAndSave()
{
    const QString target = m_dir->filePath(QStringLiteral("typed.zarn"));
    const auto window = makeWindow(target, true);
    QVERIFY(window->loadFile(examplePath("first-song")));
    zarn::NodePointer lead;
    for (const zarn::NodePointer& node : window->song()->graph->nodes)
        if (node->name == QStringLiteral("Lead"))
            lead = node;
    window->navigateTo(QString("pattern(%1)").arg(lead->uniqueID));
    auto* view = window->findChild<PatternView*>();
    QCOMPARE(view->node(), lead);
    QTest::keyClick(window.get(), Qt::Key_F2);
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Q); // C-4 at the base octave, 4
    auto* undo = window->findChild<QAbstractButton*>("pushButtonUndo");
    QVERIFY(window->isWindowModified() && undo->isEnabled());
    QCOMPARE(undo->toolTip(), QStringLiteral("Undo typing"));
    window->save();
    QVERIFY(!window->isWindowModified());
    QTest::keySequence(window.get(), QKeySequence("Ctrl+Z"));
    QVERIFY(window->isWindowModified());
    QCOMPARE(window->findChild<QAbstractButton*>("pushButtonRedo")->toolTip(),
        QStringLiteral("Redo typing"));
    QTest::keySequence(view, QKeySequence("Ctrl+Shift+Z"));
    QVERIFY(!window->isWindowModified());
    const SongPointer saved = Song::createEmpty();
    QVERIFY(loadSong(saved, target));
    QCOMPARE(
        saved->graph->nodeByUniqueID(lead->uniqueID)->patterns.first()->rowAt(1)->cells.first(),
        60u);
    QVERIFY(window->loadFile(examplePath("first-song")));
    QVERIFY(!undo->isEnabled());
}

// F4, a step chosen in the sequencer, F6: playback starts there on a song without an end.
// A click in the gutter moves the play position, which the transport then reads with the
// step number the sequencer shows; the sequencer's grid and the window's selector agree.
void MainWindowTest::playsFromTheSequencerCursor()
{
    const auto window = makeWindow(QString(), true);
    QVERIFY(window->loadFile(examplePath("first-song")));
    Position& p = window->song()->sequencer->position;
    p.sequenceEnd.sample = 0;
    QTest::keyClick(window.get(), Qt::Key_F4);
    auto* view = window->findChild<SequencerView*>();
    for (const char* key : { "Down", "Down", "PgDown", "F6" })
        QTest::keySequence(view, QKeySequence(QString::fromLatin1(key)));
    QCOMPARE(p.playPos.step(), 18);
    QVERIFY(p.playing);
    QTest::keyClick(view, Qt::Key_F8);
    QTest::mouseClick(
        view, Qt::LeftButton, {}, QPoint(4, view->cellRect(p.scrollStep + 3, 0).y() + 2));
    QCOMPARE(p.playPos.step(), p.scrollStep + 3);
    QCOMPARE(window->findChild<QLabel*>("labelPosition")->text(),
        SequencerView::stepText(p.scrollStep + 3) + ":00");
    view->setTicksPerStep(8);
    QCOMPARE(window->findChild<QComboBox*>("comboBoxTicksPerStep")->currentData().toInt(), 8);
    QCOMPARE(window->findChild<QSpinBox*>("spinBoxTPS")->value(), 8);
}

void MainWindowTest::playsAnExampleThroughTheServer()
{
    if (!pulse::serverAnswers())
        QSKIP("No PulseAudio server answers (scripts/test starts one)");
    const auto window = makeWindow(examplePath("first-song"), true);
    window->load();
    const Position& position = window->song()->sequencer->position;
    const qint32 samplesPerTick = position.samplesPerTick();
    auto* audio = window->findChild<QAbstractButton*>("toggleButtonAudio");
    auto* play = window->findChild<QAbstractButton*>("toggleButtonPlay");
    QTest::mouseClick(audio, Qt::LeftButton);
    QVERIFY(window->player().isRunning());
    // Choosing the device keeps the song's own tempo.
    QCOMPARE(position.samplesPerTick(), samplesPerTick);
    if (window->player().deviceSubgraph().device.id() != "zarn_null")
        QSKIP("The server's default output is not the zarn_null sink");
    QProcess recorder;
    recorder.start(QStringLiteral("parec"),
        { "-d", "zarn_null.monitor", "--raw", "--format=s16le", "--rate=44100", "--channels=1",
            "--latency-msec=50" });
    QVERIFY(recorder.waitForStarted(5000));
    QTest::keyClick(window.get(), Qt::Key_F5);
    QVERIFY(position.playing);
    QVERIFY(play->isChecked());
    const auto& node = window->player().deviceSubgraph().outputNode;
    // Four seconds of stereo: a fresh stream on the null sink may first wait a couple.
    QTRY_VERIFY_WITH_TIMEOUT(node->sampleCount() > quint64(4 * 2 * 44100), 20000);
    recorder.terminate();
    QVERIFY(recorder.waitForFinished(5000));
    // Playing moves the song on, at least a second in four seconds of output.
    QVERIFY(position.playPos.sample > 44100);
    const double level = loudestLevel(recorder.readAllStandardOutput());
    QVERIFY2(level > 0.02, qPrintable(QString::number(level)));
    QTest::keyClick(window.get(), Qt::Key_F8);
    QVERIFY(!position.playing);
    QVERIFY(!play->isChecked());
    const qint32 stoppedAt = position.playPos.sample;
    QTest::qWait(300);
    QCOMPARE(position.playPos.sample, stoppedAt);
    QTest::mouseClick(audio, Qt::LeftButton);
    QVERIFY(!window->player().isRunning());
}

// "Config" opens one configuration window whose block size reaches the player; a wire's scope
// listens through a probe that leaves the song unchanged and goes with the song.
void MainWindowTest::configurationAndScopeReachTheSong()
{
    const auto window = makeWindow(QString(), true);
    window->findChild<QPushButton*>(QStringLiteral("pushButtonConfig"))->click();
    auto* configuration = window->findChild<ConfigurationEditor*>();
    QVERIFY(configuration && configuration->isVisible());
    auto* sizes = configuration->findChild<QComboBox*>(QStringLiteral("comboBoxBufferSize"));
    sizes->setCurrentIndex(sizes->findText(QStringLiteral("512")));
    QCOMPARE(window->player().bufferSize(), 512);
    window->findChild<QPushButton*>(QStringLiteral("pushButtonConfig"))->click();
    QCOMPARE(window->findChildren<ConfigurationEditor*>().size(), 1);

    const SongPointer song = window->song();
    const zarn::NodePointer saw = zarn::Node::create(QStringLiteral("Saw"), song);
    song->graph->addNode(saw);
    song->graph->connect(saw, song->graph->nodes.first());
    song->untaint(QStringLiteral("test"));
    emit window->findChild<NodeView*>()->scopeRequested(song->graph->connections.first());
    QCOMPARE(song->graph->nodes.size(), 3);
    QVERIFY(song->graph->nodes.last()->probe);
    QVERIFY(!song->changed);
    window->newSong();
    QCOMPARE(song->graph->nodes.size(), 2);
}

QTEST_MAIN(MainWindowTest)
#include "tst_main_window.moc"
