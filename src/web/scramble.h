// The reversible scrambling with which the update checker keeps the announced download address in
// its store: not secret, only not plain to read or edit.
#pragma once

#include <QString>

// UTF-8 bytes of `text`, each mixed with a running 16-bit key, written as upper-case hex pairs.
QString ScrambleText(const QString& text);
// The reverse of ScrambleText. Case is ignored, a last single digit is dropped, and a pair that is
// not hexadecimal makes the result empty.
QString UnscrambleText(const QString& text);
