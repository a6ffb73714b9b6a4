// The model behind the virtual image list: it keeps no rows of its own and answers every request
// from the list of images it is given.
#pragma once

#include "imagerecords.h"

#include <QAbstractTableModel>
#include <QFileIconProvider>
#include <QHash>
#include <QIcon>
#include <QMimeDatabase>

class ImageListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { FilenameColumn, SizeColumn, StatusColumn, ColumnCount };

    explicit ImageListModel(const TImageRecords& records, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Sets the item count to the length of the list.
    void SetItemCount();
    // Asks the view to fetch row `row` again.
    void RefreshRow(int row);
    // Re-reads the translated column titles.
    void TranslateHeaders();
    // Forgets the file-type icons so they are taken afresh from the desktop's icon theme.
    void ImageListHazirla();

private:
    // The small icon of the file's type; one icon per type, not per row.
    QIcon GetFileIcon(const QString& fileName) const;

    const TImageRecords& records_;
    int itemCount_ = 0;
    QString titles_[ColumnCount];
    QFileIconProvider iconProvider_;
    QMimeDatabase mimeDatabase_;
    mutable QHash<QString, QIcon> iconsByType_;
};
