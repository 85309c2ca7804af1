#pragma once

// The destination the clipboard fuzz targets paste into and the source their seeds are
// copied from: one song whose nodes share a processor with every value type in its
// schema, fixed identifiers so that copied blocks paste back, and a few rows and entries.
#include "song/Graph.h"
#include "song/Sequencer.h"
#include "song/Song.h"

#include <QStringList>

namespace clipboardfixture {

inline const QString kInstanceId = QStringLiteral("fuzz-processor");
inline const QStringList kNodeIds = { "fuzzNodeA", "fuzzNodeB", "fuzzNodeC" };
constexpr int kPatternLength = 16;
constexpr int kLanes = 3;
constexpr int kTicksPerStep = 4;

class FixtureProcessor final : public Processor {
public:
    FixtureProcessor()
        : Processor(ProcessorCharacter())
        , m_schema(makeSchema())
    {
    }
    SchemaPointer schema() const override { return m_schema; }
    QString instanceId() override { return kInstanceId; }

private:
    static SchemaPointer makeSchema()
    {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = {
            ParameterDescriptor::makeSwitch("On", "", 0),
            ParameterDescriptor::byte("Gain", "", 0, 0xFE, 0xFF, 0x80),
            ParameterDescriptor::word("Rate", "", 0xFFFE, 0),
        };
        schema->trackParameters = {
            ParameterDescriptor::midiNote("Note", "", 253),
            ParameterDescriptor::byte("Vel", "", 0, 0xFE, 0xFF, 0x40),
        };
        return schema;
    }

    SchemaPointer m_schema;
};

// Node i holds pattern "pattern<i>" with rows at ticks 0, 3 and 5; its track starts the
// pattern at step 0, breaks at step 1 and mutes at step 3.
inline SongPointer makeSong()
{
    const auto song = Song::createEmpty();
    song->sequencer->position.ticksPerStepValue = kTicksPerStep;
    const auto processor = QSharedPointer<FixtureProcessor>::create();
    for (int i = 0; i < kNodeIds.size(); ++i) {
        const auto node = zarn::NodePointer::create();
        node->name = kNodeIds.at(i);
        node->uniqueID = kNodeIds.at(i);
        node->processor = processor;
        const auto pattern = PatternPointer::create(QStringLiteral("00"), node, kPatternLength);
        pattern->uniqueID = QStringLiteral("pattern%1").arg(i);
        pattern->lanes = kLanes;
        for (const int tick : { 0, 3, 5 }) {
            const RowPointer row = pattern->makeNeutralRow();
            row->cells[1] = quint32(0x10 * tick);
            row->cells[3 + 2 * (tick % kLanes)] = quint32(48 + tick);
            pattern->setRow(tick, row);
        }
        node->patterns.append(pattern);
        song->graph->addNode(node);
        const TrackPointer track = song->sequencer->addTrack(node);
        track->setEntry(0, pattern);
        track->setBreak(kTicksPerStep);
        track->entries.resize(3 * kTicksPerStep + 1);
        track->entries.last() = EntryPointer::create(Entry { Entry::MuteEntry, {} });
    }
    song->untaint(QStringLiteral("clipboardfixture"));
    return song;
}

} // namespace clipboardfixture
