#pragma once

#include <QLoggingCategory>

// The processors library's log lines: QT_LOGGING_RULES="zarn.processors.debug=true" shows its debug
// lines.
Q_DECLARE_LOGGING_CATEGORY(lcProcessors)
