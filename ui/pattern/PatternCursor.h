#pragma once

#include "core/NodeParameterSchema.h"

// Where typing lands in a pattern: a tick and one character of a row. Characters are
// counted across the node parameters, then each lane's track parameters; the middle
// character of a note is never a position. Each move returns whether anything changed.
class PatternCursor {
public:
    // The schema the characters belong to and how many lanes the cursor may enter.
    void setLayout(const SchemaPointer& schema, int lanes, int length);

    bool moveTickAbsolute(int tick);
    bool moveDigitAbsolute(int digit);
    bool moveColumnAbsolute(int column);
    bool moveColumnRelative(int delta);

    // Characters in the node parameters and the entered lanes.
    int digitCount() const;
    // The first character of flat parameter `parameter`, or -1.
    int firstDigitOf(int parameter) const;

    int tick = 0;
    int digit = 0;
    int digitInParameter = 0;
    int parameterIndex = 0;
    int column = 0;
    bool debug = false;

private:
    void locate();
    int nodeDigits() const;
    int laneDigits() const;

    SchemaPointer m_schema;
    int m_lanes = 0;
    int m_length = 1;
};
