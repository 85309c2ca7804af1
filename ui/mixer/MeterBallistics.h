#pragma once

#include <QtGlobal>

// What a strip's meter shows, in dBFS.
struct MeterLevels {
    double peakDb;
    double rmsDb;
    double holdDb;
};

// Turns the raw peak and mean square of each meter reading into a meter a musician can read:
// the peak falls back at 20 dB per second, the RMS is averaged over about 300 ms, and the
// peak-hold line stays 1.5 s before it falls. Time comes from the caller, in milliseconds.
class MeterBallistics {
public:
    static constexpr double kFloorDb = -60.0;
    static constexpr double kCeilingDb = 6.0;
    static constexpr double kFallDbPerSecond = 20.0;
    static constexpr double kRmsMs = 300.0;
    static constexpr qint64 kHoldMs = 1500;
    static constexpr int kBarMaximum = 1000;

    void feed(double peak, double meanSquare, qint64 nowMs);
    MeterLevels levels() const;

    // Linear amplitude to dBFS, never below the floor.
    static double toDb(double amplitude);
    // A level's place on the bar, 0 at the floor to kBarMaximum at the ceiling.
    static int barValue(double db);

private:
    double m_peakDb = kFloorDb;
    double m_meanSquare = 0.0;
    double m_holdDb = kFloorDb;
    qint64 m_holdSince = 0;
    qint64 m_lastMs = -1;
};
