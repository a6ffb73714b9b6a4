// The image list: one entry per image, in the order in which they were added.
#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <vector>

// What the check made as a file was listed found. Only a file it could not use is passed over by
// Start; one it has not reached yet is judged by the batch itself.
enum class TFileCheck : std::uint8_t {
    Pending,    // not looked at yet
    Readable,   // there, and an image the program can read
    Missing,    // not there, or no regular file
    NotAnImage, // there, but no image the program can read
};

struct TImageEntry {
    QString path;           // as it was obtained
    QString status;         // the batch's status text; empty when added
    bool completed = false; // enlarged by a batch; Start passes it over
    // Why its last batch failed it, or what its enlarged image lost (its metadata); else empty.
    QString reason;
    // Where a completed image's enlarged version stands, and where its original went: kept where
    // it was (copies), to the trash at or after `placedAfter`, or deleted for good.
    enum class TOriginal : std::uint8_t { Kept, Trashed, Deleted };
    QString enlarged{};
    TOriginal original = TOriginal::Kept;
    QDateTime placedAfter{};
    TFileCheck check = TFileCheck::Pending;
    // The file as the check saw it: its size and modification time (ns); a file that has changed
    // since then is no longer what the check judged.
    std::int64_t checkedSize = -1;
    std::int64_t checkedTime = 0;
    // Tells a check's late report which entry it is about, whatever rows went meanwhile. Rises
    // with the position in the list.
    std::uint64_t serial = 0;
    // The folder it was listed from (added, dropped or named at the start), as given; empty for
    // a file added by itself. Copies may mirror the tree below it.
    QString origin{};
};

// Row i of the list view shows entry i.
using TImageEntries = std::vector<TImageEntry>;
