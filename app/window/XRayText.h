#pragma once

#include "song/Node.h"
#include "ui/pages/PatternPage.h"

#include <QString>

#include <optional>

// The X-ray panel's rich text: the node, its pattern and what the cell under the cursor
// holds, with the parameter's type, description and default.
QString xRayText(const zarn::NodePointer& node, const PatternPointer& pattern,
    const std::optional<PatternCursor>& cursor);
