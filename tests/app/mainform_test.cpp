#include "about/about.h"
#include "app/appvalues.h"
#include "app/imagelist.h"
#include "app/imagerecords.h"
#include "app/mainform.h"
#include "app/settingsstore.h"
#include "i18n/translation.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "support/testenv.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace
{

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
    testenv::WriteFile(programFolder + QStringLiteral("Languages/German.lang.txt"),
                       "{Images}Bilder\n{Start}Starten\n{Photo}Foto\n{Image Type:}Ein sehr langer "
                       "Bildtyp-Text:\n");
    writeSettings("[Settings]\nLanguageFile=German.lang.txt\nModel=Foto\n");
    TAppForm& w = start();
    EXPECT_EQ(w.PageControl1->tabText(0), QStringLiteral("Bilder [0]"));
    EXPECT_EQ(w.ButtonProcess->text(), QStringLiteral("Starten"));
    EXPECT_EQ(w.ComboBoxModel->currentText(), QStringLiteral("Foto"));
    EXPECT_EQ(w.ButtonNext->text(), QStringLiteral("Next"));
    // The long label is shrunk to the scaled width, never below one point.
    const QFontMetrics metrics(w.Label3->font());
    EXPECT_TRUE(metrics.horizontalAdvance(w.Label3->text()) <= w.ScaleDimension(105) ||
                w.Label3->font().pointSize() == 1);
    EXPECT_LT(w.Label3->font().pointSize(), w.Label4->font().pointSize());
}

TEST_F(MainFormTest, LanguageSettingOutsideTheFolderLoadsNothing)
{
    testenv::WriteFile(programFolder + QStringLiteral("Evil.lang.txt"), "{Start}Pwned\n");
    writeSettings("[Settings]\nLanguageFile=../Evil.lang.txt\n");
    TAppForm& w = start();
    EXPECT_EQ(w.ButtonProcess->text(), QStringLiteral("Start"));
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
