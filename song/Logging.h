#pragma once

#include <QLoggingCategory>

// The song library's log lines: QT_LOGGING_RULES="zarn.song.debug=true" shows its debug lines.
Q_DECLARE_LOGGING_CATEGORY(lcSong)
