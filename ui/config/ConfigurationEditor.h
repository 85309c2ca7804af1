#pragma once

#include "engine/EngineStatus.h"

#include <QAudioDevice>
#include <QSharedPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>
#include <memory>

class Settings;
class TestToneRig;

namespace Ui {
class ConfigurationEditor;
}

// The search for the smallest block size that plays without underruns. Sizes are tried
// largest first, one step each; the first size whose step saw underruns settles the search
// on the size before it.
class BufferSizeSearch {
public:
    static constexpr std::array<int, 8> kSizes { 64, 128, 256, 512, 1024, 2048, 4096, 8192 };

    struct Step {
        int size = 0; // 0 when no search was running
        bool finished = false;
        bool underruns = false; // finished on a size that still underruns
    };

    // Returns the first size to try.
    int start(quint64 underruns);
    // After a step: the next size to try, or the size the search settled on.
    Step step(quint64 underruns);
    // Counts from here on belong to the size under test.
    void rebase(quint64 underruns) { m_baseline = underruns; }
    void abort() { m_index = -1; }
    bool isRunning() const { return m_index >= 0; }

private:
    static int candidate(int index) { return kSizes[kSizes.size() - 1 - size_t(index)]; }

    int m_index = -1;
    quint64 m_baseline = 0;
};

// The "Configuration" window: output and input devices, a test tone, the engine's block
// size with its latency and an automatic search for the smallest one that keeps up.
class ConfigurationEditor : public QWidget {
    Q_OBJECT

public:
    static constexpr int kAutoDetectStepMs = 1500;

    explicit ConfigurationEditor(
        const QSharedPointer<Settings>& settings, QWidget* parent = nullptr);
    ~ConfigurationEditor() override;

    // Shows and raises the window with the mouse pointer at its horizontal centre.
    void showAtPointer();
    // Where showAtPointer() puts a window of `size`: centred below `pointer`, kept within
    // `screen`.
    static QPoint placeAtPointer(const QSize& size, const QPoint& pointer, const QRect& screen);

    void setAutoDetectStepMs(int milliseconds) { m_stepTimer.setInterval(milliseconds); }
    bool hasTestRig() const { return m_rig != nullptr; }

    bool debug = false;

signals:
    void outputChanged(QString name);
    void bufferSizeChanged(int samples);

public slots:
    void loadBufferSize();
    void prepBufferSize();
    void saveOutput();
    void saveInput();
    void saveBufferSize();
    void testOutputOn();
    void testOutputOff();
    void autoDetectBufferSize();
    void onAutoDetectStep();
    void updateLatencyLabel();
    void onEngineStatusReceived(EngineStatus status);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void preselectDevices();
    void connectControls();
    // Puts the test tone on the shown output device, or drops it when there is none.
    void followOutput(const QAudioDevice& device);
    void startRig();
    void noteRigStart(bool started);
    void updateTestButton();
    void followInput(const QAudioDevice& device);
    // The input is captured only while the window is shown and Listen is on.
    void updateCapture(bool shown);
    void selectSizeQuietly(int size);
    void finishAutoDetect(const BufferSizeSearch::Step& result);
    void restoreAutoDetectControls();
    int selectedSize() const;

    std::unique_ptr<Ui::ConfigurationEditor> m_ui;
    QSharedPointer<Settings> m_settings;
    std::unique_ptr<TestToneRig> m_rig;
    bool m_rigFailed = false;
    BufferSizeSearch m_search;
    QTimer m_stepTimer;
    EngineStatus m_status;
    // Statuses received since the size under test was announced: the first may still count
    // blocks of the size before, so it only sets the baseline.
    int m_statusesThisStep = 0;
};
