#pragma once

#include "ui/pattern/PatternView.h"

#include <QDialog>

class QLineEdit;
class QSpinBox;

// The one dialog of the pattern flows: a name and a length in ticks.
class PatternDialog : public QDialog {
    Q_OBJECT

public:
    PatternDialog(QWidget* parent, const QString& title, const QString& name, int length);

    static PatternView::PatternAnswer ask(
        QWidget* parent, const QString& title, const QString& name, int length);

private:
    QLineEdit* m_name;
    QSpinBox* m_length;
};
