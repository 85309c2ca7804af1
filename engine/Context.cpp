#include "engine/Context.h"

#include "song/Position.h"

#include <algorithm>

namespace zarn {

namespace {

// Truncating division that reads a zero divisor as "no grid", giving 0, so a damaged
// song with a zero tick length cannot stop the engine.
qint32 divide(qint64 dividend, qint64 divisor)
{
    return divisor ? qint32(dividend / divisor) : 0;
}

} // namespace

qint32 Context::ticksPerStep() const
{
    return position ? position->ticksPerStep() : kFallbackGranularity;
}

qint32 Context::samplesPerTick() const
{
    return position ? position->samplesPerTick() : kFallbackGranularity;
}

bool Context::isPlaying() const
{
    return position && position->playing;
}

bool Context::isLooping() const
{
    return position && position->looping;
}

bool Context::isRecording() const
{
    return position && position->recording;
}

qint32 Context::currentStep() const
{
    return stepOf(currentSample());
}

qint32 Context::currentTick() const
{
    return divide(currentSample(), samplesPerTick());
}

qint32 Context::currentSample() const
{
    return position ? position->playPos.sample : 0;
}

qint32 Context::sequenceStep() const
{
    if (!position)
        return 0;
    const qint64 s = std::max(0, currentStep());
    const qint64 begin = stepOf(position->sequenceBegin.sample);
    const qint64 end = stepOf(position->sequenceEnd.sample);
    const qint64 loop = stepOf(position->loopBegin.sample);
    const qint64 sequenceLength = end - begin;
    const qint64 loopLength = end - loop;
    // Past the sequence, a loop of no steps has nowhere to fold to: stay at the start.
    // Before it, s < sequenceLength, so that length is at least 1.
    if (s >= sequenceLength)
        return loopLength ? qint32(loop + (s - end) % loopLength) : qint32(begin);
    return qint32(begin + s % sequenceLength);
}

qint32 Context::stepOf(qint32 sample) const
{
    return divide(sample, qint64(samplesPerTick()) * ticksPerStep());
}

} // namespace zarn
