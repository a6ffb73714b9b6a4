// What a finished batch did, and its figures as the status bar and the result window show them.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <vector>

// An image that failed, and why.
struct TFailedImage {
    QString file;
    QString reason; // in the user's language
};

struct TBatchSummary {
    int completed = 0; // by this run
    // Every image of the list that has been enlarged, also by an earlier run that was stopped;
    // -1 when only this run is known.
    int completedInList = -1;
    int failed = 0;
    int aborted = 0;
    int skipped = 0; // their copies' names were taken and the options said to leave them
    std::int64_t totalInputBytes = 0;  // every image that was tried
    std::int64_t totalOutputBytes = 0; // the enlarged images placed
    std::uint32_t elapsedMs = 0;
    QString lastFailure;   // the reason of the last image that failed; empty when none did
    QString commonFailure; // the reason every failed image shares; empty when they differ
    int noted = 0;         // completed images whose result lost something, such as metadata
    QString lastNote;      // what the last of them lost
    QString advice;        // what would give better results next time; empty when nothing would
    std::vector<TFailedImage> failures; // in the order they failed
};

// The status bar's words at the end of a batch: "Completed", or how many failed and why; then
// what completed images lost and what would do better next time.
QString EndingText(const TBatchSummary& summary);

// `a` bytes as "1.5 KB", "4.77 MB", "1024 bytes": above 1 GiB in GB, above 1 MiB in MB, above
// 1 KiB in KB, else bytes; at most two decimals, trailing zeros and a bare separator dropped, the
// user's decimal separator, no digit grouping.
QString FormatSize(std::int64_t a);

// sizeDifference / totalInputBytes * 100 to the nearest integer, halves to the even neighbour;
// 0 when there was no input.
std::int64_t SizePercentOf(std::int64_t sizeDifference, std::int64_t totalInputBytes);

// Milliseconds as seconds with one decimal and the user's decimal separator, then " " and the
// translated "seconds"; from one minute on as minutes and seconds ("12 min 05 s").
QString ElapsedText(std::uint32_t milliseconds);

// "About 12 s left", "About 3 min 05 s left": the time still to go, in whole seconds rounded up.
QString TimeLeftText(std::uint32_t milliseconds);

// Whole seconds as "12 min 05 s".
QString MinutesAndSeconds(std::uint32_t seconds);

// The size row of the result window: the caption ("Savings on Disk Space:" or "Increase in Disk
// Space:", translated) and the value ("3 MB (300%)", or "0%" when nothing changed).
struct TSizeChange {
    QString caption;
    QString value;
};
TSizeChange SizeChangeText(std::int64_t totalInputBytes, std::int64_t totalOutputBytes);

// The count of enlarged images as the result window shows it: "12", or "12 (5 in this run)" when
// an earlier, stopped run enlarged some of them.
QString ProcessedCountText(const TBatchSummary& summary);

// The failed images, one a line: "name.png — reason"; past `limit` lines, a last one says how many
// more failed.
QString FailuresText(const std::vector<TFailedImage>& failures, std::size_t limit);
