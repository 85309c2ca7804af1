#pragma once

#include <QLoggingCategory>

// The infra library's log lines: QT_LOGGING_RULES="zarn.infra.debug=true" shows its debug lines.
Q_DECLARE_LOGGING_CATEGORY(lcInfra)
