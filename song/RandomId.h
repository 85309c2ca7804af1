#pragma once

#include <QString>

// A 20-character identifier drawn uniformly from letters and digits with the
// process-wide 64-bit generator; nodes, patterns and tracks carry one.
QString randomIdentifier();
