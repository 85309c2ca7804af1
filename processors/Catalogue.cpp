#include "processors/ProcessorFactory.h"
#include "processors/io/InputProcessor.h"
#include "processors/io/OutputProcessor.h"

namespace {

template <class P>
QSharedPointer<Processor> make(int sampleRate)
{
    return QSharedPointer<P>::create(sampleRate);
}

} // namespace

// Registration order matters: a later row with the same type ID replaces an earlier one.
const QList<ProcessorFactory::Creator>& processorCatalogue()
{
    static const QList<ProcessorFactory::Creator> catalogue = {
        make<InputProcessor>,  //  7 "Input"
        make<OutputProcessor>, // 10 "Output"
    };
    return catalogue;
}
