#pragma once

#include "core/NodeParameterSchema.h"

class PatternCursor;

// The rectangle of cells the block commands work on: a tick span and, by mode, one
// parameter, a parameter range, one lane or every lane.
class PatternSelection {
public:
    enum Mode { OneParameter = 1, ParameterRange, OneLane, Everything };

    struct Span {
        int firstTick = 0;
        int lastTick = 0;
        int firstParameter = 0;
        int lastParameter = 0;
    };

    // Ctrl+B and Ctrl+E: set one end at the cursor, or cycle the mode when pressed again
    // where the last mark was set.
    void markBegin(const PatternCursor& cursor, int length);
    void markEnd(const PatternCursor& cursor);
    // Called before a Shift move: the first records the anchor at the cursor.
    void startExtending(const PatternCursor& cursor);
    // Called after a Shift move: the span runs from the anchor to the row before the
    // cursor's (after it, moving up), the parameters between the two.
    void extendTo(const PatternCursor& cursor, int nodeCount, int trackCount);
    void endExtending() { extending = false; }
    void clear();

    // The covered span of a pattern with `lanes` lanes, ends in order.
    Span span(int nodeCount, int trackCount, int lanes) const;

    bool active = false;
    int mode = OneParameter;
    int beginTick = 0;
    int beginParameter = 0;
    int beginColumn = 0;
    int endTick = 0;
    int endParameter = 0;
    int endColumn = 0;
    int lastMarkTick = -1;
    int lastMarkParameter = -1;
    bool extending = false;
    int anchorTick = 0;
    int anchorParameter = 0;
    int anchorColumn = 0;

private:
    bool cycled(const PatternCursor& cursor);
    void startAt(const PatternCursor& cursor);
};

// The lane of flat parameter `parameter`: 0 for the node parameters.
int laneOfParameter(int parameter, int nodeCount, int trackCount);
