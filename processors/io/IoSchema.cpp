#include "processors/io/IoSchema.h"

#include "processors/Processor.h"

namespace io {

SchemaPointer ioSchema()
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = {
            ParameterDescriptor::byte("BPM", "Beats Per Minute", 0, 255, 255, 128),
            ParameterDescriptor::word("Volume", "Final output volume", 65535, 32767),
        };
        return schema;
    });
}

} // namespace io
