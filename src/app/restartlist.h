// The image list handed to the instance that a language change starts: written to a private file
// that the new instance is told about on its command line, reads and deletes.
#pragma once

#include "imageentry.h"

#include <QString>
#include <QStringList>
#include <optional>

// The option that names the file; it only counts as the first argument, followed by a file of
// RestartListPrefix in the private temporary folder.
inline constexpr char RestartListOption[] = "--restore-list";
inline constexpr char RestartListPrefix[] = "restart-list-";

// What the new instance gets back: the images in order (enlarged ones marked) and the page.
struct TRestartList {
    TImageEntries images; // path, completed and origin only
    int page = 0;
};

// Writes `images` and `page` into a new file readable by this user only in `folder` (ending
// with '/') and returns the arguments that hand it to a new instance. Raises platform::OSError
// when it cannot be written.
QStringList WriteRestartList(const TImageEntries& images, int page, const QString& folder);

// The start's arguments split into the restart list's file (empty when none) and the names to
// add. Anything that is not exactly the option followed by a file of ours in `folder` is a name.
struct TStartArguments {
    QString restartList;
    QStringList names;
};
TStartArguments ParseStartArguments(const QStringList& arguments, const QString& folder);

// Reads the file and deletes it; nothing when it is missing or not one of ours. A list that an
// earlier version wrote, without origins, reads too.
std::optional<TRestartList> TakeRestartList(const QString& path);
