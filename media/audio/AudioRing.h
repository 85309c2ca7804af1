#pragma once

#include <QtGlobal>

#include <atomic>
#include <vector>

namespace media::audio {

// Lock-free single-producer / single-consumer queue of float samples between the engine
// and a device callback. One slot always stays empty, so equal indices mean empty.
class AudioRing {
public:
    static constexpr quint64 kMaxRingFrames = quint64(1) << 24;

    // Not thread-safe: only while neither side runs. Discards queued samples.
    void setCapacity(quint64 requested);

    // Producer side. Returns how many of `count` samples fitted.
    quint64 write(const float* source, quint64 count);
    // Consumer side. Returns how many samples were copied out.
    quint64 read(float* destination, quint64 count);

    quint64 available() const;
    // Room left for the producer.
    quint64 freeSpace() const;
    // Most samples the ring can hold: storage size minus the empty slot.
    quint64 capacity() const;

private:
    std::vector<float> m_storage;
    quint64 m_mask = 0;
    std::atomic<quint64> m_writeIndex { 0 };
    std::atomic<quint64> m_readIndex { 0 };
};

} // namespace media::audio
