#pragma once

#include "song/Song.h"

#include <QJsonObject>

namespace render {

// The song as JSON: nodes with their patterns, connections and tracks by uniqueID, and
// the position fields the file stores.
QJsonObject songInfo(const Song& song);

} // namespace render
