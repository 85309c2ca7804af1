#pragma once

#include <QMetaType>
#include <QtGlobal>

// What the status light shows, published by the player every 20th block. Kept apart from
// the player so the light needs nothing of the engine.
struct EngineStatus {
    quint64 buffers = 0; // blocks rendered since construction
    quint64 underruns = 0;
    double lastMs = 0.0;
    double peakMs = 0.0;
    bool running = false;
    bool playing = false;
};
Q_DECLARE_METATYPE(EngineStatus)
