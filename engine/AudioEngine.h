#pragma once

#include "engine/Buffer.h"
#include "engine/Plan.h"
#include "core/AudioContext.h"

#include <QAtomicInt>
#include <QMutex>
#include <QSharedPointer>
#include <QThreadPool>

// Holds the plan being rendered. The mutex guards only the exchange of the plan
// pointer; a block renders on its own reference, so replacing the plan mid-block is safe.
class AudioEngine : public QThreadPool {
    Q_OBJECT

public:
    static constexpr char kObjectName[] = "Kalvex.mediacore.audio-engine";

    explicit AudioEngine(QObject* parent = nullptr);

    // Installs `plan` (null for none) and returns the new plan generation.
    qint32 setPlan(const PlanPointer& plan);
    PlanPointer plan() const;
    qint32 generation() const { return m_generation.loadAcquire(); }

private:
    mutable QMutex m_mutex;
    PlanPointer m_plan;
    QAtomicInt m_generation;
};

// Renders one block of the engine's current plan into `destination`; without a plan
// the destination is left as it was.
void execute(AudioEngine& engine, AudioContext& context, Buffer& destination);
