#pragma once

#include "core/AudioContext.h"
#include "core/ProcessorCharacter.h"

#include <QList>

// Anything that renders audio: processors, device nodes, the test tone.
class AudioNode {
public:
    virtual ~AudioNode() = default;
    virtual void process(AudioContext& context) = 0;
    virtual const ProcessorCharacter& character() const = 0;
    virtual int setEnabled(int value) { return value; }

    bool paused = false;
    double peakMs = 0.0;

    // Current parameter values as the parameter view sees them; the engine updates
    // them after each row it applies.
    QList<quint32> nodeValues;
    QList<quint32> nodeEmpties;
    QList<quint32> trackValues;
    qint32 manualRowSerial = -2;
};
