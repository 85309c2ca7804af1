#include "ui/pages/SequencerPage.h"

#include <QLabel>
#include <QLayout>
#include <QTimer>

namespace {

constexpr int kStatusMilliseconds = 6000;

} // namespace

SequencerPage::SequencerPage(QWidget* parent)
    : EditorPage(new SequencerView, parent)
    , m_view(static_cast<SequencerView*>(focusTarget()))
    , m_status(new QLabel(this))
{
    m_status->setObjectName(QStringLiteral("labelSequencerStatus"));
    m_status->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    layout()->addWidget(m_status);
    auto* clear = new QTimer(this);
    clear->setSingleShot(true);
    clear->setInterval(kStatusMilliseconds);
    connect(clear, &QTimer::timeout, m_status, &QLabel::clear);
    connect(m_view, &SequencerView::statusMessage, this, [this, clear](const QString& text) {
        m_status->setText(text);
        clear->start();
    });
}

void SequencerPage::setSong(const SongPointer& song)
{
    m_view->setSong(song);
    EditorPage::setSong(song);
}

void SequencerPage::setXRayMode(bool on)
{
    EditorPage::setXRayMode(on);
    m_view->setXRayMode(on);
}

void SequencerPage::refresh()
{
    m_view->update();
}
