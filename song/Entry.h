#pragma once

#include "song/Pattern.h"

#include <QSharedPointer>

// What a track's node does from one tick on: start a pattern, break or mute.
struct Entry {
    enum Type : qint32 { PatternEntry = 0, BreakEntry = 1, MuteEntry = 2 };

    qint32 type = PatternEntry;
    PatternPointer pattern; // null for a break or a mute
};

using EntryPointer = QSharedPointer<Entry>;
