#pragma once

#include "processors/Processor.h"

#include <array>
#include <numeric>

// A small reverb: four damped combs in parallel, then two all-passes in series.
class CheapReverbProcessor final : public Processor {
public:
    enum Lane { Decay, DryWet, Damping };

    explicit CheapReverbProcessor(int sampleRate);

    void process(AudioContext& context) override;
    const ProcessorCharacter& character() const override { return m_character; }
    QSharedPointer<NodeParameterSchema> schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;
    int setActive(int flag) override;
    void reset() override;

private:
    // Buffer lengths in samples at the engine rate.
    static constexpr std::array<int, 4> kCombLengths = { 1557, 1617, 1491, 1422 };
    static constexpr std::array<int, 2> kAllPassLengths = { 225, 556 };
    static constexpr int kStorage = std::accumulate(kCombLengths.begin(), kCombLengths.end(), 0)
        + std::accumulate(kAllPassLengths.begin(), kAllPassLengths.end(), 0);

    // A ring inside the shared storage.
    struct Ring {
        int start = 0;
        int length = 0;
        int index = 0;
    };
    struct Comb {
        Ring ring;
        double feedback = 0.0;
        double store = 0.0; // the damping low-pass
    };

    void prepare();
    void setFeedback();
    double tick(double x);
    double& current(const Ring& ring) { return m_storage[std::size_t(ring.start + ring.index)]; }
    static void advance(Ring& ring)
    {
        ring.index = ring.index + 1 == ring.length ? 0 : ring.index + 1;
    }

    ProcessorCharacter m_character;
    double m_decay = 0.5;
    double m_wet = 0.3;
    double m_damping = 0.5;
    std::array<double, kStorage> m_storage {};
    std::array<Comb, 4> m_combs;
    std::array<Ring, 2> m_allPasses;
    bool m_prepared = false;
};
