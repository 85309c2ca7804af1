#pragma once

#include "core/AudioContext.h"

#include <QtGlobal>

// The block handed to processors, plus the song time they may ask about. All
// readings are live: they reflect the song's position at the moment of the call.
class ProcessorContext : public AudioContext {
public:
    ~ProcessorContext() override = default;

    virtual qint32 ticksPerStep() const = 0;
    virtual qint32 samplesPerTick() const = 0;
    virtual bool isPlaying() const = 0;
    virtual bool isLooping() const = 0;
    virtual bool isRecording() const = 0;
    virtual qint32 currentStep() const = 0;
    virtual qint32 currentTick() const = 0;
    virtual qint32 currentSample() const = 0;
    // The step within the arranged sequence, folded into the loop past its end.
    virtual qint32 sequenceStep() const = 0;
    virtual qint64 firstCounter() const = 0;
    virtual qint64 secondCounter() const = 0;
};
