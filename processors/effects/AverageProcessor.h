#pragma once

#include "core/EngineRate.h"
#include "processors/Processor.h"
#include "processors/units/DelayLine.h"

// A moving average over the last `size` samples; the size comes from the song file.
class AverageProcessor final : public Processor {
public:
    enum Lane { DryGain, WetGain, Size };

    // The longest ring a stored size may ask for: 10 s at the engine rate.
    static constexpr qint32 kMaxSize = 10 * kEngineRate;

    explicit AverageProcessor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;
    void saveState(QDataStream& stream) override;
    void loadState(QDataStream& stream) override;
    void reset() override;

private:
    double m_dryGain = 0.0;
    double m_wetGain = 0.0;
    qint32 m_size = 0;
    DelayLine<double> m_line;
    double m_sum = 0.0;
};
