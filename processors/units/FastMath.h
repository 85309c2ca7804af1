#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>

// Stand-ins for the std:: transcendentals that run once per sample on the audio path.
// Each is within a few units in the last place of the std:: result over the whole range
// it is used on, and falls back to std:: (or saturates as std:: does) outside it. The
// coefficients are Chebyshev fits made for these ranges; a fit's own error is below
// 1e-16, so rounding in the evaluation is what is left.
namespace fastMath {

namespace detail {

// Adding 1.5 * 2^52 leaves x rounded to an integer in the low mantissa bits.
inline constexpr double kRoundShift = 6755399441055744.0;

// `c` in every lane of X, a double or a vector of them.
template <class X> [[gnu::always_inline]] inline X broadcast(double c)
{
    if constexpr (std::is_same_v<X, double>)
        return c;
    else
        return X {} + c; // every lane 0 + c, which is c
}

// c[0] + c[1] x + c[2] x^2 + ... by pairs, then pairs of pairs (Estrin): the chain of
// dependent multiply-adds is log2(N) long instead of N, and a voice's sample waits on it.
// Each level is its own instantiation, so the compiler lays every step out in line. X is
// a double or a vector of them; each lane takes the same steps a double does.
template <class C, std::size_t N, class X>
[[gnu::always_inline]] inline X polynomial(const std::array<C, N>& c, X x)
{
    if constexpr (N == 1) {
        static_assert(std::is_same_v<C, X>, "a polynomial needs two coefficients");
        return c[0];
    } else {
        std::array<X, (N + 1) / 2> pairs;
        for (std::size_t i = 0; i < N / 2; ++i)
            pairs[i] = c[2 * i] + c[2 * i + 1] * x;
        if constexpr (N % 2 != 0 && std::is_same_v<C, X>)
            pairs[N / 2] = c[N - 1];
        else if constexpr (N % 2 != 0)
            pairs[N / 2] = broadcast<X>(c[N - 1]);
        return polynomial(pairs, x * x);
    }
}

// (2^f - 1) / f for f in [-0.5, 0.5].
template <class X> [[gnu::always_inline]] inline X exp2m1Ratio(X f)
{
    static constexpr std::array<double, 12> c = { 0.69314718055994529, 0.24022650695910072,
        0.055504108664821625, 0.0096181291076284803, 0.0013333558146406471, 0.00015403530393370734,
        1.5252733841556773e-05, 1.3215486808705563e-06, 1.0178057087733941e-07,
        7.0548973041554995e-09, 4.4558179083360645e-10, 2.5729324177362305e-11 };
    return polynomial(c, f);
}

// 2^n for the integer n held in `shifted` = n + kRoundShift, |n| < 1023.
inline double powerOfTwo(double shifted)
{
    const auto n = std::bit_cast<std::uint64_t>(shifted);
    return std::bit_cast<double>((n + 1023u) << 52);
}

// sin(2 pi r) / r in r^2, for r in [-1/4, 1/4].
template <class X> [[gnu::always_inline]] inline X sin2PiRatio(X r2)
{
    static constexpr std::array<double, 9> c = { 6.2831853071795862, -41.341702240399755,
        81.605249276073621, -76.705859752824921, 42.058693925428685, -15.094641676117901,
        3.8199280942271643, -0.71773379214134536, 0.10089695501646812 };
    return polynomial(c, r2);
}

// tan(pi g) / g in u = g^2, for g in [0, 1/8].
inline double tanPiRatio(double u)
{
    static constexpr std::array<double, 10> c = { 3.1415926535897931, 10.335425560100019,
        40.802624637873372, 162.99995210933284, 651.90970063286909, 2607.6126751529987,
        10428.485277100206, 41889.290386816465, 158017.73519170628, 919375.91153570556 };
    return polynomial(c, u);
}

} // namespace detail

// tanh(x); non-finite input behaves as std::tanh.
inline double tanh(double x)
{
    // Below this x^3 / 3 is under half an ulp of x: a decayed tail costs nothing.
    if (std::abs(x) < 0x1p-27)
        return x;
    // tanh rounds to exactly ±1 from 19.1 on.
    constexpr double kSaturated = 20.0;
    const double clamped = x < -kSaturated ? -kSaturated : (x > kSaturated ? kSaturated : x);
    // e^2x - 1, split as (2^n - 1) + 2^n (2^f - 1) so small x keep their relative precision.
    const double t = clamped * (2.0 * 1.4426950408889634);
    const double shifted = t + detail::kRoundShift;
    const double f = t - (shifted - detail::kRoundShift);
    const double scale = detail::powerOfTwo(shifted);
    const double em1 = (scale - 1.0) + scale * (f * detail::exp2m1Ratio(f));
    return em1 / (em1 + 2.0);
}

// sin(2 pi phase), for phase in cycles.
inline double sin2Pi(double phase)
{
    // The rounding below needs the phase to fit the mantissa with room to spare.
    if (!(std::abs(phase) < 0x1p50))
        return std::sin(2.0 * 3.14159265358979323846 * phase);
    double r = phase - ((phase + detail::kRoundShift) - detail::kRoundShift); // [-1/2, 1/2]
    // sin(pi - a) = sin(a) folds the outer quarters in; the subtraction is exact.
    if (std::abs(r) > 0.25)
        r = std::copysign(0.5, r) - r;
    return r * detail::sin2PiRatio(r * r);
}

// tan(pi g) for g in [0, 0.5); the eighths nearer 1/4 and 1/2 are folded onto [0, 1/8]
// by exact subtractions.
inline double tanPi(double g)
{
    if (g <= 0.125)
        return g * detail::tanPiRatio(g * g);
    if (g <= 0.375) {
        // tan(pi/4 + a) = (1 + tan a) / (1 - tan a)
        const double h = g - 0.25;
        const double s = h * detail::tanPiRatio(h * h);
        return (1.0 + s) / (1.0 - s);
    }
    // tan(pi/2 - a) = 1 / tan a
    const double h = 0.5 - g;
    return 1.0 / (h * detail::tanPiRatio(h * h));
}

// The same functions over arrays, each value exactly as the function above gives it, a
// vector register of them at a time; `out` may be `x`.
void tanh(const double* x, double* out, std::size_t n);
void sin2Pi(const double* phase, double* out, std::size_t n);

} // namespace fastMath
