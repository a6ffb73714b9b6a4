#include "support/testenv.h"

#include <QApplication>
#include <QDir>
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstring>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace
{

// Root ignores file permissions, which would hide every read-only and unreadable case. Dropping
// the capabilities that override them makes this process meet permissions like any user.
void dropPermissionOverrides()
{
    if (::geteuid() != 0)
        return;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return;
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
        data[cap / 32].effective &= ~(1u << (cap % 32));
        data[cap / 32].permitted &= ~(1u << (cap % 32));
        data[cap / 32].inheritable &= ~(1u << (cap % 32));
    }
    ::syscall(SYS_capset, &header, data);
}

void usePrivateHome()
{
    const QString root = testenv::Root();
    for (const char* sub : {"home", "config", "cache", "data", "runtime"})
        QDir().mkpath(root + QLatin1Char('/') + QLatin1String(sub));
    QFile::setPermissions(root + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", QFile::encodeName(root + QStringLiteral("/home")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + QStringLiteral("/config")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(root + QStringLiteral("/cache")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root + QStringLiteral("/data")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(root + QStringLiteral("/runtime")));
}

// A run under a locale that this machine lacks would quietly test the C locale instead: the C
// library falls back to it while Qt still formats in the asked one.
bool takesTheAskedLocale()
{
    const QByteArray asked = qgetenv("LC_ALL");
    if (asked.isEmpty() || asked == "C" || asked == "POSIX")
        return true;
    if (std::strcmp(std::setlocale(LC_NUMERIC, nullptr), "C") != 0)
        return true;
    std::fprintf(stderr, "The locale %s is not installed here (scripts/setup-deps makes it)\n",
                 asked.constData());
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    dropPermissionOverrides();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    usePrivateHome();
    // Like the program, the tests take the C library's locale from the environment: QApplication
    // sets it.
    QApplication app(argc, argv);
    if (!takesTheAskedLocale())
        return 1;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
