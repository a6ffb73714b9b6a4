// Numbers as people read them: in the digits and the decimal sign of their locale, which Qt
// takes from the desktop. Text that a file, another program or a later run reads is written with
// QString::number or QLocale::c() instead, so that it reads back the same in every locale.
#pragma once

#include <QLocale>
#include <QString>

// The user's locale without thousands separators: a size or a count stays one short word.
QLocale ShownLocale();

QString ShownNumber(qint64 value);

// `value` with `decimals` decimals, as in "27,5" under a German desktop.
QString ShownDecimal(double value, int decimals);
