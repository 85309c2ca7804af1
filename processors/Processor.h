#pragma once

#include "core/AudioNode.h"
#include "core/NodeParameterSchema.h"

#include <QDataStream>
#include <QString>

#include <utility>

// The interface of every node processor in a song graph.
class Processor : public AudioNode {
public:
    static constexpr quint32 kNoRow = 0xFFFFFFFF;

    explicit Processor(ProcessorCharacter character)
        : m_character(std::move(character))
    {
    }

    const ProcessorCharacter& character() const final { return m_character; }

    // A processor that only keeps state (the recursion point) leaves its buffer alone.
    void process(AudioContext& context) override { Q_UNUSED(context); }
    int setEnabled(int value) override { return setActive(value); }

    virtual int setActive(int flag);
    // The lanes of the type's patterns: built once per type, shared by every processor of
    // it and never changed.
    virtual SchemaPointer schema() const = 0;
    virtual QString instanceId();
    virtual void saveState(QDataStream& stream);
    virtual void loadState(QDataStream& stream);
    // State the version-1 song layout has no room for; the song keeps it in its extension
    // section. loadExtension returns false, changing nothing, for a record it cannot use.
    virtual void saveExtension(QDataStream& stream) { Q_UNUSED(stream); }
    virtual bool loadExtension(QDataStream& stream)
    {
        Q_UNUSED(stream);
        return true;
    }
    virtual void reset() { }
    virtual void setSampleRate(int hz) { Q_UNUSED(hz); }
    virtual void applyRow(const quint32* values, int count, quint32 rowSerial);

    // Fills the value cache from the schema's defaults and empties when it is empty.
    void ensureValueCache();
    // Applies one node parameter as a row of its own with a serial no tick can have.
    void setNodeParameter(int index, quint32 value);

protected:
    // True, and remembered, when `serial` is not the serial of the last row applied.
    bool acceptRow(quint32 serial);

    int m_active = 0;
    quint32 m_lastRow = kNoRow;

private:
    const ProcessorCharacter m_character;
    QString m_instanceId;
};

using ProcessorPointer = QSharedPointer<Processor>;

// A processor type's schema: built by `build` on the first call, the same object after.
// Every lambda is a type of its own, so each schema() keeps its own.
template <class Build> SchemaPointer schemaOnce(Build build)
{
    static const SchemaPointer schema = build();
    return schema;
}
