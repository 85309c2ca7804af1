#include "ui/scopes/ScopeChannel.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Samples between `from` and `to` going forwards round a ring of ScopeRing::kSize.
int distance(int from, int to)
{
    return (to - from + ScopeRing::kSize) % ScopeRing::kSize;
}

} // namespace

void ScopeRing::push(const float* samples, int count)
{
    if (!samples || count < 1)
        return;
    const int write = m_writeIndex.load(std::memory_order_relaxed);
    const int queued = distance(m_readIndex.load(std::memory_order_acquire), write);
    const int room = kSize - 1 - queued;
    // Samples that would be overwritten within this push are skipped, not copied.
    const int skipped = std::max(0, count - kSize);
    int at = (write + skipped) % kSize;
    for (int done = skipped; done < count;) {
        const int chunk = std::min(count - done, kSize - at);
        std::memcpy(m_data.data() + at, samples + done, size_t(chunk) * sizeof(float));
        done += chunk;
        at = (at + chunk) % kSize;
    }
    m_writeIndex.store(at, std::memory_order_release);
    if (count > room) {
        m_overflow.fetch_add(quint64(count - room), std::memory_order_relaxed);
        m_readIndex.store((at + 1) % kSize, std::memory_order_release);
    }
}

int ScopeRing::read(float* destination, int capacity)
{
    int read = m_readIndex.load(std::memory_order_acquire);
    const int write = m_writeIndex.load(std::memory_order_acquire);
    const int count = std::min(distance(read, write), std::max(capacity, 0));
    for (int done = 0, at = read; done < count;) {
        const int chunk = std::min(count - done, kSize - at);
        std::memcpy(destination + done, m_data.data() + at, size_t(chunk) * sizeof(float));
        done += chunk;
        at = (at + chunk) % kSize;
    }
    // A writer that overran us meanwhile moved the read index; its position wins.
    m_readIndex.compare_exchange_strong(read, (read + count) % kSize, std::memory_order_acq_rel);
    return count;
}

void ScopeRing::skipAll()
{
    m_readIndex.store(m_writeIndex.load(std::memory_order_acquire), std::memory_order_release);
}

int ScopeRing::available() const
{
    return distance(
        m_readIndex.load(std::memory_order_acquire), m_writeIndex.load(std::memory_order_acquire));
}

void LevelState::feed(const float* samples, int count, qint64 nowMs)
{
    if (samples && count > 0) {
        double sumOfSquares = 0.0;
        float peak = 0.0f;
        for (int i = 0; i < count; ++i) {
            sumOfSquares += double(samples[i]) * samples[i];
            peak = std::max(peak, std::abs(samples[i]));
        }
        // The smoothing depends on how many samples came, not on how often we look.
        const double keep = std::pow(0.9, count / 128.0);
        m_rms = float((1.0 - keep) * std::sqrt(sumOfSquares / count) + keep * m_rms);
        if (peak > m_peakHold) {
            m_peakHold = m_peakStart = peak;
            m_peakSince = nowMs;
        }
        if (peak > m_maxMarker) {
            m_maxMarker = peak;
            m_maxSince = nowMs;
            m_maxDecay = kStartDecay;
        }
    }
    decay(nowMs);
}

void LevelState::decay(qint64 nowMs)
{
    if (m_peakSince)
        m_peakHold = float(std::max(0.0, m_peakStart - (nowMs - *m_peakSince) * kHoldFallPerMs));
    if (m_maxSince && nowMs - *m_maxSince > kMarkerHoldMs && m_maxMarker > 0.0f) {
        // Falls a little faster every update once the hold is over.
        m_maxMarker = std::max(0.0f, m_maxMarker - (m_maxDecay - 1.0f));
        m_maxDecay = std::pow(m_maxDecay, 1.1f);
    }
}

void ScopeChannel::resetState()
{
    level.reset();
    lastY = -1;
    historyColumn = 0;
    historyCount = 0;
}

void ScopeChannel::startSpectrum(int sampleRate)
{
    if (!analyser) {
        SpectrumAnalyser::Config config;
        config.sampleRate = sampleRate;
        analyser = std::make_unique<SpectrumAnalyser>(config);
    }
    clearHistory();
}

void ScopeChannel::stopSpectrum()
{
    analyser.reset();
    history = QImage();
}

void ScopeChannel::clearHistory()
{
    history = QImage(kHistoryWidth, kHistoryHeight, QImage::Format_RGB32);
    history.fill(Qt::black);
    historyColumn = 0;
    historyCount = 0;
}
