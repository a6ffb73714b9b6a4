// One child process of the runner: started hidden in its own session with given standard
// descriptors, watched through a process descriptor, asked for its exit code and killed.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <sys/types.h>
#include <vector>

// Exit code of a child that is still running.
constexpr std::uint32_t STILL_ACTIVE = 259;

struct TChildStartInfo {
    QStringList Arguments; // the program first; found as written, or in PATH without a slash
    QString CurrentDir;    // empty: the caller's current folder
    // The whole environment of the child; empty: the caller's own.
    std::vector<QByteArray> Environment;
    std::int32_t Priority = 0; // priority class (TPriorityClass)
    int StdIn = -1;
    int StdOut = -1;
    int StdErr = -1;
};

class TChildProcess
{
public:
    TChildProcess() = default;
    // Closes the process descriptor; a child that still runs is left running.
    ~TChildProcess();
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    // Starts the child; 0, or the errno value that kept it from starting. Only the three standard
    // descriptors are passed on, and the child starts with default signal handling.
    int Start(const TChildStartInfo& AInfo);
    pid_t ProcessId() const { return FPid; }
    // Readable once the child has ended; -1 before the start and after Close.
    int Handle() const { return FHandle; }
    // STILL_ACTIVE while it runs; then its exit code, 128 + N when it died of signal N, and 0
    // when Kill ended it.
    std::uint32_t ExitCode();
    // Kills the child; false when it could not be signalled (it has already been reaped).
    bool Kill();
    void Close();

private:
    pid_t FPid = 0;
    int FHandle = -1;
    bool FKilled = false;
    bool FReaped = false;
    std::uint32_t FExitCode = STILL_ACTIVE;
};

// The nice value a priority class maps to.
int NiceValueOfPriority(std::int32_t APriority);
