// Putting an enlarged image in place of the original or beside it as a copy without ever losing
// the original.
#pragma once

#include "batchoptions.h"

#include <QString>

// `path` when nothing exists there, else the first free "base (n).ext" beside it, n = 2, 3, ...
// Anything that exists counts as taken: a file, a folder or a link.
QString UniqueFileName(const QString& path);

// The outcome of placing one enlarged image. On failure `reason` says why, in the user's
// language, and where the original and the enlarged file are when that is not obvious.
struct TPlacement {
    bool ok = false;
    QString target; // where the enlarged image stands on success
    QString reason;
    bool taken = false; // the name was taken and was to be left as it is: nothing was placed
};

// Puts `enlarged` under the name of `original`. The enlarged file is first copied completely to a
// hidden file beside the original, with the original's permissions; only then does the original
// go to the trash (or, for DeletePermanently, get replaced by one atomic rename). A kill at any
// moment leaves the original in place or in the trash with the enlarged file beside its name.
TPlacement ReplaceOriginal(const QString& original, const QString& enlarged, TDisposal disposal);

// Saves `enlarged` into `folder` (ending with '/') under `name` (by default the file name of
// `original`), made unique; without `makeUnique` a taken name places nothing and says `taken`.
// The copy is written under a hidden name and renamed, so no partial file ever has a final name
// when the program is killed; the copy is not forced to the disk (the original is kept anyway).
TPlacement PlaceCopy(const QString& folder, const QString& original, const QString& enlarged,
                     const QString& name = {}, bool makeUnique = true);
