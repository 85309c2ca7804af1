#include "ui/config/MediaDeviceSelector.h"

#include "media/devices/DeviceManager.h"

#include <QComboBox>
#include <QLabel>
#include <QMediaDevices>
#include <QSignalBlocker>
#include <QVBoxLayout>

using media::devices::DeviceManager;

MediaDeviceSelector::MediaDeviceSelector(QWidget* parent)
    : QWidget(parent)
    , m_title(new QLabel(this))
    , m_combo(new QComboBox(this))
    , m_notice(new QLabel(this))
{
    m_title->setObjectName(QStringLiteral("labelTitle"));
    m_combo->setObjectName(QStringLiteral("comboBoxDevice"));
    m_notice->setObjectName(QStringLiteral("labelNotice"));
    m_notice->setWordWrap(true);
    m_notice->hide();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_title);
    layout->addWidget(m_combo);
    layout->addWidget(m_notice);

    connect(
        m_combo, &QComboBox::currentIndexChanged, this, &MediaDeviceSelector::onComboIndexChanged);
    connect(&DeviceManager::instance(), &DeviceManager::devicesChanged, this,
        &MediaDeviceSelector::onDevicesChanged);
    setDirection(m_direction);
}

void MediaDeviceSelector::setDirection(Direction direction)
{
    m_direction = direction;
    m_combo->setPlaceholderText(
        direction == Direction::Output ? tr("No output device") : tr("No input device"));
    m_devices.clear();
    onDevicesChanged();
}

void MediaDeviceSelector::setTitle(const QString& title)
{
    m_title->setText(title);
}

QAudioDevice MediaDeviceSelector::selectedDevice() const
{
    return m_devices.value(m_combo->currentIndex());
}

void MediaDeviceSelector::selectDevice(const QAudioDevice& device)
{
    const int index = m_combo->findText(device.description(), Qt::MatchExactly);
    if (index < 0)
        return;
    m_wanted = device.description();
    const QSignalBlocker blocker(m_combo);
    m_combo->setCurrentIndex(index);
    showNotice();
}

QString MediaDeviceSelector::notice() const
{
    if (m_wanted.isEmpty() || m_combo->findText(m_wanted, Qt::MatchExactly) >= 0)
        return {};
    return hasDevices() ? tr("%1 is not available; using %2.").arg(m_wanted, m_combo->currentText())
                        : tr("%1 is not available.").arg(m_wanted);
}

void MediaDeviceSelector::onComboIndexChanged(int index)
{
    if (index < 0 || index >= m_devices.size())
        return;
    const QAudioDevice device = m_devices.at(index);
    m_wanted = device.description();
    showNotice();
    emit selectedDeviceChanged(device);
}

void MediaDeviceSelector::onDevicesChanged()
{
    const QList<QAudioDevice> present = hostDevices();
    if (!m_devices.isEmpty() && present == m_devices)
        return;
    const QAudioDevice before = selectedDevice();
    m_devices = present;
    fill();
    const QAudioDevice after = selectedDevice();
    if (after.id() != before.id() || after.isNull() != before.isNull())
        emit deviceFollowed(after);
}

QList<QAudioDevice> MediaDeviceSelector::hostDevices() const
{
    DeviceManager& manager = DeviceManager::instance();
    return m_direction == Direction::Output ? manager.audioOutputs() : manager.audioInputs();
}

QAudioDevice MediaDeviceSelector::hostDefault() const
{
    return m_direction == Direction::Output ? DeviceManager::instance().defaultAudioOutput()
                                            : QMediaDevices::defaultAudioInput();
}

int MediaDeviceSelector::preferredIndex() const
{
    const int wanted = m_wanted.isEmpty() ? -1 : m_combo->findText(m_wanted, Qt::MatchExactly);
    if (wanted >= 0)
        return wanted;
    const QByteArray fallback = hostDefault().id();
    for (int i = 0; i < m_devices.size(); ++i)
        if (m_devices.at(i).id() == fallback)
            return i;
    return 0;
}

void MediaDeviceSelector::fill()
{
    const QSignalBlocker blocker(m_combo);
    m_combo->clear();
    for (const QAudioDevice& device : std::as_const(m_devices)) {
        m_combo->addItem(device.description(), DeviceManager::hexId(device));
        m_combo->setItemData(m_combo->count() - 1, DeviceManager::hexId(device), Qt::ToolTipRole);
    }
    m_combo->setEnabled(hasDevices());
    m_combo->setCurrentIndex(hasDevices() ? preferredIndex() : -1);
    showNotice();
}

void MediaDeviceSelector::showNotice()
{
    const QString text = notice();
    m_notice->setText(text);
    m_notice->setVisible(!text.isEmpty());
}
