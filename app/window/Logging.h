#pragma once

#include <QLoggingCategory>

// The window library's log lines: QT_LOGGING_RULES="zarn.window.debug=true" shows its debug lines.
Q_DECLARE_LOGGING_CATEGORY(lcWindow)
