#pragma once

#include "core/EngineRate.h"
#include "processors/units/Unit.h"

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <utility>

// Second-order IIR section in transposed direct form II, a0 normalized to 1. Callers
// set type, frequency, q and gainDb, call computeCoefficients(), then run process()
// once per sample in their own loops.
template <class T> class Biquad : public Unit<T> {
public:
    enum Type : qint32 { LowPass, HighPass, BandPass, Notch, Peaking, LowShelf, HighShelf };

    static constexpr T kMinFrequency = T(0.0001);
    static constexpr T kMaxFrequency = T(0.4999);
    static constexpr T kMinQ = T(0.001);
    // State below this is treated as silence, so decaying tails never turn denormal.
    static constexpr T kStateFloor = T(1e-18);

    // A pass-through section (b0 = 1) until computeCoefficients() is called.
    Biquad() = default;
    Biquad(T sampleRate, qint32 type, T frequency, T q, T gainDb = T(0))
        : sampleRate(sampleRate)
        , type(type)
        , frequency(frequency)
        , q(q)
        , gainDb(gainDb)
    {
    }

    // Clamps frequency and q (writing the clamped values back), then derives the
    // coefficients for `type`; an unknown type keeps the old coefficients.
    void computeCoefficients()
    {
        computeCoefficientsWith([](T f) { return std::tan(std::numbers::pi_v<T> * f); });
    }

    // As computeCoefficients(), with tan(pi * frequency) taken from `tanPi`, for callers
    // that redesign every sample and bring a cheaper tangent.
    template <class TanPi> void computeCoefficientsWith(TanPi tanPi)
    {
        frequency = clampedFrequency(frequency);
        q = clampedQ(q);
        Design design;
        if (designWith(frequency, q, tanPi, design))
            use(design);
    }

    // What a design sets: the coefficients and the clamped frequency and q.
    struct Design {
        T b0, b1, b2, a1, a2;
        T frequency, q;
    };

    // The design computeCoefficientsWith() would make for `f` and `qIn`, without
    // touching the section, so that a caller can work out many before using them;
    // false for an unknown type.
    template <class TanPi> bool designWith(T f, T qIn, TanPi tanPi, Design& design) const
    {
        design.frequency = clampedFrequency(f);
        design.q = clampedQ(qIn);
        const T k = tanPi(design.frequency);
        const T k2 = k * k;
        Section section;
        if (!designFor(k, k2, design.q, section))
            return false;
        const T norm = T(1) / section.den[0];
        design.b0 = section.num[0] * norm;
        design.b1 = section.num[1] * norm;
        design.b2 = section.num[2] * norm;
        design.a1 = section.den[1] * norm;
        design.a2 = section.den[2] * norm;
        return true;
    }

    void use(const Design& design)
    {
        b0 = design.b0;
        b1 = design.b1;
        b2 = design.b2;
        a1 = design.a1;
        a2 = design.a2;
        frequency = design.frequency;
        q = design.q;
    }

    // Filters one sample.
    T process(T x)
    {
        const T y = b0 * x + s1;
        s1 = b1 * x + s2 - a1 * y;
        s2 = b2 * x - a2 * y;
        flush();
        return y;
    }

    void flush()
    {
        if (std::abs(s1) < kStateFloor)
            s1 = T(0);
        if (std::abs(s2) < kStateFloor)
            s2 = T(0);
        if (!std::isfinite(s1) || !std::isfinite(s2)) {
            s1 = T(0);
            s2 = T(0);
        }
    }

    void clearState()
    {
        s1 = T(0);
        s2 = T(0);
    }

    // The free response of the state.
    T tick() override { return process(T(0)); }

    T sampleRate = T(kEngineRate);
    qint32 type = LowPass;
    T b0 = T(1);
    T b1 = T(0);
    T b2 = T(0);
    T a1 = T(0);
    T a2 = T(0);
    T frequency = T(1000) / T(kEngineRate);
    T q = T(0.707);
    T gainDb = T(0);
    T s1 = T(0);
    T s2 = T(0);

private:
    using Polynomial = std::array<T, 3>;
    // Numerator and denominator in z^-1 before normalization by den[0].
    struct Section {
        Polynomial num;
        Polynomial den;
    };

    static T clampedFrequency(T f) { return std::min(std::max(f, kMinFrequency), kMaxFrequency); }
    static T clampedQ(T qIn) { return std::max(qIn, kMinQ); }

    bool designFor(T k, T k2, T q, Section& s) const
    {
        const T kq = k / q;
        // Both polynomials of the pole pair, shared by the first five types.
        const Polynomial poles = { T(1) + kq + k2, T(2) * (k2 - T(1)), T(1) - kq + k2 };
        switch (type) {
        case LowPass:
            s = { { k2, T(2) * k2, k2 }, poles };
            return true;
        case HighPass:
            s = { { T(1), T(-2), T(1) }, poles };
            return true;
        case BandPass:
            s = { { kq, T(0), -kq }, poles };
            return true;
        case Notch:
            s = { { T(1) + k2, poles[1], T(1) + k2 }, poles };
            return true;
        case Peaking:
        case LowShelf:
        case HighShelf:
            s = boosting(k, k2, q, poles);
            // A cut is the inverse of the boost of the same size.
            if (gainDb < T(0))
                std::swap(s.num, s.den);
            return true;
        default:
            return false;
        }
    }

    // The boost form of the three gain types; V only matters to these, so its
    // power is not paid by the others.
    Section boosting(T k, T k2, T q, const Polynomial& poles) const
    {
        const T v = std::pow(T(10), std::abs(gainDb) / T(20));
        const T vkq = v * k / q;
        const T root2k = std::numbers::sqrt2_v<T> * k;
        const T root2vk = std::sqrt(T(2) * v) * k;
        const Polynomial flatShelf = { T(1) + root2k + k2, T(2) * (k2 - T(1)), T(1) - root2k + k2 };
        switch (type) {
        case Peaking:
            return { { T(1) + vkq + k2, T(2) * (k2 - T(1)), T(1) - vkq + k2 }, poles };
        case LowShelf:
            return { { T(1) + root2vk + v * k2, T(2) * (v * k2 - T(1)), T(1) - root2vk + v * k2 },
                flatShelf };
        default:
            return { { v + root2vk + k2, T(2) * (k2 - v), v - root2vk + k2 }, flatShelf };
        }
    }
};
