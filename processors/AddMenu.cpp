#include "processors/AddMenu.h"

#include "processors/ProcessorFactory.h"

#include <algorithm>

namespace {

enum Section { Generators, Effects, Utility, SectionCount };

const char* const kTitles[SectionCount] = { "Generators", "Effects", "Utility" };

Section sectionOf(const ProcessorCharacter& character)
{
    if (character.givesAudioOutput)
        return character.takesAudioInput ? Effects : Generators;
    return Utility;
}

} // namespace

QList<AddMenuSection> addMenuSections(const ProcessorFactory& factory)
{
    QStringList lists[SectionCount];
    for (const QString& typeID : factory.typeIDs()) {
        const ProcessorCharacter* character = factory.characterOf(typeID);
        if (character && character->userCreatable && character->userVisible)
            lists[sectionOf(*character)].append(typeID);
    }
    QList<AddMenuSection> sections;
    for (int section = 0; section < SectionCount; ++section) {
        if (lists[section].isEmpty())
            continue;
        // The factory's map is already in this order; sorting states the menu's own rule.
        std::sort(lists[section].begin(), lists[section].end());
        sections.append({ QString::fromLatin1(kTitles[section]), lists[section] });
    }
    return sections;
}
