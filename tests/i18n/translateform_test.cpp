#include "i18n/languageselection.h"
#include "i18n/restartscript.h"
#include "i18n/translateform.h"
#include "i18n/translation.h"
#include "platform/files.h"
#include "platform/oserror.h"
#include "platform/shell.h"
#include "support/testenv.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace
{

// A program folder with a few language files, running in German.
class TranslateFormTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        UnloadLanguageForTesting();
        const QString exe = testenv::NewFolder(QStringLiteral("exe")) + QLatin1Char('/');
        const QString languages = exe + QStringLiteral("Languages/");
        testenv::WriteFile(languages + QStringLiteral("German.lang.txt"),
                           "\xEF\xBB\xBF{INFO:Translated By}Anna , Bernd,\tClara \r\n"
                           "{INFO:Language Name}Deutsch\r\n{INFO:English Name}German\r\n"
                           "{Language}Sprache\r\n{Restart Application?}Neu starten?\r\n");
        testenv::WriteFile(languages + QStringLiteral("French.lang.txt"), "{Language}Langue\n");
        testenv::WriteFile(languages + QStringLiteral("Esperanto.lang.txt"),
                           "{INFO:Translated By}Zamenhof\n");
        testenv::WriteFile(languages + QStringLiteral("Italian.lang.txt"),
                           "{INFO:Translated By}X\n");
        QFile::setPermissions(languages + QStringLiteral("Italian.lang.txt"), {});
        testenv::WriteFile(languages + QStringLiteral("Xlang.txt"), "{INFO:Translated By}Y\n");
        LoadLanguage(QStringLiteral("German.lang.txt"), exe, 1033);

        settingsFolder = testenv::NewFolder(QStringLiteral("settings")) + QLatin1Char('/');
        platform::SetShellHooksForTesting({
            [this](const QUrl& url) {
                opened.append(url);
                return true;
            },
            {},
            [this](const QString& program, const QStringList& arguments) {
                started.append(QStringList{program} + arguments);
                return true;
            },
        });
    }

    void TearDown() override
    {
        platform::SetShellHooksForTesting({});
        UnloadLanguageForTesting();
    }

    std::unique_ptr<TTranslateForm> makeForm()
    {
        TranslateFormContext context{
            settingsFolder,
            [this](const QString& file) { storedFiles.append(file); },
            [this](const QString& message, const QString& caption) {
                questions.append(message + QLatin1Char('|') + caption);
                return answer;
            },
            QStringLiteral("zelmora.test:8080"),
            {},
        };
        auto form = std::make_unique<TTranslateForm>(nullptr, std::move(context));
        form->show();
        return form;
    }

    void select(TTranslateForm& form, const QString& entry)
    {
        form.ComboBox1->setCurrentIndex(form.ComboBox1->findData(entry));
    }

    QStringList entries(const TTranslateForm& form)
    {
        QStringList list;
        for (int i = 0; i < form.ComboBox1->count(); ++i)
            list.append(form.ComboBox1->itemData(i).toString());
        return list;
    }

    QString settingsFolder;
    QList<QUrl> opened;
    QList<QStringList> started;
    QStringList storedFiles;
    QStringList questions;
    int answer = 7;
};

TEST_F(TranslateFormTest, ListsLanguagesSortedWithTheCurrentOneAndItsTranslators)
{
    auto form = makeForm();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Sprache"));
    // Named by the files' own names where they have them, sorted by what is shown.
    EXPECT_EQ(entries(*form), (QStringList{QStringLiteral("German"), QStringLiteral("English"),
                                           QStringLiteral("Esperanto"), QStringLiteral("French"),
                                           QStringLiteral("Italian")}));
    EXPECT_EQ(form->ComboBox1->currentText(), QStringLiteral("Deutsch \u2013 German"));
    EXPECT_EQ(form->ComboBox1->currentData().toString(), QStringLiteral("German"));
    EXPECT_EQ(form->InitialLanguage, QStringLiteral("German"));
    EXPECT_EQ(form->RichEdit1->toPlainText(), QStringLiteral("Anna\nBernd\nClara"));

    const std::pair<const char*, const char*> boxes[] = {
        {"French", "INFO:Translated By"}, // no line: the lookup's own fallback
        {"Italian", ""},                  // unreadable
        {"English", "Zelmora"},
        {"Esperanto", "Zamenhof"},
    };
    for (const auto& [entry, translators] : boxes) {
        select(*form, QLatin1String(entry));
        EXPECT_EQ(form->RichEdit1->toPlainText(), QLatin1String(translators)) << entry;
    }
}

TEST_F(TranslateFormTest, WithoutLanguageFilesOnlyEnglishIsOfferedAndOkCloses)
{
    LanguageFileList.clear();
    UnloadLanguageForTesting();
    auto form = makeForm();
    EXPECT_EQ(entries(*form), QStringList{QStringLiteral("English")});
    EXPECT_EQ(form->RichEdit1->toPlainText(), QStringLiteral("Zelmora"));
    form->Button1->click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_TRUE(questions.isEmpty());
}

TEST_F(TranslateFormTest, OkWithTheSameLanguageClosesAndChangesNothing)
{
    auto form = makeForm();
    select(*form, QStringLiteral("French"));
    select(*form, QStringLiteral("German"));
    form->Button1->click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(questions.isEmpty());
    EXPECT_TRUE(storedFiles.isEmpty());
    EXPECT_TRUE(started.isEmpty());
}

TEST_F(TranslateFormTest, AnsweringNoStoresNothingAndStaysOpen)
{
    auto form = makeForm();
    select(*form, QStringLiteral("French"));
    form->Button1->click();
    EXPECT_EQ(questions, QStringList{QStringLiteral("Neu starten?|Confirmation")});
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->ComboBox1->currentText(), QStringLiteral("French"));
    EXPECT_TRUE(storedFiles.isEmpty());
    EXPECT_FALSE(QFile::exists(settingsFolder + QStringLiteral("start.sh")));
    EXPECT_TRUE(started.isEmpty());
}

TEST_F(TranslateFormTest, ConfirmedChangeStoresTheFileAndStartsTheRestartScript)
{
    answer = 6;
    auto form = makeForm();
    select(*form, QStringLiteral("English"));
    form->Button1->click();
    EXPECT_EQ(storedFiles, QStringList{QStringLiteral("English.lang.txt")});
    const QString script = settingsFolder + QStringLiteral("start.sh");
    ASSERT_EQ(started.size(), 1);
    EXPECT_EQ(started[0], (QStringList{QStringLiteral("/bin/sh"), script}));
    QFile file(script);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), RestartScriptText(platform::ExecutablePath()));
    EXPECT_FALSE(form->isVisible());
}

TEST_F(TranslateFormTest, UnwritableScriptIsReportedAfterStoringAndNothingStarts)
{
    answer = 6;
    auto form = makeForm();
    select(*form, QStringLiteral("French"));
    QFile::setPermissions(settingsFolder, QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_THROW(form->Button1Click(), platform::OSError);
    QFile::setPermissions(settingsFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(storedFiles, QStringList{QStringLiteral("French.lang.txt")});
    EXPECT_TRUE(started.isEmpty());
    EXPECT_TRUE(form->isVisible());
}

TEST_F(TranslateFormTest, EscapeClosesFromEachControlWithoutStoring)
{
    for (const char* name : {"ComboBox1", "RichEdit1", "Button1"}) {
        auto form = makeForm();
        select(*form, QStringLiteral("French"));
        QWidget* control = form->findChild<QWidget*>(QLatin1String(name));
        ASSERT_NE(control, nullptr);
        control->setFocus();
        QTest::keyClick(control, Qt::Key_Escape);
        EXPECT_FALSE(form->isVisible()) << name;
        EXPECT_EQ(form->result(), QDialog::Rejected) << name;
    }
    EXPECT_TRUE(storedFiles.isEmpty());
    EXPECT_TRUE(questions.isEmpty());
}

TEST_F(TranslateFormTest, LinkOpensTheTranslationPage)
{
    auto form = makeForm();
    EXPECT_EQ(form->Label3->toolTip(), QStringLiteral("https://zelmora.test:8080/translation/"));
    QTest::mouseClick(form->Label3, Qt::LeftButton);
    EXPECT_EQ(opened, QList<QUrl>{QUrl(QStringLiteral("https://zelmora.test:8080/translation/"))});
}

TEST_F(TranslateFormTest, SelectAllAndCopyPutTheTranslatorsOnTheClipboard)
{
    auto form = makeForm();
    form->SelectAll1->trigger();
    form->Copy1->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("Anna\nBernd\nClara"));
}

// Every shipped translation of the dialog's texts must be readable in full in its fixed layout.
TEST(TranslateFormLayout, ShippedTranslationsFitTheirPlaces)
{
    const QString languages = QStringLiteral(GRANDORA_SOURCE_DIR "/languages");
    const QStringList files =
        QDir(languages).entryList({QStringLiteral("*.lang.txt")}, QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    for (const QString& file : files) {
        UnloadLanguageForTesting();
        LanguageFolder = languages;
        LanguageFileList = files;
        LoadLanguageFile(file);
        TTranslateForm form(nullptr, {QString(), {}, {}, QStringLiteral("zelmora.test"), {}});
        form.show();
        for (QLabel* label : {form.Label1, form.Label2, form.Label3}) {
            EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->width())
                << file.toStdString() << ": " << label->text().toStdString();
        }
        EXPECT_LT(form.Label3->geometry().right(), form.Button1->geometry().left())
            << file.toStdString();
        EXPECT_LT(form.Label1->geometry().right(), form.ComboBox1->geometry().left())
            << file.toStdString();
        EXPECT_LE(form.Button1->sizeHint().width(), form.Button1->width()) << file.toStdString();
        const QString entry = file.left(file.indexOf(QStringLiteral(".lang.txt")));
        EXPECT_EQ(form.ComboBox1->currentData().toString(), entry);
        // Each language is listed by its own name, and every name shows in full.
        const QFontMetrics names(form.ComboBox1->font());
        for (int i = 0; i < form.ComboBox1->count(); ++i) {
            const QString name = form.ComboBox1->itemText(i);
            const QString listed = form.ComboBox1->itemData(i).toString();
            if (listed != QStringLiteral("English")) {
                EXPECT_NE(name, listed) << "no name of its own in " << listed.toStdString();
            }
            EXPECT_LE(names.horizontalAdvance(name) + 16 + 4 + 30, form.ComboBox1->width())
                << name.toStdString();
        }
        // Left in the test's build folder for a look at each language.
        form.grab().save(QStringLiteral("language-dialog-%1.png").arg(entry));
    }
    UnloadLanguageForTesting();
}

TEST(FlagPictureName, FollowsTheFlagTableAndFallsBackToNeutral)
{
    const std::pair<const char*, const char*> cases[] = {
        {"English", "english"},
        {"German", "de"},
        {"Vietnamese", "vi"},
        {"Catalan", "ca"},
        {"ChineseTraditional", "tw"},
        {"Abkhazian", "ab"},
        {"german", "xx"},
        {"Esperanto", "xx"},
        {"", "xx"},
    };
    for (const auto& [entry, picture] : cases)
        EXPECT_EQ(FlagPictureName(QLatin1String(entry)), QLatin1String(picture)) << entry;
}

TEST(FlagPictureName, EveryNamedPictureIsAFlagInTheResources)
{
    for (const char* entry : {"English",
                              "German",
                              "French",
                              "Turkish",
                              "Albanian",
                              "Arabic",
                              "Bulgarian",
                              "ChineseSimplified",
                              "ChineseTraditional",
                              "Czech",
                              "Dutch",
                              "Finnish",
                              "Greek",
                              "Hebrew",
                              "Hungarian",
                              "Italian",
                              "Japanese",
                              "Korean",
                              "Persian",
                              "Polish",
                              "PortugueseBrazil",
                              "PortuguesePortugal",
                              "Romanian",
                              "Russian",
                              "Slovenian",
                              "Spanish",
                              "Swedish",
                              "Ukrainian",
                              "Vietnamese",
                              "Slovak",
                              "Abkhazian",
                              "Norwegian",
                              "Catalan",
                              "Other"}) {
        const QPixmap flag(
            QStringLiteral(":/flags/%1.png").arg(FlagPictureName(QLatin1String(entry))));
        EXPECT_EQ(flag.width(), 16) << entry;
        EXPECT_LE(flag.height(), 16) << entry;
    }
}

TEST(TranslateFromList, KeepsAnEmptyTranslationAndFallsBackToTheKey)
{
    const QStringList lines{QStringLiteral(" {A}no"), QStringLiteral("{A}"),
                            QStringLiteral("{A}late"), QStringLiteral("{B}x}y")};
    EXPECT_EQ(TranslateFromList(QStringLiteral("A"), lines), QString());
    EXPECT_EQ(TranslateFromList(QStringLiteral("B"), lines), QStringLiteral("x}y"));
    EXPECT_EQ(TranslateFromList(QStringLiteral("C"), lines), QStringLiteral("C"));
}

// The program's path reaches the shell only as one quoted word, whatever characters it holds.
TEST(RestartScript, RunsExactlyTheProgramWhateverItsPath)
{
    const QString folder = testenv::NewFolder(QStringLiteral("odd path"));
    const QString program = folder + QStringLiteral("/it's $HOME `touch pwned` \"x\"\nprog");
    const QString marker = folder + QStringLiteral("/ran");
    testenv::WriteFile(program, "#!/bin/sh\nprintf '%s' \"$0\" > '" + marker.toUtf8() + "'\n");
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const QString script = WriteRestartScript(folder + QLatin1Char('/'), program);
    QFile file(script);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_FALSE(text.contains('\r'));
    EXPECT_TRUE(text.startsWith("#!/bin/sh\n# "));
    EXPECT_TRUE(text.contains("\nsleep 1\nexec '"));

    EXPECT_EQ(QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-n"), script}), 0);
    QProcess run;
    run.setWorkingDirectory(folder);
    run.start(QStringLiteral("/bin/sh"), {script});
    ASSERT_TRUE(run.waitForFinished(10000));
    EXPECT_EQ(run.exitCode(), 0);
    QFile ran(marker);
    ASSERT_TRUE(ran.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(ran.readAll()), program);
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/pwned")));
}

} // namespace
