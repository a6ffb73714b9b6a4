#include "app/resultdialog.h"
#include "i18n/translation.h"
#include "platform/dialogs.h"
#include "platform/shell.h"

#include "support/namedchild.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>

namespace
{

TBatchSummary threeEnlarged()
{
    TBatchSummary summary;
    summary.completed = 3;
    summary.totalInputBytes = 1000;
    summary.totalOutputBytes = 4000;
    summary.elapsedMs = 1500;
    return summary;
}

void sendMouse(QWidget* target, QEvent::Type type, Qt::MouseButton button, QPoint global)
{
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(target->mapFromGlobal(global)), QPointF(global),
                      type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// Presses `button` at the middle of `handle`, moves by `by` and releases; returns how far the
// dialog moved.
QPoint drag(ResultDialog& dialog, QWidget* handle, Qt::MouseButton button, QPoint by)
{
    const QPoint before = dialog.pos();
    const QPoint start = handle->mapToGlobal(handle->rect().center());
    sendMouse(handle, QEvent::MouseButtonPress, button, start);
    sendMouse(handle, QEvent::MouseMove, button, start + by);
    sendMouse(handle, QEvent::MouseButtonRelease, button, start + by);
    return dialog.pos() - before;
}

TEST(ResultDialog, DraggedByItsBodyWithAnyButtonButTheRightOne)
{
    ResultDialog dialog(threeEnlarged(), {});
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));

    for (QWidget* handle : {static_cast<QWidget*>(child<QLabel>(dialog, "picture")),
                            static_cast<QWidget*>(child<QLabel>(dialog, "processedCaption")),
                            static_cast<QWidget*>(child<QLabel>(dialog, "sizeChange")),
                            static_cast<QWidget*>(&dialog)}) {
        EXPECT_EQ(drag(dialog, handle, Qt::LeftButton, {30, 20}), QPoint(30, 20))
            << handle->objectName().toStdString();
        EXPECT_EQ(drag(dialog, handle, Qt::RightButton, {30, 20}), QPoint(0, 0))
            << handle->objectName().toStdString();
    }
}

TEST(ResultDialog, EscapeAndCloseEndItAndTheFolderButtonOpensTheResultsFolder)
{
    QList<QUrl> opened;
    platform::SetShellHooksForTesting({[&opened](const QUrl& url) {
                                           opened << url;
                                           return true;
                                       },
                                       nullptr, nullptr});
    const auto unhook = qScopeGuard([] { platform::SetShellHooksForTesting({}); });
    const struct {
        QString resultsFolder;
        QList<QUrl> expected;
    } cases[] = {
        {QStringLiteral("/photos/out"), {QUrl::fromLocalFile(QStringLiteral("/photos/out"))}},
        {QString(), {}}, // no folder: nothing to open
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.resultsFolder.toStdString());
        opened.clear();
        ResultDialog dialog(threeEnlarged(), c.resultsFolder);
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Result"));
        QPushButton* openFolder = child<QPushButton>(dialog, "openFolderButton");
        EXPECT_EQ(openFolder->text(), QStringLiteral("Open Folder Location..."));
        openFolder->click();
        EXPECT_EQ(opened, c.expected);

        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_FALSE(dialog.isVisible());

        dialog.show();
        child<QPushButton>(dialog, "closeButton")->click();
        EXPECT_FALSE(dialog.isVisible());
    }
}

// The failed and aborted rows show only when not 0, one below the other from the first free row,
// and the buttons move down to make room for them.
TEST(ResultDialog, ShowsOnlyTheRowsThatHaveSomethingToSay)
{
    const struct {
        const char* name;
        int failed, aborted;
        std::int64_t output;
    } cases[] = {
        {"nothing placed", 0, 0, 0},
        {"one failed", 1, 0, 4000},
        {"two aborted", 0, 2, 4000},
        {"both", 1, 2, 4000},
    };
    int firstFreeRowY = -1; // where the failed row goes, and the aborted row without it
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TBatchSummary summary = threeEnlarged();
        summary.failed = c.failed;
        summary.aborted = c.aborted;
        summary.totalOutputBytes = c.output;
        ResultDialog dialog(summary, {});
        const auto label = [&dialog](const char* name) { return child<QLabel>(dialog, name); };
        // A count's text, empty while its row is hidden.
        const auto shownCount = [&label](const char* name) {
            return label(name)->isHidden() ? QString() : label(name)->text();
        };
        const auto countText = [](int count) { return count ? QString::number(count) : QString(); };

        EXPECT_EQ(label("processedCount")->text(), QStringLiteral("3"));
        EXPECT_EQ(!label("sizeCaption")->isHidden(), c.output != 0);
        EXPECT_EQ(!label("sizeChange")->isHidden(), c.output != 0);
        EXPECT_EQ(!label("failedCaption")->isHidden(), c.failed != 0);
        EXPECT_EQ(shownCount("failedCount"), countText(c.failed));
        EXPECT_EQ(!label("abortedCaption")->isHidden(), c.aborted != 0);
        EXPECT_EQ(shownCount("abortedCount"), countText(c.aborted));

        if (c.failed && !c.aborted) {
            firstFreeRowY = label("failedCaption")->y();
        } else if (c.aborted && !c.failed) {
            EXPECT_EQ(label("abortedCaption")->y(), firstFreeRowY);
        } else if (c.aborted && c.failed) {
            EXPECT_GT(label("abortedCaption")->y(), label("failedCaption")->y());
            EXPECT_EQ(label("abortedCount")->y(), label("abortedCaption")->y());
        }

        int lowestRow = label("elapsedCaption")->geometry().bottom();
        for (const char* row : {"sizeCaption", "failedCaption", "abortedCaption"})
            if (!label(row)->isHidden())
                lowestRow = std::max(lowestRow, label(row)->geometry().bottom());
        const QPushButton* openFolder = child<QPushButton>(dialog, "openFolderButton");
        const QPushButton* close = child<QPushButton>(dialog, "closeButton");
        EXPECT_GT(openFolder->y(), lowestRow);
        EXPECT_GT(close->y(), openFolder->geometry().bottom());
        EXPECT_LE(close->geometry().bottom(), dialog.height());
    }
}

// The images that failed are listed with their reasons, to scroll and copy; the window grows for
// the list only when there is one. A batch resumed after STOP counts what its first run enlarged.
TEST(ResultDialog, ListsTheFailuresAndCountsAResumedBatchWhole)
{
    const auto failing = [](int count) {
        std::vector<TFailedImage> failures;
        for (int i = 0; i < count; ++i)
            failures.push_back({QStringLiteral("/photos/bad%1.png").arg(i),
                                QStringLiteral("Not an image the program can read: "
                                               "/photos/bad%1.png")
                                    .arg(i)});
        return failures;
    };
    const struct {
        const char* name;
        int completed, completedInList, failures;
        const char* count;
    } cases[] = {
        {"one run, nothing failed", 3, 3, 0, "3"},
        {"resumed", 5, 12, 0, "12 (5 in this run)"},
        {"resumed, two failed", 5, 12, 2, "12 (5 in this run)"},
        {"list unknown, more failed than are listed", 3, -1, 1003, "3"},
    };
    ResultDialog plain(threeEnlarged(), {});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TBatchSummary summary = threeEnlarged();
        summary.completed = c.completed;
        summary.completedInList = c.completedInList;
        summary.failed = c.failures;
        summary.failures = failing(c.failures);
        ResultDialog dialog(summary, {});
        const QLabel* count = child<QLabel>(dialog, "processedCount");
        EXPECT_EQ(count->text(), QLatin1String(c.count));
        EXPECT_LE(count->geometry().right(), dialog.width());
        const QPlainTextEdit* list = child<QPlainTextEdit>(dialog, "failuresList");
        EXPECT_EQ(!list->isHidden(), c.failures != 0);
        const QPushButton* openFolder = child<QPushButton>(dialog, "openFolderButton");
        if (c.failures == 0) {
            EXPECT_EQ(dialog.height(), plain.height());
            continue;
        }
        EXPECT_TRUE(list->isReadOnly());
        EXPECT_TRUE(list->textInteractionFlags() & Qt::TextSelectableByKeyboard);
        const QStringList lines = list->toPlainText().split(QLatin1Char('\n'));
        const int listed = std::min(c.failures, 1000);
        ASSERT_EQ(lines.size(), listed + (c.failures > listed ? 1 : 0));
        EXPECT_EQ(lines[listed - 1],
                  QStringLiteral("bad%1.png \u2014 Not an image the program can read: "
                                 "/photos/bad%1.png")
                      .arg(listed - 1));
        if (c.failures > listed) {
            EXPECT_EQ(lines.last(), QStringLiteral("3 more failed"));
        }
        EXPECT_GT(list->y(), child<QLabel>(dialog, "failedCaption")->geometry().bottom());
        EXPECT_GT(openFolder->y(), list->geometry().bottom());
        EXPECT_LE(child<QPushButton>(dialog, "closeButton")->geometry().bottom(), dialog.height());
    }
}

// In German the counts and the list read in German, and the longer count still fits.
TEST(ResultDialog, ShowsAResumedBatchWithFailuresInGerman)
{
    LanguageFolder = QStringLiteral(GRANDORA_BIN_DIR "/Languages");
    LoadLanguageFile(QStringLiteral("German.lang.txt"));
    const auto english = qScopeGuard([] { UnloadLanguageForTesting(); });
    TBatchSummary summary = threeEnlarged();
    summary.completedInList = 11;
    summary.completed = 8;
    summary.failed = 1;
    summary.failures = {{QStringLiteral("/fotos/text.png"),
                         FillTemplate(TranslateText("Not an image the program can read: %s"),
                                      {QStringLiteral("/fotos/text.png")})}};
    ResultDialog dialog(summary, {});
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Ergebnis"));
    const QLabel* count = child<QLabel>(dialog, "processedCount");
    EXPECT_EQ(count->text(), QStringLiteral("11 (8 in diesem Durchlauf)"));
    EXPECT_LE(count->geometry().right(), dialog.width());
    EXPECT_EQ(child<QPlainTextEdit>(dialog, "failuresList")->toPlainText(),
              QStringLiteral("text.png \u2014 Kein Bild, das das Programm lesen kann: "
                             "/fotos/text.png"));
    EXPECT_EQ(child<QLabel>(dialog, "failedCaption")->text(), TranslateText("Failed Image Files:"));
}

// A results folder that nothing opens is shown to copy.
TEST(ResultDialog, AFolderThatNothingOpensIsShownToCopy)
{
    platform::DialogScript dialogs;
    platform::EnableDialogScriptForTesting(&dialogs);
    platform::SetShellHooksForTesting({[](const QUrl&) { return false; }, nullptr, nullptr});
    const auto unhook = qScopeGuard([] {
        platform::SetShellHooksForTesting({});
        platform::EnableDialogScriptForTesting(nullptr);
    });
    ResultDialog dialog(threeEnlarged(), QStringLiteral("/photos/out"));
    child<QPushButton>(dialog, "openFolderButton")->click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("Nothing on this computer could open the folder. Its path, to "
                             "copy:\n\n/photos/out"));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("WARNING"));
}

} // namespace
