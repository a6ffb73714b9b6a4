#include "childprocess.h"

#include "runner/runnertypes.h"

#include <QFile>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawnattr_init(&attributes);
    ::posix_spawn_file_actions_adddup2(&actions, AInfo.StdIn, STDIN_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, AInfo.StdOut, STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, AInfo.StdErr, STDERR_FILENO);
    // Descriptors that someone opened without close-on-exec must not reach the child either.
    ::posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    const QByteArray folder = QFile::encodeName(AInfo.CurrentDir);
    if (!folder.isEmpty())
        ::posix_spawn_file_actions_addchdir_np(&actions, folder.constData());

    // The child gets its own session (no terminal signals from ours), an empty signal mask (our
    // threads block SIGPIPE) and default handling of the signals a parent may have ignored.
    sigset_t mask;
    sigemptyset(&mask);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal :
         {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGUSR1, SIGUSR2, SIGALRM})
        sigaddset(&defaults, signal);
    ::posix_spawnattr_setsigmask(&attributes, &mask);
    ::posix_spawnattr_setsigdefault(&attributes, &defaults);
    ::posix_spawnattr_setflags(&attributes,
                               POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    // A child inherits the nice value of the thread that starts it, so a child of another
    // priority is started from a thread of that priority. Raising it above normal may be refused;
    // the child then runs at normal priority.
    pid_t pid = 0;
    auto spawn = [&] {
        return ::posix_spawn(&pid, program.constData(), &actions, &attributes, argv.data(),
                             environment);
    };
    int error = 0;
    if (const int nice = NiceValueOfPriority(AInfo.Priority); nice == 0) {
        error = spawn();
    } else {
        std::thread([&] {
            ::setpriority(PRIO_PROCESS, 0, nice); // on Linux: this thread only
            error = spawn();
        }).join();
    }
    ::posix_spawn_file_actions_destroy(&actions);
    ::posix_spawnattr_destroy(&attributes);
    if (error != 0)
        return error;

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
