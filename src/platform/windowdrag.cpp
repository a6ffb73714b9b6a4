#include "windowdrag.h"

#include <QMouseEvent>
#include <QWidget>

namespace platform
{

bool WindowDrag::HandleMouse(QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
        type != QEvent::MouseButtonRelease)
        return false;
    const auto* mouse = static_cast<const QMouseEvent*>(event);
    const QPoint global = mouse->globalPosition().toPoint();
    switch (type) {
    case QEvent::MouseButtonPress:
        if (mouse->button() == Qt::RightButton)
            return true;
        dragging = true;
        break;
    case QEvent::MouseMove:
        if (!dragging)
            return true;
        window_->move(window_->x() + global.x() - dx, window_->y() + global.y() - dy);
        break;
    default:
        dragging = false;
        return true;
    }
    dx = global.x();
    dy = global.y();
    return true;
}

} // namespace platform
