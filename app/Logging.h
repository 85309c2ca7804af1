#pragma once

#include <QLoggingCategory>

// The app library's log lines: QT_LOGGING_RULES="zarn.app.debug=true" shows its debug lines.
Q_DECLARE_LOGGING_CATEGORY(lcApp)
