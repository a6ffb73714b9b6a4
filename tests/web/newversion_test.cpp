#include "web/newversion.h"

#include "i18n/translation.h"
#include "platform/shell.h"
#include "support/testenv.h"
#include "support/waitfor.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <gtest/gtest.h>

namespace
{

const QString HomePage = QStringLiteral("http://zelmora.example/");

class NoticeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        platform::SetShellHooksForTesting({[this](const QUrl& url) {
                                               opened.push_back(url);
                                               return true;
                                           },
                                           {},
                                           {}});
        mainWindow.resize(300, 200);
        mainWindow.show();
        mainWindow.activateWindow();
        testenv::WaitFor([this] { return QApplication::activeWindow() == &mainWindow; }, 2000);
    }
    void TearDown() override { platform::SetShellHooksForTesting({}); }

    // A notice that has appeared and finished its opening animation.
    std::unique_ptr<TNewVer>
    shownNotice(const QString& url = QStringLiteral("https://zelmora.example/get"))
    {
        auto notice = std::make_unique<TNewVer>(&mainWindow, QStringLiteral("Grandora"),
                                                QStringLiteral("9.9"), url, HomePage);
        EXPECT_TRUE(testenv::WaitFor(
            [&] { return notice->isVisible() && notice->size() == QSize(320, 68); }, 2000));
        return notice;
    }

    QWidget mainWindow;
    std::vector<QUrl> opened;
};

void sendMouse(QWidget* widget, QEvent::Type type, const QPoint& local, Qt::MouseButton button)
{
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(local), QPointF(widget->mapToGlobal(local)),
                      type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

TEST_F(NoticeTest, AppearsTopRightWithItsTextsAndLeavesTheFocus)
{
    const auto notice = shownNotice();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(notice->geometry(), QRect(screen.right() - 5 - 320 + 1, screen.top() + 5, 320, 68));
    EXPECT_EQ(notice->Label1->text(), QStringLiteral("UPDATE AVAILABLE"));
    EXPECT_EQ(notice->Label2->text(), QStringLiteral("Click to download Grandora 9.9"));
    EXPECT_EQ(notice->Label2->textFormat(), Qt::PlainText);
    EXPECT_TRUE(notice->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(QApplication::activeWindow(), &mainWindow);
}

TEST_F(NoticeTest, TranslatesHeadingAndLinkWordsButNotNameAndVersion)
{
    LanguageFolder = testenv::NewFolder(QStringLiteral("lang")) + QLatin1Char('/');
    testenv::WriteFile(LanguageFolder + QStringLiteral("German.lang.txt"),
                       "{UPDATE AVAILABLE}NEUE VERSION\n{Click to download}Herunterladen:\n");
    LoadLanguageFile(QStringLiteral("German.lang.txt"));
    const TNewVer notice(&mainWindow, QStringLiteral("Grandora"), QStringLiteral("9.9"), QString(),
                         HomePage);
    UnloadLanguageForTesting();
    EXPECT_EQ(notice.Label1->text(), QStringLiteral("NEUE VERSION"));
    EXPECT_EQ(notice.Label2->text(), QStringLiteral("Herunterladen: Grandora 9.9"));
}

TEST_F(NoticeTest, ClosesAfterElevenTicks)
{
    const auto notice = shownNotice();
    for (int tick = 0; tick < 10; ++tick)
        notice->TimerCloseTimer();
    EXPECT_TRUE(notice->isVisible());
    notice->TimerCloseTimer();
    EXPECT_FALSE(notice->TimerClose->isActive());
    EXPECT_TRUE(testenv::WaitFor([&] { return !notice->isVisible(); }, 2000));
}

TEST_F(NoticeTest, LinkOpensOnlyWebAddressesAndClosesTheNotice)
{
    const struct {
        const char* announced;
        const char* opened;
    } cases[] = {
        {"https://zelmora.example/get", "https://zelmora.example/get"},
        {"HTTP://zelmora.example/a?b=c", "http://zelmora.example/a?b=c"},
        {"", "http://zelmora.example/"},
        {"file:///etc/passwd", "http://zelmora.example/"},
        {"javascript:alert(1)", "http://zelmora.example/"},
        {"ftp://zelmora.example/get", "http://zelmora.example/"},
        {"/download", "http://zelmora.example/"},
        {"http://", "http://zelmora.example/"},
    };
    for (const auto& c : cases) {
        auto notice =
            std::make_unique<TNewVer>(&mainWindow, QStringLiteral("Grandora"),
                                      QStringLiteral("9.9"), QLatin1String(c.announced), HomePage);
        EXPECT_EQ(notice->LinkAddress(), QUrl(QLatin1String(c.opened))) << c.announced;
    }

    const auto notice = shownNotice();
    QTest::mouseClick(notice->Label2, Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl(QStringLiteral("https://zelmora.example/get")));
    EXPECT_FALSE(notice->isVisible());
}

TEST_F(NoticeTest, DraggedByItsBodyButNotByLinkButtonOrRightButton)
{
    const struct {
        const char* part;
        Qt::MouseButton button;
        bool moves;
    } cases[] = {
        {"Label1", Qt::LeftButton, true},  {"Image1", Qt::MiddleButton, true},
        {"Panel3", Qt::LeftButton, true},  {"Label1", Qt::RightButton, false},
        {"Label2", Qt::LeftButton, false}, {"Button1", Qt::LeftButton, false},
    };
    for (const auto& c : cases) {
        const auto notice = shownNotice();
        auto* part = notice->findChild<QWidget*>(QLatin1String(c.part));
        ASSERT_NE(part, nullptr);
        const QPoint before = notice->pos();
        sendMouse(part, QEvent::MouseButtonPress, QPoint(5, 5), c.button);
        sendMouse(part, QEvent::MouseMove, QPoint(5 - 30, 5 + 12), c.button);
        sendMouse(part, QEvent::MouseButtonRelease, QPoint(5 - 30, 5 + 12), c.button);
        EXPECT_EQ(notice->pos(), c.moves ? before + QPoint(-30, 12) : before)
            << c.part << " " << c.button;
    }
}

TEST_F(NoticeTest, LinkTakesTheHighlightColourWhileTheMouseIsOverIt)
{
    const auto notice = shownNotice();
    const QColor highlight = QApplication::palette().color(QPalette::Highlight);
    const QColor text = QApplication::palette().color(QPalette::WindowText);
    ASSERT_NE(highlight, text);
    QCursor::setPos(notice->Label2->mapToGlobal(notice->Label2->rect().center()));
    EXPECT_TRUE(testenv::WaitFor(
        [&] { return notice->Label2->palette().color(QPalette::WindowText) == highlight; }, 1000));
    QCursor::setPos(mainWindow.mapToGlobal(QPoint(10, 10)));
    EXPECT_TRUE(testenv::WaitFor(
        [&] { return notice->Label2->palette().color(QPalette::WindowText) == text; }, 1000));
}
