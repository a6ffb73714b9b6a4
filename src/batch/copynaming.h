// Where a copy goes and what it is called: the name pattern and its fields, and the folder below
// the destination that mirrors the folder an image was added from.
#pragma once

#include "batchoptions.h"

#include <QString>

// The fields a copy name may hold, as typed: "{name}, {scale}, {type}, {model}".
QString CopyNameFields();

// Why `pattern` cannot name copies, in the user's language; empty when it can.
QString CopyNameFault(const QString& pattern);

// The copy's file name: the pattern filled for `input`, then the extension of `savedName` (the
// name the result would have without a pattern, whose extension follows the output format). A
// name too long for the file system loses the end of its stem. The default pattern gives
// `savedName` itself.
QString CopyFileName(const TBatchOptions& options, const QString& input, const QString& savedName);

// The folder a copy of `input` goes to (ending with '/'), or why it may go nowhere.
struct TCopyFolder {
    QString folder;
    QString fault; // in the user's language; empty when `folder` holds
};
// `origin` is the folder the image was listed from, empty for an image added by itself. With the
// folder structure kept, the copy goes to <destination>/<origin's name>/<path below origin>/, the
// path taken from the real folders, so that a link never leads a copy out of the destination.
TCopyFolder CopyFolderOf(const TBatchOptions& options, const QString& input, const QString& origin);

// Creates the missing folders of `folder`, which lies below `destination`, and makes sure that
// what stands there now really is inside the destination. Returns why not, or nothing.
QString MakeCopyFolder(const QString& destination, const QString& folder);

// The reason an image fails when its copy would end up outside the destination.
QString LeavesDestinationReason(const QString& input);
