#pragma once

#include <QtGlobal>

#include <algorithm>
#include <bit>
#include <span>
#include <vector>

// A delay line on a ring whose capacity is a power of two, so a running position that
// counts on for good is a mask away from its slot. Only resize() allocates.
//
// A line either pushes and reads back by delay, or, when several stages share one
// running position, reads and writes at positions of its owner's choosing.
template <class T> class DelayLine {
public:
    DelayLine() = default;
    explicit DelayLine(quint32 samples) { resize(samples); }

    // Room for at least `samples`, all silent, with the position back at the start.
    void resize(quint32 samples)
    {
        m_samples.assign(std::bit_ceil(std::max<quint32>(samples, 1)), T(0));
        m_mask = m_samples.size() - 1;
        m_position = 0;
    }

    // Silence, with the position back at the start; the capacity stays.
    void clear()
    {
        std::fill(m_samples.begin(), m_samples.end(), T(0));
        m_position = 0;
    }

    // The pushes since the line was resized, cleared or unwrapped.
    quint64 position() const { return m_position; }

    void push(T x) { m_samples[m_position++ & m_mask] = x; }

    // The sample pushed `delay` pushes ago: 1 is the latest. Delays wrap round the
    // capacity, so 0 is the oldest.
    T delayed(quint64 delay) const { return m_samples[(m_position - delay) & m_mask]; }

    T read(quint64 position) const { return m_samples[position & m_mask]; }
    void write(quint64 position, T x) { m_samples[position & m_mask] = x; }

    // Rotates the storage so the next push lands at its start; the sample pushed `delay`
    // pushes ago then sits `delay` from its end, for a line that lays out its history
    // anew. It moves the whole capacity, so it is no per-sample operation.
    std::span<T> unwrap()
    {
        std::rotate(
            m_samples.begin(), m_samples.begin() + qint64(m_position & m_mask), m_samples.end());
        m_position = 0;
        return m_samples;
    }

private:
    std::vector<T> m_samples;
    quint64 m_mask = 0;
    quint64 m_position = 0;
};
