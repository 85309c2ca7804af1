#pragma once

#include "ui/scopes/ScopeChannel.h"

#include <QAudioDevice>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QButtonGroup;
class QLabel;
class QPainter;

namespace media::audio {
class AudioInputNode;
}

// Records an input device and hands what arrived to `deliver`, channel by channel, every
// 50 ms. The device's frames come interleaved; each channel is delivered on its own.
class ScopeCapture : public QObject {
public:
    using Deliver = std::function<void(int channel, const float* samples, int count)>;

    static constexpr int kDrainMs = 50;
    static constexpr int kRingFrames = 8192;

    ScopeCapture(const QAudioDevice& device, Deliver deliver);
    ~ScopeCapture() override;

private:
    void drain();

    std::unique_ptr<media::audio::AudioInputNode> m_input;
    Deliver m_deliver;
    QTimer m_drainTimer;
    std::vector<float> m_interleaved;
    std::vector<float> m_channel;
};

// Shows one or more channels of audio as a scrolling waveform, a scrolling spectrogram or a
// level meter. Feeders push samples per channel; the widget drains them on its own update
// timer. It can capture an input device itself and pop out into a window of its own.
class UnifiedAudioScope : public QWidget {
    Q_OBJECT

public:
    enum Mode { Waveform = 0, Spectrum = 1, Level = 2 };

    static constexpr int kHeaderHeight = 22;
    static constexpr int kSampleRate = 44100;

    explicit UnifiedAudioScope(QWidget* parent = nullptr);
    ~UnifiedAudioScope() override;

    void setChannelCount(int n);
    int channelCount() const { return int(m_channels.size()); }
    void setMode(int mode);
    int mode() const { return m_mode; }
    // The writer side of the channel's ring: one feeder per channel.
    void pushSamples(int channel, const float* samples, int count);

    void setHeaderVisible(bool on); // the Wave/Spectrum/Level bar
    void setFreezeOnPress(bool on);
    void setPopOutEnabled(bool on);
    void setGridLayout(bool on);
    void setShowLabels(bool on);
    void setChannelName(int channel, const QString& name);

    // An input device; a running capture moves to it.
    void setCaptureDevice(const QAudioDevice& device);
    void setCapturing(bool on);
    bool capturing() const { return m_capture != nullptr; }

    // Forgets what is queued and drawn, so the next update starts afresh.
    void resetChannels();

    // The level meter's time source; by default the time since construction.
    void setClock(ScopeClock clock);

    const ScopeChannel& channel(int index) const { return m_channels[size_t(index)]; }
    bool isPoppedOut() const { return m_poppedOut; }
    bool isFrozen() const { return m_frozen; }
    // What the last update drew, in device pixels.
    const QImage& image() const { return m_image; }

    QSize sizeHint() const override { return { 320, 180 }; }
    QSize minimumSizeHint() const override { return { 160, 90 }; }

public slots:
    // One update: drain the rings, draw, schedule the next one.
    void refresh();
    // Into a window of its own, a placeholder keeping its place; and back to that place.
    void popOut();
    void popIn();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QWidget* createHeader();
    QRect drawingArea() const;
    void rebuildLayout();
    void drawGuides(QPainter& painter, const QRect& clip) const;
    void drainRings();
    void drawWaveform();
    void scrollCell(const QRect& cell, int columns);
    void drawTrace(ScopeChannel& channel, const QRect& cell, int columns);
    void drawSpectrum();
    void drawHistory(QPainter& painter, const ScopeChannel& channel, const QRect& target) const;
    void drawLevels();
    void drawLabels();
    void scheduleNext();

    std::vector<ScopeChannel> m_channels;
    int m_mode = Waveform;
    bool m_gridLayout = false;
    bool m_showLabels = false;
    bool m_freezeOnPress = false;
    bool m_frozen = false;
    bool m_popOutEnabled = false;
    bool m_poppedOut = false;
    QPointer<QWidget> m_formerParent;
    int m_formerIndex = -1;
    QPointer<QLabel> m_placeholder;
    QImage m_image;
    QPixmap m_pixmap;
    QWidget* m_header = nullptr;
    QButtonGroup* m_modeButtons = nullptr;
    QTimer m_updateTimer;
    QElapsedTimer m_sinceStart;
    ScopeClock m_clock;

    // The analysers take doubles; converted here so an update does not allocate.
    std::vector<double> m_analyserInput;

    QAudioDevice m_captureDevice;
    std::unique_ptr<ScopeCapture> m_capture;
};
