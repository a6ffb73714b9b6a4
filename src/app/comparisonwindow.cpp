#include "comparisonwindow.h"

#include "batch/batchsummary.h"
#include "batch/outputcheck.h"
#include "comparisonview.h"
#include "i18n/shownnumbers.h"
#include "i18n/translation.h"
#include "placementkeeper.h"
#include "widgetkit.h"

#include <QAction>
#include <QButtonGroup>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QPromise>
#include <QPushButton>
#include <QThreadPool>
#include <QVBoxLayout>
#include <cmath>
#include <memory>

// One image as read for the window: its pixels as shown, and its file's size.
struct TLoadedImage {
    QImage pixels;
    qint64 fileBytes = 0;
};

struct TComparisonLoad {
    TLoadedImage before;
    TLoadedImage after;
};

namespace
{

// A file's pixels as stored, and the turn its metadata asks for when shown.
struct TStoredImage {
    QImage pixels;
    QImageIOHandler::Transformations turn = QImageIOHandler::TransformationNone;
    qint64 fileBytes = 0;
};

TStoredImage readStored(const QString& path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    TStoredImage stored;
    stored.turn = reader.transformation();
    stored.pixels = reader.read();
    stored.fileBytes = QFileInfo(path).size();
    return stored;
}

bool swapsSides(QImageIOHandler::Transformations turn)
{
    return turn & QImageIOHandler::TransformationRotate90;
}

// The turn to show a result with. A result that lost its original's orientation in the
// metadata still has the original's pixel grid: it is turned as the original is, unless it is
// already upright (it has the original's shape turned).
QImageIOHandler::Transformations resultTurn(const TStoredImage& before, const TStoredImage& after)
{
    if (after.turn != QImageIOHandler::TransformationNone || before.pixels.isNull() ||
        after.pixels.isNull() || !swapsSides(before.turn))
        return after.turn != QImageIOHandler::TransformationNone ? after.turn : before.turn;
    const double storedShape = double(before.pixels.width()) / before.pixels.height();
    const double afterShape = double(after.pixels.width()) / after.pixels.height();
    const bool sameGrid =
        std::abs(afterShape / storedShape - 1) < std::abs(afterShape * storedShape - 1);
    return sameGrid ? before.turn : QImageIOHandler::TransformationNone;
}

TLoadedImage shown(TStoredImage stored, QImageIOHandler::Transformations turn)
{
    QImage& image = stored.pixels;
    if (image.isNull())
        return {};
    // The formats QPainter draws from as they are; any other would be converted whole at every
    // paint, which a large result cannot afford.
    image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                            : QImage::Format_RGB32);
    // Mirrored first, then turned, as the orientation tag means it.
    if (turn & (QImageIOHandler::TransformationMirror | QImageIOHandler::TransformationFlip))
        image.mirror(turn & QImageIOHandler::TransformationMirror,
                     turn & QImageIOHandler::TransformationFlip);
    if (swapsSides(turn))
        image = image.transformed(QTransform().rotate(90));
    return {image, stored.fileBytes};
}

QString infoText(const QString& caption, const TLoadedImage& image)
{
    return FillTemplate(TranslateText("%s: %s x %s, %s"),
                        {caption, ShownNumber(image.pixels.width()),
                         ShownNumber(image.pixels.height()), FormatSize(image.fileBytes)});
}

QString cannotReadText(const QString& caption, const QString& path)
{
    return FillTemplate(TranslateText("%s cannot be read: %s"),
                        {caption, QDir::toNativeSeparators(path)});
}

} // namespace

QString OriginalCaption()
{
    return TranslateText("Original");
}

QString EnlargedCaption()
{
    return TranslateText("Enlarged");
}

QString DeletedOriginalNote()
{
    return TranslateText("The original was deleted permanently; only the enlarged image is shown.");
}

ComparisonWindow::ComparisonWindow(std::function<QString(const QString&)> readSetting,
                                   std::function<void(const QString&, const QString&)> writeSetting,
                                   QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("comparisonWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(TranslateText("Compare"));
    // Results are far larger than Qt decodes by default.
    AllowLargeImages();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* bar = makeBar(this, "zoomBar", scaleDimension(34));
    auto* barLayout = static_cast<QHBoxLayout*>(bar->layout());
    zoomButtons_ = new QButtonGroup(this);
    const struct {
        const char* name;
        int percent; // 0: fit
    } zooms[] = {
        {"fitButton", 0}, {"zoom100Button", 100}, {"zoom200Button", 200}, {"zoom400Button", 400}};
    for (const auto& zoom : zooms) {
        auto* button = new QPushButton(bar);
        button->setObjectName(QLatin1String(zoom.name));
        button->setCheckable(true);
        button->setAutoDefault(false);
        zoomButtons_->addButton(button, zoom.percent);
        barLayout->addWidget(button);
    }
    fitButton_ = static_cast<QPushButton*>(zoomButtons_->button(0));
    fitButton_->setText(TranslateText("&Fit"));
    zoomButtons_->button(100)->setText(TranslateText("&100%"));
    zoomButtons_->button(200)->setText(TranslateText("&200%"));
    zoomButtons_->button(400)->setText(TranslateText("&400%"));
    zoomLabel_ = new QLabel(bar);
    zoomLabel_->setObjectName(QStringLiteral("zoomLabel"));
    zoomLabel_->setMinimumWidth(scaleDimension(48));
    zoomLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    barLayout->addWidget(zoomLabel_);
    barLayout->addStretch(1);
    layout->addWidget(bar);

    noteLabel_ = new QLabel(this);
    noteLabel_->setObjectName(QStringLiteral("noteLabel"));
    noteLabel_->setTextFormat(Qt::PlainText);
    noteLabel_->setWordWrap(true);
    noteLabel_->setMargin(scaleDimension(6));
    noteLabel_->setAutoFillBackground(true);
    QPalette notePalette = noteLabel_->palette();
    notePalette.setColor(QPalette::Window, QColor(0xff, 0xf1, 0xc2));
    notePalette.setColor(QPalette::WindowText, QColor(0x3d, 0x30, 0x00));
    noteLabel_->setPalette(notePalette);
    noteLabel_->hide();
    layout->addWidget(noteLabel_);

    view_ = new ComparisonView(this);
    contentRow_ = new QHBoxLayout;
    contentRow_->setContentsMargins(0, 0, 0, 0);
    contentRow_->addWidget(view_, 1);
    layout->addLayout(contentRow_, 1);

    auto* infoRow = new QHBoxLayout;
    infoRow->setContentsMargins(scaleDimension(8), scaleDimension(4), scaleDimension(8), 0);
    beforeInfo_ = new QLabel(this);
    beforeInfo_->setObjectName(QStringLiteral("beforeInfo"));
    afterInfo_ = new QLabel(this);
    afterInfo_->setObjectName(QStringLiteral("afterInfo"));
    for (QLabel* info : {beforeInfo_, afterInfo_}) {
        info->setTextFormat(Qt::PlainText);
        info->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // The row keeps its height while the sizes are not known yet, so the image does not jump.
        info->setMinimumHeight(info->fontMetrics().height());
    }
    infoRow->addWidget(beforeInfo_);
    infoRow->addStretch(1);
    infoRow->addWidget(afterInfo_);
    layout->addLayout(infoRow);

    hintLabel_ = new QLabel(this);
    hintLabel_->setObjectName(QStringLiteral("hintLabel"));
    hintLabel_->setTextFormat(Qt::PlainText);
    hintLabel_->setWordWrap(true);
    hintLabel_->setContentsMargins(scaleDimension(8), scaleDimension(2), scaleDimension(8),
                                   scaleDimension(4));
    hintLabel_->setForegroundRole(QPalette::PlaceholderText);
    hintLabel_->setText(
        TranslateText("Divider: drag it, click where it should go, or press Left/Right. "
                      "Pan: drag the image, drag with the middle button, or scroll. "
                      "Zoom: Ctrl+wheel or +/-."));
    layout->addWidget(hintLabel_);
    view_->setAccessibleDescription(hintLabel_->text());

    setTabOrder(view_, fitButton_);
    setTabOrder(fitButton_, zoomButtons_->button(100));
    setTabOrder(zoomButtons_->button(100), zoomButtons_->button(200));
    setTabOrder(zoomButtons_->button(200), zoomButtons_->button(400));
    view_->setFocus();

    connect(zoomButtons_, &QButtonGroup::idClicked, this, [this](int percent) {
        if (percent == 0)
            view_->fitToView();
        else
            view_->setZoom(percent / 100.0);
    });
    connect(view_, &ComparisonView::zoomChanged, this, &ComparisonWindow::showZoom);
    createActions();

    auto* placement = new PlacementKeeper(this, QStringLiteral("ComparePlacement"),
                                          std::move(readSetting), std::move(writeSetting));
    placement->restore(QSize(scaleDimension(960), scaleDimension(720)));
    showZoom();
}

ComparisonWindow::~ComparisonWindow()
{
    // A read still running finds nobody waiting: its result is dropped with the future.
    if (watcher_)
        watcher_->future().cancel();
}

void ComparisonWindow::createActions()
{
    const auto add = [this](QList<QKeySequence> keys, auto handler) {
        // A key bound twice would be ambiguous, and Qt triggers neither binding then.
        QList<QKeySequence> unique;
        for (const QKeySequence& key : keys)
            if (!unique.contains(key))
                unique << key;
        auto* action = new QAction(this);
        action->setShortcuts(unique);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        connect(action, &QAction::triggered, this, handler);
    };
    add({QKeySequence(Qt::Key_Escape)}, [this] { close(); });
    QList<QKeySequence> zoomIn = {QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal),
                                  QKeySequence(Qt::CTRL | Qt::Key_Equal)};
    zoomIn += QKeySequence::keyBindings(QKeySequence::ZoomIn);
    add(zoomIn, [this] { view_->zoomBy(1, zoomPoint()); });
    QList<QKeySequence> zoomOut = {QKeySequence(Qt::Key_Minus)};
    zoomOut += QKeySequence::keyBindings(QKeySequence::ZoomOut);
    add(zoomOut, [this] { view_->zoomBy(-1, zoomPoint()); });
    // Left and Right belong to the view (the divider) and to the zoom choices (the next choice),
    // whichever has the focus.
}

QPointF ComparisonWindow::zoomPoint() const
{
    // At the pointer when it is over the image, else about the middle.
    const QPoint cursor = view_->mapFromGlobal(QCursor::pos());
    if (view_->rect().contains(cursor))
        return cursor;
    return QPointF(view_->width() / 2.0, view_->height() / 2.0);
}

void ComparisonWindow::compare(const QString& beforePath, const QString& beforeCaption,
                               const QString& afterPath, const QString& afterCaption)
{
    beforeCaption_ = beforeCaption;
    afterCaption_ = afterCaption;
    view_->setCaptions(beforeCaption, afterCaption);
    noteLabel_->hide();
    load(beforePath, afterPath);
}

void ComparisonWindow::showAlone(const QString& afterPath, const QString& afterCaption,
                                 const QString& note)
{
    beforeCaption_.clear();
    afterCaption_ = afterCaption;
    view_->setCaptions(QString(), afterCaption);
    noteLabel_->setText(note);
    noteLabel_->setVisible(!note.isEmpty());
    load(QString(), afterPath);
}

void ComparisonWindow::showMessage(const QString& text)
{
    dropLoad();
    beforeInfo_->clear();
    afterInfo_->clear();
    noteLabel_->hide();
    view_->showMessage(text);
    showZoom();
}

void ComparisonWindow::setTitle(const QString& title)
{
    titleFixed_ = true;
    setWindowTitle(title);
}

void ComparisonWindow::setSidePanel(QWidget* panel)
{
    contentRow_->insertWidget(0, panel);
    setTabOrder(panel, view_);
}

bool ComparisonWindow::loading() const
{
    return watcher_ != nullptr;
}

void ComparisonWindow::load(const QString& beforePath, const QString& afterPath)
{
    beforePath_ = beforePath;
    afterPath_ = afterPath;
    if (!titleFixed_)
        setWindowTitle(TranslateText("Compare") + QStringLiteral(" \u2013 ") +
                       QFileInfo(afterPath).fileName());
    beforeInfo_->clear();
    afterInfo_->clear();
    view_->showMessage(TranslateText("Loading..."));
    showZoom();
    dropLoad();
    // The watcher is the window's child: a result that arrives after the window is gone is
    // never delivered.
    auto promise = std::make_shared<QPromise<TComparisonLoad>>();
    watcher_ = new QFutureWatcher<TComparisonLoad>(this);
    QFutureWatcher<TComparisonLoad>* watcher = watcher_;
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        if (watcher != watcher_ || watcher->future().resultCount() == 0)
            return;
        watcher_ = nullptr;
        watcher->deleteLater();
        onLoaded(watcher->future().result());
    });
    watcher->setFuture(promise->future());
    promise->start();
    QThreadPool::globalInstance()->start([promise, beforePath, afterPath] {
        TComparisonLoad load;
        if (!promise->isCanceled()) {
            const TStoredImage after = readStored(afterPath);
            const TStoredImage before = beforePath.isEmpty() || promise->isCanceled()
                                            ? TStoredImage()
                                            : readStored(beforePath);
            load.after = shown(after, resultTurn(before, after));
            load.before = shown(before, before.turn);
            promise->addResult(std::move(load));
        }
        promise->finish();
    });
}

void ComparisonWindow::dropLoad()
{
    if (!watcher_)
        return;
    watcher_->future().cancel();
    watcher_->disconnect(this);
    watcher_->deleteLater();
    watcher_ = nullptr;
}

void ComparisonWindow::onLoaded(const TComparisonLoad& load)
{
    if (load.after.pixels.isNull()) {
        view_->showMessage(cannotReadText(afterCaption_, afterPath_));
        return;
    }
    afterInfo_->setText(infoText(afterCaption_, load.after));
    if (beforePath_.isEmpty()) {
        view_->showAlone(load.after.pixels);
    } else if (load.before.pixels.isNull()) {
        view_->showAlone(load.after.pixels);
        noteLabel_->setText(cannotReadText(beforeCaption_, beforePath_));
        noteLabel_->show();
    } else {
        beforeInfo_->setText(infoText(beforeCaption_, load.before));
        view_->showPair(load.before.pixels, load.after.pixels);
    }
}

void ComparisonWindow::showZoom()
{
    const double zoom = view_->zoom();
    if (!view_->message().isEmpty()) {
        zoomLabel_->clear(); // nothing to zoom yet
        return;
    }
    zoomLabel_->setText(FillTemplate(TranslateText("%s%"), {ShownNumber(std::lround(zoom * 100))}));
    int checked = -1;
    if (view_->fitting())
        checked = 0;
    for (int percent : {100, 200, 400})
        if (checked < 0 && std::abs(zoom * 100 - percent) < 1e-6)
            checked = percent;
    if (checked >= 0) {
        zoomButtons_->button(checked)->setChecked(true);
    } else if (QAbstractButton* current = zoomButtons_->checkedButton()) {
        // A zoom between the choices checks none of them.
        zoomButtons_->setExclusive(false);
        current->setChecked(false);
        zoomButtons_->setExclusive(true);
    }
}
