#include "imagelistmodel.h"

#include "i18n/translation.h"
#include "imagelist.h"

#include <QFileInfo>
#include <QMimeType>
#include <algorithm>

namespace
{

// Icons for this many file types at most; a list holds few types, the bound only guards against
// a list of files with a thousand different suffixes.
constexpr qsizetype MaxCachedIconTypes = 256;

} // namespace

ImageListModel::ImageListModel(QObject* parent) : QAbstractTableModel(parent)
{
    filler_.ShowCount = [this] { syncCount(); };
    connect(&check_, &TImageCheck::Checked, this, &ImageListModel::showFindings);
    translateHeaders();
}

int ImageListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : itemCount_;
}

int ImageListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ImageListModel::data(const QModelIndex& index, int role) const
{
    const int row = index.row();
    if (!index.isValid() || row < 0 || static_cast<size_t>(row) >= entries_.size())
        return {};
    const TImageEntry& entry = entries_[static_cast<size_t>(row)];
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case FilenameColumn:
            return entry.path;
        case SizeColumn:
            return SizeColumnText(entry.path);
        case StatusColumn:
            // Until a batch takes the row, what the check found.
            return entry.status.isEmpty() ? CheckStatusText(entry.check) : entry.status;
        default:
            return {};
        }
    }
    if (role == Qt::DecorationRole && index.column() == FilenameColumn)
        return fileIcon(entry.path);
    if (role == Qt::ToolTipRole) {
        // A failed row's status explains itself; every other cell shows where the file is.
        if (index.column() == StatusColumn) {
            if (entry.status.isEmpty() && IsCheckFailure(entry.check))
                return CheckReason(entry);
            return entry.reason.isEmpty() ? QVariant() : QVariant(entry.reason);
        }
        return QFileInfo(entry.path).absoluteFilePath();
    }
    if (role == Qt::TextAlignmentRole && index.column() != FilenameColumn)
        return int(Qt::AlignCenter);
    return {};
}

QIcon ImageListModel::fileIcon(const QString& fileName) const
{
    const qsizetype slash = fileName.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString type = dot > slash ? fileName.mid(dot + 1).toLower() : QString();
    const auto found = iconsByType_.constFind(type);
    if (found != iconsByType_.constEnd())
        return *found;
    // A file that is gone has no icon; the type is then learnt from the next file that exists.
    const QFileInfo info(fileName);
    if (!info.exists())
        return {};
    // The theme's icon for the file's type, else its family's (image-x-generic), else the
    // desktop's own answer.
    const QMimeType mime = mimeDatabase_.mimeTypeForFile(info);
    QIcon icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName()));
    if (icon.isNull())
        icon = iconProvider_.icon(info);
    if (icon.isNull())
        return icon;
    if (iconsByType_.size() >= MaxCachedIconTypes)
        iconsByType_.clear();
    iconsByType_.insert(type, icon);
    return icon;
}

void ImageListModel::forgetIcons()
{
    iconsByType_.clear();
}

QVariant ImageListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return titles_[section];
    if (role == Qt::TextAlignmentRole && section != FilenameColumn)
        return int(Qt::AlignCenter);
    return {};
}

void ImageListModel::syncCount()
{
    const int count = static_cast<int>(entries_.size());
    if (count == itemCount_)
        return;
    if (count > itemCount_) {
        std::vector<TImageCheck::TFile> files;
        files.reserve(static_cast<size_t>(count - itemCount_));
        for (auto row = static_cast<size_t>(itemCount_); row < entries_.size(); ++row) {
            if (!entries_[row].completed)
                files.push_back({entries_[row].serial, entries_[row].path});
        }
        check_.Enqueue(std::move(files));
        beginInsertRows({}, itemCount_, count - 1);
        itemCount_ = count;
        endInsertRows();
    } else {
        beginResetModel();
        itemCount_ = count;
        endResetModel();
    }
    emit countChanged(count);
}

void ImageListModel::appendFiles(const QStringList& paths)
{
    filler_.Reserve(paths.size());
    for (const QString& path : paths)
        filler_.Append(path);
    filler_.MakeAdditionVisible();
}

void ImageListModel::appendEntry(const TImageEntry& entry)
{
    if (filler_.AppendEntry(entry))
        syncCount();
}

bool ImageListModel::checking() const
{
    return !check_.IsIdle();
}

void ImageListModel::forgetChangedChecks()
{
    for (int row = 0; row < count(); ++row) {
        TImageEntry& entry = entries_[static_cast<size_t>(row)];
        if (!entry.completed && IsCheckFailure(entry.check) && ChangedSinceCheck(entry)) {
            entry.check = TFileCheck::Pending;
            if (row < itemCount_)
                emit dataChanged(index(row, StatusColumn), index(row, StatusColumn));
        }
    }
}

std::vector<char> ImageListModel::failRefusedRows()
{
    std::vector<char> failed(entries_.size(), 0);
    const QString status = TranslateText("Failed");
    int first = count();
    int last = -1;
    for (int row = 0; row < count(); ++row) {
        TImageEntry& entry = entries_[static_cast<size_t>(row)];
        if (entry.completed || !IsCheckFailure(entry.check))
            continue;
        failed[static_cast<size_t>(row)] = 1;
        entry.status = status;
        entry.reason = CheckReason(entry);
        first = std::min(first, row);
        last = std::max(last, row);
    }
    // One signal for the lot: Start over 100,000 missing files must not repaint per row.
    last = std::min(last, itemCount_ - 1);
    if (first <= last)
        emit dataChanged(index(first, 0), index(last, ColumnCount - 1));
    return failed;
}

int ImageListModel::rowOfSerial(std::uint64_t serial) const
{
    // Entries are only ever appended, and removed in place: their serials rise with the row.
    const auto found = std::lower_bound(
        entries_.begin(), entries_.end(), serial,
        [](const TImageEntry& entry, std::uint64_t wanted) { return entry.serial < wanted; });
    return found != entries_.end() && found->serial == serial
               ? static_cast<int>(found - entries_.begin())
               : -1;
}

void ImageListModel::showFindings(const std::vector<TImageCheck::TResult>& results)
{
    int first = itemCount_;
    int last = -1;
    for (const TImageCheck::TResult& result : results) {
        const int row = rowOfSerial(result.serial);
        if (row < 0)
            continue;
        TImageEntry& entry = entries_[static_cast<size_t>(row)];
        // A row a batch has taken meanwhile shows the batch's own verdict; left unchecked, the
        // next batch judges it again itself.
        if (entry.completed || !entry.status.isEmpty())
            continue;
        entry.check = result.finding.check;
        entry.checkedSize = result.finding.size;
        entry.checkedTime = result.finding.time;
        if (IsCheckFailure(entry.check) && row < itemCount_) {
            first = std::min(first, row);
            last = std::max(last, row);
        }
    }
    // One signal for the lot: a list of 100,000 missing files must not repaint per row.
    if (first <= last) {
        emit dataChanged(index(first, StatusColumn), index(last, StatusColumn));
        emit checkFailuresShown();
    }
}

void ImageListModel::removeMarked(const std::vector<char>& marked)
{
    for (size_t row = 0; row < entries_.size() && row < marked.size(); ++row) {
        if (marked[row])
            filler_.Forget(entries_[row]);
    }
    DeleteRecordsAt(entries_, marked);
    syncCount();
}

void ImageListModel::clear()
{
    check_.Cancel();
    filler_.ForgetAll();
    entries_.clear();
    syncCount();
    forgetIcons();
}

void ImageListModel::setStatus(int row, const QString& status)
{
    if (row < 0 || row >= count())
        return;
    entries_[static_cast<size_t>(row)].status = status;
    if (row < itemCount_)
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void ImageListModel::setPlacement(int row, const QString& enlarged, TImageEntry::TOriginal original,
                                  const QDateTime& placedAfter)
{
    if (row < 0 || row >= count())
        return;
    TImageEntry& entry = entries_[static_cast<size_t>(row)];
    entry.enlarged = enlarged;
    entry.original = original;
    entry.placedAfter = placedAfter;
}

void ImageListModel::setResult(int row, const QString& status, bool completed,
                               const QString& reason)
{
    if (row < 0 || row >= count())
        return;
    TImageEntry& entry = entries_[static_cast<size_t>(row)];
    entry.completed = completed;
    entry.reason = reason;
    setStatus(row, status);
}

void ImageListModel::translateHeaders()
{
    titles_[FilenameColumn] = TranslateText("Filename");
    titles_[SizeColumn] = TranslateText("Size (bytes)");
    titles_[StatusColumn] = TranslateText("Status");
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}
