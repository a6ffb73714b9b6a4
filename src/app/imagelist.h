// Filling and trimming the batch list: the supported-type test, the recursive folder scan, the
// names taken from drops and the command line, and the file facts the list view shows.
#pragma once

#include "imageentry.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

// The folder last chosen in a folder dialog; seeds the next one. Kept in memory only.
extern QString LastFolder;

// Appends one entry to `records`.
void AppendImage(TImageEntries& records, const QString& path);

// Removes the entries whose flag is set, keeping the order of the rest. One pass, so removing
// many rows of a long list costs no more than removing one.
void DeleteRecordsAt(TImageEntries& records, const std::vector<char>& marked);

// Orders names as people read them, whatever the locale: runs of digits by their value (img2
// before img10), letters without regard to case; names that differ only there, by case.
// Negative, 0 or positive, as a comparison does.
int CompareNaturally(const QString& a, const QString& b);

// The value with the digits grouped by the user's locale, no decimals.
QString FormatThousands(qint64 value);
QString SizeColumnText(const QString& path);

// The filter of the Add Files dialog in Qt's syntax ("Images (*.png *.jpg);;All (*)") from the
// "description|patterns|description|patterns" form. Patterns match in any case, as they do on
// the file systems the filter was written for, and "*.*" means every file.
QString QtFileFilter(const QString& filter);

// Adds files to the image list. Every addition is made visible (item count, page caption,
// pending events); during a long scan this happens at most once per short
// interval, and always before events are processed, so whatever the user can see is current.
class ImageListFiller
{
public:
    explicit ImageListFiller(TImageEntries& entries) : records_(entries) {}

    // Read at each directory of a scan: whether to descend into subfolders.
    std::function<bool()> IncludeSubfolders;
    // Brings the views' item count and the page caption in step with the list.
    std::function<void()> ShowCount;

    // Scans `folderName` (and its subfolders while IncludeSubfolders holds) for supported
    // images, depth first, each folder in name order: its subfolders, then its images.
    void AddFolder(const QString& folderName);

    // Dropped or command-line names: a folder is scanned, a supported file is appended as
    // written; then the addition is made visible. Returns the names that were neither, in their
    // order, for the caller to tell the user about.
    QStringList AddNames(const QStringList& names);

    // Shows the count and caption now and lets pending events run.
    void MakeAdditionVisible();

private:
    struct ScanState;
    void AddAllFilesInDir(const QString& dirName, ScanState& state);
    void Added();

    TImageEntries& records_;
    QElapsedTimer sinceShown_;
    bool unshown_ = false;
};
