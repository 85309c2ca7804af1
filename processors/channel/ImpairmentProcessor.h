#pragma once

#include "processors/Processor.h"
#include "processors/channel/Impairments.h"

#include <utility>

// A node that runs one impairment stage over its input, in place. Unlike most processors
// these apply every row they are given, even one with the serial of the last.
template <class Stage> class ImpairmentProcessor : public Processor {
public:
    void process(AudioContext& context) override
    {
        if (!context.data || passesThrough(m_stage))
            return;
        const quint64 samples = context.frames * context.channels;
        for (quint64 i = 0; i < samples; ++i)
            context.data[i] = m_stage.process(context.data[i]);
    }

    const Stage& stage() const { return m_stage; }

protected:
    ImpairmentProcessor(const QString& typeID, Stage stage)
        : Processor(ProcessorCharacter(typeID, true, true, true, true, false, false))
        , m_stage(std::move(stage))
    {
    }

    Stage m_stage;
};
