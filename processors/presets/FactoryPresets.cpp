#include "processors/presets/FactoryPresets.h"

namespace {

// Byte values as the lanes take them; the comments give what each value means to the
// processor, so a preset can be tuned without running the program.
const QList<Preset>& table()
{
    static const QList<Preset> presets = {
        // TB-303: cutoff is a multiple of the note's frequency (0.5 to 16), resonance the
        // filter's Q (0.5 to 20), envelope modulation how far the envelope opens it.
        { "Acid Squelch", "TB-303",
            { { "Waveform", 0 }, { "Cutoff", 70 }, { "Resonance", 215 }, { "EnvMod", 235 } } },
        { "Round Sub", "TB-303",
            { { "Waveform", 0 }, { "Cutoff", 25 }, { "Resonance", 10 }, { "EnvMod", 200 } } },
        { "Hollow Square", "TB-303",
            { { "Waveform", 1 }, { "Cutoff", 120 }, { "Resonance", 120 }, { "EnvMod", 200 } } },
        { "Bright Stab", "TB-303",
            { { "Waveform", 0 }, { "Cutoff", 210 }, { "Resonance", 80 }, { "EnvMod", 254 } } },

        // Drum: attack 10 to 500 samples, decay 200 to 8000 samples, pitch sweeps from
        // 700 Hz..9 kHz down to 140..700 Hz.
        { "Low Punch", "Drum", { { "Attack", 0 }, { "Decay", 210 }, { "Pitch", 0 } } },
        { "Snappy Tom", "Drum", { { "Attack", 2 }, { "Decay", 110 }, { "Pitch", 45 } } },
        { "Zap", "Drum", { { "Attack", 0 }, { "Decay", 30 }, { "Pitch", 230 } } },
        { "Soft Thump", "Drum", { { "Attack", 110 }, { "Decay", 160 }, { "Pitch", 12 } } },

        // FancyReverb: every lane spans its property's range in 254 steps.
        { "Small Room", "FancyReverb",
            { { "DryWet", 51 }, { "Density", 178 }, { "GainHF", 203 }, { "DecayTime", 4 },
                { "DecayHF", 80 }, { "ReflGain", 48 }, { "ReflDelay", 3 }, { "LateGain", 25 },
                { "LateDelay", 15 } } },
        { "Stone Hall", "FancyReverb",
            { { "DryWet", 102 }, { "GainHF", 152 }, { "DecayTime", 54 }, { "DecayHF", 60 },
                { "DecayLF", 160 }, { "ReflGain", 8 }, { "ReflDelay", 25 }, { "LateGain", 41 },
                { "LateDelay", 102 } } },
        { "Shimmer Plate", "FancyReverb",
            { { "GainHF", 241 }, { "GainLF", 127 }, { "DecayTime", 24 }, { "DecayHF", 105 },
                { "DecayLF", 67 }, { "ReflGain", 16 }, { "ReflDelay", 0 }, { "LateGain", 51 },
                { "LateDelay", 8 }, { "ModTime", 36 }, { "ModDepth", 64 }, { "AirAbsHF", 254 },
                { "HFRef", 94 } } },
        { "Slap Echo", "FancyReverb",
            { { "DryWet", 110 }, { "DecayTime", 11 }, { "ReflGain", 60 }, { "ReflDelay", 100 },
                { "EchoTime", 109 }, { "EchoDepth", 254 } } },
    };
    return presets;
}

} // namespace

QList<Preset> factoryPresets(const QString& typeID)
{
    QList<Preset> found;
    for (const Preset& preset : table())
        if (preset.typeID == typeID)
            found.append(preset);
    return found;
}
