#pragma once

#include <QString>
#include <QVector>

// A sample as the Sample processor plays it: mono 32-bit floats at the engine rate, and the
// name the user knows it by.
struct Sample {
    static constexpr int kRate = 44100;
    // Ten minutes: longer is refused wherever a sample comes from.
    static constexpr qint64 kMaxFrames = qint64(10) * 60 * kRate;
    // All samples of one song together: twice that stays well inside what a song file may
    // hold (256 MiB), at four bytes a frame.
    static constexpr qint64 kMaxSongFrames = 2 * kMaxFrames;

    QString name;
    QVector<float> frames;

    bool isEmpty() const { return frames.isEmpty(); }
    double seconds() const { return double(frames.size()) / kRate; }
    bool operator==(const Sample&) const = default;
};
