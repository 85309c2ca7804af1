#pragma once

#include "processors/Processor.h"

// A processor with one parameter of each value type: node parameters On (switch), Gain
// (byte) and Rate (word), then lanes of Note and Vel (byte). Its instance is the given id.
struct FakeProcessor final : Processor {
    explicit FakeProcessor(const QString& id = QStringLiteral("fake"))
        : Processor(ProcessorCharacter())
        , id(id)
    {
        using P = ParameterDescriptor;
        m_schema->nodeParameters = { P::makeSwitch("On", "", 0),
            P::byte("Gain", "", 0, 0xFE, 0xFF, 0x80), P::word("Rate", "", 0xFFFE, 0) };
        m_schema->trackParameters
            = { P::midiNote("Note", "", 253), P::byte("Vel", "", 0, 0xFE, 0xFF, 0x40) };
    }
    SchemaPointer schema() const override { return m_schema; }
    QString instanceId() override { return id; }
    QString id;
    QSharedPointer<NodeParameterSchema> m_schema = QSharedPointer<NodeParameterSchema>::create();
};
