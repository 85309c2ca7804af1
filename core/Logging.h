#pragma once

#include <QLoggingCategory>

// The core library's log lines: QT_LOGGING_RULES="zarn.core.debug=true" shows its debug lines.
Q_DECLARE_LOGGING_CATEGORY(lcCore)
