#pragma once

#include "core/NodeParameterSchema.h"
#include "song/Pattern.h"
#include "ui/pattern/PatternSelection.h"

#include <optional>

// The arithmetic of typing and of the block commands, on a pattern and its node's schema.
// Nothing here knows about widgets or undo; each edit changes the pattern in place.
namespace patternEdits {

// What a key does on the character under the cursor.
enum class DigitKind { None, Switch, Hex, Note, Octave };
DigitKind digitKind(const ParameterDescriptor& parameter, int digitInParameter);

// The semitone a piano key gives: the lower row from Z, else the upper row from Q plus 12.
std::optional<int> semitoneOfKey(int key);
// The note a piano key plays in the base octave, for typing and for jamming alike; the
// keypad's keys are never piano keys.
std::optional<quint32> noteOfKey(int key, bool keypad, int octave);
// The value 0..15 of a hexadecimal digit key, or nothing.
std::optional<int> hexOfKey(int key);

// The cell after typing `key` on character `digitInParameter`; nothing when the key does
// not apply. `octave` is the base octave of typed notes.
std::optional<quint32> typedValue(const ParameterDescriptor& parameter, int digitInParameter,
    quint32 old, int key, bool keypad, int octave);

// The cell value at (tick, parameter), or the parameter's empty value.
quint32 cellAt(const Pattern& pattern, const NodeParameterSchema& schema, int tick, int parameter);
// The row at the tick, made neutral and placed when there is none.
RowPointer rowForWriting(Pattern& pattern, int tick);
void writeCell(
    Pattern& pattern, const NodeParameterSchema& schema, int tick, int parameter, quint32 value);

// Shift +/-: adds delta x step to every non-empty selected value on existing rows.
void step(Pattern& pattern, const NodeParameterSchema& schema, const PatternSelection::Span& span,
    int delta, bool coarse);
// Ctrl+I: a straight line between the span's end values of each parameter.
void interpolate(
    Pattern& pattern, const NodeParameterSchema& schema, const PatternSelection::Span& span);
// Ctrl+Shift+I: straight lines through every non-empty value of each parameter.
void interpolateWaypoints(
    Pattern& pattern, const NodeParameterSchema& schema, const PatternSelection::Span& span);
// Writes the empty value into every cell of the span on existing rows.
void erase(Pattern& pattern, const NodeParameterSchema& schema, const PatternSelection::Span& span);

void insertRow(Pattern& pattern, int tick);
void deleteRow(Pattern& pattern, int tick);

} // namespace patternEdits
