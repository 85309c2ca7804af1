#pragma once

#include <QAtomicInteger>
#include <QAudioDevice>
#include <QCameraDevice>
#include <QList>
#include <QMutex>
#include <QObject>

class QMediaDevices;
class QTimer;

namespace media::devices {

// The process-wide cache of the host's audio devices. It notices changes by a fingerprint
// of the descriptions, announces them, and finds a device again from a stored hex id or a
// remembered description. Queries copy a cache under its own mutex, so the device nodes'
// threads may look devices up while the main thread refreshes.
class DeviceManager : public QObject {
    Q_OBJECT

public:
    static constexpr double kMatchThreshold = 0.5;
    // How often the lists are read again: the platform does not always announce changes.
    static constexpr int kPollMs = 1000;

    static DeviceManager& instance();

    // Reads the device lists and follows their changes; does its work once, and only on
    // the main thread, where the platform's notifications arrive.
    void initializeAudio();

    QList<QAudioDevice> audioInputs();
    QList<QAudioDevice> audioOutputs();
    QList<QCameraDevice> videoInputs();
    QAudioDevice findAudioInput(const QString& text);
    QAudioDevice findAudioOutput(const QString& text);
    QAudioDevice defaultAudioOutput();

    // How devices are named in settings and selectors: the id as lower-case hex text.
    static QString hexId(const QAudioDevice& device);

signals:
    void audioInputsChanged();
    void audioOutputsChanged();
    void videoInputsChanged();
    void devicesChanged();

public slots:
    void onAudioInputsChanged();
    void onAudioOutputsChanged();
    void onVideoInputsChanged();

private:
    template <class Device> struct Cache {
        QMutex mutex;
        QList<Device> devices;
        QString fingerprint;

        QList<Device> copy();
        // Replaces the list when its descriptions changed; true when it did.
        bool refresh(const QList<Device>& present);
    };

    DeviceManager();
    static QAudioDevice find(const QList<QAudioDevice>& devices, const QString& text);

    QMediaDevices* m_mediaDevices = nullptr;
    QTimer* m_poll = nullptr;
    Cache<QAudioDevice> m_inputs;
    Cache<QAudioDevice> m_outputs;
    Cache<QCameraDevice> m_videoInputs;
    QAtomicInteger<bool> m_audioInitialized = false;
};

} // namespace media::devices
