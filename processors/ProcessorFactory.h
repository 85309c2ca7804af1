#pragma once

#include "core/EngineRate.h"
#include "processors/Processor.h"

#include <QMap>
#include <QStringList>

#include <functional>

// The process-wide registry that makes processors by type name.
class ProcessorFactory {
public:
    using Creator = std::function<QSharedPointer<Processor>(int sampleRate)>;

    // The registry, populated from the catalogue on first use.
    static ProcessorFactory& instance();

    // A later registration of the same type ID replaces the earlier one in both maps;
    // a creator that makes nothing, or a type without an ID, is not registered.
    void registerType(const Creator& creator);
    QSharedPointer<Processor> create(const QString& typeID) const;
    QStringList typeIDs() const;
    const ProcessorCharacter* characterOf(const QString& typeID) const;

    bool debug = false;

private:
    // A registry holding every catalogue entry.
    static ProcessorFactory populated();

    QMap<QString, Creator> m_creators;
    QMap<QString, ProcessorCharacter> m_characters;
};

// Every creator in registration order; the registry registers them all.
const QList<ProcessorFactory::Creator>& processorCatalogue();
