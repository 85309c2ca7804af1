#include "processors/reverb/Reverb.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace audio::effects {

namespace {

// Line lengths in seconds.
constexpr std::array<double, 4> kEarlyLineLengths = { 0.0015, 0.0045, 0.0135, 0.0405 };
constexpr std::array<double, 4> kAllPassLineLengths = { 0.0151, 0.0167, 0.0183, 0.0200 };
constexpr std::array<double, 4> kLateLineLengths = { 0.0211, 0.0311, 0.0461, 0.0680 };
constexpr double kMeanLateLength = 0.041575;
constexpr double kEchoAllPassLength = 0.0133;

// Line capacities in seconds, beyond the tables above.
constexpr double kModulationCapacity = 0.2;
constexpr double kMainCapacity = 0.4; // longest reflections delay plus longest late delay
constexpr double kDecorrelatorCapacity = 0.0633;
constexpr double kEchoCapacity = 0.25;
constexpr double kLateCapacityMultiplier = 5.0; // the late lines at the highest density

constexpr double kSpeedOfSound = 343.3;
constexpr double kDecorrelatorFraction = 0.15;
constexpr double kDecorrelatorMultiplier = 2.0;
constexpr double kLateLineMultiplier = 4.0;
constexpr double kModulationDepthCoefficient = 0.1;
constexpr double kMaxModulationTime = 4.0;
constexpr double kModulationSmoothingBase = 0.048;
constexpr double kModulationSmoothingRate = 100000.0;
constexpr double kEarlyGainFactor = 0.5;
constexpr double kEarlyScatter = 0.5;
constexpr double kDampingCeiling = 0.98;
constexpr double kMinHFRatio = 0.1;
constexpr double kShelfSlope = 0.75;
constexpr double kMinShelfGain = 1e-5;
constexpr double kSilentGain = 1e-5;
// The decay times are where a line has fallen by 60 dB.
constexpr double kSixtyDecibels = 0.001;

// Room for a delay of every whole sample in `seconds`, besides the sample being written.
quint32 roomFor(double seconds, double rate)
{
    return quint32(quint64(seconds * rate)) + 1;
}

// Gain after `length` seconds of a decay that falls by 60 dB in `time` seconds.
template <class T> T decayCoefficient(T length, T time)
{
    return time > T(0) ? std::pow(T(kSixtyDecibels), length / time) : T(0);
}

// Low-pass coefficient that lets the high band decay `ratio` times as fast as the line's
// own coefficient `c`; zero when the high band may last as long or longer.
template <class T> T damping(T ratio, T length, T time, T c, T cw)
{
    if (ratio >= T(1))
        return T(0);
    const T hf = std::pow(T(kSixtyDecibels), length / (time * ratio)) / c;
    const T g = std::max(hf * hf, T(kSixtyDecibels));
    T coefficient = T(0);
    if (g < T(0.9999)) {
        const T root = std::sqrt(T(2) * g * (T(1) - cw) - g * g * (T(1) - cw * cw));
        coefficient = (T(1) - g * cw - root) / (T(1) - g);
    }
    return std::min(coefficient, T(kDampingCeiling));
}

// Audio-EQ-cookbook shelf with slope 0.75, gain `a` at `hz`, normalized by a0.
template <class T> void designShelf(Biquad<T>& filter, bool high, T a, T hz, T rate)
{
    a = std::max(a, T(kMinShelfGain));
    const T w = T(2) * std::numbers::pi_v<T> * hz / rate;
    const T cw = std::cos(w);
    const T alpha
        = std::sin(w) / T(2) * std::sqrt((a + T(1) / a) * (T(1) / T(kShelfSlope) - T(1)) + T(2));
    const T twoRootAAlpha = T(2) * std::sqrt(a) * alpha;
    // The high shelf is the low shelf with the sign of the cosine terms flipped.
    const T s = high ? T(-1) : T(1);
    const T b0 = a * ((a + T(1)) - s * (a - T(1)) * cw + twoRootAAlpha);
    const T b1 = s * T(2) * a * ((a - T(1)) - s * (a + T(1)) * cw);
    const T b2 = a * ((a + T(1)) - s * (a - T(1)) * cw - twoRootAAlpha);
    const T a0 = (a + T(1)) + s * (a - T(1)) * cw + twoRootAAlpha;
    const T a1 = -s * T(2) * ((a - T(1)) + s * (a + T(1)) * cw);
    const T a2 = (a + T(1)) + s * (a - T(1)) * cw - twoRootAAlpha;
    filter.sampleRate = rate;
    filter.type = high ? Biquad<T>::HighShelf : Biquad<T>::LowShelf;
    filter.frequency = hz / rate;
    filter.b0 = b0 / a0;
    filter.b1 = b1 / a0;
    filter.b2 = b2 / a0;
    filter.a1 = a1 / a0;
    filter.a2 = a2 / a0;
}

template <class T> ReverbProperties<T> clamped(ReverbProperties<T> p)
{
    for (const auto& range : kPropertyRanges<T>)
        p.*range.member = std::clamp(p.*range.member, range.minimum, range.maximum);
    return p;
}

// Damping low-pass over one sample.
template <class T> inline T lowPass(T x, T damping, T& store)
{
    const T v = x + (store - x) * damping;
    store = v;
    return v;
}

// Feedback all-pass over one sample at `position`.
template <class T>
inline T allPass(DelayLine<T>& line, quint32 position, quint32 delay, T feed, T coefficient, T x)
{
    const T a = line.read(position - delay);
    line.write(position, (a - feed * x) * feed + x);
    return a * coefficient - feed * x;
}

} // namespace

// Every line, with the longest delay in seconds it must hold.
template <class T, int C, int M, int L> template <class F> void Reverb<T, C, M, L>::forEachLine(F f)
{
    f(m_lines.modulation, kModulationCapacity + 1.0 / double(m_rate));
    f(m_lines.main, kMainCapacity);
    f(m_lines.decorrelator, kDecorrelatorCapacity);
    f(m_lines.echoAllPass, kEchoAllPassLength);
    f(m_lines.echo, kEchoCapacity);
    for (int k = 0; k < L; ++k) {
        f(m_lines.early[k], kEarlyLineLengths[k]);
        f(m_lines.lateAllPasses[k], kAllPassLineLengths[k]);
        f(m_lines.late[k], kLateLineLengths[k] * kLateCapacityMultiplier);
    }
}

template <class T, int C, int M, int L> void Reverb<T, C, M, L>::setup(int channels, T sampleRate)
{
    m_rate = sampleRate;
    m_channels = std::clamp(channels, 1, C);

    forEachLine(
        [&](DelayLine<T>& line, double seconds) { line.resize(roomFor(seconds, sampleRate)); });
    m_outputs.assign(std::size_t(2) * M, T(0));
    m_earlyOut = m_outputs.data();
    m_lateOut = m_earlyOut + M;

    for (int k = 0; k < L; ++k) {
        m_early.offsets[k] = quint32(kEarlyLineLengths[k] * sampleRate);
        m_late.allPassOffsets[k] = quint32(kAllPassLineLengths[k] * sampleRate);
    }
    m_echo.allPassOffset = quint32(kEchoAllPassLength * sampleRate);
    m_front.smoothing
        = std::pow(T(kModulationSmoothingBase), T(kModulationSmoothingRate) / sampleRate);
    m_front.range = 1;
    m_offset = 0;
    clearState();
}

template <class T, int C, int M, int L> void Reverb<T, C, M, L>::update()
{
    ++m_updates;
    const ReverbProperties<T> p = clamped(properties);
    const T fs = m_rate;

    designShelf(m_front.highShelf, true, p.gainHF, p.hfReference, fs);
    designShelf(m_front.lowShelf, false, p.gainLF, p.lfReference, fs);

    const quint32 range = std::max(quint32(p.modulationTime * fs), quint32(1));
    m_front.index = quint32(quint64(m_front.index) * range / m_front.range);
    m_front.range = range;
    m_front.target = p.modulationDepth * T(kModulationDepthCoefficient) * p.modulationTime
        / T(kMaxModulationTime) * fs;

    m_early.tap = quint32(p.reflectionsDelay * fs);
    const auto lateTap = quint32((p.reflectionsDelay + p.lateReverbDelay) * fs);
    m_late.tap = lateTap;
    m_echo.tap = lateTap;

    m_early.gain = T(kEarlyGainFactor) * p.gain * p.reflectionsGain;
    for (int k = 0; k < L; ++k)
        m_early.coefficients[k] = decayCoefficient(T(kEarlyLineLengths[k]), p.lateReverbDelay);

    const T lineScale = p.density * T(kLateLineMultiplier) + T(1);
    for (int k = 0; k < 3; ++k)
        m_late.decorrelatorTaps[k] = quint32(std::pow(T(kDecorrelatorMultiplier), T(k))
            * T(kDecorrelatorFraction) * T(kLateLineLengths[0]) * lineScale * fs);

    const T turn = p.diffusion * std::atan(std::sqrt(T(3)));
    const T x = std::cos(turn);
    const T y = std::sin(turn) / std::sqrt(T(3));
    m_late.mixCoefficient = y / x;

    T ratio = p.decayHFRatio;
    if (p.decayHFLimit && p.airAbsorptionGainHF < T(1)) {
        const T limit = T(1)
            / (p.decayTime * std::log10(p.airAbsorptionGainHF) / std::log10(T(kSixtyDecibels))
                * T(kSpeedOfSound));
        ratio = std::max(std::min(p.decayHFRatio, limit), T(kMinHFRatio));
    }
    const T cw = std::cos(T(2) * std::numbers::pi_v<T> * p.hfReference / fs);

    m_late.gain = p.gain * p.lateReverbGain * x;
    const T g = decayCoefficient(T(kMeanLateLength) * lineScale, p.decayTime);
    m_late.densityGain = std::sqrt(T(1) - g * g);
    m_late.allPassFeed = T(0.5) * (p.diffusion * p.diffusion);
    for (int k = 0; k < L; ++k) {
        m_late.allPassCoefficients[k] = decayCoefficient(T(kAllPassLineLengths[k]), p.decayTime);
        const T length = T(kLateLineLengths[k]) * lineScale;
        m_late.offsets[k] = quint32(length * fs);
        const T c = decayCoefficient(length, p.decayTime);
        m_late.damping[k] = damping(ratio, length, p.decayTime, c, cw);
        m_late.coefficients[k] = c * x;
    }

    m_echo.offset = quint32(p.echoTime * fs);
    const T e = decayCoefficient(p.echoTime, p.decayTime);
    m_echo.coefficient = e;
    m_echo.densityGain = std::sqrt(T(1) - e * e);
    m_echo.feed = T(0.5) * (p.diffusion * p.diffusion);
    m_echo.allPassCoefficient = decayCoefficient(T(kEchoAllPassLength), p.decayTime);
    m_echo.damping = damping(ratio, p.echoTime, p.decayTime, e, cw);
    m_echo.mix[0] = p.gain * p.lateReverbGain * p.echoDepth;
    m_echo.mix[1] = T(1) - (T(1) - p.diffusion) * p.echoDepth * T(0.5);

    // Nothing sets the pan vectors, so both paths reach the output at full gain.
    m_earlyOutputGain = T(1);
    m_lateOutputGain = T(1);
}

template <class T, int C, int M, int L> void Reverb<T, C, M, L>::reset()
{
    forEachLine([](DelayLine<T>& line, double) { line.clear(); });
    std::fill(m_outputs.begin(), m_outputs.end(), T(0));
    clearState();
}

template <class T, int C, int M, int L> void Reverb<T, C, M, L>::clearState()
{
    m_front.highShelf.clearState();
    m_front.lowShelf.clearState();
    m_front.index = 0;
    m_front.depth = T(0);
    m_late.stores = {};
    m_echo.store = T(0);
}

template <class T, int C, int M, int L>
void Reverb<T, C, M, L>::process(const Inputs& in, const Outputs& out, int frames)
{
    frames = std::clamp(frames, 0, M);
    runFront(in, frames);
    runEarly(frames);
    runLate(frames);
    runEcho(frames);
    m_offset += quint32(frames);

    const bool withEarly = std::abs(m_earlyOutputGain) > T(kSilentGain);
    const bool withLate = std::abs(m_lateOutputGain) > T(kSilentGain);
    const T* early = m_earlyOut;
    const T* late = m_lateOut;
    for (int n = 0; n < frames; ++n) {
        T y = T(0);
        if (withEarly)
            y += early[n] * m_earlyOutputGain;
        if (withLate)
            y += late[n] * m_lateOutputGain;
        out[0][n] = y;
    }
    for (int c = 1; c < m_channels; ++c)
        std::copy(out[0], out[0] + frames, out[c]);
}

template <class T, int C, int M, int L>
void Reverb<T, C, M, L>::runFront(const Inputs& in, int frames)
{
    Front s = m_front;
    DelayLine<T>& line = m_lines.modulation;
    DelayLine<T>& main = m_lines.main;
    const int channels = m_channels;
    for (int n = 0; n < frames; ++n) {
        const quint32 o = m_offset + quint32(n);
        T x = in[0][n];
        for (int c = 1; c < channels; ++c)
            x += in[c][n];
        if (channels > 1)
            x /= T(channels);
        x = s.lowShelf.process(s.highShelf.process(x));

        const quint32 index = s.index;
        s.index = index + 1 == s.range ? 0 : index + 1;
        s.depth += (s.target - s.depth) * s.smoothing;
        // Without depth the sweep is multiplied away, so its cosine is not needed.
        T delay = T(1);
        if (s.depth != T(0)) {
            const T sweep = T(1) - std::cos(T(2) * std::numbers::pi_v<T> * T(index) / T(s.range));
            delay = s.depth * sweep + T(1);
        }
        const auto whole = quint32(delay);
        const T fraction = delay - T(whole);
        const T newer = line.read(o - whole);
        const T older = line.read(o - whole - 1);
        line.write(o, x);
        main.write(o, newer + (older - newer) * fraction);
    }
    m_front = s;
}

template <class T, int C, int M, int L> void Reverb<T, C, M, L>::runEarly(int frames)
{
    Early s = m_early;
    const DelayLine<T>& main = m_lines.main;
    LineSet& lines = m_lines.early;
    T* out = m_earlyOut;
    for (int n = 0; n < frames; ++n) {
        const quint32 o = m_offset + quint32(n);
        const T in = main.read(o - s.tap);
        Coefficients r;
        for (int k = 0; k < L; ++k)
            r[k] = lines[k].read(o - s.offsets[k]) * s.coefficients[k];
        const T v = (r[0] + r[1] + r[2] + r[3]) * T(kEarlyScatter) + in;
        for (int k = 0; k < L; ++k)
            lines[k].write(o, v - r[k]);
        out[n] = s.gain * (v - r[0]);
    }
}

template <class T, int C, int M, int L> void Reverb<T, C, M, L>::runLate(int frames)
{
    Late s = m_late;
    const DelayLine<T>& main = m_lines.main;
    DelayLine<T>& decorrelator = m_lines.decorrelator;
    LineSet& allPassLines = m_lines.lateAllPasses;
    LineSet& lines = m_lines.late;
    T* out = m_lateOut;
    for (int n = 0; n < frames; ++n) {
        const quint32 o = m_offset + quint32(n);
        const T d0 = s.densityGain * main.read(o - s.tap);
        decorrelator.write(o, d0);
        const T d3 = decorrelator.read(o - s.decorrelatorTaps[0]);
        const T d1 = decorrelator.read(o - s.decorrelatorTaps[1]);
        const T d2 = decorrelator.read(o - s.decorrelatorTaps[2]);

        Coefficients back;
        for (int k = 0; k < L; ++k)
            back[k] = lines[k].read(o - s.offsets[k]) * s.coefficients[k];
        Coefficients f = {
            lowPass(d1 + back[2], s.damping[2], s.stores[2]),
            lowPass(d0 + back[0], s.damping[0], s.stores[0]),
            lowPass(d2 + back[3], s.damping[3], s.stores[3]),
            lowPass(d3 + back[1], s.damping[1], s.stores[1]),
        };
        for (int k = 0; k < L; ++k)
            f[k] = allPass(allPassLines[k], o, s.allPassOffsets[k], s.allPassFeed,
                s.allPassCoefficients[k], f[k]);

        const T m = s.mixCoefficient;
        const Coefficients g = {
            f[0] + m * (f[1] - f[2] + f[3]),
            f[1] + m * (-f[0] + f[2] + f[3]),
            f[2] + m * (f[0] - f[1] + f[3]),
            f[3] + m * (-f[0] - f[1] - f[2]),
        };
        for (int k = 0; k < L; ++k)
            lines[k].write(o, g[k]);
        out[n] = s.gain * g[0];
    }
    m_late.stores = s.stores;
}

// The echo reads the late input and its own lines only, and mixes into late output 0.
template <class T, int C, int M, int L> void Reverb<T, C, M, L>::runEcho(int frames)
{
    Echo s = m_echo;
    const DelayLine<T>& main = m_lines.main;
    DelayLine<T>& allPassLine = m_lines.echoAllPass;
    DelayLine<T>& line = m_lines.echo;
    T* out = m_lateOut;
    for (int n = 0; n < frames; ++n) {
        const quint32 o = m_offset + quint32(n);
        const T in = main.read(o - s.tap);
        const T r = line.read(o - s.offset) * s.coefficient;
        out[n] = out[n] * s.mix[1] + r * s.mix[0];
        const T echo = lowPass(s.densityGain * in + r, s.damping, s.store);
        line.write(o, allPass(allPassLine, o, s.allPassOffset, s.feed, s.allPassCoefficient, echo));
    }
    m_echo.store = s.store;
}

template class Reverb<double, 1, 2048, 4>;

} // namespace audio::effects
