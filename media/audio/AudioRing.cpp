#include "media/audio/AudioRing.h"
#include "media/Logging.h"

#include <QDebug>
#include <QString>

#include <algorithm>
#include <bit>

namespace media::audio {

void AudioRing::setCapacity(quint64 requested)
{
    if (requested > kMaxRingFrames) {
        qCWarning(lcMedia).noquote()
            << QStringLiteral("AudioRing::setCapacity: clamping request %1 → %2 (over "
                              "kMaxRingFrames). Caller likely passed a junk channelCount or sample "
                              "rate. Investigate upstream.")
                   .arg(requested)
                   .arg(kMaxRingFrames);
        requested = kMaxRingFrames;
    }
    // Strictly greater than the request, so `requested` samples fit beside the empty slot.
    const quint64 size = std::bit_ceil(requested + 1);
    m_storage.assign(size, 0.0f);
    m_mask = size - 1;
    m_writeIndex.store(0, std::memory_order_relaxed);
    m_readIndex.store(0, std::memory_order_relaxed);
}

quint64 AudioRing::write(const float* source, quint64 count)
{
    if (m_storage.empty() || !source)
        return 0;
    const quint64 w = m_writeIndex.load(std::memory_order_relaxed);
    const quint64 r = m_readIndex.load(std::memory_order_acquire);
    const quint64 k = std::min(count, m_storage.size() - ((w - r) & m_mask) - 1);
    for (quint64 i = 0; i < k; ++i)
        m_storage[(w + i) & m_mask] = source[i];
    m_writeIndex.store((w + k) & m_mask, std::memory_order_release);
    return k;
}

quint64 AudioRing::read(float* destination, quint64 count)
{
    if (m_storage.empty() || !destination)
        return 0;
    const quint64 r = m_readIndex.load(std::memory_order_relaxed);
    const quint64 w = m_writeIndex.load(std::memory_order_acquire);
    const quint64 k = std::min(count, (w - r) & m_mask);
    for (quint64 i = 0; i < k; ++i)
        destination[i] = m_storage[(r + i) & m_mask];
    m_readIndex.store((r + k) & m_mask, std::memory_order_release);
    return k;
}

quint64 AudioRing::available() const
{
    if (m_storage.empty())
        return 0;
    return (m_writeIndex.load(std::memory_order_acquire)
               - m_readIndex.load(std::memory_order_acquire))
        & m_mask;
}

quint64 AudioRing::freeSpace() const
{
    if (m_storage.empty())
        return 0;
    return m_storage.size() - available() - 1;
}

quint64 AudioRing::capacity() const
{
    return m_storage.empty() ? 0 : m_storage.size() - 1;
}

} // namespace media::audio
