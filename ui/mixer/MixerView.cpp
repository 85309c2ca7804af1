#include "ui/mixer/MixerView.h"

#include "song/Graph.h"
#include "ui/Logging.h"
#include "ui/mixer/ChannelWidget.h"
#include "ui/undo/GraphCommand.h"
#include "ui/undo/SongHistory.h"

#include <QDebug>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSet>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <cmath>
#include <utility>

namespace {

constexpr int kEighthsPerStep = 8 * 15;

} // namespace

MixerView::MixerView(QWidget* parent)
    : QWidget(parent)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    buildForm();
    m_meterTimer.setTimerType(Qt::PreciseTimer);
    m_meterTimer.setInterval(kMeterIntervalMs);
    connect(&m_meterTimer, &QTimer::timeout, this, &MixerView::onUpdateTimer);
    m_clock.start();
}

void MixerView::buildForm()
{
    setObjectName(QStringLiteral("MixerView"));
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QHBoxLayout;
    m_muteAll = new QPushButton(tr("Mute All"), this);
    m_muteAll->setObjectName(QStringLiteral("pushButtonMuteAll"));
    m_unmuteAll = new QPushButton(tr("Unmute All"), this);
    m_unmuteAll->setObjectName(QStringLiteral("pushButtonUnmuteAll"));
    connect(m_muteAll, &QPushButton::clicked, this, &MixerView::muteAll);
    connect(m_unmuteAll, &QPushButton::clicked, this, &MixerView::unmuteAll);
    buttons->addWidget(m_muteAll);
    buttons->addWidget(m_unmuteAll);
    buttons->addStretch();
    layout->addLayout(buttons);

    m_scrollArea = new QScrollArea(this);
    m_scrollArea->setObjectName(QStringLiteral("scrollAreaChannels"));
    m_scrollArea->setWidgetResizable(true);
    auto* contents = new QWidget(m_scrollArea);
    contents->setObjectName(QStringLiteral("widgetChannels"));
    m_channels = new QHBoxLayout(contents);
    m_channels->setObjectName(QStringLiteral("horizontalLayoutChannels"));
    m_channels->addStretch();
    m_scrollArea->setWidget(contents);
    layout->addWidget(m_scrollArea, 1);
    m_placeholder = new QLabel(tr("Channels Go Here"), this);
    m_placeholder->setObjectName(QStringLiteral("labelPlaceholder"));
    m_placeholder->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_placeholder);
}

void MixerView::setSong(const SongPointer& song)
{
    m_song = song;
    for (ChannelWidget* strip : std::as_const(m_strips))
        strip->setHistory(m_song, m_history);
    rebuildChannels();
}

void MixerView::setHistory(SongHistory* history)
{
    if (m_history)
        disconnect(m_history, nullptr, this, nullptr);
    m_history = history;
    if (history)
        connect(history, &SongHistory::edited, this, &MixerView::refreshChannels);
    for (ChannelWidget* strip : std::as_const(m_strips))
        strip->setHistory(m_song, m_history);
}

ChannelWidget* MixerView::stripOf(const zarn::NodePointer& node) const
{
    return m_strips.value(node.data());
}

QList<zarn::NodePointer> MixerView::outputNodes() const
{
    return m_song && m_song->graph ? m_song->graph->outputNodes() : QList<zarn::NodePointer>();
}

ChannelWidget* MixerView::channelWidgetForNode(const zarn::NodePointer& node)
{
    if (!node) {
        qCWarning(lcUi) << "no node in channelWidgetForNode";
        return nullptr;
    }
    ChannelWidget*& strip = m_strips[node.data()];
    if (!strip) {
        if (debug)
            qCDebug(lcUi) << "Allocating cw for node" << node->name;
        strip = new ChannelWidget(m_channels->parentWidget());
        m_stripNodes.append(node);
    }
    strip->setNode(node);
    strip->setHistory(m_song, m_history);
    strip->refresh();
    return strip;
}

void MixerView::rebuildChannels()
{
    for (ChannelWidget* strip : std::as_const(m_strips)) {
        m_channels->removeWidget(strip);
        strip->hide();
    }
    const QList<zarn::NodePointer> outputs = outputNodes();
    for (const zarn::NodePointer& node : outputs) {
        ChannelWidget* strip = channelWidgetForNode(node);
        if (!strip) {
            qCWarning(lcUi) << "No channel widget to add for " << node->name;
            continue;
        }
        // Before the stretch, so the strips stay packed to the left.
        m_channels->insertWidget(m_channels->count() - 1, strip);
        strip->refresh();
        strip->show();
    }
    m_placeholder->setVisible(outputs.isEmpty());
    update();
}

void MixerView::refreshChannels()
{
    for (const zarn::NodePointer& node : outputNodes())
        if (ChannelWidget* strip = stripOf(node))
            strip->refresh();
}

void MixerView::muteAll()
{
    setAllMuted(true);
}

void MixerView::unmuteAll()
{
    setAllMuted(false);
}

void MixerView::setAllMuted(bool on)
{
    if (!m_song || !m_song->graph || !m_song->sequencer)
        return;
    const QString text = on ? tr("Mute All") : tr("Unmute All");
    SongHistory* history = m_history && m_history->song() == m_song ? m_history.data() : nullptr;
    recordGraphEdit(GraphEdit(m_song), history, text, [&] {
        bool changed = false;
        for (const zarn::NodePointer& node : outputNodes())
            changed |= std::exchange(node->muted, on) != on;
        if (!changed)
            return;
        m_song->graph->changed = true;
        m_song->taint(text);
    });
    refreshChannels();
}

void MixerView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    rebuildChannels();
    m_meterTimer.start();
}

void MixerView::hideEvent(QHideEvent* event)
{
    m_meterTimer.stop();
    QWidget::hideEvent(event);
}

void MixerView::onUpdateTimer()
{
    if (!isVisible()) {
        qCDebug(lcUi) << "MixerView::onUpdateTimer running but not visible - stopping timer";
        m_meterTimer.stop();
        return;
    }
    const qint64 now = m_clock.elapsed();
    for (const zarn::NodePointer& node : outputNodes())
        if (ChannelWidget* strip = stripOf(node))
            strip->updateMeter(now);
}

void MixerView::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    if (enter) {
        qCDebug(lcUi) << (event->modifiers() & Qt::ControlModifier ? "New pattern"
                                                                   : "Enter pattern");
        event->accept();
        return;
    }
    static const QSet<int> navigation { Qt::Key_Up, Qt::Key_Down, Qt::Key_Left, Qt::Key_Right,
        Qt::Key_PageUp, Qt::Key_PageDown };
    if (navigation.contains(key)) {
        event->accept();
        update();
        return;
    }
    if (key == Qt::Key_Delete)
        return;
    if (debug)
        qCDebug(lcUi) << "Unhandled sequencer KEY" << key << event->modifiers();
    QWidget::keyPressEvent(event);
}

void MixerView::wheelEvent(QWheelEvent* event)
{
    const int steps = int(std::lround(double(event->angleDelta().y()) / kEighthsPerStep));
    if (steps == 0) {
        QWidget::wheelEvent(event);
        return;
    }
    if (debug)
        qCDebug(lcUi) << "Wheel" << steps;
    event->accept();
    update();
}
