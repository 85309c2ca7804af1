#include "engine/AudioEngine.h"

#include <QMutexLocker>
#include <QThread>

AudioEngine::AudioEngine(QObject* parent)
    : QThreadPool(parent)
    , m_plan(PlanPointer::create())
{
    setObjectName(QString::fromLatin1(kObjectName));
    setMaxThreadCount(QThread::idealThreadCount());
}

qint32 AudioEngine::setPlan(const PlanPointer& plan)
{
    QMutexLocker lock(&m_mutex);
    m_plan = plan;
    return m_generation.fetchAndAddOrdered(1) + 1;
}

PlanPointer AudioEngine::plan() const
{
    QMutexLocker lock(&m_mutex);
    return m_plan;
}

void execute(AudioEngine& engine, AudioContext& context, Buffer& destination)
{
    const PlanPointer plan = engine.plan();
    if (plan)
        plan->execute(context, destination);
}
