#pragma once

#include "processors/Processor.h"
#include "processors/units/DelayLine.h"

#include <array>

// A small reverb: four damped combs in parallel, then two all-passes in series.
class CheapReverbProcessor final : public Processor {
public:
    enum Lane { Decay, DryWet, Damping };

    explicit CheapReverbProcessor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;
    int setActive(int flag) override;
    void reset() override;

private:
    // Delays in samples at the engine rate.
    static constexpr std::array<quint32, 4> kCombLengths = { 1557, 1617, 1491, 1422 };
    static constexpr std::array<quint32, 2> kAllPassLengths = { 225, 556 };

    struct Comb {
        DelayLine<double> line;
        double feedback = 0.0;
        double store = 0.0; // the damping low-pass
    };
    struct AllPass {
        DelayLine<double> line;
    };

    void prepare();
    void setFeedback();
    void run(double* data, quint64 samples);

    double m_decay = 0.5;
    double m_wet = 0.3;
    double m_damping = 0.5;
    std::array<Comb, 4> m_combs;
    std::array<AllPass, 2> m_allPasses;
    quint64 m_position = 0;
    bool m_prepared = false;
};
