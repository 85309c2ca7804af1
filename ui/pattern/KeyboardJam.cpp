#include "ui/pattern/KeyboardJam.h"

#include <utility>

int KeyboardJam::noteParameterOf(const NodeParameterSchema& schema)
{
    for (int i = 0; i < schema.nodeParameters.size(); ++i) {
        const ParameterPointer& p = schema.nodeParameters.at(i);
        if (p && p->valueType() == ValueType::MidiNote)
            return i;
    }
    return -1;
}

std::optional<KeyboardJam::Played> KeyboardJam::press(
    const zarn::NodePointer& node, int key, quint32 note)
{
    const SchemaPointer schema = node && node->processor ? node->processor->schema() : nullptr;
    const int parameter = schema ? noteParameterOf(*schema) : -1;
    if (parameter < 0)
        return std::nullopt;
    // Another node's note would hang on: it ends first, unrecorded.
    if (m_node != node)
        stop();
    m_node = node;
    m_key = key;
    m_parameter = parameter;
    return play(node, parameter, note);
}

std::optional<KeyboardJam::Played> KeyboardJam::release(int key)
{
    if (!m_node || key != m_key)
        return std::nullopt;
    return stop();
}

std::optional<KeyboardJam::Played> KeyboardJam::stop()
{
    const zarn::NodePointer node = std::exchange(m_node, {});
    m_key = 0;
    if (!node)
        return std::nullopt;
    return play(node, m_parameter, kNoteOff);
}

std::optional<KeyboardJam::Played> KeyboardJam::play(
    const zarn::NodePointer& node, int parameter, quint32 value)
{
    if (!node->processor)
        return std::nullopt;
    node->processor->setNodeParameter(parameter, value);
    return Played { node, parameter, value };
}
