#include "engine/BufferPool.h"

QSharedPointer<Buffer> BufferPool::acquire()
{
    for (qsizetype i = 0; i < m_buffers.size(); ++i) {
        if (!m_handedOut.contains(i)) {
            m_handedOut.append(i);
            return m_buffers.at(i);
        }
    }
    auto buffer = QSharedPointer<Buffer>::create();
    buffer->id = qint32(m_buffers.size() + 1);
    m_handedOut.append(m_buffers.size());
    m_buffers.append(buffer);
    return buffer;
}

void BufferPool::clear()
{
    m_buffers.clear();
    m_handedOut.clear();
}
