#pragma once

#include "engine/Buffer.h"

#include <QList>
#include <QSharedPointer>

// The buffers of one build. Nothing is returned during a build, so every acquire
// makes a new buffer numbered after its place in the pool.
class BufferPool {
public:
    // The lowest-indexed buffer not handed out, or a new one.
    QSharedPointer<Buffer> acquire();
    void clear();

private:
    QList<QSharedPointer<Buffer>> m_buffers;
    QList<qsizetype> m_handedOut;
};
