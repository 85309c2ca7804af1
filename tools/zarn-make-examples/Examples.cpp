#include "Examples.h"

#include "core/AudioContext.h"
#include "core/EngineRate.h"
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
#include "processors/effects/DelayProcessor.h"
#include "processors/effects/DistortionProcessor.h"
#include "processors/effects/TremoloProcessor.h"
#include "processors/filters/FilterProcessor.h"
#include "processors/io/IoSchema.h"
#include "processors/percussion/DrumProcessor.h"
#include "processors/percussion/TaikoProcessor.h"
#include "processors/reverb/CheapReverbProcessor.h"
#include "processors/reverb/ReverbProcessor.h"
#include "processors/sources/NoiseProcessor.h"
#include "processors/sources/SampleProcessor.h"
#include "processors/sources/SawProcessor.h"
#include "processors/tb303/TB303Processor.h"

#include <algorithm>
#include <cmath>

namespace {

using Node = zarn::NodePointer;

constexpr int kTicksPerBeat = 4; // a tick is a sixteenth note
constexpr int kTicksPerStep = 16; // a step is a bar of 4/4
constexpr int kBar = kTicksPerStep;

enum FilterType : quint32 { LowPass = 0, HighPass = 1, BandPass = 2 };
enum KaguraMode : quint32 { Shake = 0, Strike = 1 };
constexpr quint32 kTaikoGain = 20; // the default gain drives the membrane into its limiter

// Lane values from the quantities they stand for, inverting each lane's mapping.
quint32 word(double fraction)
{
    return quint32(std::lround(std::clamp(fraction, 0.0, 1.0) * 65534.0));
}
quint32 byte(double fraction)
{
    return quint32(std::lround(std::clamp(fraction, 0.0, 1.0) * 254.0));
}
quint32 byte255(double fraction)
{
    return quint32(std::lround(std::clamp(fraction, 0.0, 1.0) * 255.0));
}
quint32 filterHz(double hz)
{
    return word(std::log10(hz / 20.0) / 3.0);
}
quint32 resonanceQ(double q)
{
    return byte((q - 0.1) / 19.9);
}
quint32 delayMs(double ms)
{
    return word((ms - 1.0) / 1999.0);
}
quint32 feedback(double amount)
{
    return word(amount / 0.99);
}
quint32 tremoloHz(double hz)
{
    return byte((hz - 0.1) / 19.9);
}
quint32 drive(double times)
{
    return byte((times - 1.0) / 19.0);
}
quint32 outputVolume(double gain)
{
    return quint32(std::lround(gain * io::kUnityVolume));
}
double tickMs(int beatsPerMinute)
{
    return 60000.0 / (beatsPerMinute * kTicksPerBeat);
}

// An amplifier that sets one chain's share of the mix, boosted for quiet instruments.
Node level(SongSketch& s, const QString& name, double fraction, double boostDb = 0.0)
{
    const Node amp = s.node(QStringLiteral("Amp"), name);
    s.settings(amp,
        { { AmpProcessor::Percentage, word(fraction) },
            { AmpProcessor::Decibel, word(boostDb / 48.0) } });
    return amp;
}

Node filter(SongSketch& s, const QString& name, FilterType type, double hz, double q)
{
    const Node node = s.node(QStringLiteral("Filter"), name);
    s.settings(node,
        { { FilterProcessor::Type, type }, { FilterProcessor::Frequency, filterHz(hz) },
            { FilterProcessor::Resonance, resonanceQ(q) } });
    return node;
}

Node delay(SongSketch& s, const QString& name, double ms, double wet, double repeat)
{
    const Node node = s.node(QStringLiteral("Delay"), name);
    s.settings(node,
        { { DelayProcessor::Dry, word(1.0) }, { DelayProcessor::Wet, word(wet) },
            { DelayProcessor::Feedback, feedback(repeat) },
            { DelayProcessor::Time, delayMs(ms) } });
    return node;
}

Node tremolo(SongSketch& s, const QString& name, double hz, double depth)
{
    const Node node = s.node(QStringLiteral("Tremolo"), name);
    s.settings(node,
        { { TremoloProcessor::Rate, tremoloHz(hz) }, { TremoloProcessor::Depth, byte(depth) } });
    return node;
}

Node distortion(SongSketch& s, const QString& name, double times, double mix)
{
    const Node node = s.node(QStringLiteral("Distortion"), name);
    s.settings(node,
        { { DistortionProcessor::Drive, drive(times) }, { DistortionProcessor::Mix, byte(mix) } });
    return node;
}

// The songs end in a bus that sums every chain, then the master effects the catalogue
// offers, then the output.
void master(SongSketch& s, const Node& bus, const QList<Node>& effects)
{
    QList<Node> chain { bus };
    chain += effects;
    chain.append(s.output());
    s.chain(chain);
}

// The output track fades the last bar's second half out and sets the full level at the
// start, so a looping song comes round at its own level.
void fadeOut(SongSketch& s, int step)
{
    const auto full = s.pattern(s.output(), QStringLiteral("Full"), 1);
    s.set(full, 0, { { io::Volume, outputVolume(1.0) } });
    s.play(s.track(s.output()), full, { 0 });
    const auto fade = s.pattern(s.output(), QStringLiteral("Fade"), kBar);
    s.ramp(fade, io::Volume, kBar / 2, kBar - 1, outputVolume(1.0), outputVolume(0.1));
    s.play(s.track(s.output()), fade, { step });
}

Node compressor(SongSketch& s, double threshold, double ratio)
{
    const Node node = s.node(QStringLiteral("Compressor"), QStringLiteral("Glue"));
    s.settings(node,
        { { CompressorProcessor::Threshold, byte255(threshold) },
            { CompressorProcessor::Ratio, byte255((ratio - 1.0) / 19.0) } });
    return node;
}

Node room(SongSketch& s, int decay, int dryWet, int damping)
{
    const Node node = s.node(QStringLiteral("CheapReverb"), QStringLiteral("Room"));
    s.settings(node,
        { { CheapReverbProcessor::Decay, decay }, { CheapReverbProcessor::DryWet, dryWet },
            { CheapReverbProcessor::Damping, damping } });
    return node;
}

// ---- first-song: four bars of A minor, twice, with drums, an acid bass, a lead and bells.

constexpr int kFirstTempo = 120;

void firstKick(SongSketch& s, const Node& bus)
{
    const Node kick = s.node(QStringLiteral("Drum"), QStringLiteral("Kick"));
    s.chain({ kick, distortion(s, QStringLiteral("Kick Drive"), 2.5, 0.6),
        level(s, QStringLiteral("Kick Level"), 0.6), bus });
    const SongSketch::Cells sound { { DrumProcessor::Attack, 0 }, { DrumProcessor::Decay, 200 },
        { DrumProcessor::Pitch, 0 } };
    const auto four = s.pattern(kick, QStringLiteral("Four"), kBar);
    s.hits(four, DrumProcessor::Note, QStringLiteral("x...x...x...x..."));
    s.set(four, 0, sound);
    const auto fill = s.pattern(kick, QStringLiteral("Fill"), kBar);
    s.hits(fill, DrumProcessor::Note, QStringLiteral("x...x...x..xx.xx"));
    s.set(fill, 0, sound);

    const auto track = s.track(kick);
    s.play(track, four, { 0, 1, 2, 3, 4, 5 });
    s.pause(track, 6); // the drop: bass and lead alone for a bar
    s.play(track, fill, { 7 });
}

void firstHats(SongSketch& s, const Node& bus)
{
    const Node hats = s.node(QStringLiteral("Noise"), QStringLiteral("Hats"));
    s.chain({ hats, filter(s, QStringLiteral("Hat Filter"), HighPass, 7000.0, 0.9),
        level(s, QStringLiteral("Hat Level"), 0.35), bus });
    const auto offbeat = s.pattern(hats, QStringLiteral("Offbeat"), kBar);
    s.hits(offbeat, NoiseProcessor::Note, QStringLiteral("..x-..x-..x-..X-"),
        NoiseProcessor::Volume, 150, 210);
    s.play(s.track(hats), offbeat, { 1, 2, 3, 4, 5, 6, 7 });
}

// Sixteenth-note bass over Am F C G: the root, its octave and its fifth.
void firstBass(SongSketch& s, const Node& bus)
{
    const Node bass = s.node(QStringLiteral("TB-303"), QStringLiteral("Bass"));
    s.chain({ bass, filter(s, QStringLiteral("Bass Tone"), LowPass, 2500.0, 0.7),
        level(s, QStringLiteral("Bass Level"), 0.14), bus });
    const auto groove = s.pattern(bass, QStringLiteral("Groove"), 4 * kBar);
    constexpr int kRest = -1;
    const int offsets[kBar]
        = { 0, kRest, 0, 12, kRest, 0, 7, kRest, 0, kRest, 0, 12, kRest, 10, kRest, 7 };
    const int roots[] = { 45, 41, 48, 43 }; // A, F, C, G
    for (int bar = 0; bar < 4; ++bar) {
        for (int row = 0; row < kBar; ++row) {
            if (offsets[row] == kRest)
                continue;
            const bool accent = row == 0 || row == 8;
            const bool slide = row == 3 || row == 11;
            s.set(groove, bar * kBar + row,
                { { TB303Processor::Note, quint32(roots[bar] + offsets[row]) },
                    { TB303Processor::Accent, accent ? 1u : 0u },
                    { TB303Processor::Slide, slide ? 1u : 0u } });
        }
    }
    s.set(groove, 0,
        { { TB303Processor::Waveform, 0 }, { TB303Processor::Cutoff, 60 },
            { TB303Processor::Resonance, 110 } });
    s.play(s.track(bass), groove, { 0, 4 });
}

void firstLead(SongSketch& s, const Node& bus)
{
    const Node lead = s.node(QStringLiteral("Saw"), QStringLiteral("Lead"));
    s.chain({ lead, tremolo(s, QStringLiteral("Lead Wobble"), 5.0, 0.25),
        level(s, QStringLiteral("Lead Level"), 1.0), bus });
    const auto melody = s.pattern(lead, QStringLiteral("Melody"), 4 * kBar);
    s.notes(melody, SawProcessor::Note,
        QStringLiteral("E-5 . . . D-5 . C-5 . A-4 . . . C-5 . D-5 . "
                       "C-5 . . . A-4 . . . F-4 . . . . . off . "
                       "G-4 . C-5 . E-5 . . . G-5 . . . E-5 . . . "
                       "D-5 . . . . . B-4 . G-4 . . . D-5 . off ."));
    s.set(melody, 0, { { SawProcessor::Volume, 120 } });
    s.play(s.track(lead), melody, { 4 });
}

void firstBells(SongSketch& s, const Node& bus)
{
    const Node bell = s.node(QStringLiteral("Ding"), QStringLiteral("Bell"));
    s.chain({ bell, delay(s, QStringLiteral("Bell Echo"), 3 * tickMs(kFirstTempo), 0.45, 0.35),
        level(s, QStringLiteral("Bell Level"), 0.4), bus });
    const auto arp = s.pattern(bell, QStringLiteral("Arp"), 4 * kBar);
    s.notes(arp, DingProcessor::Note,
        QStringLiteral(". . A-5 . . . C-6 . . . E-6 . . . C-6 . "
                       ". . A-5 . . . C-6 . . . F-6 . . . C-6 . "
                       ". . G-5 . . . C-6 . . . E-6 . . . C-6 . "
                       ". . G-5 . . . B-5 . . . D-6 . . . B-5 ."));
    s.set(arp, 2, { { DingProcessor::Volume, 150 }, { DingProcessor::Decay, 200 } });
    s.play(s.track(bell), arp, { 0, 4 });
}

SongSketch firstSong()
{
    SongSketch s(kFirstTempo, kTicksPerBeat, kTicksPerStep);
    const Node bus = s.node(QStringLiteral("Recursion"), QStringLiteral("Mix"));
    firstKick(s, bus);
    firstHats(s, bus);
    firstBass(s, bus);
    firstLead(s, bus);
    firstBells(s, bus);

    const Node reverb = room(s, 90, 40, 150);
    master(s, bus, { compressor(s, 0.48, 3.0), reverb });
    fadeOut(s, 7);
    s.sequence(0, 8);
    return s;
}

// ---- temple-bells: a slow D minor pentatonic piece for taiko, suzu, koto-like dings and wind.

constexpr int kTempleTempo = 90;

void templeTaiko(SongSketch& s, const Node& bus)
{
    const Node taiko = s.node(QStringLiteral("Taiko"), QStringLiteral("Taiko"));
    s.chain({ taiko, filter(s, QStringLiteral("Taiko Body"), LowPass, 3000.0, 0.7),
        level(s, QStringLiteral("Taiko Level"), 0.9), bus });
    const auto don = s.pattern(taiko, QStringLiteral("Don"), kBar);
    s.hits(don, TaikoProcessor::Note, QStringLiteral("X.....x.x...x..."), TaikoProcessor::Velocity,
        150, 240);
    const auto roll = s.pattern(taiko, QStringLiteral("Roll"), kBar);
    s.hits(roll, TaikoProcessor::Note, QStringLiteral("X.x.x.x.X.xxX.xx"), TaikoProcessor::Velocity,
        130, 230);
    for (const auto& pattern : { don, roll })
        s.set(pattern, 0, { { TaikoProcessor::Gain, kTaikoGain } });
    const auto track = s.track(taiko);
    s.play(track, don, { 1, 2, 3, 4, 5 });
    s.play(track, roll, { 6 });
    s.pause(track, 7);
}

void templeSuzu(SongSketch& s, const Node& bus)
{
    const Node suzu = s.node(QStringLiteral("Kagura Suzu"), QStringLiteral("Suzu"));
    s.chain({ suzu, delay(s, QStringLiteral("Suzu Echo"), 4 * tickMs(kTempleTempo), 0.3, 0.3),
        level(s, QStringLiteral("Suzu Level"), 1.0, 4.0), bus });
    const auto shake = s.pattern(suzu, QStringLiteral("Shake"), kBar);
    s.set(shake, 0,
        { { KaguraSuzuProcessor::Bells, 200 }, { KaguraSuzuProcessor::Brightness, 150 },
            { KaguraSuzuProcessor::Decay, 140 }, { KaguraSuzuProcessor::BellSize, 170 },
            { KaguraSuzuProcessor::Note, 72 }, { KaguraSuzuProcessor::Velocity, 220 },
            { KaguraSuzuProcessor::Mode, Shake } });
    s.set(shake, 8,
        { { KaguraSuzuProcessor::Note, 72 }, { KaguraSuzuProcessor::Velocity, 140 },
            { KaguraSuzuProcessor::Mode, Strike } });
    s.play(s.track(suzu), shake, { 0, 2, 4, 6, 7 });
}

void templeKoto(SongSketch& s, const Node& bus)
{
    const Node koto = s.node(QStringLiteral("Ding"), QStringLiteral("Koto"));
    s.chain({ koto, delay(s, QStringLiteral("Koto Echo"), 3 * tickMs(kTempleTempo), 0.4, 0.3),
        level(s, QStringLiteral("Koto Level"), 0.5), bus });
    const auto rising = s.pattern(koto, QStringLiteral("Rising"), 2 * kBar);
    s.notes(rising, DingProcessor::Note,
        QStringLiteral("D-5 . . . F-5 . G-5 . A-5 . . . . . . . "
                       "C-6 . A-5 . G-5 . F-5 . D-5 . . . . . . ."));
    s.set(rising, 0, { { DingProcessor::Volume, 170 }, { DingProcessor::Decay, 230 } });
    const auto answer = s.pattern(koto, QStringLiteral("Answer"), 2 * kBar);
    s.notes(answer, DingProcessor::Note,
        QStringLiteral("A-5 . . . C-6 . D-6 . C-6 . A-5 . G-5 . . . "
                       "F-5 . G-5 . A-5 . . . D-5 . . . . . . ."));
    const auto track = s.track(koto);
    s.play(track, rising, { 0, 4 });
    s.play(track, answer, { 2, 6 });
}

// A held saw chord root under a low-pass whose cutoff swells over four bars.
void templeDrone(SongSketch& s, const Node& bus)
{
    const Node drone = s.node(QStringLiteral("Saw"), QStringLiteral("Drone"));
    const Node shape = filter(s, QStringLiteral("Drone Filter"), LowPass, 300.0, 1.5);
    s.chain({ drone, shape, level(s, QStringLiteral("Drone Level"), 0.9), bus });
    const auto track = s.track(drone);
    const QList<QPair<QString, QList<int>>> roots { { QStringLiteral("D-4"), { 0, 7 } },
        { QStringLiteral("F-4"), { 4 } }, { QStringLiteral("C-4"), { 6 } } };
    for (const auto& [note, steps] : roots) {
        const auto hold = s.pattern(drone, note, 1);
        s.notes(hold, SawProcessor::Note, note);
        s.set(hold, 0, { { SawProcessor::Volume, 100 } });
        s.play(track, hold, steps);
    }
    const auto swell = s.pattern(shape, QStringLiteral("Swell"), 4 * kBar);
    s.ramp(swell, FilterProcessor::Frequency, 0, 3 * kBar - 1, filterHz(250.0), filterHz(1600.0));
    s.ramp(swell, FilterProcessor::Frequency, 3 * kBar, 4 * kBar - 1, filterHz(1600.0),
        filterHz(400.0));
    s.play(s.track(shape), swell, { 0, 4 });
}

// Wind: a wandering sine with no track, so its one settings row loops all song long.
void templeWind(SongSketch& s, const Node& bus)
{
    const Node wind = s.node(QStringLiteral("Dribble"), QStringLiteral("Wind"));
    s.settings(wind,
        { { DribbleProcessor::MinFreq, byte((600.0 - 20.0) / 4980.0) },
            { DribbleProcessor::MaxFreq, byte(600.0 / (20000.0 - 600.0)) },
            { DribbleProcessor::Speed, 40 } });
    s.chain({ wind, tremolo(s, QStringLiteral("Wind Sway"), 0.4, 0.8),
        level(s, QStringLiteral("Wind Level"), 0.06), bus });
}

SongSketch templeBells()
{
    SongSketch s(kTempleTempo, kTicksPerBeat, kTicksPerStep);
    const Node bus = s.node(QStringLiteral("Recursion"), QStringLiteral("Mix"));
    templeTaiko(s, bus);
    templeSuzu(s, bus);
    templeKoto(s, bus);
    templeDrone(s, bus);
    templeWind(s, bus);

    const Node hall = s.node(QStringLiteral("FancyReverb"), QStringLiteral("Temple"));
    s.settings(hall, { { ReverbProcessor::DryWet, 90 } });
    master(s, bus, { hall });
    fadeOut(s, 7);
    s.sequence(0, 8);
    return s;
}

// ---- acid-machine: an E minor acid line with a filter sweep, drums, toms and stabs.

constexpr int kAcidTempo = 128;

void acidLine(SongSketch& s, const Node& bus)
{
    const Node acid = s.node(QStringLiteral("TB-303"), QStringLiteral("Acid"));
    const Node sweep = filter(s, QStringLiteral("Acid Sweep"), LowPass, 700.0, 2.0);
    s.chain({ acid, sweep, level(s, QStringLiteral("Acid Level"), 0.13), bus });

    const auto low = s.pattern(acid, QStringLiteral("Low"), kBar);
    s.notes(low, TB303Processor::Note,
        QStringLiteral("E-3 E-3 E-4 E-3 F-3 E-3 G-4 E-3 . E-3 E-4 . D-4 E-3 F-4 E-3"));
    const auto high = s.pattern(acid, QStringLiteral("High"), kBar);
    s.notes(high, TB303Processor::Note,
        QStringLiteral("E-3 . E-3 G-3 . E-3 A#3 . E-3 E-4 . E-3 D-4 . C-4 B-3"));
    for (const auto& pattern : { low, high })
        for (int row : { 2, 6, 10 })
            s.set(pattern, row, { { TB303Processor::Accent, 1 } });
    for (const auto& pattern : { low, high })
        for (int row : { 3, 9, 14 })
            s.set(pattern, row, { { TB303Processor::Slide, 1 } });
    s.set(low, 0,
        { { TB303Processor::Waveform, 0 }, { TB303Processor::Cutoff, 50 },
            { TB303Processor::Resonance, 200 } });
    s.set(high, 0,
        { { TB303Processor::Waveform, 1 }, { TB303Processor::Cutoff, 110 },
            { TB303Processor::Resonance, 220 } });
    const auto track = s.track(acid);
    s.play(track, low, { 0, 1, 2, 3, 8, 9 });
    s.play(track, high, { 4, 5, 6, 7, 10, 11 });

    const auto open = s.pattern(sweep, QStringLiteral("Open"), 4 * kBar);
    s.ramp(open, FilterProcessor::Frequency, 0, 4 * kBar - 1, filterHz(500.0), filterHz(6000.0));
    s.play(s.track(sweep), open, { 4, 8 });
}

void acidDrums(SongSketch& s, const Node& bus)
{
    const Node kick = s.node(QStringLiteral("Drum"), QStringLiteral("Kick"));
    s.chain({ kick, distortion(s, QStringLiteral("Kick Punch"), 3.0, 0.7),
        level(s, QStringLiteral("Kick Level"), 0.45), bus });
    const auto four = s.pattern(kick, QStringLiteral("Four"), kBar);
    s.hits(four, DrumProcessor::Note, QStringLiteral("x...x...x...x..."));
    s.set(four, 0,
        { { DrumProcessor::Attack, 0 }, { DrumProcessor::Decay, 230 },
            { DrumProcessor::Pitch, 10 } });
    const auto kicks = s.track(kick);
    s.play(kicks, four, { 1, 2, 3, 4, 5, 6, 7, 9, 10 });
    s.pause(kicks, 8); // the breakdown
    s.pause(kicks, 11);

    const Node snare = s.node(QStringLiteral("Noise"), QStringLiteral("Snare"));
    s.chain({ snare, filter(s, QStringLiteral("Snare Band"), BandPass, 1800.0, 0.8),
        level(s, QStringLiteral("Snare Level"), 0.4), bus });
    const auto back = s.pattern(snare, QStringLiteral("Backbeat"), kBar);
    s.hits(back, NoiseProcessor::Note, QStringLiteral("....X-......X-x-"), NoiseProcessor::Volume,
        120, 220);
    s.play(s.track(snare), back, { 2, 3, 4, 5, 6, 7, 9, 10 });
}

void acidToms(SongSketch& s, const Node& bus)
{
    const Node toms = s.node(QStringLiteral("Taiko"), QStringLiteral("Toms"));
    s.chain({ toms, filter(s, QStringLiteral("Tom Tone"), LowPass, 2500.0, 0.7),
        level(s, QStringLiteral("Tom Level"), 0.6), bus });
    const auto fill = s.pattern(toms, QStringLiteral("Fill"), kBar);
    s.hits(fill, TaikoProcessor::Note, QStringLiteral("........X.x.X.xx"), TaikoProcessor::Velocity,
        160, 240);
    s.set(fill, 0,
        { { TaikoProcessor::Tension, 190 }, { TaikoProcessor::Size, 90 },
            { TaikoProcessor::Gain, kTaikoGain } });
    s.play(s.track(toms), fill, { 3, 7, 8, 11 });
}

void acidStabs(SongSketch& s, const Node& bus)
{
    const Node stab = s.node(QStringLiteral("Saw"), QStringLiteral("Stab"));
    s.chain({ stab, tremolo(s, QStringLiteral("Stab Chop"), 16.0, 0.9),
        delay(s, QStringLiteral("Stab Echo"), 3 * tickMs(kAcidTempo), 0.5, 0.4), bus });
    // A fresh saw is silent but starts with its level up and every phase at -1, a click
    // the echo would repeat; a short stab on the first downbeat spends that level on a note.
    const auto pickup = s.pattern(stab, QStringLiteral("Pickup"), 2);
    s.notes(pickup, SawProcessor::Note, QStringLiteral("E-5 off"));
    s.set(pickup, 0, { { SawProcessor::Volume, 70 } });
    s.play(s.track(stab), pickup, { 0 });
    const auto offbeat = s.pattern(stab, QStringLiteral("Offbeat"), kBar);
    s.notes(offbeat, SawProcessor::Note,
        QStringLiteral(". . B-4 off . . B-4 off . . G-4 off . . A-4 off"));
    s.set(offbeat, 2, { { SawProcessor::Volume, 70 } });
    s.play(s.track(stab), offbeat, { 4, 5, 6, 7, 9, 10 });
}

// The sampler has no sample in this song (sampled-groove carries one) and the oscillator
// plays no note; both stay wired in but unheard, so the song is ready for them.
void acidSpares(SongSketch& s, const Node& bus)
{
    const Node sampler = s.node(QStringLiteral("Sample"), QStringLiteral("Sampler"));
    s.chain({ sampler, delay(s, QStringLiteral("Sample Echo"), 3 * tickMs(kAcidTempo), 0.3, 0.2),
        level(s, QStringLiteral("Sample Level"), 0.5), bus });
    const auto shots = s.pattern(sampler, QStringLiteral("Shots"), kBar);
    s.hits(shots, SampleProcessor::Note, QStringLiteral("x.......x......-"),
        SampleProcessor::Volume, 200, 200);
    s.play(s.track(sampler), shots, { 8 });

    const Node osc = s.node(QStringLiteral("Osc"), QStringLiteral("Osc"));
    s.chain({ osc, filter(s, QStringLiteral("Osc Smooth"), LowPass, 200.0, 0.7),
        level(s, QStringLiteral("Osc Level"), 0.0), bus });
}

SongSketch acidMachine()
{
    SongSketch s(kAcidTempo, kTicksPerBeat, kTicksPerStep);
    const Node bus = s.node(QStringLiteral("Recursion"), QStringLiteral("Mix"));
    acidLine(s, bus);
    acidDrums(s, bus);
    acidToms(s, bus);
    acidStabs(s, bus);
    acidSpares(s, bus);

    const Node leveller = s.node(QStringLiteral("AGC"), QStringLiteral("Leveller"));
    s.settings(leveller,
        { { AGCProcessor::Mode, 64 }, { AGCProcessor::Target, 150 },
            { AGCProcessor::MaxGain, 40 } });
    master(s, bus, { compressor(s, 0.45, 4.0), leveller });
    fadeOut(s, 11);
    s.sequence(0, 12);
    return s;
}

// ---- radio-ghost: a little tune heard through a failing radio, one impairment per node.

constexpr int kRadioTempo = 100;

struct Impairment {
    const char* type;
    const char* name;
    SongSketch::Cells cells;
};

// Moderate amounts, so the tune stays clear under the damage.
const QList<Impairment>& impairments()
{
    static const QList<Impairment> chain = {
        { "ChFreqAtten", "Band Limit",
            { { ChannelFreqAttenProcessor::LowCut, word(300.0 / 2000.0) },
                { ChannelFreqAttenProcessor::HighCut, word(1500.0 / 18000.0) } } },
        { "ChDistortion", "Speaker", { { ChannelDistortionProcessor::Drive, byte(0.3) } } },
        { "ChEcho", "Room Echo",
            { { ChannelEchoProcessor::Delay, word(3000.0 / 4409.0) },
                { ChannelEchoProcessor::Gain, byte(0.25) } } },
        { "ChDoppler", "Drift", { { ChannelDopplerProcessor::Velocity, 1 } } },
        { "ChNoise", "Hiss", { { ChannelNoiseProcessor::Snr, byte(39.0 / 59.0) } } },
        { "ChPinkNoise", "Rumble", { { ChannelPinkNoiseProcessor::Snr, byte(44.0 / 59.0) } } },
        { "ChTone", "Hum",
            { { ChannelToneProcessor::Freq, word(40.0 / 19980.0) },
                { ChannelToneProcessor::Ampl, byte(0.01) } } },
        { "ChDropout", "Crackle",
            { { ChannelDropoutProcessor::Rate, 1 }, { ChannelDropoutProcessor::Burst, 2 } } },
        { "ChAGCPump", "Pump",
            { { ChannelAGCPumpProcessor::Attack, byte(9.5 / 99.5) },
                { ChannelAGCPumpProcessor::Release, byte(390.0 / 1990.0) } } },
        { "ChAttenuation", "Distance",
            { { ChannelAttenuationProcessor::GainDb, byte(3.0 / 40.0) } } },
        { "ChDCOffset", "Offset", { { ChannelDCOffsetProcessor::Offset, byte(0.05) } } },
        { "ChannelStrip", "Strip",
            { { ChannelStripProcessor::NoiseSnr, byte(49.0 / 59.0) },
                { ChannelStripProcessor::Distortion, byte(0.1) } } },
        { "ChClipping", "Clip", { { ChannelClippingProcessor::Threshold, byte(0.55 / 0.95) } } },
    };
    return chain;
}

void radioTune(SongSketch& s, const Node& bus)
{
    const Node voice = s.node(QStringLiteral("Ding"), QStringLiteral("Voice"));
    s.chain({ voice, level(s, QStringLiteral("Voice Level"), 0.4), bus });
    const auto tune = s.pattern(voice, QStringLiteral("Tune"), 2 * kBar);
    s.notes(tune, DingProcessor::Note,
        QStringLiteral("G-5 . . . E-5 . . . C-5 . D-5 . E-5 . . . "
                       "F-5 . . . D-5 . . . B-4 . C-5 . D-5 . . ."));
    s.set(tune, 0, { { DingProcessor::Volume, 200 }, { DingProcessor::Decay, 235 } });
    s.play(s.track(voice), tune, { 0, 2, 4 });

    const Node bass = s.node(QStringLiteral("Saw"), QStringLiteral("Bass"));
    s.chain({ bass, level(s, QStringLiteral("Bass Level"), 0.5), bus });
    const auto walk = s.pattern(bass, QStringLiteral("Walk"), 2 * kBar);
    s.notes(walk, SawProcessor::Note,
        QStringLiteral("C-3 . . . G-3 . . . A-3 . . . E-3 . . . "
                       "F-3 . . . C-3 . . . G-3 . . . G-3 . off ."));
    s.set(walk, 0, { { SawProcessor::Volume, 110 } });
    const auto track = s.track(bass);
    s.play(track, walk, { 0, 2 });
    s.pause(track, 4); // the tune alone for the last bars

    const Node beat = s.node(QStringLiteral("Drum"), QStringLiteral("Beat"));
    s.chain({ beat, level(s, QStringLiteral("Beat Level"), 0.4), bus });
    const auto pulse = s.pattern(beat, QStringLiteral("Pulse"), kBar);
    s.hits(pulse, DrumProcessor::Note, QStringLiteral("x.......x.....x."));
    s.set(pulse, 0, { { DrumProcessor::Decay, 150 }, { DrumProcessor::Pitch, 20 } });
    s.play(s.track(beat), pulse, { 1, 2, 3, 4 });
}

SongSketch radioGhost()
{
    SongSketch s(kRadioTempo, kTicksPerBeat, kTicksPerStep);
    const Node bus = s.node(QStringLiteral("Recursion"), QStringLiteral("Mix"));
    radioTune(s, bus);
    QList<Node> damage;
    for (const Impairment& impairment : impairments()) {
        const Node node = s.node(QLatin1String(impairment.type), QLatin1String(impairment.name));
        s.settings(node, impairment.cells);
        damage.append(node);
    }
    master(s, bus, damage);
    fadeOut(s, 5);
    s.sequence(0, 6);
    return s;
}

// ---- sampled-groove: a hit made from the catalogue's own drum and bell, kept in the song as
// a sample, over a saw bass and noise hats.

constexpr int kSampledTempo = 110;
constexpr qsizetype kHitFrames = 17640; // 0.4 s: done before the next beat at this tempo
constexpr qsizetype kHitFade = 441; // the last 10 ms fade out, so a cut never clicks
constexpr qsizetype kRenderBlock = 1024;

// The processor's output for the row as the lane values, in blocks as the engine renders.
QVector<double> rendered(Processor& processor, const QList<quint32>& row)
{
    processor.applyRow(row.constData(), int(row.size()), 0);
    QVector<double> out(kHitFrames, 0.0);
    for (qsizetype at = 0; at < out.size(); at += kRenderBlock) {
        AudioContext context;
        context.frames = quint64(std::min(kRenderBlock, out.size() - at));
        context.channels = 1;
        context.data = out.data() + at;
        processor.process(context);
    }
    return out;
}

// A low drum with an A bell on top, peaking at 0.8.
Sample drumAndBell()
{
    DrumProcessor drum(kEngineRate);
    DingProcessor bell(kEngineRate);
    const QVector<double> body = rendered(drum, { 45, 200, 0, 120, 40 });
    const QVector<double> ring = rendered(bell, { 81, 160, 200 });
    QVector<double> mix(kHitFrames);
    double peak = 0.0;
    for (qsizetype i = 0; i < kHitFrames; ++i) {
        const double fade = std::min(1.0, double(kHitFrames - i) / kHitFade);
        mix[i] = (body[i] + 0.4 * ring[i]) * fade;
        peak = std::max(peak, std::abs(mix[i]));
    }
    Sample hit { QStringLiteral("Drum and bell"), QVector<float>(kHitFrames) };
    for (qsizetype i = 0; i < kHitFrames; ++i)
        hit.frames[i] = float(mix[i] * 0.8 / peak);
    return hit;
}

// Every bar ends in a note-off, which frees the sampler's voices for the next.
void sampledHits(SongSketch& s, const Node& bus)
{
    const Node hit = s.node(QStringLiteral("Sample"), QStringLiteral("Hit"));
    hit->processor.dynamicCast<SampleProcessor>()->setSample(drumAndBell());
    s.chain({ hit, delay(s, QStringLiteral("Hit Echo"), 3 * tickMs(kSampledTempo), 0.25, 0.2),
        level(s, QStringLiteral("Hit Level"), 0.7), bus });
    const auto beat = s.pattern(hit, QStringLiteral("Beat"), kBar);
    s.hits(beat, SampleProcessor::Note, QStringLiteral("X...x...X...x..-"), SampleProcessor::Volume,
        150, 230);
    const auto fill = s.pattern(hit, QStringLiteral("Fill"), kBar);
    s.hits(fill, SampleProcessor::Note, QStringLiteral("X..xx..xX.x.X..-"), SampleProcessor::Volume,
        130, 230);
    s.play(s.track(hit), beat, { 0, 1, 2, 4, 5, 6 });
    s.play(s.track(hit), fill, { 3, 7 });
}

void sampledBass(SongSketch& s, const Node& bus)
{
    const Node bass = s.node(QStringLiteral("Saw"), QStringLiteral("Bass"));
    s.chain({ bass, filter(s, QStringLiteral("Bass Tone"), LowPass, 900.0, 0.8),
        level(s, QStringLiteral("Bass Level"), 0.45), bus });
    const auto line = s.pattern(bass, QStringLiteral("Line"), 2 * kBar);
    s.notes(line, SawProcessor::Note,
        QStringLiteral("A-2 . . A-2 . . C-3 . . . A-2 . G-2 . . off "
                       "F-2 . . F-2 . . A-2 . . . G-2 . E-2 . . off"));
    s.set(line, 0, { { SawProcessor::Volume, 150 } });
    s.play(s.track(bass), line, { 2, 4, 6 });
}

void sampledHats(SongSketch& s, const Node& bus)
{
    const Node hats = s.node(QStringLiteral("Noise"), QStringLiteral("Hats"));
    s.chain({ hats, filter(s, QStringLiteral("Hat Filter"), HighPass, 8000.0, 0.9),
        level(s, QStringLiteral("Hat Level"), 0.3), bus });
    const auto ticks = s.pattern(hats, QStringLiteral("Ticks"), kBar);
    s.hits(ticks, NoiseProcessor::Note, QStringLiteral("..x-..x-..x-.xX-"), NoiseProcessor::Volume,
        140, 200);
    s.play(s.track(hats), ticks, { 1, 2, 3, 4, 5, 6, 7 });
}

SongSketch sampledGroove()
{
    SongSketch s(kSampledTempo, kTicksPerBeat, kTicksPerStep);
    const Node bus = s.node(QStringLiteral("Recursion"), QStringLiteral("Mix"));
    sampledHits(s, bus);
    sampledBass(s, bus);
    sampledHats(s, bus);

    const Node reverb = room(s, 70, 30, 160);
    master(s, bus, { compressor(s, 0.5, 3.0), reverb });
    fadeOut(s, 7);
    s.sequence(0, 8);
    return s;
}

} // namespace

const QList<Example>& examples()
{
    static const QList<Example> list = {
        { QStringLiteral("first-song.zarn"), firstSong },
        { QStringLiteral("temple-bells.zarn"), templeBells },
        { QStringLiteral("acid-machine.zarn"), acidMachine },
        { QStringLiteral("radio-ghost.zarn"), radioGhost },
        { QStringLiteral("sampled-groove.zarn"), sampledGroove },
    };
    return list;
}
