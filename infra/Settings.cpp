#include "infra/Settings.h"

#include "infra/Logging.h"
#include "infra/ObjectCheck.h"
#include "infra/ShutdownLifecycle.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QHash>
#include <QStandardPaths>

#include <algorithm>

namespace {

const QString kReverseDomainPrefix = QStringLiteral("com.kalvex.");
const QString kFileNamePattern = QStringLiteral("%1.ini");
const QString kFlushTaskPrefix = QStringLiteral("settings.flush.");
const QString kDefaultGroupName = QStringLiteral("default");

QHash<QString, QSharedPointer<Settings>>& registry()
{
    static QHash<QString, QSharedPointer<Settings>> stores;
    return stores;
}

} // namespace

QString settingskey::defaultLastFileDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

SyncClock SyncClock::system()
{
    return { &QDateTime::currentMSecsSinceEpoch,
        [](QTimer& timer, int milliseconds) { timer.start(milliseconds); } };
}

const QString Settings::kOrganisationName = QStringLiteral("Kalvex");
const QString Settings::kOrganisationDomain = QStringLiteral("kalvex.com");

Settings::Settings(
    const QString& name, const QString& fileName, const QString& group, QObject* parent)
    : QObject(parent)
    , m_group(group)
{
    m_backing = fileName.isEmpty() ? std::make_unique<QSettings>(
                    QSettings::IniFormat, QSettings::UserScope, kReverseDomainPrefix + name)
                                   : std::make_unique<QSettings>(fileName, QSettings::IniFormat);
    // An unreadable or malformed file is left alone rather than overwritten.
    if (m_backing->status() != QSettings::NoError) {
        qCWarning(lcInfra).noquote().nospace() << "ERROR: Could not create Settings for " << name;
        m_backing.reset();
    }
    if (m_backing && !m_group.isEmpty())
        m_backing->beginGroup(m_group);
    m_syncTimer.setSingleShot(true);
    if (!connect(&m_syncTimer, &QTimer::timeout, this, &Settings::delayedSync))
        qCWarning(lcInfra).noquote() << "ERROR: Could not connect settings sync timer";
    if (const QCoreApplication* application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this, &Settings::flushAtShutdown);
}

Settings::~Settings()
{
    m_syncTimer.stop();
    if (m_backing) {
        m_backing->sync();
        if (!m_group.isEmpty())
            m_backing->endGroup();
    }
    m_dirty = false;
}

QSharedPointer<Settings> Settings::instance(const QString& name)
{
    QSharedPointer<Settings>& store = registry()[name];
    if (!store) {
        QCoreApplication::setOrganizationName(kOrganisationName);
        QCoreApplication::setOrganizationDomain(kOrganisationDomain);
        QCoreApplication::setApplicationName(name);
        // The same place QSettings itself would choose for the organisation and name.
        const QString directory
            = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/'
            + kOrganisationName;
        store
            = QSharedPointer<Settings>::create(name, directory + u'/' + kFileNamePattern.arg(name));
    }
    return store;
}

void Settings::setClock(const SyncClock& clock)
{
    m_clock = clock;
}

QString Settings::stringValue(const QString& key, const QString& defaultValue) const
{
    const QVariant value = stored(key);
    return value.isValid() ? value.toString() : defaultValue;
}

int Settings::intValue(const QString& key, int defaultValue) const
{
    bool ok = false;
    const int value = stored(key).toInt(&ok);
    return ok ? value : defaultValue;
}

bool Settings::boolValue(const QString& key, bool defaultValue) const
{
    const QVariant value = stored(key);
    return value.isValid() ? value.toBool() : defaultValue;
}

qint64 Settings::int64Value(const QString& key, qint64 defaultValue) const
{
    bool ok = false;
    const qint64 value = stored(key).toLongLong(&ok);
    return ok ? value : defaultValue;
}

QRect Settings::windowGeometry() const
{
    return stored(QLatin1String(settingskey::kWindowGeometry)).toRect();
}

void Settings::setString(const QString& key, const QString& value)
{
    setValue(key, value);
}

void Settings::setInt(const QString& key, int value)
{
    setValue(key, value);
}

void Settings::setBool(const QString& key, bool value)
{
    setValue(key, value);
}

void Settings::setBufferSize(qint64 frames)
{
    setValue(QLatin1String(settingskey::kBufferSize), frames);
}

void Settings::setWindowGeometry(const QRect& geometry)
{
    setValue(QLatin1String(settingskey::kWindowGeometry), geometry);
}

void Settings::setValue(const QString& key, const QVariant& value)
{
    if (implausibleObject(this) || !m_backing)
        return;
    const QString trimmed = key.trimmed();
    if (trimmed.isEmpty()) {
        qCWarning(lcInfra).noquote() << "ERROR: Key was empty";
        return;
    }
    m_backing->setValue(trimmed, value);
    m_dirty = true;
    delayedSync();
    emit customSettingChanged(trimmed);
}

void Settings::delayedSync()
{
    if (implausibleObject(this) || !m_backing)
        return;
    const qint64 elapsed = m_clock.now() - m_lastSync;
    if (elapsed > kSyncIntervalMs) {
        sync();
        return;
    }
    // A clock that went backwards counts as a sync just now, not as a wait of hours.
    const qint64 wait = std::clamp(kSyncIntervalMs - elapsed, qint64(0), kSyncIntervalMs);
    m_clock.startTimer(m_syncTimer, int(wait));
}

void Settings::sync()
{
    if (implausibleObject(this))
        return;
    m_syncTimer.stop();
    if (m_backing)
        m_backing->sync();
    m_lastSync = m_clock.now();
    m_dirty = false;
}

void Settings::flushAtShutdown()
{
    if (implausibleObject(this) || !m_backing || !(m_dirty || m_syncTimer.isActive()))
        return;
    ShutdownLifecycle& lifecycle = ShutdownLifecycle::instance();
    const QString identifier = flushTaskIdentifier();
    lifecycle.beginTask({ QString(), identifier, QStringLiteral("Settings"),
        QStringLiteral("Flushing"), fileName(), {} });
    m_syncTimer.stop();
    sync();
    lifecycle.endTask(identifier);
}

QString Settings::fileName() const
{
    return m_backing ? m_backing->fileName() : QString();
}

QVariant Settings::stored(const QString& key) const
{
    if (implausibleObject(this) || !m_backing)
        return {};
    return m_backing->value(key);
}

QString Settings::flushTaskIdentifier() const
{
    return kFlushTaskPrefix + (m_group.isEmpty() ? kDefaultGroupName : m_group);
}
