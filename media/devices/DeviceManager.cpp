#include "media/devices/DeviceManager.h"

#include "media/Logging.h"
#include "media/devices/DeviceMatch.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDebug>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>

namespace media::devices {

namespace {

template <class Device> QString fingerprintOf(const QList<Device>& devices)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const Device& device : devices)
        hash.addData(device.description().toUtf8());
    return QString::fromLatin1(hash.result().toHex());
}

bool onMainThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace

template <class Device> QList<Device> DeviceManager::Cache<Device>::copy()
{
    const QMutexLocker lock(&mutex);
    return devices;
}

template <class Device> bool DeviceManager::Cache<Device>::refresh(const QList<Device>& present)
{
    const QString print = fingerprintOf(present);
    const QMutexLocker lock(&mutex);
    if (print == fingerprint)
        return false;
    devices = present;
    fingerprint = print;
    return true;
}

DeviceManager& DeviceManager::instance()
{
    static DeviceManager manager;
    return manager;
}

DeviceManager::DeviceManager()
{
    // Whichever thread asks first, the manager and its timer belong to the main thread.
    if (const QCoreApplication* app = QCoreApplication::instance())
        moveToThread(app->thread());
}

void DeviceManager::initializeAudio()
{
    if (m_audioInitialized.loadAcquire())
        return;
    if (!onMainThread()) {
        qCWarning(lcMedia).noquote()
            << "DeviceManager::initializeAudio called off the main thread before any main-thread "
               "initialization — skipping (lookups see an empty device cache until the main "
               "thread initializes)";
        return;
    }
    if (!m_mediaDevices)
        m_mediaDevices = new QMediaDevices(this);
    onAudioInputsChanged();
    onAudioOutputsChanged();
    connect(m_mediaDevices, &QMediaDevices::audioInputsChanged, this,
        &DeviceManager::onAudioInputsChanged);
    connect(m_mediaDevices, &QMediaDevices::audioOutputsChanged, this,
        &DeviceManager::onAudioOutputsChanged);
    // Qt's PulseAudio backend keeps its lists current but does not always say so; a
    // refresh that finds the same descriptions announces nothing.
    m_poll = new QTimer(this);
    connect(m_poll, &QTimer::timeout, this, &DeviceManager::onAudioInputsChanged);
    connect(m_poll, &QTimer::timeout, this, &DeviceManager::onAudioOutputsChanged);
    m_poll->start(kPollMs);
    m_audioInitialized.storeRelease(true);
}

void DeviceManager::onAudioInputsChanged()
{
    if (m_inputs.refresh(QMediaDevices::audioInputs())) {
        emit audioInputsChanged();
        emit devicesChanged();
    }
}

void DeviceManager::onAudioOutputsChanged()
{
    if (m_outputs.refresh(QMediaDevices::audioOutputs())) {
        emit audioOutputsChanged();
        emit devicesChanged();
    }
}

void DeviceManager::onVideoInputsChanged()
{
    if (m_videoInputs.refresh(QMediaDevices::videoInputs())) {
        emit videoInputsChanged();
        emit devicesChanged();
    }
}

QList<QAudioDevice> DeviceManager::audioInputs()
{
    initializeAudio();
    return m_inputs.copy();
}

QList<QAudioDevice> DeviceManager::audioOutputs()
{
    initializeAudio();
    return m_outputs.copy();
}

QList<QCameraDevice> DeviceManager::videoInputs()
{
    return m_videoInputs.copy();
}

QAudioDevice DeviceManager::findAudioInput(const QString& text)
{
    return find(audioInputs(), text);
}

QAudioDevice DeviceManager::findAudioOutput(const QString& text)
{
    return find(audioOutputs(), text);
}

QAudioDevice DeviceManager::defaultAudioOutput()
{
    const QList<QAudioDevice> outputs = audioOutputs();
    const QAudioDevice platform = QMediaDevices::defaultAudioOutput();
    if (!platform.isNull())
        return platform;
    return outputs.isEmpty() ? QAudioDevice() : outputs.first();
}

QString DeviceManager::hexId(const QAudioDevice& device)
{
    return QString::fromLatin1(device.id().toHex());
}

QAudioDevice DeviceManager::find(const QList<QAudioDevice>& devices, const QString& text)
{
    if (devices.isEmpty() || text.isEmpty())
        return {};
    const QByteArray wanted = text.toLatin1();
    for (const QAudioDevice& device : devices)
        if (device.id().toHex() == wanted)
            return device;
    QStringList descriptions;
    for (const QAudioDevice& device : devices)
        descriptions.append(device.description());
    const DeviceMatch match = fuzzyMatch(text, descriptions, kMatchThreshold);
    return match.found && match.index < devices.size() ? devices.at(match.index) : QAudioDevice();
}

} // namespace media::devices
