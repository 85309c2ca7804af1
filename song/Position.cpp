#include "song/Position.h"

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
    qDebug().noquote() << "";
    qDebug().noquote() << "UPDATE NUMBERS";
    const std::pair<const char*, qint32> lines[] = {
        { "  samplesPerSec=", samplesPerSecond },
        { "  beatsPerMinute=", beatsPerMinute },
        { "  ticksPerBeat=", ticksPerBeat },
        { "  ticksPerMinute=", ticksPerMinute },
        { "  ticksPerStep=", ticksPerStepValue },
        { "  samplesPerTick=", samplesPerTickValue },
    };
    for (const auto& [label, value] : lines)
        qDebug().noquote().nospace() << label << value;
    qDebug().noquote() << "";
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
    qDebug().noquote() << "Stream OUT Position";
    stream << samplesPerTickValue << ticksPerStepValue << scrollStep;
    for (const Point* point : { &cursor, &playPos, &sequenceBegin, &sequenceEnd }) {
        qDebug().noquote() << "Stream OUT Point";
        stream << point->sample;
    }
}

void Position::read(QDataStream& stream)
{
    stream >> samplesPerTickValue >> ticksPerStepValue >> scrollStep;
    for (Point* point : { &cursor, &playPos, &sequenceBegin, &sequenceEnd }) {
        stream >> point->sample;
        qDebug().noquote() << "Stream IN Point";
    }
    qDebug().noquote() << "Stream IN Position";
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
