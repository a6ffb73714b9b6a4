// The summary window of a finished batch: how many images, how long it took, how the disk space
// changed, which images failed and why, and a button that opens the folder the results went to.
#pragma once

#include "batch/batchsummary.h"
#include "platform/windowdrag.h"

#include <QDialog>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class ResultDialog : public QDialog
{
    Q_OBJECT

public:
    // `resultsFolder`: what "Open Folder Location..." opens (empty: nothing).
    ResultDialog(const TBatchSummary& summary, const QString& resultsFolder,
                 QWidget* parent = nullptr);

    // Shows "Compare the Last Image", which closes the window and leaves comparisonChosen().
    void offerComparison();
    bool comparisonChosen() const { return comparisonChosen_; }

protected:
    // Centred on the screen, not on the main window.
    void showEvent(QShowEvent* event) override;
    // The window moves when dragged by its body, its picture or any label.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QLabel* makeLabel(const char* name, int x, int row);
    void translate();
    void fill(const TBatchSummary& summary);
    // A row each for the failed, the aborted and the skipped images, only when not 0, below the
    // others, then the list of failures when there are any; the window grows to hold them, and
    // widens for a count that does not fit.
    void layOut();
    void openResultsFolder();

    TBatchSummary summary_;
    QString resultsFolder_;
    QLabel* picture_ = nullptr;
    QLabel* processedCaption_ = nullptr;
    QLabel* elapsedCaption_ = nullptr;
    QLabel* sizeCaption_ = nullptr; // "Savings on Disk Space:" or "Increase in Disk Space:"
    QLabel* processedCount_ = nullptr;
    QLabel* elapsedTime_ = nullptr;
    QLabel* sizeChange_ = nullptr;
    QLabel* failedCaption_ = nullptr;
    QLabel* failedCount_ = nullptr;
    QLabel* abortedCaption_ = nullptr;
    QLabel* abortedCount_ = nullptr;
    QLabel* skippedCaption_ = nullptr;
    QLabel* skippedCount_ = nullptr;
    QPlainTextEdit* failuresList_ = nullptr; // read-only, so its reasons can be copied
    QPushButton* openFolderButton_ = nullptr;
    QPushButton* compareButton_ = nullptr; // only where offered
    QPushButton* closeButton_ = nullptr;
    bool comparisonChosen_ = false;
    platform::WindowDrag drag_{this};
};

// Shows `dialog` modally, or hands it to the test hook while one is set.
void ShowResultDialog(ResultDialog& dialog);
// Test seam: while set, ShowResultDialog calls `hook` instead of showing the dialog.
void SetResultDialogHookForTesting(std::function<void(ResultDialog&)> hook);
