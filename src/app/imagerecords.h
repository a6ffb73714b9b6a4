// The batch list: one entry per image, in the order in which they were added.
#pragma once

#include <QString>
#include <vector>

struct TMyRecord {
    QString FName;   // the path as it was obtained
    QString FStatus; // status text of the batch; empty when added
    int FImageIndex = 0;
    bool FCompleted = false; // enlarged by a batch; Start passes it over
    // Why its last batch failed it, or what its enlarged image lost (its metadata); else empty.
    QString FReason;
};

// The list a batch works on; row i of the list view shows entry i. The main window owns it.
using TImageRecords = std::vector<TMyRecord>;
