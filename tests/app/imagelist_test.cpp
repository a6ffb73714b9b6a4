// The batch list: what counts as an image, how folders are scanned, the ways files come in, and
// the list view's commands.
#include "app/imagecheck.h"
#include "app/imageentry.h"
#include "app/imagelist.h"
#include "app/imagelistmodel.h"
#include "app/imagelistview.h"
#include "app/mainwindow.h"
#include "batch/imageformats.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "support/testenv.h"
#include "support/waitfor.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMap>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Paths read as paths in a failure's message.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << text.toStdString();
}

namespace
{

QStringList namesOf(const TImageEntries& records)
{
    QStringList names;
    for (const TImageEntry& record : records)
        names << record.path;
    return names;
}

void touch(const QString& path, qint64 size = 1)
{
    testenv::WriteFile(path, QByteArray());
    QFile file(path);
    ASSERT_TRUE(file.resize(size));
}

// The folder's entries in the order the file system lists them.
QStringList listed(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
}

// Every raster format that Qt reads, not the vector ones.
TEST(IsSupportedImageName, TestsTheNameOnly)
{
    const struct {
        const char* name;
        bool supported;
    } cases[] = {
        {"a.png", true},  {"b.JPG", true},         {"c.WebP", true},
        {"d.jpeg", true}, {"/x/.png", true},       {"no/such/dir/e.jpg", true},
        {"f.jpe", false}, {"g.png.txt", false},    {"noextension", false},
        {"h.bmp", true},  {"dir.png/file", false}, {"dir.jpg:stream", false},
        {"", false},      {"i.png.", false},       {"j.TIFF", true},
        {"k.gif", true},  {"l.svg", false},        {"m.pdf", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsSupportedImageName(QString::fromUtf8(c.name)), c.supported) << c.name;
}

TEST(QtFileFilter, KeepsTheTextAndMatchesAnyCase)
{
    const QString filter =
        QtFileFilter(QStringLiteral("Image Files (*.jpg;*.png)|*.jpg;*.png|All Files (*.*)|*.*"));
    EXPECT_EQ(filter, QStringLiteral("Image Files (*.jpg;*.png) (*.[jJ][pP][gG] *.[pP][nN][gG]);;"
                                     "All Files (*.*) (*)"));
    const QRegularExpression jpg(
        QRegularExpression::wildcardToRegularExpression(QStringLiteral("*.[jJ][pP][gG]")));
    EXPECT_TRUE(jpg.match(QStringLiteral("IMG_0001.JPG")).hasMatch());
    EXPECT_TRUE(jpg.match(QStringLiteral("photo.Jpg")).hasMatch());
    EXPECT_FALSE(jpg.match(QStringLiteral("photo.jpeg")).hasMatch());
}

// A small tree with the cases a scan must get right.
class FolderScan : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = testenv::NewFolder(QStringLiteral("scan"));
        touch(root + QStringLiteral("/a.png"));
        touch(root + QStringLiteral("/b.JPG"));
        touch(root + QStringLiteral("/c.txt"));
        touch(root + QStringLiteral("/d.tif"));
        touch(root + QStringLiteral("/.hidden.webp"));
        touch(root + QStringLiteral("/sub/e.jpeg"));
        touch(root + QStringLiteral("/sub/deeper/f.webp"));
        touch(root + QStringLiteral("/folder.png/g.png"));
        touch(root + QStringLiteral("/locked/h.png"));
        QFile::setPermissions(root + QStringLiteral("/locked"), QFile::WriteOwner);
        QFile::link(root, root + QStringLiteral("/loop"));
        QFile::link(root + QStringLiteral("/a.png"), root + QStringLiteral("/link.png"));
        // A name whose bytes are not valid in the user's (UTF-8) encoding.
        const int fd = ::open(badName().constData(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        ::close(fd);
        filler.ShowCount = [this] { ++shown; };
    }
    void TearDown() override
    {
        QFile::setPermissions(root + QStringLiteral("/locked"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        ::unlink(badName().constData());
    }
    QByteArray badName() const { return QFile::encodeName(root) + "/bad\xff.png"; }

    QStringList recordNames() const { return namesOf(records); }

    QString root;
    TImageEntries records;
    ImageListFiller filler{records};
    int shown = 0;
};

// Each folder as a file manager shows it: subfolders first, then images, by name. The loop back
// to the root and the unreadable folder add nothing, the link to a folder is scanned once.
TEST_F(FolderScan, DepthFirstInNameOrderWithSubfolders)
{
    filler.IncludeSubfolders = [] { return true; };
    filler.AddFolder(root);
    const QStringList found = recordNames();
    const QStringList wanted = {root + QStringLiteral("/folder.png/g.png"),
                                root + QStringLiteral("/sub/deeper/f.webp"),
                                root + QStringLiteral("/sub/e.jpeg"),
                                root + QStringLiteral("/.hidden.webp"),
                                root + QStringLiteral("/a.png"),
                                root + QStringLiteral("/b.JPG"),
                                root + QStringLiteral("/d.tif"),
                                root + QStringLiteral("/link.png")};
    EXPECT_EQ(found, wanted);
    EXPECT_GE(shown, 1);

    // The same folder again, however written, adds nothing and counts every image it left out.
    filler.AddFolder(root + QStringLiteral("/sub/../"));
    EXPECT_EQ(recordNames(), found);
    const TLeftOut leftOut = filler.TakeLeftOut();
    EXPECT_EQ(leftOut.alreadyListed, 8);
    EXPECT_EQ(leftOut.firstAlreadyListed, root + QStringLiteral("/sub/../folder.png/g.png"));
    EXPECT_EQ(filler.TakeLeftOut().alreadyListed, 0);
}

TEST_F(FolderScan, TopFolderOnlyWithoutSubfolders)
{
    filler.IncludeSubfolders = [] { return false; };
    filler.AddFolder(root);
    EXPECT_EQ(recordNames(),
              QStringList({root + QStringLiteral("/.hidden.webp"), root + QStringLiteral("/a.png"),
                           root + QStringLiteral("/b.JPG"), root + QStringLiteral("/d.tif"),
                           root + QStringLiteral("/link.png")}));
}

TEST(CompareNaturally, NumbersByValueLettersWithoutCase)
{
    const struct {
        const char* before;
        const char* after;
    } cases[] = {
        {"img2.png", "img10.png"},
        {"IMG1.png", "img2.png"},
        {"img007.png", "img8.png"},
        {"img02.png", "img2.png"},
        {"a.png", "B.png"},
        {"IMG.png", "img.png"},
        {"photo 9 b", "photo 10 a"},
        {"x", "x1"},
        {"99999999999999999999a", "100000000000000000000a"},
    };
    for (const auto& c : cases) {
        const QString before = QString::fromUtf8(c.before);
        const QString after = QString::fromUtf8(c.after);
        EXPECT_LT(CompareNaturally(before, after), 0) << c.before << " < " << c.after;
        EXPECT_GT(CompareNaturally(after, before), 0) << c.after << " > " << c.before;
    }
    EXPECT_EQ(CompareNaturally(QStringLiteral("same 1"), QStringLiteral("same 1")), 0);
}

TEST(ListedName, IsAbsoluteAndClean)
{
    const QString here = QDir::currentPath();
    const struct {
        QString given;
        QString listed;
    } cases[] = {
        {QStringLiteral("/p/a.png"), QStringLiteral("/p/a.png")},
        {QStringLiteral("/p//q/./a.png"), QStringLiteral("/p/q/a.png")},
        {QStringLiteral("/p/q/../a.png"), QStringLiteral("/p/a.png")},
        {QStringLiteral("a.png"), here + QStringLiteral("/a.png")},
        {QStringLiteral("./x/../a.png"), here + QStringLiteral("/a.png")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ListedName(c.given), c.listed) << c.given.toStdString();
}

TEST(LeftOutText, OneByItsNameSeveralByTheirCount)
{
    const QStringList one{QStringLiteral("/p/notes.txt")};
    const QStringList two{QStringLiteral("/p/notes.txt"), QStringLiteral("/p/scan.pdf")};
    const QString notImage = QStringLiteral("Not an image the program can enlarge: /p/notes.txt");
    const QString listedOnce = QStringLiteral("Already in the list, not added again: /p/a.png");
    const struct {
        QStringList notImages;
        int alreadyListed;
        QString text;
    } cases[] = {
        {{}, 0, QString()},
        {one, 0, notImage},
        {two, 0, QStringLiteral("2 names skipped: not images the program can enlarge")},
        {{}, 1, listedOnce},
        {{}, 3, QStringLiteral("3 files already in the list, not added again")},
        {one, 1, notImage + QStringLiteral(" \u00b7 ") + listedOnce},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LeftOutText({c.notImages, c.alreadyListed, QStringLiteral("/p/a.png")}), c.text)
            << c.text.toStdString();
}

// The check judges a file as the batch would before it starts the upscaler: by its content, and
// only a regular file counts as there.
TEST(CheckFile, FindsWhatIsThereAndReadable)
{
    const QString folder = testenv::NewFolder(QStringLiteral("check")) + QLatin1Char('/');
    testenv::WriteImage(folder + QStringLiteral("photo.png"), 4, 4);
    testenv::WriteImage(folder + QStringLiteral("photo.jpg"), 4, 4);
    QFile::copy(folder + QStringLiteral("photo.png"), folder + QStringLiteral("misnamed.jpg"));
    testenv::WriteFile(folder + QStringLiteral("text.png"), "not an image");
    touch(folder + QStringLiteral("empty.png"), 0);
    QDir().mkdir(folder + QStringLiteral("folder.png"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder + QStringLiteral("pipe.png")).constData(), 0600),
              0);
    const struct {
        const char* name;
        TFileCheck check;
    } cases[] = {
        {"photo.png", TFileCheck::Readable},    {"photo.jpg", TFileCheck::Readable},
        {"misnamed.jpg", TFileCheck::Readable}, {"text.png", TFileCheck::NotAnImage},
        {"empty.png", TFileCheck::NotAnImage},  {"absent.png", TFileCheck::Missing},
        {"folder.png", TFileCheck::Missing},    {"pipe.png", TFileCheck::Missing},
    };
    for (const auto& c : cases) {
        const QString path = folder + QLatin1String(c.name);
        const TFileFinding finding = CheckFile(path);
        EXPECT_EQ(finding.check, c.check) << c.name;
        if (c.check != TFileCheck::Missing) {
            EXPECT_EQ(finding.size, QFileInfo(path).size()) << c.name;
        }
    }
}

// A file that appeared or changed after the check is the batch's to judge again.
TEST(ChangedSinceCheck, WhenTheFileAppearsGoesOrChanges)
{
    const QString folder = testenv::NewFolder(QStringLiteral("changed")) + QLatin1Char('/');
    const QString late = folder + QStringLiteral("late.png");
    const QString text = folder + QStringLiteral("text.png");
    testenv::WriteFile(text, "not an image");
    const auto checked = [](const QString& path) {
        const TFileFinding finding = CheckFile(path);
        TImageEntry entry{path, {}, false, {}};
        entry.check = finding.check;
        entry.checkedSize = finding.size;
        entry.checkedTime = finding.time;
        return entry;
    };
    const TImageEntry missing = checked(late);
    const TImageEntry notImage = checked(text);
    ASSERT_EQ(missing.check, TFileCheck::Missing);
    ASSERT_EQ(notImage.check, TFileCheck::NotAnImage);
    EXPECT_FALSE(ChangedSinceCheck(missing));
    EXPECT_FALSE(ChangedSinceCheck(notImage));

    testenv::WriteImage(late, 4, 4);
    EXPECT_TRUE(ChangedSinceCheck(missing));
    testenv::WriteFile(text, "still no image, but longer");
    EXPECT_TRUE(ChangedSinceCheck(notImage));
    QFile::remove(text);
    EXPECT_TRUE(ChangedSinceCheck(notImage));
}

// Files Start passed over count among the batch's failures, before those of the batch itself.
TEST(WithCheckFailures, CountsThemAmongTheFailures)
{
    const auto entry = [](const char* path, TFileCheck check, std::int64_t size) {
        TImageEntry listed{QLatin1String(path), {}, false, {}};
        listed.check = check;
        listed.checkedSize = size;
        return listed;
    };
    const auto count = [](TBatchSummary& failures, const TImageEntry& entry) {
        CountCheckFailure(failures, entry, CheckReason(entry));
    };
    TBatchSummary twoMissing;
    count(twoMissing, entry("/p/a.png", TFileCheck::Missing, -1));
    count(twoMissing, entry("/p/a.png", TFileCheck::Missing, -1));
    TBatchSummary notImage;
    count(notImage, entry("/p/b.png", TFileCheck::NotAnImage, 12));
    const QString aMissing = QStringLiteral("Image file not found: /p/a.png");
    const QString bNotImage = QStringLiteral("Not an image the program can read: /p/b.png");

    TBatchSummary clean;
    clean.completed = 3;
    clean.totalInputBytes = 100;
    TBatchSummary failedAlike = clean;
    failedAlike.failed = 1;
    failedAlike.commonFailure = failedAlike.lastFailure = aMissing;
    failedAlike.failures = {{QStringLiteral("/p/c.png"), aMissing}};
    TBatchSummary failedOtherwise = failedAlike;
    failedOtherwise.commonFailure = failedOtherwise.lastFailure = QStringLiteral("Crashed");

    const struct {
        const char* name;
        TBatchSummary batch;
        TBatchSummary passedOver;
        int failed;
        QString common, last;
        std::int64_t bytes;
        QStringList failedFiles;
    } cases[] = {
        {"none passed over",
         failedOtherwise,
         {},
         1,
         QStringLiteral("Crashed"),
         QStringLiteral("Crashed"),
         100,
         {QStringLiteral("/p/c.png")}},
        {"only passed over",
         clean,
         twoMissing,
         2,
         aMissing,
         aMissing,
         100,
         {QStringLiteral("/p/a.png"), QStringLiteral("/p/a.png")}},
        {"one reason for all",
         failedAlike,
         twoMissing,
         3,
         aMissing,
         aMissing,
         100,
         {QStringLiteral("/p/a.png"), QStringLiteral("/p/a.png"), QStringLiteral("/p/c.png")}},
        {"reasons differ",
         failedOtherwise,
         notImage,
         2,
         QString(),
         QStringLiteral("Crashed"),
         112,
         {QStringLiteral("/p/b.png"), QStringLiteral("/p/c.png")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TBatchSummary merged = WithCheckFailures(c.batch, c.passedOver);
        EXPECT_EQ(merged.completed, 3);
        EXPECT_EQ(merged.failed, c.failed);
        EXPECT_EQ(merged.commonFailure, c.common);
        EXPECT_EQ(merged.lastFailure, c.last);
        EXPECT_EQ(merged.totalInputBytes, c.bytes);
        QStringList files;
        for (const TFailedImage& failure : merged.failures)
            files << failure.file;
        EXPECT_EQ(files, c.failedFiles);
    }
    EXPECT_EQ(notImage.failures.front().reason, bNotImage);
}

// Findings come back in order on the window's thread; none after Cancel, none once the check is
// gone, even one it had already sent on its way.
TEST(ImageCheck, ReportsInOrderAndNothingOnceCancelledOrGone)
{
    const QString folder = testenv::NewFolder(QStringLiteral("checked")) + QLatin1Char('/');
    testenv::WriteImage(folder + QStringLiteral("a.png"), 4, 4);
    testenv::WriteFile(folder + QStringLiteral("b.png"), "text");
    std::vector<TImageCheck::TResult> seen;
    auto check = std::make_unique<TImageCheck>();
    QObject::connect(check.get(), &TImageCheck::Checked,
                     [&](const std::vector<TImageCheck::TResult>& results) {
                         EXPECT_EQ(QThread::currentThread(), qApp->thread());
                         seen.insert(seen.end(), results.begin(), results.end());
                     });
    check->Enqueue({{1, folder + QStringLiteral("a.png")},
                    {2, folder + QStringLiteral("b.png")},
                    {3, folder + QStringLiteral("c.png")}});
    ASSERT_TRUE(testenv::WaitFor([&] { return check->IsIdle(); }));
    ASSERT_EQ(seen.size(), 3u);
    const TFileCheck found[] = {TFileCheck::Readable, TFileCheck::NotAnImage, TFileCheck::Missing};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(seen[i].serial, i + 1);
        EXPECT_EQ(seen[i].finding.check, found[i]);
    }

    seen.clear();
    std::vector<TImageCheck::TFile> many;
    for (std::uint64_t i = 0; i < 20000; ++i)
        many.push_back({i, folder + QStringLiteral("absent%1.png").arg(i)});
    check->Enqueue(many);
    check->Cancel();
    ASSERT_TRUE(testenv::WaitFor([&] { return check->IsIdle(); }));
    // At most the file under check when Cancel came.
    EXPECT_LE(seen.size(), 1u);

    seen.clear();
    check->Enqueue(std::move(many));
    // The window does not take the findings yet; the check goes with a delivery on its way.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(check->IsIdle());
    check.reset();
    QCoreApplication::processEvents();
    EXPECT_TRUE(seen.empty());
}

// Numbers in names count by their value and case does not matter, whatever order the file
// system keeps and whatever the locale.
TEST_F(FolderScan, NamesSortAsPeopleReadThem)
{
    const QString folder = testenv::NewFolder(QStringLiteral("natural"));
    for (const char* name : {"img10.png", "img2.png", "IMG1.png", "z/x.png"})
        touch(folder + QLatin1Char('/') + QLatin1String(name));
    filler.IncludeSubfolders = [] { return true; };
    filler.AddFolder(folder);
    EXPECT_EQ(
        recordNames(),
        QStringList({folder + QStringLiteral("/z/x.png"), folder + QStringLiteral("/IMG1.png"),
                     folder + QStringLiteral("/img2.png"), folder + QStringLiteral("/img10.png")}));
}

TEST_F(FolderScan, SubfolderChoiceIsReadAtEachFolder)
{
    // Switched off after the first subfolder the file system lists has been taken.
    int asked = 0;
    filler.IncludeSubfolders = [&] { return ++asked == 1; };
    filler.AddFolder(root);
    QString first;
    for (const QString& name : listed(root)) {
        if (QFileInfo(root + QLatin1Char('/') + name).isDir()) {
            first = name;
            break;
        }
    }
    // Loop and locked add nothing; sub's own subfolder is no longer taken.
    const QStringList inFirst =
        QMap<QString, QStringList>{
            {QStringLiteral("folder.png"), {root + QStringLiteral("/folder.png/g.png")}},
            {QStringLiteral("sub"), {root + QStringLiteral("/sub/e.jpeg")}},
        }
            .value(first);
    EXPECT_EQ(recordNames(),
              inFirst + QStringList(
                            {root + QStringLiteral("/.hidden.webp"),
                             root + QStringLiteral("/a.png"), root + QStringLiteral("/b.JPG"),
                             root + QStringLiteral("/d.tif"), root + QStringLiteral("/link.png")}));
    EXPECT_GT(asked, 1);
}

TEST_F(FolderScan, MissingFolderAddsNothing)
{
    filler.IncludeSubfolders = [] { return true; };
    filler.AddFolder(root + QStringLiteral("/absent"));
    EXPECT_TRUE(records.empty());
    EXPECT_EQ(shown, 0);
}

// The main window with dialogs and the shell answered by the test.
class ListWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        platform::EnableDialogScriptForTesting(&script);
        platform::SetShellHooksForTesting({[this](const QUrl& url) {
                                               opened << url.toLocalFile();
                                               return true;
                                           },
                                           [this](const QString& path) {
                                               properties << path;
                                               return true;
                                           },
                                           {}});
        open({});
        ASSERT_TRUE(script.shown.empty()) << script.shown.front().text.toStdString();
        action("includeSubfoldersAction")->setChecked(true);
    }
    // A new window started with `arguments`.
    void open(const QStringList& arguments)
    {
        form = std::make_unique<MainWindow>(arguments);
        // No update check leaves the machine from these tests.
        form->findChild<QTimer*>(QStringLiteral("updateCheckTimer"))->stop();
        view = form->findChild<QTableView*>(QStringLiteral("imageList"));
        pages = form->findChild<QTabWidget*>(QStringLiteral("pages"));
        images = form->findChild<ImageListModel*>(QStringLiteral("imageListModel"));
        statusText = form->findChild<QLabel*>(QStringLiteral("statusText"));
        ASSERT_TRUE(view && pages && images && statusText);
    }
    void TearDown() override
    {
        form.reset();
        platform::SetShellHooksForTesting({});
        platform::EnableDialogScriptForTesting(nullptr);
    }

    QStringList recordNames() const { return namesOf(images->entries()); }
    QAction* action(const char* name) { return form->findChild<QAction*>(QLatin1String(name)); }
    QString caption() const { return pages->tabText(0); }
    void fill(const QStringList& names) { images->appendFiles(names); }
    QPushButton* button(const char* name)
    {
        return form->findChild<QPushButton*>(QLatin1String(name));
    }
    void selectRows(std::initializer_list<int> rows)
    {
        view->clearSelection();
        for (int row : rows)
            view->selectionModel()->select(view->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QString cell(int row, int column) const
    {
        return view->model()->index(row, column).data().toString();
    }

    platform::DialogScript script;
    QStringList opened;
    QStringList properties;
    std::unique_ptr<MainWindow> form;
    QTableView* view = nullptr;
    QTabWidget* pages = nullptr;
    ImageListModel* images = nullptr;
    QLabel* statusText = nullptr;
};

// Folders are scanned and images taken as written, dropped or named on the command line alike.
// Names that are neither are told in the status bar: one by its name, several by their count.
TEST_F(ListWindow, FolderThenFilesByDropAndByCommandLine)
{
    const QString folder = testenv::NewFolder(QStringLiteral("given"));
    touch(folder + QStringLiteral("/one.png"));
    touch(folder + QStringLiteral("/inner/two.webp"));
    touch(folder + QStringLiteral("/skip.txt"));
    const QString file1 = testenv::Root() + QStringLiteral("/x.JPG");
    const QString file2 = QStringLiteral("relative/y.png"); // need not exist
    const QString file3 = QStringLiteral("z.bmp");
    const QString notes = testenv::Root() + QStringLiteral("/notes.txt");
    const QString document = QStringLiteral("scan.pdf");

    const struct {
        bool dropped;
        QStringList others;
        QString status;
    } cases[] = {
        // What the status bar said about the list before goes as rows come.
        {true, {}, QString()},
        {true, {notes}, QStringLiteral("Not an image the program can enlarge: ") + notes},
        {false, {notes}, QStringLiteral("Not an image the program can enlarge: ") + notes},
        {false,
         {notes, document},
         QStringLiteral("2 names skipped: not images the program can enlarge")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dropped ? "drop" : "command line");
        SCOPED_TRACE(c.status.toStdString());
        // What is skipped does not disturb the order of the rest.
        const QStringList given = QStringList{folder, file1} + c.others + QStringList{file2, file3};
        if (c.dropped) {
            action("fileClearAction")->trigger();
            statusText->setText(QStringLiteral("before"));
            pages->setCurrentIndex(1);
            QMimeData mime;
            QList<QUrl> urls;
            for (const QString& name : given)
                urls << QUrl::fromLocalFile(QFileInfo(name).absoluteFilePath());
            mime.setUrls(urls);
            QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton,
                                  Qt::NoModifier);
            QApplication::sendEvent(form.get(), &enter);
            EXPECT_TRUE(enter.isAccepted());
            QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(form.get(), &drop);
            QCoreApplication::processEvents();
            EXPECT_EQ(pages->currentIndex(), 0);
        } else {
            open(given);
            const auto* startArguments =
                form->findChild<QTimer*>(QStringLiteral("startArgumentsTimer"));
            ASSERT_TRUE(QTest::qWaitFor([&] { return !startArguments->isActive(); }));
        }
        const QStringList found = recordNames();
        ASSERT_EQ(found.size(), 5);
        EXPECT_EQ(QSet<QString>(found.begin(), found.begin() + 2),
                  QSet<QString>({folder + QStringLiteral("/one.png"),
                                 folder + QStringLiteral("/inner/two.webp")}));
        EXPECT_EQ(found[2], file1);
        EXPECT_EQ(found[3], c.dropped ? QFileInfo(file2).absoluteFilePath() : file2);
        EXPECT_EQ(found[4], c.dropped ? QFileInfo(file3).absoluteFilePath() : file3);
        // The folder's images remember it; files given by themselves have no folder of origin.
        for (size_t i = 0; i < 5; ++i)
            EXPECT_EQ(images->entries()[i].origin, i < 2 ? folder : QString()) << i;
        EXPECT_EQ(caption(), QStringLiteral("Images [5]"));
        EXPECT_EQ(view->model()->rowCount(), 5);
        EXPECT_EQ(statusText->text(), c.status);
    }
}

// The box that says settings.ini cannot be read runs the event loop while the window starts; the
// images given on the command line still land in the list.
TEST_F(ListWindow, ImagesGivenAtStartOutliveAnUnreadableSettingsFile)
{
    const QString program = testenv::NewFolder(QStringLiteral("program")) + QLatin1Char('/');
    ASSERT_TRUE(QDir().mkdir(program + QStringLiteral("settings.ini")));
    platform::SetExecutableFolderForTesting(program);
    script.whileShown = [] { QTest::qWait(50); };
    const QStringList given{QStringLiteral("/p/1.png"), QStringLiteral("/p/2.png")};
    open(given);
    ASSERT_TRUE(QTest::qWaitFor([this] {
        return !form->findChild<QTimer*>(QStringLiteral("startArgumentsTimer"))->isActive();
    }));
    platform::SetExecutableFolderForTesting({});
    ASSERT_EQ(script.shown.size(), 1u);
    EXPECT_EQ(script.shown[0].kind, platform::DialogRecord::Message);
    EXPECT_EQ(recordNames(), given);
    EXPECT_EQ(caption(), QStringLiteral("Images [2]"));
}

TEST_F(ListWindow, DialogsAddFilesAsChosenAndFoldersFromLastFolder)
{
    LastFolder.clear();
    script.fileAnswers.push_back({QStringLiteral("/p/a.bmp"), QStringLiteral("/p/b.txt")});
    button("addFilesButton")->click();
    EXPECT_EQ(recordNames(), QStringList({QStringLiteral("/p/a.bmp"), QStringLiteral("/p/b.txt")}));
    EXPECT_EQ(caption(), QStringLiteral("Images [2]"));
    button("addFilesButton")->click(); // cancelled
    EXPECT_EQ(images->count(), 2);

    const QString first = testenv::NewFolder(QStringLiteral("first"));
    const QString second = testenv::NewFolder(QStringLiteral("second"));
    touch(first + QStringLiteral("/1.png"));
    touch(second + QStringLiteral("/2.png"));
    script.fileAnswers.push_back({first, second});
    action("addFolderAction")->trigger();
    EXPECT_EQ(recordNames().mid(2),
              QStringList({first + QStringLiteral("/1.png"), second + QStringLiteral("/2.png")}));
    EXPECT_EQ(images->entries()[0].origin, QString());
    EXPECT_EQ(images->entries()[2].origin, first);
    EXPECT_EQ(images->entries()[3].origin, second);
    EXPECT_EQ(caption(), QStringLiteral("Images [4]"));
    button("addFolderButton")->click();
    ASSERT_EQ(script.shown.size(), 4u);
    EXPECT_EQ(script.shown[2].caption, QString());
    EXPECT_EQ(script.shown[3].caption, first); // the next folder dialog starts at LastFolder
}

// The dialog offers the images of every format the program takes, in any case, and all files.
TEST_F(ListWindow, AddFilesOffersEveryImageFormatAndAllFiles)
{
    button("addFilesButton")->click();
    ASSERT_EQ(script.shown.size(), 1u);
    const QStringList entries = script.shown[0].filter.split(QStringLiteral(";;"));
    ASSERT_EQ(entries.size(), 2) << script.shown[0].filter.toStdString();
    EXPECT_EQ(entries[1], QStringLiteral("All Files (*.*) (*)"));
    const QString images = QStringLiteral("Image Files (");
    ASSERT_TRUE(entries[0].startsWith(images) && entries[0].endsWith(QLatin1Char(')')))
        << entries[0].toStdString();
    std::vector<QRegularExpression> patterns;
    for (const QString& pattern : entries[0].mid(images.size()).chopped(1).split(QLatin1Char(' ')))
        patterns.emplace_back(QRegularExpression::wildcardToRegularExpression(pattern));
    const auto offered = [&](const QString& name) {
        return std::any_of(patterns.begin(), patterns.end(),
                           [&](const QRegularExpression& p) { return p.match(name).hasMatch(); });
    };
    EXPECT_EQ(patterns.size(), size_t(SupportedImageExtensions().size()));
    for (const QString& extension : SupportedImageExtensions()) {
        EXPECT_TRUE(offered(QStringLiteral("a.") + extension)) << extension.toStdString();
        EXPECT_TRUE(offered(QStringLiteral("B.") + extension.toUpper())) << extension.toStdString();
    }
    for (const char* other : {"a.txt", "a.svg", "a.png.txt", "png"})
        EXPECT_FALSE(offered(QLatin1String(other))) << other;
}

TEST_F(ListWindow, CountAndCaptionAreCurrentWheneverEventsRunDuringAScan)
{
    const QString folder = testenv::NewFolder(QStringLiteral("long"));
    for (int i = 0; i < 50; ++i)
        touch(folder + QStringLiteral("/%1.png").arg(i));
    struct Seen {
        QString caption;
        int rows;
        size_t records;
    };
    std::vector<Seen> seen;
    // Runs at the first moment the scan lets events through, and clears the list there.
    QTimer::singleShot(0, form.get(), [&] {
        seen.push_back({caption(), view->model()->rowCount(), images->entries().size()});
        action("fileClearAction")->trigger();
    });
    images->filler().AddFolder(folder);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_LT(seen[0].records, 50u);
    EXPECT_EQ(seen[0].caption, QStringLiteral("Images [%1]").arg(seen[0].records));
    EXPECT_EQ(size_t(seen[0].rows), seen[0].records);
    const size_t after = 50 - seen[0].records;
    EXPECT_EQ(images->entries().size(), after);
    EXPECT_EQ(caption(), QStringLiteral("Images [%1]").arg(after));
    EXPECT_EQ(size_t(view->model()->rowCount()), after);
}

TEST_F(ListWindow, DeleteRemovesTheSelectedRowsWithAnyModifier)
{
    const QStringList five{QStringLiteral("1.png"), QStringLiteral("2.png"),
                           QStringLiteral("3.png"), QStringLiteral("4.png"),
                           QStringLiteral("5.png")};
    const struct {
        std::initializer_list<int> rows;
        Qt::KeyboardModifiers modifiers;
        QStringList left;
    } cases[] = {
        {{1, 3}, Qt::NoModifier, {five[0], five[2], five[4]}},
        {{3, 1}, Qt::ShiftModifier, {five[0], five[2], five[4]}},
        {{0, 1, 2, 3, 4}, Qt::ControlModifier | Qt::AltModifier, {}},
        {{}, Qt::NoModifier, five},
    };
    for (const auto& c : cases) {
        action("clearListAction")->trigger();
        fill(five);
        selectRows(c.rows);
        QTest::keyClick(view, Qt::Key_Delete, c.modifiers);
        EXPECT_EQ(recordNames(), c.left);
        EXPECT_EQ(view->model()->rowCount(), c.left.size());
        EXPECT_EQ(caption(), QStringLiteral("Images [%1]").arg(c.left.size()));
        EXPECT_FALSE(view->selectionModel()->hasSelection());
    }
}

TEST_F(ListWindow, CtrlASelectsAllOnlyWithCtrlAlone)
{
    fill({QStringLiteral("1.png"), QStringLiteral("2.png"), QStringLiteral("3.png")});
    const struct {
        Qt::KeyboardModifiers modifiers;
        int selected;
    } cases[] = {
        {Qt::ControlModifier, 3},
        {Qt::ControlModifier | Qt::ShiftModifier, 0},
        {Qt::ControlModifier | Qt::AltModifier, 0},
    };
    for (const auto& c : cases) {
        view->clearSelection();
        QTest::keyClick(view, Qt::Key_A, c.modifiers);
        EXPECT_EQ(view->selectionModel()->selectedRows().size(), c.selected) << c.modifiers;
    }
}

TEST_F(ListWindow, SizeColumnShowsTheFileAsItIsNow)
{
    const QString folder = testenv::NewFolder(QStringLiteral("sizes"));
    const QString big = folder + QStringLiteral("/big.png");
    const QString gone = folder + QStringLiteral("/gone.jpg");
    touch(big, 12345678);
    touch(gone, 10);
    fill({big, gone});
    EXPECT_EQ(cell(0, ImageListModel::SizeColumn), QStringLiteral("12,345,678"));
    EXPECT_EQ(cell(1, ImageListModel::SizeColumn), QStringLiteral("10"));
    QFile::remove(gone);
    EXPECT_EQ(cell(1, ImageListModel::SizeColumn), QString());
    EXPECT_EQ(cell(0, ImageListModel::FilenameColumn), big);
    EXPECT_FALSE(view->model()->index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
}

TEST_F(ListWindow, OpenAndPropertiesActOnTheFirstSelectedRow)
{
    fill({QStringLiteral("/p/1.png"), QStringLiteral("/p/2.png"), QStringLiteral("/p/3.png")});
    action("openFileAction")->trigger();
    action("propertiesAction")->trigger();
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_TRUE(properties.isEmpty());

    selectRows({2, 1});
    action("openFileAction")->trigger();
    action("propertiesAction")->trigger();
    EXPECT_EQ(opened, QStringList({QStringLiteral("/p/2.png")}));
    EXPECT_EQ(properties, QStringList({QStringLiteral("/p/2.png")}));

    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    const QRect third = view->visualRect(view->model()->index(2, 0));
    // A double click arrives after the first click of the pair.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, third.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, third.center());
    EXPECT_EQ(opened.size(), 2);
    EXPECT_EQ(opened.value(1), QStringLiteral("/p/3.png"));
}

TEST_F(ListWindow, ClearEmptiesTheListAndTheCaption)
{
    fill({QStringLiteral("1.png"), QStringLiteral("2.png")});
    EXPECT_EQ(caption(), QStringLiteral("Images [2]"));
    action("fileClearAction")->trigger();
    EXPECT_EQ(images->count(), 0);
    EXPECT_EQ(view->model()->rowCount(), 0);
    EXPECT_EQ(caption(), QStringLiteral("Images [0]"));
}

// A name already listed is not listed again, however it comes and however it is written; the
// status bar says how many were left out. A name removed from the list may come again.
TEST_F(ListWindow, EachFileIsListedOnce)
{
    const QString folder = testenv::NewFolder(QStringLiteral("once"));
    const QString one = folder + QStringLiteral("/one.png");
    const QString two = folder + QStringLiteral("/two.png");
    touch(one);
    touch(two);
    const QString notes = folder + QStringLiteral("/notes.txt");
    touch(notes);
    const QString again = QStringLiteral("Already in the list, not added again: ");
    const auto drop = [this](const QStringList& names) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString& name : names)
            urls << QUrl::fromLocalFile(name);
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(form.get(), &enter);
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.get(), &event);
        QCoreApplication::processEvents();
    };
    const struct {
        const char* name;
        std::function<void()> add;
        QStringList listed;
        QString status;
    } cases[] = {
        {"files, one written twice",
         [&] {
             script.fileAnswers.push_back({one, folder + QStringLiteral("//./one.png")});
             button("addFilesButton")->click();
         },
         {one},
         again + folder + QStringLiteral("//./one.png")},
        {"a folder holding it",
         [&] {
             script.fileAnswers.push_back({folder});
             action("addFolderAction")->trigger();
         },
         {one, two},
         again + one},
        {"a drop of the folder and a file",
         [&] {
             drop({folder, one});
         },
         {one, two},
         QStringLiteral("3 files already in the list, not added again")},
        {"a drop with a name that is no image",
         [&] {
             drop({notes, two});
         },
         {one, two},
         QStringLiteral("Not an image the program can enlarge: ") + notes +
             QStringLiteral(" \u00b7 ") + again + two},
        {"a removed row's file",
         [&] {
             selectRows({0});
             QTest::keyClick(view, Qt::Key_Delete);
             fill({one});
         },
         {two, one},
         QString()},
        {"a cleared list's files",
         [&] {
             action("fileClearAction")->trigger();
             script.fileAnswers.push_back({two, one, two});
             button("addFilesButton")->click();
         },
         {two, one},
         again + two},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        statusText->clear();
        c.add();
        EXPECT_EQ(recordNames(), c.listed);
        EXPECT_EQ(caption(), QStringLiteral("Images [%1]").arg(c.listed.size()));
        EXPECT_EQ(statusText->text(), c.status);
    }
    // From the command line, the second name of one file is left out, and said so.
    open({one, folder + QStringLiteral("/x/../one.png")});
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return !form->findChild<QTimer*>(QStringLiteral("startArgumentsTimer"))->isActive();
    }));
    EXPECT_EQ(recordNames(), QStringList{one});
    EXPECT_EQ(statusText->text(), again + folder + QStringLiteral("/x/../one.png"));
}

// The words the status bar ended a batch with describe the list the batch left: they go when it
// is cleared or rows come or go.
TEST_F(ListWindow, StaleWordsGoWithTheList)
{
    const QString ending = QStringLiteral("2 failed; the reasons are on the rows");
    const struct {
        const char* name;
        std::function<void()> change;
    } cases[] = {
        {"cleared", [&] { action("fileClearAction")->trigger(); }},
        {"cleared from the list's menu", [&] { action("clearListAction")->trigger(); }},
        {"a new list", [&] { fill({QStringLiteral("/new/1.png")}); }},
        {"a row removed",
         [&] {
             selectRows({0});
             QTest::keyClick(view, Qt::Key_Delete);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fill({QStringLiteral("/p/1.png"), QStringLiteral("/p/2.png")});
        statusText->setText(ending);
        c.change();
        EXPECT_EQ(statusText->text(), QString());
    }
}

// Every listed file is checked once, in the background: a missing one and one that is no image
// say so on their row at once, with the reason when hovered; the others show nothing yet.
TEST_F(ListWindow, MissingAndUnreadableFilesSaySoAtOnce)
{
    const QString folder = testenv::NewFolder(QStringLiteral("checked")) + QLatin1Char('/');
    const QStringList files{testenv::WriteImage(folder + QStringLiteral("photo.jpg"), 4, 4),
                            folder + QStringLiteral("absent.png"),
                            folder + QStringLiteral("text.png")};
    testenv::WriteFile(files[2], "not an image");
    // Named on the command line, as a file manager passes them.
    open(files);
    ASSERT_TRUE(testenv::WaitFor([&] { return images->count() == 3 && !images->checking(); }));
    const struct {
        QString status, reason, size;
    } rows[] = {
        {QString(), QString(), QStringLiteral("%1").arg(QFileInfo(files[0]).size())},
        {QStringLiteral("File not found"), QStringLiteral("Image file not found: ") + files[1],
         QString()},
        {QStringLiteral("Not an image the program can read"),
         QStringLiteral("Not an image the program can read: ") + files[2], QStringLiteral("12")},
    };
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(cell(row, ImageListModel::StatusColumn), rows[row].status);
        EXPECT_EQ(view->model()->index(row, ImageListModel::StatusColumn).data(Qt::ToolTipRole),
                  rows[row].reason.isEmpty() ? QVariant() : QVariant(rows[row].reason));
        EXPECT_EQ(cell(row, ImageListModel::SizeColumn), rows[row].size);
    }
    // The words of the check follow the language; the state is kept, not its text.
    EXPECT_EQ(images->entries()[1].check, TFileCheck::Missing);
    EXPECT_TRUE(images->entries()[1].status.isEmpty());
}

// Rows removed or a list cleared while the check runs: its findings land on the rows they are
// about, or nowhere; a window closed meanwhile takes the check along.
TEST_F(ListWindow, TheCheckFollowsRemovedRowsAndAClearedList)
{
    const QString folder = testenv::NewFolder(QStringLiteral("moving")) + QLatin1Char('/');
    QStringList names;
    for (int i = 0; i < 3000; ++i) {
        if (i % 2) {
            names << folder + QStringLiteral("text%1.png").arg(i);
            testenv::WriteFile(names.last(), "not an image");
        } else {
            names << folder + QStringLiteral("missing%1.png").arg(i);
        }
    }
    fill(names);
    ASSERT_TRUE(images->checking()) << "the check ended before the test could remove rows";
    std::vector<char> marked(names.size(), 0);
    for (size_t row = 0; row < marked.size(); row += 3)
        marked[row] = 1;
    images->removeMarked(marked);
    ASSERT_TRUE(testenv::WaitFor([&] { return !images->checking(); }, 60000));
    ASSERT_EQ(images->count(), 2000);
    int wrong = 0;
    for (int row = 0; row < images->count(); ++row) {
        const bool missing = cell(row, 0).contains(QStringLiteral("missing"));
        const QString expected = missing ? QStringLiteral("File not found")
                                         : QStringLiteral("Not an image the program can read");
        wrong += cell(row, ImageListModel::StatusColumn) != expected;
    }
    EXPECT_EQ(wrong, 0);

    // Cleared while it runs: nothing it found about the old rows reaches the new ones.
    fill(names);
    action("fileClearAction")->trigger();
    const QString photo = testenv::WriteImage(folder + QStringLiteral("photo.png"), 4, 4);
    fill({photo});
    ASSERT_TRUE(testenv::WaitFor([&] { return !images->checking(); }, 60000));
    EXPECT_EQ(images->count(), 1);
    EXPECT_EQ(cell(0, ImageListModel::StatusColumn), QString());
    EXPECT_EQ(images->entries()[0].check, TFileCheck::Readable);

    // Under the sanitizers, a finding that reached the gone list would show here.
    fill(names);
    ASSERT_TRUE(images->checking());
    form.reset();
    QCoreApplication::processEvents();
}

} // namespace
