#pragma once

#include <QObject>
#include <QRect>
#include <QSettings>
#include <QSharedPointer>
#include <QString>
#include <QTimer>
#include <QVariant>

#include <functional>
#include <memory>

// The program's keys and the defaults their readers use.
namespace settingskey {

inline constexpr char kLastFileDir[] = "zarn_last_file_dir"; // defaults to the desktop folder
inline constexpr char kFullScreen[] = "zarn_full_screen";
inline constexpr char kXRayMode[] = "zarn_x_ray_mode";
inline constexpr char kWindowGeometry[] = "zarn_window_geometry";
inline constexpr char kInitialScreen[] = "zarn_initial_screen";
inline constexpr char kBufferSize[] = "zarn_buffer_size";
inline constexpr char kBeatsPerMinute[] = "zarn_beats_per_minute";
inline constexpr char kTicksPerBeat[] = "zarn_ticks_per_beat";
inline constexpr char kBeatsPerStep[] = "zarn_beats_per_step"; // holds the ticks per step
inline constexpr char kOutputDevice[] = "zarn_output_device";
inline constexpr char kInputDevice[] = "zarn_input_device";

inline constexpr bool kDefaultFullScreen = false;
inline constexpr bool kDefaultXRayMode = false;
inline constexpr qint64 kDefaultBufferSize = 1024;
inline constexpr int kDefaultBeatsPerMinute = 120;
inline constexpr int kDefaultTicksPerBeat = 16;
inline constexpr int kDefaultBeatsPerStep = 16;

QString defaultLastFileDir();

} // namespace settingskey

// Where a store reads the time and how it arms its sync timer; tests put in their own.
struct SyncClock {
    std::function<qint64()> now; // milliseconds since the epoch
    std::function<void(QTimer& timer, int milliseconds)> startTimer;

    static SyncClock system();
};

// A persistent key-value store over an INI file. Writes reach the disk at most once per
// ten seconds; whatever is still pending is flushed as a shutdown task.
class Settings : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 kSyncIntervalMs = 10000;
    static const QString kOrganisationName;
    static const QString kOrganisationDomain;

    // Without a file name the store lives in the platform's place for the name.
    Settings(const QString& name, const QString& fileName, const QString& group = QString(),
        QObject* parent = nullptr);
    ~Settings() override;

    // The store shared under `name`, created on the file "<name>.ini" on first use.
    static QSharedPointer<Settings> instance(const QString& name);

    void setClock(const SyncClock& clock);

    QString stringValue(const QString& key, const QString& defaultValue = QString()) const;
    int intValue(const QString& key, int defaultValue = 0) const;
    bool boolValue(const QString& key, bool defaultValue = false) const;
    qint64 int64Value(
        const QString& key, qint64 defaultValue = settingskey::kDefaultBufferSize) const;
    QRect windowGeometry() const; // an empty rectangle when none was stored

    void setString(const QString& key, const QString& value);
    void setInt(const QString& key, int value);
    void setBool(const QString& key, bool value);
    void setBufferSize(qint64 frames);
    void setWindowGeometry(const QRect& geometry);
    void setValue(const QString& key, const QVariant& value);

    void sync();
    // Runs when the application is about to quit.
    void flushAtShutdown();

    bool hasBacking() const { return m_backing != nullptr; }
    bool isDirty() const { return m_dirty; }
    qint64 lastSync() const { return m_lastSync; }
    QString fileName() const;

signals:
    void customSettingChanged(const QString& key);

public slots:
    void delayedSync();

private:
    QVariant stored(const QString& key) const; // invalid when absent or without backing
    QString flushTaskIdentifier() const;

    QString m_group;
    std::unique_ptr<QSettings> m_backing;
    qint64 m_lastSync = 0;
    QTimer m_syncTimer;
    bool m_dirty = false;
    SyncClock m_clock = SyncClock::system();
};
