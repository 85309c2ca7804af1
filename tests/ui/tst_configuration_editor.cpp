#include "../media/PulseControl.h"
#include "engine/ZarnPlayer.h"
#include "infra/Settings.h"
#include "media/audio/AudioInputNode.h"
#include "media/devices/DeviceManager.h"
#include "ui/config/ConfigurationEditor.h"
#include "ui/config/MediaDeviceSelector.h"
#include "ui/config/TestTone.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>
#include <utility>
#include <vector>

using media::devices::DeviceManager;

namespace {

constexpr int kRate = 44100;
const QByteArray kRecordHex = QByteArray("zarn_record").toHex();
#define REQUIRE_SERVER()                                                                           \
    if (!pulse::serverAnswers() || DeviceManager::instance().findAudioInput(kRecordHex).isNull())  \
    QSKIP("No PulseAudio server with zarn_null and zarn_record; run under scripts/with-pulse.")

double levelOf(const std::vector<float>& s)
{
    return s.empty() ? 0.0
                     : std::sqrt(std::inner_product(s.begin(), s.end(), s.begin(), 0.0) / s.size());
}

// Median spacing of upward zero crossings, which a rare dropout on a loaded machine cannot skew.
double frequencyOf(const std::vector<float>& s)
{
    std::vector<double> periods;
    for (size_t i = 1, last = 0; i < s.size(); ++i)
        if (s[i - 1] < 0.0f && s[i] >= 0.0f)
            periods.push_back(double(i - std::exchange(last, i)));
    if (periods.empty())
        return 0.0;
    std::nth_element(periods.begin(), periods.begin() + periods.size() / 2, periods.end());
    return kRate / periods[periods.size() / 2];
}

// Hears what the test server's sink plays, through its record source; take() drops what
// came before and returns the next `ms` of sound.
struct Recorder {
    Recorder()
    {
        input.configure(
            DeviceManager::instance().findAudioInput(kRecordHex), TestToneRig::format(), kRate);
        input.start();
    }
    std::vector<float> take(int ms)
    {
        std::vector<float> samples(input.ring().available());
        for (const int wait : { 0, ms }) {
            QTest::qWait(wait);
            samples.resize(input.ring().available());
            input.ring().read(samples.data(), samples.size());
        }
        return samples;
    }
    media::audio::AudioInputNode input;
};

} // namespace

class ConfigurationEditorTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void loadsTheStoredSize_data();
    void loadsTheStoredSize();
    void autoDetect_data();
    void autoDetect();
    void testToneSoundsOnlyWhileHeld_data();
    void testToneSoundsOnlyWhileHeld();
    void choicesReachThePlayerAndTheStore();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QSharedPointer<Settings> m_store;
};

void ConfigurationEditorTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_store = QSharedPointer<Settings>::create("test", m_dir->filePath("zarn.ini"));
}

void ConfigurationEditorTest::loadsTheStoredSize_data()
{
    QTest::addColumn<int>("chosen"); // by the user before the store changes; 0: none
    QTest::addColumn<qint64>("stored");
    QTest::addColumn<int>("shown");
    QTest::addColumn<QString>("latency");
    QTest::newRow("1024") << 0 << 1024ll << 1024 << "~23.2 ms";
    QTest::newRow("unlisted later") << 2048 << 1000ll << 2048 << "~46.4 ms";
}

void ConfigurationEditorTest::loadsTheStoredSize()
{
    QFETCH(int, chosen);
    QFETCH(qint64, stored);
    m_store->setBufferSize(chosen ? 0 : stored);
    ConfigurationEditor editor(m_store);
    auto* sizes = editor.findChild<QComboBox*>("comboBoxBufferSize");
    if (chosen) {
        sizes->setCurrentIndex(sizes->findText(QString::number(chosen)));
        m_store->setBufferSize(stored);
        editor.loadBufferSize();
    }
    QTEST(sizes->currentText().toInt(), "shown");
    QTEST(editor.findChild<QLabel*>("labelLatency")->text(), "latency");
}

void ConfigurationEditorTest::autoDetect_data()
{
    QTest::addColumn<bool>("running");
    QTest::addColumn<int>("failsFrom"); // sizes at or below it underrun; 0: none does
    QTest::addColumn<int>("hideAt"); // hidden while this size is tried; 0: never
    QTest::addColumn<QList<int>>("tried");
    QTest::addColumn<QString>("latency");
    QTest::newRow("engine off") << false << 0 << 0 << QList<int>() << "Enable audio first!";
    QTest::newRow("underruns from 256")
        << true << 256 << 0 << QList<int> { 8192, 4096, 2048, 1024, 512, 256, 512 } << "~11.6 ms";
    QTest::newRow("no underruns") << true << 0 << 0
                                  << QList<int> { 8192, 4096, 2048, 1024, 512, 256, 128, 64, 64 }
                                  << "~1.5 ms";
    QTest::newRow("8192 underruns")
        << true << 8192 << 0 << QList<int> { 8192, 8192 } << "~185.8 ms, still underruns";
    QTest::newRow("hidden mid-run")
        << true << 0 << 2048 << QList<int> { 8192, 4096, 2048 } << "~46.4 ms";
}

void ConfigurationEditorTest::autoDetect()
{
    QFETCH(bool, running);
    QFETCH(int, failsFrom);
    QFETCH(int, hideAt);
    QFETCH(QList<int>, tried);
    ConfigurationEditor editor(m_store);
    editor.setAutoDetectStepMs(20);
    editor.show();
    editor.onEngineStatusReceived({ .running = running });
    QList<int> announced;
    quint64 underruns = 0;
    // Two reports per size, as the player's would come; the first sets the baseline.
    const auto announce = [&](int size) {
        announced.append(size);
        editor.onEngineStatusReceived({ .underruns = underruns, .running = true });
        underruns += size <= failsFrom ? 1 : 0;
        editor.onEngineStatusReceived({ .underruns = underruns, .running = true });
        if (size == hideAt)
            editor.hide();
    };
    connect(&editor, &ConfigurationEditor::bufferSizeChanged, this, announce, Qt::QueuedConnection);
    auto* button = editor.findChild<QPushButton*>("pushButtonAutoDetect");
    if (!running)
        QTest::ignoreMessage(QtWarningMsg, "Auto-detect: Engine not running, enable audio first");
    button->click();
    QTRY_VERIFY_WITH_TIMEOUT(announced.size() >= tried.size() && button->isEnabled(), 5000);
    QTest::qWait(100); // five more steps' time: nothing else may follow
    QCOMPARE(announced, tried);
    QCOMPARE(button->text(), QStringLiteral("Auto-detect"));
    auto* sizes = editor.findChild<QComboBox*>("comboBoxBufferSize");
    QVERIFY(sizes->isEnabled());
    QCOMPARE(sizes->currentText(), QString::number(tried.isEmpty() ? 1024 : tried.last()));
    QTEST(editor.findChild<QLabel*>("labelLatency")->text(), "latency");
    // Only a search that ran to its end stores its size.
    const bool finished = running && !hideAt;
    QCOMPARE(m_store->int64Value(settingskey::kBufferSize), finished ? tried.last() : 1024);
}

void ConfigurationEditorTest::testToneSoundsOnlyWhileHeld_data()
{
    QTest::addColumn<int>("ending");
    QTest::newRow("released") << 0;
    QTest::newRow("hidden") << 1;
    QTest::newRow("destroyed") << 2;
}

void ConfigurationEditorTest::testToneSoundsOnlyWhileHeld()
{
    REQUIRE_SERVER();
    QFETCH(int, ending);
    auto editor = std::make_unique<ConfigurationEditor>(m_store);
    editor->show();
    auto* test = editor->findChild<QPushButton*>("pushButtonTestOutput");
    QVERIFY(test->isEnabled());
    Recorder recorder;
    // Not pressed with the mouse: hiding a window releases a button held that way.
    emit test->pressed();
    // A new stream on the null sink may take a couple of seconds to be played.
    QTRY_VERIFY_WITH_TIMEOUT(levelOf(recorder.take(200)) > 0.5, 10000);
    const std::vector<float> tone = recorder.take(500);
    // A full-scale sine without gaps.
    const QString heard = QStringLiteral("%1 Hz at %2").arg(frequencyOf(tone)).arg(levelOf(tone));
    QVERIFY2(std::abs(frequencyOf(tone) - 220.0) < 3.0 && levelOf(tone) > 0.65, qPrintable(heard));
    if (ending == 0)
        emit test->released();
    else
        ending == 1 ? editor->hide() : editor.reset();
    QTRY_VERIFY_WITH_TIMEOUT(levelOf(recorder.take(100)) < 0.01, 2000);
}

// The null sink's twin comes and goes; a block of 64 frames per tick cannot keep up.
void ConfigurationEditorTest::choicesReachThePlayerAndTheStore()
{
    REQUIRE_SERVER();
    pulse::Module other("module-null-sink sink_name=zarn_other rate=44100 channels=2 "
                        "sink_properties=device.description=ZarnOther");
    ZarnPlayer player;
    ConfigurationEditor editor(m_store);
    connect(&editor, &ConfigurationEditor::outputChanged, &player, &ZarnPlayer::onOutputChanged);
    connect(&editor, &ConfigurationEditor::bufferSizeChanged, &player,
        &ZarnPlayer::onBufferSizeChanged);
    auto* selector = editor.findChild<MediaDeviceSelector*>("selectorOutput");
    auto* devices = selector->findChild<QComboBox*>("comboBoxDevice");
    QTRY_VERIFY_WITH_TIMEOUT(devices->findText("ZarnOther") >= 0, 5000);
    devices->setCurrentIndex(devices->findText("ZarnOther"));
    QCOMPARE(player.deviceSubgraph().device.id(), QByteArray("zarn_other"));
    QCOMPARE(m_store->stringValue(settingskey::kOutputDevice), QStringLiteral("ZarnOther"));
    auto* sizes = editor.findChild<QComboBox*>("comboBoxBufferSize");
    sizes->setCurrentIndex(sizes->findText("64"));
    QCOMPARE(player.bufferSize(), 64);
    QCOMPARE(m_store->int64Value(settingskey::kBufferSize), 64);
    player.setSong(Song::createNewSong(16));
    player.setRunning(true);
    QTRY_VERIFY_WITH_TIMEOUT(player.status().underruns > 0, 10000);
    player.setRunning(false);
    // Gone: the selector shows the default device and says so; the choice stays stored.
    const QString fallback = DeviceManager::instance().defaultAudioOutput().description();
    QVERIFY(other.unload());
    QTRY_VERIFY_WITH_TIMEOUT(devices->findText("ZarnOther") < 0, 5000);
    QCOMPARE(selector->notice(), "ZarnOther is not available; using " + fallback + ".");
    QCOMPARE(m_store->stringValue(settingskey::kOutputDevice), QStringLiteral("ZarnOther"));
}

QTEST_MAIN(ConfigurationEditorTest)
#include "tst_configuration_editor.moc"
