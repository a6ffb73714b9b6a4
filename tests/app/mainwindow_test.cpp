#include "about/about.h"
#include "app/appvalues.h"
#include "app/imagelist.h"
#include "app/imagelistmodel.h"
#include "app/imagelistview.h"
#include "app/imageentry.h"
#include "app/mainform.h"
#include "app/restartlist.h"
#include "app/settingsstore.h"
#include "app/windowplacement.h"
#include "batch/batchoptions.h"
#include "i18n/translation.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "support/testenv.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace
{

// Chooses an item as the user does, which is what the window stores.
void pick(QComboBox* box, int item)
{
    box->setCurrentIndex(item);
    emit box->activated(item);
}

// Each test gets its own program folder (settings.ini and Languages/ live there) and answers
// every dialog from a script.
class MainFormTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        programFolder = testenv::NewFolder(QStringLiteral("program")) + QLatin1Char('/');
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
        form.reset();
        platform::SetShellHooksForTesting({});
        platform::EnableDialogScriptForTesting(nullptr);
        platform::SetExecutableFolderForTesting({});
        UnloadLanguageForTesting();
    }
    void writeSettings(const QByteArray& text)
    {
        testenv::WriteFile(programFolder + QStringLiteral("settings.ini"), text);
    }
    TAppForm& start()
    {
        form = std::make_unique<TAppForm>();
        return *form;
    }
    QString storedSettings() const
    {
        QFile file(programFolder + QStringLiteral("settings.ini"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    // The upscaler's folder beside the program, with the models of both image types.
    QString layOutUpscaler() const
    {
        const QString folder = programFolder + QStringLiteral("realesrgan/");
        testenv::LayOutUpscalerFolder(folder, QStringLiteral("/bin/true"));
        return folder;
    }
    // Installs or removes the fast model of the image type in the upscaler's folder.
    void setFastModel(TImageType type, bool installed) const
    {
        const QString none = testenv::NewFolder(QStringLiteral("none")) + QLatin1Char('/');
        for (const QString& missing : MissingModelFiles(none, type, TSpeed::Fast)) {
            const QString file = ModelFolder(programFolder + QStringLiteral("realesrgan/")) +
                                 QFileInfo(missing).fileName();
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
    std::unique_ptr<TAppForm> form;
};

TEST_F(MainFormTest, StartsWithDefaultsAndItsOwnTitle)
{
    TAppForm& w = start();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Zelmora - Grandora"));
    EXPECT_EQ(AppVersion, QStringLiteral("1.0"));
    EXPECT_EQ(w.SettingsIni.Folder(), programFolder);
    EXPECT_EQ(w.PageControl1->currentIndex(), 0);
    EXPECT_EQ(w.PageControl1->tabText(0), QStringLiteral("Images [0]"));
    EXPECT_EQ(w.ComboBoxModel->currentText(), QStringLiteral("Artwork"));
    EXPECT_EQ(w.ComboBoxAction->currentText(), QStringLiteral("Resize and Create Copies"));
    EXPECT_EQ(w.ComboBoxDestination->currentText(), QStringLiteral("Same Folder as Original"));
    EXPECT_TRUE(w.ComboBoxDestination->isEnabled());
    EXPECT_TRUE(w.RadioButton1->isChecked());
    EXPECT_TRUE(w.IncludeSubfolders1->isChecked());
    EXPECT_TRUE(w.UpdateNotifications1->isChecked());
    EXPECT_FALSE(w.UpdateNotifications1->isEnabled());
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(QFile::exists(programFolder + QStringLiteral("settings.ini")))
        << "start-up writes nothing";
}

TEST_F(MainFormTest, RestoresEveryStoredOption)
{
    const QString destination = testenv::NewFolder(QStringLiteral("dest"));
    writeSettings("[Settings]\nModel=Photo\nAction=ResizeOriginal\nDestination=" +
                  destination.toUtf8() + "\nOriginalFiles=DeletePermanently\n");
    TAppForm& w = start();
    EXPECT_EQ(w.ComboBoxModel->currentText(), QStringLiteral("Photo"));
    EXPECT_EQ(w.ComboBoxAction->currentIndex(), 0);
    EXPECT_FALSE(w.ComboBoxDestination->isEnabled());
    EXPECT_FALSE(w.ButtonBrowse->isEnabled());
    EXPECT_FALSE(w.Label6->isHidden());
    EXPECT_EQ(w.ComboBoxDestination->currentText(), destination);
    EXPECT_TRUE(w.RadioButton2->isChecked());
}

TEST_F(MainFormTest, IgnoresStoredValuesThatMatchNothing)
{
    writeSettings("[Settings]\nModel=photo\nAction=Something\nDestination=/no/such/folder\n"
                  "OriginalFiles=Other\n");
    TAppForm& w = start();
    EXPECT_EQ(w.ComboBoxModel->currentText(), QStringLiteral("Artwork"));
    EXPECT_EQ(w.ComboBoxAction->currentIndex(), 1);
    EXPECT_TRUE(w.Label6->isHidden());
    EXPECT_EQ(w.ComboBoxDestination->currentText(), QStringLiteral("Same Folder as Original"));
    EXPECT_TRUE(w.RadioButton1->isChecked());
}

TEST_F(MainFormTest, OptionChangesAreWrittenThrough)
{
    TAppForm& w = start();
    w.ComboBoxModel->setCurrentIndex(1);
    emit w.ComboBoxModel->activated(1);
    w.ComboBoxAction->setCurrentIndex(0);
    emit w.ComboBoxAction->activated(0);
    EXPECT_FALSE(w.ComboBoxDestination->isEnabled());
    w.RadioButton2->click();
    EXPECT_EQ(storedSettings(), QStringLiteral("[Settings]\nModel=Photo\nAction=ResizeOriginal\n"
                                               "OriginalFiles=DeletePermanently\n\n"));

    w.ComboBoxAction->setCurrentIndex(1);
    emit w.ComboBoxAction->activated(1);
    EXPECT_EQ(form->SettingsIni.Read(QStringLiteral("Action")), QStringLiteral("CreateCopies"));
}

// Scale, output format, JPEG quality, speed and metadata go to settings.ini by names that no
// language changes, come back at the next start, and reach the batch.
TEST_F(MainFormTest, TheNewOptionsAreStoredRestoredAndHandedToTheBatch)
{
    layOutUpscaler();
    setFastModel(TImageType::Photo, true);
    TAppForm& w = start();
    EXPECT_EQ(w.ComboBoxScale->currentText(), QStringLiteral("4x"));
    EXPECT_EQ(w.ComboBoxFormat->currentText(), QStringLiteral("Same as original"));
    EXPECT_EQ(w.SpinEditQuality->value(), 90);
    EXPECT_EQ(w.ComboBoxSpeed->currentText(), QStringLiteral("Best quality"));
    EXPECT_TRUE(w.CheckBoxMetadata->isChecked());
    auto* engineBox = w.findChild<QComboBox*>(QStringLiteral("engineBox"));
    ASSERT_NE(engineBox, nullptr);
    EXPECT_EQ(engineBox->currentText(), QStringLiteral("Automatic"));

    pick(w.ComboBoxModel, 1);
    pick(w.ComboBoxScale, 0);
    pick(w.ComboBoxFormat, 2);
    w.SpinEditQuality->setValue(75);
    pick(w.ComboBoxSpeed, 1);
    pick(engineBox, 1);
    w.CheckBoxMetadata->click();
    EXPECT_FALSE(storedSettings().contains(QStringLiteral("JpegQuality")))
        << "the quality waits until the arrows pause";
    const auto expectChosen = [](const TBatchOptions& options) {
        EXPECT_EQ(options.scale, 2);
        EXPECT_EQ(options.outputFormat, TOutputFormat::Jpeg);
        EXPECT_EQ(options.jpegQuality, 75);
        EXPECT_EQ(options.speed, TSpeed::Fast);
        EXPECT_EQ(options.engine, TEngine::BuiltIn);
        EXPECT_FALSE(options.keepMetadata);
    };
    expectChosen(w.CurrentOptions());
    form.reset();
    EXPECT_EQ(storedSettings(),
              QStringLiteral("[Settings]\nModel=Photo\nScale=2\nOutputFormat=JPEG\nSpeed=Fast\n"
                             "Engine=BuiltIn\nKeepMetadata=0\nJpegQuality=75\n\n"));

    TAppForm& again = start();
    EXPECT_EQ(again.ComboBoxScale->currentText(), QStringLiteral("2x"));
    EXPECT_EQ(again.ComboBoxFormat->currentText(), QStringLiteral("JPEG"));
    EXPECT_EQ(again.ComboBoxSpeed->currentText(), QStringLiteral("Fast"));
    EXPECT_EQ(again.findChild<QComboBox*>(QStringLiteral("engineBox"))->currentText(),
              QStringLiteral("Built-in (CPU)"));
    expectChosen(again.CurrentOptions());
}

// A value that names no item, or a quality out of range, gives the default; restoring writes
// nothing back.
TEST_F(MainFormTest, StoredNewOptionsThatNameNothingGiveTheDefaults)
{
    layOutUpscaler();
    setFastModel(TImageType::Photo, true);
    const struct {
        const char* stored;
        int scale;
        TOutputFormat format;
        int quality;
        TSpeed speed;
        bool keepMetadata;
        TEngine engine = TEngine::Automatic;
    } cases[] = {
        {"", 4, TOutputFormat::SameAsOriginal, 90, TSpeed::BestQuality, true},
        {"Scale=3\nOutputFormat=WebP\nJpegQuality=1\nSpeed=Best\nKeepMetadata=1\n"
         "Engine=Upscaler\n",
         3, TOutputFormat::WebP, 1, TSpeed::BestQuality, true, TEngine::Upscaler},
        {"Scale=2\nOutputFormat=PNG\nJpegQuality=100\nSpeed=Fast\nKeepMetadata=0\n"
         "Engine=BuiltIn\n",
         2, TOutputFormat::Png, 100, TSpeed::Fast, false, TEngine::BuiltIn},
        {"Scale=5\nOutputFormat=jpeg\nJpegQuality=0\nSpeed=fast\nKeepMetadata=no\n"
         "Engine=builtin\n",
         4, TOutputFormat::SameAsOriginal, 90, TSpeed::BestQuality, true},
        {"Scale=4x\nOutputFormat=Gif\nJpegQuality=101\nSpeed=Quick\nKeepMetadata=2\n", 4,
         TOutputFormat::SameAsOriginal, 90, TSpeed::BestQuality, true},
        {"Scale=1\nOutputFormat=\nJpegQuality=9x\nSpeed=\nKeepMetadata=\n", 4,
         TOutputFormat::SameAsOriginal, 90, TSpeed::BestQuality, true},
        {"Scale=\nJpegQuality=-5\n", 4, TOutputFormat::SameAsOriginal, 90, TSpeed::BestQuality,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        form.reset();
        const QString text = QStringLiteral("[Settings]\nModel=Photo\n") + QLatin1String(c.stored);
        writeSettings(text.toUtf8());
        const TBatchOptions options = start().CurrentOptions();
        EXPECT_EQ(options.scale, c.scale);
        EXPECT_EQ(options.outputFormat, c.format);
        EXPECT_EQ(options.jpegQuality, c.quality);
        EXPECT_EQ(form->SpinEditQuality->value(), c.quality);
        EXPECT_EQ(options.speed, c.speed);
        EXPECT_EQ(options.keepMetadata, c.keepMetadata);
        EXPECT_EQ(options.engine, c.engine);
        form.reset();
        EXPECT_EQ(storedSettings(), text);
    }
}

// A quality still waiting to be written must not bring the old settings back either.
TEST_F(MainFormTest, ResetToDefaultsForgetsTheNewOptions)
{
    layOutUpscaler();
    setFastModel(TImageType::Photo, true);
    writeSettings("[Settings]\nModel=Photo\nScale=2\nOutputFormat=PNG\nJpegQuality=50\n"
                  "Speed=Fast\nKeepMetadata=0\n");
    TAppForm& w = start();
    w.SpinEditQuality->setValue(60);
    dialogs.answers.push_back(platform::IDYES);
    w.ResettoDefaults1->trigger();
    form.reset();
    EXPECT_FALSE(QFile::exists(programFolder + QStringLiteral("settings.ini")));

    const TBatchOptions options = start().CurrentOptions();
    EXPECT_EQ(options.scale, 4);
    EXPECT_EQ(options.outputFormat, TOutputFormat::SameAsOriginal);
    EXPECT_EQ(options.jpegQuality, 90);
    EXPECT_EQ(options.speed, TSpeed::BestQuality);
    EXPECT_TRUE(options.keepMetadata);
}

// The output format is that of copies: a replaced original keeps its own, and the box says so.
// The quality counts for JPEG copies only.
TEST_F(MainFormTest, TheOutputFormatAndQualityApplyToCopiesOnly)
{
    TAppForm& w = start();
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
        pick(w.ComboBoxAction, step.action);
        pick(w.ComboBoxFormat, step.format);
        EXPECT_EQ(w.ComboBoxFormat->isEnabled(), step.formatEnabled);
        EXPECT_EQ(w.SpinEditQuality->isEnabled(), step.qualityEnabled);
        const QString tip = step.formatEnabled ? QString() : keepsFormat;
        EXPECT_EQ(w.ComboBoxFormat->toolTip(), tip);
        EXPECT_EQ(w.SpinEditQuality->toolTip(), tip);
    }
}

// Fast is offered where the image type has a fast model. Elsewhere the box shows the best quality
// and says why, and the choice waits for a type that has one.
TEST_F(MainFormTest, FastIsOfferedOnlyWhereTheImageTypeHasAFastModel)
{
    layOutUpscaler();
    setFastModel(TImageType::Photo, true);
    writeSettings("[Settings]\nModel=Photo\n");
    TAppForm& w = start();
    const auto expectSpeed = [&](const char* shown, TSpeed handedOn) {
        const bool offered = w.ComboBoxSpeed->isEnabled();
        EXPECT_EQ(w.ComboBoxSpeed->currentText(), QLatin1String(shown));
        EXPECT_EQ(w.ComboBoxSpeed->toolTip(),
                  offered ? QString()
                          : QStringLiteral("No fast model is installed for this image type"));
        EXPECT_EQ(w.CurrentOptions().speed, handedOn);
    };
    EXPECT_TRUE(w.ComboBoxSpeed->isEnabled());
    expectSpeed("Best quality", TSpeed::BestQuality);
    pick(w.ComboBoxSpeed, 1);
    expectSpeed("Fast", TSpeed::Fast);

    pick(w.ComboBoxModel, 0);
    EXPECT_FALSE(w.ComboBoxSpeed->isEnabled());
    expectSpeed("Best quality", TSpeed::BestQuality);
    EXPECT_EQ(w.SettingsIni.Read(QStringLiteral("Speed")), QStringLiteral("Fast"));

    pick(w.ComboBoxModel, 1);
    EXPECT_TRUE(w.ComboBoxSpeed->isEnabled());
    expectSpeed("Fast", TSpeed::Fast);

    setFastModel(TImageType::Artwork, true);
    pick(w.ComboBoxModel, 0);
    EXPECT_TRUE(w.ComboBoxSpeed->isEnabled());
    expectSpeed("Fast", TSpeed::Fast);
    // Gone after it was chosen: the batch is handed the model that is there.
    setFastModel(TImageType::Artwork, false);
    EXPECT_EQ(w.CurrentOptions().speed, TSpeed::BestQuality);
}

// A burst of typing costs one write, made when the typing pauses or the window goes.
TEST_F(MainFormTest, TypingADestinationWritesOnceTheTypingPauses)
{
    TAppForm& w = start();
    const QString settings = programFolder + QStringLiteral("settings.ini");
    w.ComboBoxDestination->setEditText(QString());
    QTest::keyClicks(w.ComboBoxDestination->lineEdit(), QStringLiteral("/tmp/out"));
    EXPECT_FALSE(QFile::exists(settings)) << "no write while typing";
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(settings); }, 5000));
    EXPECT_EQ(form->SettingsIni.Read(QStringLiteral("Destination")), QStringLiteral("/tmp/out"));

    QTest::keyClick(w.ComboBoxDestination->lineEdit(), Qt::Key_2);
    form.reset();
    EXPECT_TRUE(storedSettings().contains(QStringLiteral("Destination=/tmp/out2")));
}

// A settings.ini that cannot be read still gives the whole window on defaults and one message
// naming it; the file stays as it was through option changes, typing and closing.
struct UnreadableSettings {
    const char* name;
    void (*make)(const QString& path);
};

class MainFormUnreadableSettingsTest : public MainFormTest,
                                       public ::testing::WithParamInterface<UnreadableSettings>
{
};

TEST_P(MainFormUnreadableSettingsTest, StartsWholeOnDefaultsAndLeavesTheFileAlone)
{
    const QString path = programFolder + QStringLiteral("settings.ini");
    GetParam().make(path);
    const QByteArray before = testenv::EntryState(path);

    TAppForm& w = start();
    EXPECT_EQ(w.ComboBoxModel->count(), 2);
    EXPECT_EQ(w.ComboBoxAction->count(), 2);
    EXPECT_EQ(w.ComboBoxDestination->currentText(), QStringLiteral("Same Folder as Original"));
    EXPECT_FALSE(w.ButtonProcess->text().isEmpty());
    EXPECT_EQ(w.Label3->text(), QStringLiteral("Image Type:"));
    EXPECT_EQ(w.PageControl1->tabText(0), QStringLiteral("Images [0]"));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_TRUE(dialogs.shown[0].text.contains(path)) << dialogs.shown[0].text.toStdString();

    w.ComboBoxModel->setCurrentIndex(1);
    emit w.ComboBoxModel->activated(1);
    w.RadioButton2->click();
    w.ComboBoxDestination->setEditText(QString());
    QTest::keyClicks(w.ComboBoxDestination->lineEdit(), QStringLiteral("/tmp/out"));
    EXPECT_EQ(w.SettingsIni.Read(QStringLiteral("Model")), QStringLiteral("Photo"));
    form.reset();
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(testenv::EntryState(path), before);
}

INSTANTIATE_TEST_SUITE_P(
    BadFiles, MainFormUnreadableSettingsTest,
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
TEST_F(MainFormTest, TheImageTypeSurvivesALanguageSwitch)
{
    testenv::WriteFile(programFolder + QStringLiteral("Languages/German.lang.txt"),
                       "{Artwork}Illustration\n{Photo}Foto\n");
    testenv::WriteFile(programFolder + QStringLiteral("Languages/Turkish.lang.txt"),
                       "{Artwork}\xc3\x87izim\n{Photo}Foto\xc4\x9fraf\n");
    writeSettings("[Settings]\nLanguageFile=German.lang.txt\n");
    start().ComboBoxModel->setCurrentIndex(1);
    emit form->ComboBoxModel->activated(1);
    EXPECT_EQ(form->ComboBoxModel->currentText(), QStringLiteral("Foto"));
    EXPECT_EQ(form->SettingsIni.Read(QStringLiteral("Model")), QStringLiteral("Photo"));
    form.reset();
    UnloadLanguageForTesting();
    writeSettings("[Settings]\nLanguageFile=Turkish.lang.txt\nModel=Photo\n");
    EXPECT_EQ(start().ComboBoxModel->currentIndex(), 1);

    struct Case {
        const char* stored;
        int expected;
    } cases[] = {{"Foto\xc4\x9fraf", 1}, {"Foto", 1}, {"Illustration", 0}, {"Unknown", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        form.reset();
        UnloadLanguageForTesting();
        writeSettings(QByteArray("[Settings]\nModel=") + c.stored + "\n");
        EXPECT_EQ(start().ComboBoxModel->currentIndex(), c.expected);
    }
}

TEST_F(MainFormTest, StartsInTheStoredLanguage)
{
    testenv::WriteFile(
        programFolder + QStringLiteral("Languages/German.lang.txt"),
        "{Images}Bilder\n{S&tart}&Starten\n{Photo}Foto\n{Image Type:}Ein sehr langer "
        "Bildtyp-Text:\n");
    writeSettings("[Settings]\nLanguageFile=German.lang.txt\nModel=Foto\n");
    TAppForm& w = start();
    EXPECT_EQ(w.PageControl1->tabText(0), QStringLiteral("Bilder [0]"));
    EXPECT_EQ(w.ButtonProcess->text(), QStringLiteral("&Starten"));
    EXPECT_EQ(w.ComboBoxModel->currentText(), QStringLiteral("Foto"));
    EXPECT_EQ(w.ButtonNext->text(), QStringLiteral("&Next"));
    // The long label is shrunk to the scaled width, never below one point.
    const QFontMetrics metrics(w.Label3->font());
    EXPECT_TRUE(metrics.horizontalAdvance(w.Label3->text()) <= w.ScaleDimension(105) ||
                w.Label3->font().pointSize() == 1);
    EXPECT_LT(w.Label3->font().pointSize(), w.Label4->font().pointSize());
}

TEST_F(MainFormTest, LanguageSettingOutsideTheFolderLoadsNothing)
{
    testenv::WriteFile(programFolder + QStringLiteral("Evil.lang.txt"), "{S&tart}Pwned\n");
    writeSettings("[Settings]\nLanguageFile=../Evil.lang.txt\n");
    TAppForm& w = start();
    EXPECT_EQ(w.ButtonProcess->text(), QStringLiteral("S&tart"));
}

TEST_F(MainFormTest, ShrinkStopsAtOnePoint)
{
    QLabel label(QStringLiteral("A label far too wide for any width"));
    label.setFont(QFont(QStringLiteral("DejaVu Sans"), 12));
    TAppForm::ShrinkToMaximumFontSize(&label, 1);
    EXPECT_EQ(label.font().pointSize(), 1);
    label.setFont(QFont(QStringLiteral("DejaVu Sans"), 12));
    TAppForm::ShrinkToMaximumFontSize(&label, 10000);
    EXPECT_EQ(label.font().pointSize(), 12);
}

TEST_F(MainFormTest, NextNeedsImagesAndBackReturns)
{
    TAppForm& w = start();
    w.ButtonNext->click();
    EXPECT_EQ(w.PageControl1->currentIndex(), 0);
    EXPECT_EQ(dialogs.beeps, 1);

    AppendImage(w.ImageRecords, QStringLiteral("/x/a.png"));
    w.KacItemVarGuncelle();
    w.Clear1->trigger();
    EXPECT_TRUE(w.ImageRecords.empty());
    EXPECT_EQ(w.PageControl1->tabText(0), QStringLiteral("Images [0]"));
}

// With the keyboard alone: Tab leaves the list, Ctrl+O adds files, Enter goes on to the options
// with the focus on their first control, Tab walks them top to bottom, Ctrl+Return starts.
TEST_F(MainFormTest, TheKeyboardAloneReachesEveryStep)
{
    TAppForm& w = start();
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QCoreApplication::processEvents();

    w.ListView1->setFocus();
    QTest::keyClick(w.ListView1, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w.ButtonNext);
    QTest::keyClick(w.ButtonNext, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), w.ListView1);

    // Enter on an empty list does nothing; Ctrl+Return says there is nothing to enlarge.
    QTest::keyClick(w.ListView1, Qt::Key_Return);
    EXPECT_EQ(w.PageControl1->currentIndex(), 0);
    QTest::keyClick(w.ListView1, Qt::Key_Return, Qt::ControlModifier);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("No image files have been added!"));

    const QString image = testenv::NewFolder(QStringLiteral("images")) + QStringLiteral("/a.png");
    testenv::WriteFile(image, "x");
    dialogs.fileAnswers.push_back({image});
    QTest::keyClick(w.ListView1, Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(w.ImageRecords.size(), 1u);

    QTest::keyClick(w.ListView1, Qt::Key_Return);
    EXPECT_EQ(w.PageControl1->currentIndex(), 1);
    EXPECT_EQ(QApplication::focusWidget(), w.ComboBoxModel);
    QTest::keyClick(w.ComboBoxModel, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w.ComboBoxAction);
    // Enter on the options page is theirs: it goes nowhere.
    QTest::keyClick(w.ComboBoxAction, Qt::Key_Return);
    EXPECT_EQ(w.PageControl1->currentIndex(), 1);

    // Below the first options, the new ones follow in the order they are shown, and each label's
    // accelerator reaches its control.
    layOutUpscaler();
    setFastModel(TImageType::Photo, true);
    pick(w.ComboBoxModel, 1);
    pick(w.ComboBoxFormat, 2);
    w.ButtonBrowse->setFocus();
    auto* engineBox = w.findChild<QComboBox*>(QStringLiteral("engineBox"));
    ASSERT_NE(engineBox, nullptr);
    for (QWidget* next :
         std::initializer_list<QWidget*>{w.ComboBoxScale, w.ComboBoxFormat, w.SpinEditQuality,
                                         w.ComboBoxSpeed, engineBox, w.CheckBoxMetadata}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
    }
    const std::pair<Qt::Key, QWidget*> accelerators[] = {{Qt::Key_A, w.ComboBoxScale},
                                                         {Qt::Key_O, w.ComboBoxFormat},
                                                         {Qt::Key_Q, w.SpinEditQuality},
                                                         {Qt::Key_P, w.ComboBoxSpeed},
                                                         {Qt::Key_N, engineBox}};
    for (const auto& [key, control] : accelerators) {
        QTest::keyClick(QApplication::focusWidget(), key, Qt::AltModifier);
        EXPECT_EQ(QApplication::focusWidget(), control) << control->objectName().toStdString();
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_K, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w.CheckBoxMetadata->isChecked(); }, 2000));
    EXPECT_EQ(w.SettingsIni.Read(QStringLiteral("KeepMetadata")), QStringLiteral("0"));

    // The shortcuts are the desktop's usual ones, and the menus show them.
    EXPECT_EQ(w.AddFiles1->shortcut(), QKeySequence(QKeySequence::Open));
    EXPECT_EQ(w.AddFolder1->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+O")));
    EXPECT_EQ(w.Exit1->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    EXPECT_EQ(w.Help2->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(w.Delete1->shortcut(), QKeySequence(QKeySequence::Delete));
}

// The list shows where each file is, keeps a failed row's reason on its status, and tells an
// empty list how to fill it, in the user's language and without the buttons' accelerator marks.
TEST_F(MainFormTest, ListCellsShowTheFullPathAndTheEmptyListItsHint)
{
    testenv::WriteFile(programFolder + QStringLiteral("Languages/German.lang.txt"),
                       "{&Add Files...}D&ateien hinzufügen...\n{Add F&older...}&Ordner "
                       "hinzufügen...\n{Drop images or folders here, or use %s / %s}Hierher "
                       "ziehen oder %s / %s\n");
    writeSettings("[Settings]\nLanguageFile=German.lang.txt\n");
    TAppForm& w = start();
    EXPECT_EQ(w.ListView1->EmptyHint(),
              QStringLiteral("Hierher ziehen oder Dateien hinzufügen... / Ordner hinzufügen..."));

    const QString folder = testenv::NewFolder(QStringLiteral("images"));
    const QString before = QDir::currentPath();
    QDir::setCurrent(folder);
    AppendImage(w.ImageRecords, QStringLiteral("a.png"));
    w.ImageRecords[0].reason = QStringLiteral("The upscaler could not read the image");
    AppendImage(w.ImageRecords, folder + QStringLiteral("/b.png"));
    w.ListModel->SetItemCount();
    const auto tip = [&](int row, int column) {
        return w.ListModel->index(row, column).data(Qt::ToolTipRole).toString();
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
TEST_F(MainFormTest, TheWindowPlacementRoundTripsAndFallsBackWhereNoScreenShowsIt)
{
    TAppForm& first = start();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(first.geometry()));
    first.show();
    first.setGeometry(screen.x() + 20, screen.y() + 30, 700, 540);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return storedSettings().contains(QStringLiteral("WindowPlacement")); }, 5000));
    form.reset();
    EXPECT_EQ(start().geometry(), QRect(screen.x() + 20, screen.y() + 30, 700, 540));

    form.reset();
    writeSettings("[Settings]\nWindowPlacement=-20000,-20000,640,420,1\n");
    TAppForm& offScreen = start();
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

TEST_F(MainFormTest, OnlineHelpOpensTheProductsPage)
{
    TAppForm& w = start();
    w.Help2->trigger();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0].toString(), QStringLiteral("http://%1/help/grandora/").arg(MakerWebHost()));
    AppProductName = QStringLiteral("Grandora Pro");
    w.Help2Click();
    EXPECT_EQ(opened[1].path(), QStringLiteral("/help/grandora-pro/"));
}

TEST_F(MainFormTest, ResetToDefaultsAsksFirst)
{
    writeSettings("[Settings]\nModel=Photo\n");
    TAppForm& w = start();
    dialogs.answers.push_back(platform::IDNO);
    w.ResettoDefaults1->trigger();
    EXPECT_TRUE(QFile::exists(programFolder + QStringLiteral("settings.ini")));
    EXPECT_TRUE(started.isEmpty());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Restart Application?"));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Confirmation"));

    dialogs.answers.push_back(platform::IDYES);
    w.ResettoDefaults1->trigger();
    EXPECT_FALSE(QFile::exists(programFolder + QStringLiteral("settings.ini")));
    EXPECT_EQ(started, QStringList{platform::ExecutablePath()});
}

TEST_F(MainFormTest, AboutShowsTheAboutBoxModallyWithTheProgramsValues)
{
    TAppForm& w = start();
    testenv::WriteFile(programFolder + QStringLiteral("license.txt"), "MIT License\n");
    QString title, name, link;
    // Runs inside the modal loop of the box; whatever is modal is closed so the test never hangs.
    QTimer::singleShot(0, &w, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* box = qobject_cast<TAboutBox*>(modal);
        if (!box) {
            ADD_FAILURE() << "no about box is shown";
            if (modal)
                modal->close();
            return;
        }
        title = box->windowTitle();
        name = box->Label2->text();
        link = box->Label5->text();
        box->LicensePrivacyPolicy1->trigger();
        box->BitBtn1->click();
    });
    w.About1->trigger();
    EXPECT_EQ(title, QStringLiteral("About Grandora"));
    EXPECT_EQ(name, QStringLiteral("Grandora 1.0"));
    EXPECT_EQ(link, MakerWebHost());
    EXPECT_EQ(opened,
              QList<QUrl>{QUrl::fromLocalFile(programFolder + QStringLiteral("license.txt"))});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.findChildren<TAboutBox*>().isEmpty());
}

} // namespace
