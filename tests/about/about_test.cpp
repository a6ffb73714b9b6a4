#include "about/about.h"
#include "platform/dialogs.h"
#include "platform/shell.h"
#include "support/testenv.h"
#include "support/waitfor.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace
{

// Saves a picture of a window for a person to look at, when GRANDORA_TEST_SNAPSHOTS names a
// folder.
void saveSnapshot(const QImage& image, const QString& name)
{
    if (const QByteArray dir = qgetenv("GRANDORA_TEST_SNAPSHOTS"); !dir.isEmpty())
        image.save(QDir(QString::fromLocal8Bit(dir)).filePath(name));
}

class AboutBoxTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        platform::EnableDialogScriptForTesting(&dialogs);
        platform::SetShellHooksForTesting({[this](const QUrl& url) {
                                               opened.push_back(url);
                                               return desktopOpens;
                                           },
                                           {},
                                           {}});
        folder = testenv::NewFolder(QStringLiteral("about")) + QLatin1Char('/');
        box = new TAboutBox(QStringLiteral("Grandora"), QStringLiteral("1.0"),
                            QStringLiteral("zelmora.test"), folder);
        box->show();
    }

    void TearDown() override
    {
        delete box.data();
        platform::SetShellHooksForTesting({});
        platform::EnableDialogScriptForTesting(nullptr);
    }

    // True when the box has closed and deleted itself.
    bool closedAndGone()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return box.isNull();
    }

    platform::DialogScript dialogs;
    std::vector<QUrl> opened;
    bool desktopOpens = true; // false: the desktop has nothing that opens what it is given
    QString folder;
    QPointer<TAboutBox> box;
};

// The colours of the part of `area` that lies in `image`.
QSet<QRgb> colours(const QImage& image, QRect area)
{
    area = area.intersected(image.rect());
    QSet<QRgb> found;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            found.insert(image.pixel(x, y) | 0xFF000000u);
    return found;
}

TEST_F(AboutBoxTest, ShowsTheProgramOnItsPanelAndStartsTheRain)
{
    EXPECT_EQ(box->windowTitle(), QStringLiteral("About Grandora"));
    EXPECT_EQ(box->Label2->text(), QStringLiteral("Grandora 1.0"));
    EXPECT_EQ(box->Label5->text(), QStringLiteral("zelmora.test"));
    EXPECT_EQ(box->Label5->toolTip(), QStringLiteral("http://zelmora.test/"));
    for (QLabel* picture : {box->Image1, box->Image2, box->ImageEgg})
        EXPECT_FALSE(picture->pixmap().isNull()) << picture->objectName().toStdString();
    EXPECT_EQ(box->PanelEgg->geometry(), QRect((446 - 324) / 2, (374 - 220) / 2, 324, 220));
    EXPECT_FALSE(box->PanelEgg->isVisible());
    EXPECT_TRUE(box->tmTimer->isActive());
    EXPECT_EQ(box->tmTimer->interval(), 50);
    EXPECT_EQ(box->DropCount, box->matrixWidth * 2);
    for (int i = 0; i < box->DropCount; ++i)
        ASSERT_EQ(box->Drops[size_t(i)].column, i % box->matrixWidth);
}

TEST_F(AboutBoxTest, AddDropStopsAtFiveThousand)
{
    box->DropCount = TAboutBox::MaxDrops - 1;
    box->AddDrop();
    EXPECT_EQ(box->DropCount, TAboutBox::MaxDrops);
    const TDrop last = box->Drops.back();
    box->AddDrop();
    EXPECT_EQ(box->DropCount, TAboutBox::MaxDrops);
    EXPECT_EQ(box->Drops.back().row, last.row);
    EXPECT_EQ(box->Drops.back().brightness, last.brightness);
    box->StepMatrix(); // all 5000 drops, within the array
}

TEST_F(AboutBoxTest, ColourFormulas)
{
    struct Case {
        int brightness;
        QColor head;
        QColor trail;
    } cases[] = {
        {0, QColor(0, 0, 0), QColor(0, 0, 0)},
        {1, QColor(1, 2, 0), QColor(0, 0, 0)},
        {50, QColor(74, 127, 49), QColor(24, 42, 16)},
        {99, QColor(148, 252, 98), QColor(49, 84, 32)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.brightness);
        EXPECT_EQ(TAboutBox::HeadColor(c.brightness), c.head);
        EXPECT_EQ(TAboutBox::TrailColor(c.brightness), c.trail);
    }
}

TEST_F(AboutBoxTest, RainDrawsOnlyItsCharactersInHeadAndTrailColours)
{
    box->tmTimer->stop();
    QSet<QRgb> allowed{qRgb(0, 0, 0)};
    for (int b = 0; b < 100; ++b) {
        allowed.insert(TAboutBox::HeadColor(b).rgb());
        allowed.insert(TAboutBox::TrailColor(b).rgb());
    }
    QSet<QChar> drawn;
    for (int frame = 0; frame < 120; ++frame) {
        box->StepMatrix();
        for (int i = 0; i < box->DropCount; ++i) {
            const TDrop& drop = box->Drops[size_t(i)];
            ASSERT_TRUE(box->MatrixChars.contains(drop.character))
                << QString(drop.character).toStdString();
            ASSERT_TRUE(drop.row >= 0 && drop.row <= box->matrixHeight + 1);
            ASSERT_TRUE(drop.speed >= 1 && drop.speed <= 3);
            ASSERT_TRUE(drop.brightness >= 0 && drop.brightness <= 99);
            drawn.insert(drop.character);
        }
    }
    EXPECT_EQ(drawn, (QSet<QChar>{QLatin1Char('z'), QLatin1Char('e'), QLatin1Char('l')}));
    EXPECT_EQ(box->FrameCounter, 120u);
    const QSet<QRgb> onCanvas = colours(box->Canvas(), box->Canvas().rect());
    EXPECT_GT(onCanvas.size(), 1);
    EXPECT_TRUE(allowed.contains(onCanvas)) << "a pixel outside the head and trail colours";
}

TEST_F(AboutBoxTest, DrawDropCharErasesFortyRowsBehindAndDrawsHeadAndTrail)
{
    box->tmTimer->stop();
    box->matrixHeight = 31;
    const int w = box->charWidth;
    const int h = box->charHeight;
    const auto cell = [&](int column, int row) { return QRect(column * w, row * h, w, h); };
    // Rows wrap over matrixHeight + 1 = 32 rows.
    struct Case {
        int row;
        int eraseRow;
    } cases[] = {{0, 24}, {5, 29}, {40, 0}, {41, 1}, {60, 20}, {70, 30}};
    const int visibleRows = box->Canvas().height() / h;
    const QColor white(255, 255, 255);
    int column = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        ++column;
        TDrop stale{column, c.eraseRow, 1, 99, {}};
        box->DrawDropChar(stale, QLatin1Char('l'));
        ASSERT_TRUE(colours(box->Canvas(), cell(column, c.eraseRow))
                        .contains(TAboutBox::HeadColor(99).rgb()));

        TDrop drop{column, c.row, 1, 60, {}};
        box->DrawDropChar(drop, QLatin1Char('e'));
        EXPECT_EQ(drop.character, QLatin1Char('e'));
        EXPECT_EQ(colours(box->Canvas(), cell(column, c.eraseRow)), QSet<QRgb>{qRgb(0, 0, 0)});
        if (c.row < visibleRows) {
            EXPECT_EQ(colours(box->Canvas(), cell(column, c.row)),
                      (QSet<QRgb>{qRgb(0, 0, 0), TAboutBox::HeadColor(60).rgb()}));
        }
        if (c.row > 0 && c.row - 1 != c.eraseRow && c.row < visibleRows) {
            EXPECT_EQ(colours(box->Canvas(), cell(column, c.row - 1)),
                      (QSet<QRgb>{qRgb(0, 0, 0), TAboutBox::TrailColor(60).rgb()}));
        }
    }
}

TEST_F(AboutBoxTest, HiddenPictureSlidesInOnceAndBackOnlyAfterTheSlide)
{
    QTest::mouseDClick(box->Image1, Qt::LeftButton);
    ASSERT_TRUE(box->TimerEgg->isActive());
    EXPECT_TRUE(box->PanelEgg->isVisible());
    ASSERT_TRUE(testenv::WaitFor([&] { return box->Panel1->x() >= 48 + 20; }));

    // A second double-click on the icon and one on the picture during the slide change nothing.
    const int before = box->Panel1->x();
    QTest::mouseDClick(box->Image1, Qt::LeftButton);
    QTest::mouseDClick(box->ImageEgg, Qt::LeftButton);
    EXPECT_GE(box->Panel1->x(), before);
    EXPECT_TRUE(box->PanelEgg->isVisible());
    EXPECT_TRUE(box->TimerEgg->isActive());

    ASSERT_TRUE(testenv::WaitFor([&] { return !box->TimerEgg->isActive(); }));
    EXPECT_GT(box->Panel1->x(), box->width());
    EXPECT_LE(box->Panel1->x(), box->width() + 5);
    EXPECT_EQ((box->Panel1->x() - 48) % 5, 0);
    saveSnapshot(box->grab().toImage(), QStringLiteral("about-hidden-picture.png"));

    QTest::mouseDClick(box->ImageEgg, Qt::LeftButton);
    EXPECT_FALSE(box->PanelEgg->isVisible());
    EXPECT_EQ(box->Panel1->pos(), QPoint(48, 42));
}

TEST_F(AboutBoxTest, DropDownMenuDoesNotReopenWithinAHundredMilliseconds)
{
    std::uint32_t now = 0;
    box->SetTickSourceForTesting([&] { return now; });
    int shown = 0;
    QObject::connect(box->PopupMenu1, &QMenu::aboutToShow, box, [&] {
        ++shown;
        QTimer::singleShot(0, box->PopupMenu1, &QMenu::close);
    });
    // Each menu closes at once, at the tick of its click.
    struct Click {
        std::uint32_t at;
        int shownAfter;
    } clicks[] = {
        {1000, 1},       // opens
        {1099, 1},       // the click that closed it: swallowed, and forgotten
        {1099, 2},       // so the next click opens it
        {1199, 3},       // 100 ms later is a new click
        {0xFFFFFFF0, 4}, // long after
        {0x00000010, 4}, // 32 ms later, across the wrap of the tick count
    };
    for (const Click& click : clicks) {
        SCOPED_TRACE(click.at);
        now = click.at;
        box->BitBtn2->click();
        EXPECT_EQ(shown, click.shownAfter);
    }
}

TEST_F(AboutBoxTest, DraggingMovesTheWindowExceptWithTheRightButton)
{
    struct Case {
        QWidget* part;
        Qt::MouseButton button;
        QPoint moved;
    } cases[] = {
        {box, Qt::LeftButton, {30, 20}},
        {box->Panel1, Qt::LeftButton, {30, 20}},
        {box->Label2, Qt::MiddleButton, {30, 20}},
        {box->Image1, Qt::LeftButton, {-7, 11}},
        {box->Image2, Qt::LeftButton, {5, -5}},
        {box->ImageEgg, Qt::LeftButton, {30, 20}},
        {box, Qt::RightButton, {0, 0}},
        {box->Label2, Qt::RightButton, {0, 0}},
        {box->Image2, Qt::RightButton, {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.part->objectName().toStdString() + " button " +
                     std::to_string(int(c.button)));
        const QPoint start = box->pos();
        const QPoint grab(400, 300);
        const QPoint target = grab + (c.moved.isNull() ? QPoint(30, 20) : c.moved);
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(grab), c.button,
                          c.button, {});
        QApplication::sendEvent(c.part, &press);
        QMouseEvent move(QEvent::MouseMove, QPointF(6, 6), QPointF(target), Qt::NoButton, c.button,
                         {});
        QApplication::sendEvent(c.part, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(6, 6), QPointF(target), c.button,
                            {}, {});
        QApplication::sendEvent(c.part, &release);
        EXPECT_EQ(box->pos() - start, c.moved);
        // After the release further moves do nothing.
        QMouseEvent after(QEvent::MouseMove, QPointF(9, 9), QPointF(target + QPoint(50, 50)),
                          Qt::NoButton, {}, {});
        QApplication::sendEvent(c.part, &after);
        EXPECT_EQ(box->pos() - start, c.moved);
    }
}

TEST_F(AboutBoxTest, LinksOpenTheMakersPages)
{
    QTest::mouseClick(box->Label5, Qt::LeftButton);
    box->Credits1->trigger();
    box->Howtouninstall1->trigger();
    EXPECT_EQ(
        opened,
        (std::vector<QUrl>{
            QUrl(QStringLiteral("http://zelmora.test/")),
            QUrl(QStringLiteral("https://zelmora.test/blog/credits-and-acknowledgements/")),
            QUrl(QStringLiteral("http://zelmora.test/blog/how-to-uninstall-zelmora-software/")),
        }));
    QTest::mouseClick(box->Label5, Qt::RightButton);
    EXPECT_EQ(opened.size(), 3u);
}

TEST_F(AboutBoxTest, LicenseOpensTheTextBesideTheProgramOrSaysItIsMissing)
{
    box->LicensePrivacyPolicy1->trigger();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, platform::DialogRecord::Message);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("File not found!"));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("License"));
    EXPECT_EQ(dialogs.shown[0].flags, 16u);
    EXPECT_TRUE(opened.empty());

    testenv::WriteFile(folder + QStringLiteral("license.txt"), "MIT License\n");
    box->LicensePrivacyPolicy1->trigger();
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(opened,
              std::vector<QUrl>{QUrl::fromLocalFile(folder + QStringLiteral("license.txt"))});
}

// A link that nothing on the desktop opens shows its address or path to copy.
TEST_F(AboutBoxTest, LinksThatOpenNothingShowWhatToCopy)
{
    desktopOpens = false;
    testenv::WriteFile(folder + QStringLiteral("license.txt"), "MIT License\n");
    QTest::mouseClick(box->Label5, Qt::LeftButton);
    box->Credits1->trigger();
    box->LicensePrivacyPolicy1->trigger();
    ASSERT_EQ(dialogs.shown.size(), 3u);
    const QString page =
        QStringLiteral("Nothing on this computer could open the page. Its address, to copy:\n\n");
    EXPECT_EQ(dialogs.shown[0].text, page + QStringLiteral("http://zelmora.test/"));
    EXPECT_EQ(dialogs.shown[1].text,
              page + QStringLiteral("https://zelmora.test/blog/credits-and-acknowledgements/"));
    EXPECT_EQ(dialogs.shown[2].text,
              QStringLiteral("Nothing on this computer could open the file. Its path, to "
                             "copy:\n\n") +
                  folder + QStringLiteral("license.txt"));
    for (const platform::DialogRecord& shown : dialogs.shown)
        EXPECT_EQ(shown.flags, platform::MB_ICONWARNING);
    EXPECT_EQ(opened.size(), 3u);
}

TEST_F(AboutBoxTest, ClosesAndFreesItselfFromOkOrEscapeOnEitherButton)
{
    struct Case {
        const char* what;
        std::function<void(TAboutBox*)> act;
    } cases[] = {
        {"OK", [](TAboutBox* b) { QTest::mouseClick(b->BitBtn1, Qt::LeftButton); }},
        {"Escape on OK", [](TAboutBox* b) { QTest::keyClick(b->BitBtn1, Qt::Key_Escape); }},
        {"Escape on Info", [](TAboutBox* b) { QTest::keyClick(b->BitBtn2, Qt::Key_Escape); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!box) {
            box = new TAboutBox(QStringLiteral("Grandora"), QStringLiteral("1.0"),
                                QStringLiteral("zelmora.test"), folder);
            box->show();
        }
        QPointer<QTimer> rain = box->tmTimer;
        c.act(box);
        EXPECT_TRUE(closedAndGone());
        EXPECT_TRUE(rain.isNull());
    }
}

TEST_F(AboutBoxTest, RainRunsBehindThePanel)
{
    ASSERT_TRUE(testenv::WaitFor([&] { return box->FrameCounter >= 12; }));
    const QRect panel = box->Panel1->geometry();
    // The empty strip of the panel between the logo and the icon, with rain drawn under it.
    const QRect strip(panel.left() + 5, panel.top() + 108, panel.width() - 10, 10);
    TDrop underPanel{
        (strip.left() + 16) / box->charWidth, strip.top() / box->charHeight, 1, 99, {}};
    box->DrawDropChar(underPanel, QLatin1Char('z'));
    box->update();
    const QImage shot = box->grab().toImage();
    saveSnapshot(shot, QStringLiteral("about.png"));

    const QRect left(0, 0, panel.left(), box->height());
    EXPECT_GT(colours(shot, left).size(), 1) << "no rain left of the panel";
    EXPECT_EQ(colours(shot, strip), QSet<QRgb>{qRgb(0, 0, 0)});
    EXPECT_GT(colours(box->Canvas(), strip).size(), 1);
}

} // namespace
