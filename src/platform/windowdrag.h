// Moving a window by dragging its body or any of its controls that hand their mouse events on.
#pragma once

#include <cstdint>

class QEvent;
class QWidget;

namespace platform
{

class WindowDrag
{
public:
    explicit WindowDrag(QWidget* window) : window_(window) {}

    // Takes a mouse press, move or release meant for the window: a press with any button but the
    // right one (left free for a context menu) starts a drag, a move shifts the window by the
    // cursor's travel on the screen, a release ends it. False for any other event.
    bool HandleMouse(QEvent* event);

private:
    QWidget* window_;
    bool dragging = false;
    std::int32_t dx = 0; // the last cursor position in screen coordinates
    std::int32_t dy = 0;
};

} // namespace platform
