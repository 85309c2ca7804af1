#include "processors/presets/PresetLibrary.h"
#include "processors/presets/PresetFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

PresetLibrary::PresetLibrary(const QString& typeID, const SchemaPointer& schema)
    : m_typeID(typeID)
    , m_schema(schema)
    , m_path(typeID.isEmpty() ? QString() : pathFor(typeID))
{
    const Outcome<QList<Preset>> stored = read();
    m_presets = stored.value;
    m_loadError = stored.error;
}

QString PresetLibrary::pathFor(const QString& typeID)
{
    // Dots are encoded too, so no name is "." or "..", and nothing hides as a dot file.
    const QByteArray name = QUrl::toPercentEncoding(typeID, QByteArray(), ".");
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
        + QStringLiteral("/presets/") + QString::fromLatin1(name) + QStringLiteral(".json");
}

QString PresetLibrary::save(const QList<Preset>& presets)
{
    if (!m_loadError.isEmpty())
        return m_loadError;
    if (m_path.isEmpty())
        return QStringLiteral("the processor type has no name");
    const QByteArray bytes = presetFile::encodeLibrary(m_typeID, presets);
    // Nothing is written that the next start would refuse to read.
    if (bytes.size() > presetFile::kMaxBytes)
        return QStringLiteral("it would be larger than %1 KiB").arg(presetFile::kMaxBytes / 1024);
    const Outcome<QList<Preset>> readable = decode(bytes);
    if (!readable.ok())
        return readable.error;
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath()))
        return QStringLiteral("its folder cannot be made");
    const QString error = presetFile::write(m_path, bytes);
    if (error.isEmpty())
        m_presets = readable.value;
    return error;
}

Outcome<QList<Preset>> PresetLibrary::read() const
{
    if (m_path.isEmpty() || !QFileInfo::exists(m_path))
        return {};
    const Outcome<QByteArray> bytes = presetFile::read(m_path);
    return bytes.ok() ? decode(bytes.value) : Outcome<QList<Preset>> { {}, bytes.error };
}

Outcome<QList<Preset>> PresetLibrary::decode(const QByteArray& bytes) const
{
    return presetFile::decodeLibrary(bytes, m_typeID, m_schema ? *m_schema : NodeParameterSchema());
}
