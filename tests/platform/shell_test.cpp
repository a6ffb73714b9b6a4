#include "platform/shell.h"
#include "support/testenv.h"
#include "support/waitfor.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QUrl>
#include <gtest/gtest.h>

#include <memory>

namespace
{

// A stand-in xdg-open first in PATH: it notes what it was given, then does what a case says.
class ShellOpenTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        bin = testenv::NewFolder(QStringLiteral("bin"));
        given = bin + QStringLiteral("/given.txt");
        savedPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin) + ':' + savedPath);
    }
    void TearDown() override { qputenv("PATH", savedPath); }

    void writeOpener(const QByteArray& then) const
    {
        const QString path = bin + QStringLiteral("/xdg-open");
        testenv::WriteFile(path, "#!/bin/sh\nprintf '%s' \"$1\" > '" + QFile::encodeName(given) +
                                     "'\n" + then + "\n");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    // True once every opener started has ended and been told about.
    static bool openersDone()
    {
        return QCoreApplication::instance()->findChildren<QProcess*>().isEmpty();
    }

    QString bin, given;
    QByteArray savedPath;
};

// Only the opener's own verdict says whether anything opened: xdg-open without a file manager
// starts fine and ends with an error.
TEST_F(ShellOpenTest, AnOpenerThatEndsWithAnErrorIsReported)
{
    const struct {
        const char* then;
        QUrl url;
        bool failed;
    } cases[] = {
        {"exit 0", QUrl::fromLocalFile(QStringLiteral("/photos/out dir")), false},
        {"exit 3", QUrl::fromLocalFile(QStringLiteral("/photos/out dir")), true},
        {"exit 4", QUrl(QStringLiteral("http://example.test/help/a%20b/")), true},
        {"kill -9 $$", QUrl(QStringLiteral("http://example.test/")), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.then);
        writeOpener(c.then);
        QFile::remove(given);
        QObject context;
        int failures = 0;
        platform::ShellOpen(c.url, &context, [&failures] { ++failures; });
        ASSERT_TRUE(testenv::WaitFor(openersDone));
        QCoreApplication::processEvents();
        EXPECT_EQ(failures, c.failed ? 1 : 0);
        // A file goes as its path, an address as it is written.
        EXPECT_EQ(QString::fromUtf8(testenv::ReadFile(given)),
                  c.url.isLocalFile() ? c.url.toLocalFile() : c.url.toString(QUrl::FullyEncoded));
    }
}

// Nothing reaches a window that has gone, and the opener still runs to its end.
TEST_F(ShellOpenTest, AGoneContextHearsNothing)
{
    writeOpener("sleep 0.2; exit 3");
    int failures = 0;
    auto context = std::make_unique<QObject>();
    platform::ShellOpenFile(QStringLiteral("/photos"), context.get(), [&failures] { ++failures; });
    context.reset();
    ASSERT_TRUE(testenv::WaitFor(openersDone));
    QCoreApplication::processEvents();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(testenv::ReadFile(given), QByteArray("/photos"));
}

// Without xdg-open, and with no other way Qt knows, nothing opens and the caller hears so.
TEST_F(ShellOpenTest, NoOpenerAtAllIsReported)
{
    qputenv("PATH", QFile::encodeName(bin));
    const QByteArray browser = qgetenv("BROWSER");
    qunsetenv("BROWSER");
    QObject context;
    int failures = 0;
    platform::ShellOpenFile(QStringLiteral("/photos"), &context, [&failures] { ++failures; });
    if (!browser.isEmpty())
        qputenv("BROWSER", browser);
    EXPECT_EQ(failures, 1);
}

// Without a session bus no file manager can show properties, and the caller hears so at once.
TEST(ShowFileProperties, WithoutASessionBusItIsReported)
{
    const QByteArray saved = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    const QString socket = testenv::NewFolder(QStringLiteral("bus")) + QStringLiteral("/none");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(socket));
    QObject context;
    int failures = 0;
    platform::ShowFileProperties(QStringLiteral("/photos/a.png"), &context,
                                 [&failures] { ++failures; });
    EXPECT_TRUE(testenv::WaitFor([&failures] { return failures > 0; }));
    EXPECT_EQ(failures, 1);
    qputenv("DBUS_SESSION_BUS_ADDRESS", saved);
}

} // namespace
