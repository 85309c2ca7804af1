#pragma once

#include <QAudioDevice>
#include <QList>
#include <QString>
#include <QWidget>

class QComboBox;
class QLabel;

// A titled list of the device manager's input or output devices. It follows the host's
// list: a chosen device that leaves is replaced by the default one, with a notice saying so,
// and comes back when the device does.
class MediaDeviceSelector : public QWidget {
    Q_OBJECT

public:
    enum class Direction { Input, Output };

    explicit MediaDeviceSelector(QWidget* parent = nullptr);

    // Which list to show; refills it.
    void setDirection(Direction direction);
    void setTitle(const QString& title);

    // Null when the list is empty.
    QAudioDevice selectedDevice() const;
    // Shows the first entry described like `device` and makes it the wanted one. This is no
    // choice of the user's, so nothing is emitted.
    void selectDevice(const QAudioDevice& device);
    bool hasDevices() const { return !m_devices.isEmpty(); }
    // Empty unless the wanted device is missing.
    QString notice() const;

signals:
    // The user chose a device.
    void selectedDeviceChanged(QAudioDevice device);
    // A change of the host's list put another device (or none) in place of the shown one.
    void deviceFollowed(QAudioDevice device);

public slots:
    void onComboIndexChanged(int index);
    void onDevicesChanged();

private:
    QList<QAudioDevice> hostDevices() const;
    QAudioDevice hostDefault() const;
    // Index of the wanted device, else of the default one, else 0.
    int preferredIndex() const;
    void fill();
    void showNotice();

    Direction m_direction = Direction::Output;
    QLabel* m_title;
    QComboBox* m_combo;
    QLabel* m_notice;
    QList<QAudioDevice> m_devices;
    QString m_wanted; // description of the device last chosen
};
