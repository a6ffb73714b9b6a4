// The batch list: one entry per image, in the order in which they were added.
#pragma once

#include <QString>
#include <vector>

struct TMyRecord {
    QString FName;   // the path as it was obtained
    QString FStatus; // status text of the batch; empty when added
    int FImageIndex = 0;
};

extern std::vector<TMyRecord> ImageRecords;
