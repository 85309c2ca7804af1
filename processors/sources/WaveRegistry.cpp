#include "processors/sources/WaveRegistry.h"

const WaveRegistry& WaveRegistry::instance()
{
    static const WaveRegistry registry;
    return registry;
}
