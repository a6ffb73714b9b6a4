// Small pieces every window of the program is built from: its icons, its buttons and bars, one
// rule for scaling the design's pixels to the screen, and fonts that shrink to fit.
#pragma once

#include <QIcon>

class QLabel;
class QPushButton;
class QWidget;

// The program's icon of that name (":/icons/<name>.png").
QIcon namedIcon(const char* name);
QPushButton* makeButton(QWidget* parent, const char* objectName, const char* icon, int width);
// A bar of fixed height at the top or bottom of a page, laid out left to right.
QWidget* makeBar(QWidget* parent, const char* objectName, int height);

// `x` design pixels (drawn at 96 pixels per inch) on the primary screen.
int scaleDimension(int x);

// Shrinks the label's font point by point until its text, as shown, fits `maximumWidth` (never
// below 1 point).
void shrinkFontToFit(QLabel* label, int maximumWidth);
