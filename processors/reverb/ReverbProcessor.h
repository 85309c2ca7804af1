#pragma once

#include "processors/Processor.h"
#include "processors/reverb/Reverb.h"

#include <array>
#include <vector>

// Room reverb with the twenty EAX parameters as lanes, blended with the dry signal.
class ReverbProcessor final : public Processor {
public:
    enum Lane {
        DryWet,
        Density,
        Diffusion,
        Gain,
        GainHF,
        GainLF,
        DecayTime,
        DecayHF,
        DecayLF,
        ReflGain,
        ReflDelay,
        LateGain,
        LateDelay,
        EchoTime,
        EchoDepth,
        ModTime,
        ModDepth,
        AirAbsHF,
        HFRef,
        LFRef,
        LaneCount
    };
    using Engine = audio::effects::Reverb<double, 1, 2048, 4>;

    explicit ReverbProcessor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;
    int setActive(int flag) override;
    void reset() override;

    const Engine& reverb() const { return m_reverb; }

private:
    void prepare();
    void updateReverb();
    void processChunk(double* samples, int frames);

    std::array<double, LaneCount> m_settings;
    Engine m_reverb;
    std::vector<double> m_dry;
    bool m_prepared = false;
};
