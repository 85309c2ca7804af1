#include "../media/PulseControl.h"
#include "infra/Settings.h"
#include "infra/Style.h"
#include "app/window/XRayText.h"
#include "app/window/Zarn.h"
#include "engine/BlockRenderer.h"
#include "processors/sources/SawProcessor.h"
#include "song/Graph.h"
#include "song/Sequencer.h"
#include "song/SongFile.h"
#include "ui/pages/PatternPage.h"
#include "ui/shortcuts/ShortcutHelpWidget.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cmath>

namespace {

// Clicks the button with `text` in the next message box that opens, and keeps what it said.
struct MessageBoxAnswer {
    QString title;
    QString text;
    QStringList buttons;
    bool answered = false;

    void arm(const QString& button)
    {
        QTimer::singleShot(20, [this, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) {
                arm(button);
                return;
            }
            title = box->windowTitle();
            text = box->text();
            for (QAbstractButton* candidate : box->buttons())
                buttons << candidate->text();
            for (QAbstractButton* candidate : box->buttons())
                if (candidate->text() == button) {
                    answered = true;
                    QTest::mouseClick(candidate, Qt::LeftButton);
                    return;
                }
            box->reject();
        });
    }
};

// A new song with a Saw wired to the Output, the Saw holding two patterns.
SongPointer twoPatternSong()
{
    const SongPointer song = Song::createNewSong(16);
    const auto saw = zarn::Node::create(QStringLiteral("Saw"), song);
    saw->setName(QStringLiteral("Lead"));
    song->graph->addNode(saw);
    song->graph->connect(saw, song->graph->nodes.first());
    for (const QString& name : { QStringLiteral("A"), QStringLiteral("B") }) {
        const auto pattern = PatternPointer::create(name, saw, 8);
        const auto row = pattern->makeNeutralRow();
        row->cells[SawProcessor::Note] = 69;
        pattern->setRow(2, row);
        saw->addPattern(pattern);
    }
    return song;
}

QString currentData(Zarn& window, const char* comboName)
{
    return window.findChild<QComboBox*>(QString::fromLatin1(comboName))->currentData().toString();
}

QString currentPageName(Zarn& window)
{
    return window.findChild<QStackedWidget*>(QStringLiteral("stackedWidgetMain"))
        ->currentWidget()
        ->objectName();
}

QAbstractButton* button(Zarn& window, const char* name)
{
    return window.findChild<QAbstractButton*>(QString::fromLatin1(name));
}

int spinValue(Zarn& window, const char* name)
{
    return window.findChild<QSpinBox*>(QString::fromLatin1(name))->value();
}

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

QString examplePath(const QString& name)
{
    return QStringLiteral(ZARN_EXAMPLES_DIR "/%1.zarn").arg(name);
}

// The level of the loudest tenth of a second in a 16-bit mono recording.
double loudestLevel(const QByteArray& raw)
{
    constexpr qsizetype kWindow = 4410;
    const auto* values = reinterpret_cast<const qint16*>(raw.constData());
    const qsizetype count = raw.size() / 2;
    double loudest = 0.0;
    for (qsizetype start = 0; start + kWindow <= count; start += kWindow) {
        double sum = 0.0;
        for (qsizetype i = start; i < start + kWindow; ++i)
            sum += double(values[i]) * values[i];
        loudest = std::max(loudest, std::sqrt(sum / kWindow) / 32768.0);
    }
    return loudest;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void navigation_data();
    void navigation();
    void unsavedChangesQuestion_data();
    void unsavedChangesQuestion();
    void closingAsksFirst_data();
    void closingAsksFirst();
    void savingAppendsTheExtension_data();
    void savingAppendsTheExtension();
    void failedOpenLeavesANewSong();
    void openedSongReachesThePages();
    void rememberedGrid_data();
    void rememberedGrid();
    void storedGeometry_data();
    void storedGeometry();
    void viewModes_data();
    void viewModes();
    void functionKeys_data();
    void functionKeys();
    void playLine_data();
    void playLine();
    void xRayText_data();
    void xRayText();
    void examplesSurviveOpenPlayAndSave_data();
    void examplesSurviveOpenPlayAndSave();
    void changedMeansSavingWouldDiffer_data();
    void changedMeansSavingWouldDiffer();
    void playsAnExampleThroughTheServer();

private:
    std::unique_ptr<Zarn> makeWindow();

    std::unique_ptr<QTemporaryDir> m_dir;
    QSharedPointer<Settings> m_settings;
};

void MainWindowTest::initTestCase()
{
    // The window is measured as users see it, in the program's own style.
    ZarnStyle::install(*qApp);
}

void MainWindowTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_settings = QSharedPointer<Settings>::create(
        QStringLiteral("Zarn"), m_dir->filePath(QStringLiteral("zarn.ini")));
}

void MainWindowTest::cleanup()
{
    m_settings.reset();
    m_dir.reset();
}

std::unique_ptr<Zarn> MainWindowTest::makeWindow()
{
    auto window = std::make_unique<Zarn>(m_settings);
    window->chooseOpenFile
        = [](QWidget*, const QString&, const QString&, const QString&) { return QString(); };
    window->chooseSaveFile = window->chooseOpenFile;
    return window;
}

void MainWindowTest::navigation_data()
{
    QTest::addColumn<QString>("destination"); // {node} and {pattern} stand for the Saw's ids
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("node");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("unknown");
    QTest::newRow("node and pattern") << "pattern({node},{pattern})"
                                      << "pagePatterns"
                                      << "{node}"
                                      << "{pattern}" << false;
    QTest::newRow("spaces are trimmed") << "pattern( {node} , {pattern} )"
                                        << "pagePatterns"
                                        << "{node}"
                                        << "{pattern}" << false;
    QTest::newRow("node alone") << "pattern({node})"
                                << "pagePatterns"
                                << "{node}"
                                << "{first}" << false;
    QTest::newRow("patterns keeps the selection") << "patterns"
                                                  << "pagePatterns"
                                                  << "{output}"
                                                  << "{outputPattern}" << false;
    QTest::newRow("unknown node keeps the selection") << "pattern(nosuchnode)"
                                                      << "pagePatterns"
                                                      << "{output}"
                                                      << "{outputPattern}" << false;
    QTest::newRow("sequencer") << "sequencer"
                               << "pageSequencer"
                               << "{output}"
                               << "{outputPattern}" << false;
    QTest::newRow("mixer") << "mixer"
                           << "pageMixer"
                           << "{output}"
                           << "{outputPattern}" << false;
    QTest::newRow("nodes") << "nodes"
                           << "pageNodes"
                           << "{output}"
                           << "{outputPattern}" << false;
    QTest::newRow("case matters") << "Mixer"
                                  << "pageNodes"
                                  << "{output}"
                                  << "{outputPattern}" << true;
    QTest::newRow("config") << "config"
                            << "pageNodes"
                            << "{output}"
                            << "{outputPattern}" << true;
}

void MainWindowTest::navigation()
{
    QFETCH(QString, destination);
    QFETCH(QString, page);
    QFETCH(QString, node);
    QFETCH(QString, pattern);
    QFETCH(bool, unknown);

    const auto window = makeWindow();
    const SongPointer song = twoPatternSong();
    window->setSong(song);
    const zarn::NodePointer output = song->graph->nodes.first();
    const zarn::NodePointer saw = song->graph->nodes.last();
    const QHash<QString, QString> ids {
        { "{node}", saw->uniqueID },
        { "{pattern}", saw->patterns.last()->uniqueID },
        { "{first}", saw->patterns.first()->uniqueID },
        { "{output}", output->uniqueID },
        { "{outputPattern}", output->patterns.first()->uniqueID },
    };
    for (auto id = ids.cbegin(); id != ids.cend(); ++id) {
        destination.replace(id.key(), id.value());
        node.replace(id.key(), id.value());
        pattern.replace(id.key(), id.value());
    }
    QCOMPARE(currentData(*window, "comboBoxNode"), output->uniqueID);

    if (unknown)
        QTest::ignoreMessage(
            QtWarningMsg, qPrintable("Unknown destination: \"" + destination + "\""));
    window->navigateTo(destination);
    QCOMPARE(currentPageName(*window), page);
    QCOMPARE(currentData(*window, "comboBoxNode"), node);
    QCOMPARE(currentData(*window, "comboBoxPattern"), pattern);
    const auto* patternPage = window->findChild<PatternPage*>();
    QCOMPARE(patternPage->pattern() ? patternPage->pattern()->uniqueID : QString(), pattern);
    QVERIFY(button(*window, "pushButtonPatterns")->isChecked() == (page == "pagePatterns"));
    QVERIFY(button(*window, "pushButtonMixer")->isChecked() == (page == "pageMixer"));
}

void MainWindowTest::unsavedChangesQuestion_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("made");
    QTest::addColumn<bool>("saved");
    QTest::newRow("save keeps the old song") << "&Save" << false << true;
    QTest::newRow("discard makes a new song") << "&Discard" << true << false;
    QTest::newRow("abort keeps the old song") << "&Abort" << false << false;
}

void MainWindowTest::unsavedChangesQuestion()
{
    QFETCH(QString, answer);
    QFETCH(bool, made);
    QFETCH(bool, saved);

    const auto window = makeWindow();
    const QString path = m_dir->filePath(QStringLiteral("old.zarn"));
    window->chooseSaveFile
        = [&path](QWidget*, const QString&, const QString&, const QString&) { return path; };
    const SongPointer old = twoPatternSong();
    window->setSong(old);
    old->taint(QStringLiteral("test edit"));

    MessageBoxAnswer box;
    box.arm(answer);
    QCOMPARE(window->newSong(), made);
    QVERIFY(box.answered);
    QCOMPARE(box.title, QStringLiteral("Unsaved Changes"));
    QCOMPARE(box.text,
        QStringLiteral("The file has been changed since the last save. Do you want to proceed "
                       "without saving changes?"));
    QCOMPARE(box.buttons.size(), 3);
    QCOMPARE(window->song() == old, !made);
    QCOMPARE(QFile::exists(path), saved);
    QVERIFY(window->findChild<QStackedWidget*>()->isEnabled());
    if (made)
        QCOMPARE(window->song()->graph->nodes.size(), Song::createNewSong(16)->graph->nodes.size());
}

void MainWindowTest::closingAsksFirst_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("savePath"); // empty: the save dialog is cancelled
    QTest::addColumn<bool>("closes");
    QTest::newRow("discard") << "&Discard"
                             << "" << true;
    QTest::newRow("abort") << "&Abort"
                           << "" << false;
    QTest::newRow("save") << "&Save"
                          << "closing" << true;
    QTest::newRow("save cancelled") << "&Save"
                                    << "" << false;
}

void MainWindowTest::closingAsksFirst()
{
    QFETCH(QString, answer);
    QFETCH(QString, savePath);
    QFETCH(bool, closes);

    const auto window = makeWindow();
    const QString path = savePath.isEmpty() ? QString() : m_dir->filePath(savePath);
    window->chooseSaveFile
        = [&path](QWidget*, const QString&, const QString&, const QString&) { return path; };
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->song()->taint(QStringLiteral("test edit"));
    MessageBoxAnswer box;
    box.arm(answer);
    QCOMPARE(window->close(), closes);
    QVERIFY(box.answered);
    QCOMPARE(window->isVisible(), !closes);
}

void MainWindowTest::savingAppendsTheExtension_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");
    QTest::newRow("no extension") << "tune"
                                  << "tune.zarn";
    QTest::newRow("with extension") << "tune.zarn"
                                    << "tune.zarn";
    QTest::newRow("other extension") << "tune.bmx"
                                     << "tune.bmx.zarn";
}

void MainWindowTest::savingAppendsTheExtension()
{
    QFETCH(QString, chosen);
    QFETCH(QString, written);

    const auto window = makeWindow();
    const QString path = m_dir->filePath(chosen);
    QString suggested;
    window->chooseSaveFile
        = [&](QWidget*, const QString& title, const QString& suggestion, const QString& filter) {
              suggested = suggestion;
              return title == "Save File" && filter == Zarn::kFileFilter ? path : QString();
          };
    window->save();
    QVERIFY(QFile::exists(m_dir->filePath(written)));
    QVERIFY(!QFile::exists(m_dir->filePath(written + ".zarn")));
    QCOMPARE(m_settings->stringValue(settingskey::kLastFileDir), m_dir->filePath(written));

    // The next dialog starts where the last file went.
    window->save();
    QCOMPARE(suggested, m_dir->filePath(written));
}

void MainWindowTest::failedOpenLeavesANewSong()
{
    const auto window = makeWindow();
    const QString path = m_dir->filePath(QStringLiteral("broken.zarn"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("SING but not a song at all");
    file.close();
    window->chooseOpenFile
        = [&path](QWidget*, const QString&, const QString&, const QString&) { return path; };
    const SongPointer before = window->song();

    MessageBoxAnswer box;
    box.arm(QStringLiteral("OK"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(".*"));
    window->load();
    QVERIFY(box.answered);
    QCOMPARE(box.title, QStringLiteral("Open File"));
    QVERIFY2(box.text.contains("broken.zarn"), qPrintable(box.text));
    QVERIFY2(box.text.split('\n').last().size() > 5, qPrintable(box.text)); // the reason
    QVERIFY(window->song() != before);
    QVERIFY(!window->song()->changed);
    QCOMPARE(window->song()->graph->nodes.size(), before->graph->nodes.size());
    QVERIFY(m_settings->stringValue(settingskey::kLastFileDir).isEmpty());
}

void MainWindowTest::openedSongReachesThePages()
{
    const QString path = m_dir->filePath(QStringLiteral("two.zarn"));
    QVERIFY(::saveSong(twoPatternSong(), path));
    const auto window = makeWindow();
    window->chooseOpenFile
        = [&path](QWidget*, const QString&, const QString&, const QString&) { return path; };
    window->load();
    const SongPointer song = window->song();
    QCOMPARE(song->graph->nodes.size(), twoPatternSong()->graph->nodes.size());
    QVERIFY(!song->changed);
    auto* nodes = window->findChild<QComboBox*>(QStringLiteral("comboBoxNode"));
    QCOMPARE(nodes->count(), song->graph->nodes.size());
    QVERIFY(nodes->findText(QStringLiteral("Lead")) >= 0);
    QCOMPARE(m_settings->stringValue(settingskey::kLastFileDir), path);
    // Selecting the Saw lists its two patterns and shows the first.
    nodes->setCurrentIndex(nodes->findText(QStringLiteral("Lead")));
    auto* patterns = window->findChild<QComboBox*>(QStringLiteral("comboBoxPattern"));
    QCOMPARE(patterns->count(), 2);
    QCOMPARE(window->findChild<PatternPage*>()->pattern()->name, QStringLiteral("A"));
    patterns->setCurrentIndex(1);
    QCOMPARE(window->findChild<PatternPage*>()->pattern()->name, QStringLiteral("B"));
}

void MainWindowTest::rememberedGrid_data()
{
    QTest::addColumn<int>("stored"); // 0: nothing stored
    QTest::addColumn<int>("ticks");
    QTest::newRow("default") << 0 << 16;
    QTest::newRow("eight") << 8 << 8;
    QTest::newRow("not a choice") << 5 << 5;
}

// The grid the user last chose governs the window's selector, the song and new patterns.
void MainWindowTest::rememberedGrid()
{
    QFETCH(int, stored);
    QFETCH(int, ticks);
    if (stored)
        m_settings->setInt(settingskey::kBeatsPerStep, stored);
    const auto window = makeWindow();
    auto* selector = window->findChild<QComboBox*>(QStringLiteral("comboBoxTicksPerStep"));
    QCOMPARE(selector->currentData().toInt(), ticks);
    QCOMPARE(window->song()->sequencer->position.ticksPerStep(), ticks);

    window->clear();
    QCOMPARE(window->song()->sequencer->position.ticksPerStep(), ticks);
    QCOMPARE(window->song()->graph->nodes.first()->patterns.first()->length, ticks);

    // Choosing another grid reaches the song and the store.
    selector->setCurrentIndex(selector->findData(12));
    QCOMPARE(window->song()->sequencer->position.ticksPerStep(), 12);
    QCOMPARE(m_settings->intValue(settingskey::kBeatsPerStep), 12);
}

void MainWindowTest::storedGeometry_data()
{
    QTest::addColumn<QRect>("stored");
    QTest::addColumn<QSize>("size");
    QTest::newRow("none") << QRect() << QSize(1280, 800);
    QTest::newRow("width 0") << QRect(10, 10, 0, 500) << QSize(1280, 800);
    QTest::newRow("stored") << QRect(30, 40, 1000, 640) << QSize(1000, 640);
}

void MainWindowTest::storedGeometry()
{
    QFETCH(QRect, stored);
    QFETCH(QSize, size);
    if (stored.isValid() || stored.width() == 0)
        m_settings->setWindowGeometry(stored);
    const auto window = makeWindow();
    QCOMPARE(window->size(), size);
    QVERIFY(!window->isFullScreen());
}

void MainWindowTest::viewModes_data()
{
    QTest::addColumn<bool>("storedXRay");
    QTest::addColumn<bool>("storedFullScreen");
    QTest::newRow("both off") << false << false;
    QTest::newRow("x-ray stored") << true << false;
    QTest::newRow("full screen stored") << false << true;
}

// Both modes come back from the store at start, and every change is written at once.
void MainWindowTest::viewModes()
{
    QFETCH(bool, storedXRay);
    QFETCH(bool, storedFullScreen);
    m_settings->setBool(settingskey::kXRayMode, storedXRay);
    m_settings->setBool(settingskey::kFullScreen, storedFullScreen);
    m_settings->setWindowGeometry(QRect(20, 30, 1100, 700));
    const auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    auto* debugArea = window->findChild<QWidget*>(QStringLiteral("widgetDebug"));
    QCOMPARE(debugArea->isVisible(), storedXRay);
    QCOMPARE(button(*window, "toggleButtonXRay")->isChecked(), storedXRay);
    QCOMPARE(window->isFullScreen(), storedFullScreen);
    QCOMPARE(button(*window, "toggleButtonFullscreen")->isChecked(), storedFullScreen);

    QTest::mouseClick(button(*window, "toggleButtonXRay"), Qt::LeftButton);
    QCOMPARE(debugArea->isVisible(), !storedXRay);
    QCOMPARE(m_settings->boolValue(settingskey::kXRayMode), !storedXRay);
    if (!storedXRay) {
        window->navigateTo(QStringLiteral("pattern"));
        auto* panel = window->findChild<QLabel*>(QStringLiteral("labelXRay"));
        QVERIFY2(
            panel->text().startsWith(QStringLiteral("<b>Node:</b> ")), qPrintable(panel->text()));
    }

    window->toggleFullscreen(!storedFullScreen);
    QCOMPARE(window->isFullScreen(), !storedFullScreen);
    QCOMPARE(button(*window, "toggleButtonFullscreen")->isChecked(), !storedFullScreen);
    QCOMPARE(m_settings->boolValue(settingskey::kFullScreen), !storedFullScreen);
    // Entering full screen keeps the normal geometry to come back to.
    QCOMPARE(m_settings->windowGeometry().size(), QSize(1100, 700));
}

void MainWindowTest::functionKeys_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("page");
    QTest::addColumn<bool>("octaveList");
    const int alt = int(Qt::AltModifier);
    QTest::newRow("F2") << "mixer" << int(Qt::Key_F2) << 0 << "pagePatterns" << false;
    QTest::newRow("F3") << "mixer" << int(Qt::Key_F3) << 0 << "pageNodes" << false;
    QTest::newRow("F4") << "mixer" << int(Qt::Key_F4) << 0 << "pageSequencer" << false;
    QTest::newRow("F1 shows help, page stays")
        << "mixer" << int(Qt::Key_F1) << 0 << "pageMixer" << false;
    QTest::newRow("Alt+B on the pattern page")
        << "pattern" << int(Qt::Key_B) << alt << "pagePatterns" << true;
    QTest::newRow("Alt+B elsewhere")
        << "sequencer" << int(Qt::Key_B) << alt << "pageSequencer" << false;
}

void MainWindowTest::functionKeys()
{
    QFETCH(QString, start);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, page);
    QFETCH(bool, octaveList);

    const auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->navigateTo(start);
    QTest::keyClick(window.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(currentPageName(*window), page);
    auto* help = window->findChild<ShortcutHelpWidget*>();
    QCOMPARE(help && help->isVisible(), key == Qt::Key_F1);
    if (help)
        QCOMPARE(help->windowTitle(), QStringLiteral("Keyboard Shortcuts"));
    auto* octave = window->findChild<QComboBox*>(QStringLiteral("comboBoxBaseOctave"));
    QCOMPARE(octave->view()->isVisible(), octaveList);
    octave->hidePopup();
}

void MainWindowTest::playLine_data()
{
    QTest::addColumn<bool>("second"); // show the Saw's second pattern, which never plays
    QTest::addColumn<int>("tick");
    QTest::addColumn<int>("row");
    QTest::newRow("first tick") << false << 0 << 0;
    QTest::newRow("looped round") << false << 10 << 2;
    QTest::newRow("last row") << false << 15 << 7;
    QTest::newRow("a pattern that does not play") << true << 10 << -1;
}

// The Saw has no track, so it loops its first pattern; the pattern page marks that row.
void MainWindowTest::playLine()
{
    QFETCH(bool, second);
    QFETCH(int, tick);
    QFETCH(int, row);

    const auto window = makeWindow();
    const SongPointer song = twoPatternSong();
    window->setSong(song);
    const zarn::NodePointer saw = song->graph->nodes.last();
    window->navigateTo(QStringLiteral("pattern(%1,%2)")
                           .arg(saw->uniqueID, saw->patterns.at(second ? 1 : 0)->uniqueID));
    auto* page = window->findChild<PatternPage*>();
    Position position = song->sequencer->position;
    position.playPos.sample = tick * position.samplesPerTick();
    page->playPositionChanged(position);
    QCOMPARE(page->playRow(), row);
    for (int r = 0; r < page->table()->rowCount(); ++r)
        QCOMPARE(page->table()->item(r, 0)->background().style() != Qt::NoBrush, r == row);
}

void MainWindowTest::xRayText_data()
{
    QTest::addColumn<bool>("withNode");
    QTest::addColumn<bool>("withPattern");
    QTest::addColumn<int>("tick"); // -1: no cursor
    QTest::addColumn<int>("cell");
    QTest::addColumn<QStringList>("contains");
    QTest::addColumn<QStringList>("lacks");
    QTest::newRow("no node") << false << false << -1 << 0
                             << QStringList { "<i>No node selected</i>" }
                             << QStringList { "<b>Node:</b>" };
    QTest::newRow("no pattern") << true << false << -1 << 0
                                << QStringList { "<b>Node:</b> Lead<br>",
                                       "<i>No pattern selected</i>" }
                                << QStringList { "<b>Rows:</b>" };
    QTest::newRow("no cursor") << true << true << -1 << 0
                               << QStringList { "<b>Pattern:</b> A<br>", "<b>Rows:</b> 8<br>",
                                      "<b>Lanes:</b> 1<br>" }
                               << QStringList { "<hr>", "<b>Tick:</b>" };
    QTest::newRow("note cell") << true << true << 2 << int(SawProcessor::Note)
                               << QStringList { "<hr><b>Tick:</b> 2<br>", "<b>Value:</b> A-5<br>" }
                               << QStringList { "<i>(empty)</i>" };
    QTest::newRow("empty cell") << true << true << 0 << int(SawProcessor::Note)
                                << QStringList { "<b>Value:</b> <i>(empty)</i><br>" }
                                << QStringList { "A-5" };
}

void MainWindowTest::xRayText()
{
    QFETCH(bool, withNode);
    QFETCH(bool, withPattern);
    QFETCH(int, tick);
    QFETCH(int, cell);
    QFETCH(QStringList, contains);
    QFETCH(QStringList, lacks);

    const SongPointer song = twoPatternSong();
    const zarn::NodePointer saw = song->graph->nodes.last();
    const std::optional<PatternCursor> cursor
        = tick < 0 ? std::nullopt : std::optional(PatternCursor { tick, cell });
    const QString text = ::xRayText(
        withNode ? saw : nullptr, withPattern ? saw->patterns.first() : nullptr, cursor);
    for (const QString& part : contains)
        QVERIFY2(text.contains(part), qPrintable(text));
    for (const QString& part : lacks)
        QVERIFY2(!text.contains(part), qPrintable(text));
    if (tick >= 0) {
        const ParameterPointer parameter = saw->processor->schema()->parameterOfCell(cell);
        QVERIFY(text.contains("<b>Parameter:</b> " + parameter->name + "<br>"));
        QVERIFY(text.contains("<b>Type:</b> " + valueTypeName(parameter->valueType())));
    }
}

// The whole way a user goes: open an example, switch the audio on, F5, hear it, F8.
void MainWindowTest::examplesSurviveOpenPlayAndSave_data()
{
    QTest::addColumn<QString>("path");
    for (const char* name : { "first-song", "temple-bells", "acid-machine", "radio-ghost" })
        QTest::newRow(name) << examplePath(QString::fromLatin1(name));
}

// An example opens with its own tempo, saves to the same bytes, and playing it through its
// end changes nothing but the play position the file records.
void MainWindowTest::examplesSurviveOpenPlayAndSave()
{
    QFETCH(QString, path);
    const auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QVERIFY(window->loadFile(path));
    const SongPointer stored = Song::createEmpty();
    QVERIFY(loadSong(stored, path));
    Position shown = stored->sequencer->position;
    const Position& position = window->song()->sequencer->position;
    QCOMPARE(position.samplesPerTick(), shown.samplesPerTick());
    QCOMPARE(spinValue(*window, "spinBoxTPS"), shown.ticksPerStep());
    QCOMPARE(currentData(*window, "comboBoxTicksPerStep").toInt(), shown.ticksPerStep());
    QCOMPARE(spinValue(*window, "spinBoxTPB"), 4); // as the examples are written
    shown.beatsPerMinute = spinValue(*window, "spinBoxBPM");
    shown.ticksPerBeat = spinValue(*window, "spinBoxTPB");
    shown.updateNumbers();
    QCOMPARE(shown.samplesPerTick(), position.samplesPerTick());

    QString target = m_dir->filePath(QStringLiteral("untouched.zarn"));
    window->chooseSaveFile
        = [&target](QWidget*, const QString&, const QString&, const QString&) { return target; };
    window->save();
    QCOMPARE(fileBytes(target), fileBytes(path));

    QTest::mouseClick(button(*window, "toggleButtonLoop"), Qt::LeftButton);
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
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("changed");
    QTest::newRow("nothing") << "nothing" << false;
    QTest::newRow("play from the cursor") << "F6" << false;
    QTest::newRow("play and stop") << "F5 F8" << false;
    QTest::newRow("loop off") << "loop" << false;
    QTest::newRow("arrange") << "arrange" << true;
    QTest::newRow("zoom to fit") << "zoom" << true;
    QTest::newRow("tempo") << "tempo" << true;
    QTest::newRow("grid") << "grid" << true;
}

// The changed flag, the title's mark and so the unsaved-changes question follow what a
// save would write: view and transport actions leave them alone, edits set them.
void MainWindowTest::changedMeansSavingWouldDiffer()
{
    QFETCH(QString, action);
    QFETCH(bool, changed);
    const auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(window->windowTitle(), QStringLiteral("Kalvex Zarn[*]"));
    QVERIFY(window->loadFile(examplePath(QStringLiteral("first-song"))));
    QCOMPARE(window->windowTitle(), QStringLiteral("first-song.zarn[*] - Kalvex Zarn"));
    QVERIFY(!window->isWindowModified());
    window->navigateTo(QStringLiteral("node"));

    auto* selector = window->findChild<QComboBox*>(QStringLiteral("comboBoxTicksPerStep"));
    const QHash<QString, std::function<void()>> actions {
        { "nothing", [] {} },
        { "F6", [&] { QTest::keyClick(window.get(), Qt::Key_F6); } },
        { "F5 F8",
            [&] {
                QTest::keyClick(window.get(), Qt::Key_F5);
                QTest::keyClick(window.get(), Qt::Key_F8);
            } },
        { "loop", [&] { QTest::mouseClick(button(*window, "toggleButtonLoop"), Qt::LeftButton); } },
        { "arrange",
            [&] { QTest::mouseClick(button(*window, "pushButtonArrange"), Qt::LeftButton); } },
        { "zoom",
            [&] { QTest::mouseClick(button(*window, "pushButtonZoomToFit"), Qt::LeftButton); } },
        { "tempo",
            [&] { window->findChild<QSpinBox*>(QStringLiteral("spinBoxBPM"))->setValue(97); } },
        { "grid", [&] { selector->setCurrentIndex(selector->findData(3)); } },
    };
    actions.value(action)();
    QCOMPARE(window->song()->changed, changed);
    QCOMPARE(window->isWindowModified(), changed);
}

void MainWindowTest::playsAnExampleThroughTheServer()
{
    if (!pulse::serverAnswers())
        QSKIP("No PulseAudio server answers (scripts/test starts one)");
    const QString example = QStringLiteral(ZARN_EXAMPLES_DIR "/first-song.zarn");
    const auto window = makeWindow();
    window->chooseOpenFile
        = [&example](QWidget*, const QString&, const QString&, const QString&) { return example; };
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->load();
    QVERIFY(window->song()->graph->nodes.size() > 2);

    const qint32 samplesPerTick = window->song()->sequencer->position.samplesPerTick();
    QTest::mouseClick(button(*window, "toggleButtonAudio"), Qt::LeftButton);
    QVERIFY(window->player().isRunning());
    // Choosing the device keeps the song's own tempo.
    QCOMPARE(window->song()->sequencer->position.samplesPerTick(), samplesPerTick);
    if (window->player().deviceSubgraph().device.id() != "zarn_null")
        QSKIP("The server's default output is not the zarn_null sink");

    QProcess recorder;
    recorder.start(QStringLiteral("parec"),
        { "-d", "zarn_null.monitor", "--raw", "--format=s16le", "--rate=44100", "--channels=1",
            "--latency-msec=50" });
    QVERIFY(recorder.waitForStarted(5000));
    QTest::keyClick(window.get(), Qt::Key_F5);
    QVERIFY(window->song()->sequencer->position.playing);
    QVERIFY(button(*window, "toggleButtonPlay")->isChecked());
    const auto& node = window->player().deviceSubgraph().outputNode;
    // Four seconds of stereo: a fresh stream on the null sink may first wait a couple.
    QTRY_VERIFY_WITH_TIMEOUT(node->sampleCount() > quint64(4 * 2 * 44100), 20000);
    recorder.terminate();
    QVERIFY(recorder.waitForFinished(5000));
    // Playing moves the song on, at least a second in four seconds of output.
    QVERIFY(window->song()->sequencer->position.playPos.sample > 44100);
    const double level = loudestLevel(recorder.readAllStandardOutput());
    QVERIFY2(level > 0.02, qPrintable(QString::number(level)));

    QTest::keyClick(window.get(), Qt::Key_F8);
    QVERIFY(!window->song()->sequencer->position.playing);
    QVERIFY(!button(*window, "toggleButtonPlay")->isChecked());
    const qint32 stoppedAt = window->song()->sequencer->position.playPos.sample;
    QTest::qWait(300);
    QCOMPARE(window->song()->sequencer->position.playPos.sample, stoppedAt);
    QTest::mouseClick(button(*window, "toggleButtonAudio"), Qt::LeftButton);
    QVERIFY(!window->player().isRunning());
}

QTEST_MAIN(MainWindowTest)
#include "tst_main_window.moc"
