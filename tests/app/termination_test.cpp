// Logout, shutdown or `kill` end the program as closing its window does: the batch stops, the
// upscaler ends, nothing is placed, and the instance's own folder goes.
#include "app/application.h"
#include "app/batchcontroller.h"
#include "app/mainwindow.h"
#include "platform/files.h"
#include "support/testenv.h"
#include "support/waitfor.h"

#include <QApplication>
#include <QFileInfo>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace
{

TEST(Termination, TheSignalStopsTheBatchAndRemovesTheInstanceFolder)
{
    const QString programFolder = testenv::NewFolder(QStringLiteral("program")) + QLatin1Char('/');
    platform::SetExecutableFolderForTesting(programFolder);
    testenv::LayOutUpscalerFolder(programFolder + QStringLiteral("realesrgan/"),
                                  QStringLiteral(GRANDORA_FAKE_UPSCALER));
    testenv::WriteFile(programFolder + QStringLiteral("settings.ini"),
                       "[Settings]\nEngine=Upscaler\nModel=Photo\n");
    qputenv("GRANDORA_FAKE_UPSCALER_MODE", "hang");
    const QString folder = testenv::NewFolder(QStringLiteral("photos"));
    const QString image = testenv::WriteImage(folder + QStringLiteral("/a.png"), 8, 8);
    const QByteArray original = testenv::ReadFile(image);

    QuitOnTerminationRequest();
    auto window = std::make_unique<MainWindow>(QStringList{image});
    window->findChild<QTimer*>(QStringLiteral("updateCheckTimer"))->stop();
    auto* batch = window->findChild<BatchController*>(QStringLiteral("batchController"));
    ASSERT_TRUE(testenv::WaitFor(
        [&] {
            return window->findChild<QTabWidget*>()->tabText(0).endsWith(QStringLiteral("[1]"));
        },
        10000));
    window->findChild<QPushButton*>(QStringLiteral("startStopButton"))->click();
    ASSERT_TRUE(testenv::WaitFor([&] { return batch->engine().ProcessId() != 0; }, 30000));
    const auto upscaler = static_cast<pid_t>(batch->engine().ProcessId());
    const QString instanceFolder = batch->tempFolder();
    ASSERT_TRUE(QFileInfo(instanceFolder).isDir());

    bool gaveUp = false;
    QTimer::singleShot(0, [] { ::kill(::getpid(), SIGTERM); });
    QTimer::singleShot(30000, [&gaveUp] {
        gaveUp = true;
        QCoreApplication::quit();
    });
    QApplication::exec();
    EXPECT_FALSE(gaveUp) << "the signal did not end the event loop";
    window.reset();

    EXPECT_NE(::kill(upscaler, 0), 0) << "the upscaler outlived the program";
    EXPECT_FALSE(QFileInfo::exists(instanceFolder));
    EXPECT_EQ(testenv::ReadFile(image), original);
    EXPECT_EQ(testenv::FolderEntries(folder), QStringList{QStringLiteral("a.png")});
    qunsetenv("GRANDORA_FAKE_UPSCALER_MODE");
    platform::SetExecutableFolderForTesting({});
}

} // namespace
