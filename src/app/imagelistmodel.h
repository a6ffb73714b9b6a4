// The image list and the model that shows it: it owns the entries, every change goes through it,
// and it tells its views and its owner when the count changes. Every file it lists gets the
// check once, in the background; a row shows what the check found until a batch takes it.
#pragma once

#include "imagecheck.h"
#include "imageentry.h"
#include "imagelist.h"

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

    explicit ImageListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const TImageEntries& entries() const { return entries_; }
    int count() const { return static_cast<int>(entries_.size()); }

    // Scans folders and takes dropped or given names; see ImageListFiller. Its IncludeSubfolders
    // is the owner's to set.
    ImageListFiller& filler() { return filler_; }
    // Files the user picked in a dialog, taken whatever their type.
    void appendFiles(const QStringList& paths);
    // An entry as another instance handed it over.
    void appendEntry(const TImageEntry& entry);
    // Files listed but not checked yet, or findings not shown yet.
    bool checking() const;
    // Takes back the check's verdict on files that have appeared or changed since, so the batch
    // judges them itself.
    void forgetChangedChecks();
    // Fails every row not enlarged whose file the check refused, with the check's reason, as the
    // batch would have failed it. Returns a flag per row: failed so.
    std::vector<char> failRefusedRows();
    // Removes the rows whose flag is set.
    void removeMarked(const std::vector<char>& marked);
    void clear();
    void setStatus(int row, const QString& status);
    // What a batch made of the row: its status, whether it is enlarged, and its reason or note.
    void setResult(int row, const QString& status, bool completed, const QString& reason);
    // Where a completed row's enlarged image and its original are (see TImageEntry).
    void setPlacement(int row, const QString& enlarged, TImageEntry::TOriginal original,
                      const QDateTime& placedAfter);

    // Re-reads the translated column titles.
    void translateHeaders();
    // Forgets the file-type icons so they are taken afresh from the desktop's icon theme.
    void forgetIcons();

signals:
    void countChanged(int count);
    // Rows now show that the check found their files missing or unreadable.
    void checkFailuresShown();

private:
    // Brings the rows the views know in step with the entries, and has new ones checked.
    void syncCount();
    void showFindings(const std::vector<TImageCheck::TResult>& results);
    // The row of the entry with this serial, or -1 when it has gone.
    int rowOfSerial(std::uint64_t serial) const;
    // The small icon of the file's type; one icon per type, not per row.
    QIcon fileIcon(const QString& fileName) const;

    TImageEntries entries_;
    ImageListFiller filler_{entries_};
    int itemCount_ = 0;
    QString titles_[ColumnCount];
    QFileIconProvider iconProvider_;
    QMimeDatabase mimeDatabase_;
    mutable QHash<QString, QIcon> iconsByType_;
    // Declared last, so destroyed first: its thread ends before what it reports to goes.
    TImageCheck check_;
};
