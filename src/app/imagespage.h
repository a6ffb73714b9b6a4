// The first page of the main window: the buttons that add images, the list of them with its keys
// and popup menu, and Next.
#pragma once

#include <QElapsedTimer>
#include <QWidget>

class ImageListModel;
class QAction;
class QKeyEvent;
class QMenu;
class QPushButton;
class TImageListView;

class ImagesPage : public QWidget
{
    Q_OBJECT

public:
    ImagesPage(ImageListModel& images, QWidget* parent = nullptr);

    // Captions in the loaded language; the status column as wide as its longest status.
    void translate();
    // Removing rows: off while a batch runs, which addresses the list by row.
    void setEditingEnabled(bool enabled);
    // Shows the running row, unless the user has just scrolled elsewhere.
    void followRow(int row);
    void focusList();
    // Room for a path of typical length beside the size and status columns.
    QSize firstStartSize() const;
    // The first selected row, or -1.
    int firstSelectedRow() const;

public slots:
    void addFiles();
    void addFolder();
    void clearList();

signals:
    void nextRequested();
    void countChanged(int count);
    // Words for the status bar: what the last addition left out.
    void statusMessage(const QString& text);
    // The user asks to see a completed row's original beside its enlarged image.
    void compareRequested(int row);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createMenu();
    // True when the list's key was handled and the view must not see it.
    bool handleListKey(const QKeyEvent* event);
    void openSelected();
    // Compare only offers itself for a row that has an enlarged image to show.
    void compareSelected();
    void showPropertiesOfSelected();
    void removeSelected();
    void fitStatusColumn();
    // Tells what the dialogs' additions left out.
    void reportLeftOut();

    ImageListModel& images_;
    QPushButton* addFilesButton_ = nullptr;
    QPushButton* addFolderButton_ = nullptr;
    TImageListView* imageList_ = nullptr;
    QPushButton* nextButton_ = nullptr;
    QMenu* listMenu_ = nullptr;
    QAction* openFileAction_ = nullptr;
    QAction* propertiesAction_ = nullptr;
    QAction* compareAction_ = nullptr;
    QAction* removeFromListAction_ = nullptr;
    QAction* clearListAction_ = nullptr;
    // When the user last scrolled the list; the running row is not pulled into view then.
    QElapsedTimer lastUserScroll_;
    // The status column has room for the check's longer words, from the first row that shows
    // them until the list is emptied.
    bool fitsCheckTexts_ = false;
};
