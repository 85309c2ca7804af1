#include "ui/status/EngineStatusWidget.h"

#include <QFont>
#include <QPainter>

#include <algorithm>

namespace {

const char* const kToolTip = QT_TRANSLATE_NOOP(
    "EngineStatusWidget", "Buffers: %1\nUnderruns: %2\nLast: %3 ms\nPeak: %4 ms\nMode: %5");
const char* const kRenderLetter = QT_TRANSLATE_NOOP("EngineStatusWidget", "R");

} // namespace

EngineStatusWidget::EngineStatusWidget(QWidget* parent)
    : QWidget(parent)
{
    setFixedSize(kSide, kSide);
}

QSize EngineStatusWidget::sizeHint() const
{
    return { kSide, kSide };
}

QSize EngineStatusWidget::minimumSizeHint() const
{
    return { kMinimumSide, kMinimumSide };
}

void EngineStatusWidget::setRenderMode(bool render)
{
    m_renderMode = render;
    // In Render mode the player renders nothing, so no status would come to do this.
    if (m_hasStatus)
        updateToolTip();
    update();
}

QColor EngineStatusWidget::colourFor(const EngineStatus& status)
{
    if (!status.running)
        return QColor(Qt::gray);
    if (status.underruns == 0)
        return kHealthy;
    return status.underruns < kFailingUnderruns ? kUnderrunning : kFailing;
}

void EngineStatusWidget::updateStatus(EngineStatus status)
{
    m_status = status;
    m_hasStatus = true;
    updateToolTip();
    update();
}

void EngineStatusWidget::updateToolTip()
{
    setToolTip(tr(kToolTip)
                   .arg(m_status.buffers)
                   .arg(m_status.underruns)
                   .arg(m_status.lastMs, 0, 'f', 2)
                   .arg(m_status.peakMs, 0, 'f', 2)
                   .arg(m_renderMode ? tr("Render") : tr("Live")));
}

void EngineStatusWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect light = rect().adjusted(kInset, kInset, -kInset, -kInset);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colourFor(m_status));
    painter.drawEllipse(light);
    if (!m_renderMode || !m_status.running)
        return;
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(std::max(1, light.height() - 2));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(light, Qt::AlignCenter, tr(kRenderLetter));
}
