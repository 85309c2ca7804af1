#include "processors/presets/PresetFile.h"
#include "processors/presets/PresetValues.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cmath>
#include <limits>

namespace presetFile {

namespace {

const QLatin1String kFormatKey("format");
const QLatin1String kVersionKey("version");
const QLatin1String kTypeKey("type");
const QLatin1String kNameKey("name");
const QLatin1String kValuesKey("values");
const QLatin1String kPresetsKey("presets");

// The kinds of preset file, as a refusal names them.
struct Kind {
    const char* format;
    const char* words;
};
constexpr Kind kKinds[]
    = { { kPresetFormat, "a single preset" }, { kLibraryFormat, "a preset library" } };

QString wordsFor(const QString& format)
{
    for (const Kind& kind : kKinds)
        if (format == QLatin1String(kind.format))
            return QLatin1String(kind.words);
    return {};
}

template <class T> Outcome<T> refused(const QString& reason)
{
    return { {}, reason };
}

QJsonObject header(const char* format, const QString& typeID)
{
    return { { kFormatKey, QLatin1String(format) }, { kVersionKey, kVersion },
        { kTypeKey, typeID } };
}

QJsonObject body(const Preset& preset)
{
    QJsonObject values;
    for (auto it = preset.values.cbegin(); it != preset.values.cend(); ++it)
        values.insert(it.key(), qint64(it.value()));
    return { { kNameKey, preset.name }, { kValuesKey, values } };
}

QByteArray document(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

// Why the marker, version or type of a top object is not what `format` needs; empty if it is.
QString headerProblem(const QJsonObject& top, const char* format)
{
    const QString marker = top.value(kFormatKey).toString();
    if (marker != QLatin1String(format))
        return wordsFor(marker).isEmpty()
            ? QStringLiteral("it is not a Zarn preset file")
            : QStringLiteral("it is %1, not %2").arg(wordsFor(marker), wordsFor(format));
    const QJsonValue version = top.value(kVersionKey);
    if (!version.isDouble())
        return QStringLiteral("it has no format version");
    if (version.toDouble() != kVersion)
        return QStringLiteral("it has format version %1; this program reads version %2")
            .arg(version.toDouble())
            .arg(kVersion);
    if (top.value(kTypeKey).toString().isEmpty())
        return QStringLiteral("it names no processor type");
    return {};
}

// The top object of a document whose header fits `format`.
Outcome<QJsonObject> open(const QByteArray& bytes, const char* format)
{
    QJsonParseError parsing;
    const QJsonDocument parsed = QJsonDocument::fromJson(bytes, &parsing);
    if (parsing.error != QJsonParseError::NoError)
        return refused<QJsonObject>(QStringLiteral("it is not JSON (%1 at byte %2)")
                                        .arg(parsing.errorString())
                                        .arg(parsing.offset));
    if (!parsed.isObject())
        return refused<QJsonObject>(QStringLiteral("it is not a Zarn preset file"));
    const QJsonObject top = parsed.object();
    const QString problem = headerProblem(top, format);
    return problem.isEmpty() ? Outcome<QJsonObject> { top, {} } : refused<QJsonObject>(problem);
}

bool wholeNumber(const QJsonValue& value)
{
    const double v = value.toDouble(-1.0);
    return value.isDouble() && v >= 0.0 && v <= std::numeric_limits<quint32>::max()
        && v == std::floor(v);
}

Outcome<Preset> presetFrom(const QJsonObject& object, const QString& typeID)
{
    const QString name = object.value(kNameKey).toString().trimmed();
    if (name.isEmpty() || name.size() > presets::kMaxNameLength)
        return refused<Preset>(
            QStringLiteral("its name is missing, empty or longer than %1 characters")
                .arg(presets::kMaxNameLength));
    const QJsonValue values = object.value(kValuesKey);
    if (!values.isObject())
        return refused<Preset>(QStringLiteral("\"%1\" has no parameter values").arg(name));
    Preset preset { name, typeID, {} };
    const QJsonObject map = values.toObject();
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        if (!wholeNumber(it.value()))
            return refused<Preset>(QStringLiteral("\"%1\" is not a whole number").arg(it.key()));
        preset.values.insert(it.key(), quint32(it.value().toDouble()));
    }
    return { preset, {} };
}

Outcome<Preset> fitting(
    Outcome<Preset> read, const QString& typeID, const NodeParameterSchema& schema)
{
    if (read.ok())
        read.error = presets::misfit(read.value, typeID, schema);
    return read.ok() ? read : refused<Preset>(read.error);
}

} // namespace

QByteArray encode(const Preset& preset)
{
    QJsonObject top = header(kPresetFormat, preset.typeID);
    const QJsonObject fields = body(preset);
    for (auto it = fields.constBegin(); it != fields.constEnd(); ++it)
        top.insert(it.key(), it.value());
    return document(top);
}

QByteArray encodeLibrary(const QString& typeID, const QList<Preset>& presets)
{
    QJsonArray list;
    for (const Preset& preset : presets)
        list.append(body(preset));
    QJsonObject top = header(kLibraryFormat, typeID);
    top.insert(kPresetsKey, list);
    return document(top);
}

Outcome<Preset> decode(
    const QByteArray& bytes, const QString& typeID, const NodeParameterSchema& schema)
{
    const Outcome<QJsonObject> top = open(bytes, kPresetFormat);
    if (!top.ok())
        return refused<Preset>(top.error);
    return fitting(presetFrom(top.value, top.value.value(kTypeKey).toString()), typeID, schema);
}

Outcome<QList<Preset>> decodeLibrary(
    const QByteArray& bytes, const QString& typeID, const NodeParameterSchema& schema)
{
    const Outcome<QJsonObject> top = open(bytes, kLibraryFormat);
    if (!top.ok())
        return refused<QList<Preset>>(top.error);
    const QJsonValue list = top.value.value(kPresetsKey);
    if (!list.isArray())
        return refused<QList<Preset>>(QStringLiteral("it has no list of presets"));
    const QString libraryType = top.value.value(kTypeKey).toString();
    if (libraryType != typeID)
        return refused<QList<Preset>>(
            QStringLiteral("it holds presets for \"%1\", not for \"%2\"").arg(libraryType, typeID));
    QList<Preset> presets;
    for (const QJsonValue& entry : list.toArray()) {
        const Outcome<Preset> preset
            = fitting(presetFrom(entry.toObject(), libraryType), typeID, schema);
        if (!preset.ok())
            return refused<QList<Preset>>(
                QStringLiteral("preset %1: %2").arg(presets.size() + 1).arg(preset.error));
        presets.append(preset.value);
    }
    return { presets, {} };
}

Outcome<QByteArray> read(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return refused<QByteArray>(QStringLiteral("it does not exist or is not a regular file"));
    const QString tooLarge = QStringLiteral("it is larger than %1 KiB").arg(kMaxBytes / 1024);
    if (info.size() > kMaxBytes)
        return refused<QByteArray>(tooLarge);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refused<QByteArray>(
            QStringLiteral("it cannot be read (%1)").arg(file.errorString()));
    // The size may have changed since it was asked, so the read itself stops past the cap.
    const QByteArray bytes = file.read(kMaxBytes + 1);
    if (bytes.size() > kMaxBytes)
        return refused<QByteArray>(tooLarge);
    return { bytes, {} };
}

Outcome<Preset> load(const QString& path, const QString& typeID, const NodeParameterSchema& schema)
{
    const Outcome<QByteArray> bytes = read(path);
    return bytes.ok() ? decode(bytes.value, typeID, schema) : refused<Preset>(bytes.error);
}

QString write(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return file.errorString();
    return {};
}

} // namespace presetFile
