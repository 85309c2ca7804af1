#include "ui/config/ConfigurationEditor.h"

#include "ui_ConfigurationEditor.h"

#include "core/EngineRate.h"
#include "infra/Settings.h"
#include "media/devices/DeviceManager.h"
#include "ui/Logging.h"
#include "ui/WindowPlacement.h"
#include "ui/config/TestTone.h"

#include <QCursor>
#include <QDebug>
#include <QSignalBlocker>

#include <algorithm>

using media::devices::DeviceManager;

namespace {

constexpr double kMillisecondsPerSecond = 1000.0;
const char* const kTestToolTip
    = QT_TRANSLATE_NOOP("ConfigurationEditor", "Hold to play a 220 Hz tone on the output device");
const char* const kListenToolTip
    = QT_TRANSLATE_NOOP("ConfigurationEditor", "Show what the input device hears");
const char* const kAutoDetectText = QT_TRANSLATE_NOOP("ConfigurationEditor", "Auto-detect");

QString latencyText(int frames)
{
    const int format = TestToneRig::format().sampleRate();
    const int rate = format < 1 ? kEngineRate : format;
    return ConfigurationEditor::tr("~%1 ms").arg(frames * kMillisecondsPerSecond / rate, 0, 'f', 1);
}

QString key(const char* name)
{
    return QString::fromLatin1(name);
}

} // namespace

int BufferSizeSearch::start(quint64 underruns)
{
    m_index = 0;
    m_baseline = underruns;
    return candidate(m_index);
}

BufferSizeSearch::Step BufferSizeSearch::step(quint64 underruns)
{
    if (!isRunning())
        return {};
    const int tested = m_index;
    m_index = -1;
    if (underruns <= m_baseline) {
        if (tested + 1 >= int(kSizes.size()))
            return { candidate(tested), true, false };
        m_index = tested + 1;
        m_baseline = underruns;
        return { candidate(m_index), false, false };
    }
    // Nothing larger is left to fall back to when the first size underruns.
    return tested == 0 ? Step { candidate(0), true, true }
                       : Step { candidate(tested - 1), true, false };
}

ConfigurationEditor::ConfigurationEditor(const QSharedPointer<Settings>& settings, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_ui(std::make_unique<Ui::ConfigurationEditor>())
    , m_settings(settings)
{
    Q_ASSERT(m_settings);
    m_ui->setupUi(this);
    m_ui->selectorOutput->setTitle(tr("Output device"));
    m_ui->selectorInput->setDirection(MediaDeviceSelector::Direction::Input);
    m_ui->selectorInput->setTitle(tr("Input device"));
    // A level meter answers "does my microphone get through" at a glance.
    m_ui->audioPreview->setMode(UnifiedAudioScope::Level);
    m_ui->audioPreview->setHeaderVisible(true);
    m_ui->audioPreview->setFreezeOnPress(true);
    m_ui->audioPreview->setPopOutEnabled(true);
    m_ui->audioPreview->setShowLabels(true);
    m_stepTimer.setSingleShot(true);
    m_stepTimer.setInterval(kAutoDetectStepMs);
    restoreAutoDetectControls();

    prepBufferSize();
    preselectDevices();
    followOutput(m_ui->selectorOutput->selectedDevice());
    followInput(m_ui->selectorInput->selectedDevice());
    connectControls();
}

ConfigurationEditor::~ConfigurationEditor()
{
    // Losing focus while it is held makes the test button emit released() from inside the
    // base class's destructor, when this object is no editor any more.
    for (QObject* const child : findChildren<QObject*>())
        child->disconnect(this);
}

void ConfigurationEditor::preselectDevices()
{
    DeviceManager& devices = DeviceManager::instance();
    const QAudioDevice output
        = devices.findAudioOutput(m_settings->stringValue(key(settingskey::kOutputDevice)));
    if (!output.isNull())
        m_ui->selectorOutput->selectDevice(output);
    const QAudioDevice input
        = devices.findAudioInput(m_settings->stringValue(key(settingskey::kInputDevice)));
    if (!input.isNull())
        m_ui->selectorInput->selectDevice(input);
}

void ConfigurationEditor::connectControls()
{
    const Ui::ConfigurationEditor& ui = *m_ui;
    connect(ui.comboBoxBufferSize, &QComboBox::currentIndexChanged, this,
        &ConfigurationEditor::saveBufferSize);
    connect(ui.pushButtonAutoDetect, &QPushButton::clicked, this,
        &ConfigurationEditor::autoDetectBufferSize);
    connect(
        ui.pushButtonTestOutput, &QPushButton::pressed, this, &ConfigurationEditor::testOutputOn);
    connect(
        ui.pushButtonTestOutput, &QPushButton::released, this, &ConfigurationEditor::testOutputOff);
    connect(
        ui.pushButtonListen, &QPushButton::toggled, this, [this] { updateCapture(isVisible()); });
    connect(ui.selectorOutput, &MediaDeviceSelector::selectedDeviceChanged, this,
        &ConfigurationEditor::saveOutput);
    connect(ui.selectorOutput, &MediaDeviceSelector::deviceFollowed, this,
        &ConfigurationEditor::followOutput);
    connect(ui.selectorInput, &MediaDeviceSelector::selectedDeviceChanged, this,
        &ConfigurationEditor::saveInput);
    connect(ui.selectorInput, &MediaDeviceSelector::deviceFollowed, this,
        &ConfigurationEditor::followInput);
    connect(&m_stepTimer, &QTimer::timeout, this, &ConfigurationEditor::onAutoDetectStep);
}

void ConfigurationEditor::showAtPointer()
{
    const QPoint pointer = QCursor::pos();
    move(placeAtPointer(frameGeometry().size(), pointer, placement::screenAround(pointer)));
    show();
    raise();
    activateWindow();
}

QPoint ConfigurationEditor::placeAtPointer(
    const QSize& size, const QPoint& pointer, const QRect& screen)
{
    return placement::keptOnScreen(
        QPoint(pointer.x() - size.width() / 2, pointer.y()), size, screen);
}

void ConfigurationEditor::loadBufferSize()
{
    const qint64 stored = m_settings->int64Value(key(settingskey::kBufferSize));
    const int index
        = m_ui->comboBoxBufferSize->findText(QString::number(stored), Qt::MatchFixedString);
    if (index >= 0) {
        const QSignalBlocker blocker(m_ui->comboBoxBufferSize);
        m_ui->comboBoxBufferSize->setCurrentIndex(index);
    }
    if (debug)
        qCDebug(lcUi) << "Buffer size loading:" << stored;
    updateLatencyLabel();
}

void ConfigurationEditor::prepBufferSize()
{
    {
        QComboBox* const combo = m_ui->comboBoxBufferSize;
        const QSignalBlocker blocker(combo);
        combo->clear();
        for (const int size : BufferSizeSearch::kSizes)
            combo->addItem(QString::number(size), size);
        // What the player uses when the store holds nothing usable.
        combo->setCurrentIndex(combo->findData(int(settingskey::kDefaultBufferSize)));
    }
    loadBufferSize();
}

void ConfigurationEditor::saveOutput()
{
    const QString description = m_ui->selectorOutput->selectedDevice().description();
    m_settings->setString(key(settingskey::kOutputDevice), description);
    // Found the way the player finds it, so the tone plays where the song will.
    const QAudioDevice device = DeviceManager::instance().findAudioOutput(description);
    if (!device.isNull())
        followOutput(device);
    emit outputChanged(description);
    if (debug)
        qCDebug(lcUi).noquote() << "Output saving:" << description;
}

void ConfigurationEditor::saveInput()
{
    const QAudioDevice device = m_ui->selectorInput->selectedDevice();
    m_settings->setString(key(settingskey::kInputDevice), device.description());
    followInput(device);
    if (debug)
        qCDebug(lcUi).noquote() << "Input saving:" << device.description();
}

void ConfigurationEditor::saveBufferSize()
{
    const int size = selectedSize();
    m_settings->setBufferSize(size);
    emit bufferSizeChanged(size);
    if (debug)
        qCDebug(lcUi) << "Buffer size saving:" << size;
    updateLatencyLabel();
}

void ConfigurationEditor::testOutputOn()
{
    if (m_rig)
        m_rig->setSounding(true);
}

void ConfigurationEditor::testOutputOff()
{
    if (m_rig)
        m_rig->setSounding(false);
}

void ConfigurationEditor::autoDetectBufferSize()
{
    if (!m_status.running) {
        qCWarning(lcUi) << "Auto-detect: Engine not running, enable audio first";
        m_ui->labelLatency->setText(tr("Enable audio first!"));
        return;
    }
    if (m_search.isRunning())
        return;
    m_ui->pushButtonAutoDetect->setEnabled(false);
    m_ui->pushButtonAutoDetect->setText(tr("Testing..."));
    m_ui->comboBoxBufferSize->setEnabled(false);
    const int size = m_search.start(m_status.underruns);
    selectSizeQuietly(size);
    m_statusesThisStep = 0;
    emit bufferSizeChanged(size);
    m_search.rebase(m_status.underruns);
    m_ui->labelLatency->setText(tr("Testing %1...").arg(size));
    m_stepTimer.start();
}

void ConfigurationEditor::onAutoDetectStep()
{
    // The player reports every 20 blocks, which at the large sizes is longer than a step:
    // a size is judged on at least one whole report period of its own.
    if (m_search.isRunning() && m_statusesThisStep < 2) {
        m_stepTimer.start();
        return;
    }
    const BufferSizeSearch::Step result = m_search.step(m_status.underruns);
    if (result.size == 0)
        return;
    if (result.finished) {
        finishAutoDetect(result);
        return;
    }
    selectSizeQuietly(result.size);
    m_statusesThisStep = 0;
    emit bufferSizeChanged(result.size);
    m_search.rebase(m_status.underruns);
    m_ui->labelLatency->setText(tr("Testing %1...").arg(result.size));
    m_stepTimer.start();
}

void ConfigurationEditor::finishAutoDetect(const BufferSizeSearch::Step& result)
{
    // Only a search in which every size passed ends on the smallest one.
    if (result.size == BufferSizeSearch::kSizes.front())
        qCDebug(lcUi) << "Auto-detect: All sizes passed, using" << result.size;
    else
        qCDebug(lcUi) << "Auto-detect: Settled on" << result.size << "samples";
    selectSizeQuietly(result.size);
    emit bufferSizeChanged(result.size);
    m_settings->setBufferSize(result.size);
    restoreAutoDetectControls();
    updateLatencyLabel();
    if (result.underruns)
        m_ui->labelLatency->setText(tr("%1, still underruns").arg(m_ui->labelLatency->text()));
}

void ConfigurationEditor::restoreAutoDetectControls()
{
    m_ui->pushButtonAutoDetect->setText(tr(kAutoDetectText));
    m_ui->pushButtonAutoDetect->setEnabled(true);
    m_ui->comboBoxBufferSize->setEnabled(true);
}

void ConfigurationEditor::updateLatencyLabel()
{
    m_ui->labelLatency->setText(latencyText(selectedSize()));
}

void ConfigurationEditor::onEngineStatusReceived(EngineStatus status)
{
    m_status = status;
    if (!m_search.isRunning())
        return;
    if (!status.running) {
        // Without the engine no size can be judged; the size under test stays.
        qCWarning(lcUi) << "Auto-detect: Engine stopped, search abandoned";
        m_stepTimer.stop();
        m_search.abort();
        restoreAutoDetectControls();
        m_ui->labelLatency->setText(tr("Audio was switched off"));
        return;
    }
    if (++m_statusesThisStep == 1)
        m_search.rebase(status.underruns);
}

void ConfigurationEditor::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_rig && !m_rig->isRunning())
        startRig();
    updateCapture(true);
}

void ConfigurationEditor::hideEvent(QHideEvent* event)
{
    if (m_rig)
        m_rig->stop();
    if (m_search.isRunning()) {
        m_stepTimer.stop();
        m_search.abort();
        restoreAutoDetectControls();
        updateLatencyLabel();
    }
    updateCapture(false);
    QWidget::hideEvent(event);
}

void ConfigurationEditor::followOutput(const QAudioDevice& device)
{
    if (device.isNull()) {
        m_rig.reset();
        m_rigFailed = false;
    } else if (!m_rig) {
        m_rig = std::make_unique<TestToneRig>(device);
        if (isVisible())
            startRig();
    } else if (device.id() != m_rig->device().id()) {
        noteRigStart(m_rig->moveTo(device));
    }
    updateTestButton();
}

void ConfigurationEditor::startRig()
{
    noteRigStart(m_rig->start());
    updateTestButton();
}

void ConfigurationEditor::noteRigStart(bool started)
{
    m_rigFailed = !started;
    if (!started)
        qCWarning(lcUi) << "ConfigurationEditor: Failed to start test-tone sink";
}

void ConfigurationEditor::updateTestButton()
{
    const QString reason = !m_rig ? tr("No audio output device is available")
        : m_rigFailed             ? tr("The output device could not be opened")
                                  : QString();
    QPushButton* const button = m_ui->pushButtonTestOutput;
    button->setEnabled(reason.isEmpty());
    button->setToolTip(reason.isEmpty() ? tr(kTestToolTip) : reason);
}

void ConfigurationEditor::followInput(const QAudioDevice& device)
{
    if (!device.isNull()) {
        // One meter per channel the device records, side by side and labelled.
        const int channels = std::clamp(device.preferredFormat().channelCount(), 1, 8);
        m_ui->audioPreview->setChannelCount(channels);
        m_ui->audioPreview->setGridLayout(channels > 1);
        m_ui->audioPreview->setCaptureDevice(device);
    }
    QPushButton* const listen = m_ui->pushButtonListen;
    listen->setEnabled(!device.isNull());
    listen->setToolTip(
        device.isNull() ? tr("No audio input device is available") : tr(kListenToolTip));
    updateCapture(isVisible());
}

void ConfigurationEditor::updateCapture(bool shown)
{
    const bool wanted
        = shown && m_ui->pushButtonListen->isChecked() && m_ui->selectorInput->hasDevices();
    if (m_ui->audioPreview->capturing() != wanted)
        m_ui->audioPreview->setCapturing(wanted);
}

void ConfigurationEditor::selectSizeQuietly(int size)
{
    QComboBox* const combo = m_ui->comboBoxBufferSize;
    const QSignalBlocker blocker(combo);
    combo->setCurrentIndex(combo->findData(size));
}

int ConfigurationEditor::selectedSize() const
{
    return m_ui->comboBoxBufferSize->currentData().toInt();
}
