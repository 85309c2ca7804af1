#include "ui/parameters/SampleWaveform.h"

#include <QPainter>
#include <QResizeEvent>

#include <algorithm>

SampleWaveform::SampleWaveform(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("sampleWaveform"));
    setMinimumHeight(sizeHint().height());
}

void SampleWaveform::setFrames(const QVector<float>& frames)
{
    m_frames = frames;
    m_peaks = peaks(m_frames, width());
    update();
}

QList<SampleWaveform::Peak> SampleWaveform::peaks(const QVector<float>& frames, int columns)
{
    QList<Peak> out;
    const qint64 count = frames.size();
    if (count == 0 || columns <= 0)
        return out;
    out.reserve(columns);
    for (qint64 x = 0; x < columns; ++x) {
        const qint64 begin = std::min(x * count / columns, count - 1);
        const qint64 end = std::max(begin + 1, (x + 1) * count / columns);
        const auto [low, high]
            = std::minmax_element(frames.cbegin() + begin, frames.cbegin() + end);
        out.append({ *low, *high });
    }
    return out;
}

void SampleWaveform::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (event->size().width() != event->oldSize().width())
        m_peaks = peaks(m_frames, width());
}

// Full scale fills the height; louder frames are cut at the edge.
void SampleWaveform::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    const double middle = height() / 2.0;
    painter.setPen(palette().mid().color());
    painter.drawLine(QPointF(0, middle), QPointF(width(), middle));
    painter.setPen(palette().highlight().color());
    const auto y = [&](float v) { return middle - std::clamp(double(v), -1.0, 1.0) * middle; };
    for (qsizetype x = 0; x < m_peaks.size(); ++x)
        painter.drawLine(QPointF(x + 0.5, y(m_peaks[x].high)), QPointF(x + 0.5, y(m_peaks[x].low)));
}
