// The user's display language as a Windows language identifier (LANGID), the form in which the
// language table beside the program names languages.
#pragma once

#include <QString>
#include <cstdint>

namespace platform
{

// The LANGID of a locale name such as "de_CH.UTF-8", "pt-BR", "zh_Hant" or "de". A region the
// table does not know gives the language's main region; an unknown language gives 1033
// (English, United States).
std::uint16_t LangIdFromLocaleName(const QString& name);

// The LANGID of the user's first interface language, read as Qt reads it: the first entry of
// LANGUAGE, else LC_ALL, LC_MESSAGES or LANG, whichever is set first.
std::uint16_t GetUserDefaultUILanguage();

} // namespace platform
