// Driving the main window by its controls' names, as the benchmarks that measure it do.
#pragma once

#include <QComboBox>
#include <QFile>
#include <QObject>
#include <cstdio>
#include <cstdlib>

// A control of the window by its name; without it there is nothing to measure.
template <typename T> T* child(QObject& parent, const char* name)
{
    T* found = parent.findChild<T*>(QLatin1String(name));
    if (!found) {
        std::fprintf(stderr, "the window has no %s\n", name);
        std::exit(1);
    }
    return found;
}

// Chooses the item that carries `value` in the named box, as the user does.
inline void pick(QObject& window, const char* box, int value)
{
    QComboBox* combo = child<QComboBox>(window, box);
    const int index = combo->findData(value);
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

// The user's own settings, trash and temporary folders stay out of a run under `work`. Called
// before the application object exists.
inline void KeepUserFoldersOut(const QString& work)
{
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
        qputenv(variable, QFile::encodeName(work + QLatin1Char('/') + QLatin1String(variable)));
}
