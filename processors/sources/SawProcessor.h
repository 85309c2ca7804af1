#pragma once

#include "processors/Processor.h"
#include "processors/RowLanes.h"
#include "processors/units/LevelRamp.h"

#include <array>

// Seven sawtooth voices a fraction of a hertz apart, for a thick, slowly beating tone.
class SawProcessor final : public Processor {
public:
    enum Lane { Note, Volume };

    static constexpr int kVoices = 7;

    explicit SawProcessor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;

private:
    // The tone's frequency for this block; zero while silent.
    float frequency() const;
    // Up to one stretch of samples whose levels are all audible.
    void renderStretch(
        const std::array<double, kVoices>& steps, const double* levels, double* out, quint64 n);
    // The same where some level is not: those samples are silent and leave the phases.
    void renderFading(
        const std::array<double, kVoices>& steps, const double* levels, double* out, quint64 n);

    // All zero until the first block; held here so that rendering never allocates.
    std::array<double, kVoices> m_phases {};
    quint32 m_note = RowLanes::kEmptyNote;
    // A fresh node starts silent but at full level, so its first block fades out.
    LevelRamp m_level { 0.8, kRampStep };
    double m_volume = 0.8;
    bool m_noteOnPending = false;
    bool m_noteOffPending = false;
    bool m_silent = true;
};
