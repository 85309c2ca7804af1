#include "PeerSongs.h"

#include "processors/filters/FilterProcessor.h"
#include "processors/sources/SawProcessor.h"

namespace {

using Node = zarn::NodePointer;

// 6615 samples a tick, so 250 bars of 16 ticks end at exactly 600 s.
constexpr int kTempo = 100;
constexpr int kTicksPerBeat = 4;
constexpr int kTicksPerStep = 16;
constexpr int kSteps = 250;
constexpr quint64 kSamplesPerTick = 44100 * 60 / (kTempo * kTicksPerBeat);

constexpr quint32 kNote = 48;
constexpr quint32 kVolume = 204;
constexpr quint32 kLowPass = 0;
constexpr quint32 kCutoff = 32767; // 632 Hz, the peer's cutoff
constexpr quint32 kResonance = 9;

// A Saw holding one note from the first tick on.
Node heldSaw(SongSketch& s)
{
    const Node saw = s.node(QStringLiteral("Saw"), QStringLiteral("Saw"));
    const auto hold = s.pattern(saw, QStringLiteral("Hold"), 1);
    s.set(hold, 0, { { SawProcessor::Note, kNote }, { SawProcessor::Volume, kVolume } });
    s.play(s.track(saw), hold, { 0 });
    return saw;
}

SongSketch sawOnly()
{
    SongSketch s(kTempo, kTicksPerBeat, kTicksPerStep);
    s.chain({ heldSaw(s), s.output() });
    s.sequence(0, kSteps);
    return s;
}

SongSketch sawFilter()
{
    SongSketch s(kTempo, kTicksPerBeat, kTicksPerStep);
    const Node filter = s.node(QStringLiteral("Filter"), QStringLiteral("Low-pass"));
    s.settings(filter,
        { { FilterProcessor::Type, kLowPass }, { FilterProcessor::Frequency, kCutoff },
            { FilterProcessor::Resonance, kResonance } });
    s.chain({ heldSaw(s), filter, s.output() });
    s.sequence(0, kSteps);
    return s;
}

} // namespace

const QList<PeerSong>& peerSongs()
{
    static const QList<PeerSong> list = {
        { QStringLiteral("saw.zarn"), sawOnly },
        { QStringLiteral("saw-filter.zarn"), sawFilter },
    };
    return list;
}

quint64 peerSongFrames()
{
    return quint64(kSteps) * kTicksPerStep * kSamplesPerTick;
}
