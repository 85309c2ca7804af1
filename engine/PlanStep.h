#pragma once

#include "engine/Buffer.h"
#include "core/AudioContext.h"
#include "core/AudioNode.h"

#include <QList>
#include <QSharedPointer>
#include <QStringList>

// One buffer operation of a plan. For COPY and MIX the first buffer is the target.
class PlanStep {
public:
    enum Kind : qint32 { Noop = 0, Clear = 1, Copy = 2, Mix = 3, Process = 4 };

    PlanStep() = default;
    PlanStep(qint32 kind, const QList<QSharedPointer<Buffer>>& buffers)
        : kind(kind)
        , buffers(buffers)
    {
    }

    // The step as the build log shows it: "CLEAR B1", "MIX B2 B3 INTO B1",
    // "PROCESS B1 WITH Osc"; empty for a COPY or MIX that has nothing to move.
    QString text() const;
    // Runs the step on its buffers; processors render through `context`.
    void run(AudioContext& context) const;

    qint32 kind = Noop;
    QStringList names; // PROCESS only
    QList<QSharedPointer<AudioNode>> processors; // PROCESS only
    QList<QSharedPointer<Buffer>> buffers;
};

using PlanStepPointer = QSharedPointer<PlanStep>;
