#pragma once

#include "core/EngineRate.h"
#include "processors/Processor.h"
#include "processors/percussion/MembraneStep.h"
#include "processors/units/Biquad.h"
#include "processors/units/DcBlockerUnit.h"
#include "processors/units/ModalResonator.h"
#include "processors/units/Unit.h"
#include "processors/units/XorShift.h"

#include <algorithm>
#include <array>
#include <vector>

class RowLanes;

// A struck drum head: the wave equation stepped on a polar grid of rings around one
// centre point, with a clamped rim. Large displacements stiffen the head, so a hard hit
// starts sharp and falls in pitch as it dies away.
template <class T> class CircularMembrane final : public Unit<T> {
public:
    static constexpr qint32 kRings = kMembraneRings;

    CircularMembrane();

    // One time step; returns the displacement at the pickup point.
    T tick() override;
    // `frames` time steps into `out`; a head at rest stays at rest and gives zeros, so
    // those steps are skipped.
    void render(T* out, qint64 frames);
    // Adds a raised-cosine dent of strength `velocity` (0 to 1) centred at `position`
    // (0 centre, 1 rim).
    void strike(T velocity, T position);
    // Derives the update coefficient from tension and size.
    void updateCourant();
    // Brings the head to rest.
    void clear();

    T sampleRate = T(kEngineRate);
    const qint32 rings = kRings;
    T tension = T(0.8);
    T loss = T(0.9994);
    T nonlinear = T(8);
    qint32 pickupRing = std::min(kRings - 1, 5);
    qint32 pickupIndex = 0;
    T size = T(0.45);
    T courant2 = T(0.2);
    std::vector<T> current;
    std::vector<T> previous;
    std::vector<T> next;
    std::vector<qint32> ringStart;
    std::vector<qint32> ringPoints;
    qint32 totalPoints = 0;

    // True while every point of the head and its last step are zero: a step would
    // then only write zeros again.
    bool atRest() const;

    // The vector width of the step; every width gives the same samples.
    MembraneLanes lanes = widestMembraneLanes();

private:
    std::size_t pickupPoint() const;
    // One time step with the step and pickup given.
    T advance(MembraneStep step, std::size_t pickup);

    // Steps until each of the three grids has had its rim cleared since the last strike:
    // a strike displaces the rim of the current and the previous grid, which become the
    // next one within two steps.
    qint32 m_rimSteps = 0;
};

// The taiko: membrane, a bank of body modes behind a low-pass, a burst of stick noise.
class TaikoProcessor final : public Processor {
public:
    enum Lane { Tension, Size, Damping, Gain, BodyDecay, Nonlinear, Note, Velocity, Position };
    static constexpr int kLaneCount = Position + 1;

    explicit TaikoProcessor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;
    void reset() override;

    // The head, for inspection.
    const CircularMembrane<double>& membrane() const { return m_membrane; }

private:
    void rebuildBody();
    void strike(const RowLanes& lanes);
    // The rest of the voice for a chunk the head has rendered into m_head.
    void renderVoice(double* out, qint64 frames);

    // The head renders this many samples at a time, ahead of the rest of the voice.
    static constexpr qint64 kChunk = 256;

    CircularMembrane<double> m_membrane;
    ModalResonator<double> m_body;
    Biquad<double> m_bodyFilter;
    XorShift32 m_noise { 987654321 };
    double m_noiseEnv = 0.0;
    double m_noiseDecay;
    double m_membraneMix = 0.6;
    double m_bodyMix = 0.35;
    double m_noiseMix = 0.05;
    double m_outputGain = 0.005;
    double m_bodyDecay = 1.0;
    DcBlockerUnit<double> m_dcBlocker;
    std::array<double, kChunk> m_head {};
};
