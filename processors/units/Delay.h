#pragma once

#include "core/EngineRate.h"
#include "processors/units/DelayLine.h"
#include "processors/units/Unit.h"

#include <QtGlobal>

#include <algorithm>
#include <span>

// A feedback delay line of up to two seconds at the rate it is made for. The line is
// allocated once for the longest delay, so changing the length on the render path
// allocates nothing.
template <typename T> class Delay final : public Unit<T> {
public:
    static constexpr quint32 kInitialLength = 17640; // 0.4 s

    explicit Delay(int sampleRate = kEngineRate)
        : m_maxLength(std::max<quint32>(kInitialLength, 2 * quint32(std::max(sampleRate, 1))))
        , m_line(m_maxLength)
    {
    }

    // What goes back into the line is shared between the output and the input,
    // so the two parts always add up to one.
    void setFeedback(T amount)
    {
        m_feedback = amount;
        m_feedforward = T(1) - amount;
    }

    // Grows or shrinks the line and restarts it; slots that join it read as silence.
    void setLength(quint32 samples)
    {
        samples = std::clamp<quint32>(samples, 1, m_maxLength);
        if (samples == m_length)
            return;
        restart(samples);
    }

    // Starts the slots over, as a new length does: the next input echoes exactly one
    // length later, whatever the slots hold.
    void restart() { restart(m_length); }

    // The feedback path takes the whole output, dry part included.
    T step(T x)
    {
        T y = dry * x;
        y += wet * m_line.delayed(m_length);
        m_line.push(m_feedback * y + m_feedforward * x);
        return y;
    }

    // With no input the line only plays back what it holds.
    T tick() override { return step(T(0)); }

    T dry = T(1);
    T wet = T(0.5);

private:
    // The line is `m_length` slots: step n after a restart reads and then writes slot
    // n % m_length, and the ring counts the steps since the restart. Restarting at
    // `length` lays the slots out behind the write position in the order the next steps
    // read them: 1, 2, ... length - 1, then 0.
    void restart(quint32 length)
    {
        const auto last = quint32(m_line.position() % m_length); // the slot written last
        const std::span<T> ring = m_line.unwrap();
        const auto end = ring.end();
        // By age the slots run from last + 1 round to last; put slot 0 first.
        std::rotate(end - m_length, end - last - 1, end);
        if (length > m_length) {
            std::rotate(end - length, end - m_length, end);
            std::fill(end - (length - m_length), end, T(0));
        } else {
            std::rotate(end - m_length, end - m_length + length, end);
        }
        std::rotate(end - length, end - length + 1, end);
        m_length = length;
    }

    quint32 m_maxLength;
    DelayLine<T> m_line;
    quint32 m_length = kInitialLength;
    T m_feedback = T(0.1);
    T m_feedforward = T(0.9);
};
