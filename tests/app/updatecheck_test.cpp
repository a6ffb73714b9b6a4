#include "app/appvalues.h"
#include "app/mainform.h"
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

// The main window against a local stand-in for the maker's web service; TimerChecker's ticks are
// given by the test so that nothing waits a second per tick.
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
        form = std::make_unique<TAppForm>();
        form->TimerChecker->stop();
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

    // Ticks TimerChecker until the check has been followed up.
    bool tickUntilFollowedUp()
    {
        QElapsedTimer clock;
        clock.start();
        while (!form->UpdateNotifications1->isEnabled()) {
            if (clock.elapsed() > 10000)
                return false;
            form->TimerCheckerTimer();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(20);
        }
        return true;
    }

    platform::DialogScript dialogs;
    TestWebService service;
    std::unique_ptr<TAppForm> form;
    QString storePath;
};

} // namespace

TEST_F(UpdateCheckTest, AnnouncedVersionRaisesTheNoticeAndEnablesTheMenuItem)
{
    EXPECT_FALSE(form->UpdateNotifications1->isEnabled());
    ASSERT_TRUE(tickUntilFollowedUp());
    EXPECT_TRUE(form->UpdateNotifications1->isChecked());
    ASSERT_EQ(service.Requests().size(), 1u);
    EXPECT_EQ(service.Requests()[0].Field(QStringLiteral("appname")), AppTitle);
    ASSERT_NE(form->NewVer, nullptr);
    EXPECT_EQ(form->NewVer->Label2->text(),
              QStringLiteral("Click to download %1 9.9").arg(AppProductName));
    EXPECT_EQ(form->NewVer->LinkAddress(), QUrl(QStringLiteral("https://zelmora.example/get")));

    // The menu item switches the store for the next start.
    form->UpdateNotifications1->trigger();
    EXPECT_FALSE(form->UpdateNotifications1->isChecked());
    EXPECT_EQ(CheckerStore(storePath).ReadInteger(QStringLiteral("Settings"),
                                                  QStringLiteral("ShowUpdate"), -1),
              0);
    form->UpdateNotifications1->trigger();
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
    EXPECT_FALSE(form->UpdateNotifications1->isChecked());
    EXPECT_TRUE(service.Requests().empty());
    EXPECT_EQ(form->NewVer, nullptr);
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
    form->SendFeedback1->trigger();
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
    form->TimerCheckerTimer();
    QThread::msleep(300);
    form->TimerCheckerTimer();
    EXPECT_FALSE(form->UpdateNotifications1->isEnabled());
    QElapsedTimer clock;
    clock.start();
    form.reset();
    EXPECT_LT(clock.elapsed(), 1000);
}
