#include "imagelistmodel.h"

#include "i18n/translation.h"
#include "imagerecords.h"

ImageListModel::ImageListModel(QObject* parent) : QAbstractTableModel(parent)
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
    if (!index.isValid() || row < 0 || static_cast<size_t>(row) >= ImageRecords.size())
        return {};
    const TMyRecord& record = ImageRecords[static_cast<size_t>(row)];
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case FilenameColumn:
            return record.FName;
        case StatusColumn:
            return record.FStatus;
        default:
            return {};
        }
    }
    if (role == Qt::TextAlignmentRole && index.column() != FilenameColumn)
        return int(Qt::AlignCenter);
    return {};
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
    const int count = static_cast<int>(ImageRecords.size());
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
