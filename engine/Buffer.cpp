#include "engine/Buffer.h"

#include <algorithm>

Buffer::Buffer(quint64 samples)
    : m_data(samples ? new double[samples]() : nullptr)
    , m_size(samples)
    , m_frames(samples)
{
}

Buffer::~Buffer()
{
    release();
}

void Buffer::resize(quint64 samples, double fill)
{
    // Same size and already owned: the result would equal the current samples, so a
    // block loop may "resize" every block without allocating.
    if (samples == m_size && m_ownsData)
        return;
    double* fresh = samples ? new double[samples] : nullptr;
    std::fill(fresh, fresh + samples, fill);
    std::copy(m_data, m_data + std::min(m_size, samples), fresh);
    release();
    m_data = fresh;
    m_size = samples;
    m_frames = m_channels ? samples / m_channels : samples;
    m_ownsData = true;
}

void Buffer::adopt(double* slice, quint64 frames)
{
    release();
    m_data = slice;
    m_frames = frames;
    m_size = m_channels * frames;
    m_ownsData = false;
}

void Buffer::release()
{
    if (m_ownsData)
        delete[] m_data;
    m_data = nullptr;
}
