#include "processors/ProcessorFactory.h"
#include "core/EngineRate.h"
#include "processors/Logging.h"

#include <QDebug>

ProcessorFactory& ProcessorFactory::instance()
{
    // A function-local static is initialised once even when threads race to it, and is
    // destroyed at exit.
    static ProcessorFactory factory = populated();
    return factory;
}

ProcessorFactory ProcessorFactory::populated()
{
    ProcessorFactory factory;
    for (const auto& creator : processorCatalogue())
        factory.registerType(creator);
    if (factory.debug)
        for (const auto& id : factory.typeIDs())
            qCDebug(lcProcessors).noquote().nospace() << "Populated factory with: " << id;
    return factory;
}

void ProcessorFactory::registerType(const Creator& creator)
{
    if (!creator)
        return;
    const QSharedPointer<Processor> sample = creator(kEngineRate);
    if (!sample)
        return;
    const ProcessorCharacter character = sample->character();
    if (character.typeID.isEmpty()) {
        qCWarning(lcProcessors).noquote() << "Processor type without a type ID not registered";
        return;
    }
    if (debug)
        qCDebug(lcProcessors).noquote().nospace() << "Registering " << character.typeID;
    m_creators.insert(character.typeID, creator);
    m_characters.insert(character.typeID, character);
}

QSharedPointer<Processor> ProcessorFactory::create(const QString& typeID) const
{
    const auto it = m_creators.constFind(typeID);
    if (it == m_creators.constEnd())
        return {};
    return (*it)(kEngineRate);
}

QStringList ProcessorFactory::typeIDs() const
{
    return m_creators.keys();
}

const ProcessorCharacter* ProcessorFactory::characterOf(const QString& typeID) const
{
    const auto it = m_characters.constFind(typeID);
    if (it == m_characters.constEnd()) {
        qCDebug(lcProcessors).noquote() << "Foundnt char" << typeID;
        return nullptr;
    }
    if (debug)
        qCDebug(lcProcessors).noquote() << "Found char" << typeID << *it;
    return &*it;
}
