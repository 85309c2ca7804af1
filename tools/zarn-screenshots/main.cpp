// Takes the pictures of the program that the documentation shows: the main window empty
// and playing an example, the pattern, sequencer and node editors, the scopes, the mixer,
// the configuration, the song info dialog, the keyboard help, an export at work and a
// sampler's parameter window. Run it under a real or virtual X display (scripts/screenshots)
// so the pictures are what a user sees.
#include "app/window/Zarn.h"
#include "infra/Settings.h"
#include "infra/Style.h"
#include "song/Graph.h"
#include "ui/config/ConfigurationEditor.h"
#include "ui/export/ExportDialog.h"
#include "ui/info/SongInfoEditor.h"
#include "ui/nodes/NodeView.h"
#include "ui/parameters/ParameterView.h"
#include "ui/pattern/PatternView.h"
#include "ui/scopes/ConnectionScope.h"
#include "ui/scopes/UnifiedAudioScope.h"
#include "ui/sequencer/SequencerView.h"
#include "ui/shortcuts/ShortcutHelpWidget.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

namespace {

constexpr int kSettleMs = 400;

bool grab(QWidget* widget, const QDir& out, const QString& name)
{
    QTest::qWait(kSettleMs);
    const QString path = out.filePath(name + QStringLiteral(".png"));
    const bool saved = widget->grab().save(path);
    QTextStream(stderr) << (saved ? "wrote " : "could not write ") << path << '\n';
    return saved;
}

template <class T> T* shown(Zarn& window, const char* buttonName)
{
    window.findChild<QAbstractButton*>(QString::fromLatin1(buttonName))->click();
    T* widget = window.findChild<T*>();
    if (!QTest::qWaitForWindowExposed(widget))
        qWarning().noquote() << "zarn-screenshots: nothing shown by" << buttonName;
    return widget;
}

// Exporting: an hour of the song on its way to a 24-bit file while it plays on.
bool photographExport(Zarn& window, const QDir& out)
{
    QTemporaryDir target;
    auto* dialog = shown<ExportDialog>(window, "pushButtonExport");
    dialog->findChild<QLineEdit*>(QStringLiteral("lineEditFile"))
        ->setText(target.filePath(QStringLiteral("first-song.wav")));
    dialog->findChild<QRadioButton*>(QStringLiteral("radioButtonSeconds"))->click();
    dialog->findChild<QDoubleSpinBox*>(QStringLiteral("doubleSpinBoxSeconds"))->setValue(3600);
    dialog->findChild<QComboBox*>(QStringLiteral("comboBoxFormat"))->setCurrentIndex(1);
    dialog->findChild<QAbstractButton*>(QStringLiteral("pushButtonStartExport"))->click();
    QTest::qWait(1500);
    const bool ok = grab(dialog, out, QStringLiteral("export-dialog"));
    dialog->findChild<QAbstractButton*>(QStringLiteral("pushButtonCancel"))->click();
    dialog->close();
    return ok;
}

// A sampler's parameter window with its sample, from the example that ships one.
bool photographSample(Zarn& window, const QString& song, const QDir& out)
{
    // Straight from the file: the edits made for the pictures before are not worth a question.
    if (!window.loadFile(song))
        return false;
    window.navigateTo(QStringLiteral("nodes"));
    for (const zarn::NodePointer& node : window.song()->graph->nodes)
        if (node->typeName() == QStringLiteral("Sample"))
            if (auto* parameters = window.findChild<NodeView*>()->openParameters(node)) {
                parameters->resize(460, 420);
                const bool ok = grab(parameters, out, QStringLiteral("sample-parameters"));
                parameters->close();
                return ok;
            }
    qWarning().noquote() << "zarn-screenshots: no Sample node in" << song;
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 3) {
        QTextStream(stderr) << "usage: zarn-screenshots SONG.zarn OUTPUT_DIR\n";
        return 2;
    }
    const QString song = arguments.at(1);
    const QDir out(arguments.at(2));
    ZarnStyle::install(application);
    QTemporaryDir settingsDir; // a fresh store, so no earlier geometry or mode leaks in
    const auto settings = QSharedPointer<Settings>::create(
        QStringLiteral("Zarn"), settingsDir.filePath(QStringLiteral("zarn.ini")));

    Zarn window(settings);
    window.resize(1280, 800);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qWarning().noquote() << "zarn-screenshots: the main window was not shown";
    bool ok = grab(&window, out, QStringLiteral("main-window-empty"));

    window.chooseOpenFile
        = [&song](QWidget*, const QString&, const QString&, const QString&) { return song; };
    window.load();
    window.findChild<QAbstractButton*>(QStringLiteral("toggleButtonAudio"))->click();
    window.findChild<QAbstractButton*>(QStringLiteral("toggleButtonPlay"))->click();
    // The lead line is the liveliest pattern to look at.
    for (const zarn::NodePointer& node : window.song()->graph->nodes)
        if (node->typeName() == QStringLiteral("Saw") && !node->patterns.isEmpty()) {
            window.navigateTo(QStringLiteral("pattern(%1)").arg(node->uniqueID));
            break;
        }
    QTest::qWait(9000); // the lead comes in at the fourth step
    ok = grab(&window, out, QStringLiteral("main-window-playing")) && ok;
    window.findChild<QAbstractButton*>(QStringLiteral("toggleButtonXRay"))->click();
    ok = grab(&window, out, QStringLiteral("main-window-x-ray")) && ok;
    // Editing: a block marked over four rows, the cursor on a note, X-ray on.
    auto* view = window.findChild<PatternView*>();
    view->setFocus();
    for (const char* key : { "Down", "Ctrl+B", "Down", "Down", "Down", "Ctrl+E" }) {
        const QKeyCombination k = QKeySequence::fromString(QString::fromLatin1(key))[0];
        QTest::keyClick(view, k.key(), k.keyboardModifiers());
    }
    ok = grab(&window, out, QStringLiteral("pattern-editing")) && ok;
    window.findChild<QAbstractButton*>(QStringLiteral("toggleButtonXRay"))->click();
    // Arranging: a block marked over the drums while the song plays on.
    window.navigateTo(QStringLiteral("sequencer"));
    auto* sequencer = window.findChild<SequencerView*>();
    for (const char* key :
        { "Ctrl+Home", "Home", "Right", "Down", "Shift+Down", "Shift+Down", "Shift+Right" }) {
        const QKeyCombination k = QKeySequence::fromString(QString::fromLatin1(key))[0];
        QTest::keyClick(sequencer, k.key(), k.keyboardModifiers());
    }
    ok = grab(&window, out, QStringLiteral("sequencer-arranging")) && ok;

    // Patching: the graph laid out by type, the sources lassoed, X-ray on.
    window.navigateTo(QStringLiteral("nodes"));
    auto* nodes = window.findChild<NodeView*>();
    window.findChild<QAbstractButton*>(QStringLiteral("toggleButtonXRay"))->click();
    QTest::qWait(kSettleMs); // the X-ray panel takes its room first
    nodes->arrangeByType();
    QTest::mousePress(nodes, Qt::LeftButton, {}, QPoint(5, 5));
    QMouseEvent lasso(QEvent::MouseMove, QPointF(nodes->width() / 3, nodes->height() - 5),
        nodes->mapToGlobal(QPointF(nodes->width() / 3, nodes->height() - 5)), Qt::NoButton,
        Qt::LeftButton, {});
    QApplication::sendEvent(nodes, &lasso);
    QTest::mouseRelease(nodes, Qt::LeftButton, {}, QPoint(nodes->width() / 3, nodes->height() - 5));
    ok = grab(&window, out, QStringLiteral("node-graph")) && ok;
    window.findChild<QAbstractButton*>(QStringLiteral("toggleButtonXRay"))->click();
    // The node with the most knobs shows its parameter window.
    zarn::NodePointer busiest;
    for (const zarn::NodePointer& node : window.song()->graph->nodes)
        if (node->processor
            && (!busiest
                || node->processor->schema()->nodeParameters.size()
                    > busiest->processor->schema()->nodeParameters.size()))
            busiest = node;
    if (auto* parameters = qobject_cast<ParameterView*>(nodes->openParameters(busiest))) {
        parameters->resize(460, 560);
        ok = grab(parameters, out, QStringLiteral("parameter-view")) && ok;
        parameters->close();
    }

    // Watching: a scope on the wire into the Output, in each of its three views.
    for (const ConnectionPointer& connection : window.song()->graph->connections)
        if (connection->to && connection->to->typeName() == QStringLiteral("Output")) {
            window.showConnectionScope(connection);
            break;
        }
    if (auto* scope = window.findChild<ConnectionScope*>()) {
        const struct {
            int mode;
            const char* name;
        } views[] = { { UnifiedAudioScope::Waveform, "scope-waveform" },
            { UnifiedAudioScope::Spectrum, "scope-spectrum" },
            { UnifiedAudioScope::Level, "scope-level" } };
        for (const auto& view : views) {
            scope->scope()->setMode(view.mode);
            // The spectrogram adds a column every 200 ms.
            QTest::qWait(view.mode == UnifiedAudioScope::Spectrum ? 15000 : 2500);
            ok = grab(scope, out, QString::fromLatin1(view.name)) && ok;
        }
        scope->close();
    }
    // Mixing: the strips with their meters moving.
    window.navigateTo(QStringLiteral("mixer"));
    QTest::qWait(1500);
    ok = grab(&window, out, QStringLiteral("mixer-playing")) && ok;
    window.showConfiguration();
    if (auto* configuration = window.findChild<ConfigurationEditor*>())
        ok = grab(configuration, out, QStringLiteral("configuration")) && ok;

    ok = grab(shown<SongInfoEditor>(window, "pushButtonInfo"), out, QStringLiteral("song-info"))
        && ok;
    window.navigateTo(QStringLiteral("pattern"));
    window.showKeyboardHelp();
    auto* help = window.findChild<ShortcutHelpWidget*>();
    if (!help || !QTest::qWaitForWindowExposed(help))
        return 1;
    ok = grab(help, out, QStringLiteral("keyboard-help")) && ok;
    help->close();
    ok = photographExport(window, out) && ok;
    ok = photographSample(
             window, QFileInfo(song).dir().filePath(QStringLiteral("sampled-groove.zarn")), out)
        && ok;
    window.player().setRunning(false);
    return ok ? 0 : 1;
}
