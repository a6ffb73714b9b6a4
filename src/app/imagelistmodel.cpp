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

ImageListModel::ImageListModel(const TImageRecords& records, QObject* parent)
    : QAbstractTableModel(parent), records_(records)
{
    TranslateHeaders();
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
    if (!index.isValid() || row < 0 || static_cast<size_t>(row) >= records_.size())
        return {};
    const TMyRecord& record = records_[static_cast<size_t>(row)];
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case FilenameColumn:
            return record.FName;
        case SizeColumn:
            return SizeColumnText(record.FName);
        case StatusColumn:
            return record.FStatus;
        default:
            return {};
        }
    }
    if (role == Qt::DecorationRole && index.column() == FilenameColumn)
        return GetFileIcon(record.FName);
    if (role == Qt::ToolTipRole) {
        // A failed row's status explains itself; every other cell shows where the file is.
        if (index.column() == StatusColumn)
            return record.FReason.isEmpty() ? QVariant() : QVariant(record.FReason);
        return QFileInfo(record.FName).absoluteFilePath();
    }
    if (role == Qt::TextAlignmentRole && index.column() != FilenameColumn)
        return int(Qt::AlignCenter);
    return {};
}

QIcon ImageListModel::GetFileIcon(const QString& fileName) const
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

void ImageListModel::ImageListHazirla()
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

void ImageListModel::SetItemCount()
{
    const int count = static_cast<int>(records_.size());
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
}

void ImageListModel::RefreshRow(int row)
{
    if (row >= 0 && row < itemCount_)
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void ImageListModel::TranslateHeaders()
{
    titles_[FilenameColumn] = TranslateText("Filename");
    titles_[SizeColumn] = TranslateText("Size (bytes)");
    titles_[StatusColumn] = TranslateText("Status");
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}
