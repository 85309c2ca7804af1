// Reads arbitrary bytes as a preset file and as a preset library for a real TB-303: no
// crash and no unbounded allocation, and whatever is accepted fits the schema, survives
// writing and reading back unchanged, and can be applied.
#include "QuietLogs.h"
#include "processors/ProcessorFactory.h"
#include "processors/presets/PresetFile.h"
#include "processors/presets/PresetValues.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstdint>
#include <cstdlib>

namespace {

const QString kType = QStringLiteral("TB-303");

void check(const Preset& preset, Processor& processor)
{
    if (!presets::misfit(preset, kType, *processor.schema()).isEmpty())
        std::abort();
    const Outcome<Preset> again
        = presetFile::decode(presetFile::encode(preset), kType, *processor.schema());
    if (!again.ok() || !(again.value == preset))
        std::abort();
    presets::apply(preset, processor);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    silenceLogsOnce();
    if (size > size_t(presetFile::kMaxBytes))
        return 0;
    const QByteArray bytes
        = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const QSharedPointer<Processor> processor = ProcessorFactory::instance().create(kType);
    const SchemaPointer schema = processor->schema();

    const Outcome<Preset> single = presetFile::decode(bytes, kType, *schema);
    if (single.ok())
        check(single.value, *processor);
    const Outcome<QList<Preset>> library = presetFile::decodeLibrary(bytes, kType, *schema);
    for (const Preset& preset : library.value)
        check(preset, *processor);
    if (!library.ok() && !library.value.isEmpty())
        std::abort();
    return 0;
}
