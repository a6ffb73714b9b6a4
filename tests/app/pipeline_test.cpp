#include "app/batchcontroller.h"
#include "app/comparisonwindow.h"
#include "app/imageentry.h"
#include "app/imagelist.h"
#include "app/imagelistmodel.h"
#include "app/mainwindow.h"
#include "app/previewrun.h"
#include "app/resultdialog.h"
#include "batch/batchengine.h"
#include "batch/batchsummary.h"
#include "engine/handmademodel.h"
#include "i18n/shownnumbers.h"
#include "platform/desktopstatus.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "support/namedchild.h"
#include "support/testenv.h"
#include "support/waitfor.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/types.h>

namespace
{

// A batch may take a while under the sanitizers.
template <typename Condition> bool waitFor(Condition done, int milliseconds = 60000)
{
    return testenv::WaitFor(done, milliseconds);
}

// A program folder with the fake upscaler as realesrgan/realesrgan-ncnn-vulkan and both models,
// private trash and scripted dialogs; what the shell was asked to open is recorded.
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
        folder = testenv::NewFolder(QStringLiteral("photos")) + QLatin1Char('/');
    }
    void TearDown() override
    {
        for (const QString& path : readOnly)
            ::chmod(QFile::encodeName(path).constData(), 0755);
        platform::SetDesktopStatusHooksForTesting({});
        platform::SetShellHooksForTesting({});
        platform::EnableDialogScriptForTesting(nullptr);
        platform::SetExecutableFolderForTesting({});
        qputenv("XDG_DATA_HOME", savedData_);
        qunsetenv("GRANDORA_FAKE_UPSCALER_LOG");
        qunsetenv("GRANDORA_FAKE_UPSCALER_MODE");
        qunsetenv("GRANDORA_FAKE_UPSCALER_DELAY_MS");
    }

    QStringList upscalerRuns() const
    {
        const QString text = QString::fromUtf8(testenv::ReadFile(argsLog));
        return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    // Only an instance folder's owner mark stays in it between images.
    static QStringList leftovers(const QString& temp)
    {
        QStringList entries = testenv::FolderEntries(temp);
        entries.removeOne(QStringLiteral(".owner"));
        return entries;
    }
    void makeReadOnly(const QString& path)
    {
        ::chmod(QFile::encodeName(path).constData(), 0555);
        readOnly << path;
    }
    static QStringList statusesOf(const ImageListModel& images)
    {
        QStringList all;
        for (const TImageEntry& entry : images.entries())
            all << entry.status;
        return all;
    }
    // The reason or note a row shows when hovered; invalid when it has none.
    static QVariant reasonOf(const ImageListModel& images, int row)
    {
        return images.index(row, ImageListModel::StatusColumn).data(Qt::ToolTipRole);
    }

    QString programFolder, upscalerFolder, trash, argsLog, folder;
    QByteArray savedData_;
    QStringList readOnly;
    platform::DialogScript dialogs;
    QList<QUrl> opened;
};

// A batch controller of its own over a list, with what it signals recorded.
class BatchTest : public PipelineTest
{
protected:
    void SetUp() override
    {
        PipelineTest::SetUp();
        temp = testenv::NewFolder(QStringLiteral("temp")) + QLatin1Char('/');
        choices.imageType = TImageType::Photo;
        choices.engine = TEngine::Upscaler;
        controller = std::make_unique<BatchController>(images, temp, upscalerFolder);
        QObject::connect(controller.get(), &BatchController::started, [this] { ++starts; });
        QObject::connect(controller.get(), &BatchController::idle, [this] { ++idles; });
        QObject::connect(controller.get(), &BatchController::statusMessage,
                         [this](const QString& text) { messages << text; });
        QObject::connect(controller.get(), &BatchController::progressChanged,
                         [this](double overall, const QString&) { overalls << overall; });
        QObject::connect(controller.get(), &BatchController::finished,
                         [this](const TBatchSummary& summary, const QString& resultsFolder) {
                             ends.push_back({summary, resultsFolder});
                         });
    }
    void TearDown() override
    {
        controller.reset();
        PipelineTest::TearDown();
    }

    void add(const QStringList& paths) { images.appendFiles(paths); }
    // Copies into `destination`; with none, beside their originals.
    void copiesTo(const QString& destination)
    {
        choices.action = TAction::CreateCopies;
        choices.besideOriginals = destination.isEmpty();
        choices.destinationFolder = destination;
    }
    // Starts a batch with `choices` and waits until it has ended.
    void run(int timeoutMs = 60000)
    {
        const int before = idles;
        const TStartCheck check = controller->start(choices);
        ASSERT_EQ(check.refusal, TStartRefusal::None) << check.message.toStdString();
        ASSERT_TRUE(waitFor([&] { return idles > before && !controller->isBusy(); }, timeoutMs))
            << "the batch did not end";
    }
    QStringList statuses() const { return statusesOf(images); }

    struct End {
        TBatchSummary summary;
        QString resultsFolder;
    };

    ImageListModel images;
    QString temp;
    TOptionChoices choices;
    std::unique_ptr<BatchController> controller;
    int starts = 0;
    int idles = 0;
    QStringList messages;
    QList<double> overalls;
    std::vector<End> ends;
};

// What the result dialog showed, taken from it in place of its modal loop.
struct ResultSeen {
    QString count, elapsed, sizeCaption, sizeValue;
    bool sizeRowsShown = false;
    QString failed, aborted; // the counts of their rows; empty while a row is hidden
    QUrl opened;             // what "Open Folder Location..." asked the shell to open
};

// The main window made fresh for each test, its controls found by name.
class WindowTest : public PipelineTest
{
protected:
    void SetUp() override
    {
        PipelineTest::SetUp();
        SetResultDialogHookForTesting([this](ResultDialog& dialog) {
            const auto text = [&dialog](const char* name) {
                return child<QLabel>(dialog, name)->text();
            };
            const auto shown = [&dialog](const char* name) {
                const QLabel* label = child<QLabel>(dialog, name);
                return label->isHidden() ? QString() : label->text();
            };
            ResultSeen seen{text("processedCount"),
                            text("elapsedTime"),
                            text("sizeCaption"),
                            text("sizeChange"),
                            !child<QLabel>(dialog, "sizeCaption")->isHidden() &&
                                !child<QLabel>(dialog, "sizeChange")->isHidden(),
                            shown("failedCount"),
                            shown("abortedCount"),
                            {}};
            const qsizetype before = opened.size();
            child<QPushButton>(dialog, "openFolderButton")->click();
            if (opened.size() > before)
                seen.opened = opened.back();
            results.push_back(seen);
        });
        openWindow();
    }
    void TearDown() override
    {
        window.reset();
        SetResultDialogHookForTesting(nullptr);
        PipelineTest::TearDown();
    }

    void openWindow()
    {
        window.reset();
        // No names from this test program's own command line.
        window = std::make_unique<MainWindow>(QStringList());
        // No update check leaves the machine from these tests.
        child<QTimer>(*window, "updateCheckTimer")->stop();
        controller = child<BatchController>(*window, "batchController");
        images = child<ImageListModel>(*window, "imageListModel");
        startStop = child<QPushButton>(*window, "startStopButton");
        statusText = child<QLabel>(*window, "statusText");
        statusProgress = child<QLabel>(*window, "statusProgress");
        progressBar = child<QProgressBar>(*window, "progressBar");
    }

    void add(const QStringList& paths) { images->appendFiles(paths); }
    // Picks the item that stands for `value`, as the user would.
    void pick(const char* box, int value)
    {
        QComboBox* combo = child<QComboBox>(*window, box);
        const int index = combo->findData(value);
        ASSERT_GE(index, 0) << box;
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    void choose(TImageType type, TAction action, const QString& destination = {},
                TDisposal disposal = TDisposal::RecycleBin)
    {
        pick("imageTypeBox", static_cast<int>(type));
        pick("actionBox", static_cast<int>(action));
        if (!destination.isEmpty())
            child<QComboBox>(*window, "destinationBox")->setEditText(destination);
        child<QRadioButton>(*window, disposal == TDisposal::DeletePermanently
                                         ? "deleteOriginalsButton"
                                         : "recycleOriginalsButton")
            ->setChecked(true);
    }
    bool idle() const
    {
        return startStop->text() == QStringLiteral("S&tart") && startStop->isEnabled() &&
               !controller->isBusy();
    }
    // Presses "Start" and waits until the batch has ended.
    void runBatch()
    {
        startStop->click();
        ASSERT_TRUE(waitFor([this] { return idle(); })) << "the batch did not end";
    }
    QStringList statuses() const { return statusesOf(*images); }

    std::vector<ResultSeen> results;
    std::unique_ptr<MainWindow> window;
    BatchController* controller = nullptr;
    ImageListModel* images = nullptr;
    QPushButton* startStop = nullptr;
    QLabel* statusText = nullptr;
    QLabel* statusProgress = nullptr;
    QProgressBar* progressBar = nullptr;
};

// Where the results went is what the result dialog opens; where they are placed is the batch
// engine's own test.
TEST_F(BatchTest, ACompletedBatchShowsItsStatusesAndTellsWhereTheResultsWent)
{
    struct Case {
        const char* name;
        TAction action;
        bool intoDestination;
        const char* expected; // where the enlarged image must stand
    } cases[] = {
        {"replace", TAction::ResizeOriginal, false, "a.png"},
        {"copy beside", TAction::CreateCopies, false, "a (2).png"},
        {"copy into a folder", TAction::CreateCopies, true, "a.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString photos = testenv::NewFolder(QStringLiteral("photos")) + QLatin1Char('/');
        const QString original = testenv::WriteImage(photos + QStringLiteral("a.png"), 8, 6);
        const QString destination =
            c.intoDestination ? testenv::NewFolder(QStringLiteral("dest")) + QLatin1Char('/')
                              : photos;
        images.clear();
        add({original});
        copiesTo(c.intoDestination ? destination.chopped(1) : QString());
        choices.action = c.action;
        ends.clear();
        overalls.clear();

        run();

        EXPECT_EQ(statuses(), QStringList{QStringLiteral("Completed")});
        EXPECT_EQ(testenv::ImageSize(destination + QLatin1String(c.expected)), QSize(32, 24));
        ASSERT_EQ(ends.size(), 1u);
        EXPECT_EQ(ends[0].summary.completed, 1);
        EXPECT_EQ(ends[0].resultsFolder, destination.chopped(1));
        EXPECT_EQ(messages.last(), QStringLiteral("Completed"));
        ASSERT_FALSE(overalls.isEmpty());
        EXPECT_DOUBLE_EQ(overalls.last(), 1.0);
    }
    EXPECT_TRUE(leftovers(temp).isEmpty());
}

// A refused start touches nothing; an accepted one makes its destination, and what it does not
// need is not checked.
TEST_F(BatchTest, ARefusedStartRunsNothingAndAnAcceptedOneMakesItsDestination)
{
    EXPECT_EQ(controller->start(choices).refusal, TStartRefusal::NoImages);

    add({testenv::WriteImage(folder + QStringLiteral("a.png"), 4, 4)});
    const QString locked = testenv::NewFolder(QStringLiteral("locked"));
    makeReadOnly(locked);
    copiesTo(locked);
    EXPECT_EQ(controller->start(choices).refusal, TStartRefusal::DestinationNotWritable);
    EXPECT_EQ(starts, 0);
    EXPECT_TRUE(overalls.isEmpty());
    EXPECT_EQ(statuses(), QStringList{QString()});
    EXPECT_TRUE(upscalerRuns().isEmpty());

    // A destination typed with missing parents is made and used.
    const QString fresh = testenv::NewFolder(QStringLiteral("out")) + QStringLiteral("/x/y");
    copiesTo(fresh);
    run();
    EXPECT_EQ(testenv::ImageSize(fresh + QStringLiteral("/a.png")), QSize(16, 16));

    // With "Resize Original" the destination plays no part and is not checked.
    images.clear();
    add({folder + QStringLiteral("a.png")});
    copiesTo(locked + QStringLiteral("/never"));
    choices.action = TAction::ResizeOriginal;
    run();
    EXPECT_FALSE(QFileInfo::exists(locked + QStringLiteral("/never")));
    EXPECT_EQ(testenv::ImageSize(folder + QStringLiteral("a.png")), QSize(16, 16));

    // Nothing is enlarged twice: with every row completed, Start only says so.
    const int startsBefore = starts;
    EXPECT_EQ(controller->start(choices).refusal, TStartRefusal::AllEnlarged);
    EXPECT_EQ(starts, startsBefore);
    EXPECT_EQ(upscalerRuns().size(), 2);

    // A missing model is named before any image is tried.
    QFile::remove(upscalerFolder + QStringLiteral("models/realesrgan-x4plus-anime.param"));
    add({testenv::WriteImage(folder + QStringLiteral("b.png"), 4, 4)});
    choices.imageType = TImageType::Artwork;
    EXPECT_EQ(controller->start(choices).refusal, TStartRefusal::ModelMissing);
    EXPECT_EQ(starts, startsBefore);
    EXPECT_EQ(upscalerRuns().size(), 2);
    EXPECT_EQ(statuses().last(), QString());
}

// Whatever stops an image is told on its row and in the status bar, never in a box per image.
TEST_F(BatchTest, AnImageThatCannotBeEnlargedFailsWithItsReasonAndNoBox)
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
        images.clear();
        add({a, b});
        c.breakIt();
        choices.imageType = TImageType::Artwork;
        choices.action = TAction::ResizeOriginal;
        choices.disposal = TDisposal::DeletePermanently;
        ends.clear();

        run();

        EXPECT_EQ(statuses(), (QStringList{QStringLiteral("Failed"), QStringLiteral("Failed")}));
        EXPECT_TRUE(reasonOf(images, 0).isValid());
        EXPECT_TRUE(reasonOf(images, 1).isValid());
        EXPECT_TRUE(dialogs.shown.empty());
        EXPECT_EQ(messages.last(), c.status);
        EXPECT_TRUE(upscalerRuns().isEmpty());
        ASSERT_EQ(ends.size(), 1u);
        EXPECT_EQ(ends[0].summary.completed, 0);
        EXPECT_EQ(ends[0].summary.failed, 2);
        EXPECT_EQ(ends[0].summary.totalOutputBytes, 0);
    }
}

// What a completed image lost is told in the status bar and kept on its row; the end of the batch
// tells it again.
TEST_F(BatchTest, ANoteOfACompletedImageShowsAsItArrivesOnItsRowAndAtTheEnd)
{
    add({folder + QStringLiteral("a.jpg"), folder + QStringLiteral("b.jpg")});
    const QString note =
        QStringLiteral("Metadata could not be kept: ") + folder + QStringLiteral("b.jpg");
    TImageResult plain;
    plain.outcome = TImageOutcome::Completed;
    TImageResult noted = plain;
    noted.note = note;

    emit controller->engine().ImageFinished(0, plain);
    EXPECT_TRUE(messages.isEmpty()) << "nothing to tell leaves the status bar alone";
    emit controller->engine().ImageFinished(1, noted);
    EXPECT_EQ(messages, QStringList{note});
    EXPECT_EQ(statuses(), (QStringList{QStringLiteral("Completed"), QStringLiteral("Completed")}));
    EXPECT_FALSE(reasonOf(images, 0).isValid());
    EXPECT_EQ(reasonOf(images, 1), note);

    TBatchSummary summary;
    summary.completed = 2;
    summary.noted = 1;
    summary.lastNote = note;
    emit controller->engine().Finished(summary);
    EXPECT_EQ(messages.last(), EndingText(summary));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].summary.lastNote, note);
}

// A file named twice is listed once, so "Resize Original" never enlarges an enlarged image.
// A long list whose images all fail at once (the upscaler is gone): the window hears of it a few
// times a second rather than thrice an image, and STOP in the middle ends it there and then.
TEST_F(BatchTest, ALongListThatFailsAtOnceIsShownAFewTimesASecondAndStopsAtOnce)
{
    constexpr int count = 2000;
    const QString image = testenv::WriteImage(folder + QStringLiteral("image.png"), 4, 4);
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        paths << folder + QStringLiteral("p%1.png").arg(i);
        ASSERT_TRUE(QFile::copy(image, paths.back()));
    }
    QFile::remove(upscalerFolder + QStringLiteral("realesrgan-ncnn-vulkan"));
    int followed = 0;
    QObject::connect(controller.get(), &BatchController::imageStarted, [&] { ++followed; });
    add(paths);

    run();

    EXPECT_EQ(statuses(), QStringList(count, QStringLiteral("Failed")));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].summary.failed, count);
    EXPECT_EQ(messages.last(), EndingText(ends[0].summary));
    EXPECT_LT(messages.size(), count / 10);
    EXPECT_LT(overalls.size(), count / 10);
    EXPECT_LT(followed, count / 10);
    EXPECT_DOUBLE_EQ(overalls.last(), 1.0);
    EXPECT_TRUE(upscalerRuns().isEmpty());

    images.clear();
    add(paths);
    ends.clear();
    const int idlesBefore = idles;
    ASSERT_EQ(controller->start(choices).refusal, TStartRefusal::None);
    ASSERT_TRUE(waitFor([&] { return statuses().count(QStringLiteral("Failed")) >= 100; }));
    controller->stop();
    EXPECT_EQ(idles, idlesBefore + 1) << "no upscaler to wait for";
    EXPECT_FALSE(controller->isRunning());
    const QStringList atStop = statuses();
    const auto failed = atStop.count(QStringLiteral("Failed"));
    EXPECT_LT(failed, count);
    EXPECT_EQ(atStop.count(QString()), count - failed) << "the images not tried stay as they were";
    EXPECT_EQ(messages.last(), QStringLiteral("Stopped: 0 of 2000 enlarged"));
    QTest::qWait(300);
    EXPECT_EQ(statuses(), atStop);
    EXPECT_EQ(messages.last(), QStringLiteral("Stopped: 0 of 2000 enlarged"));
    EXPECT_TRUE(ends.empty());
}

TEST_F(BatchTest, AFileNamedTwiceIsEnlargedOnceWhenReplacing)
{
    const QString a = testenv::WriteImage(folder + QStringLiteral("a.png"), 4, 3);
    const QByteArray original = testenv::ReadFile(a);
    add({a, folder + QStringLiteral("./a.png")});
    choices.action = TAction::ResizeOriginal;

    run();

    EXPECT_EQ(statuses(), QStringList{QStringLiteral("Completed")});
    EXPECT_EQ(testenv::ImageSize(a), QSize(16, 12));
    EXPECT_EQ(testenv::ReadFile(trash + QStringLiteral("files/a.png")), original);
    EXPECT_FALSE(QFileInfo::exists(trash + QStringLiteral("files/a.2.png")));
}

TEST_F(BatchTest, AnOriginalInAReadOnlyFolderStaysAndTheBatchGoesOn)
{
    const QString lockedFolder = testenv::NewFolder(QStringLiteral("locked")) + QLatin1Char('/');
    const QString locked = testenv::WriteImage(lockedFolder + QStringLiteral("a.png"), 8, 8);
    const QByteArray before = testenv::ReadFile(locked);
    makeReadOnly(lockedFolder);
    const QString free = testenv::WriteImage(folder + QStringLiteral("b.png"), 8, 8);

    for (TDisposal disposal : {TDisposal::RecycleBin, TDisposal::DeletePermanently}) {
        SCOPED_TRACE(disposal == TDisposal::RecycleBin ? "recycle" : "delete");
        images.clear();
        add({locked, free});
        choices.action = TAction::ResizeOriginal;
        choices.disposal = disposal;
        testenv::WriteImage(free, 8, 8);
        run();
        EXPECT_EQ(statuses(), (QStringList{QStringLiteral("Failed"), QStringLiteral("Completed")}));
        EXPECT_EQ(testenv::ReadFile(locked), before);
        EXPECT_EQ(testenv::FolderEntries(lockedFolder), QStringList{QStringLiteral("a.png")});
        EXPECT_EQ(testenv::ImageSize(free), QSize(32, 32));
        EXPECT_TRUE(messages.last().startsWith(
            QStringLiteral("1 failed: Could not write the enlarged image: ")))
            << messages.last().toStdString();
    }
}

TEST_F(BatchTest, AnyFileNameReachesTheUpscalerAsOneArgument)
{
    const QString odd =
        testenv::WriteImage(folder + QStringLiteral("-my \"best\" f\u00f6to \\ 'x'.PNG"), 8, 8);
    add({odd});

    run();

    EXPECT_EQ(statuses(), QStringList{QStringLiteral("Completed")});
    const QStringList runs = upscalerRuns();
    ASSERT_EQ(runs.size(), 1);
    const QStringList args = runs[0].split(QLatin1Char('\t'));
    EXPECT_EQ(args, (QStringList{QStringLiteral("-i"), odd, QStringLiteral("-o"),
                                 temp + QStringLiteral("zelimageupscale.png"), QStringLiteral("-n"),
                                 QStringLiteral("realesrgan-x4plus")}));
    EXPECT_EQ(testenv::ImageSize(folder + QStringLiteral("-my \"best\" f\u00f6to \\ 'x' (2).PNG")),
              QSize(32, 32));
}

TEST_F(BatchTest, ALeftoverTemporaryFileThatCannotGoIsNotReused)
{
    // A folder in the way cannot be removed like a file.
    QDir().mkpath(temp + QStringLiteral("zelimageupscale.png"));
    add({testenv::WriteImage(folder + QStringLiteral("a.png"), 8, 8)});

    run();

    EXPECT_EQ(statuses(), QStringList{QStringLiteral("Completed")});
    ASSERT_EQ(upscalerRuns().size(), 1);
    EXPECT_TRUE(upscalerRuns()[0].contains(QStringLiteral("zelimageupscale (2).png")));
}

// The real upscaler on three tiny images in one run, one of them cut short and one a BMP that it
// cannot read itself, when scripts/get-upscaler has provisioned it: the same statuses as one run
// per image.
TEST_F(BatchTest, RealUpscalerEnlargesPhotosInOneRunAsOneByOne)
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
    const QStringList photos{folder + QStringLiteral("photo one.png"),
                             folder + QStringLiteral("broken.png"),
                             folder + QStringLiteral("photo three.bmp")};
    ASSERT_TRUE(image.save(photos[0]));
    ASSERT_TRUE(image.save(photos[1]));
    // Its header still says PNG, so only the upscaler finds out.
    testenv::WriteFile(photos[1], testenv::ReadFile(photos[1]).left(40));
    ASSERT_TRUE(image.mirrored().save(photos[2]));

    QList<QStringList> seen;
    for (int perRun : {100, 1}) {
        SCOPED_TRACE(perRun);
        images.clear();
        add(photos);
        controller->engine().SetImagesPerRun(perRun);
        run(600000);
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

// Files the check found missing or unreadable are never tried: they fail at once with the
// batch's own reasons and count in its summary. A file that appeared after the check goes
// through, and a second Start passes the refused ones over again.
TEST_F(BatchTest, FilesTheCheckRefusedFailWithoutBeingTried)
{
    const QString good = testenv::WriteImage(folder + QStringLiteral("a.png"), 4, 4);
    const QString text = folder + QStringLiteral("b.png");
    testenv::WriteFile(text, "not an image");
    const QString absent = folder + QStringLiteral("c.png");
    const QString late = folder + QStringLiteral("d.png");
    QList<int> tried;
    QObject::connect(&controller->engine(), &TBatchEngine::ImageStarted,
                     [&](int row, const QString&) { tried << row; });
    add({good, text, absent, late});
    ASSERT_TRUE(waitFor([&] { return !images.checking(); }));
    const auto shown = [&](int row) {
        return images.index(row, ImageListModel::StatusColumn).data().toString();
    };
    EXPECT_EQ(shown(1), QStringLiteral("Not an image the program can read"));
    EXPECT_EQ(shown(2), QStringLiteral("File not found"));
    EXPECT_EQ(shown(3), QStringLiteral("File not found"));
    const qint64 inputBefore = QFileInfo(good).size() + QFileInfo(text).size();
    testenv::WriteImage(late, 4, 4);

    run();

    EXPECT_EQ(tried, (QList<int>{0, 3}));
    EXPECT_EQ(statuses(), (QStringList{QStringLiteral("Completed"), QStringLiteral("Failed"),
                                       QStringLiteral("Failed"), QStringLiteral("Completed")}));
    const QString notImage = QStringLiteral("Not an image the program can read: ") + text;
    const QString notFound = QStringLiteral("Image file not found: ") + absent;
    EXPECT_EQ(reasonOf(images, 1), notImage);
    EXPECT_EQ(reasonOf(images, 2), notFound);
    ASSERT_EQ(ends.size(), 1u);
    const TBatchSummary& summary = ends[0].summary;
    EXPECT_EQ(summary.completed, 2);
    EXPECT_EQ(summary.failed, 2);
    EXPECT_EQ(summary.totalInputBytes, inputBefore + QFileInfo(late).size());
    ASSERT_EQ(summary.failures.size(), 2u);
    EXPECT_EQ(summary.failures[0].file, text);
    EXPECT_EQ(summary.failures[0].reason, notImage);
    EXPECT_EQ(summary.failures[1].file, absent);
    EXPECT_EQ(summary.failures[1].reason, notFound);
    EXPECT_EQ(messages.last(), QStringLiteral("2 failed; the reasons are on the rows"));
    ASSERT_FALSE(overalls.isEmpty());
    EXPECT_DOUBLE_EQ(overalls.last(), 1.0);

    tried.clear();
    run();
    EXPECT_TRUE(tried.isEmpty());
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_EQ(ends[1].summary.completed, 0);
    EXPECT_EQ(ends[1].summary.failed, 2);
    EXPECT_EQ(statuses()[2], QStringLiteral("Failed"));
}

// In the window: a file that is gone counts as failed in the result window and the status bar,
// and those words go when the list is cleared.
TEST_F(WindowTest, AGoneFileCountsAsFailedAndTheEndingWordsGoWithTheList)
{
    const QString a = testenv::WriteImage(folder + QStringLiteral("a.png"), 8, 8);
    const QString gone = folder + QStringLiteral("gone.png");
    add({a, gone});
    ASSERT_TRUE(waitFor([this] { return !images->checking(); }));
    choose(TImageType::Photo, TAction::CreateCopies, testenv::NewFolder(QStringLiteral("dest")));

    runBatch();

    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].count, QStringLiteral("1"));
    EXPECT_EQ(results[0].failed, QStringLiteral("1"));
    EXPECT_EQ(statusText->text(), QStringLiteral("1 failed: Image file not found: ") + gone);
    child<QAction>(*window, "fileClearAction")->trigger();
    EXPECT_EQ(statusText->text(), QString());
}

// The window shows a refusal as a warning; the batch does not start.
TEST_F(WindowTest, ARefusedStartWarnsAndLeavesTheWindowIdle)
{
    startStop->click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("No image files have been added!"));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("WARNING"));
    EXPECT_EQ(dialogs.shown[0].flags, platform::MB_ICONWARNING);
    EXPECT_EQ(child<QTabWidget>(*window, "pages")->currentIndex(), 0);
    EXPECT_EQ(startStop->text(), QStringLiteral("S&tart"));

    add({testenv::WriteImage(folder + QStringLiteral("a.png"), 4, 4)});
    const QString locked = testenv::NewFolder(QStringLiteral("locked"));
    makeReadOnly(locked);
    choose(TImageType::Photo, TAction::CreateCopies, locked);
    dialogs.shown.clear();
    startStop->click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Unable to write to directory!"));
    EXPECT_TRUE(idle());
    EXPECT_EQ(statuses(), QStringList{QString()});
    EXPECT_TRUE(upscalerRuns().isEmpty());
}

// A batch that can be followed: the bar fills across the batch, "n / N" and the running row's
// percentage show, the options are locked; STOP then Start finishes only what is left.
TEST_F(WindowTest, ABatchCanBeFollowedStoppedAndFinished)
{
    qputenv("GRANDORA_FAKE_UPSCALER_MODE", "slow");
    qputenv("GRANDORA_FAKE_UPSCALER_DELAY_MS", "60");
    const QStringList photos{testenv::WriteImage(folder + QStringLiteral("a.png"), 8, 8),
                             testenv::WriteImage(folder + QStringLiteral("b.png"), 8, 8),
                             testenv::WriteImage(folder + QStringLiteral("c.png"), 8, 8)};
    add(photos);
    choose(TImageType::Photo, TAction::CreateCopies);
    QList<int> values;
    QList<double> launcher; // what the launcher icon showed; -1: hidden
    QStringList notifications;
    QStringList seenStatuses;
    // The hooks and connections go before what they write into, also when the test ends early.
    const auto unhook = qScopeGuard([] { platform::SetDesktopStatusHooksForTesting({}); });
    QObject recording;
    QObject::connect(progressBar, &QProgressBar::valueChanged, &recording,
                     [&](int value) { values << value; });
    platform::SetDesktopStatusHooksForTesting(
        {[&](double fraction, bool visible) { launcher << (visible ? fraction : -1); },
         [&](const QString& summary, const QString& body) {
             notifications << summary + QStringLiteral(": ") + body;
         }});
    QObject::connect(images, &QAbstractItemModel::dataChanged, &recording,
                     [&](const QModelIndex& from) { seenStatuses << statuses().at(from.row()); });
    QList<QWidget*> options;
    for (const char* name : {"imageTypeBox", "actionBox", "destinationBox", "browseButton",
                             "recycleOriginalsButton", "deleteOriginalsButton"})
        options << child<QWidget>(*window, name);
    QList<QAction*> commands;
    for (const char* name : {"resetToDefaultsAction", "languageAction"})
        commands << child<QAction>(*window, name);
    const auto optionsEnabled = [&] {
        return std::all_of(options.begin(), options.end(),
                           [](QWidget* w) { return w->isEnabled(); }) &&
               std::all_of(commands.begin(), commands.end(),
                           [](QAction* a) { return a->isEnabled(); });
    };
    const auto optionsDisabled = [&] {
        return std::none_of(options.begin(), options.end(),
                            [](QWidget* w) { return w->isEnabled(); }) &&
               std::none_of(commands.begin(), commands.end(),
                            [](QAction* a) { return a->isEnabled(); });
    };
    QAction* removeFromList = child<QAction>(*window, "removeFromListAction");

    startStop->click();
    EXPECT_EQ(startStop->text(), QStringLiteral("S&TOP"));
    EXPECT_GT(progressBar->maximum(), 0) << "a real bar, not a marquee";
    EXPECT_EQ(statusProgress->text(), QStringLiteral("1 / 3"));
    ASSERT_TRUE(
        waitFor([this] { return statuses().first().startsWith(QStringLiteral("Processing...")); }));
    EXPECT_TRUE(optionsDisabled());
    EXPECT_FALSE(removeFromList->isEnabled());
    EXPECT_FALSE(child<QAction>(*window, "clearListAction")->isEnabled());
    EXPECT_FALSE(child<QAction>(*window, "fileClearAction")->isEnabled());
    // Adding stays allowed while the batch runs.
    EXPECT_TRUE(child<QPushButton>(*window, "addFilesButton")->isEnabled());
    ASSERT_TRUE(waitFor([this] { return controller->engine().CurrentIndex() == 1; }));
    // The bar and its text are brought up to date a few times a second.
    EXPECT_TRUE(
        waitFor([this] { return statusProgress->text().startsWith(QStringLiteral("2 / 3")); }));
    EXPECT_TRUE(seenStatuses.contains(QStringLiteral("Processing... 50%")));
    ASSERT_TRUE(waitFor([this] { return statuses()[1].endsWith(QStringLiteral("%")); }));
    const QColor running = progressBar->palette().color(QPalette::Highlight);

    startStop->click();
    const int stoppedAt = progressBar->value();
    EXPECT_EQ(statusText->text(), QStringLiteral("Stopped: 1 of 3 enlarged"));
    EXPECT_EQ(startStop->text(), QStringLiteral("S&tart"));
    EXPECT_FALSE(startStop->isEnabled()); // not before the stopped run has ended
    ASSERT_TRUE(waitFor([this] { return idle(); }));
    // The bar stays where the batch stopped, in a colour of its own.
    EXPECT_GT(stoppedAt, progressBar->maximum() / 3);
    EXPECT_LE(stoppedAt, progressBar->maximum() * 2 / 3);
    EXPECT_EQ(progressBar->value(), stoppedAt);
    EXPECT_NE(progressBar->palette().color(QPalette::Highlight), running);
    EXPECT_EQ(statusText->text(), QStringLiteral("Stopped: 1 of 3 enlarged"));
    EXPECT_TRUE(optionsEnabled());
    EXPECT_TRUE(removeFromList->isEnabled());
    EXPECT_EQ(statuses(),
              (QStringList{QStringLiteral("Completed"), QStringLiteral("Aborted"), QString()}));
    EXPECT_TRUE(results.empty());
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end())) << "the bar never goes back";
    EXPECT_EQ(upscalerRuns().size(), 1);
    EXPECT_TRUE(leftovers(controller->tempFolder()).isEmpty());

    // Start again: the completed image is left alone, the rest are enlarged.
    qunsetenv("GRANDORA_FAKE_UPSCALER_MODE");
    values.clear();
    startStop->click();
    EXPECT_EQ(statuses().first(), QStringLiteral("Completed"));
    EXPECT_EQ(statusProgress->text(), QStringLiteral("1 / 2"));
    EXPECT_EQ(progressBar->palette().color(QPalette::Highlight), running);
    ASSERT_TRUE(waitFor([this] { return idle(); }));
    EXPECT_EQ(statuses(), (QStringList{QStringLiteral("Completed"), QStringLiteral("Completed"),
                                       QStringLiteral("Completed")}));
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_EQ(progressBar->value(), progressBar->maximum());
    EXPECT_TRUE(statusProgress->text().isEmpty());
    EXPECT_EQ(statusText->text(), QStringLiteral("Completed"));
    EXPECT_TRUE(optionsEnabled());
    EXPECT_EQ(upscalerRuns().size(), 2) << "one run for all three, one for the two left";
    EXPECT_EQ(testenv::FolderEntries(folder),
              (QStringList{QStringLiteral("a (2).png"), QStringLiteral("a.png"),
                           QStringLiteral("b (2).png"), QStringLiteral("b.png"),
                           QStringLiteral("c (2).png"), QStringLiteral("c.png")}));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].count, QStringLiteral("3 (2 in this run)"));
    // Outside the window the launcher showed the progress, and the end was announced because
    // the window was not the active one.
    ASSERT_GE(launcher.size(), 3);
    EXPECT_EQ(launcher.last(), -1);
    EXPECT_DOUBLE_EQ(*std::max_element(launcher.begin(), launcher.end()), 1.0);
    EXPECT_EQ(notifications,
              QStringList{QStringLiteral("The batch has ended: 2 completed, 0 failed")});
}

// The upscaler saves an image while it works on the next, so an image's "100.00%" comes after the
// next one has begun: each row starts from nothing and shows only its own percentages, and the
// bar never goes back.
TEST_F(WindowTest, EachRowShowsItsOwnPercentagesWhenTheUpscalerSavesBehind)
{
    qputenv("GRANDORA_FAKE_UPSCALER_MODE", "slow");
    qputenv("GRANDORA_FAKE_UPSCALER_DELAY_MS", "40");
    qputenv("GRANDORA_FAKE_UPSCALER_SAVE_BEHIND", "1");
    const auto unset = qScopeGuard([] { qunsetenv("GRANDORA_FAKE_UPSCALER_SAVE_BEHIND"); });
    add({testenv::WriteImage(folder + QStringLiteral("a.png"), 8, 8),
         testenv::WriteImage(folder + QStringLiteral("b.png"), 8, 8),
         testenv::WriteImage(folder + QStringLiteral("c.png"), 8, 8)});
    choose(TImageType::Photo, TAction::CreateCopies);
    std::map<int, QStringList> percentages;
    QList<int> values;
    QObject recording;
    QObject::connect(images, &QAbstractItemModel::dataChanged, &recording,
                     [&](const QModelIndex& from) {
                         const QString status = statuses().at(from.row());
                         if (status.endsWith(QLatin1Char('%')))
                             percentages[from.row()] << status;
                     });
    QObject::connect(progressBar, &QProgressBar::valueChanged, &recording,
                     [&](int value) { values << value; });

    runBatch();

    EXPECT_EQ(statuses(), QStringList(3, QStringLiteral("Completed")));
    EXPECT_EQ(upscalerRuns().size(), 1);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(percentages[row], (QStringList{QStringLiteral("Processing... 25%"),
                                                 QStringLiteral("Processing... 50%"),
                                                 QStringLiteral("Processing... 75%"),
                                                 QStringLiteral("Processing... 100%")}))
            << row;
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end())) << "the bar never goes back";
    EXPECT_EQ(progressBar->value(), progressBar->maximum());
}

// The options added below the first ones are locked with them while a batch runs; afterwards each
// comes back as far as its rule allows: the output format and quality only for copies.
TEST_F(WindowTest, TheLaterOptionsAreLockedDuringABatchAndFollowTheirRulesAfter)
{
    qputenv("GRANDORA_FAKE_UPSCALER_MODE", "slow");
    qputenv("GRANDORA_FAKE_UPSCALER_DELAY_MS", "60");
    for (const QString& file : MissingModelFiles(upscalerFolder, TImageType::Photo, TSpeed::Fast))
        testenv::WriteFile(file, "model");
    add({testenv::WriteImage(folder + QStringLiteral("a.png"), 8, 8)});
    QWidget* format = child<QWidget>(*window, "formatBox");
    QWidget* quality = child<QWidget>(*window, "qualityBox");
    QWidget* scale = child<QWidget>(*window, "scaleBox");
    QWidget* speed = child<QWidget>(*window, "speedBox");
    QWidget* metadata = child<QWidget>(*window, "keepMetadataBox");
    const struct {
        TAction action;
        bool formatEnabled; // and the quality, since JPEG is chosen
    } cases[] = {{TAction::CreateCopies, true}, {TAction::ResizeOriginal, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action == TAction::CreateCopies ? "copies" : "replace");
        choose(TImageType::Photo, TAction::CreateCopies);
        pick("formatBox", static_cast<int>(TOutputFormat::Jpeg));
        choose(TImageType::Photo, c.action);

        startStop->click();
        ASSERT_TRUE(waitFor(
            [this] { return statuses().first().startsWith(QStringLiteral("Processing...")); }));
        for (QWidget* control : {scale, format, quality, speed, metadata})
            EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
        startStop->click();
        ASSERT_TRUE(waitFor([this] { return idle(); }));

        EXPECT_TRUE(scale->isEnabled());
        EXPECT_TRUE(speed->isEnabled());
        EXPECT_TRUE(metadata->isEnabled());
        EXPECT_EQ(format->isEnabled(), c.formatEnabled);
        EXPECT_EQ(quality->isEnabled(), c.formatEnabled);
    }
}

TEST_F(WindowTest, ClosingDuringABatchAsksFirst)
{
    qputenv("GRANDORA_FAKE_UPSCALER_MODE", "hang");
    const QString a = testenv::WriteImage(folder + QStringLiteral("a.png"), 8, 8);
    const QByteArray before = testenv::ReadFile(a);
    add({a});
    choose(TImageType::Photo, TAction::ResizeOriginal, {}, TDisposal::DeletePermanently);
    QApplication::setQuitOnLastWindowClosed(false);
    window->show();
    dialogs.answers.push_back(platform::IDYES); // to the permanent deletion
    startStop->click();
    ASSERT_TRUE(waitFor([this] { return controller->engine().ProcessId() != 0; }));
    const auto upscaler = static_cast<pid_t>(controller->engine().ProcessId());
    dialogs.shown.clear();

    dialogs.answers.push_back(platform::IDNO);
    EXPECT_FALSE(window->close());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("A batch is running. Stop it and quit?"));
    EXPECT_TRUE(controller->isRunning());
    EXPECT_TRUE(window->isVisible());

    dialogs.answers.push_back(platform::IDYES);
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(waitFor([upscaler] { return testenv::ProcessEnded(upscaler); }, 10000));
    EXPECT_EQ(testenv::ReadFile(a), before);
    QApplication::setQuitOnLastWindowClosed(true);
}

TEST_F(WindowTest, ClosingTheWindowDuringABatchEndsTheUpscalerAndKeepsTheOriginal)
{
    qputenv("GRANDORA_FAKE_UPSCALER_MODE", "hang");
    const QString a = testenv::WriteImage(folder + QStringLiteral("a.png"), 8, 8);
    const QByteArray before = testenv::ReadFile(a);
    add({a});
    choose(TImageType::Photo, TAction::ResizeOriginal, {}, TDisposal::DeletePermanently);
    dialogs.answers.push_back(platform::IDYES); // to the permanent deletion
    startStop->click();
    ASSERT_TRUE(waitFor([this] { return controller->engine().ProcessId() != 0; }));
    const auto upscaler = static_cast<pid_t>(controller->engine().ProcessId());
    const QString temp = controller->tempFolder();

    window.reset();

    EXPECT_TRUE(waitFor([upscaler] { return testenv::ProcessEnded(upscaler); }, 10000));
    EXPECT_EQ(testenv::ReadFile(a), before);
    EXPECT_EQ(testenv::FolderEntries(folder), QStringList{QStringLiteral("a.png")});
    EXPECT_FALSE(QFileInfo::exists(temp)) << "the instance's folder goes with it";
}

TEST_F(WindowTest, TheResultDialogSumsUpTheBatch)
{
    const QString a = testenv::WriteImage(folder + QStringLiteral("a.png"), 8, 8);
    const QString b = testenv::WriteImage(folder + QStringLiteral("b.png"), 12, 8);
    testenv::WriteFile(folder + QStringLiteral("c.png"), "not an image"); // fails, but counts
    add({a, b, folder + QStringLiteral("c.png")});
    const qint64 input = QFileInfo(a).size() + QFileInfo(b).size() +
                         QFileInfo(folder + QStringLiteral("c.png")).size();
    const QString destination = testenv::NewFolder(QStringLiteral("dest"));
    choose(TImageType::Photo, TAction::CreateCopies, destination);

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
    EXPECT_EQ(statusText->text(), QStringLiteral("1 failed: ") + reason);
    EXPECT_EQ(reasonOf(*images, 2), reason);
    EXPECT_FALSE(reasonOf(*images, 0).isValid());
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^\\d+\\.\\d seconds$")).match(seen.elapsed).hasMatch())
        << seen.elapsed.toStdString();
    EXPECT_TRUE(seen.sizeRowsShown);
    const TSizeChange change = SizeChangeText(input, output);
    EXPECT_EQ(seen.sizeCaption, change.caption);
    EXPECT_EQ(seen.sizeValue, change.value);
    EXPECT_EQ(seen.opened, QUrl::fromLocalFile(destination));
}

// The built-in engine's program, in the upscaler's place with a small model, under whatever locale
// the test runs in: a desktop whose decimal sign is a comma gets its images enlarged too, and the
// result window speaks its numbers.
TEST_F(WindowTest, TheEngineEnlargesABatchAndTheFiguresFollowTheLocale)
{
    const QString upscaler = upscalerFolder + QStringLiteral("realesrgan-ncnn-vulkan");
    QFile::remove(upscaler);
    ASSERT_TRUE(QFile::copy(QStringLiteral(GRANDORA_ENLARGE), upscaler));
    const THandMadeModel model = NearestFourTimes();
    const QString stem = upscalerFolder + QStringLiteral("models/realesrgan-x4plus");
    QFile::remove(stem + QStringLiteral(".param"));
    QFile::remove(stem + QStringLiteral(".bin"));
    testenv::WriteFile(stem + QStringLiteral(".param"), QByteArray::fromStdString(model.Param(2)));
    testenv::WriteFile(stem + QStringLiteral(".bin"), QByteArray::fromStdString(model.Bin()));
    if (qgetenv("LC_ALL").startsWith("de_")) {
        ASSERT_EQ(ShownLocale().decimalPoint(), QStringLiteral(","));
    }

    const QString a = testenv::WriteImage(folder + QStringLiteral("a.png"), 8, 6);
    const QString b = testenv::WriteImage(folder + QStringLiteral("b.jpg"), 5, 7);
    add({a, b});
    const qint64 input = QFileInfo(a).size() + QFileInfo(b).size();
    const QString destination = testenv::NewFolder(QStringLiteral("dest"));
    choose(TImageType::Photo, TAction::CreateCopies, destination);
    pick("scaleBox", 4);

    runBatch();

    EXPECT_EQ(statuses(), QStringList(2, QStringLiteral("Completed")));
    EXPECT_EQ(testenv::ImageSize(destination + QStringLiteral("/a.png")), QSize(32, 24));
    EXPECT_EQ(testenv::ImageSize(destination + QStringLiteral("/b.jpg")), QSize(20, 28));
    ASSERT_EQ(results.size(), 1u);
    const QString point = QRegularExpression::escape(ShownLocale().decimalPoint());
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^[0-9]+") + point + QStringLiteral("[0-9] seconds$"))
            .match(results[0].elapsed)
            .hasMatch())
        << results[0].elapsed.toStdString();
    const qint64 output = QFileInfo(destination + QStringLiteral("/a.png")).size() +
                          QFileInfo(destination + QStringLiteral("/b.jpg")).size();
    EXPECT_EQ(results[0].sizeValue, SizeChangeText(input, output).value);
}

TEST_F(WindowTest, BrowseSetsAndStoresTheDestination)
{
    const QString chosen = testenv::NewFolder(QStringLiteral("chosen"));
    choose(TImageType::Photo, TAction::CreateCopies);
    dialogs.fileAnswers.push_back({chosen});
    QPushButton* browse = child<QPushButton>(*window, "browseButton");
    QComboBox* destination = child<QComboBox>(*window, "destinationBox");

    browse->click();

    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Select folder:"));
    EXPECT_EQ(destination->currentText(), chosen);
    EXPECT_EQ(LastFolder, chosen);
    EXPECT_TRUE(QString::fromUtf8(testenv::ReadFile(programFolder + QStringLiteral("settings.ini")))
                    .contains(QStringLiteral("Destination=") + chosen));

    // Cancelled: nothing changes.
    browse->click();
    EXPECT_EQ(destination->currentText(), chosen);
}

// A new user gets an image type whose model is there.
TEST_F(WindowTest, TheFirstStartChoosesAnImageTypeWhoseModelIsInstalled)
{
    const auto imageType = [this] {
        return static_cast<TImageType>(
            child<QComboBox>(*window, "imageTypeBox")->currentData().toInt());
    };
    EXPECT_EQ(imageType(), TImageType::Artwork);
    QFile::remove(upscalerFolder + QStringLiteral("models/realesrgan-x4plus-anime.bin"));
    openWindow();
    EXPECT_EQ(imageType(), TImageType::Photo);
    // A stored choice is kept even so; Start then names what is missing.
    pick("imageTypeBox", static_cast<int>(TImageType::Artwork));
    openWindow();
    EXPECT_EQ(imageType(), TImageType::Artwork);
}

} // namespace

namespace
{

// Deleting the originals for good is asked once per Start, with the number of images that Start
// enlarges, and No is the default; No starts nothing. A Start that cannot run asks nothing.
TEST_F(WindowTest, PermanentDeletionIsAskedOnceAndNoStartsNothing)
{
    const QString a = testenv::WriteImage(folder + QStringLiteral("a.png"), 8, 8);
    const QString b = testenv::WriteImage(folder + QStringLiteral("b.png"), 8, 8);
    TImageEntry earlier; // enlarged by a batch before
    earlier.path = testenv::WriteImage(folder + QStringLiteral("c.png"), 32, 32);
    earlier.status = QStringLiteral("Completed");
    earlier.completed = true;
    images->appendEntry(earlier);
    add({a, b});
    choose(TImageType::Photo, TAction::ResizeOriginal, {}, TDisposal::DeletePermanently);
    const QByteArray before = testenv::ReadFile(a);

    dialogs.answers.push_back(platform::IDNO);
    startStop->click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, platform::DialogRecord::Confirmation);
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("The originals of 2 images will be deleted permanently, not moved to "
                             "the trash. Continue?"));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Confirmation"));
    EXPECT_EQ(dialogs.shown[0].flags, platform::MB_YESNO | platform::MB_DEFBUTTON2);
    EXPECT_TRUE(idle());
    EXPECT_TRUE(upscalerRuns().isEmpty());
    EXPECT_EQ(statuses(), (QStringList{QStringLiteral("Completed"), QString(), QString()}));
    EXPECT_EQ(testenv::ReadFile(a), before);

    dialogs.answers.push_back(platform::IDYES);
    runBatch();
    EXPECT_EQ(dialogs.shown.size(), 2u) << "one question for the whole batch";
    EXPECT_EQ(statuses(), (QStringList{QStringLiteral("Completed"), QStringLiteral("Completed"),
                                       QStringLiteral("Completed")}));
    EXPECT_EQ(testenv::ImageSize(a), QSize(32, 32));
    EXPECT_TRUE(testenv::FolderEntries(trash + QStringLiteral("files")).isEmpty());

    dialogs.shown.clear();
    startStop->click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, platform::DialogRecord::Message);
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("Every image in the list has been enlarged already."));

    add({testenv::WriteImage(folder + QStringLiteral("d.png"), 8, 8)});
    dialogs.shown.clear();
    startStop->click(); // unanswered: the default, No
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("The original of 1 image will be deleted permanently, not moved to "
                             "the trash. Continue?"));
    EXPECT_TRUE(idle());
    EXPECT_EQ(upscalerRuns().size(), 1);
}

// The result window lists each image that failed with its reason.
TEST_F(WindowTest, TheResultWindowListsTheFailedImagesWithTheirReasons)
{
    QString listed;
    SetResultDialogHookForTesting([&listed](ResultDialog& dialog) {
        const auto* list = child<QWidget>(dialog, "failuresList");
        listed = list->isHidden() ? QString() : list->property("plainText").toString();
    });
    // The fake upscaler dies on images 13 pixels wide, each time it is given one.
    add({testenv::WriteImage(folder + QStringLiteral("first.png"), 13, 8),
         testenv::WriteImage(folder + QStringLiteral("a.png"), 8, 8),
         testenv::WriteImage(folder + QStringLiteral("last.jpg"), 13, 4)});
    choose(TImageType::Photo, TAction::CreateCopies);
    runBatch();
    EXPECT_EQ(statuses(), (QStringList{QStringLiteral("Failed"), QStringLiteral("Completed"),
                                       QStringLiteral("Failed")}));
    EXPECT_EQ(listed, QStringLiteral("first.png \u2014 ") + reasonOf(*images, 0).toString() +
                          QStringLiteral("\nlast.jpg \u2014 ") + reasonOf(*images, 2).toString());
    EXPECT_FALSE(reasonOf(*images, 0).toString().isEmpty());
}

} // namespace

// Space on a completed row shows its original beside its enlarged image: where a copy's original
// stays, from the trash where a replaced one went, and the enlarged image alone, saying why, when
// the original was deleted for good.
TEST_F(WindowTest, SpaceOnACompletedRowComparesItWithItsOriginal)
{
    const struct {
        const char* name;
        TAction action;
        TDisposal disposal;
        bool originalShown;
    } cases[] = {
        {"copy", TAction::CreateCopies, TDisposal::RecycleBin, true},
        {"replaced, original in the trash", TAction::ResizeOriginal, TDisposal::RecycleBin, true},
        {"replaced, original deleted", TAction::ResizeOriginal, TDisposal::DeletePermanently,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        openWindow();
        const QString photos = testenv::NewFolder(QStringLiteral("compare")) + QLatin1Char('/');
        add({testenv::WriteImage(photos + QStringLiteral("a.png"), 8, 6)});
        choose(TImageType::Photo, c.action, {}, c.disposal);
        dialogs.answers.push_back(platform::IDYES); // the question before deleting for good
        runBatch();
        ASSERT_EQ(statuses(), QStringList{QStringLiteral("Completed")});

        auto* list = child<QTableView>(*window, "imageList");
        list->selectRow(0);
        QTest::keyClick(list, Qt::Key_Space);
        auto* compare = window->findChild<ComparisonWindow*>(QStringLiteral("comparisonWindow"));
        ASSERT_NE(compare, nullptr);
        ASSERT_TRUE(waitFor([compare] { return !compare->loading(); }));
        EXPECT_TRUE(child<QLabel>(*compare, "afterInfo")
                        ->text()
                        .startsWith(QStringLiteral("Enlarged: 32 x 24")));
        const QString before = child<QLabel>(*compare, "beforeInfo")->text();
        auto* note = child<QLabel>(*compare, "noteLabel");
        if (c.originalShown) {
            EXPECT_TRUE(before.startsWith(QStringLiteral("Original: 8 x 6")))
                << before.toStdString();
            EXPECT_TRUE(note->isHidden());
        } else {
            EXPECT_TRUE(before.isEmpty()) << before.toStdString();
            EXPECT_FALSE(note->isHidden());
            EXPECT_EQ(note->text(), DeletedOriginalNote());
        }
        compare->close();
    }
}

// An image whose every pixel tells where it stands, so a cut-out part shows where it came from.
QString writeGradient(const QString& path, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x % 256, y % 256, (x / 256) * 64));
    EXPECT_TRUE(image.save(path));
    return path;
}

TEST_F(WindowTest, APreviewEnlargesAPartInTheInstanceFolderAndComparesTwoOptions)
{
    const QString done = testenv::WriteImage(folder + QStringLiteral("done.png"), 8, 6);
    add({done});
    choose(TImageType::Photo, TAction::CreateCopies);
    runBatch();
    const QString wide = writeGradient(folder + QStringLiteral("wide.png"), 300, 200);
    add({wide});
    const QStringList filesBefore = testenv::FolderEntries(folder);
    const QStringList statusesBefore = statuses();
    child<QTableView>(*window, "imageList")->selectRow(1);

    child<QPushButton>(*window, "previewButton")->click();
    auto* preview = window->findChild<ComparisonWindow*>(QStringLiteral("previewWindow"));
    ASSERT_NE(preview, nullptr);
    auto* status = child<QLabel>(*preview, "previewStatusLabel");
    const auto ready = [&](const char* caption) {
        return waitFor([&] {
            return status->text() == QStringLiteral("Preview ready: ") + QLatin1String(caption) &&
                   !preview->loading();
        });
    };
    ASSERT_TRUE(ready("Photo, Best quality, 4x")) << status->text().toStdString();
    EXPECT_TRUE(child<QLabel>(*preview, "beforeInfo")
                    ->text()
                    .startsWith(QStringLiteral("Original: 128 x 128")));
    EXPECT_TRUE(child<QLabel>(*preview, "afterInfo")
                    ->text()
                    .startsWith(QStringLiteral("Photo, Best quality, 4x: 512 x 512")));

    // The upscaler read and wrote inside the instance's folder, and the part it read is the
    // middle of the selected image.
    const QString temp = controller->tempFolder();
    const QStringList run = upscalerRuns().back().split(QLatin1Char('\t'));
    const QString part = run[run.indexOf(QStringLiteral("-i")) + 1];
    EXPECT_TRUE(part.startsWith(temp)) << part.toStdString();
    EXPECT_TRUE(run[run.indexOf(QStringLiteral("-o")) + 1].startsWith(temp));
    EXPECT_EQ(QImage(part).convertToFormat(QImage::Format_RGB32),
              QImage(wide).copy(86, 36, 128, 128));

    // A second preview with another image type is compared with the first.
    pick("imageTypeBox", static_cast<int>(TImageType::Artwork));
    child<QPushButton>(*window, "previewButton")->click();
    ASSERT_TRUE(ready("Artwork, Best quality, 4x")) << status->text().toStdString();
    EXPECT_TRUE(child<QLabel>(*preview, "beforeInfo")
                    ->text()
                    .startsWith(QStringLiteral("Photo, Best quality, 4x: 512 x 512")));
    EXPECT_TRUE(child<QLabel>(*preview, "afterInfo")
                    ->text()
                    .startsWith(QStringLiteral("Artwork, Best quality, 4x: 512 x 512")));
    EXPECT_EQ(child<QComboBox>(*preview, "compareWithBox")->currentText(),
              QStringLiteral("Photo, Best quality, 4x"));

    EXPECT_EQ(testenv::FolderEntries(folder), filesBefore);
    EXPECT_EQ(statuses(), statusesBefore);
}

TEST_F(WindowTest, ClosingThePreviewOrStopEndsARunningPreview)
{
    qputenv("GRANDORA_FAKE_UPSCALER_MODE", "hang");
    add({testenv::WriteImage(folder + QStringLiteral("a.png"), 16, 16)});
    for (const bool closing : {false, true}) {
        SCOPED_TRACE(closing ? "closing the window" : "STOP");
        child<QPushButton>(*window, "previewButton")->click();
        QPointer<ComparisonWindow> preview =
            window->findChild<ComparisonWindow*>(QStringLiteral("previewWindow"));
        ASSERT_FALSE(preview.isNull());
        auto* run = preview->findChild<PreviewRun*>();
        ASSERT_TRUE(waitFor([run] { return run->processId() != 0; }));
        const auto upscaler = static_cast<pid_t>(run->processId());
        if (closing) {
            preview->close();
            EXPECT_TRUE(waitFor([&] { return preview.isNull(); }));
        } else {
            child<QPushButton>(*preview, "previewStopButton")->click();
            EXPECT_TRUE(waitFor([&] {
                return child<QLabel>(*preview, "previewStatusLabel")->text() ==
                       QStringLiteral("The preview was stopped.");
            }));
            EXPECT_FALSE(child<QPushButton>(*preview, "previewStopButton")->isEnabled());
        }
        EXPECT_TRUE(waitFor([upscaler] { return testenv::ProcessEnded(upscaler); }, 10000));
    }
    EXPECT_EQ(statuses(), QStringList{QString()});
}

TEST_F(WindowTest, TheResultWindowComparesTheLastEnlargedImage)
{
    bool offered = false;
    SetResultDialogHookForTesting([&](ResultDialog& dialog) {
        auto* compare = child<QPushButton>(dialog, "compareButton");
        offered = !compare->isHidden();
        if (offered)
            compare->click();
    });
    add({testenv::WriteImage(folder + QStringLiteral("a.png"), 8, 6),
         testenv::WriteImage(folder + QStringLiteral("b.png"), 10, 10)});
    choose(TImageType::Photo, TAction::CreateCopies);
    runBatch();
    ASSERT_TRUE(offered);
    auto* compare = window->findChild<ComparisonWindow*>(QStringLiteral("comparisonWindow"));
    ASSERT_NE(compare, nullptr);
    ASSERT_TRUE(waitFor([compare] { return !compare->loading(); }));
    EXPECT_TRUE(child<QLabel>(*compare, "afterInfo")
                    ->text()
                    .startsWith(QStringLiteral("Enlarged: 40 x 40")));
    EXPECT_TRUE(child<QLabel>(*compare, "beforeInfo")
                    ->text()
                    .startsWith(QStringLiteral("Original: 10 x 10")));
    compare->close();

    // A batch that enlarged nothing has nothing to compare.
    qputenv("GRANDORA_FAKE_UPSCALER_MODE", "nothing");
    add({testenv::WriteImage(folder + QStringLiteral("c.png"), 8, 8)});
    runBatch();
    EXPECT_FALSE(offered);
}
