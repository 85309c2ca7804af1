#include "ui/MessageBoxes.h"

#include <QMessageBox>

namespace messageBoxes {

Informer informer(QWidget* parent)
{
    return [parent](const QString& title, const QString& text) {
        QMessageBox::information(parent, title, text);
    };
}

Informer warner(QWidget* parent)
{
    return [parent](const QString& title, const QString& text) {
        QMessageBox::warning(parent, title, text);
    };
}

Questioner questioner(QWidget* parent)
{
    return [parent](const QString& title, const QString& question) {
        return QMessageBox::question(parent, title, question, QMessageBox::Yes | QMessageBox::No)
            == QMessageBox::Yes;
    };
}

} // namespace messageBoxes
