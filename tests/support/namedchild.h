// Widgets, actions and timers found by their object names, as the tests reach them.
#pragma once

#include <QObject>
#include <stdexcept>
#include <string>

// A named child of `parent`; a test that cannot find one fails instead of crashing.
template <typename T> T* child(const QObject& parent, const char* name)
{
    T* found = parent.findChild<T*>(QLatin1String(name));
    if (!found)
        throw std::runtime_error(std::string("no child named ") + name);
    return found;
}
