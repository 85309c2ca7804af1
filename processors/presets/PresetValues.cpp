#include "processors/presets/PresetValues.h"

namespace presets {

namespace {

const ParameterDescriptor* kept(const NodeParameterSchema& schema, const QString& name)
{
    for (const ParameterPointer& parameter : schema.nodeParameters)
        if (parameter && parameter->name == name && !parameter->isPlayed())
            return parameter.get();
    return nullptr;
}

} // namespace

QString misfit(const Preset& preset, const QString& typeID, const NodeParameterSchema& schema)
{
    if (preset.typeID != typeID)
        return QStringLiteral("it is a preset for \"%1\", not for \"%2\"")
            .arg(preset.typeID, typeID);
    for (auto it = preset.values.cbegin(); it != preset.values.cend(); ++it) {
        const ParameterDescriptor* parameter = kept(schema, it.key());
        if (!parameter)
            return QStringLiteral("\"%1\" is not a preset parameter of %2").arg(it.key(), typeID);
        if (it.value() < parameter->minimum || it.value() > parameter->maximum)
            return QStringLiteral("\"%1\" is %2, outside %3 to %4")
                .arg(it.key())
                .arg(it.value())
                .arg(parameter->minimum)
                .arg(parameter->maximum);
    }
    return {};
}

void apply(const Preset& preset, Processor& processor)
{
    const SchemaPointer schema = processor.schema();
    if (!schema)
        return;
    for (int i = 0; i < schema->nodeParameters.size(); ++i) {
        const ParameterPointer& parameter = schema->nodeParameters.at(i);
        if (!parameter)
            continue;
        const bool held = !parameter->isPlayed() && preset.values.contains(parameter->name);
        processor.setNodeParameter(
            i, held ? preset.values.value(parameter->name) : parameter->defaultValue);
    }
}

Preset capture(Processor& processor, const QString& name)
{
    Preset preset { name, processor.character().typeID, {} };
    const SchemaPointer schema = processor.schema();
    if (!schema)
        return preset;
    processor.ensureValueCache();
    const qsizetype count = std::min(schema->nodeParameters.size(), processor.nodeValues.size());
    for (qsizetype i = 0; i < count; ++i) {
        const ParameterPointer& parameter = schema->nodeParameters.at(i);
        if (parameter && !parameter->isPlayed())
            preset.values.insert(parameter->name, processor.nodeValues.at(i));
    }
    return preset;
}

} // namespace presets
