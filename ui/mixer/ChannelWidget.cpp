#include "ui/mixer/ChannelWidget.h"

#include "processors/io/OutputProcessor.h"
#include "song/Graph.h"
#include "ui/mixer/LevelMeter.h"
#include "ui/undo/GraphCommand.h"
#include "ui/undo/SongHistory.h"

#include <QDial>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr int kDialSize = 36;
const char kClipLitStyle[] = "QPushButton:checked { background: #d22; color: white; }";

// The dial each control moves in StripDials.
qint32 StripDials::*dialField(ChannelWidget::Control control)
{
    switch (control) {
    case ChannelWidget::Gain:
        return &StripDials::gain;
    case ChannelWidget::HighPass:
        return &StripDials::highPass;
    default:
        return &StripDials::lowPass;
    }
}

stripdials::Dial dialOf(ChannelWidget::Control control)
{
    constexpr stripdials::Dial dials[] = { stripdials::Dial::Gain, stripdials::Dial::Gain,
        stripdials::Dial::HighPass, stripdials::Dial::LowPass };
    return dials[control];
}

OutputProcessor* outputOf(const zarn::NodePointer& node)
{
    return node ? dynamic_cast<OutputProcessor*>(node->processor.data()) : nullptr;
}

QPushButton* checkableButton(const char* objectName, const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(objectName));
    button->setCheckable(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

ChannelWidget::ChannelWidget(QWidget* parent)
    : QWidget(parent)
{
    buildForm();
}

QColor ChannelWidget::colourOf(const zarn::Node& node)
{
    constexpr int kHueStep = 67; // prime to 360, so neighbours in creation order differ
    return QColor::fromHsv(int((qint64(node.serial) * kHueStep % 360 + 360) % 360), 120, 110);
}

void ChannelWidget::buildForm()
{
    setObjectName(QStringLiteral("ChannelWidget"));
    setWindowTitle(QStringLiteral("Form"));
    setFixedWidth(kWidth);
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(3);

    m_clip = checkableButton("pushButtonSolo_2", tr("Clip"), this);
    m_clip->setStyleSheet(QLatin1String(kClipLitStyle));
    m_clip->setToolTip(tr("Lights when the strip went beyond full scale; click to reset"));
    connect(m_clip, &QPushButton::clicked, this, &ChannelWidget::resetClip);
    layout->addWidget(m_clip);
    m_meter = new LevelMeter(this);
    m_meter->setObjectName(QStringLiteral("progressBar"));
    layout->addWidget(m_meter, 3, Qt::AlignHCenter);

    addDial(Gain, "Gain", tr("Gain"));
    addDial(HighPass, "HighPass", tr("High-pass"));
    addDial(LowPass, "LowPass", tr("Low-pass"));
    addFader();
    addFlags();
}

void ChannelWidget::addFader()
{
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    m_volume = new QSlider(Qt::Vertical, this);
    m_volume->setObjectName(QStringLiteral("verticalSliderVolume"));
    m_volume->setRange(0, kVolumePercentMax);
    m_volume->setTickPosition(QSlider::TicksBothSides);
    m_volume->setTickInterval(25);
    m_volume->setToolTip(tr("Volume (100 % is unity gain)"));
    m_volumeBox = new QSpinBox(this);
    m_volumeBox->setObjectName(QStringLiteral("spinBoxVolume"));
    m_volumeBox->setRange(0, kVolumePercentMax);
    m_volumeBox->setSuffix(QStringLiteral(" %"));
    layout->addWidget(m_volume, 2, Qt::AlignHCenter);
    layout->addWidget(m_volumeBox);
    connectSlider(Volume, m_volume, m_volumeBox);
}

void ChannelWidget::addFlags()
{
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    auto* buttons = new QHBoxLayout;
    m_mute = checkableButton("pushButtonMute", tr("Mute"), this);
    m_solo = checkableButton("pushButtonSolo", tr("Solo"), this);
    connect(m_mute, &QPushButton::clicked, this, [this](bool on) { setFlag(false, on); });
    connect(m_solo, &QPushButton::clicked, this, [this](bool on) { setFlag(true, on); });
    buttons->addWidget(m_mute);
    buttons->addWidget(m_solo);
    layout->addLayout(buttons);
    m_name = new QLabel(tr("Name"), this);
    m_name->setObjectName(QStringLiteral("labelName"));
    m_name->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_name);
}

void ChannelWidget::addDial(Control control, const char* name, const QString& label)
{
    auto* dial = new QDial(this);
    dial->setObjectName(QStringLiteral("dial") + QLatin1String(name));
    dial->setRange(StripDials::kMin, StripDials::kMax);
    dial->setNotchesVisible(true);
    dial->setFixedSize(kDialSize, kDialSize);
    auto* spinBox = new QSpinBox(this);
    spinBox->setObjectName(QStringLiteral("spinBox") + QLatin1String(name));
    spinBox->setRange(StripDials::kMin, StripDials::kMax);
    spinBox->setToolTip(label);
    auto* caption = new QLabel(label, this);
    caption->setAlignment(Qt::AlignCenter);
    QFont small = caption->font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    caption->setFont(small);
    auto* row = new QHBoxLayout;
    row->setSpacing(2);
    row->addWidget(dial);
    row->addWidget(spinBox);
    auto* column = static_cast<QVBoxLayout*>(layout());
    column->addWidget(caption);
    column->addLayout(row);
    m_dials.append({ control, dial, spinBox });
    connectSlider(control, dial, spinBox);
}

void ChannelWidget::connectSlider(Control control, QAbstractSlider* slider, QSpinBox* spinBox)
{
    connect(slider, &QAbstractSlider::sliderPressed, this, [this] {
        if (m_node)
            m_dragStart = StripState::of(*m_node);
    });
    connect(slider, &QAbstractSlider::valueChanged, this, [=, this](int value) {
        const QSignalBlocker block(spinBox);
        spinBox->setValue(value);
        controlChanged(control, value);
    });
    connect(spinBox, &QSpinBox::valueChanged, slider, &QAbstractSlider::setValue);
    connect(slider, &QAbstractSlider::sliderReleased, this, [=, this] { dragFinished(control); });
}

void ChannelWidget::setNode(const zarn::NodePointer& node)
{
    m_node = node;
    m_dragStart.reset();
    m_ballistics = MeterBallistics();
}

void ChannelWidget::setHistory(const SongPointer& song, SongHistory* history)
{
    m_song = song;
    m_history = history;
}

void ChannelWidget::refresh()
{
    if (!m_node)
        return;
    QPalette palette = this->palette();
    const QBrush brush(colourOf(*m_node));
    palette.setBrush(QPalette::Active, QPalette::Window, brush);
    palette.setBrush(QPalette::Inactive, QPalette::Window, brush);
    setPalette(palette);
    m_name->setText(m_node->name);
    syncControls();
}

void ChannelWidget::syncControls()
{
    const bool live = outputOf(m_node);
    const StripState state = live ? StripState::of(*m_node) : StripState {};
    for (QWidget* control : findChildren<QWidget*>())
        if (control != m_name)
            control->setEnabled(live);
    if (!m_volume->isSliderDown()) {
        const QSignalBlocker block(m_volume);
        m_volume->setValue(int(std::lround(state.volume * 100.0)));
        const QSignalBlocker blockBox(m_volumeBox);
        m_volumeBox->setValue(m_volume->value());
    }
    for (const DialRow& row : std::as_const(m_dials)) {
        const int value = state.dials.*dialField(row.control);
        row.dial->setToolTip(stripdials::describe(dialOf(row.control), value));
        if (row.dial->isSliderDown())
            continue;
        const QSignalBlocker block(row.dial);
        const QSignalBlocker blockBox(row.spinBox);
        row.dial->setValue(value);
        row.spinBox->setValue(value);
    }
    m_mute->setChecked(m_node->muted);
    m_solo->setChecked(m_node->solo);
}

StripState ChannelWidget::stateWith(Control control, int value) const
{
    StripState state = StripState::of(*m_node);
    if (control == Volume)
        state.volume = value / 100.0;
    else
        state.dials.*dialField(control) = value;
    return state;
}

void ChannelWidget::controlChanged(Control control, int value)
{
    if (!outputOf(m_node))
        return;
    const StripState before = StripState::of(*m_node);
    const StripState after = stateWith(control, value);
    if (after == before)
        return;
    after.applyTo(*m_node);
    for (const DialRow& row : std::as_const(m_dials))
        if (row.control == control)
            row.dial->setToolTip(stripdials::describe(dialOf(row.control), value));
    // A drag is heard as it goes and becomes one step when it ends.
    if (!m_dragStart)
        record(control, before, after);
}

void ChannelWidget::dragFinished(Control control)
{
    if (const std::optional<StripState> start = std::exchange(m_dragStart, std::nullopt);
        start && m_node)
        record(control, *start, StripState::of(*m_node));
}

void ChannelWidget::record(Control control, const StripState& before, const StripState& after)
{
    if (before == after)
        return;
    static const QString texts[] = { tr("Volume"), tr("Gain"), tr("High-pass"), tr("Low-pass") };
    const QString text = tr("%1 of %2").arg(texts[control], m_node->name);
    if (m_history && m_history->song() == m_song && m_song)
        m_history->push(new StripCommand(m_node, text, before, after, control));
    else if (m_song)
        m_song->taint(text);
}

void ChannelWidget::setFlag(bool solo, bool on)
{
    if (!m_node || !m_song || !m_song->graph || !m_song->sequencer)
        return;
    const QString text
        = (solo ? (on ? tr("Solo %1") : tr("Unsolo %1")) : (on ? tr("Mute %1") : tr("Unmute %1")))
              .arg(m_node->name);
    SongHistory* history = m_history && m_history->song() == m_song ? m_history.data() : nullptr;
    recordGraphEdit(GraphEdit(m_song), history, text, [&] {
        (solo ? m_node->solo : m_node->muted) = on;
        m_song->graph->changed = true; // the plan silences what is muted
        m_song->taint(text);
    });
}

void ChannelWidget::resetClip()
{
    if (OutputProcessor* output = outputOf(m_node))
        output->resetClip();
    m_clip->setChecked(false);
}

void ChannelWidget::updateMeter(qint64 nowMs)
{
    OutputProcessor* output = outputOf(m_node);
    if (!output)
        return;
    const OutputProcessor::MeterReading reading = output->takeMeter();
    m_ballistics.feed(reading.peak, reading.meanSquare, nowMs);
    m_meter->setLevels(m_ballistics.levels());
    m_clip->setChecked(output->clipped());
}
