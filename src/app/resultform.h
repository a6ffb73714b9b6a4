// The summary window of a finished batch: how many images, how long it took, how the disk space
// changed, and a button that opens the folder the results went to.
#pragma once

#include "platform/windowdrag.h"

#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;

class TFormResult : public QDialog
{
    Q_OBJECT

public:
    // `resultsFolder` answers, when "Open Folder Location..." is clicked, which folder to open
    // (empty: nothing to open).
    TFormResult(QWidget* parent, std::function<QString()> resultsFolder);

    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;  // "Processed Image Files:"
    QLabel* Label2 = nullptr;  // "Elapsed Time:"
    QLabel* Label3 = nullptr;  // "Savings on Disk Space:" or "Increase in Disk Space:"
    QLabel* Label4 = nullptr;  // the count
    QLabel* Label5 = nullptr;  // the time
    QLabel* Label6 = nullptr;  // the size change
    QLabel* Label7 = nullptr;  // "Failed Image Files:"
    QLabel* Label8 = nullptr;  // how many failed
    QLabel* Label9 = nullptr;  // "Aborted Image Files:"
    QLabel* Label10 = nullptr; // how many were aborted
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

    // Shows a row for the failed and one for the aborted images, each only when not 0, below
    // the others; the window grows to hold them.
    void ShowOtherCounts(int failed, int aborted);

public slots:
    void Button1Click();
    void Button2Click();

protected:
    // Centred on the screen, not on the main window.
    void showEvent(QShowEvent* event) override;
    // The window moves when dragged by its body, its picture or any label.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void FormCreate();
    int ScaleDimension(int x) const;

    std::function<QString()> resultsFolder_;
    platform::WindowDrag drag_{this};
};

// Shows `form` modally, or hands it to the test hook while one is set.
void ShowResultWindow(TFormResult& form);
// Test seam: while set, ShowResultWindow calls `hook` instead of showing the window.
void SetResultWindowHookForTesting(std::function<void(TFormResult&)> hook);
