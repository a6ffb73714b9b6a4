#include "about/about.h"
#include "app/appvalues.h"
#include "app/imagelistmodel.h"
#include "app/imagelistview.h"
#include "app/mainwindow.h"
#include "app/optionchoices.h"
#include "app/optionspage.h"
#include "app/restartlist.h"
#include "app/settingsstore.h"
#include "app/widgetkit.h"
#include "app/windowplacement.h"
#include "batch/batchoptions.h"
#include "i18n/translation.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "support/testenv.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

namespace
{

// Chooses an item as the user does, which is what the window stores.
void pick(QComboBox* box, int item)
{
    box->setCurrentIndex(item);
    emit box->activated(item);
}

// What a tooltip reads. A long one is rich text, or it would not wrap.
QString tipText(const QString& tip)
{
    if (tip.isEmpty())
        return tip;
    EXPECT_TRUE(Qt::mightBeRichText(tip)) << tip.toStdString();
    return QTextDocumentFragment::fromHtml(tip).toPlainText().trimmed();
}

// The window's part of that name; a part that is missing fails the test rather than crash it.
template <typename T> T* part(const QObject& window, const char* name)
{
    T* found = window.findChild<T*>(QLatin1String(name));
    if (!found)
        throw std::runtime_error(std::string("the window has no ") + name);
    return found;
}

// Each test gets its own program folder (settings.ini and Languages/ live there) and answers
// every dialog from a script.
class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        programFolder = testenv::NewFolder(QStringLiteral("program")) + QLatin1Char('/');
        // As installed: an image type without its model would say so in its caption.
        layOutUpscaler();
        platform::SetExecutableFolderForTesting(programFolder);
        platform::EnableDialogScriptForTesting(&dialogs);
        platform::SetShellHooksForTesting({
            [this](const QUrl& url) {
                opened << url;
                return true;
            },
            nullptr,
            [this](const QString& program, const QStringList&) {
                started << program;
                return true;
            },
        });
        UnloadLanguageForTesting();
    }
    void TearDown() override
    {
        window.reset();
        platform::SetShellHooksForTesting({});
        platform::EnableDialogScriptForTesting(nullptr);
        platform::SetExecutableFolderForTesting({});
        UnloadLanguageForTesting();
    }
    void writeSettings(const QByteArray& text)
    {
        testenv::WriteFile(programFolder + QStringLiteral("settings.ini"), text);
    }
    MainWindow& start()
    {
        window = std::make_unique<MainWindow>(QStringList());
        // No update check leaves the machine from these tests.
        part<QTimer>("updateCheckTimer")->stop();
        return *window;
    }
    template <typename T = QWidget> T* part(const char* name) const
    {
        return ::part<T>(*window, name);
    }
    QComboBox* box(const char* name) const { return part<QComboBox>(name); }
    QAction* action(const char* name) const { return part<QAction>(name); }
    QLabel* label(const char* name) const { return part<QLabel>(name); }
    OptionsPage* optionsPage() const { return part<OptionsPage>("optionsPage"); }
    ImageListModel* images() const { return part<ImageListModel>("imageListModel"); }
    QTabWidget* pages() const { return part<QTabWidget>("pages"); }
    // What a batch started now would be given.
    TBatchOptions batchOptions() const
    {
        return BatchOptionsOf(optionsPage()->choices(), upscalerFolder());
    }

    // settings.ini as it is on disk; empty when there is none.
    std::string storedSettings() const
    {
        return testenv::ReadFile(programFolder + QStringLiteral("settings.ini")).toStdString();
    }
    bool storedSettingsHold(const char* text) const
    {
        return storedSettings().find(text) != std::string::npos;
    }
    // What settings.ini holds under `key` now, as the next start reads it.
    QString storedValue(const char* key) const
    {
        TSettingsStore store;
        store.Open(programFolder);
        return store.Read(QLatin1String(key));
    }
    QString upscalerFolder() const { return programFolder + QStringLiteral("realesrgan/"); }
    // The upscaler's folder beside the program, with the models of both image types.
    void layOutUpscaler() const
    {
        testenv::LayOutUpscalerFolder(upscalerFolder(), QStringLiteral("/bin/true"));
    }
    // Installs or removes the fast model of the image type in the upscaler's folder.
    void setFastModel(TImageType type, bool installed) const
    {
        const QString none = testenv::NewFolder(QStringLiteral("none")) + QLatin1Char('/');
        for (const QString& missing : MissingModelFiles(none, type, TSpeed::Fast)) {
            const QString file = ModelFolder(upscalerFolder()) + QFileInfo(missing).fileName();
            if (installed)
                testenv::WriteFile(file, "model");
            else
                QFile::remove(file);
        }
    }

    QString programFolder;
    platform::DialogScript dialogs;
    QList<QUrl> opened;
    QStringList started;
    std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, StartsWithDefaultsAndItsOwnTitle)
{
    MainWindow& w = start();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Zelmora - Grandora"));
    EXPECT_EQ(AppVersion, QStringLiteral("1.0"));
    EXPECT_EQ(pages()->currentIndex(), 0);
    EXPECT_EQ(pages()->tabText(0), QStringLiteral("Images [0]"));
    EXPECT_EQ(box("imageTypeBox")->currentText(), QStringLiteral("Artwork"));
    EXPECT_EQ(box("actionBox")->currentText(), QStringLiteral("Resize and Create Copies"));
    EXPECT_EQ(box("destinationBox")->currentText(), QStringLiteral("Same Folder as Original"));
    EXPECT_TRUE(box("destinationBox")->isEnabled());
    EXPECT_TRUE(part<QRadioButton>("recycleOriginalsButton")->isChecked());
    EXPECT_TRUE(action("includeSubfoldersAction")->isChecked());
    EXPECT_TRUE(action("updateNotificationsAction")->isChecked());
    EXPECT_FALSE(action("updateNotificationsAction")->isEnabled());
    EXPECT_TRUE(dialogs.shown.empty());
    window.reset();
    EXPECT_FALSE(QFile::exists(programFolder + QStringLiteral("settings.ini")))
        << "starting and closing writes nothing: " << storedSettings();
}

// Every stored option comes back in its control, and restoring them writes nothing back.
TEST_F(MainWindowTest, RestoresEveryStoredOption)
{
    layOutUpscaler();
    setFastModel(TImageType::Photo, true);
    const QString destination = testenv::NewFolder(QStringLiteral("dest"));
    const QByteArray text =
        "[Settings]\nModel=Photo\nAction=ResizeOriginal\nDestination=" + destination.toUtf8() +
        "\nOriginalFiles=DeletePermanently\nScale=3\nOutputFormat=WebP\n"
        "JpegQuality=1\nSpeed=Fast\nEngine=Upscaler\nKeepMetadata=0\n\n";
    writeSettings(text);
    start();
    EXPECT_EQ(box("imageTypeBox")->currentText(), QStringLiteral("Photo"));
    EXPECT_EQ(box("actionBox")->currentText(), QStringLiteral("Resize Original"));
    EXPECT_FALSE(box("destinationBox")->isEnabled());
    EXPECT_FALSE(part<QPushButton>("browseButton")->isEnabled());
    EXPECT_FALSE(label("originalFilesLabel")->isHidden());
    EXPECT_EQ(box("destinationBox")->currentText(), destination);
    EXPECT_TRUE(part<QRadioButton>("deleteOriginalsButton")->isChecked());
    EXPECT_EQ(box("scaleBox")->currentText(), QStringLiteral("3x"));
    EXPECT_EQ(box("formatBox")->currentText(), QStringLiteral("WebP"));
    EXPECT_EQ(part<QSpinBox>("qualityBox")->value(), 1);
    EXPECT_EQ(box("speedBox")->currentText(), QStringLiteral("Fast"));
    EXPECT_EQ(box("engineBox")->currentText(), QStringLiteral("Upscaler (Vulkan)"));
    EXPECT_FALSE(part<QCheckBox>("keepMetadataBox")->isChecked());
    window.reset();
    EXPECT_EQ(storedSettings(), text.toStdString());
}

// What LoadChoices drops comes out as the default in the controls; the table of such values is
// in the tests of the choices.
TEST_F(MainWindowTest, IgnoresStoredValuesThatMatchNothing)
{
    writeSettings("[Settings]\nModel=photo\nAction=Something\nDestination=/no/such/folder\n"
                  "OriginalFiles=Other\nJpegQuality=101\n");
    start();
    EXPECT_EQ(box("imageTypeBox")->currentText(), QStringLiteral("Artwork"));
    EXPECT_EQ(box("actionBox")->currentText(), QStringLiteral("Resize and Create Copies"));
    EXPECT_TRUE(label("originalFilesLabel")->isHidden());
    EXPECT_EQ(box("destinationBox")->currentText(), QStringLiteral("Same Folder as Original"));
    EXPECT_TRUE(part<QRadioButton>("recycleOriginalsButton")->isChecked());
    EXPECT_EQ(part<QSpinBox>("qualityBox")->value(), 90);
}

TEST_F(MainWindowTest, OptionChangesAreWrittenThrough)
{
    start();
    pick(box("imageTypeBox"), 1);
    pick(box("actionBox"), 0);
    EXPECT_FALSE(box("destinationBox")->isEnabled());
    part<QRadioButton>("deleteOriginalsButton")->click();
    EXPECT_EQ(storedSettings(), "[Settings]\nModel=Photo\nAction=ResizeOriginal\n"
                                "OriginalFiles=DeletePermanently\n\n");

    pick(box("actionBox"), 1);
    EXPECT_EQ(storedValue("Action"), QStringLiteral("CreateCopies"));
}

// Scale, output format, JPEG quality, speed, engine and metadata go to settings.ini by names that
// no language changes, come back at the next start, and reach the batch.
TEST_F(MainWindowTest, TheNewOptionsAreStoredRestoredAndHandedToTheBatch)
{
    layOutUpscaler();
    setFastModel(TImageType::Photo, true);
    start();
    EXPECT_EQ(box("scaleBox")->currentText(), QStringLiteral("4x"));
    EXPECT_EQ(box("formatBox")->currentText(), QStringLiteral("Same as original"));
    EXPECT_EQ(part<QSpinBox>("qualityBox")->value(), 90);
    EXPECT_EQ(box("speedBox")->currentText(), QStringLiteral("Best quality"));
    EXPECT_EQ(box("engineBox")->currentText(), QStringLiteral("Automatic"));
    EXPECT_TRUE(part<QCheckBox>("keepMetadataBox")->isChecked());

    pick(box("imageTypeBox"), 1);
    pick(box("scaleBox"), 0);
    pick(box("formatBox"), 2);
    part<QSpinBox>("qualityBox")->setValue(75);
    pick(box("speedBox"), 1);
    pick(box("engineBox"), 1);
    part<QCheckBox>("keepMetadataBox")->click();
    EXPECT_FALSE(storedSettingsHold("JpegQuality")) << "the quality waits until the arrows pause";
    const auto expectChosen = [](const TBatchOptions& options) {
        EXPECT_EQ(options.imageType, TImageType::Photo);
        EXPECT_EQ(options.scale, 2);
        EXPECT_EQ(options.outputFormat, TOutputFormat::Jpeg);
        EXPECT_EQ(options.jpegQuality, 75);
        EXPECT_EQ(options.speed, TSpeed::Fast);
        EXPECT_EQ(options.engine, TEngine::BuiltIn);
        EXPECT_FALSE(options.keepMetadata);
    };
    expectChosen(batchOptions());
    window.reset();
    EXPECT_EQ(storedSettings(), "[Settings]\nModel=Photo\nScale=2\nOutputFormat=JPEG\nSpeed=Fast\n"
                                "Engine=BuiltIn\nKeepMetadata=0\nJpegQuality=75\n\n");

    start();
    EXPECT_EQ(box("scaleBox")->currentText(), QStringLiteral("2x"));
    EXPECT_EQ(box("formatBox")->currentText(), QStringLiteral("JPEG"));
    EXPECT_EQ(part<QSpinBox>("qualityBox")->value(), 75);
    EXPECT_EQ(box("speedBox")->currentText(), QStringLiteral("Fast"));
    EXPECT_EQ(box("engineBox")->currentText(), QStringLiteral("Built-in (CPU)"));
    EXPECT_FALSE(part<QCheckBox>("keepMetadataBox")->isChecked());
    expectChosen(batchOptions());
}

// "Beside the originals" is kept as no folder at all, which reads back the same in every
// language. The caption that earlier versions kept instead still reads back as beside.
TEST_F(MainWindowTest, BesideTheOriginalsIsStoredAsNoFolder)
{
    const QString folder = testenv::NewFolder(QStringLiteral("dest"));
    writeSettings("[Settings]\nDestination=" + folder.toUtf8() + "\n");
    start().show();
    QComboBox* destination = box("destinationBox");
    ASSERT_EQ(destination->currentText(), folder);
    // The typed folder leaves the item current; only its popup brings the caption back.
    destination->showPopup();
    destination->view()->setCurrentIndex(destination->model()->index(0, 0));
    QTest::keyClick(destination->view(), Qt::Key_Return);
    EXPECT_EQ(destination->currentText(), QStringLiteral("Same Folder as Original"));
    EXPECT_TRUE(optionsPage()->choices().besideOriginals);
    EXPECT_EQ(batchOptions().destination, QString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return storedValue("Destination").isEmpty(); }, 5000));
    EXPECT_TRUE(storedSettingsHold("\nDestination=\n")) << storedSettings();

    for (const char* stored : {"Same Folder as Original", ""}) {
        SCOPED_TRACE(stored);
        window.reset();
        const QByteArray text = QByteArray("[Settings]\nDestination=") + stored + "\n\n";
        writeSettings(text);
        start();
        EXPECT_EQ(box("destinationBox")->currentIndex(), 0);
        EXPECT_EQ(box("destinationBox")->currentText(), QStringLiteral("Same Folder as Original"));
        EXPECT_TRUE(optionsPage()->choices().besideOriginals);
        window.reset();
        EXPECT_EQ(storedSettings(), text.toStdString()) << "restoring writes nothing back";
    }
}

// A quality still waiting to be written must not bring the old settings back either.
TEST_F(MainWindowTest, ResetToDefaultsForgetsTheNewOptions)
{
    layOutUpscaler();
    setFastModel(TImageType::Photo, true);
    writeSettings("[Settings]\nModel=Photo\nScale=2\nOutputFormat=PNG\nJpegQuality=50\n"
                  "Speed=Fast\nKeepMetadata=0\n");
    start();
    part<QSpinBox>("qualityBox")->setValue(60);
    dialogs.answers.push_back(platform::IDYES);
    action("resetToDefaultsAction")->trigger();
    window.reset();
    EXPECT_FALSE(QFile::exists(programFolder + QStringLiteral("settings.ini")));

    start();
    EXPECT_TRUE(optionsPage()->choices() == TOptionChoices());
    EXPECT_EQ(part<QSpinBox>("qualityBox")->value(), 90);
    EXPECT_EQ(box("scaleBox")->currentText(), QStringLiteral("4x"));
}

// The output format is that of copies: a replaced original keeps its own, and the box says so.
// The quality counts for JPEG copies only.
TEST_F(MainWindowTest, TheOutputFormatAndQualityApplyToCopiesOnly)
{
    start();
    QComboBox* format = box("formatBox");
    auto* quality = part<QSpinBox>("qualityBox");
    const QString keepsFormat = QStringLiteral("A replaced original always keeps its own format");
    enum { Replace = 0, Copies = 1 };
    enum { Same = 0, Png = 1, Jpeg = 2, WebP = 3 };
    const struct {
        int action;
        int format;
        bool formatEnabled;
        bool qualityEnabled;
    } steps[] = {
        {Copies, Same, true, false},   {Copies, Jpeg, true, true},    {Copies, Png, true, false},
        {Copies, Jpeg, true, true},    {Replace, Jpeg, false, false}, {Copies, Jpeg, true, true},
        {Replace, WebP, false, false}, {Copies, WebP, true, false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << "action " << step.action << ", format " << step.format);
        pick(box("actionBox"), step.action);
        pick(format, step.format);
        EXPECT_EQ(format->isEnabled(), step.formatEnabled);
        EXPECT_EQ(quality->isEnabled(), step.qualityEnabled);
        const QString tip = step.formatEnabled ? QString() : keepsFormat;
        EXPECT_EQ(format->toolTip(), tip);
        EXPECT_EQ(quality->toolTip(), tip);
    }
}

// Fast is offered where the image type has a fast model. Elsewhere the box shows the best quality
// and says why, and the choice waits for a type that has one.
TEST_F(MainWindowTest, FastIsOfferedOnlyWhereTheImageTypeHasAFastModel)
{
    layOutUpscaler();
    setFastModel(TImageType::Photo, true);
    writeSettings("[Settings]\nModel=Photo\n");
    start();
    QComboBox* speed = box("speedBox");
    const auto expectSpeed = [&](const char* shown, TSpeed handedOn) {
        const bool offered = speed->isEnabled();
        EXPECT_EQ(speed->currentText(), QLatin1String(shown));
        EXPECT_EQ(tipText(speed->toolTip()),
                  offered ? QString()
                          : QStringLiteral("No fast model is installed for this image type: "
                                           "realesr-animevideov3-x4.param, "
                                           "realesr-animevideov3-x4.bin. Its files belong in the "
                                           "folder ") +
                                ModelFolder(upscalerFolder()));
        EXPECT_EQ(batchOptions().speed, handedOn);
    };
    EXPECT_TRUE(speed->isEnabled());
    expectSpeed("Best quality", TSpeed::BestQuality);
    pick(speed, 1);
    expectSpeed("Fast", TSpeed::Fast);

    pick(box("imageTypeBox"), 0);
    EXPECT_FALSE(speed->isEnabled());
    expectSpeed("Best quality", TSpeed::BestQuality);
    EXPECT_EQ(storedValue("Speed"), QStringLiteral("Fast"));

    pick(box("imageTypeBox"), 1);
    EXPECT_TRUE(speed->isEnabled());
    expectSpeed("Fast", TSpeed::Fast);

    setFastModel(TImageType::Artwork, true);
    pick(box("imageTypeBox"), 0);
    EXPECT_TRUE(speed->isEnabled());
    expectSpeed("Fast", TSpeed::Fast);
}

// A burst of typing costs one write, made when the typing pauses or the window goes.
TEST_F(MainWindowTest, TypingADestinationWritesOnceTheTypingPauses)
{
    start();
    const QString settings = programFolder + QStringLiteral("settings.ini");
    QComboBox* destination = box("destinationBox");
    destination->setEditText(QString());
    QTest::keyClicks(destination->lineEdit(), QStringLiteral("/tmp/out"));
    EXPECT_FALSE(QFile::exists(settings)) << "no write while typing";
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(settings); }, 5000));
    EXPECT_EQ(storedValue("Destination"), QStringLiteral("/tmp/out"));

    QTest::keyClick(destination->lineEdit(), Qt::Key_2);
    window.reset();
    EXPECT_TRUE(storedSettingsHold("Destination=/tmp/out2")) << storedSettings();
}

// A settings.ini that cannot be read still gives the whole window on defaults and one message
// naming it; the file stays as it was through option changes, typing and closing.
struct UnreadableSettings {
    const char* name;
    void (*make)(const QString& path);
};

class MainWindowUnreadableSettingsTest : public MainWindowTest,
                                         public ::testing::WithParamInterface<UnreadableSettings>
{
};

TEST_P(MainWindowUnreadableSettingsTest, StartsWholeOnDefaultsAndLeavesTheFileAlone)
{
    const QString path = programFolder + QStringLiteral("settings.ini");
    GetParam().make(path);
    const QByteArray before = testenv::EntryState(path);

    start();
    EXPECT_EQ(box("imageTypeBox")->count(), 2);
    EXPECT_EQ(box("actionBox")->count(), 2);
    EXPECT_EQ(box("destinationBox")->currentText(), QStringLiteral("Same Folder as Original"));
    EXPECT_FALSE(part<QPushButton>("startStopButton")->text().isEmpty());
    EXPECT_EQ(label("imageTypeLabel")->text(), QStringLiteral("Image Type:"));
    EXPECT_EQ(pages()->tabText(0), QStringLiteral("Images [0]"));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_TRUE(dialogs.shown[0].text.contains(path)) << dialogs.shown[0].text.toStdString();

    pick(box("imageTypeBox"), 1);
    part<QRadioButton>("deleteOriginalsButton")->click();
    box("destinationBox")->setEditText(QString());
    QTest::keyClicks(box("destinationBox")->lineEdit(), QStringLiteral("/tmp/out"));
    EXPECT_EQ(box("imageTypeBox")->currentText(), QStringLiteral("Photo"));
    window.reset();
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(testenv::EntryState(path), before);
}

INSTANTIATE_TEST_SUITE_P(
    BadFiles, MainWindowUnreadableSettingsTest,
    ::testing::Values(UnreadableSettings{"Folder", [](const QString& p) { QDir().mkpath(p); }},
                      UnreadableSettings{
                          "LinkToDevZero",
                          [](const QString& p) { QFile::link(QStringLiteral("/dev/zero"), p); }},
                      UnreadableSettings{"NoReadPermission",
                                         [](const QString& p) {
                                             testenv::WriteFile(p, "[Settings]\nModel=Photo\n");
                                             QFile::setPermissions(p, {});
                                         }}),
    [](const ::testing::TestParamInfo<UnreadableSettings>& info) { return info.param.name; });

// The image type is stored by name, whatever the language, and a caption stored by an earlier
// version in any shipped language is still understood.
TEST_F(MainWindowTest, TheImageTypeSurvivesALanguageSwitch)
{
    testenv::WriteFile(programFolder + QStringLiteral("Languages/German.lang.txt"),
                       "{Artwork}Illustration\n{Photo}Foto\n");
    testenv::WriteFile(programFolder + QStringLiteral("Languages/Turkish.lang.txt"),
                       "{Artwork}\xc3\x87izim\n{Photo}Foto\xc4\x9fraf\n");
    writeSettings("[Settings]\nLanguageFile=German.lang.txt\n");
    start();
    pick(box("imageTypeBox"), 1);
    EXPECT_EQ(box("imageTypeBox")->currentText(), QStringLiteral("Foto"));
    EXPECT_EQ(storedValue("Model"), QStringLiteral("Photo"));
    window.reset();
    UnloadLanguageForTesting();
    writeSettings("[Settings]\nLanguageFile=Turkish.lang.txt\nModel=Photo\n");
    start();
    EXPECT_EQ(box("imageTypeBox")->currentIndex(), 1);

    struct Case {
        const char* stored;
        int expected;
    } cases[] = {{"Foto\xc4\x9fraf", 1}, {"Foto", 1}, {"Illustration", 0}, {"Unknown", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        window.reset();
        UnloadLanguageForTesting();
        writeSettings(QByteArray("[Settings]\nModel=") + c.stored + "\n");
        start();
        EXPECT_EQ(box("imageTypeBox")->currentIndex(), c.expected);
    }
}

TEST_F(MainWindowTest, StartsInTheStoredLanguage)
{
    testenv::WriteFile(
        programFolder + QStringLiteral("Languages/German.lang.txt"),
        "{Images}Bilder\n{S&tart}&Starten\n{Photo}Foto\n{Image Type:}Ein sehr langer "
        "Bildtyp-Text:\n");
    writeSettings("[Settings]\nLanguageFile=German.lang.txt\nModel=Foto\n");
    start();
    EXPECT_EQ(pages()->tabText(0), QStringLiteral("Bilder [0]"));
    EXPECT_EQ(part<QPushButton>("startStopButton")->text(), QStringLiteral("&Starten"));
    EXPECT_EQ(box("imageTypeBox")->currentText(), QStringLiteral("Foto"));
    EXPECT_EQ(part<QPushButton>("nextButton")->text(), QStringLiteral("&Next"));
    // The long label is shrunk to the scaled width, never below one point.
    QLabel* imageType = label("imageTypeLabel");
    const QFontMetrics metrics(imageType->font());
    EXPECT_TRUE(metrics.horizontalAdvance(imageType->text()) <= scaleDimension(105) ||
                imageType->font().pointSize() == 1);
    EXPECT_LT(imageType->font().pointSize(), label("actionLabel")->font().pointSize());
}

TEST_F(MainWindowTest, LanguageSettingOutsideTheFolderLoadsNothing)
{
    testenv::WriteFile(programFolder + QStringLiteral("Evil.lang.txt"), "{S&tart}Pwned\n");
    writeSettings("[Settings]\nLanguageFile=../Evil.lang.txt\n");
    start();
    EXPECT_EQ(part<QPushButton>("startStopButton")->text(), QStringLiteral("S&tart"));
}

TEST(WidgetKit, ShrinkStopsAtOnePoint)
{
    QLabel label(QStringLiteral("A label far too wide for any width"));
    label.setFont(QFont(QStringLiteral("DejaVu Sans"), 12));
    shrinkFontToFit(&label, 1);
    EXPECT_EQ(label.font().pointSize(), 1);
    label.setFont(QFont(QStringLiteral("DejaVu Sans"), 12));
    shrinkFontToFit(&label, 10000);
    EXPECT_EQ(label.font().pointSize(), 12);
}

TEST_F(MainWindowTest, NextNeedsImagesAndBackReturns)
{
    start();
    auto* next = part<QPushButton>("nextButton");
    next->click();
    EXPECT_EQ(pages()->currentIndex(), 0);
    EXPECT_EQ(dialogs.beeps, 1);

    images()->appendFiles({QStringLiteral("/x/a.png")});
    EXPECT_EQ(pages()->tabText(0), QStringLiteral("Images [1]"));
    next->click();
    EXPECT_EQ(pages()->currentIndex(), 1);
    EXPECT_EQ(dialogs.beeps, 1);
    part<QPushButton>("backButton")->click();
    EXPECT_EQ(pages()->currentIndex(), 0);

    action("fileClearAction")->trigger();
    EXPECT_EQ(images()->count(), 0);
    EXPECT_EQ(pages()->tabText(0), QStringLiteral("Images [0]"));
}

// With the keyboard alone: Tab leaves the list, Ctrl+O adds files, Enter goes on to the options
// with the focus on their first control, Tab walks them top to bottom, Ctrl+Return starts.
TEST_F(MainWindowTest, TheKeyboardAloneReachesEveryStep)
{
    MainWindow& w = start();
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QCoreApplication::processEvents();

    auto* list = part<TImageListView>("imageList");
    auto* next = part<QPushButton>("nextButton");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), next);
    QTest::keyClick(next, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), list);

    // Enter on an empty list does nothing; Ctrl+Return says there is nothing to enlarge.
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(pages()->currentIndex(), 0);
    QTest::keyClick(list, Qt::Key_Return, Qt::ControlModifier);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("No image files have been added!"));

    const QString image = testenv::NewFolder(QStringLiteral("images")) + QStringLiteral("/a.png");
    testenv::WriteFile(image, "x");
    dialogs.fileAnswers.push_back({image});
    QTest::keyClick(list, Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(images()->count(), 1);

    QComboBox* imageType = box("imageTypeBox");
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(pages()->currentIndex(), 1);
    EXPECT_EQ(QApplication::focusWidget(), imageType);
    QTest::keyClick(imageType, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), box("actionBox"));
    // Enter on the options page is theirs: it goes nowhere.
    QTest::keyClick(box("actionBox"), Qt::Key_Return);
    EXPECT_EQ(pages()->currentIndex(), 1);

    // Below the first options, the new ones follow in the order they are shown, and each label's
    // accelerator reaches its control.
    layOutUpscaler();
    setFastModel(TImageType::Photo, true);
    pick(imageType, 1);
    pick(box("formatBox"), 2);
    part<QPushButton>("browseButton")->setFocus();
    auto* quality = part<QSpinBox>("qualityBox");
    auto* keepMetadata = part<QCheckBox>("keepMetadataBox");
    for (QWidget* following : std::initializer_list<QWidget*>{
             part<QLineEdit>("copyNameEdit"), box("nameTakenBox"), box("scaleBox"),
             box("formatBox"), quality, box("speedBox"), box("engineBox"), keepMetadata}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), following) << following->objectName().toStdString();
    }
    const std::pair<Qt::Key, QWidget*> accelerators[] = {
        {Qt::Key_A, box("scaleBox")},
        {Qt::Key_O, box("formatBox")},
        {Qt::Key_Q, quality},
        {Qt::Key_P, box("speedBox")},
        {Qt::Key_N, box("engineBox")},
        {Qt::Key_C, part<QLineEdit>("copyNameEdit")},
        {Qt::Key_W, box("nameTakenBox")}};
    for (const auto& [key, control] : accelerators) {
        QTest::keyClick(QApplication::focusWidget(), key, Qt::AltModifier);
        EXPECT_EQ(QApplication::focusWidget(), control) << control->objectName().toStdString();
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_K, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !keepMetadata->isChecked(); }, 2000));
    EXPECT_EQ(storedValue("KeepMetadata"), QStringLiteral("0"));
    // Beside the originals there is no tree to keep: the box is off until a folder is chosen.
    auto* keepFolders = part<QCheckBox>("keepFolderStructureBox");
    EXPECT_FALSE(keepFolders->isEnabled());
    box("destinationBox")->setEditText(testenv::NewFolder(QStringLiteral("dest")));
    ASSERT_TRUE(keepFolders->isEnabled());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_D, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !keepFolders->isChecked(); }, 2000));
    EXPECT_EQ(storedValue("KeepFolderStructure"), QStringLiteral("false"));

    // The shortcuts are the desktop's usual ones, and the menus show them.
    EXPECT_EQ(action("addFilesAction")->shortcut(), QKeySequence(QKeySequence::Open));
    EXPECT_EQ(action("addFolderAction")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+O")));
    EXPECT_EQ(action("exitAction")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    EXPECT_EQ(action("onlineHelpAction")->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(action("removeFromListAction")->shortcut(), QKeySequence(QKeySequence::Delete));
}

// The list shows where each file is, keeps a failed row's reason on its status, and tells an
// empty list how to fill it, in the user's language and without the buttons' accelerator marks.
TEST_F(MainWindowTest, ListCellsShowTheFullPathAndTheEmptyListItsHint)
{
    testenv::WriteFile(programFolder + QStringLiteral("Languages/German.lang.txt"),
                       "{&Add Files...}D&ateien hinzufügen...\n{Add F&older...}&Ordner "
                       "hinzufügen...\n{Drop images or folders here, or use %s / %s}Hierher "
                       "ziehen oder %s / %s\n");
    writeSettings("[Settings]\nLanguageFile=German.lang.txt\n");
    start();
    EXPECT_EQ(part<TImageListView>("imageList")->EmptyHint(),
              QStringLiteral("Hierher ziehen oder Dateien hinzufügen... / Ordner hinzufügen..."));

    const QString folder = testenv::NewFolder(QStringLiteral("images"));
    const QString before = QDir::currentPath();
    QDir::setCurrent(folder);
    // Real images: the background check finds nothing to say of them, whenever it reports.
    testenv::WriteImage(folder + QStringLiteral("/a.png"), 4, 4);
    testenv::WriteImage(folder + QStringLiteral("/b.png"), 4, 4);
    ImageListModel* model = images();
    model->appendFiles({QStringLiteral("a.png"), folder + QStringLiteral("/b.png")});
    model->setResult(0, QStringLiteral("Failed"), false,
                     QStringLiteral("The upscaler could not read the image"));
    const auto tip = [&](int row, int column) {
        return model->index(row, column).data(Qt::ToolTipRole).toString();
    };
    EXPECT_EQ(tip(0, ImageListModel::FilenameColumn), folder + QStringLiteral("/a.png"));
    EXPECT_EQ(tip(0, ImageListModel::SizeColumn), folder + QStringLiteral("/a.png"));
    EXPECT_EQ(tip(0, ImageListModel::StatusColumn),
              QStringLiteral("The upscaler could not read the image"));
    EXPECT_EQ(tip(1, ImageListModel::FilenameColumn), folder + QStringLiteral("/b.png"));
    EXPECT_EQ(tip(1, ImageListModel::StatusColumn), QString());
    QDir::setCurrent(before);
}

// The window opens where it was, as large as it was and maximised if it was; a place that lies
// on no screen of today gives way to the middle of the primary screen.
TEST_F(MainWindowTest, TheWindowPlacementRoundTripsAndFallsBackWhereNoScreenShowsIt)
{
    MainWindow& first = start();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(first.geometry()));
    first.show();
    first.setGeometry(screen.x() + 20, screen.y() + 30, 700, 540);
    ASSERT_TRUE(QTest::qWaitFor([&] { return storedSettingsHold("WindowPlacement"); }, 5000));
    window.reset();
    EXPECT_EQ(start().geometry(), QRect(screen.x() + 20, screen.y() + 30, 700, 540));

    window.reset();
    writeSettings("[Settings]\nWindowPlacement=-20000,-20000,640,420,1\n");
    MainWindow& offScreen = start();
    EXPECT_EQ(offScreen.geometry().size(), QSize(640, 420));
    EXPECT_EQ(offScreen.geometry().center(), screen.center());
    EXPECT_TRUE(offScreen.windowState() & Qt::WindowMaximized);
}

TEST(WindowPlacement, ParsesOnlyWholePlacementsAndPlacesOnlyWhereAScreenShows)
{
    EXPECT_EQ(WindowPlacementText({QRect(-5, 7, 900, 600), true}),
              QStringLiteral("-5,7,900,600,1"));
    const auto parsed = ParseWindowPlacement(QStringLiteral("-5,7,900,600,1"));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->geometry, QRect(-5, 7, 900, 600));
    EXPECT_TRUE(parsed->maximized);
    for (const char* bad : {"", "1,2,3,4", "1,2,0,4,0", "1,2,3,4,2", "a,2,3,4,0", "1,2,3,4,0,5"})
        EXPECT_FALSE(ParseWindowPlacement(QLatin1String(bad))) << bad;

    // A primary screen and a second one to its right.
    const QList<QRect> screens = {QRect(0, 0, 1600, 1000), QRect(1600, 0, 1280, 1024)};
    const QSize firstStart(960, 640);
    const struct {
        std::optional<QRect> stored;
        QRect expected;
    } cases[] = {
        {std::nullopt, QRect(320, 180, 960, 640)},                // first start
        {QRect(100, 50, 800, 600), QRect(100, 50, 800, 600)},     // where it was
        {QRect(1700, 100, 800, 600), QRect(1700, 100, 800, 600)}, // on the second screen
        {QRect(1500, 100, 800, 600), QRect(400, 200, 800, 600)},  // across both: centred
        {QRect(5000, 5000, 800, 600), QRect(400, 200, 800, 600)}, // a screen that is gone
        {QRect(0, 0, 3000, 2000), QRect(320, 180, 960, 640)},     // larger than any screen
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlaceWindow(c.stored, screens, firstStart), c.expected);
    EXPECT_EQ(PlaceWindow(std::nullopt, {QRect(0, 0, 800, 500)}, firstStart),
              QRect(0, 0, 800, 500));
}

TEST(StartArguments, OnlyTheOptionFirstWithAListOfOursIsTheRestartList)
{
    const QString ours = QStringLiteral("/cache/tmp/");
    const QString list = ours + QStringLiteral("restart-list-abc123");
    const auto parse = [&](const QStringList& arguments) {
        const TStartArguments start = ParseStartArguments(arguments, ours);
        return QStringList{start.restartList} + start.names;
    };
    const QString option = QStringLiteral("--restore-list");
    const QString a = QStringLiteral("a.png");
    EXPECT_EQ(parse({option, list}), (QStringList{list}));
    EXPECT_EQ(parse({option, list, a}), (QStringList{list, a}));
    // Files that merely look like the option are names.
    EXPECT_EQ(parse({a, option, list}), (QStringList{QString(), a, option, list}));
    EXPECT_EQ(parse({option, QStringLiteral("/elsewhere/restart-list-abc123")}),
              (QStringList{QString(), option, QStringLiteral("/elsewhere/restart-list-abc123")}));
    EXPECT_EQ(parse({option, ours + QStringLiteral("other")}),
              (QStringList{QString(), option, ours + QStringLiteral("other")}));
    EXPECT_EQ(parse({option}), (QStringList{QString(), option}));
    EXPECT_EQ(ParseStartArguments({option, list}, QString()).restartList, QString());
}

// The list handed to the next instance keeps each image's folder of origin; a list that an
// earlier version wrote, without origins, still reads.
TEST(RestartList, KeepsOriginsAndReadsEarlierLists)
{
    const QString folder = testenv::NewFolder(QStringLiteral("restart")) + QLatin1Char('/');
    TImageEntries images(3);
    images[0].path = QStringLiteral("/lib/Trip/a/IMG_1.png");
    images[0].origin = QStringLiteral("/lib/Trip");
    images[0].completed = true;
    images[1].path = QStringLiteral("/loose/single.png");
    images[2].path = QStringLiteral("/lib/Trip/b/IMG_1.png");
    images[2].origin = QStringLiteral("/lib/Trip");
    const QStringList arguments = WriteRestartList(images, 1, folder);
    ASSERT_EQ(arguments.size(), 2);
    const std::optional<TRestartList> list = TakeRestartList(arguments[1]);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->page, 1);
    ASSERT_EQ(list->images.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(list->images[i].path, images[i].path);
        EXPECT_EQ(list->images[i].origin, images[i].origin);
        EXPECT_EQ(list->images[i].completed, images[i].completed);
    }
    EXPECT_FALSE(QFile::exists(arguments[1]));

    const QString earlier = folder + QStringLiteral("restart-list-earlier");
    static const char earlierList[] = "Grandora image list 1\n0\n1/p/a.png\0000/p/b c.png";
    testenv::WriteFile(earlier, QByteArray(earlierList, sizeof earlierList));
    const std::optional<TRestartList> old = TakeRestartList(earlier);
    ASSERT_TRUE(old);
    ASSERT_EQ(old->images.size(), 2u);
    EXPECT_EQ(old->images[0].path, QStringLiteral("/p/a.png"));
    EXPECT_TRUE(old->images[0].completed);
    EXPECT_EQ(old->images[1].path, QStringLiteral("/p/b c.png"));
    EXPECT_FALSE(old->images[1].completed);
    EXPECT_EQ(old->images[1].origin, QString());

    // A version this one does not know is not read as something else.
    testenv::WriteFile(earlier, "Grandora image list 3\n0\n0/p/a.png");
    EXPECT_FALSE(TakeRestartList(earlier));
}

TEST_F(MainWindowTest, OnlineHelpOpensTheProductsPage)
{
    start();
    QAction* help = action("onlineHelpAction");
    help->trigger();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0].toString(), QStringLiteral("http://%1/help/grandora/").arg(MakerWebHost()));
    const QString productName = AppProductName;
    AppProductName = QStringLiteral("Grandora Pro");
    help->trigger();
    AppProductName = productName;
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[1].path(), QStringLiteral("/help/grandora-pro/"));
}

TEST_F(MainWindowTest, ResetToDefaultsAsksFirst)
{
    writeSettings("[Settings]\nModel=Photo\n");
    start();
    QAction* reset = action("resetToDefaultsAction");
    dialogs.answers.push_back(platform::IDNO);
    reset->trigger();
    EXPECT_TRUE(QFile::exists(programFolder + QStringLiteral("settings.ini")));
    EXPECT_TRUE(started.isEmpty());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Restart Application?"));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Confirmation"));

    dialogs.answers.push_back(platform::IDYES);
    reset->trigger();
    EXPECT_FALSE(QFile::exists(programFolder + QStringLiteral("settings.ini")));
    EXPECT_EQ(started, QStringList{platform::ExecutablePath()});
}

TEST_F(MainWindowTest, AboutShowsTheAboutBoxModallyWithTheProgramsValues)
{
    MainWindow& w = start();
    testenv::WriteFile(programFolder + QStringLiteral("license.txt"), "MIT License\n");
    QString title, name, link;
    // Runs inside the modal loop of the box; whatever is modal is closed so the test never hangs.
    QTimer::singleShot(0, &w, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* about = qobject_cast<TAboutBox*>(modal);
        if (!about) {
            ADD_FAILURE() << "no about box is shown";
            if (modal)
                modal->close();
            return;
        }
        title = about->windowTitle();
        name = about->Label2->text();
        link = about->Label5->text();
        about->LicensePrivacyPolicy1->trigger();
        about->BitBtn1->click();
    });
    action("aboutAction")->trigger();
    EXPECT_EQ(title, QStringLiteral("About Grandora"));
    EXPECT_EQ(name, QStringLiteral("Grandora 1.0"));
    EXPECT_EQ(link, MakerWebHost());
    EXPECT_EQ(opened,
              QList<QUrl>{QUrl::fromLocalFile(programFolder + QStringLiteral("license.txt"))});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.findChildren<TAboutBox*>().isEmpty());
}

} // namespace

// An image type without its model says so in the list it is chosen from, and what to install
// where; a model installed while the program runs shows when the page comes back.
TEST_F(MainWindowTest, AnImageTypeWithoutItsModelSaysSoWhereItIsChosen)
{
    const QString none = testenv::NewFolder(QStringLiteral("none")) + QLatin1Char('/');
    const QStringList artworkModel = MissingModelFiles(none, TImageType::Artwork);
    for (const QString& file : artworkModel)
        QFile::remove(ModelFolder(upscalerFolder()) + QFileInfo(file).fileName());
    writeSettings("[Settings]\nModel=Artwork\n");
    start();
    QComboBox* type = box("imageTypeBox");
    const QString tip =
        QStringLiteral("The model of this image type is missing: "
                       "realesrgan-x4plus-anime.param, realesrgan-x4plus-anime.bin. "
                       "Its files belong in the folder ") +
        ModelFolder(upscalerFolder());
    EXPECT_EQ(type->itemText(0), QStringLiteral("Artwork (model not installed)"));
    EXPECT_EQ(tipText(type->itemData(0, Qt::ToolTipRole).toString()), tip);
    EXPECT_EQ(tipText(type->toolTip()), tip);
    EXPECT_EQ(type->itemText(1), QStringLiteral("Photo"));
    EXPECT_TRUE(type->itemData(1, Qt::ToolTipRole).toString().isEmpty());
    pick(type, 1);
    EXPECT_TRUE(type->toolTip().isEmpty());
    EXPECT_EQ(storedValue("Model"), QStringLiteral("Photo"));

    for (const QString& file : artworkModel)
        testenv::WriteFile(ModelFolder(upscalerFolder()) + QFileInfo(file).fileName(), "model");
    window->show();
    pages()->setCurrentIndex(1);
    EXPECT_EQ(type->itemText(0), QStringLiteral("Artwork"));
    EXPECT_TRUE(type->itemData(0, Qt::ToolTipRole).toString().isEmpty());
}

// When nothing on the desktop opens a link or shows a file's properties, a message shows the
// address or path to copy, and says so in the user's language.
TEST_F(MainWindowTest, DesktopLinksThatOpenNothingShowWhatToCopy)
{
    QStringList asked;
    platform::SetShellHooksForTesting({[&asked](const QUrl& url) {
                                           asked << url.toString();
                                           return false;
                                       },
                                       [&asked](const QString& path) {
                                           asked << path;
                                           return false;
                                       },
                                       nullptr});
    start();
    action("onlineHelpAction")->trigger();
    const QString help = QStringLiteral("http://%1/help/grandora/").arg(MakerWebHost());
    ASSERT_EQ(asked, QStringList{help});
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("Nothing on this computer could open the page. Its address, to "
                             "copy:\n\n") +
                  help);
    EXPECT_EQ(dialogs.shown[0].flags, platform::MB_ICONWARNING);

    const QString image = testenv::NewFolder(QStringLiteral("images")) + QStringLiteral("/a.png");
    images()->appendFiles({image});
    auto* list = part<QAbstractItemView>("imageList");
    list->selectionModel()->select(list->model()->index(0, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    action("propertiesAction")->trigger();
    ASSERT_EQ(asked.size(), 2);
    EXPECT_EQ(asked[1], image);
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].text,
              QStringLiteral("No file manager could show the properties of the file. Its path, "
                             "to copy:\n\n") +
                  image);
}
