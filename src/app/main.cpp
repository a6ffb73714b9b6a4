#include "application.h"
#include "mainwindow.h"
#include "platform/instancelock.h"

int main(int argc, char** argv)
{
    platform::CreateNamedMutex(QStringLiteral("ZELMORA_Grandora"));
    GrandoraApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Grandora"));
    QApplication::setApplicationName(QStringLiteral("Grandora"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pictures/grandora.svg")));
    // Outside a desktop session Qt knows no icon theme, and every listed file would show the same
    // blank icon instead of its type's.
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QStringLiteral("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    QuitOnTerminationRequest();
    MainWindow window;
    window.show();
    return app.exec();
}
