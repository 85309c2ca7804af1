#include "ui/pattern/PatternSelection.h"

#include "ui/pattern/PatternCursor.h"

#include <algorithm>

int laneOfParameter(int parameter, int nodeCount, int trackCount)
{
    if (parameter < nodeCount || trackCount <= 0)
        return 0;
    return 1 + (parameter - nodeCount) / trackCount;
}

bool PatternSelection::cycled(const PatternCursor& cursor)
{
    if (!active || cursor.tick != lastMarkTick || cursor.parameterIndex != lastMarkParameter)
        return false;
    mode = mode % Everything + 1;
    return true;
}

void PatternSelection::startAt(const PatternCursor& cursor)
{
    beginParameter = endParameter = cursor.parameterIndex;
    beginColumn = endColumn = cursor.column;
    mode = OneParameter;
    active = true;
}

void PatternSelection::markBegin(const PatternCursor& cursor, int length)
{
    if (!cycled(cursor)) {
        beginTick = cursor.tick;
        if (!active) {
            startAt(cursor);
            endTick = length - 1;
        }
        endTick = std::max(endTick, beginTick);
    }
    lastMarkTick = cursor.tick;
    lastMarkParameter = cursor.parameterIndex;
    extending = false;
}

void PatternSelection::markEnd(const PatternCursor& cursor)
{
    if (!cycled(cursor)) {
        endTick = cursor.tick;
        if (!active) {
            startAt(cursor);
            beginTick = 0;
        }
        beginTick = std::min(beginTick, endTick);
    }
    lastMarkTick = cursor.tick;
    lastMarkParameter = cursor.parameterIndex;
    extending = false;
}

void PatternSelection::startExtending(const PatternCursor& cursor)
{
    if (extending)
        return;
    anchorTick = cursor.tick;
    anchorParameter = cursor.parameterIndex;
    anchorColumn = cursor.column;
    active = true;
    mode = ParameterRange;
    extending = true;
}

void PatternSelection::extendTo(const PatternCursor& cursor, int nodeCount, int trackCount)
{
    if (cursor.tick > anchorTick) {
        beginTick = anchorTick;
        endTick = cursor.tick - 1;
    } else if (cursor.tick < anchorTick) {
        beginTick = cursor.tick + 1;
        endTick = anchorTick;
    } else {
        beginTick = endTick = anchorTick;
    }
    beginParameter = std::min(anchorParameter, cursor.parameterIndex);
    endParameter = std::max(anchorParameter, cursor.parameterIndex);
    beginColumn = laneOfParameter(beginParameter, nodeCount, trackCount);
    endColumn = laneOfParameter(endParameter, nodeCount, trackCount);
}

void PatternSelection::clear()
{
    active = false;
    mode = OneParameter;
    lastMarkTick = lastMarkParameter = -1;
    extending = false;
}

PatternSelection::Span PatternSelection::span(int nodeCount, int trackCount, int lanes) const
{
    Span s { std::min(beginTick, endTick), std::max(beginTick, endTick), 0, 0 };
    switch (mode) {
    case OneParameter:
        s.firstParameter = s.lastParameter = beginParameter;
        break;
    case ParameterRange:
        s.firstParameter = std::min(beginParameter, endParameter);
        s.lastParameter = std::max(beginParameter, endParameter);
        break;
    case OneLane:
        s.firstParameter = beginColumn == 0 ? 0 : nodeCount + (beginColumn - 1) * trackCount;
        s.lastParameter
            = beginColumn == 0 ? nodeCount - 1 : nodeCount + beginColumn * trackCount - 1;
        break;
    default:
        s.lastParameter = nodeCount + trackCount * lanes - 1;
        break;
    }
    return s;
}
