#include "application.h"

#include "platform/dialogs.h"
#include "platform/termination.h"

GrandoraApplication::GrandoraApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool GrandoraApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowUnhandledError(error);
        return true;
    }
}

void ShowUnhandledError(const std::exception& error)
{
    platform::MessageBox(QApplication::activeWindow(), QString::fromUtf8(error.what()),
                         QApplication::applicationDisplayName(), platform::MB_ICONERROR);
}

void QuitOnTerminationRequest()
{
    // Quitting, not closing: closing asks first while a batch runs, and nobody is there to answer.
    platform::OnTerminationRequest([] { QCoreApplication::quit(); });
}
