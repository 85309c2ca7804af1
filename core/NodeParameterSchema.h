#pragma once

#include <QDataStream>
#include <QList>
#include <QSharedPointer>
#include <QString>

// How a row cell is typed and shown in the pattern grid.
enum class ValueType : quint32 { None = 0, Switch = 1, Byte = 2, MidiNote = 3, Word = 4 };

// Number of characters a value of the type takes in the pattern grid.
int charactersOf(ValueType type);
// The name the editors show for the type, e.g. "Byte (hex)"; empty for None.
QString valueTypeName(ValueType type);

// One lane's description: type, range, the value that means "nothing entered", default.
struct ParameterDescriptor {
    quint32 type = 0;
    QString name;
    QString description;
    quint32 minimum = 0;
    quint32 maximum = 0;
    quint32 empty = 0;
    quint32 defaultValue = 0;
    quint8 flag = 0;

    static QSharedPointer<ParameterDescriptor> general(ValueType type, const QString& name,
        const QString& description, quint32 minimum, quint32 maximum, quint32 empty,
        quint32 defaultValue);
    static QSharedPointer<ParameterDescriptor> makeSwitch(
        const QString& name, const QString& description, quint8 flag);
    static QSharedPointer<ParameterDescriptor> byte(const QString& name, const QString& description,
        quint8 minimum, quint8 maximum, quint8 empty, quint8 defaultValue);
    static QSharedPointer<ParameterDescriptor> midiNote(
        const QString& name, const QString& description, quint32 maximum);
    static QSharedPointer<ParameterDescriptor> word(
        const QString& name, const QString& description, quint16 maximum, quint16 defaultValue);

    ValueType valueType() const { return ValueType(type); }
    // A note, or a flagged per-note switch (accent, slide), is played from the pattern; the
    // other parameters shape the sound, as a knob or a preset sets them.
    bool isPlayed() const { return valueType() == ValueType::MidiNote || flag != 0; }
    // The cell as the grid and the X-ray panel show it; "<i>(empty)</i>" for the empty mark.
    QString valueText(quint32 value) const;

    void write(QDataStream& stream) const;
    void read(QDataStream& stream);
};

using ParameterPointer = QSharedPointer<ParameterDescriptor>;

// Note name of a MIDI note value: "C-5" for 60, "OFF" for 254, "LOW" below zero.
QString noteText(qint32 value);

// The lanes a processor's patterns carry: node parameters once per row, track
// parameters once per lane.
class NodeParameterSchema {
public:
    QList<ParameterPointer> nodeParameters;
    QList<ParameterPointer> trackParameters;

    // Flat index: node parameters first, then the track parameters of one lane.
    ParameterPointer parameterAt(int flatIndex) const;
    // The descriptor of row cell `cellIndex` in any lane: the track parameters repeat
    // once per lane after the node parameters.
    ParameterPointer parameterOfCell(qint64 cellIndex) const;
    // Characters of the node list when laneCount < 1, of the track list otherwise.
    int digitCount(int laneCount) const;

    void write(QDataStream& stream) const;
    void read(QDataStream& stream);
};

// Schemas are shared and, once built, never changed.
using SchemaPointer = QSharedPointer<const NodeParameterSchema>;

// Layout questions the pattern editor asks of a possibly missing schema; the
// messages go to the debug log only when `debug` is set.
namespace schemaLayout {
int digitInPatternCount(const NodeParameterSchema* schema, bool debug);
int columnsInPatternCount(const NodeParameterSchema* schema, bool debug);
int digitInParameterCount(const NodeParameterSchema* schema, int parameterIndex, bool debug);
} // namespace schemaLayout
