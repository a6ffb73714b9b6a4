// A tiny console program that runner tests start as their child. Each argument is one action,
// done in order; after the last one it exits with 0.
//   out:TEXT   writes TEXT to stdout in one write (escapes: \r \n \t \0 \\ \xHH)
//   err:TEXT   the same to stderr
//   sleep:MS   sleeps
//   wait       reads stdin up to and including a line feed
//   readin:N   reads exactly N bytes of stdin and writes "in:" and their hex digits as a line
//   closein    closes stdin
//   env:NAME   writes every environment entry NAME=... as a line, in the environment's order
//   cwd        writes the current folder as a line
//   fds        writes "fds:" and the open descriptor numbers as a line
//   pid        writes "pid:" and its process id as a line
//   nice       writes "nice:" and its nice value as a line
//   flood:N    writes N lines to stdout and N to stderr, alternating
//   args       writes every later argument in hex digits, one per line, and stops
//   exit:CODE  exits with CODE at once
//   signal:N   dies of signal N
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

extern char** environ;

namespace
{

void WriteAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            std::_Exit(90);
        }
        done += static_cast<size_t>(count);
    }
}

std::string Unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        switch (c) {
        case 'r':
            out += '\r';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case '0':
            out += '\0';
            break;
        case 'x':
            out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
            break;
        default:
            out += c;
            break;
        }
    }
    return out;
}

std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string ReadExactly(size_t count)
{
    std::string bytes;
    while (bytes.size() < count) {
        char c;
        const ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        bytes += c;
    }
    return bytes;
}

void ReadLine()
{
    for (;;) {
        char c;
        const ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || c == '\n')
            return;
    }
}

std::string OpenDescriptors()
{
    std::string list = "fds:";
    DIR* folder = ::opendir("/proc/self/fd");
    if (folder == nullptr)
        return list + "?\n";
    const int own = ::dirfd(folder);
    while (const dirent* entry = ::readdir(folder)) {
        if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own)
            continue;
        list += ' ';
        list += entry->d_name;
    }
    ::closedir(folder);
    return list + "\n";
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string action = argv[i];
        const size_t colon = action.find(':');
        const std::string name = action.substr(0, colon);
        const std::string value = colon == std::string::npos ? "" : action.substr(colon + 1);
        if (name == "out") {
            WriteAll(STDOUT_FILENO, Unescape(value));
        } else if (name == "err") {
            WriteAll(STDERR_FILENO, Unescape(value));
        } else if (name == "sleep") {
            ::usleep(static_cast<useconds_t>(std::atol(value.c_str()) * 1000));
        } else if (name == "wait") {
            ReadLine();
        } else if (name == "readin") {
            WriteAll(STDOUT_FILENO,
                     "in:" + Hex(ReadExactly(static_cast<size_t>(std::atol(value.c_str())))) +
                         "\n");
        } else if (name == "closein") {
            ::close(STDIN_FILENO);
        } else if (name == "env") {
            for (char** entry = environ; *entry != nullptr; ++entry) {
                if (std::strncmp(*entry, (value + "=").c_str(), value.size() + 1) == 0)
                    WriteAll(STDOUT_FILENO, std::string(*entry) + "\n");
            }
        } else if (name == "cwd") {
            char folder[4096];
            WriteAll(STDOUT_FILENO,
                     std::string(::getcwd(folder, sizeof folder) ? folder : "?") + "\n");
        } else if (name == "fds") {
            WriteAll(STDOUT_FILENO, OpenDescriptors());
        } else if (name == "pid") {
            WriteAll(STDOUT_FILENO, "pid:" + std::to_string(::getpid()) + "\n");
        } else if (name == "nice") {
            errno = 0;
            WriteAll(STDOUT_FILENO,
                     "nice:" + std::to_string(::getpriority(PRIO_PROCESS, 0)) + "\n");
        } else if (name == "flood") {
            const long count = std::atol(value.c_str());
            for (long n = 0; n < count; ++n) {
                WriteAll(STDOUT_FILENO, "out " + std::to_string(n) + "\n");
                WriteAll(STDERR_FILENO, "err " + std::to_string(n) + "\n");
            }
        } else if (name == "args") {
            for (int k = i + 1; k < argc; ++k)
                WriteAll(STDOUT_FILENO, Hex(argv[k]) + "\n");
            return 0;
        } else if (name == "exit") {
            std::_Exit(std::atoi(value.c_str()));
        } else if (name == "signal") {
            const int signal = std::atoi(value.c_str());
            std::signal(signal, SIG_DFL);
            ::raise(signal);
            std::_Exit(91);
        } else {
            WriteAll(STDERR_FILENO, "runnerchild: unknown action " + action + "\n");
            return 92;
        }
    }
    return 0;
}
