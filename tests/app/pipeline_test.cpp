#include "app/imagelist.h"
#include "app/imagelistmodel.h"
#include "app/imageentry.h"
#include "app/mainform.h"
#include "app/resultform.h"
#include "batch/batchengine.h"
#include "batch/batchsummary.h"
#include "i18n/translation.h"
#include "platform/desktopstatus.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/instancefolder.h"
#include "platform/shell.h"
#include "runner/consolerunner.h"
#include "support/testenv.h"
#include "support/waitfor.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <sys/types.h>

namespace
{

// What the result window showed, taken from it in place of its modal loop.
struct ResultSeen {
    QString count, elapsed, sizeCaption, sizeValue;
    bool sizeRowsShown = false;
    QString failed, aborted; // the counts of their rows; empty while a row is hidden
    QUrl opened;             // what "Open Folder Location..." asked the shell to open
};

// A batch may take a while under the sanitizers.
template <typename Condition> bool waitFor(Condition done, int milliseconds = 60000)
{
    return testenv::WaitFor(done, milliseconds);
}

// A program folder with the fake upscaler as realesrgan/realesrgan-ncnn-vulkan, both models,
// private trash, scripted dialogs and a main window made fresh for each test.
class PipelineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        programFolder = testenv::NewFolder(QStringLiteral("program dir")) + QLatin1Char('/');
        platform::SetExecutableFolderForTesting(programFolder);
        upscalerFolder = programFolder + QStringLiteral("realesrgan/");
        testenv::LayOutUpscalerFolder(upscalerFolder, QStringLiteral(GRANDORA_FAKE_UPSCALER));
        // These batches go through the upscaler's folder, whatever engine this computer would
        // choose by itself; the built-in engine's batches are tested in the batch engine's tests.
        testenv::WriteFile(programFolder + QStringLiteral("settings.ini"),
                           "[Settings]\nEngine=Upscaler\n");

        savedData_ = qgetenv("XDG_DATA_HOME");
        const QString dataHome = testenv::NewFolder(QStringLiteral("data"));
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome));
        trash = dataHome + QStringLiteral("/Trash/");
        argsLog = testenv::NewFolder(QStringLiteral("log")) + QStringLiteral("/args.txt");
        qputenv("GRANDORA_FAKE_UPSCALER_LOG", QFile::encodeName(argsLog));
        qunsetenv("GRANDORA_FAKE_UPSCALER_MODE");

        platform::EnableDialogScriptForTesting(&dialogs);
        platform::SetShellHooksForTesting({[this](const QUrl& url) {
                                               opened << url;
                                               return true;
                                           },
                                           nullptr, nullptr});
        SetResultWindowHookForTesting([this](TFormResult& form) {
            const auto shown = [](QLabel* label) {
                return label->isHidden() ? QString() : label->text();
            };
            ResultSeen seen{form.Label4->text(),
                            form.Label5->text(),
                            form.Label3->text(),
                            form.Label6->text(),
                            !form.Label3->isHidden() && !form.Label6->isHidden(),
                            shown(form.Label8),
                            shown(form.Label10),
                            {}};
            const qsizetype before = opened.size();
            form.Button1->click();
            if (opened.size() > before)
                seen.opened = opened.back();
            results.push_back(seen);
        });
        form = std::make_unique<TAppForm>();
        form->TimerChecker->stop(); // no update check leaves the machine from these tests
        folder = testenv::NewFolder(QStringLiteral("photos")) + QLatin1Char('/');
    }
    void TearDown() override
    {
        form.reset();
        for (const QString& path : readOnly)
            ::chmod(QFile::encodeName(path).constData(), 0755);
        SetResultWindowHookForTesting(nullptr);
        platform::SetDesktopStatusHooksForTesting({});
        platform::SetShellHooksForTesting({});
        platform::EnableDialogScriptForTesting(nullptr);
        platform::SetExecutableFolderForTesting({});
        qputenv("XDG_DATA_HOME", savedData_);
        qunsetenv("GRANDORA_FAKE_UPSCALER_LOG");
        qunsetenv("GRANDORA_FAKE_UPSCALER_MODE");
        qunsetenv("GRANDORA_FAKE_UPSCALER_DELAY_MS");
    }

    void add(const QStringList& paths)
    {
        for (const QString& path : paths)
            AppendImage(form->ImageRecords, path);
        form->ImageAdder.MakeAdditionVisible();
    }
    void choose(int model, int action, const QString& destination = {}, bool recycle = true)
    {
        form->ComboBoxModel->setCurrentIndex(model);
        form->ComboBoxAction->setCurrentIndex(action);
        form->ComboBoxActionChange();
        if (!destination.isEmpty())
            form->ComboBoxDestination->setEditText(destination);
        (recycle ? form->RadioButton1 : form->RadioButton2)->setChecked(true);
    }
    bool idle() const
    {
        return form->ButtonProcess->text() == QStringLiteral("S&tart") &&
               form->ButtonProcess->isEnabled() && !form->Batch->IsBusy();
    }
    // Presses "Start" and waits until the batch has ended.
    void runBatch()
    {
        form->ButtonProcess->click();
        ASSERT_TRUE(waitFor([this] { return idle(); })) << "the batch did not end";
    }
    QStringList statuses() const
    {
        QStringList all;
        for (const TImageEntry& record : form->ImageRecords)
            all << record.status;
        return all;
    }
    QStringList upscalerRuns() const
    {
        const QString text = QString::fromUtf8(testenv::ReadFile(argsLog));
        return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    // Only the owner mark stays in the instance's folder between images.
    QStringList tempLeftovers() const
    {
        QStringList entries = testenv::FolderEntries(form->InstanceFolder->Path());
        entries.removeOne(QStringLiteral(".owner"));
        return entries;
    }
    void makeReadOnly(const QString& path)
    {
        ::chmod(QFile::encodeName(path).constData(), 0555);
        readOnly << path;
    }

    QString programFolder, upscalerFolder, trash, argsLog, folder;
    QByteArray savedData_;
    QStringList readOnly;
    platform::DialogScript dialogs;
    QList<QUrl> opened;
    std::vector<ResultSeen> results;
    std::unique_ptr<TAppForm> form;
};

enum Action { ResizeOriginal = 0, CreateCopies = 1 };
enum Model { Artwork = 0, Photo = 1 };

// Where the results went decides what "Open Folder Location..." opens; where they are placed is
// the batch engine's own test.
TEST_F(PipelineTest, ACompletedBatchShowsItsStatusesAndOpensWhereTheResultsWent)
{
    struct Case {
        const char* name;
        Action action;
        bool intoDestination;
        const char* expected; // where the enlarged image must stand
    } cases[] = {
        {"replace", ResizeOriginal, false, "a.png"},
        {"copy beside", CreateCopies, false, "a (2).png"},
        {"copy into a folder", CreateCopies, true, "a.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString photos = testenv::NewFolder(QStringLiteral("photos")) + QLatin1Char('/');
        const QString original = testenv::WriteImage(photos + QStringLiteral("a.png"), 8, 6);
        const QString destination =
            c.intoDestination ? testenv::NewFolder(QStringLiteral("dest")) + QLatin1Char('/')
                              : photos;
        form->Clear1->trigger();
        add({original});
        choose(Photo, c.action, c.intoDestination ? destination.chopped(1) : QString());
        results.clear();

        runBatch();

        EXPECT_EQ(statuses(), QStringList{QStringLiteral("Completed")});
        EXPECT_EQ(testenv::ImageSize(destination + QLatin1String(c.expected)), QSize(32, 24));
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0].count, QStringLiteral("1"));
        EXPECT_EQ(results[0].opened, QUrl::fromLocalFile(destination.chopped(1)));
        EXPECT_EQ(form->StatusText(), QStringLiteral("Completed"));
        EXPECT_EQ(form->ProgressBar1->value(), form->ProgressBar1->maximum());
        EXPECT_TRUE(form->StatusProgress->text().isEmpty());
    }
    EXPECT_TRUE(tempLeftovers().isEmpty());
}

TEST_F(PipelineTest, StartChecksWarnAndLeaveTheWindowIdle)
{
    form->ButtonProcess->click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("No image files have been added!"));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("WARNING"));
    EXPECT_EQ(dialogs.shown[0].flags, platform::MB_ICONWARNING);
    EXPECT_EQ(form->PageControl1->currentIndex(), 0);
    EXPECT_EQ(form->ButtonProcess->text(), QStringLiteral("S&tart"));

    add({testenv::WriteImage(folder + QStringLiteral("a.png"), 4, 4)});
    const QString locked = testenv::NewFolder(QStringLiteral("locked"));
    makeReadOnly(locked);
    struct Case {
        QString destination;
        const char* warning;
    } cases[] = {
        {locked + QStringLiteral("/new/deeper"), "Directory does not exist!"},
        {locked, "Unable to write to directory!"},
        {QString(), "Directory does not exist!"},
    };
    for (const Case& c : cases) {
        choose(Photo, CreateCopies, c.destination);
        form->ComboBoxDestination->setEditText(c.destination);
        dialogs.shown.clear();
        form->ButtonProcess->click();
        ASSERT_EQ(dialogs.shown.size(), 1u) << c.destination.toStdString();
        EXPECT_EQ(dialogs.shown[0].text, QLatin1String(c.warning));
        EXPECT_EQ(form->ButtonProcess->text(), QStringLiteral("S&tart"));
        EXPECT_TRUE(upscalerRuns().isEmpty());
    }

    // A destination typed with missing parents is made and used.
    const QString fresh = testenv::NewFolder(QStringLiteral("out")) + QStringLiteral("/x/y");
    choose(Photo, CreateCopies, fresh);
    dialogs.shown.clear();
    runBatch();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(testenv::ImageSize(fresh + QStringLiteral("/a.png")), QSize(16, 16));

    // With "Resize Original" the destination plays no part and is not checked.
    form->Clear1->trigger();
    add({folder + QStringLiteral("a.png")});
    choose(Photo, ResizeOriginal, locked + QStringLiteral("/never"));
    runBatch();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(QFileInfo::exists(locked + QStringLiteral("/never")));
    EXPECT_EQ(testenv::ImageSize(folder + QStringLiteral("a.png")), QSize(16, 16));

    // Nothing is enlarged twice: with every row completed, Start only says so.
    runBatch();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("Every image in the list has been enlarged already."));
    EXPECT_EQ(upscalerRuns().size(), 2);

    // A missing model is named before any image is tried.
    QFile::remove(upscalerFolder + QStringLiteral("models/realesrgan-x4plus-anime.param"));
    add({testenv::WriteImage(folder + QStringLiteral("b.png"), 4, 4)});
    choose(Artwork, ResizeOriginal);
    dialogs.shown.clear();
    runBatch();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("The model of this image type is missing: "
                             "realesrgan-x4plus-anime.param. Its files belong in the folder ") +
                  upscalerFolder + QStringLiteral("models/"));
    EXPECT_EQ(upscalerRuns().size(), 2);
    EXPECT_EQ(statuses().last(), QString());
}

// Whatever stops an image is told on its row and in the status bar, never in a box per image.
TEST_F(PipelineTest, AnImageThatCannotBeEnlargedFailsWithItsReasonAndNoBox)
{
    const QString a = testenv::WriteImage(folder + QStringLiteral("a.png"), 8, 8);
    const QString b = testenv::WriteImage(folder + QStringLiteral("b.png"), 8, 8);
    const QString program = upscalerFolder + QStringLiteral("realesrgan-ncnn-vulkan");
    struct Case {
        const char* name;
        std::function<void()> breakIt;
        QString status; // the status bar at the end
    } cases[] = {
        {"images gone",
         [&] {
             QFile::remove(a);
             QFile::remove(b);
         },
         QStringLiteral("2 failed; the reasons are on the rows")},
        {"not a program",
         [&] {
             testenv::WriteImage(a, 8, 8);
             testenv::WriteImage(b, 8, 8);
             QFile::remove(program);
             testenv::WriteFile(program, "text");
             QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
         },
         QStringLiteral("2 failed: The upscaler could not be started: Exec format error")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form->Clear1->trigger();
        add({a, b});
        c.breakIt();
        choose(Artwork, ResizeOriginal, {}, false);
        results.clear();

        runBatch();

        EXPECT_EQ(statuses(), (QStringList{QStringLiteral("Failed"), QStringLiteral("Failed")}));
        EXPECT_TRUE(dialogs.shown.empty());
        EXPECT_EQ(form->StatusText(), c.status);
        EXPECT_TRUE(upscalerRuns().isEmpty());
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0].count, QStringLiteral("0"));
        EXPECT_EQ(results[0].failed, QStringLiteral("2"));
        EXPECT_FALSE(results[0].sizeRowsShown);
    }
}

// A batch that can be followed: the bar fills across the batch, "n / N" and the running row's
// percentage show, the options are locked; STOP then Start finishes only what is left.
TEST_F(PipelineTest, ABatchCanBeFollowedStoppedAndFinished)
{
    qputenv("GRANDORA_FAKE_UPSCALER_MODE", "slow");
    qputenv("GRANDORA_FAKE_UPSCALER_DELAY_MS", "60");
    const QStringList images{testenv::WriteImage(folder + QStringLiteral("a.png"), 8, 8),
                             testenv::WriteImage(folder + QStringLiteral("b.png"), 8, 8),
                             testenv::WriteImage(folder + QStringLiteral("c.png"), 8, 8)};
    add(images);
    choose(Photo, CreateCopies);
    QList<int> values;
    QObject::connect(form->ProgressBar1, &QProgressBar::valueChanged,
                     [&](int value) { values << value; });
    QList<double> launcher; // what the launcher icon showed; -1: hidden
    QStringList notifications;
    platform::SetDesktopStatusHooksForTesting(
        {[&](double fraction, bool visible) { launcher << (visible ? fraction : -1); },
         [&](const QString& summary, const QString& body) {
             notifications << summary + QStringLiteral(": ") + body;
         }});
    QStringList seenStatuses;
    QObject::connect(form->ListModel, &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex& from) { seenStatuses << statuses().at(from.row()); });
    const QList<QWidget*> options{form->ComboBoxModel,       form->ComboBoxAction,
                                  form->ComboBoxDestination, form->ButtonBrowse,
                                  form->RadioButton1,        form->RadioButton2};
    const auto optionsEnabled = [&] {
        return std::all_of(options.begin(), options.end(),
                           [](QWidget* w) { return w->isEnabled(); }) &&
               form->ResettoDefaults1->isEnabled() && form->Language1->isEnabled();
    };
    const auto optionsDisabled = [&] {
        return std::none_of(options.begin(), options.end(),
                            [](QWidget* w) { return w->isEnabled(); }) &&
               !form->ResettoDefaults1->isEnabled() && !form->Language1->isEnabled();
    };

    form->ButtonProcess->click();
    EXPECT_EQ(form->ButtonProcess->text(), QStringLiteral("S&TOP"));
    EXPECT_GT(form->ProgressBar1->maximum(), 0) << "a real bar, not a marquee";
    EXPECT_EQ(form->StatusProgress->text(), QStringLiteral("1 / 3"));
    ASSERT_TRUE(
        waitFor([this] { return statuses().first().startsWith(QStringLiteral("Processing...")); }));
    EXPECT_TRUE(optionsDisabled());
    EXPECT_FALSE(form->Delete1->isEnabled());
    EXPECT_FALSE(form->Clear1->isEnabled());
    EXPECT_FALSE(form->Clear2->isEnabled());
    // Adding stays allowed while the batch runs.
    EXPECT_TRUE(form->ButtonFiles->isEnabled());
    ASSERT_TRUE(waitFor([this] { return form->Batch->CurrentIndex() == 1; }));
    EXPECT_TRUE(form->StatusProgress->text().startsWith(QStringLiteral("2 / 3")));
    EXPECT_TRUE(seenStatuses.contains(QStringLiteral("Processing... 50%")));
    ASSERT_TRUE(waitFor([this] { return statuses()[1].endsWith(QStringLiteral("%")); }));

    form->ButtonProcess->click();
    EXPECT_EQ(form->StatusText(), QStringLiteral("Aborted"));
    EXPECT_EQ(form->ButtonProcess->text(), QStringLiteral("S&tart"));
    EXPECT_FALSE(form->ButtonProcess->isEnabled()); // not before the stopped run has ended
    ASSERT_TRUE(waitFor([this] { return idle(); }));
    EXPECT_TRUE(optionsEnabled());
    EXPECT_TRUE(form->Delete1->isEnabled());
    EXPECT_EQ(statuses(),
              (QStringList{QStringLiteral("Completed"), QStringLiteral("Aborted"), QString()}));
    EXPECT_TRUE(results.empty());
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end())) << "the bar never goes back";
    EXPECT_EQ(upscalerRuns().size(), 1);
    EXPECT_TRUE(tempLeftovers().isEmpty());

    // Start again: the completed image is left alone, the rest are enlarged.
    qunsetenv("GRANDORA_FAKE_UPSCALER_MODE");
    values.clear();
    form->ButtonProcess->click();
    EXPECT_EQ(statuses().first(), QStringLiteral("Completed"));
    EXPECT_EQ(form->StatusProgress->text(), QStringLiteral("1 / 2"));
    ASSERT_TRUE(waitFor([this] { return idle(); }));
    EXPECT_EQ(statuses(), (QStringList{QStringLiteral("Completed"), QStringLiteral("Completed"),
                                       QStringLiteral("Completed")}));
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_EQ(form->ProgressBar1->value(), form->ProgressBar1->maximum());
    EXPECT_TRUE(optionsEnabled());
    EXPECT_EQ(upscalerRuns().size(), 2) << "one run for all three, one for the two left";
    EXPECT_EQ(testenv::FolderEntries(folder),
              (QStringList{QStringLiteral("a (2).png"), QStringLiteral("a.png"),
                           QStringLiteral("b (2).png"), QStringLiteral("b.png"),
                           QStringLiteral("c (2).png"), QStringLiteral("c.png")}));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].count, QStringLiteral("2"));
    // Outside the window the launcher showed the progress, and the end was announced because
    // the window was not the active one.
    ASSERT_GE(launcher.size(), 3);
    EXPECT_EQ(launcher.last(), -1);
    EXPECT_DOUBLE_EQ(*std::max_element(launcher.begin(), launcher.end()), 1.0);
    EXPECT_EQ(notifications,
              QStringList{QStringLiteral("The batch has ended: 2 completed, 0 failed")});
    platform::SetDesktopStatusHooksForTesting({});
}

// The options added below the first ones are locked with them while a batch runs; afterwards each
// comes back as far as its rule allows: the output format and quality only for copies.
TEST_F(PipelineTest, TheLaterOptionsAreLockedDuringABatchAndFollowTheirRulesAfter)
{
    qputenv("GRANDORA_FAKE_UPSCALER_MODE", "slow");
    qputenv("GRANDORA_FAKE_UPSCALER_DELAY_MS", "60");
    for (const QString& file : MissingModelFiles(upscalerFolder, TImageType::Photo, TSpeed::Fast))
        testenv::WriteFile(file, "model");
    add({testenv::WriteImage(folder + QStringLiteral("a.png"), 8, 8)});
    const QList<QWidget*> options{form->ComboBoxScale, form->ComboBoxFormat, form->SpinEditQuality,
                                  form->ComboBoxSpeed, form->CheckBoxMetadata};
    const struct {
        Action action;
        bool formatEnabled; // and the quality, since JPEG is chosen
    } cases[] = {{CreateCopies, true}, {ResizeOriginal, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action == CreateCopies ? "copies" : "replace");
        choose(Photo, CreateCopies);
        form->ComboBoxFormat->setCurrentIndex(2);
        form->ComboBoxFormatChange();
        choose(Photo, c.action);

        form->ButtonProcess->click();
        ASSERT_TRUE(waitFor(
            [this] { return statuses().first().startsWith(QStringLiteral("Processing...")); }));
        for (QWidget* control : options)
            EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
        form->ButtonProcess->click();
        ASSERT_TRUE(waitFor([this] { return idle(); }));

        EXPECT_TRUE(form->ComboBoxScale->isEnabled());
        EXPECT_TRUE(form->ComboBoxSpeed->isEnabled());
        EXPECT_TRUE(form->CheckBoxMetadata->isEnabled());
        EXPECT_EQ(form->ComboBoxFormat->isEnabled(), c.formatEnabled);
        EXPECT_EQ(form->SpinEditQuality->isEnabled(), c.formatEnabled);
    }
}

// What a completed image lost is told in the status bar and kept on its row; the end of the batch
// adds it to what the end says.
TEST_F(PipelineTest, ANoteOfACompletedImageShowsAsItArrivesOnItsRowAndAtTheEnd)
{
    add({folder + QStringLiteral("a.jpg"), folder + QStringLiteral("b.jpg")});
    const QString note =
        QStringLiteral("Metadata could not be kept: ") + folder + QStringLiteral("b.jpg");
    TImageResult plain;
    plain.outcome = TImageOutcome::Completed;
    TImageResult noted = plain;
    noted.note = note;
    form->SetStatusText(QStringLiteral("before"));
    form->ConsoleRunner1Terminated(0, plain);
    EXPECT_EQ(form->StatusText(), QStringLiteral("before"));
    form->ConsoleRunner1Terminated(1, noted);
    EXPECT_EQ(form->StatusText(), note);
    EXPECT_EQ(statuses(), (QStringList{QStringLiteral("Completed"), QStringLiteral("Completed")}));
    const auto tip = [this](int row) {
        return form->ListModel->index(row, ImageListModel::StatusColumn).data(Qt::ToolTipRole);
    };
    EXPECT_FALSE(tip(0).isValid());
    EXPECT_EQ(tip(1), note);

    const struct {
        int failed;
        const char* commonFailure;
        int noted;
        QString ending;
    } cases[] = {
        {0, "", 0, QStringLiteral("Completed")},
        {0, "", 1, QStringLiteral("Completed \u00b7 ") + note},
        {2, "", 1, QStringLiteral("2 failed; the reasons are on the rows \u00b7 ") + note},
        {2, "Disk full", 3,
         QStringLiteral("2 failed: Disk full \u00b7 3 notes, the last: ") + note},
    };
    for (const auto& c : cases) {
        TBatchSummary summary;
        summary.completed = 2;
        summary.failed = c.failed;
        summary.commonFailure = QLatin1String(c.commonFailure);
        summary.noted = c.noted;
        summary.lastNote = c.noted ? note : QString();
        form->Bitti(summary);
        EXPECT_EQ(form->StatusText(), c.ending);
    }
    EXPECT_EQ(results.size(), std::size(cases));
}

TEST_F(PipelineTest, ClosingDuringABatchAsksFirst)
{
    qputenv("GRANDORA_FAKE_UPSCALER_MODE", "hang");
    const QString a = testenv::WriteImage(folder + QStringLiteral("a.png"), 8, 8);
    const QByteArray before = testenv::ReadFile(a);
    add({a});
    choose(Photo, ResizeOriginal, {}, false);
    QApplication::setQuitOnLastWindowClosed(false);
    form->show();
    form->ButtonProcess->click();
    ASSERT_TRUE(waitFor([this] { return form->Batch->ProcessId() != 0; }));
    const auto child = static_cast<pid_t>(form->Batch->ProcessId());

    dialogs.answers.push_back(platform::IDNO);
    EXPECT_FALSE(form->close());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("A batch is running. Stop it and quit?"));
    EXPECT_TRUE(form->Batch->IsRunning());
    EXPECT_TRUE(form->isVisible());

    dialogs.answers.push_back(platform::IDYES);
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(waitFor([child] { return testenv::ProcessEnded(child); }, 10000));
    EXPECT_EQ(testenv::ReadFile(a), before);
    QApplication::setQuitOnLastWindowClosed(true);
}

TEST_F(PipelineTest, ClosingTheWindowDuringABatchEndsTheUpscalerAndKeepsTheOriginal)
{
    qputenv("GRANDORA_FAKE_UPSCALER_MODE", "hang");
    const QString a = testenv::WriteImage(folder + QStringLiteral("a.png"), 8, 8);
    const QByteArray before = testenv::ReadFile(a);
    add({a});
    choose(Photo, ResizeOriginal, {}, false);
    form->ButtonProcess->click();
    ASSERT_TRUE(waitFor([this] { return form->Batch->ProcessId() != 0; }));
    const auto child = static_cast<pid_t>(form->Batch->ProcessId());
    const QString temp = form->InstanceFolder->Path();

    form.reset();

    EXPECT_TRUE(waitFor([child] { return testenv::ProcessEnded(child); }, 10000));
    EXPECT_EQ(testenv::ReadFile(a), before);
    EXPECT_EQ(testenv::FolderEntries(folder), QStringList{QStringLiteral("a.png")});
    EXPECT_FALSE(QFileInfo::exists(temp)) << "the instance's folder goes with it";
}

TEST_F(PipelineTest, TwoEntriesOfOneFileEnlargeItTwiceWhenReplacing)
{
    const QString a = testenv::WriteImage(folder + QStringLiteral("a.png"), 4, 3);
    const QByteArray original = testenv::ReadFile(a);
    add({a, a});
    choose(Photo, ResizeOriginal, {}, true);

    runBatch();

    EXPECT_EQ(statuses(), (QStringList{QStringLiteral("Completed"), QStringLiteral("Completed")}));
    EXPECT_EQ(testenv::ImageSize(a), QSize(64, 48));
    EXPECT_EQ(testenv::ReadFile(trash + QStringLiteral("files/a.png")), original);
    EXPECT_EQ(testenv::ImageSize(trash + QStringLiteral("files/a.2.png")), QSize(16, 12));
}

TEST_F(PipelineTest, AnOriginalInAReadOnlyFolderStaysAndTheBatchGoesOn)
{
    const QString lockedFolder = testenv::NewFolder(QStringLiteral("locked")) + QLatin1Char('/');
    const QString locked = testenv::WriteImage(lockedFolder + QStringLiteral("a.png"), 8, 8);
    const QByteArray before = testenv::ReadFile(locked);
    makeReadOnly(lockedFolder);
    const QString free = testenv::WriteImage(folder + QStringLiteral("b.png"), 8, 8);

    for (bool recycle : {true, false}) {
        form->Clear1->trigger();
        add({locked, free});
        choose(Photo, ResizeOriginal, {}, recycle);
        testenv::WriteImage(free, 8, 8);
        runBatch();
        EXPECT_EQ(statuses(), (QStringList{QStringLiteral("Failed"), QStringLiteral("Completed")}));
        EXPECT_EQ(testenv::ReadFile(locked), before);
        EXPECT_EQ(testenv::FolderEntries(lockedFolder), QStringList{QStringLiteral("a.png")});
        EXPECT_EQ(testenv::ImageSize(free), QSize(32, 32));
        EXPECT_TRUE(form->StatusText().startsWith(
            QStringLiteral("1 failed: Could not write the enlarged image: ")))
            << form->StatusText().toStdString();
    }
}

TEST_F(PipelineTest, AnyFileNameReachesTheUpscalerAsOneArgument)
{
    const QString odd =
        testenv::WriteImage(folder + QStringLiteral("-my \"best\" f\u00f6to \\ 'x'.PNG"), 8, 8);
    add({odd});
    choose(Photo, CreateCopies);

    runBatch();

    EXPECT_EQ(statuses(), QStringList{QStringLiteral("Completed")});
    const QStringList runs = upscalerRuns();
    ASSERT_EQ(runs.size(), 1);
    const QStringList args = runs[0].split(QLatin1Char('\t'));
    EXPECT_EQ(args,
              (QStringList{QStringLiteral("-i"), odd, QStringLiteral("-o"),
                           form->InstanceFolder->Path() + QStringLiteral("zelimageupscale.png"),
                           QStringLiteral("-n"), QStringLiteral("realesrgan-x4plus")}));
    EXPECT_EQ(testenv::ImageSize(folder + QStringLiteral("-my \"best\" f\u00f6to \\ 'x' (2).PNG")),
              QSize(32, 32));
}

TEST_F(PipelineTest, ALeftoverTemporaryFileThatCannotGoIsNotReused)
{
    const QString temp = form->InstanceFolder->Path();
    // A folder in the way cannot be removed like a file.
    QDir().mkpath(temp + QStringLiteral("zelimageupscale.png"));
    add({testenv::WriteImage(folder + QStringLiteral("a.png"), 8, 8)});
    choose(Photo, CreateCopies);

    runBatch();

    EXPECT_EQ(statuses(), QStringList{QStringLiteral("Completed")});
    ASSERT_EQ(upscalerRuns().size(), 1);
    EXPECT_TRUE(upscalerRuns()[0].contains(QStringLiteral("zelimageupscale (2).png")));
    QDir(temp + QStringLiteral("zelimageupscale.png")).removeRecursively();
}

TEST_F(PipelineTest, TheResultWindowSumsUpTheBatch)
{
    const QString a = testenv::WriteImage(folder + QStringLiteral("a.png"), 8, 8);
    const QString b = testenv::WriteImage(folder + QStringLiteral("b.png"), 12, 8);
    testenv::WriteFile(folder + QStringLiteral("c.png"), "not an image"); // fails, but counts
    add({a, b, folder + QStringLiteral("c.png")});
    const qint64 input = QFileInfo(a).size() + QFileInfo(b).size() +
                         QFileInfo(folder + QStringLiteral("c.png")).size();
    const QString destination = testenv::NewFolder(QStringLiteral("dest"));
    choose(Photo, CreateCopies, destination);

    runBatch();

    EXPECT_EQ(statuses(), (QStringList{QStringLiteral("Completed"), QStringLiteral("Completed"),
                                       QStringLiteral("Failed")}));
    const qint64 output = QFileInfo(destination + QStringLiteral("/a.png")).size() +
                          QFileInfo(destination + QStringLiteral("/b.png")).size();
    ASSERT_EQ(results.size(), 1u);
    const ResultSeen& seen = results[0];
    EXPECT_EQ(seen.count, QStringLiteral("2"));
    EXPECT_EQ(seen.failed, QStringLiteral("1"));
    EXPECT_TRUE(seen.aborted.isEmpty());
    // The failure and its reason outlast the end of the batch; the row keeps its reason.
    const QString reason =
        QStringLiteral("Not an image the program can read: ") + folder + QStringLiteral("c.png");
    EXPECT_EQ(form->StatusText(), QStringLiteral("1 failed: ") + reason);
    EXPECT_EQ(form->ListModel->index(2, ImageListModel::StatusColumn).data(Qt::ToolTipRole),
              reason);
    EXPECT_FALSE(
        form->ListModel->index(0, ImageListModel::StatusColumn).data(Qt::ToolTipRole).isValid());
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^\\d+\\.\\d seconds$")).match(seen.elapsed).hasMatch())
        << seen.elapsed.toStdString();
    EXPECT_TRUE(seen.sizeRowsShown);
    const TSizeChange change = SizeChangeText(input, output);
    EXPECT_EQ(seen.sizeCaption, change.caption);
    EXPECT_EQ(seen.sizeValue, change.value);
    EXPECT_EQ(seen.opened, QUrl::fromLocalFile(destination));
}

TEST_F(PipelineTest, BrowseSetsAndStoresTheDestination)
{
    const QString chosen = testenv::NewFolder(QStringLiteral("chosen"));
    choose(Photo, CreateCopies);
    dialogs.fileAnswers.push_back({chosen});

    form->ButtonBrowse->click();

    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Select folder:"));
    EXPECT_EQ(form->ComboBoxDestination->currentText(), chosen);
    EXPECT_EQ(LastFolder, chosen);
    EXPECT_TRUE(QString::fromUtf8(testenv::ReadFile(programFolder + QStringLiteral("settings.ini")))
                    .contains(QStringLiteral("Destination=") + chosen));

    // Cancelled: nothing changes.
    form->ButtonBrowse->click();
    EXPECT_EQ(form->ComboBoxDestination->currentText(), chosen);
}

// A new user gets an image type whose model is there.
TEST_F(PipelineTest, TheFirstStartChoosesAnImageTypeWhoseModelIsInstalled)
{
    EXPECT_EQ(form->ComboBoxModel->currentIndex(), 0);
    QFile::remove(upscalerFolder + QStringLiteral("models/realesrgan-x4plus-anime.bin"));
    form = std::make_unique<TAppForm>();
    form->TimerChecker->stop();
    EXPECT_EQ(form->ComboBoxModel->currentIndex(), 1);
    // A stored choice is kept even so; Start then names what is missing.
    form->ComboBoxModel->setCurrentIndex(0);
    emit form->ComboBoxModel->activated(0);
    form = std::make_unique<TAppForm>();
    form->TimerChecker->stop();
    EXPECT_EQ(form->ComboBoxModel->currentIndex(), 0);
}

// The real upscaler on three tiny images in one run, one of them cut short and one a BMP that it
// cannot read itself, when scripts/get-upscaler has provisioned it: the same statuses as one run
// per image.
TEST_F(PipelineTest, RealUpscalerEnlargesPhotosInOneRunAsOneByOne)
{
    const QString real = QStringLiteral(GRANDORA_BIN_DIR "/realesrgan");
    if (!QFileInfo(real + QStringLiteral("/realesrgan-ncnn-vulkan")).isExecutable() ||
        !QFileInfo::exists(real + QStringLiteral("/models/realesrgan-x4plus.bin")))
        GTEST_SKIP() << "the real upscaler is not provisioned in " << real.toStdString()
                     << " (scripts/get-upscaler provisions it)";
    QDir(upscalerFolder).removeRecursively();
    ASSERT_TRUE(QFile::link(real, programFolder + QStringLiteral("realesrgan")));
    QImage image(16, 16, QImage::Format_RGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            image.setPixel(x, y, qRgb(x * 16, y * 16, 128));
    const QStringList images{folder + QStringLiteral("photo one.png"),
                             folder + QStringLiteral("broken.png"),
                             folder + QStringLiteral("photo three.bmp")};
    ASSERT_TRUE(image.save(images[0]));
    ASSERT_TRUE(image.save(images[1]));
    // Its header still says PNG, so only the upscaler finds out.
    testenv::WriteFile(images[1], testenv::ReadFile(images[1]).left(40));
    ASSERT_TRUE(image.mirrored().save(images[2]));
    choose(Photo, CreateCopies);

    QList<QStringList> seen;
    for (int perRun : {100, 1}) {
        SCOPED_TRACE(perRun);
        form->Clear1->trigger();
        add(images);
        form->Batch->SetImagesPerRun(perRun);
        form->ButtonProcess->click();
        ASSERT_TRUE(waitFor([this] { return idle(); }, 600000));
        seen << statuses();
    }
    EXPECT_EQ(seen[0], (QStringList{QStringLiteral("Completed"), QStringLiteral("Failed"),
                                    QStringLiteral("Completed")}));
    EXPECT_EQ(seen[1], seen[0]);
    for (const char* name : {"photo one (2).png", "photo three (2).bmp", "photo one (3).png"}) {
        const QImage enlarged(folder + QLatin1String(name));
        ASSERT_EQ(enlarged.size(), QSize(64, 64)) << name;
        // Not the all-black picture of a run without its model.
        EXPECT_NE(enlarged.pixel(40, 40) & 0xFFFFFF, 0u) << name;
    }
}

} // namespace
