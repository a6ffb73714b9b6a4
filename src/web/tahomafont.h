// The notice and the feedback window set their texts in Tahoma at fixed pixel sizes, so they keep
// their designed layout whatever the desktop's font size.
#pragma once

#include <QFont>

inline QFont TahomaFont(int pixelSize, bool bold = false)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}
