#include "ui/pattern/PatternEdits.h"

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cmath>

namespace patternEdits {

namespace {

constexpr quint32 kNoteOff = 254;
constexpr quint32 kNoteEmpty = 255;

struct PianoKey {
    int key;
    int semitone;
};
constexpr std::array<PianoKey, 13> kLowerRow
    = { { { Qt::Key_Z, 0 }, { Qt::Key_S, 1 }, { Qt::Key_X, 2 }, { Qt::Key_D, 3 }, { Qt::Key_C, 4 },
        { Qt::Key_V, 5 }, { Qt::Key_G, 6 }, { Qt::Key_B, 7 }, { Qt::Key_H, 8 }, { Qt::Key_N, 9 },
        { Qt::Key_J, 10 }, { Qt::Key_M, 11 }, { Qt::Key_L, 13 } } };
constexpr std::array<PianoKey, 17> kUpperRow
    = { { { Qt::Key_Q, 0 }, { Qt::Key_2, 1 }, { Qt::Key_W, 2 }, { Qt::Key_3, 3 }, { Qt::Key_E, 4 },
        { Qt::Key_R, 5 }, { Qt::Key_5, 6 }, { Qt::Key_T, 7 }, { Qt::Key_6, 8 }, { Qt::Key_Y, 9 },
        { Qt::Key_7, 10 }, { Qt::Key_U, 11 }, { Qt::Key_I, 12 }, { Qt::Key_9, 13 },
        { Qt::Key_O, 14 }, { Qt::Key_0, 15 }, { Qt::Key_P, 16 } } };

template <std::size_t N> std::optional<int> find(const std::array<PianoKey, N>& row, int key)
{
    for (const PianoKey& k : row)
        if (k.key == key)
            return k.semitone;
    return std::nullopt;
}

quint32 widthMask(ValueType type)
{
    switch (type) {
    case ValueType::Switch:
    case ValueType::Byte:
        return 0xFF;
    case ValueType::Word:
        return 0xFFFF;
    default:
        return 0xFFFFFFFF;
    }
}

// The cell read as its type: a switch is its low byte's truth.
qint64 typed(const ParameterDescriptor& p, quint32 raw)
{
    if (p.valueType() == ValueType::Switch)
        return (raw & 0xFF) != 0 ? 1 : 0;
    return raw & widthMask(p.valueType());
}

quint32 clampToRange(const ParameterDescriptor& p, qint64 value)
{
    const quint32 mask = widthMask(p.valueType());
    const qint64 low = p.minimum & mask;
    const qint64 high = p.maximum & mask;
    return quint32(std::clamp(value, low, std::max(low, high)));
}

// Empty cells, and note-offs and empty notes, are not values to step or draw lines through.
bool holdsValue(const ParameterDescriptor& p, quint32 raw)
{
    if (raw == p.empty)
        return false;
    return p.valueType() != ValueType::MidiNote || (raw != kNoteOff && raw != kNoteEmpty);
}

void line(Pattern& pattern, const NodeParameterSchema& schema, int parameter, int lo, qint64 a,
    int hi, qint64 b)
{
    const ParameterDescriptor& p = *schema.parameterOfCell(parameter);
    for (int t = lo; t <= hi; ++t) {
        const double v = double(t - lo) / double(hi - lo) * double(b - a) + double(a);
        writeCell(pattern, schema, t, parameter, clampToRange(p, qint64(std::round(v))));
    }
}

template <typename F>
void forEachParameter(const NodeParameterSchema& schema, const PatternSelection::Span& span, F&& f)
{
    for (int parameter = span.firstParameter; parameter <= span.lastParameter; ++parameter)
        if (const ParameterPointer p = schema.parameterOfCell(parameter))
            f(parameter, *p);
}

} // namespace

DigitKind digitKind(const ParameterDescriptor& parameter, int digitInParameter)
{
    switch (parameter.valueType()) {
    case ValueType::Switch:
        return digitInParameter == 0 ? DigitKind::Switch : DigitKind::None;
    case ValueType::Byte:
        return digitInParameter <= 1 ? DigitKind::Hex : DigitKind::None;
    case ValueType::MidiNote:
        return digitInParameter == 0 ? DigitKind::Note
            : digitInParameter == 2  ? DigitKind::Octave
                                     : DigitKind::None;
    case ValueType::Word:
        return digitInParameter <= 3 ? DigitKind::Hex : DigitKind::None;
    default:
        return DigitKind::None;
    }
}

std::optional<int> semitoneOfKey(int key)
{
    if (const auto s = find(kLowerRow, key))
        return s;
    if (const auto s = find(kUpperRow, key))
        return *s + 12;
    return std::nullopt;
}

std::optional<quint32> noteOfKey(int key, bool keypad, int octave)
{
    const auto semitone = keypad ? std::nullopt : semitoneOfKey(key);
    if (!semitone)
        return std::nullopt;
    return quint32(*semitone + 12 * octave);
}

std::optional<int> hexOfKey(int key)
{
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return key - Qt::Key_0;
    if (key >= Qt::Key_A && key <= Qt::Key_F)
        return 10 + key - Qt::Key_A;
    return std::nullopt;
}

std::optional<quint32> typedValue(const ParameterDescriptor& parameter, int digitInParameter,
    quint32 old, int key, bool keypad, int octave)
{
    switch (digitKind(parameter, digitInParameter)) {
    case DigitKind::Switch:
        if (key == Qt::Key_0 || key == Qt::Key_1)
            return quint32(key - Qt::Key_0);
        return std::nullopt;
    case DigitKind::Hex: {
        const auto digit = hexOfKey(key);
        if (!digit)
            return std::nullopt;
        const quint32 base = old == parameter.empty ? 0 : old;
        const int shift = (charactersOf(parameter.valueType()) - digitInParameter - 1) * 4;
        const quint32 value = (base & ~(0xFu << shift)) | (quint32(*digit) << shift);
        return value & widthMask(parameter.valueType());
    }
    case DigitKind::Note: {
        if (key == Qt::Key_1)
            return kNoteOff;
        return noteOfKey(key, keypad, octave);
    }
    case DigitKind::Octave:
        if (key < Qt::Key_0 || key > Qt::Key_9)
            return std::nullopt;
        if (old == parameter.empty)
            return old; // handled, but an empty note has no octave to change
        return old % 12 + 12 * quint32(key - Qt::Key_0);
    default:
        return std::nullopt;
    }
}

quint32 cellAt(const Pattern& pattern, const NodeParameterSchema& schema, int tick, int parameter)
{
    const ParameterPointer p = schema.parameterOfCell(parameter);
    const RowPointer row = pattern.rowAt(tick);
    if (row && parameter < row->cells.size())
        return row->cells.at(parameter);
    return p ? p->empty : 0;
}

RowPointer rowForWriting(Pattern& pattern, int tick)
{
    RowPointer row = pattern.rowAt(tick);
    if (!row) {
        row = pattern.makeNeutralRow();
        pattern.setRow(tick, row);
    }
    return row;
}

void writeCell(
    Pattern& pattern, const NodeParameterSchema& schema, int tick, int parameter, quint32 value)
{
    const ParameterPointer p = schema.parameterOfCell(parameter);
    if (p)
        if (const RowPointer row = rowForWriting(pattern, tick))
            row->setCell(parameter, value, p->empty);
}

void step(Pattern& pattern, const NodeParameterSchema& schema, const PatternSelection::Span& span,
    int delta, bool coarse)
{
    forEachParameter(schema, span, [&](int parameter, const ParameterDescriptor& p) {
        const int size = coarse ? (p.valueType() == ValueType::MidiNote ? 12
                                 : p.valueType() == ValueType::Switch   ? 1
                                                                        : 16)
                                : 1;
        for (int t = span.firstTick; t <= span.lastTick; ++t) {
            const RowPointer row = pattern.rowAt(t);
            if (!row)
                continue;
            const quint32 raw = cellAt(pattern, schema, t, parameter);
            if (holdsValue(p, raw))
                row->setCell(
                    parameter, clampToRange(p, typed(p, raw) + qint64(delta) * size), p.empty);
        }
    });
}

void interpolate(
    Pattern& pattern, const NodeParameterSchema& schema, const PatternSelection::Span& span)
{
    const int lo = span.firstTick;
    const int hi = span.lastTick;
    if (hi - lo < 1)
        return;
    forEachParameter(schema, span, [&](int parameter, const ParameterDescriptor& p) {
        if (p.valueType() == ValueType::Switch || !pattern.rowAt(lo) || !pattern.rowAt(hi))
            return;
        const quint32 a = cellAt(pattern, schema, lo, parameter);
        const quint32 b = cellAt(pattern, schema, hi, parameter);
        if (holdsValue(p, a) && holdsValue(p, b))
            line(pattern, schema, parameter, lo, typed(p, a), hi, typed(p, b));
    });
}

void interpolateWaypoints(
    Pattern& pattern, const NodeParameterSchema& schema, const PatternSelection::Span& span)
{
    forEachParameter(schema, span, [&](int parameter, const ParameterDescriptor& p) {
        if (p.valueType() == ValueType::Switch)
            return;
        QList<std::pair<int, qint64>> points;
        for (int t = span.firstTick; t <= span.lastTick; ++t) {
            const quint32 raw = cellAt(pattern, schema, t, parameter);
            if (pattern.rowAt(t) && holdsValue(p, raw))
                points.append({ t, typed(p, raw) });
        }
        for (qsizetype i = 1; i < points.size(); ++i)
            line(pattern, schema, parameter, points[i - 1].first, points[i - 1].second,
                points[i].first, points[i].second);
    });
}

void erase(Pattern& pattern, const NodeParameterSchema& schema, const PatternSelection::Span& span)
{
    forEachParameter(schema, span, [&](int parameter, const ParameterDescriptor& p) {
        for (int t = span.firstTick; t <= span.lastTick; ++t)
            if (const RowPointer row = pattern.rowAt(t))
                row->setCell(parameter, p.empty, p.empty);
    });
}

void insertRow(Pattern& pattern, int tick)
{
    if (tick < 0 || tick >= pattern.length)
        return;
    if (pattern.rows.size() < pattern.length)
        pattern.rows.resize(pattern.length);
    for (int t = pattern.length - 1; t > tick; --t)
        pattern.rows[t] = pattern.rows[t - 1];
    pattern.rows[tick].reset();
}

void deleteRow(Pattern& pattern, int tick)
{
    if (tick < 0 || tick >= pattern.length)
        return;
    if (pattern.rows.size() < pattern.length)
        pattern.rows.resize(pattern.length);
    for (int t = tick; t + 1 < pattern.length; ++t)
        pattern.rows[t] = pattern.rows[t + 1];
    pattern.rows[pattern.length - 1].reset();
}

} // namespace patternEdits
