#include "imagelistview.h"

#include <QPainter>

void TImageListView::SetEmptyHint(const QString& text)
{
    emptyHint_ = text;
    viewport()->update();
}

void TImageListView::paintEvent(QPaintEvent* event)
{
    QTableView::paintEvent(event);
    if (emptyHint_.isEmpty() || (model() && model()->rowCount() > 0))
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    const int margin = fontMetrics().averageCharWidth() * 2;
    painter.drawText(viewport()->rect().adjusted(margin, 0, -margin, 0),
                     Qt::AlignCenter | Qt::TextWordWrap, emptyHint_);
}
