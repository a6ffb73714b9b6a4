// A small program that runs one command line through the console runner, as the program runs its
// upscaler, and says the child's process id on a line once it runs. Tests kill it to see what
// becomes of the child.
#include "runner/consolerunner.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: runnerhost COMMANDLINE\n");
        return 2;
    }
    TConsoleRunner runner;
    runner.SetCommandLine(QString::fromLocal8Bit(argv[1]));
    runner.OnTerminated = [](TConsoleRunner*) { QCoreApplication::quit(); };
    runner.Execute();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (const std::uint32_t pid = runner.ProcessInformation().dwProcessId) {
            std::printf("%u\n", pid);
            std::fflush(stdout);
            poll.stop();
        }
    });
    poll.start(5);
    return app.exec();
}
