#pragma once

#include "engine/Buffer.h"
#include "engine/PlanStep.h"

#include <QList>
#include <QSet>
#include <QSharedPointer>
#include <QStringList>

#include <cstddef>
#include <vector>

// A compiled graph: buffer steps in execution order and the buffers that form the
// song's output. All samples live in one aligned block laid out by `execute` whenever
// the block size grows, so steady-state rendering never allocates.
class Plan {
public:
    static constexpr quint64 kAlignment = 32;

    Plan() = default;
    Plan(const Plan&) = delete;
    Plan& operator=(const Plan&) = delete;

    // Appends the step and remembers every buffer it names.
    void addStep(const PlanStepPointer& step);
    // A song output's buffer and the name of the node it belongs to.
    void addOutput(const QSharedPointer<Buffer>& buffer, const QString& name = QString())
    {
        m_outputs.append(buffer);
        m_outputNames.append(name);
    }

    // Renders one block of destination.size() frames: the steps in order, then the
    // destination becomes the average of the output buffers (silence without any).
    void execute(AudioContext& context, Buffer& destination);

    const QList<PlanStepPointer>& steps() const { return m_steps; }
    const QSet<QSharedPointer<Buffer>>& buffers() const { return m_buffers; }
    const QList<QSharedPointer<Buffer>>& outputs() const { return m_outputs; }
    const QStringList& outputNames() const { return m_outputNames; }
    const Buffer& output() const { return m_output; }
    quint64 capacityFrames() const { return m_capacityFrames; }

private:
    void layOut(quint64 frames);
    void mixOutputsInto(Buffer& destination) const;

    QList<PlanStepPointer> m_steps;
    QSet<QSharedPointer<Buffer>> m_buffers;
    QList<QSharedPointer<Buffer>> m_outputs;
    QStringList m_outputNames;
    std::vector<std::byte> m_storage;
    Buffer m_output;
    quint64 m_capacityFrames = 0;
};

using PlanPointer = QSharedPointer<Plan>;
