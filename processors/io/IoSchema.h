#pragma once

#include "core/NodeParameterSchema.h"

// The lanes shared by the song's input and output points.
namespace io {

enum Lane { Bpm, Volume };

// Row value of unity gain in the Volume lane.
inline constexpr double kUnityVolume = 32767.0;

SchemaPointer ioSchema();

} // namespace io
