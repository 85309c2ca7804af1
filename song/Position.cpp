#include "song/Position.h"
#include "song/Logging.h"

#include <limits>
#include <optional>
#include <utility>

namespace {

// The products and quotients are taken in 64 bits: a damaged file can carry any grid,
// and a point must still read without overflow.
qint64 wide(qint32 value)
{
    return value;
}

// Multiplies with the wrap-around of 32-bit arithmetic, without the undefined overflow.
qint32 product32(qint32 a, qint32 b)
{
    return qint32(quint32(a) * quint32(b));
}

constexpr qint32 kSecondsPerMinute = 60;

// Ticks per beat tried after the position's own: a tick as a sixteenth note first, then the
// other grids trackers use.
constexpr qint32 kTicksPerBeatChoices[] = { 4, 16, 8, 2, 1, 3, 6, 12, 24, 32, 48, 64 };
// A tempo a musician would write; outside it another grid reads more naturally.
constexpr qint64 kPlainSlowest = 40;
constexpr qint64 kPlainFastest = 400;
constexpr qint64 kFastestTempo = 99999;

// The smallest whole tempo at `ticksPerBeat` whose ticks per minute fall in [lowest,
// highest], or 0 when none does.
qint64 tempoWithin(qint64 lowest, qint64 highest, qint64 ticksPerBeat)
{
    const qint64 tempo = (lowest + ticksPerBeat - 1) / ticksPerBeat;
    return tempo * ticksPerBeat <= highest && tempo <= kFastestTempo ? tempo : 0;
}

} // namespace

qint32 Point::samplesPerTick() const
{
    const qint32 value = provider ? provider->samplesPerTick() : kFallbackGranularity;
    // A grid below one only comes from damaged data; reading through it must not divide by zero.
    return value > 0 ? value : kFallbackGranularity;
}

qint32 Point::ticksPerStep() const
{
    const qint32 value = provider ? provider->ticksPerStep() : kFallbackGranularity;
    return value > 0 ? value : kFallbackGranularity;
}

qint32 Point::tick() const
{
    return qint32(wide(sample) / samplesPerTick());
}

qint32 Point::sampleInTick() const
{
    return qint32(wide(sample) % samplesPerTick());
}

qint32 Point::tickInStep() const
{
    return qint32(wide(tick()) % ticksPerStep());
}

qint32 Point::step() const
{
    return qint32(wide(sample) / (wide(ticksPerStep()) * samplesPerTick()));
}

QDebug operator<<(QDebug debug, const Point& point)
{
    QDebugStateSaver saver(debug);
    debug.nospace() << "Point(sample: " << point.sampleInTick() << ", tick: " << point.tickInStep()
                    << ", step: " << point.step() << ")";
    return debug;
}

Position::Position()
{
    for (Point* point : { &cursor, &playPos, &sequenceBegin, &sequenceEnd, &loopBegin })
        point->provider = this;
}

void Position::updateNumbers()
{
    const qint32 ticksPerMinute = product32(beatsPerMinute, ticksPerBeat);
    if (ticksPerMinute > 0)
        samplesPerTickValue = product32(samplesPerSecond, kSecondsPerMinute) / ticksPerMinute;
    if (!debug)
        return;
    qCDebug(lcSong).noquote() << "";
    qCDebug(lcSong).noquote() << "UPDATE NUMBERS";
    const std::pair<const char*, qint32> lines[] = {
        { "  samplesPerSec=", samplesPerSecond },
        { "  beatsPerMinute=", beatsPerMinute },
        { "  ticksPerBeat=", ticksPerBeat },
        { "  ticksPerMinute=", ticksPerMinute },
        { "  ticksPerStep=", ticksPerStepValue },
        { "  samplesPerTick=", samplesPerTickValue },
    };
    for (const auto& [label, value] : lines)
        qCDebug(lcSong).noquote().nospace() << label << value;
    qCDebug(lcSong).noquote() << "";
}

bool Position::matchTempoToSamplesPerTick()
{
    const qint64 samplesPerMinute = wide(samplesPerSecond) * kSecondsPerMinute;
    const qint64 perTick = samplesPerTickValue;
    if (perTick <= 0 || samplesPerMinute <= 0
        || samplesPerMinute > std::numeric_limits<qint32>::max())
        return false;
    // updateNumbers truncates, so every ticks-per-minute in (perMinute / (perTick + 1),
    // perMinute / perTick] gives this grid back.
    const qint64 lowest = samplesPerMinute / (perTick + 1) + 1;
    const qint64 highest = samplesPerMinute / perTick;
    std::optional<std::pair<qint64, qint64>> found;
    // True once a plain tempo is found; the first exact one is kept until then.
    const auto tryTicks = [&](qint64 ticks) {
        const qint64 tempo = ticks > 0 ? tempoWithin(lowest, highest, ticks) : 0;
        const bool plain = tempo >= kPlainSlowest && tempo <= kPlainFastest;
        if (tempo > 0 && (!found || plain))
            found.emplace(tempo, ticks);
        return plain;
    };
    if (!tryTicks(ticksPerBeat))
        for (const qint64 ticks : kTicksPerBeatChoices)
            if (tryTicks(ticks))
                break;
    if (!found)
        return false;
    beatsPerMinute = qint32(found->first);
    ticksPerBeat = qint32(found->second);
    return true;
}

void Position::wrapPlayPosition()
{
    const qint64 end = sequenceEnd.sample;
    const qint64 p = playPos.sample;
    if (end > 0 && p >= end) {
        if (looping) {
            const qint64 begin = loopBegin.sample;
            const qint64 length = end - begin;
            playPos.sample = qint32(length > 0 ? begin + (p - end) % length : begin);
        } else {
            playPos = sequenceEnd;
            playing = false;
        }
    }
    shownPlayPos = playPos;
}

void Position::write(QDataStream& stream) const
{
    qCDebug(lcSong).noquote() << "Stream OUT Position";
    stream << samplesPerTickValue << ticksPerStepValue << scrollStep;
    for (const Point* point : { &cursor, &playPos, &sequenceBegin, &sequenceEnd }) {
        qCDebug(lcSong).noquote() << "Stream OUT Point";
        stream << point->sample;
    }
}

void Position::read(QDataStream& stream)
{
    stream >> samplesPerTickValue >> ticksPerStepValue >> scrollStep;
    for (Point* point : { &cursor, &playPos, &sequenceBegin, &sequenceEnd }) {
        stream >> point->sample;
        qCDebug(lcSong).noquote() << "Stream IN Point";
    }
    qCDebug(lcSong).noquote() << "Stream IN Position";
}

QDebug operator<<(QDebug debug, const Position& p)
{
    QDebugStateSaver saver(debug);
    debug.nospace() << "Position(beatsPerMinute: " << p.beatsPerMinute
                    << ", ticksPerBeat: " << p.ticksPerBeat
                    << ", ticksPerStep: " << p.ticksPerStep()
                    << ", samplesPerSecond: " << p.samplesPerSecond
                    << ", samplesPerTick: " << p.samplesPerTick()
                    << ", cursorColumn: " << p.cursorColumn << ", scrollStep: " << p.scrollStep
                    << ", scrollHeight: " << p.scrollHeight << ", cursor: " << p.cursor
                    << ", playPos: " << p.playPos << ", sequenceBegin: " << p.sequenceBegin
                    << ", sequenceEnd: " << p.sequenceEnd << ", loopBegin: " << p.loopBegin << ")";
    return debug;
}
