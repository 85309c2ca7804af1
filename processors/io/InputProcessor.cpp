#include "processors/io/InputProcessor.h"

#include "processors/io/IoSchema.h"

#include <algorithm>

InputProcessor::InputProcessor(int sampleRate)
    : Processor(ProcessorCharacter("Input", false, true, false, true, false, false))
{
    Q_UNUSED(sampleRate);
}

void InputProcessor::process(AudioContext& context)
{
    if (context.data)
        std::fill_n(context.data, context.frames, 0.0);
}

SchemaPointer InputProcessor::schema() const
{
    return io::ioSchema();
}
