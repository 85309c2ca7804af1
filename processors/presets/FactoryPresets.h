#pragma once

#include "processors/presets/Preset.h"

#include <QList>

// The presets that come with the program for a processor type; none for most types.
QList<Preset> factoryPresets(const QString& typeID);
