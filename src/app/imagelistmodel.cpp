#include "imagelistmodel.h"

#include "i18n/translation.h"
#include "imagelist.h"

#include <QFileInfo>
#include <QMimeType>

namespace
{

// Icons for this many file types at most; a list holds few types, the bound only guards against
// a list of files with a thousand different suffixes.
constexpr qsizetype MaxCachedIconTypes = 256;

} // namespace

ImageListModel::ImageListModel(QObject* parent) : QAbstractTableModel(parent)
{
    filler_.ShowCount = [this] { syncCount(); };
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
            return entry.status;
        default:
            return {};
        }
    }
    if (role == Qt::DecorationRole && index.column() == FilenameColumn)
        return fileIcon(entry.path);
    if (role == Qt::ToolTipRole) {
        // A failed row's status explains itself; every other cell shows where the file is.
        if (index.column() == StatusColumn)
            return entry.reason.isEmpty() ? QVariant() : QVariant(entry.reason);
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
    for (const QString& path : paths)
        AppendImage(entries_, path);
    filler_.MakeAdditionVisible();
}

void ImageListModel::appendEntry(const TImageEntry& entry)
{
    entries_.push_back(entry);
    syncCount();
}

void ImageListModel::removeMarked(const std::vector<char>& marked)
{
    DeleteRecordsAt(entries_, marked);
    syncCount();
}

void ImageListModel::clear()
{
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
