#include "resultdialog.h"

#include "i18n/shownnumbers.h"
#include "i18n/translation.h"
#include "platform/dialogs.h"
#include "platform/shell.h"
#include "widgetkit.h"

#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

namespace
{

std::function<void(ResultDialog&)>& resultDialogHook()
{
    static std::function<void(ResultDialog&)> hook;
    return hook;
}

constexpr int captionX = 78;
constexpr int valueX = 250;
constexpr int baseWidth = 365;
constexpr int baseHeight = 151;
constexpr int contentWidth = 280;  // of the buttons and the list of failures
constexpr int failuresHeight = 96; // about six lines: enough to see that it scrolls
// Enough to read and copy; laying out a hundred thousand lines would hold the window for a second,
// and the status bar already names a reason they all share.
constexpr std::size_t listedFailures = 1000;

int rowY(int row)
{
    return scaleDimension(14 + row * 20);
}

} // namespace

ResultDialog::ResultDialog(const TBatchSummary& summary, const QString& resultsFolder,
                           QWidget* parent)
    : QDialog(parent), summary_(summary), resultsFolder_(resultsFolder)
{
    setObjectName(QStringLiteral("resultDialog"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setFixedSize(scaleDimension(baseWidth), scaleDimension(baseHeight));

    picture_ = new QLabel(this);
    picture_->setObjectName(QStringLiteral("picture"));
    picture_->setGeometry(scaleDimension(8), scaleDimension(8), scaleDimension(64),
                          scaleDimension(64));
    // The program's own picture, drawn from its vector form so it stays sharp at any scale.
    picture_->setPixmap(QIcon(QStringLiteral(":/pictures/grandora.svg"))
                            .pixmap(picture_->size(), picture_->devicePixelRatioF()));
    picture_->setAttribute(Qt::WA_TranslucentBackground);
    picture_->installEventFilter(this);

    processedCaption_ = makeLabel("processedCaption", captionX, 0);
    elapsedCaption_ = makeLabel("elapsedCaption", captionX, 1);
    sizeCaption_ = makeLabel("sizeCaption", captionX, 2);
    processedCount_ = makeLabel("processedCount", valueX, 0);
    elapsedTime_ = makeLabel("elapsedTime", valueX, 1);
    sizeChange_ = makeLabel("sizeChange", valueX, 2);
    failedCaption_ = makeLabel("failedCaption", captionX, 3);
    failedCount_ = makeLabel("failedCount", valueX, 3);
    abortedCaption_ = makeLabel("abortedCaption", captionX, 4);
    abortedCount_ = makeLabel("abortedCount", valueX, 4);
    skippedCaption_ = makeLabel("skippedCaption", captionX, 5);
    skippedCount_ = makeLabel("skippedCount", valueX, 5);

    openFolderButton_ =
        makeButton(this, "openFolderButton", "folder", scaleDimension(contentWidth));
    openFolderButton_->setGeometry(scaleDimension(captionX), scaleDimension(84),
                                   scaleDimension(contentWidth), scaleDimension(25));
    compareButton_ = new QPushButton(this);
    compareButton_->setObjectName(QStringLiteral("compareButton"));
    compareButton_->setIcon(namedIcon("preview"));
    compareButton_->hide();
    closeButton_ = new QPushButton(this);
    closeButton_->setObjectName(QStringLiteral("closeButton"));
    closeButton_->setGeometry(scaleDimension(captionX), scaleDimension(116),
                              scaleDimension(contentWidth), scaleDimension(25));
    // Made after the buttons: focus starts on the first button, whether or not the list shows.
    failuresList_ = new QPlainTextEdit(this);
    failuresList_->setObjectName(QStringLiteral("failuresList"));
    failuresList_->setReadOnly(true);
    // Ctrl+A and Ctrl+C work as well as the mouse, to paste the reasons into a report.
    failuresList_->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                           Qt::TextSelectableByKeyboard);
    failuresList_->hide();
    // Escape closes the window through QDialog's own key handling.
    connect(openFolderButton_, &QPushButton::clicked, this, &ResultDialog::openResultsFolder);
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::close);
    // The comparison is a window of its own, which this modal one would keep from the user.
    connect(compareButton_, &QPushButton::clicked, this, [this] {
        comparisonChosen_ = true;
        accept();
    });

    translate();
    fill(summary_);
}

QLabel* ResultDialog::makeLabel(const char* name, int x, int row)
{
    auto* label = new QLabel(this);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->move(scaleDimension(x), rowY(row));
    label->installEventFilter(this);
    return label;
}

void ResultDialog::translate()
{
    setWindowTitle(TranslateText("Result"));
    openFolderButton_->setText(TranslateText("Open Folder Location..."));
    closeButton_->setText(TranslateText("Close"));
    compareButton_->setText(TranslateText("Compare the Last Image"));
    processedCaption_->setText(TranslateText("Processed Image Files:"));
    elapsedCaption_->setText(TranslateText("Elapsed Time:"));
    failedCaption_->setText(TranslateText("Failed Image Files:"));
    abortedCaption_->setText(TranslateText("Aborted Image Files:"));
    skippedCaption_->setText(TranslateText("Skipped Image Files:"));
    for (QLabel* label :
         {processedCaption_, elapsedCaption_, failedCaption_, abortedCaption_, skippedCaption_}) {
        shrinkFontToFit(label, scaleDimension(165));
        label->adjustSize();
    }
}

void ResultDialog::fill(const TBatchSummary& summary)
{
    processedCount_->setText(ProcessedCountText(summary));
    elapsedTime_->setText(ElapsedText(summary.elapsedMs));
    const TSizeChange change = SizeChangeText(summary.totalInputBytes, summary.totalOutputBytes);
    sizeCaption_->setText(change.caption);
    sizeChange_->setText(change.value);
    shrinkFontToFit(sizeCaption_, scaleDimension(165));
    for (QLabel* label : {sizeCaption_, processedCount_, elapsedTime_, sizeChange_})
        label->adjustSize();
    sizeCaption_->setVisible(summary.totalOutputBytes != 0);
    sizeChange_->setVisible(summary.totalOutputBytes != 0);
    failuresList_->setPlainText(FailuresText(summary.failures, listedFailures));
    layOut();
}

void ResultDialog::offerComparison()
{
    compareButton_->show();
    layOut();
}

void ResultDialog::layOut()
{
    const TBatchSummary& summary = summary_;
    int row = 3;
    const auto place = [&](QLabel* caption, QLabel* value, int count) {
        caption->setVisible(count != 0);
        value->setVisible(count != 0);
        if (count == 0)
            return;
        value->setText(ShownNumber(count));
        value->adjustSize();
        caption->move(scaleDimension(captionX), rowY(row));
        value->move(scaleDimension(valueX), rowY(row));
        ++row;
    };
    place(failedCaption_, failedCount_, summary.failed);
    place(abortedCaption_, abortedCount_, summary.aborted);
    place(skippedCaption_, skippedCount_, summary.skipped);
    int extra = scaleDimension((row - 3) * 20);
    // "12 (5 in this run)" may not fit in some languages; the window widens, not the text
    // shrinks, since the figures are what the user came for.
    int width = scaleDimension(baseWidth);
    for (const QLabel* value : {processedCount_, elapsedTime_, sizeChange_})
        width = std::max(width, value->x() + value->width() + scaleDimension(8));
    const int innerWidth = width - scaleDimension(baseWidth - contentWidth);
    failuresList_->setVisible(!summary.failures.empty());
    if (!summary.failures.empty()) {
        failuresList_->setGeometry(scaleDimension(captionX), scaleDimension(80) + extra, innerWidth,
                                   scaleDimension(failuresHeight));
        extra += scaleDimension(failuresHeight + 8);
    }
    openFolderButton_->setGeometry(scaleDimension(captionX), scaleDimension(84) + extra, innerWidth,
                                   scaleDimension(25));
    if (!compareButton_->isHidden()) {
        compareButton_->setGeometry(scaleDimension(captionX), scaleDimension(116) + extra,
                                    innerWidth, scaleDimension(25));
        extra += scaleDimension(32);
    }
    closeButton_->setGeometry(scaleDimension(captionX), scaleDimension(116) + extra, innerWidth,
                              scaleDimension(25));
    setFixedSize(width, scaleDimension(baseHeight) + extra);
}

void ResultDialog::openResultsFolder()
{
    if (resultsFolder_.isEmpty())
        return;
    platform::ShellOpenFile(resultsFolder_, this, [this] {
        platform::MessageBox(this,
                             TranslateText("Nothing on this computer could open the folder. Its "
                                           "path, to copy:") +
                                 QStringLiteral("\n\n") + resultsFolder_,
                             TranslateText("WARNING"), platform::MB_ICONWARNING);
    });
}

void ResultDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (const QScreen* where = screen())
        move(where->availableGeometry().center() - rect().center());
}

bool ResultDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != openFolderButton_ && watched != compareButton_ && watched != closeButton_ &&
        drag_.HandleMouse(event))
        return true;
    return QDialog::eventFilter(watched, event);
}

void ResultDialog::mousePressEvent(QMouseEvent* event)
{
    drag_.HandleMouse(event);
}

void ResultDialog::mouseMoveEvent(QMouseEvent* event)
{
    drag_.HandleMouse(event);
}

void ResultDialog::mouseReleaseEvent(QMouseEvent* event)
{
    drag_.HandleMouse(event);
}

void ShowResultDialog(ResultDialog& dialog)
{
    if (resultDialogHook())
        resultDialogHook()(dialog);
    else
        dialog.exec();
}

void SetResultDialogHookForTesting(std::function<void(ResultDialog&)> hook)
{
    resultDialogHook() = std::move(hook);
}
