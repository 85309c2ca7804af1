#pragma once

#include <array>

namespace audio {

// A multi-channel block effect: set up once for a channel count and rate, then updated
// from its own properties and run on blocks of at most maxFrames() frames.
template <class T, int Channels> class IAudioProcessor {
public:
    using Inputs = std::array<const T*, Channels>;
    using Outputs = std::array<T*, Channels>;

    virtual ~IAudioProcessor() = default;

    // Sizes and clears the state; the only call that allocates.
    virtual void setup(int channels, T sampleRate) = 0;
    // Recomputes the coefficients from the current properties.
    virtual void update() = 0;
    // Silences the state without reallocating it.
    virtual void reset() = 0;
    // Renders `frames` frames from `in` into `out`; the two may not overlap.
    virtual void process(const Inputs& in, const Outputs& out, int frames) = 0;
    virtual int maxFrames() const = 0;
};

} // namespace audio
