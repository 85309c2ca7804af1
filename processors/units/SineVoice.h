#pragma once

#include "processors/units/FastMath.h"

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace sineVoice {

// The samples of `n` ticks of a voice whose sample is a level times the sine of a phase in
// radians: `step()` moves the voice on by a sample and gives {level, phase}. The steps of
// a chunk run first and the chunk's sines are then taken together, from fastMath's array
// form or, for kReference, from std::sin; each sample is what the voice's tick() gives.
template <bool kReference, class T, class Step> void render(T* out, qsizetype n, Step step)
{
    constexpr qsizetype kChunk = 256;
    constexpr T kCycle = T(1) / (T(2) * std::numbers::pi_v<T>);
    std::array<T, kChunk> level;
    for (qsizetype done = 0; done < n;) {
        const qsizetype count = std::min(n - done, kChunk);
        T* chunk = out + done;
        for (qsizetype i = 0; i < count; ++i) {
            const auto [amplitude, phase] = step();
            level[i] = amplitude;
            chunk[i] = kReference ? phase : phase * kCycle;
        }
        if constexpr (kReference) {
            for (qsizetype i = 0; i < count; ++i)
                chunk[i] = std::sin(chunk[i]);
        } else {
            fastMath::sin2Pi(chunk, chunk, std::size_t(count));
        }
        for (qsizetype i = 0; i < count; ++i)
            chunk[i] = level[i] * chunk[i];
        done += count;
    }
}

} // namespace sineVoice
