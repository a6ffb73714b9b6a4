#include "widgetkit.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <cmath>

QIcon namedIcon(const char* name)
{
    return QIcon(QStringLiteral(":/icons/%1.png").arg(QLatin1String(name)));
}

QPushButton* makeButton(QWidget* parent, const char* objectName, const char* icon, int width)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(QLatin1String(objectName));
    button->setIcon(namedIcon(icon));
    button->setFixedWidth(width);
    return button;
}

QWidget* makeBar(QWidget* parent, const char* objectName, int height)
{
    auto* bar = new QWidget(parent);
    bar->setObjectName(QLatin1String(objectName));
    bar->setFixedHeight(height);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(4, 4, 4, 4);
    return bar;
}

int scaleDimension(int x)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int screenDpi = screen ? qRound(screen->logicalDotsPerInch()) : 96;
    return static_cast<int>(std::lround(static_cast<double>(x) * screenDpi / 96.0));
}

void shrinkFontToFit(QLabel* label, int maximumWidth)
{
    QFont font = label->font();
    // An accelerator's "&" takes no room: it underlines the letter after it.
    while (font.pointSize() > 1 &&
           QFontMetrics(font).size(Qt::TextShowMnemonic, label->text()).width() > maximumWidth)
        font.setPointSize(font.pointSize() - 1);
    label->setFont(font);
}
