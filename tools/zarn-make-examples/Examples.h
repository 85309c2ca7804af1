#pragma once

#include "SongSketch.h"

#include <QList>
#include <QString>

#include <functional>

// The example songs: a file name and the function that writes the song.
struct Example {
    QString fileName;
    std::function<SongSketch()> make;
};

const QList<Example>& examples();
