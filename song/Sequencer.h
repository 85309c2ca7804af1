#pragma once

#include "song/Position.h"
#include "song/Track.h"

#include <QDataStream>
#include <QList>
#include <QSharedPointer>
#include <QWeakPointer>

class Graph;
class Song;

// The song's tracks and its Position. Every edit of what the song file holds marks the
// song changed with the edit's name as reason; cursor and play position moves do not.
class Sequencer {
public:
    explicit Sequencer(const QSharedPointer<Song>& song);
    // The points of `position` read through it, so a sequencer is never copied.
    Sequencer(const Sequencer&) = delete;
    Sequencer& operator=(const Sequencer&) = delete;

    TrackPointer addTrack(const zarn::NodePointer& node);
    bool moveTrack(int index, int delta);
    // Removes the track at `index` with its entries; false when there is none.
    bool removeTrack(int index);

    bool moveCursorAbsolute(int column, int step);
    bool movePlayPositionAbsolute(int tick);
    bool setSequenceBegin();
    bool setSequenceEnd();
    bool setLoopBegin();
    bool setPlayPositionAtCursor(); // play position = cursor, within the sequence markers

    // Adds `steps` whole steps of the position's grid to the point.
    void moveSteps(Point& point, int steps) const;
    // Marks the owning song changed, for edits made to the position from outside.
    void taint(const char* reason) const;

    void write(QDataStream& stream) const;
    // Tracks are bound to the patterns and nodes of `graph`, read before the sequencer.
    void read(QDataStream& stream, const Graph& graph);

    QWeakPointer<Song> song; // weak, because the song owns its sequencer
    QList<TrackPointer> tracks;
    Position position;

private:
    // Places the play position at the tick within the sequence markers; true when its tick moved.
    bool placePlayPosition(int tick);
    void bindTrackNodes(const Graph& graph);
};

using SequencerPointer = QSharedPointer<Sequencer>;
