#include "song/Track.h"

#include "core/DataStream.h"
#include "song/Logging.h"
#include "song/RandomId.h"

#include <QDebug>

#include <algorithm>
#include <iterator>

namespace {

// Stored names by entry type. A null slot is stored as a pattern entry without a
// pattern: any reader takes it as a pattern entry, and one whose pattern is missing
// binds to nothing, which is what the slot was.
struct TypeName {
    qint32 type;
    const char* name;
};
constexpr TypeName kTypeNames[] = {
    { Entry::PatternEntry, "pattern" },
    { Entry::BreakEntry, "break" },
    { Entry::MuteEntry, "mute" },
};
// Whatever is not a pattern or a mute reads as a break, so that is what other types store.
constexpr qint32 kUnknownNameType = Entry::BreakEntry;
constexpr char kUnknownTypeName[] = "break";
// Empty rather than null: a null string would be stored as 0xFFFFFFFF.
const QString kNoPattern = QStringLiteral("");

// A character string count and an empty pattern uniqueID.
constexpr qint64 kMinEntryBytes = 4 + 4;

QByteArray nameOfType(qint32 type)
{
    const auto it = std::find_if(std::begin(kTypeNames), std::end(kTypeNames),
        [type](const TypeName& t) { return t.type == type; });
    return QByteArray(it != std::end(kTypeNames) ? it->name : kUnknownTypeName);
}

qint32 typeOfName(const QByteArray& name)
{
    const auto it = std::find_if(std::begin(kTypeNames), std::end(kTypeNames),
        [&name](const TypeName& t) { return name == t.name; });
    return it != std::end(kTypeNames) ? it->type : kUnknownNameType;
}

EntryPointer makeEntry(qint32 type, const PatternPointer& pattern)
{
    auto entry = EntryPointer::create();
    entry->type = type;
    entry->pattern = pattern;
    return entry;
}

// The entry a stored slot stands for; a pattern entry whose pattern is unknown is a
// null slot.
EntryPointer entryFromStore(
    qint32 type, const QString& patternID, const Track::PatternLookup& patterns)
{
    if (type != Entry::PatternEntry)
        return makeEntry(type, {});
    const PatternPointer pattern
        = patternID.isEmpty() ? PatternPointer() : patterns.value(patternID);
    return pattern ? makeEntry(type, pattern) : EntryPointer();
}

} // namespace

Track::Track()
    : uniqueID(randomIdentifier())
{
}

Track::Track(const zarn::NodePointer& node)
    : uniqueID(randomIdentifier())
    , node(node)
{
}

void Track::growTo(int size)
{
    if (size > entries.size())
        entries.resize(size);
}

void Track::setEntry(int index, const PatternPointer& pattern)
{
    if (index < 0)
        return;
    growTo(index + 1);
    entries[index] = pattern ? makeEntry(Entry::PatternEntry, pattern) : EntryPointer();
}

void Track::setBreak(int index)
{
    if (index < 0)
        return;
    growTo(index + 1);
    entries[index] = makeEntry(Entry::BreakEntry, {});
}

void Track::insertEntries(int index, int count, const PatternPointer& pattern)
{
    if (index < 0 || count < 0)
        return;
    if (index >= entries.size())
        growTo(index + count + 1);
    const EntryPointer shared = pattern ? makeEntry(Entry::PatternEntry, pattern) : EntryPointer();
    entries.insert(index, count, shared);
}

void Track::removeEntries(int index, int count)
{
    if (index < 0 || index >= entries.size() || count <= 0)
        return;
    entries.remove(index, std::min<qsizetype>(count, entries.size() - index));
}

EntryPointer Track::entryAt(int index) const
{
    return index >= 0 && index < entries.size() ? entries.at(index) : EntryPointer();
}

void Track::write(QDataStream& stream) const
{
    stream << uniqueID << qint64(entries.size());
    qCDebug(lcSong).noquote().nospace()
        << "Stream OUT Track: uniqueID=" << uniqueID << ", size=" << entries.size();
    for (const EntryPointer& entry : entries) {
        const QByteArray name = nameOfType(entry ? entry->type : Entry::PatternEntry);
        const QString patternID = entry && entry->pattern ? entry->pattern->uniqueID : kNoPattern;
        datastream::writeCharString(stream, name);
        stream << patternID;
        qCDebug(lcSong).noquote().nospace()
            << "Stream OUT Entry: type=" << name << ", pattern->uniqueID=" << patternID;
    }
}

void Track::read(QDataStream& stream, const PatternLookup& patterns)
{
    qint64 count = 0;
    stream >> uniqueID >> count;
    qCDebug(lcSong).noquote().nospace()
        << "Stream IN Track: uniqueID=" << uniqueID << ", size=" << count;
    entries.clear();
    if (!datastream::plausibleCount(stream, count, kMinEntryBytes))
        return;
    entries.reserve(count);
    for (qint64 i = 0; i < count; ++i) {
        const QByteArray name = datastream::readCharString(stream);
        QString patternID;
        stream >> patternID;
        if (!datastream::healthy(stream))
            return;
        qCDebug(lcSong).noquote().nospace()
            << "Stream IN Entry: type=" << name << ", uniqueID=" << patternID;
        entries.append(entryFromStore(typeOfName(name), patternID, patterns));
    }
}
