#include "app/appvalues.h"
#include "app/mainwindow.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "support/testenv.h"
#include "support/testwebservice.h"
#include "web/checker.h"
#include "web/checkerstore.h"
#include "web/feedbackform.h"
#include "web/newversion.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

using testweb::Answer;
using testweb::TestWebService;

namespace
{

// The main window against a local stand-in for the maker's web service; the update check's ticks
// are given by the test so that nothing waits a second per tick.
class UpdateCheckTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        platform::SetExecutableFolderForTesting(testenv::NewFolder(QStringLiteral("program")) +
                                                QLatin1Char('/'));
        platform::EnableDialogScriptForTesting(&dialogs);
        SetMakerWebHostForTesting(service.Host());
        service.SetAnswer("/php/check2.php", Answer{testweb::CheckAnswer(
                                                 QStringLiteral("9.9"),
                                                 QStringLiteral("https://zelmora.example/get"))});
        form = std::make_unique<MainWindow>(QStringList());
        form->findChild<QTimer*>(QStringLiteral("updateCheckTimer"))->stop();
        notifications = form->findChild<QAction*>(QStringLiteral("updateNotificationsAction"));
        ASSERT_NE(notifications, nullptr);
        storePath = CheckerStorePath(AppCompanyName, AppProductName);
        QFile::remove(storePath);
    }
    void TearDown() override
    {
        form.reset();
        SetMakerWebHostForTesting(QString());
        platform::EnableDialogScriptForTesting(nullptr);
        platform::SetExecutableFolderForTesting({});
    }

    void tick() { EXPECT_TRUE(QMetaObject::invokeMethod(form.get(), "pollUpdateCheck")); }
    // Ticks the update check until it has been followed up.
    bool tickUntilFollowedUp()
    {
        QElapsedTimer clock;
        clock.start();
        while (!notifications->isEnabled()) {
            if (clock.elapsed() > 10000)
                return false;
            tick();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(20);
        }
        return true;
    }

    platform::DialogScript dialogs;
    TestWebService service;
    std::unique_ptr<MainWindow> form;
    QAction* notifications = nullptr;
    QString storePath;
};

} // namespace

TEST_F(UpdateCheckTest, AnnouncedVersionRaisesTheNoticeAndEnablesTheMenuItem)
{
    EXPECT_FALSE(notifications->isEnabled());
    ASSERT_TRUE(tickUntilFollowedUp());
    EXPECT_TRUE(notifications->isChecked());
    ASSERT_EQ(service.Requests().size(), 1u);
    EXPECT_EQ(service.Requests()[0].Field(QStringLiteral("appname")), AppTitle);
    const auto* notice = form->findChild<TNewVer*>();
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(notice->Label2->text(),
              QStringLiteral("Click to download %1 9.9").arg(AppProductName));
    EXPECT_EQ(notice->LinkAddress(), QUrl(QStringLiteral("https://zelmora.example/get")));

    // The menu item switches the store for the next start.
    notifications->trigger();
    EXPECT_FALSE(notifications->isChecked());
    EXPECT_EQ(CheckerStore(storePath).ReadInteger(QStringLiteral("Settings"),
                                                  QStringLiteral("ShowUpdate"), -1),
              0);
    notifications->trigger();
    EXPECT_EQ(CheckerStore(storePath).ReadInteger(QStringLiteral("Settings"),
                                                  QStringLiteral("ShowUpdate"), -1),
              1);
}

TEST_F(UpdateCheckTest, AnImportantMessageShowsInAWarningBox)
{
    service.SetAnswer("/php/check2.php", Answer{testweb::CheckAnswer(
                                             QStringLiteral("1.0"), QString(), QStringLiteral("1"),
                                             QStringLiteral("Please update soon"))});
    ASSERT_TRUE(tickUntilFollowedUp());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Please update soon"));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("IMPORTANT"));
    EXPECT_EQ(dialogs.shown[0].flags, platform::MB_ICONWARNING);
}

TEST_F(UpdateCheckTest, NotificationsOffLeavesTheItemUncheckedAndAsksNothing)
{
    CheckerStore(storePath).WriteInteger(QStringLiteral("Settings"), QStringLiteral("ShowUpdate"),
                                         0);
    ASSERT_TRUE(tickUntilFollowedUp());
    EXPECT_FALSE(notifications->isChecked());
    EXPECT_TRUE(service.Requests().empty());
    EXPECT_EQ(form->findChild<TNewVer*>(), nullptr);
}

TEST_F(UpdateCheckTest, FeedbackIsSentFromTheHelpMenu)
{
    QTimer::singleShot(0, form.get(), [this] {
        auto* dialog = qobject_cast<TFeedbackForm*>(QApplication::activeModalWidget());
        if (!dialog) {
            ADD_FAILURE() << "no feedback dialog is shown";
            if (QApplication::activeModalWidget())
                QApplication::activeModalWidget()->close();
            return;
        }
        dialog->Memo1->setPlainText(QStringLiteral("Works well"));
        dialog->BitBtn1->click();
        if (dialog->isVisible())
            dialog->close();
    });
    form->findChild<QAction*>(QStringLiteral("sendFeedbackAction"))->trigger();
    ASSERT_EQ(service.Requests().size(), 1u);
    EXPECT_EQ(service.Requests()[0].Field(QStringLiteral("feedback")),
              QStringLiteral("Works well"));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_TRUE(dialogs.shown[0].text.startsWith(QStringLiteral("Your feedback is received.")));
}

TEST_F(UpdateCheckTest, ClosingWhileTheCheckWaitsEndsAtOnce)
{
    const testweb::SilentServer silent;
    SetMakerWebHostForTesting(silent.Host());
    tick();
    QThread::msleep(300);
    tick();
    EXPECT_FALSE(notifications->isEnabled());
    QElapsedTimer clock;
    clock.start();
    form.reset();
    EXPECT_LT(clock.elapsed(), 1000);
}
