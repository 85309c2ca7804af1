#pragma once

#include "processors/scope/SpectrumAnalyser.h"

#include <QColor>
#include <QImage>
#include <QString>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Milliseconds from any fixed start; the level meter's timers read it, so a test can step time.
using ScopeClock = std::function<qint64()>;

// Samples on their way from a feeder to the display: one writer, one reader. A writer that
// catches up with the reader drops the oldest samples instead of waiting.
class ScopeRing {
public:
    static constexpr int kSize = 16384;

    // Writer side.
    void push(const float* samples, int count);
    // Reader side: up to `capacity` samples, oldest first; returns how many.
    int read(float* destination, int capacity);
    // Reader side: forgets whatever is queued.
    void skipAll();

    int available() const;
    quint64 overflowCount() const { return m_overflow.load(std::memory_order_relaxed); }

private:
    std::array<float, kSize> m_data {};
    std::atomic<int> m_writeIndex { 0 };
    std::atomic<int> m_readIndex { 0 };
    std::atomic<quint64> m_overflow { 0 };
};

// RMS, peak hold and the maximum marker of one channel, all in full-scale units.
class LevelState {
public:
    static constexpr float kStartDecay = 1.002f;
    static constexpr double kHoldFallPerMs = 0.0005;
    static constexpr qint64 kMarkerHoldMs = 500;

    // `count` new samples at time `nowMs`; count may be 0.
    void feed(const float* samples, int count, qint64 nowMs);
    void reset() { *this = LevelState {}; }

    float rms() const { return m_rms; }
    float peakHold() const { return m_peakHold; }
    float maxMarker() const { return m_maxMarker; }

private:
    void decay(qint64 nowMs);

    float m_rms = 0.0f;
    float m_peakHold = 0.0f;
    float m_peakStart = 0.0f;
    std::optional<qint64> m_peakSince;
    float m_maxMarker = 0.0f;
    std::optional<qint64> m_maxSince;
    float m_maxDecay = kStartDecay;
};

// One displayed channel: its incoming samples, how it is drawn and what the views remember.
struct ScopeChannel {
    static constexpr int kHistoryWidth = 512;
    static constexpr int kHistoryHeight = 256;

    std::unique_ptr<ScopeRing> ring = std::make_unique<ScopeRing>();
    QColor colour;
    QString name;
    std::unique_ptr<SpectrumAnalyser> analyser;
    QImage history;
    int historyColumn = 0;
    int historyCount = 0;
    LevelState level;
    // The waveform's previous pixel row, −1 when there is none.
    int lastY = -1;
    // What the last update took from the ring, oldest first.
    std::vector<float> fresh;

    // Markers and drawing state back to their start; the ring keeps its contents.
    void resetState();
    // The analyser and the history image exist only while the spectrum view is shown.
    void startSpectrum(int sampleRate);
    void stopSpectrum();
    // A black history with no columns written.
    void clearHistory();
};
