#pragma once

#include "core/EngineRate.h"
#include "processors/Processor.h"
#include "processors/units/Biquad.h"
#include "processors/units/ModalResonator.h"
#include "processors/units/Unit.h"
#include "processors/units/VectorOf.h"
#include "processors/units/XorShift.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

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
    {
        tune(T(1));
    }

    // Rebuilds the partials, at rest, with every frequency scaled by `scale`.
    void tune(T scale)
    {
        modeCount = 0;
        std::fill(std::begin(c1), std::end(c1), T(0));
        std::fill(std::begin(c2), std::end(c2), T(0));
        std::fill(std::begin(modeGain), std::end(modeGain), T(0));
        for (const Partial& p : kPartialTable) {
            if (scale * p.frequency < kHighestPartial * sampleRate)
                addMode(scale * p.frequency, p.ringTime, p.gain);
        }
        std::fill(std::begin(y1), std::end(y1), T(0));
        std::fill(std::begin(y2), std::end(y2), T(0));
    }

    // A strike of strength `velocity` (0 to 1) hands every bell its energy at once.
    void strike(T velocity) { energy += T(bells) * velocity * velocity; }

    // The collisions of the next sample, after the energy decays by one sample.
    T collide()
    {
        energy *= energyDecay;
        const T x = std::sqrt(energy);
        T e = T(0);
        settled = bells <= 0;
        if (bells > 0) {
            // Each bell collides with a probability close to x per sample.
            const T threshold = std::max(T(0), std::min(T(1) - x, T(1)));
            // A draw collides when its uniform() exceeds the threshold, which holds from
            // one draw up, so the integer comparison spares a division per bell.
            const quint64 first = firstDrawAbove(threshold);
            settled = first > kLastDraw;
            for (qint32 b = 0; b < bells; ++b) {
                if (noise.next() >= first)
                    e += (T(noise.uniform()) * T(0.5) + T(0.5)) * x * gain;
            }
        }
        return e;
    }

    // `n` samples with no collision: the energy decays and every bell draws once per
    // sample. Only for after collide() set `settled` and the energy cannot rise: the energy
    // then falls, so the threshold stays at 1 and no draw can exceed it.
    void coast(int n)
    {
        Q_ASSERT(n >= 0 && n < (1 << kJumpLevels));
        for (int i = 0; i < n; ++i)
            energy *= energyDecay;
        if (bells <= 0)
            return;
        if (m_jumpBells != bells)
            buildJumps();
        for (int k = 0; n >> k; ++k) {
            if ((n >> k) & 1)
                noise.state = apply(m_jump[k], noise.state);
        }
    }

    // True when every partial is still; a silent excitation then leaves them silent.
    bool still() const
    {
        for (int m = 0; m < modeCount; ++m) {
            if (y1[m] != T(0) || y2[m] != T(0))
                return false;
        }
        return true;
    }

    // Rings the partials with the excitation `e` of `n` samples and hands each summed
    // sample to `sink(i, y)`.
    template <class Sink> void ring(const T* e, int n, Sink&& sink)
    {
        // The partial count is a template argument, so the pairs loop is laid out for it.
        [&]<int... N>(std::integer_sequence<int, N...>)
        {
            (void)((modeCount == N || N == kPartials ? (ringWith<N>(e, n, sink), true) : false)
                || ...);
        }
        (std::make_integer_sequence<int, kPartials + 1>());
    }

    T tick() override
    {
        const T e = collide();
        T y = T(0);
        ring(&e, 1, [&y](int, T sum) { y = sum; });
        return y;
    }

    // Room for the partials, rounded up to whole pairs.
    static constexpr int kModeRoom = kPartials + 1;
    static constexpr quint64 kLastDraw = 0xFFFFFFFF;

    T sampleRate = T(kEngineRate);
    qint32 bells = 12;
    T energy = T(0);
    T energyDecay;
    T gain = T(0.003);
    // The partials as two-pole resonators, one array per coefficient so pairs of them
    // share a register; past modeCount they are zero.
    int modeCount = 0;
    alignas(16) T c1[kModeRoom] = {};
    alignas(16) T c2[kModeRoom] = {};
    alignas(16) T modeGain[kModeRoom] = {};
    alignas(16) T y1[kModeRoom] = {};
    alignas(16) T y2[kModeRoom] = {};
    XorShift32 noise { 123456789 };
    // Set by collide() when no draw could exceed the threshold.
    bool settled = false;

private:
    using Pair = VectorOf<T, 2>;
    // The xorshift step is linear over bits, so a power of it is a 32 by 32 bit matrix:
    // column i is the image of bit i.
    using BitMatrix = std::array<quint32, 32>;
    // Enough powers for any chunk the processor hands to coast().
    static constexpr int kJumpLevels = 16;

    void addMode(T frequency, T ringTime, T g)
    {
        if (modeCount >= kPartials)
            return;
        const auto mode = ModalResonator<T>::tuned(sampleRate, frequency, ringTime, g);
        c1[modeCount] = mode.c1;
        c2[modeCount] = mode.c2;
        modeGain[modeCount] = mode.gain;
        ++modeCount;
    }

    // The pairs run side by side, each with the resonator's own operations, and the sum
    // adds the partials in their order, so every sample is the one a mode loop gives.
    template <int N, class Sink> void ringWith(const T* e, int n, Sink& sink)
    {
        constexpr int pairs = (N + 1) / 2;
        constexpr int room = std::max(pairs, 1);
        Pair a[room], b[room], g[room], u[room], v[room];
        for (int j = 0; j < pairs; ++j) {
            a[j] = Pair { c1[2 * j], c1[2 * j + 1] };
            b[j] = Pair { c2[2 * j], c2[2 * j + 1] };
            g[j] = Pair { modeGain[2 * j], modeGain[2 * j + 1] };
            u[j] = Pair { y1[2 * j], y1[2 * j + 1] };
            v[j] = Pair { y2[2 * j], y2[2 * j + 1] };
        }
        for (int i = 0; i < n; ++i) {
            const T input = e[i];
            T sum = T(0);
#pragma GCC unroll 8
            for (int j = 0; j < pairs; ++j) {
                const Pair y = a[j] * u[j] - b[j] * v[j] + g[j] * input;
                v[j] = u[j];
                u[j] = y;
                sum += y[0];
                if (2 * j + 1 < N)
                    sum += y[1];
            }
            sink(i, sum);
        }
        for (int j = 0; j < pairs; ++j) {
            for (int l = 0; l < 2; ++l) {
                y1[2 * j + l] = u[j][l];
                y2[2 * j + l] = v[j][l];
            }
        }
    }

    // The smallest draw whose uniform() exceeds `threshold`, past kLastDraw when none does.
    static quint64 firstDrawAbove(T threshold)
    {
        if (!(threshold < T(1)))
            return kLastDraw + 1;
        const auto above = [threshold](quint64 draw) {
            // The value XorShift32::uniform() gives for this draw.
            return T(quint32(draw) / 4294967295.0) > threshold;
        };
        // The product lands within a draw or two of the boundary.
        quint64 first = std::min(quint64(threshold * T(kLastDraw)), kLastDraw);
        while (first > 0 && above(first - 1))
            --first;
        while (!above(first))
            ++first;
        return first;
    }

    static quint32 apply(const BitMatrix& matrix, quint32 state)
    {
        quint32 out = 0;
        for (int i = 0; i < 32; ++i)
            out ^= matrix[i] & (0u - ((state >> i) & 1u));
        return out;
    }

    // m_jump[k] advances the generator by bells * 2^k draws.
    void buildJumps()
    {
        for (int i = 0; i < 32; ++i) {
            XorShift32 unit { 1u << i };
            for (qint32 b = 0; b < bells; ++b)
                unit.next();
            m_jump[0][i] = unit.state;
        }
        for (int k = 1; k < kJumpLevels; ++k) {
            for (int i = 0; i < 32; ++i)
                m_jump[k][i] = apply(m_jump[k - 1], m_jump[k - 1][i]);
        }
        m_jumpBells = bells;
    }

    BitMatrix m_jump[kJumpLevels] = {};
    qint32 m_jumpBells = -1;
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
    // Samples per pass of the excitation and the partials.
    static constexpr int kChunk = 256;

    void renderChunk(double* out, int n);

    BeadCluster<double> m_cluster;
    Biquad<double> m_highPass;
    Biquad<double> m_presence;
    double m_shakeEnv = 0.0;
    double m_shakeDecay;
    double m_excitation[kChunk];
};
