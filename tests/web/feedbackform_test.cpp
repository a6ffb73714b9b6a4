#include "web/feedbackform.h"

#include "i18n/translation.h"
#include "platform/dialogs.h"
#include "support/testenv.h"
#include "support/testwebservice.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using testweb::Answer;
using testweb::TestWebService;

namespace
{

class FeedbackTest : public ::testing::Test
{
protected:
    void SetUp() override { platform::EnableDialogScriptForTesting(&dialogs); }
    void TearDown() override { platform::EnableDialogScriptForTesting(nullptr); }

    std::unique_ptr<TFeedbackForm> makeForm(const QString& host)
    {
        FeedbackConfig config{QStringLiteral("Zelmora - Grandora"), QStringLiteral("Grandora"),
                              QStringLiteral("1.0"), host, PostTimeouts{1000, 1000}};
        auto form = std::make_unique<TFeedbackForm>(config);
        form->show();
        return form;
    }

    platform::DialogScript dialogs;
    TestWebService service;
};

const QString Received = QStringLiteral("Your feedback is received.\r\rThank you!");
const QString NotDelivered = QStringLiteral(
    "Something went wrong. Your feedback could not be delivered.\r\rPlease try again later.");

} // namespace

TEST(IsValidEmail, AcceptsOrdinaryAddressesOnly)
{
    const struct {
        const char* address;
        bool valid;
    } cases[] = {
        {"jane@example.com", true},
        {"jane.doe+news@example.com", true},
        {"jane@my-host.example.com", true},
        {"a_b-c@x.co", true},
        {"jane.example.com", false},
        {"jane@example.", false},
        {"jane@example.com-", false},
        {"jane@example.com.", false},
        {"jane@ex_ample.com", false},
        {"jane@localhost", false},
        {"", false},
        {"jane doe@example.com", false},
        {"j\xC3\xA9@example.com", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsValidEmail(QString::fromUtf8(c.address)), c.valid) << c.address;
}

TEST_F(FeedbackTest, LikedTextIsDeliveredAndTheDialogCloses)
{
    const auto form = makeForm(service.Host());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Grandora feedback"));
    EXPECT_EQ(form->Panel4Text->text(), QStringLiteral("I like it!"));
    QTest::mouseClick(form->Panel4, Qt::LeftButton);
    form->Memo1->setPlainText(QStringLiteral("  Great\nprogram \n"));
    QTest::mouseClick(form->BitBtn1, Qt::LeftButton);

    const auto requests = service.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(
        requests[0].fields,
        (QStringList{QStringLiteral("cmd=feedback"), QStringLiteral("appname=Zelmora - Grandora"),
                     QStringLiteral("version=1.0"),
                     QStringLiteral("feedback=I like it!\rGreat\r\nprogram")}));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, Received);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Success"));
    EXPECT_EQ(dialogs.shown[0].flags, 0x40u);
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(FeedbackTest, SendFlows)
{
    const struct {
        const char* name;
        const char* memo;
        const char* email;
        QByteArray answer;
        int requests;
        int beeps;
        const char* message;
        const char* emailField; // nullptr: no email field
        bool closed;
    } cases[] = {
        {"blank text", " \n\t ", "", "OK", 0, 1, nullptr, nullptr, false},
        {"invalid address", "hi", "jane@", "OK", 0, 0, "Invalid e-mail address!", nullptr, false},
        {"trimmed address", "hi", "  jane@example.com ", "OK", 1, 0, "Your feedback is received.",
         "jane@example.com", true},
        {"OK and a line break", "hi", "", "OK\r\n", 1, 0, "Your feedback is received.", nullptr,
         true},
        {"lower case", "hi", "", "ok", 1, 0, "Something went wrong.", nullptr, false},
        {"full stop", "hi", "", "OK.", 1, 0, "Something went wrong.", nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs = {};
        TestWebService fresh;
        fresh.SetAnswer("/php/feedback.php", Answer{c.answer});
        const auto form = makeForm(fresh.Host());
        QTest::mouseClick(form->Panel5, Qt::LeftButton);
        form->Memo1->setPlainText(QLatin1String(c.memo));
        form->Edit1->setText(QLatin1String(c.email));
        QTest::mouseClick(form->BitBtn1, Qt::LeftButton);

        const auto requests = fresh.Requests();
        ASSERT_EQ(static_cast<int>(requests.size()), c.requests);
        EXPECT_EQ(dialogs.beeps, c.beeps);
        if (c.message) {
            ASSERT_EQ(dialogs.shown.size(), 1u);
            EXPECT_TRUE(dialogs.shown[0].text.startsWith(QLatin1String(c.message)));
        } else {
            EXPECT_TRUE(dialogs.shown.empty());
        }
        if (c.requests) {
            EXPECT_EQ(requests[0].HasField(QStringLiteral("email")), c.emailField != nullptr);
            if (c.emailField) {
                EXPECT_EQ(requests[0].Field(QStringLiteral("email")), QLatin1String(c.emailField));
            }
            EXPECT_TRUE(requests[0]
                            .Field(QStringLiteral("feedback"))
                            .startsWith(QStringLiteral("I dislike it!\r")));
        }
        EXPECT_EQ(form->isVisible(), !c.closed);
    }
}

TEST_F(FeedbackTest, UnreachableServiceReportsFailureAndKeepsTheText)
{
    const auto form = makeForm(testweb::ClosedHost());
    form->Memo1->setPlainText(QStringLiteral("hello"));
    QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, NotDelivered);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Failure"));
    EXPECT_EQ(dialogs.shown[0].flags, 0x10u);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->Memo1->toPlainText(), QStringLiteral("hello"));
}

TEST_F(FeedbackTest, ChoicePanelsToggleWithTheLeftButtonOnly)
{
    const auto form = makeForm(service.Host());
    QTest::mouseClick(form->Panel5, Qt::RightButton);
    EXPECT_FALSE(form->DislikeChosen());
    QTest::mouseClick(form->Image1, Qt::LeftButton);
    EXPECT_TRUE(form->LikeChosen());
    const QColor chosen = form->Panel4->palette().color(QPalette::Window);
    QTest::mouseClick(form->Panel5Text, Qt::LeftButton);
    EXPECT_FALSE(form->LikeChosen());
    EXPECT_TRUE(form->DislikeChosen());
    EXPECT_EQ(form->Panel5->palette().color(QPalette::Window), chosen);
    EXPECT_NE(form->Panel4->palette().color(QPalette::Window), chosen);
    QTest::mouseClick(form->Panel5, Qt::LeftButton);
    EXPECT_FALSE(form->DislikeChosen());
    EXPECT_FALSE(form->LikeChosen());
}

TEST_F(FeedbackTest, TranslatedChoiceIsSentAfterItsEnglishWords)
{
    LanguageFolder = testenv::NewFolder(QStringLiteral("lang")) + QLatin1Char('/');
    testenv::WriteFile(LanguageFolder + QStringLiteral("French.lang.txt"),
                       "{I like it!}J'aime !\n{Send}Envoyer\n");
    LoadLanguageFile(QStringLiteral("French.lang.txt"));
    const auto form = makeForm(service.Host());
    UnloadLanguageForTesting();
    EXPECT_EQ(form->BitBtn1->text(), QStringLiteral("Envoyer"));
    QTest::mouseClick(form->Panel4, Qt::LeftButton);
    form->Memo1->setPlainText(QStringLiteral("Super"));
    QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
    const auto requests = service.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Field(QStringLiteral("feedback")),
              QStringLiteral("I like it! (J'aime !)\rSuper"));
}

TEST_F(FeedbackTest, EscapeClosesFromTextAddressAndButton)
{
    for (const char* name : {"Memo1", "Edit1", "BitBtn1"}) {
        const auto form = makeForm(service.Host());
        form->activateWindow();
        auto* target = form->findChild<QWidget*>(QLatin1String(name));
        ASSERT_NE(target, nullptr);
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Escape);
        EXPECT_FALSE(form->isVisible()) << name;
        EXPECT_EQ(form->result(), QDialog::Rejected);
    }
}

TEST_F(FeedbackTest, TextAndAddressAreLimited)
{
    const auto form = makeForm(service.Host());
    form->Memo1->setPlainText(QString(10050, QLatin1Char('a')));
    EXPECT_EQ(form->Memo1->toPlainText().size(), 10000);
    form->Edit1->setText(QString(150, QLatin1Char('b')));
    EXPECT_EQ(form->Edit1->text().size(), 100);
}
