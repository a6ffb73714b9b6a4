// Which language file the program runs in: the stored choice, or while there is none, the one
// that "LanguageCodes.csv" names for the user's display language.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

// The bare names of the language files found at start, in the order the folder listed them.
extern QStringList LanguageFileList;

// Sets LanguageFolder to "Languages" beside the executable, lists its language files and loads
// the chosen one. `languageFileSetting` is the stored LanguageFile setting, possibly blank.
void LoadLanguage(const QString& languageFileSetting);
// The same with the executable's folder (ending with '/') and the user's LANGID handed in.
void LoadLanguage(const QString& languageFileSetting, const QString& executableFolder,
                  std::uint16_t userLanguage);

// Appends the names of the entries of `folder` matching "*lang.txt" (any case, hidden ones
// included, folders skipped) to LanguageFileList.
void FindLanguageFiles(const QString& folder);

// The lines of "LanguageCodes.csv": UTF-8 or UTF-16 by byte-order mark, else the locale's
// character set. Empty when the file cannot be read.
QStringList ReadLanguageCodes(const QString& path);

// The second column of the first line whose first column is `langId`, or empty.
QString LanguageCodeFileName(const QStringList& lines, const QString& langId);

// `fileName` spelled as in `files`, compared with only A-Z folded; empty when absent.
QString FindFileNameIgnoringCase(const QStringList& files, const QString& fileName);

// `text` without spaces and control characters at either end.
QString TrimSpacesAndControls(const QString& text);
