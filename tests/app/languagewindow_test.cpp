// A new user whose desktop speaks German sees the whole main window in German: the language is
// found through the shipped LanguageCodes.csv and no caption is left in English, nor the message
// about settings that cannot be read.
#include "app/imagelistmodel.h"
#include "app/imagelistview.h"
#include "app/mainwindow.h"
#include "i18n/restartscript.h"
#include "i18n/translateform.h"
#include "i18n/translation.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "support/testenv.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace
{

// Every text the window shows, from its widgets, menus, tabs, column titles and list entries.
QStringList shownTexts(const MainWindow& window)
{
    QStringList texts;
    for (const QLabel* label : window.findChildren<QLabel*>())
        texts << label->text();
    for (const QAbstractButton* button : window.findChildren<QAbstractButton*>())
        texts << button->text();
    for (const QAction* action : window.findChildren<QAction*>())
        texts << action->text();
    for (const QMenu* menu : window.findChildren<QMenu*>())
        texts << menu->title();
    for (const QTabWidget* tabs : window.findChildren<QTabWidget*>()) {
        for (int i = 0; i < tabs->count(); ++i)
            texts << tabs->tabText(i).section(QStringLiteral(" ["), 0, 0);
    }
    for (const QComboBox* combo : window.findChildren<QComboBox*>()) {
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
    }
    const QAbstractItemModel* model =
        window.findChild<TImageListView*>(QStringLiteral("imageList"))->model();
    for (int column = 0; column < model->columnCount(); ++column)
        texts << model->headerData(column, Qt::Horizontal).toString();
    texts.removeAll(QString());
    return texts;
}

// A new program folder with the shipped language files, run by a user whose desktop speaks German.
QString germanUsersProgram()
{
    const QString program = testenv::NewFolder(QStringLiteral("program")) + QLatin1Char('/');
    const QDir shipped(QStringLiteral(GRANDORA_SOURCE_DIR "/languages"));
    QDir().mkpath(program + QStringLiteral("Languages"));
    for (const QString& file : shipped.entryList(QDir::Files))
        QFile::copy(shipped.filePath(file), program + QStringLiteral("Languages/") + file);
    const char* const variables[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    for (const char* variable : variables)
        qunsetenv(variable);
    qputenv("LANG", "de_DE.UTF-8");
    platform::SetExecutableFolderForTesting(program);
    UnloadLanguageForTesting();
    return program;
}

TEST(LanguageWindow, NewGermanUserSeesTheMainWindowInGerman)
{
    const QString program = germanUsersProgram();
    platform::DialogScript dialogs;
    platform::EnableDialogScriptForTesting(&dialogs);

    {
        MainWindow window(QStringList{});
        window.show();
        EXPECT_EQ(LanguageName, QStringLiteral("German"));
        // An English key with a German translation of its own must never show as it is.
        QStringList english;
        for (const QString& line : LanguageLines) {
            const qsizetype close = line.indexOf(QLatin1Char('}'));
            if (line.startsWith(QLatin1Char('{')) && close > 0 &&
                line.mid(close + 1) != line.mid(1, close - 1))
                english << line.mid(1, close - 1);
        }
        const QStringList texts = shownTexts(window);
        EXPECT_GT(texts.size(), 30);
        for (const QString& text : texts)
            EXPECT_FALSE(english.contains(text)) << "left in English: " << text.toStdString();
        EXPECT_TRUE(texts.contains(QStringLiteral("D&ateien hinzufügen...")));
        // Left in the test's build folder for a look.
        window.grab().save(QStringLiteral("main-window-german.png"));
        // The detected language is not stored: it is detected anew while the setting is blank.
        QFile settings(program + QStringLiteral("settings.ini"));
        const QByteArray stored =
            settings.open(QIODevice::ReadOnly) ? settings.readAll() : QByteArray();
        EXPECT_FALSE(stored.contains("German")) << stored.constData();
    }
    platform::EnableDialogScriptForTesting(nullptr);
    platform::SetExecutableFolderForTesting({});
    UnloadLanguageForTesting();
}

// The message about a settings.ini that cannot be read comes once the language is known, though
// no language can be read from that file.
TEST(LanguageWindow, GermanUserIsToldInGermanThatTheSettingsCannotBeRead)
{
    const QString program = germanUsersProgram();
    QDir().mkpath(program + QStringLiteral("settings.ini"));
    platform::DialogScript dialogs;
    platform::EnableDialogScriptForTesting(&dialogs);
    {
        MainWindow window(QStringList{});
        EXPECT_EQ(window.findChild<QPushButton*>(QStringLiteral("startStopButton"))->text(),
                  QStringLiteral("&Starten"));
    }
    platform::EnableDialogScriptForTesting(nullptr);
    platform::SetExecutableFolderForTesting({});
    UnloadLanguageForTesting();

    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(
        dialogs.shown[0].text,
        QStringLiteral("Die Einstellungsdatei %1settings.ini kann nicht gelesen werden: Keine "
                       "reguläre Datei\n\nDas Programm verwendet die Standardeinstellungen, "
                       "und Änderungen werden nicht gespeichert.")
            .arg(program));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Fehler"));
}

// Changing the language keeps the list and the page. The restart runs the real script, with a
// stand-in for the program that reports the arguments it would get; a second window starts
// with them.
TEST(LanguageWindow, TheListSurvivesALanguageRestart)
{
    const QString program = germanUsersProgram();
    platform::DialogScript dialogs;
    platform::EnableDialogScriptForTesting(&dialogs);
    QStringList launched;
    platform::SetShellHooksForTesting(
        {nullptr, nullptr, [&launched](const QString& shell, const QStringList& args) {
             launched = QStringList{shell} + args;
             return true;
         }});
    const QStringList names = {QStringLiteral("/photos/a.png"),
                               QStringLiteral("/photos/it's \"b\"\nline two.png"),
                               QStringLiteral("/photos/--restore-list c.png")};
    {
        MainWindow window(QStringList{});
        auto* images = window.findChild<ImageListModel*>(QStringLiteral("imageListModel"));
        ASSERT_NE(images, nullptr);
        images->appendFiles(names);
        // Each keeps the folder it was listed from, whatever the name holds.
        TImageEntry fromFolder;
        fromFolder.path = QStringLiteral("/photos/trip/d.png");
        fromFolder.origin = QStringLiteral("/photos/it's\nhere");
        images->appendEntry(fromFolder);
        images->setResult(0, TranslateText("Completed"), true, QString());
        window.findChild<QPushButton*>(QStringLiteral("nextButton"))->click();
        dialogs.answers.push_back(platform::IDYES);
        QTimer::singleShot(0, [] {
            auto* form = qobject_cast<TTranslateForm*>(QApplication::activeModalWidget());
            ASSERT_NE(form, nullptr);
            form->ComboBox1->setCurrentIndex(form->ComboBox1->findData(QStringLiteral("French")));
            form->Button1->click();
        });
        window.findChild<QAction*>(QStringLiteral("languageAction"))->trigger();
    }
    ASSERT_EQ(launched.size(), 2);
    QFile scriptFile(launched[1]);
    ASSERT_TRUE(scriptFile.open(QIODevice::ReadOnly));
    QString script = QString::fromUtf8(scriptFile.readAll());
    // The names never appear in the script, only the list file does.
    EXPECT_FALSE(script.contains(QStringLiteral("photos")));
    script.remove(QStringLiteral("sleep 1\n"));
    script.replace(ShellQuote(platform::ExecutablePath()), QStringLiteral("printf '%s\\0'"));
    QProcess shell;
    shell.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script});
    ASSERT_TRUE(shell.waitForFinished(10000));
    QStringList arguments = QString::fromUtf8(shell.readAllStandardOutput()).split(QChar(0));
    arguments.removeLast();
    ASSERT_EQ(arguments.size(), 2);
    const QString listFile = arguments[1];
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    EXPECT_EQ(QFile::permissions(listFile) & others, QFile::Permissions());

    {
        MainWindow window(arguments);
        const auto* startArguments =
            window.findChild<QTimer*>(QStringLiteral("startArgumentsTimer"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !startArguments->isActive(); }, 5000));
        EXPECT_EQ(LanguageName, QStringLiteral("French"));
        const TImageEntries& entries =
            window.findChild<ImageListModel*>(QStringLiteral("imageListModel"))->entries();
        ASSERT_EQ(entries.size(), static_cast<size_t>(names.size()) + 1);
        for (qsizetype i = 0; i < names.size(); ++i) {
            EXPECT_EQ(entries[static_cast<size_t>(i)].path, names[i]);
            EXPECT_EQ(entries[static_cast<size_t>(i)].origin, QString());
        }
        EXPECT_EQ(entries.back().path, QStringLiteral("/photos/trip/d.png"));
        EXPECT_EQ(entries.back().origin, QStringLiteral("/photos/it's\nhere"));
        EXPECT_TRUE(entries[0].completed);
        EXPECT_EQ(entries[0].status, TranslateText("Completed"));
        EXPECT_FALSE(entries[1].completed);
        const auto* pages = window.findChild<QTabWidget*>(QStringLiteral("pages"));
        EXPECT_TRUE(pages->tabText(0).endsWith(QStringLiteral("[4]")));
        EXPECT_EQ(pages->currentIndex(), 1);
    }
    EXPECT_FALSE(QFile::exists(listFile));
    platform::SetShellHooksForTesting({});
    platform::EnableDialogScriptForTesting(nullptr);
    platform::SetExecutableFolderForTesting({});
    UnloadLanguageForTesting();
}

} // namespace
