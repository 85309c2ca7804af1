#pragma once

#include <QtGlobal>

#include <array>

// The 32-bit Mersenne Twister (MT19937), seeded as std::mt19937 is, so it gives the same
// sequence. The state is refilled a whole block of 624 words at a time and the block is
// tempered in one pass: each loop runs with no word waiting on the one before, and a draw
// is then just a read.
class MersenneTwister {
public:
    static constexpr int kWords = 624;

    explicit MersenneTwister(quint32 seed)
    {
        m_state[0] = seed;
        for (int i = 1; i < kWords; ++i) {
            const quint32 previous = m_state[i - 1];
            m_state[i] = 1812433253u * (previous ^ (previous >> 30)) + quint32(i);
        }
    }

    quint32 operator()()
    {
        if (m_next == kWords)
            refill();
        return m_tempered[m_next++];
    }

private:
    static constexpr int kShift = 397;
    static constexpr quint32 kTwist = 0x9908b0dfu;

    static quint32 twisted(quint32 word, quint32 following, quint32 far)
    {
        const quint32 y = (word & 0x80000000u) | (following & 0x7fffffffu);
        return far ^ (y >> 1) ^ ((y & 1u) != 0 ? kTwist : 0u);
    }

    // Word i takes words i + 1 and i + 397 as they stood, wrapping round: the first 227
    // read the old words ahead, the rest the new words of this pass, at least 227 back.
    void refill()
    {
        constexpr int split = kWords - kShift;
        for (int i = 0; i < split; ++i)
            m_state[i] = twisted(m_state[i], m_state[i + 1], m_state[i + kShift]);
        for (int i = split; i < kWords - 1; ++i)
            m_state[i] = twisted(m_state[i], m_state[i + 1], m_state[i - split]);
        m_state[kWords - 1] = twisted(m_state[kWords - 1], m_state[0], m_state[kShift - 1]);
        for (int i = 0; i < kWords; ++i) {
            quint32 y = m_state[i];
            y ^= y >> 11;
            y ^= (y << 7) & 0x9d2c5680u;
            y ^= (y << 15) & 0xefc60000u;
            y ^= y >> 18;
            m_tempered[i] = y;
        }
        m_next = 0;
    }

    std::array<quint32, kWords> m_state {};
    std::array<quint32, kWords> m_tempered {};
    int m_next = kWords;
};
