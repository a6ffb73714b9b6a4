// Trimming as the web service's texts need it: blanks and control characters (everything up to
// U+0020) go at both ends, other white space such as U+00A0 stays.
#pragma once

#include <QString>

inline QString TrimBlanks(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first].unicode() <= 0x20)
        ++first;
    while (last > first && text[last - 1].unicode() <= 0x20)
        --last;
    return text.mid(first, last - first);
}
