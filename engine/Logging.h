#pragma once

#include <QLoggingCategory>

// The engine library's log lines: QT_LOGGING_RULES="zarn.engine.debug=true" shows its debug lines.
Q_DECLARE_LOGGING_CATEGORY(lcEngine)
