#pragma once

#include "tools/zarn-make-examples/SongSketch.h"

#include <QList>
#include <QString>

// The Zarn side of the side-by-side renders against Csound: the patches of the peer's
// .csd files as songs, each holding one note for 600 s.
struct PeerSong {
    QString fileName;
    SongSketch (*make)();
};

const QList<PeerSong>& peerSongs();

// Samples from the sequence begin to the song end.
quint64 peerSongFrames();
