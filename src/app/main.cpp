#include "application.h"
#include "mainform.h"
#include "platform/instancelock.h"

int main(int argc, char** argv)
{
    platform::CreateNamedMutex(QStringLiteral("ZELMORA_Grandora"));
    GrandoraApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Grandora"));
    QApplication::setApplicationName(QStringLiteral("Grandora"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pictures/grandora.svg")));
    TAppForm form;
    form.show();
    return app.exec();
}
