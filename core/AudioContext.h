#pragma once

#include <QtGlobal>

// One block handed to a node: `frames` samples of `channels` planes, channel c of
// frame i at data[c * frames + i]. Processors work in place.
class AudioContext {
public:
    virtual ~AudioContext() = default;

    quint64 frames = 0;
    quint64 channels = 1;
    double* data = nullptr;
};
