#pragma once

#include <QLoggingCategory>

// The ui library's log lines: QT_LOGGING_RULES="zarn.ui.debug=true" shows its debug lines.
Q_DECLARE_LOGGING_CATEGORY(lcUi)
