// The image list: one entry per image, in the order in which they were added.
#pragma once

#include <QString>
#include <vector>

struct TImageEntry {
    QString path;           // as it was obtained
    QString status;         // the batch's status text; empty when added
    bool completed = false; // enlarged by a batch; Start passes it over
    // Why its last batch failed it, or what its enlarged image lost (its metadata); else empty.
    QString reason;
};

// Row i of the list view shows entry i.
using TImageEntries = std::vector<TImageEntry>;
