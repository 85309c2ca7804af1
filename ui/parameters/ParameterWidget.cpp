#include "ui/parameters/ParameterWidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <limits>

namespace {

constexpr int kNameStretch = 2;
constexpr int kControlStretch = 3;
constexpr int kValueWidth = 48;

// A switch is on when its low byte is; the slider cannot go past what an int holds.
bool isOn(quint32 value)
{
    return (value & 0xFF) != 0;
}

int sliderValue(quint32 value)
{
    return int(std::min<quint32>(value, std::numeric_limits<int>::max()));
}

QString onOffText(bool on)
{
    return on ? ParameterWidget::tr("On") : ParameterWidget::tr("Off");
}

} // namespace

ParameterWidget::ParameterWidget(QWidget* parent)
    : QWidget(parent)
    , m_name(new QLabel(this))
    , m_slider(new QSlider(Qt::Horizontal, this))
    , m_toggle(new QPushButton(onOffText(false), this))
    , m_value(new QLabel(this))
{
    m_name->setObjectName(QStringLiteral("labelName"));
    m_slider->setObjectName(QStringLiteral("horizontalSlider"));
    m_toggle->setObjectName(QStringLiteral("pushButtonToggle"));
    m_value->setObjectName(QStringLiteral("labelValue"));
    m_name->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_value->setMinimumWidth(kValueWidth);
    m_toggle->setCheckable(true);
    m_toggle->setAutoDefault(false);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_name, kNameStretch);
    layout->addWidget(m_slider, kControlStretch);
    layout->addWidget(m_toggle, kControlStretch);
    layout->addWidget(m_value);
    resize(sizeHint());

    connect(m_slider, &QSlider::valueChanged, this, [this](int value) {
        if (!listening())
            return;
        m_value->setText(QString::number(value));
        emit valueChanged(m_index, quint32(value));
    });
    connect(m_toggle, &QPushButton::toggled, this, [this](bool on) {
        if (!listening())
            return;
        m_toggle->setText(onOffText(on));
        emit valueChanged(m_index, on ? 1 : 0);
    });
}

void ParameterWidget::bind(const ParameterPointer& descriptor, int index, quint32 value)
{
    m_descriptor = descriptor;
    m_index = descriptor ? index : -1;
    m_isSwitch = descriptor && descriptor->valueType() == ValueType::Switch;
    m_name->setText(descriptor ? descriptor->name : QString());
    m_slider->setVisible(!m_isSwitch);
    m_value->setVisible(!m_isSwitch);
    m_toggle->setVisible(m_isSwitch);
    if (descriptor) {
        const QSignalBlocker blocker(m_slider);
        m_slider->setRange(sliderValue(descriptor->minimum), sliderValue(descriptor->maximum));
    }
    showValue(value);
}

void ParameterWidget::display(quint32 value)
{
    if (!m_descriptor)
        return;
    const bool differs = m_isSwitch ? m_toggle->isChecked() != isOn(value)
                                    : m_slider->value() != sliderValue(value);
    if (differs)
        showValue(value);
}

bool ParameterWidget::listening() const
{
    return !m_updating && m_descriptor && m_index >= 0;
}

void ParameterWidget::showValue(quint32 value)
{
    // Blocked signals keep the move from reaching the processor; the flag also covers
    // anything a control might report after the blockers are gone.
    m_updating = true;
    {
        const QSignalBlocker sliderBlocker(m_slider);
        const QSignalBlocker toggleBlocker(m_toggle);
        m_slider->setValue(sliderValue(value));
        m_toggle->setChecked(isOn(value));
    }
    m_value->setText(QString::number(value));
    m_toggle->setText(onOffText(isOn(value)));
    m_updating = false;
}
