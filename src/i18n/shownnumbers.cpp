#include "shownnumbers.h"

QLocale ShownLocale()
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

QString ShownNumber(qint64 value)
{
    return ShownLocale().toString(value);
}

QString ShownDecimal(double value, int decimals)
{
    return ShownLocale().toString(value, 'f', decimals);
}
