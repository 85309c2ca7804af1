#include "ui/mixer/LevelMeter.h"

#include <QPainter>

namespace {

const QColor kTrough(34, 34, 34);
const QColor kRms(60, 190, 90);
const QColor kPeak(150, 230, 160);
const QColor kHot(235, 70, 50); // above 0 dBFS
const QColor kHold(240, 240, 240);
const QColor kZeroMark(200, 200, 80);

} // namespace

LevelMeter::LevelMeter(QWidget* parent)
    : QProgressBar(parent)
{
    setOrientation(Qt::Vertical);
    setRange(0, MeterBallistics::kBarMaximum);
    setValue(MeterBallistics::kBarMaximum / 2);
    setTextVisible(false);
    setAlignment(Qt::AlignCenter);
    setToolTip(tr("Peak and RMS level in dBFS, with the peak held for 1.5 s"));
}

void LevelMeter::setLevels(const MeterLevels& levels)
{
    m_levels = levels;
    setValue(MeterBallistics::barValue(levels.peakDb));
    update();
}

int LevelMeter::heightOf(double db, int span) const
{
    return MeterBallistics::barValue(db) * span / MeterBallistics::kBarMaximum;
}

void LevelMeter::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect area = rect().adjusted(1, 1, -1, -1);
    painter.fillRect(rect(), kTrough);
    const int span = area.height();
    const auto bar = [&](double db, const QColor& colour) {
        const int h = heightOf(db, span);
        painter.fillRect(QRect(area.left(), area.bottom() - h + 1, area.width(), h), colour);
    };
    const bool hot = m_levels.peakDb > 0.0;
    bar(m_levels.peakDb, hot ? kHot : kPeak);
    bar(m_levels.rmsDb, kRms);
    const int zero = area.bottom() - heightOf(0.0, span);
    painter.fillRect(QRect(area.left(), zero, area.width(), 1), kZeroMark);
    if (m_levels.holdDb > MeterBallistics::kFloorDb) {
        const int hold = area.bottom() - heightOf(m_levels.holdDb, span);
        painter.fillRect(QRect(area.left(), hold, area.width(), 2), kHold);
    }
}
