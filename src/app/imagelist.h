// Filling and trimming the batch list: the supported-type test, the recursive folder scan, the
// names taken from drops and the command line, and the file facts the list view shows.
#pragma once

#include "imageentry.h"

#include <QElapsedTimer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <vector>

// The folder last chosen in a folder dialog; seeds the next one. Kept in memory only.
extern QString LastFolder;

// The name a listed file is known by when names are compared: absolute, without "." and ".."
// parts or doubled slashes. Links are not followed; the name as given is what the user sees.
QString ListedName(const QString& path);

// Names an addition left out, for the status bar.
struct TLeftOut {
    QStringList notImages; // neither a folder nor a file of a type the program takes
    int alreadyListed = 0;
    QString firstAlreadyListed;
};
// The status bar's words on what an addition left out; empty when it took everything.
QString LeftOutText(const TLeftOut& leftOut);

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

// Adds files to the image list, each name once: a name already listed is left out and counted.
// Every addition is made visible (item count, page caption, pending events); during a long scan
// this happens at most once per short interval, and always before events are processed, so
// whatever the user can see is current.
class ImageListFiller
{
public:
    explicit ImageListFiller(TImageEntries& entries) : records_(entries) {}

    // Read at each directory of a scan: whether to descend into subfolders.
    std::function<bool()> IncludeSubfolders;
    // Brings the views' item count and the page caption in step with the list.
    std::function<void()> ShowCount;

    // Scans `folderName` (and its subfolders while IncludeSubfolders holds) for supported
    // images, depth first, each folder in name order: its subfolders, then its images. Each
    // keeps the folder as its origin. A linked subfolder is scanned like any other.
    void AddFolder(const QString& folderName);

    // Dropped or command-line names: a folder is scanned, a supported file is appended as
    // written; then the addition is made visible. Returns the names that were neither, in their
    // order, for the caller to tell the user about.
    QStringList AddNames(const QStringList& names);

    // Makes room for `more` entries, so that a long list given at once is not copied as it grows.
    void Reserve(qsizetype more);
    // Appends `path` unless it is listed already; not made visible yet.
    bool Append(const QString& path, const QString& origin = {});
    // Appends an entry as it is, status and all, unless its file is listed already.
    bool AppendEntry(TImageEntry entry);
    // An entry about to go, or all of them: their names may be listed again.
    void Forget(const TImageEntry& entry);
    void ForgetAll();
    // The names additions since the last call left out for being listed already (notImages stays
    // empty: AddNames returns those); counting starts anew.
    TLeftOut TakeLeftOut();

    // Shows the count and caption now and lets pending events run.
    void MakeAdditionVisible();

private:
    struct ScanState;
    void AddAllFilesInDir(const QString& dirName, ScanState& state);
    void Added();

    TImageEntries& records_;
    QSet<QString> listed_; // ListedName of every entry
    std::uint64_t nextSerial_ = 1;
    TLeftOut leftOut_;
    QElapsedTimer sinceShown_;
    bool unshown_ = false;
};
