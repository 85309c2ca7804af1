#pragma once

#include "processors/Processor.h"
#include "processors/presets/Preset.h"

// How a preset meets a processor: whether it fits a schema, and moving values between the
// two. A preset keeps the sound, not what is played: played parameters stay out, as
// applying a note would play it.
namespace presets {

// Empty when the preset is for `typeID` and every value names a kept parameter of the
// schema and lies in its range; otherwise why not.
QString misfit(const Preset& preset, const QString& typeID, const NodeParameterSchema& schema);
// Sets every node parameter, as Defaults does: the preset's value, or the parameter's
// default where the preset has none.
void apply(const Preset& preset, Processor& processor);
// The processor's current values of the parameters a preset keeps.
Preset capture(Processor& processor, const QString& name);

} // namespace presets
