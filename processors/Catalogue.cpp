#include "processors/ProcessorFactory.h"
#include "processors/bells/DingProcessor.h"
#include "processors/bells/DribbleProcessor.h"
#include "processors/bells/KaguraSuzuProcessor.h"
#include "processors/channel/ChannelAGCPumpProcessor.h"
#include "processors/channel/ChannelAttenuationProcessor.h"
#include "processors/channel/ChannelClippingProcessor.h"
#include "processors/channel/ChannelDCOffsetProcessor.h"
#include "processors/channel/ChannelDistortionProcessor.h"
#include "processors/channel/ChannelDopplerProcessor.h"
#include "processors/channel/ChannelDropoutProcessor.h"
#include "processors/channel/ChannelEchoProcessor.h"
#include "processors/channel/ChannelFreqAttenProcessor.h"
#include "processors/channel/ChannelNoiseProcessor.h"
#include "processors/channel/ChannelPinkNoiseProcessor.h"
#include "processors/channel/ChannelStripProcessor.h"
#include "processors/channel/ChannelToneProcessor.h"
#include "processors/dynamics/AGCProcessor.h"
#include "processors/dynamics/CompressorProcessor.h"
#include "processors/effects/AmpProcessor.h"
#include "processors/effects/AverageProcessor.h"
#include "processors/effects/DelayProcessor.h"
#include "processors/effects/DistortionProcessor.h"
#include "processors/effects/RecursionProcessor.h"
#include "processors/effects/TremoloProcessor.h"
#include "processors/filters/FilterProcessor.h"
#include "processors/io/InputProcessor.h"
#include "processors/io/OutputProcessor.h"
#include "processors/percussion/DrumProcessor.h"
#include "processors/percussion/TaikoProcessor.h"
#include "processors/reverb/CheapReverbProcessor.h"
#include "processors/reverb/ReverbProcessor.h"
#include "processors/scope/ScopeProcessor.h"
#include "processors/sources/NoiseProcessor.h"
#include "processors/sources/OscProcessor.h"
#include "processors/sources/SampleProcessor.h"
#include "processors/sources/SawProcessor.h"
#include "processors/tb303/TB303Processor.h"

namespace {

template <class P> QSharedPointer<Processor> make(int sampleRate)
{
    return QSharedPointer<P>::create(sampleRate);
}

} // namespace

// Registration order matters: a later row with the same type ID replaces an earlier one.
const QList<ProcessorFactory::Creator>& processorCatalogue()
{
    static const QList<ProcessorFactory::Creator> catalogue = {
        make<AmpProcessor>, //  1 "Amp"
        make<AverageProcessor>, //  2 "Delay", replaced by registration 4
        make<CompressorProcessor>, //  3 "Compressor"
        make<DelayProcessor>, //  4 "Delay"
        make<DistortionProcessor>, //  5 "Distortion"
        make<FilterProcessor>, //  6 "Filter"
        make<InputProcessor>, //  7 "Input"
        make<NoiseProcessor>, //  8 "Noise"
        make<OscProcessor>, //  9 "Osc"
        make<OutputProcessor>, // 10 "Output"
        make<RecursionProcessor>, // 11 "Recursion"
        make<ReverbProcessor>, // 12 "FancyReverb"
        make<CheapReverbProcessor>, // 13 "CheapReverb"
        make<SawProcessor>, // 14 "Saw"
        make<ScopeProcessor>, // 15 "Scope"
        make<TB303Processor>, // 16 "TB-303"
        make<TaikoProcessor>, // 17 "Taiko"
        make<TremoloProcessor>, // 18 "Tremolo"
        make<ChannelStripProcessor>, // 19 "ChannelStrip"
        make<ChannelNoiseProcessor>, // 20 "ChNoise"
        make<ChannelPinkNoiseProcessor>, // 21 "ChPinkNoise"
        make<ChannelEchoProcessor>, // 22 "ChEcho"
        make<ChannelDistortionProcessor>, // 23 "ChDistortion"
        make<ChannelAttenuationProcessor>, // 24 "ChAttenuation"
        make<ChannelClippingProcessor>, // 25 "ChClipping"
        make<ChannelDCOffsetProcessor>, // 26 "ChDCOffset"
        make<ChannelDropoutProcessor>, // 27 "ChDropout"
        make<ChannelToneProcessor>, // 28 "ChTone"
        make<ChannelDopplerProcessor>, // 29 "ChDoppler"
        make<ChannelFreqAttenProcessor>, // 30 "ChFreqAtten"
        make<ChannelAGCPumpProcessor>, // 31 "ChAGCPump"
        make<KaguraSuzuProcessor>, // 32 "Kagura Suzu"
        make<DrumProcessor>, // 33 "Drum"
        make<SampleProcessor>, // 34 "Sample"
        make<DingProcessor>, // 35 "Ding"
        make<DribbleProcessor>, // 36 "Dribble"
        make<AGCProcessor>, // 37 "AGC"
    };
    return catalogue;
}
