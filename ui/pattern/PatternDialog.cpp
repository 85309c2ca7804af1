#include "ui/pattern/PatternDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSpinBox>

namespace {

constexpr int kLongestPattern = 4096;

} // namespace

PatternDialog::PatternDialog(QWidget* parent, const QString& title, const QString& name, int length)
    : QDialog(parent)
    , m_name(new QLineEdit(name, this))
    , m_length(new QSpinBox(this))
{
    setWindowTitle(title);
    m_name->setObjectName(QStringLiteral("lineEditName"));
    m_length->setObjectName(QStringLiteral("spinBoxLength"));
    m_length->setRange(1, kLongestPattern);
    m_length->setValue(length);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* form = new QFormLayout(this);
    form->addRow(tr("Name"), m_name);
    form->addRow(tr("Length"), m_length);
    form->addRow(buttons);
    m_name->selectAll();
}

PatternView::PatternAnswer PatternDialog::ask(
    QWidget* parent, const QString& title, const QString& name, int length)
{
    PatternDialog dialog(parent, title, name, length);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return { true, dialog.m_name->text().trimmed(), dialog.m_length->value() };
}
