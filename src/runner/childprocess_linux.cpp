#include "childprocess.h"

#include "runner/runnertypes.h"

#include <QFile>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace
{

// Children that were still running when their run was over. They are reaped when they have
// ended, at the next start, so that none of them stays a zombie for the life of the program.
std::mutex OrphansLock;
std::vector<pid_t> Orphans;

void ReapOrphans()
{
    std::lock_guard lock(OrphansLock);
    std::erase_if(Orphans, [](pid_t pid) {
        siginfo_t info{};
        return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG) != 0 ||
               info.si_pid != 0;
    });
}

bool IsExecutableFile(const QByteArray& path)
{
    struct stat st;
    return ::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.constData(), X_OK) == 0;
}

// The file the program name stands for, or the errno value that says why there is none. A name
// with a slash is taken as written, relative to our own folder; the child's folder is not yet
// its own when the name is looked up on Windows either.
int ResolveProgram(const QString& AProgram, QByteArray& APath)
{
    const QByteArray name = QFile::encodeName(AProgram);
    if (name.isEmpty())
        return ENOENT;
    if (name.contains('/')) {
        APath = name;
        if (!name.startsWith('/')) {
            char* cwd = ::getcwd(nullptr, 0);
            if (cwd == nullptr)
                return errno;
            APath = QByteArray(cwd) + '/' + name;
            ::free(cwd);
        }
        return 0;
    }
    const char* pathVariable = ::getenv("PATH");
    const QByteArray searchPath =
        pathVariable ? QByteArray(pathVariable) : QByteArray("/usr/bin:/bin");
    int error = ENOENT;
    for (const QByteArray& folder : searchPath.split(':')) {
        const QByteArray candidate = (folder.isEmpty() ? QByteArray(".") : folder) + '/' + name;
        if (IsExecutableFile(candidate)) {
            APath = candidate;
            return 0;
        }
        if (::access(candidate.constData(), F_OK) == 0)
            error = EACCES;
    }
    return error;
}

// What the child does between fork and exec; only async-signal-safe calls, since the parent's
// other threads may hold any lock at the moment of the fork. Never returns.
[[noreturn]] void RunChild(const TChildStartInfo& AInfo, const QByteArray& program,
                           const QByteArray& folder, int nice, pid_t parent, int report,
                           char* const* argv, char* const* environment)
{
    // The child must not outlive the program, however the program ends: a SIGKILL to the program
    // takes the upscaler with it. A parent that died before this line is caught by the check.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)
        ::_exit(127);
    const int standard[] = {AInfo.StdIn, AInfo.StdOut, AInfo.StdErr};
    for (int target = 0; target < 3; ++target) {
        if (standard[target] == target)
            ::fcntl(target, F_SETFD, 0);
        else
            ::dup2(standard[target], target);
    }
    // Descriptors that someone opened without close-on-exec must not reach the child either;
    // the report pipe closes at the exec by itself.
    ::syscall(SYS_close_range, STDERR_FILENO + 1, report - 1, 0);
    ::syscall(SYS_close_range, report + 1, ~0U, 0);
    // Its own session (no terminal signals from ours), an empty signal mask (our threads block
    // SIGPIPE) and default handling of the signals a parent may have ignored.
    ::setsid();
    for (int signal :
         {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGUSR1, SIGUSR2, SIGALRM})
        ::signal(signal, SIG_DFL);
    sigset_t mask;
    sigemptyset(&mask);
    ::sigprocmask(SIG_SETMASK, &mask, nullptr);
    // Raising the priority above normal may be refused; the child then runs at normal priority.
    if (nice != 0)
        ::setpriority(PRIO_PROCESS, 0, nice);
    int error = 0;
    if (!folder.isEmpty() && ::chdir(folder.constData()) != 0)
        error = errno;
    if (error == 0) {
        ::execve(program.constData(), argv, environment);
        error = errno;
    }
    while (::write(report, &error, sizeof error) < 0 && errno == EINTR) {
    }
    ::_exit(127);
}

} // namespace

int NiceValueOfPriority(std::int32_t APriority)
{
    if (APriority & REALTIME_PRIORITY_CLASS)
        return -20;
    if (APriority & HIGH_PRIORITY_CLASS)
        return -10;
    if (APriority & ABOVE_NORMAL_PRIORITY_CLASS)
        return -5;
    if (APriority & BELOW_NORMAL_PRIORITY_CLASS)
        return 10;
    if (APriority & IDLE_PRIORITY_CLASS)
        return 19;
    return 0;
}

TChildProcess::~TChildProcess()
{
    Close();
}

int TChildProcess::Start(const TChildStartInfo& AInfo)
{
    ReapOrphans();
    if (AInfo.Arguments.isEmpty())
        return ENOENT;
    QByteArray program;
    if (const int error = ResolveProgram(AInfo.Arguments.first(), program))
        return error;

    std::vector<QByteArray> argumentBytes;
    argumentBytes.reserve(static_cast<size_t>(AInfo.Arguments.size()));
    for (const QString& argument : AInfo.Arguments)
        argumentBytes.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    argv.reserve(argumentBytes.size() + 1);
    for (QByteArray& argument : argumentBytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    std::vector<char*> envp;
    char** environment = environ;
    if (!AInfo.Environment.empty()) {
        for (const QByteArray& entry : AInfo.Environment)
            envp.push_back(const_cast<char*>(entry.constData()));
        envp.push_back(nullptr);
        environment = envp.data();
    }

    const QByteArray folder = QFile::encodeName(AInfo.CurrentDir);
    const int nice = NiceValueOfPriority(AInfo.Priority);
    // The child reports a failed exec through this pipe; its close-on-exec end closes unwritten
    // when the exec succeeds.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return errno;
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        const int forkError = errno;
        ::close(report[0]);
        ::close(report[1]);
        return forkError;
    }
    if (pid == 0)
        RunChild(AInfo, program, folder, nice, parent, report[1], argv.data(), environment);
    ::close(report[1]);
    int error = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got == static_cast<ssize_t>(sizeof error)) {
        ::waitpid(pid, nullptr, 0);
        return error;
    }

    // The child cannot be reaped before we wait for it, so its id still names it here.
    const int handle = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (handle < 0) {
        const int openError = errno;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return openError;
    }
    FPid = pid;
    FHandle = handle;
    FKilled = false;
    FReaped = false;
    FExitCode = STILL_ACTIVE;
    return 0;
}

std::uint32_t TChildProcess::ExitCode()
{
    if (FReaped || FPid == 0)
        return FExitCode;
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(FPid), &info, WEXITED | WNOHANG) != 0 || info.si_pid == 0)
        return FExitCode;
    FReaped = true;
    if (info.si_code == CLD_EXITED)
        FExitCode = static_cast<std::uint32_t>(info.si_status);
    else if (FKilled && info.si_status == SIGKILL)
        FExitCode = 0;
    else
        FExitCode = 128 + static_cast<std::uint32_t>(info.si_status);
    return FExitCode;
}

bool TChildProcess::Kill()
{
    if (FHandle < 0 || FReaped)
        return false;
    FKilled = true;
    return ::syscall(SYS_pidfd_send_signal, FHandle, SIGKILL, nullptr, 0) == 0;
}

void TChildProcess::Close()
{
    if (FHandle < 0)
        return;
    if (ExitCode() == STILL_ACTIVE) {
        std::lock_guard lock(OrphansLock);
        Orphans.push_back(FPid);
    }
    ::close(FHandle);
    FHandle = -1;
}
