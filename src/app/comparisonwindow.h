// The comparison window: an image and its enlarged result one over the other, split by a divider
// the user moves, zoomed and panned together, with both pixel sizes and file sizes. The images
// are read off the user-interface thread; the window shows "Loading..." until they are there.
#pragma once

#include <QWidget>
#include <functional>

class ComparisonView;
class QButtonGroup;
class QHBoxLayout;
class QLabel;
class QPushButton;
struct TComparisonLoad;
template <typename T> class QFutureWatcher;

// A top-level window that deletes itself when closed. Its size and place are kept under the
// setting "ComparePlacement" through the two functions it is given.
class ComparisonWindow : public QWidget
{
    Q_OBJECT

public:
    ComparisonWindow(std::function<QString(const QString&)> readSetting,
                     std::function<void(const QString&, const QString&)> writeSetting,
                     QWidget* parent = nullptr);
    ~ComparisonWindow() override;

    // `before` drawn at `after`'s size by pixel repetition; the captions name the two sides
    // ("Original" / "Enlarged", or "Photo" / "Artwork" for two previews).
    void compare(const QString& beforePath, const QString& beforeCaption, const QString& afterPath,
                 const QString& afterCaption);
    // Only the result, with a note why the other side is missing.
    void showAlone(const QString& afterPath, const QString& afterCaption, const QString& note);

    // A text in place of the images, such as what is still being made.
    void showMessage(const QString& text);
    // The title, in place of "Compare" and the result's name.
    void setTitle(const QString& title);
    // A panel to the left of the images, first in the keyboard order; the window owns it.
    void setSidePanel(QWidget* panel);

    // True while the images are being read.
    bool loading() const;

private:
    void createActions();
    void load(const QString& beforePath, const QString& afterPath);
    // A read still running is forgotten: its result never arrives.
    void dropLoad();
    void onLoaded(const TComparisonLoad& load);
    void showZoom();
    QPointF zoomPoint() const;

    QString beforeCaption_;
    QString afterCaption_;
    QString beforePath_;
    QString afterPath_;
    ComparisonView* view_ = nullptr;
    QHBoxLayout* contentRow_ = nullptr;
    bool titleFixed_ = false;
    QButtonGroup* zoomButtons_ = nullptr;
    QPushButton* fitButton_ = nullptr;
    QLabel* zoomLabel_ = nullptr;
    QLabel* noteLabel_ = nullptr;
    QLabel* beforeInfo_ = nullptr;
    QLabel* afterInfo_ = nullptr;
    QLabel* hintLabel_ = nullptr;
    QFutureWatcher<TComparisonLoad>* watcher_ = nullptr;
};

// The captions and the note the program shows for an image and its result.
QString OriginalCaption();
QString EnlargedCaption();
// Why only the result is shown when the original was deleted for good.
QString DeletedOriginalNote();
