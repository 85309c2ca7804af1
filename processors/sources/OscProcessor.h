#pragma once

#include "processors/Processor.h"
#include "processors/sources/BandLimitedWave.h"
#include "processors/units/LevelRamp.h"

#include <array>

// One band-limited oscillator voice: a note starts it or retunes it, a note-off fades it out,
// and the shape lane picks sine, triangle, saw or square. A fresh node is silent.
class OscProcessor final : public Processor {
public:
    enum Lane { Shape, Note, Volume };

    static constexpr int kShapes = 4;

    explicit OscProcessor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;

private:
    // Picks the table and phase step for the current shape and note.
    void tune();

    // By shape lane value, resolved once so that a row never looks a name up.
    std::array<const BandLimitedWave*, kShapes> m_waves {};
    int m_shape = 0;
    quint32 m_note = 0;
    bool m_sounding = false;
    double m_volume = 128.0 / 255.0;
    LevelRamp m_level { 0.0, kRampStep };
    // A whole cycle is 2^32: the top bits index the table, the rest interpolate.
    quint32 m_phase = 0;
    quint32 m_step = 0;
    const float* m_table = nullptr;
};
