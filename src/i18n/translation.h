// The translation lookup: every user-visible text is shown through TranslateText(), with its
// English text as the key, from the one language file loaded at start.
#pragma once

#include <QString>
#include <QStringList>

// Process-wide localization state, written once at start before any window sets its texts.
extern QString LanguageFolder;   // "Languages" beside the executable, no trailing '/'
extern QString LanguageFilePath; // full path of the loaded file; empty: nothing loaded
extern QString LanguageName;     // "German" for German.lang.txt; empty when nothing loaded
extern QStringList LanguageLines;

// Loads `fileName` (a bare name such as German.lang.txt) from LanguageFolder. A missing file
// leaves the program in English; a file that cannot be read is reported once on standard error
// and also leaves it in English.
void LoadLanguageFile(const QString& fileName);

// Installs Qt's own translations (file dialogs, standard buttons) for `languageCode` ("de",
// "pt_BR") from `folder`, replacing those installed before; an empty code only removes them.
// Returns false when the folder has none for the language. LoadLanguageFile calls it with the
// code its file names and the system's Qt translations.
bool LoadQtTranslations(const QString& languageCode, const QString& folder);

// The translation of `key`, or `key` itself when no language is loaded or it has no entry.
QString TranslateText(const QString& key);

// Shorthand for the literal keys the program passes.
inline QString TranslateText(const char* key)
{
    return TranslateText(QString::fromUtf8(key));
}

// The translations of `key` in every language file of LanguageFolder (read afresh), for values
// that an earlier version stored in the user's language of the time.
QStringList TranslationsInAllLanguages(const QString& key);

// Fills the "%s" placeholders of a translated template in order, the way the program's templates
// ("Resizing %s...") are written; a "%s" without a value is left as it is.
QString FillTemplate(const QString& text, const QStringList& values);

// `text` as shown where it is neither a button nor a menu (the status bar, message boxes): its
// accelerator mark "&" is dropped ("&&" stays one "&"), and so is a "(&F)" after the text, the
// form in which some languages mark a Latin letter.
QString WithoutAccelerator(const QString& text);

// Forgets the loaded language (for tests that load several files in one process).
void UnloadLanguageForTesting();
