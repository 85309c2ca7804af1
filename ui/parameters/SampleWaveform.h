#pragma once

#include <QList>
#include <QVector>
#include <QWidget>

// A small picture of a sample: the lowest and highest frame under each pixel column. The
// columns are worked out when the sample or the width changes, never while painting.
class SampleWaveform : public QWidget {
public:
    struct Peak {
        float low = 0.0f;
        float high = 0.0f;
    };

    explicit SampleWaveform(QWidget* parent = nullptr);

    void setFrames(const QVector<float>& frames);
    // The frames split into `columns` runs of (nearly) equal length, each at least one frame.
    static QList<Peak> peaks(const QVector<float>& frames, int columns);

    QSize sizeHint() const override { return { 240, 48 }; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QVector<float> m_frames; // shared with the sample, not copied
    QList<Peak> m_peaks;
};
