#pragma once

#include "core/EngineRate.h"
#include "processors/reverb/IAudioProcessor.h"
#include "processors/units/Biquad.h"
#include "processors/units/DelayLine.h"

#include <QtGlobal>

#include <array>
#include <vector>

namespace audio::effects {

// The EAX room description; every field is clamped to its range before an update.
template <class T> struct ReverbProperties {
    T density = T(1);
    T diffusion = T(1);
    T gain = T(0.32);
    T gainHF = T(0.89);
    T decayTime = T(1.49);
    T decayHFRatio = T(0.83);
    T reflectionsGain = T(0.05);
    T reflectionsDelay = T(0.007);
    T lateReverbGain = T(1.26);
    T lateReverbDelay = T(0.011);
    T airAbsorptionGainHF = T(0.994);
    T roomRolloffFactor = T(0);
    bool decayHFLimit = true;
    T gainLF = T(1);
    T decayLFRatio = T(1);
    std::array<T, 3> reflectionsPan {};
    std::array<T, 3> lateReverbPan {};
    T echoTime = T(0.25);
    T echoDepth = T(0);
    T modulationTime = T(0.25);
    T modulationDepth = T(0);
    T hfReference = T(5000);
    T lfReference = T(250);
};

enum class ReverbProperty {
    Density,
    Diffusion,
    Gain,
    GainHF,
    GainLF,
    DecayTime,
    DecayHFRatio,
    DecayLFRatio,
    ReflectionsGain,
    ReflectionsDelay,
    LateReverbGain,
    LateReverbDelay,
    EchoTime,
    EchoDepth,
    ModulationTime,
    ModulationDepth,
    AirAbsorptionGainHF,
    HFReference,
    LFReference,
    RoomRolloffFactor,
    Count
};

template <class T> struct PropertyRange {
    T ReverbProperties<T>::*member;
    T minimum;
    T maximum;
};

// The valid range of every numeric property, indexed by ReverbProperty.
template <class T>
inline constexpr std::array<PropertyRange<T>, int(ReverbProperty::Count)> kPropertyRanges = { {
    { &ReverbProperties<T>::density, T(0), T(1) },
    { &ReverbProperties<T>::diffusion, T(0), T(1) },
    { &ReverbProperties<T>::gain, T(0), T(1) },
    { &ReverbProperties<T>::gainHF, T(0), T(1) },
    { &ReverbProperties<T>::gainLF, T(0), T(1) },
    { &ReverbProperties<T>::decayTime, T(0.1), T(20) },
    { &ReverbProperties<T>::decayHFRatio, T(0.1), T(2) },
    { &ReverbProperties<T>::decayLFRatio, T(0.1), T(2) },
    { &ReverbProperties<T>::reflectionsGain, T(0), T(3.16) },
    { &ReverbProperties<T>::reflectionsDelay, T(0), T(0.3) },
    { &ReverbProperties<T>::lateReverbGain, T(0), T(10) },
    { &ReverbProperties<T>::lateReverbDelay, T(0), T(0.1) },
    { &ReverbProperties<T>::echoTime, T(0.075), T(0.25) },
    { &ReverbProperties<T>::echoDepth, T(0), T(1) },
    { &ReverbProperties<T>::modulationTime, T(0.04), T(4) },
    { &ReverbProperties<T>::modulationDepth, T(0), T(1) },
    { &ReverbProperties<T>::airAbsorptionGainHF, T(0.892), T(1) },
    { &ReverbProperties<T>::hfReference, T(1000), T(20000) },
    { &ReverbProperties<T>::lfReference, T(20), T(1000) },
    { &ReverbProperties<T>::roomRolloffFactor, T(0), T(10) },
} };

// Room reverb: input shelves, a modulated pre-delay, four early reflection lines, a
// decorrelated four-line feedback network for the late tail and an echo stage, mixed
// down to one signal that every output channel receives.
template <class T, int Channels, int MaxFrames, int Lines>
class Reverb final : public IAudioProcessor<T, Channels> {
    static_assert(Lines == 4, "the line tables and the late mixing matrix have four lines");

public:
    using typename IAudioProcessor<T, Channels>::Inputs;
    using typename IAudioProcessor<T, Channels>::Outputs;

    void setup(int channels, T sampleRate) override;
    void update() override;
    void reset() override;
    void process(const Inputs& in, const Outputs& out, int frames) override;
    int maxFrames() const override { return MaxFrames; }

    // How many times the coefficients were recomputed.
    quint64 updateCount() const { return m_updates; }

    ReverbProperties<T> properties;

private:
    using LineSet = std::array<DelayLine<T>, Lines>;
    using Coefficients = std::array<T, Lines>;
    using Offsets = std::array<quint32, Lines>;

    // The network is fed forward from stage to stage: no stage reads what a later one
    // writes. Each stage therefore runs over the whole block before the next, keeping
    // its own coefficients in locals, and the results are those of running the stages
    // sample by sample. The lines stay in place, read and written at the running offset.

    // Input shelves and the modulated delay, writing the main line.
    struct Front {
        Biquad<T> highShelf;
        Biquad<T> lowShelf;
        quint32 range = 1;
        quint32 index = 0;
        T depth = T(0);
        T target = T(0);
        T smoothing = T(0);
    };
    struct Early {
        quint32 tap = 0;
        Offsets offsets {};
        Coefficients coefficients {};
        T gain = T(0);
    };
    struct Late {
        quint32 tap = 0;
        std::array<quint32, 3> decorrelatorTaps {};
        T densityGain = T(0);
        T mixCoefficient = T(0);
        Offsets allPassOffsets {};
        Coefficients allPassCoefficients {};
        T allPassFeed = T(0);
        Offsets offsets {};
        Coefficients coefficients {};
        Coefficients damping {};
        Coefficients stores {};
        T gain = T(0);
    };
    struct Echo {
        quint32 tap = 0;
        quint32 allPassOffset = 0;
        T allPassCoefficient = T(0);
        T feed = T(0);
        quint32 offset = 0;
        T coefficient = T(0);
        T densityGain = T(0);
        T damping = T(0);
        T store = T(0);
        std::array<T, 2> mix {};
    };
    struct DelayLines {
        DelayLine<T> modulation;
        DelayLine<T> main; // the front writes it, the other stages tap it
        LineSet early;
        DelayLine<T> decorrelator;
        LineSet lateAllPasses;
        LineSet late;
        DelayLine<T> echoAllPass;
        DelayLine<T> echo;
    };

    void runFront(const Inputs& in, int frames);
    void runEarly(int frames);
    void runLate(int frames);
    void runEcho(int frames);
    void clearState();
    template <class F> void forEachLine(F f);

    T m_rate = T(kEngineRate);
    int m_channels = 1;
    std::vector<T> m_outputs;
    quint64 m_updates = 0;
    quint32 m_offset = 0; // the running position shared by every line

    Front m_front;
    Early m_early;
    Late m_late;
    Echo m_echo;
    DelayLines m_lines;

    // Early output 0 and late output 0 of the current block, the two the mono mix hears.
    T* m_earlyOut = nullptr;
    T* m_lateOut = nullptr;
    T m_earlyOutputGain = T(1);
    T m_lateOutputGain = T(1);
};

} // namespace audio::effects
