#pragma once

#include "core/EngineRate.h"
#include "processors/Processor.h"
#include "processors/units/Biquad.h"
#include "processors/units/ModalResonator.h"
#include "processors/units/Unit.h"
#include "processors/units/XorShift.h"

#include <algorithm>
#include <cmath>

// A cluster of small bells: a decaying energy makes the beads collide at random, and
// each collision rings a bank of inharmonic bell partials.
template <class T> class BeadCluster final : public Unit<T> {
public:
    struct Partial {
        T frequency;
        T ringTime;
        T gain;
    };
    static constexpr int kPartials = 15;
    static constexpr Partial kPartialTable[kPartials] = {
        { T(1980), T(1.2), T(0.3) },
        { T(2090), T(1.1), T(0.28) },
        { T(2160), T(1.3), T(0.25) },
        { T(2220), T(1.0), T(0.27) },
        { T(2350), T(1.2), T(0.24) },
        { T(4360), T(0.6), T(0.12) },
        { T(4600), T(0.5), T(0.11) },
        { T(4750), T(0.6), T(0.1) },
        { T(4880), T(0.5), T(0.1) },
        { T(5170), T(0.5), T(0.09) },
        { T(6930), T(0.3), T(0.05) },
        { T(7310), T(0.25), T(0.04) },
        { T(7560), T(0.3), T(0.04) },
        { T(9900), T(0.12), T(0.02) },
        { T(10650), T(0.1), T(0.015) },
    };
    // Partials are kept below this fraction of the sample rate.
    static constexpr T kHighestPartial = T(0.45);

    BeadCluster()
        : energyDecay(std::pow(T(0.001), T(1) / (sampleRate * T(1.5))))
        , partials(sampleRate, kPartials)
    {
        tune(T(1));
    }

    // Rebuilds the partials, at rest, with every frequency scaled by `scale`.
    void tune(T scale)
    {
        partials.clearModes();
        for (const Partial& p : kPartialTable) {
            if (scale * p.frequency < kHighestPartial * sampleRate)
                partials.addMode(scale * p.frequency, p.ringTime, p.gain);
        }
    }

    // A strike of strength `velocity` (0 to 1) hands every bell its energy at once.
    void strike(T velocity) { energy += T(bells) * velocity * velocity; }

    T tick() override
    {
        energy *= energyDecay;
        const T x = std::sqrt(energy);
        T e = T(0);
        if (bells > 0) {
            // Each bell collides with a probability close to x per sample.
            const T threshold = std::max(T(0), std::min(T(1) - x, T(1)));
            for (qint32 b = 0; b < bells; ++b) {
                if (T(noise.uniform()) > threshold)
                    e += (T(noise.uniform()) * T(0.5) + T(0.5)) * x * gain;
            }
        }
        return partials.process(e);
    }

    T sampleRate = T(kEngineRate);
    qint32 bells = 12;
    T energy = T(0);
    T energyDecay;
    T gain = T(0.003);
    ModalResonator<T> partials;
    XorShift32 noise { 123456789 };
};

// Kagura suzu: a shaken or struck cluster of bells, brightened by a presence peak.
class KaguraSuzuProcessor final : public Processor {
public:
    enum Lane { Bells, Brightness, Decay, BellSize, Note, Velocity, Mode };
    static constexpr int kLaneCount = Mode + 1;

    explicit KaguraSuzuProcessor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;

private:
    BeadCluster<double> m_cluster;
    Biquad<double> m_highPass;
    Biquad<double> m_presence;
    double m_shakeEnv = 0.0;
    double m_shakeDecay;
};
