#pragma once

#include "engine/Buffer.h"

#include <QList>
#include <QSharedPointer>

// What a node receives from the build: the buffer its signal is built and processed
// in, and the upstream buffers to add into it before it runs.
struct Dowry {
    QSharedPointer<Buffer> buffer;
    QList<QSharedPointer<Buffer>> mixIns;
};
