#include "infra/Settings.h"
#include "infra/Style.h"
#include "app/window/Zarn.h"

#include <QApplication>
#include <QIcon>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QSystemTrayIcon>

namespace {

constexpr int kIconSizes[] = { 16, 32, 64, 256 };

QIcon applicationIcon()
{
    QIcon icon;
    for (const int size : kIconSizes)
        icon.addFile(QStringLiteral(":/icons/zarn-%1.png").arg(size), QSize(size, size));
    return icon;
}

// Shown beside the window rather than before it: most desktops have no tray, and a modal
// box would hold up every start. The box fixes its size when it is shown, so it must come
// after the style has set the final font, or its text is cut off.
void warnAboutTheTray()
{
    auto* box
        = new QMessageBox(QMessageBox::Warning, QCoreApplication::translate("main", "System Tray"),
            QCoreApplication::translate(
                "main", "System tray not available. Some features may be limited."),
            QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setOrganizationName(Settings::kOrganisationName);
    QCoreApplication::setOrganizationDomain(Settings::kOrganisationDomain);
    // The components' debug lines (every row read, every device poll) are for diagnosis;
    // QT_LOGGING_RULES="zarn.song.debug=true" (or "zarn.*.debug=true") brings them back.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false\nzarn.*.debug=false"));
    QApplication application(argc, argv);
    QApplication::setApplicationName(Settings::kOrganisationName + QStringLiteral(" Zarn"));
    QApplication::setWindowIcon(applicationIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("zarn"));
    QSharedPointer<Settings> settings = Settings::instance(QStringLiteral("Zarn"));
    ZarnStyle::install(application);
    QApplication::setQuitOnLastWindowClosed(true);

    auto* window = new Zarn(settings);
    window->show();
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        warnAboutTheTray();
    // A song named on the command line (as the desktop entry passes it) opens at once.
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1 && window->newSong())
        window->loadFile(arguments.at(1));
    const int status = QApplication::exec();
    delete window; // stops the audio before the application's objects go
    settings.reset();
    return status;
}
