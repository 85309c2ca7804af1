#pragma once

#include <QLoggingCategory>

// The media library's log lines: QT_LOGGING_RULES="zarn.media.debug=true" shows its debug lines.
Q_DECLARE_LOGGING_CATEGORY(lcMedia)
