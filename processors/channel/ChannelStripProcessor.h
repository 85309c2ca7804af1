#pragma once

#include "processors/Processor.h"
#include "processors/channel/Impairments.h"

// A whole poor channel in one node: the impairments run in a fixed order, and eight lanes
// reach the ones a user most often wants. The rest stay off.
class ChannelStripProcessor final : public Processor {
public:
    enum Lane {
        NoiseSnr,
        EchoDelay,
        EchoGain,
        Distortion,
        Attenuation,
        Clipping,
        ToneFreq,
        ToneAmpl,
        LaneCount
    };

    static constexpr quint32 kPinkSeed = 43;

    // Every stage, in the order a sample passes through them.
    struct Stages {
        explicit Stages(double sampleRate);

        DCOffsetImpairment dcOffset;
        AttenuationImpairment attenuation;
        FreqAttenImpairment freqAtten;
        DistortionImpairment distortion;
        EchoImpairment echo;
        DopplerImpairment doppler;
        WhiteNoiseImpairment whiteNoise;
        PinkNoiseImpairment pinkNoise;
        ToneImpairment tone;
        ClippingImpairment clipping;
        AGCPumpImpairment agcPump;
        DropoutImpairment dropout;
    };

    explicit ChannelStripProcessor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;
    void reset() override;

    const Stages& stages() const { return m_stages; }

private:
    Stages m_stages;
};
