#include "core/NodeParameterSchema.h"

#include "core/DataStream.h"
#include "core/Logging.h"

#include <QDebug>

#include <array>

namespace {

struct TypeInfo {
    ValueType type;
    const char* name;
    int characters;
};

constexpr std::array<TypeInfo, 5> kTypes = { {
    { ValueType::None, "", 0 },
    { ValueType::Switch, "Switch", 1 },
    { ValueType::Byte, "Byte (hex)", 2 },
    { ValueType::MidiNote, "MIDI Note", 3 },
    { ValueType::Word, "Word (hex)", 4 },
} };

const TypeInfo* infoOf(ValueType type)
{
    for (const auto& info : kTypes)
        if (info.type == type)
            return &info;
    return nullptr;
}

constexpr std::array<const char*, 12> kNoteNames
    = { "C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-" };
constexpr qint32 kNoteOff = 254;
constexpr int kSemitones = 12;

constexpr char kEmptyText[] = "<i>(empty)</i>";

// type, two strings (a null string still takes its 4-byte count), four numbers, the flag
constexpr qint64 kMinDescriptorBytes = 4 + 4 + 4 + 16 + 1;

// Room for this many lanes: column 0 holds the node parameters, the rest are lanes.
constexpr int kPatternColumns = 256;

QString hexText(quint32 value, int digits)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(digits, '0');
}

ParameterPointer describe(ValueType type, const QString& name, const QString& description,
    quint32 minimum, quint32 maximum, quint32 empty, quint32 defaultValue, quint8 flag)
{
    auto p = ParameterPointer::create();
    p->type = quint32(type);
    p->name = name;
    p->description = description;
    p->minimum = minimum;
    p->maximum = maximum;
    p->empty = empty;
    p->defaultValue = defaultValue;
    p->flag = flag;
    return p;
}

void readList(QDataStream& stream, QList<ParameterPointer>& list, const char* label)
{
    qint64 count = 0;
    stream >> count;
    qCDebug(lcCore).noquote().nospace() << label << count;
    list.clear();
    if (count < 1 || !datastream::plausibleCount(stream, count, kMinDescriptorBytes))
        return;
    list.reserve(count);
    for (qint64 i = 0; i < count && datastream::healthy(stream); ++i) {
        auto p = ParameterPointer::create();
        p->read(stream);
        if (datastream::healthy(stream))
            list.append(p);
    }
}

void writeList(QDataStream& stream, const QList<ParameterPointer>& list)
{
    stream << qint64(list.size());
    for (const auto& p : list)
        p->write(stream);
}

void layoutMessage(bool debug, const char* text)
{
    if (debug)
        qCDebug(lcCore).noquote() << text;
}

} // namespace

int charactersOf(ValueType type)
{
    const TypeInfo* info = infoOf(type);
    return info ? info->characters : 0;
}

QString valueTypeName(ValueType type)
{
    const TypeInfo* info = infoOf(type);
    return info ? QString::fromLatin1(info->name) : QString();
}

QString noteText(qint32 value)
{
    if (value == kNoteOff)
        return QStringLiteral("OFF");
    if (value < 0)
        return QStringLiteral("LOW");
    return QStringLiteral("%1%2")
        .arg(QLatin1String(kNoteNames[value % kSemitones]))
        .arg(value / kSemitones);
}

ParameterPointer ParameterDescriptor::general(ValueType type, const QString& name,
    const QString& description, quint32 minimum, quint32 maximum, quint32 empty,
    quint32 defaultValue)
{
    return describe(type, name, description, minimum, maximum, empty, defaultValue, 0);
}

ParameterPointer ParameterDescriptor::makeSwitch(
    const QString& name, const QString& description, quint8 flag)
{
    return describe(ValueType::Switch, name, description, 0, 1, 2, 0, flag);
}

ParameterPointer ParameterDescriptor::byte(const QString& name, const QString& description,
    quint8 minimum, quint8 maximum, quint8 empty, quint8 defaultValue)
{
    return describe(ValueType::Byte, name, description, minimum, maximum, empty, defaultValue, 0);
}

ParameterPointer ParameterDescriptor::midiNote(
    const QString& name, const QString& description, quint32 maximum)
{
    return describe(ValueType::MidiNote, name, description, 0, maximum, 255, 255, 0);
}

ParameterPointer ParameterDescriptor::word(
    const QString& name, const QString& description, quint16 maximum, quint16 defaultValue)
{
    return describe(ValueType::Word, name, description, 0, maximum, 0xFFFF, defaultValue, 0);
}

QString ParameterDescriptor::valueText(quint32 value) const
{
    if (value == empty)
        return QString::fromLatin1(kEmptyText);
    switch (valueType()) {
    case ValueType::Switch:
        return (value & 0xFF) ? QStringLiteral("ON") : QStringLiteral("OFF");
    case ValueType::Byte:
        return hexText(value & 0xFF, 2);
    case ValueType::MidiNote:
        return noteText(qint32(value));
    case ValueType::Word:
        return hexText(value & 0xFFFF, 4);
    case ValueType::None:
        break;
    }
    return {};
}

void ParameterDescriptor::write(QDataStream& stream) const
{
    stream << type << name << description << minimum << maximum << empty << defaultValue
           << qint8(flag);
}

void ParameterDescriptor::read(QDataStream& stream)
{
    stream >> type >> name >> description >> minimum >> maximum >> empty >> defaultValue >> flag;
}

ParameterPointer NodeParameterSchema::parameterAt(int flatIndex) const
{
    if (flatIndex < 0)
        return {};
    if (flatIndex < nodeParameters.size())
        return nodeParameters.at(flatIndex);
    const qsizetype trackIndex = flatIndex - nodeParameters.size();
    if (trackIndex < trackParameters.size())
        return trackParameters.at(trackIndex);
    return {};
}

ParameterPointer NodeParameterSchema::parameterOfCell(qint64 cellIndex) const
{
    if (cellIndex < 0)
        return {};
    if (cellIndex < nodeParameters.size())
        return nodeParameters.at(cellIndex);
    if (trackParameters.isEmpty())
        return {};
    return trackParameters.at((cellIndex - nodeParameters.size()) % trackParameters.size());
}

int NodeParameterSchema::digitCount(int laneCount) const
{
    int digits = 0;
    for (const auto& p : laneCount < 1 ? nodeParameters : trackParameters)
        digits += charactersOf(p->valueType());
    return digits;
}

void NodeParameterSchema::write(QDataStream& stream) const
{
    qCDebug(lcCore).noquote().nospace()
        << "Stream OUT NodeParameterSchema: nodeParameters size=" << nodeParameters.size();
    writeList(stream, nodeParameters);
    writeList(stream, trackParameters);
}

void NodeParameterSchema::read(QDataStream& stream)
{
    readList(stream, nodeParameters, "Stream IN Schema: nodeParameters=");
    readList(stream, trackParameters, "Stream IN Schema: trackParameters=");
}

namespace schemaLayout {

int digitInPatternCount(const NodeParameterSchema* schema, bool debug)
{
    if (!schema) {
        layoutMessage(debug, "No schema in digitInPatternCount");
        return 0;
    }
    return schema->digitCount(0) + kPatternColumns * schema->digitCount(1);
}

int columnsInPatternCount(const NodeParameterSchema* schema, bool debug)
{
    if (!schema) {
        layoutMessage(debug, "No schema in columnsInPatternCount");
        return 0;
    }
    return kPatternColumns;
}

int digitInParameterCount(const NodeParameterSchema* schema, int parameterIndex, bool debug)
{
    if (!schema) {
        layoutMessage(debug, "No schema in digitInParameterCount");
        return 0;
    }
    const ParameterPointer p = schema->parameterAt(parameterIndex);
    if (!p) {
        layoutMessage(debug, "parameter out of range in digitInParameterCount");
        return 0;
    }
    return charactersOf(p->valueType());
}

} // namespace schemaLayout
