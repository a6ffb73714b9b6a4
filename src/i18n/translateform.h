// The language dialog: the user picks the interface language from the language files found at
// start, sees who translated it, and on a confirmed change the program restarts in it.
#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QWidget;

// The text after the first '}' of the first line that begins with "{key}", even when it is
// empty; `key` itself when no line begins so.
QString TranslateFromList(const QString& key, const QStringList& lines);

// How the language dialog names the language of file `entry` ("German" for German.lang.txt):
// its own name with the English one after it ("Deutsch – German") from the file's lines, or the
// entry itself when the file names neither.
QString LanguageDisplayName(const QString& entry, const QStringList& lines);

// The name of the flag picture (resource ":/flags/<name>.png") drawn beside a language entry.
QString FlagPictureName(const QString& entry);

// What the dialog needs from the main window.
struct TranslateFormContext {
    QString settingsFolder; // where the restart script is written, ending with '/'
    std::function<void(const QString&)> setLanguageFile; // stores the LanguageFile setting
    // Asks a Yes/No question (message, caption); returns 6 for Yes.
    std::function<int(const QString&, const QString&)> askConfirmation;
    QString webHost; // the maker's web host, for the translation page
    // Hands what the window shows to the restarted instance: the arguments it is started with.
    // Called once the change is confirmed; raises an error when that cannot be done.
    std::function<QStringList()> restartArguments;
};

class TTranslateForm : public QDialog
{
    Q_OBJECT

public:
    TTranslateForm(QWidget* parent, TranslateFormContext context);

    // The address of the maker's page for contributing translations.
    QString TranslationPageUrl() const;

    QLabel* Label1 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QLabel* Label2 = nullptr;
    QPlainTextEdit* RichEdit1 = nullptr;
    QWidget* Panel1 = nullptr;
    QWidget* Panel2 = nullptr;
    QLabel* Label3 = nullptr;
    QPushButton* Button1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Copy1 = nullptr;
    QAction* SelectAll1 = nullptr;

    // The entry (file name without ".lang.txt") selected when the dialog opened.
    QString InitialLanguage;

public slots:
    void ComboBox1Change();
    void Button1Click();
    void Label3Click();
    void Copy1Click();
    void SelectAll1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateComponents();
    void FormCreate();

    TranslateFormContext context_;
};
