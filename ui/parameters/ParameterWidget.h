#pragma once

#include "core/NodeParameterSchema.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QSlider;

// One node parameter of the parameter view: a slider with its value in decimal, or a
// toggle for a switch. Only the user's changes are signalled, never a refresh's.
class ParameterWidget : public QWidget {
    Q_OBJECT

public:
    explicit ParameterWidget(QWidget* parent = nullptr);

    // Edits `descriptor` at flat node parameter `index`, starting from `value`.
    void bind(const ParameterPointer& descriptor, int index, quint32 value);
    // Moves the control to the processor's value without sending it back.
    void display(quint32 value);

    const ParameterPointer& descriptor() const { return m_descriptor; }
    int index() const { return m_index; }
    bool isSwitch() const { return m_isSwitch; }

    QSize sizeHint() const override { return { 400, 35 }; }

signals:
    void valueChanged(int index, quint32 value);

private:
    // False while the widget moves its own controls, and while it is unbound.
    bool listening() const;
    void showValue(quint32 value);

    QLabel* const m_name;
    QSlider* const m_slider;
    QPushButton* const m_toggle;
    QLabel* const m_value;
    ParameterPointer m_descriptor;
    int m_index = -1;
    bool m_isSwitch = false;
    bool m_updating = false;
};
