#pragma once

#include "processors/Processor.h"
#include "processors/units/Biquad.h"

// One biquad as an effect node; type, cutoff and Q come from its lanes.
class FilterProcessor final : public Processor {
public:
    enum Lane { Type, Frequency, Resonance };

    explicit FilterProcessor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;
    void reset() override;
    int setActive(int flag) override;

    const Biquad<double>& filter() const { return m_filter; }

private:
    void updateFilter();

    qint32 m_filterType = Biquad<double>::LowPass;
    double m_cutoffHz = 1000.0;
    double m_resonance = 0.707;
    double m_gainDb = 0.0; // no lane sets it
    // Always at the engine rate; the rate given to the constructor is not used. Passes
    // the signal unchanged until the first row sets it.
    Biquad<double> m_filter;
};
