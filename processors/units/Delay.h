#pragma once

#include "processors/units/Unit.h"

#include <QtGlobal>

#include <algorithm>
#include <vector>

// A feedback delay line at 44100 Hz. The buffer is allocated once for the longest
// delay, so changing the length on the render path only moves the active end.
template <typename T> class Delay final : public Unit<T> {
public:
    static constexpr int kSampleRate = 44100;
    static constexpr quint32 kMaxLength = 2 * kSampleRate;
    static constexpr quint32 kInitialLength = 17640; // 0.4 s

    Delay()
        : m_buffer(kMaxLength, T(0))
    {
    }

    // What goes back into the line is shared between the output and the input,
    // so the two parts always add up to one.
    void setFeedback(T amount)
    {
        m_feedback = amount;
        m_feedforward = T(1) - amount;
    }

    // Grows or shrinks the active part of the buffer; samples that join it read as
    // silence. The indices restart together, so the delay is exactly `samples` long.
    void setLength(quint32 samples)
    {
        samples = std::clamp<quint32>(samples, 1, kMaxLength);
        if (samples == m_length)
            return;
        if (samples > m_length)
            std::fill(m_buffer.begin() + m_length, m_buffer.begin() + samples, T(0));
        m_length = samples;
        restart();
    }

    // Equal indices give a delay of the whole length.
    void restart()
    {
        m_readIndex = 0;
        m_writeIndex = 0;
    }

    // The feedback path takes the whole output, dry part included.
    T step(T x)
    {
        T y = dry * x;
        m_readIndex = (m_readIndex + 1) % m_length;
        y += wet * m_buffer[m_readIndex];
        m_writeIndex = (m_writeIndex + 1) % m_length;
        m_buffer[m_writeIndex] = m_feedback * y + m_feedforward * x;
        return y;
    }

    // With no input the line only plays back what it holds.
    T tick() override { return step(T(0)); }

    T dry = T(1);
    T wet = T(0.5);

private:
    std::vector<T> m_buffer;
    quint32 m_length = kInitialLength;
    quint32 m_readIndex = 0;
    quint32 m_writeIndex = 0;
    T m_feedback = T(0.1);
    T m_feedforward = T(0.9);
};
