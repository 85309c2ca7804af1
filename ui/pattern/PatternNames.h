#pragma once

#include "song/Node.h"

#include <QString>

// The names the pattern dialog proposes.
namespace patternNames {

// The first of "00", "01" ... "999" no pattern of the node uses.
QString proposeNew(const zarn::Node& node);
// "Copy of " + the source name without that prefix and its trailing number + " NN", with
// the first free NN from 00 to 999; empty when every number is taken.
QString proposeCopy(const zarn::Node& node, const QString& source);
// The node's pattern of that name, other than `except`, exists.
bool taken(const zarn::Node& node, const QString& name, const Pattern* except = nullptr);

} // namespace patternNames
