#pragma once

#include "song/Node.h"
#include "ui/pattern/PatternCursor.h"

#include <QString>

// The X-ray panel's rich text: the node, its pattern and what the cell under the cursor
// holds, with the parameter's type, description and default.
QString xRayText(
    const zarn::NodePointer& node, const PatternPointer& pattern, const PatternCursor* cursor);
