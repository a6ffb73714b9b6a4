// The application object: reports an error that escapes an event handler in an error box and
// goes on, as the program's users expect of a desktop program.
#pragma once

#include <QApplication>
#include <exception>

class GrandoraApplication : public QApplication
{
public:
    GrandoraApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Shows `error` in an error box with the application's title.
void ShowUnhandledError(const std::exception& error);

// Ends the application's event loop when the system asks the program to end, so that the main
// window goes as when it is closed: a running batch stops, the instance's folder is removed.
void QuitOnTerminationRequest();
