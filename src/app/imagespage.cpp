#include "imagespage.h"

#include "batch/imageformats.h"
#include "i18n/translation.h"
#include "imagecheck.h"
#include "imagelist.h"
#include "imagelistmodel.h"
#include "imagelistview.h"
#include "platform/dialogs.h"
#include "platform/shell.h"
#include "widgetkit.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

ImagesPage::ImagesPage(ImageListModel& images, QWidget* parent) : QWidget(parent), images_(images)
{
    setObjectName(QStringLiteral("imagesPage"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    QWidget* top = makeBar(this, "addBar", 33);
    addFilesButton_ = makeButton(top, "addFilesButton", "add", 180);
    addFolderButton_ = makeButton(top, "addFolderButton", "folder_add", 180);
    top->layout()->addWidget(addFilesButton_);
    top->layout()->addWidget(addFolderButton_);
    static_cast<QHBoxLayout*>(top->layout())->addStretch();
    layout->addWidget(top);

    imageList_ = new TImageListView(this);
    imageList_->setObjectName(QStringLiteral("imageList"));
    QFont listFont(QStringLiteral("Tahoma"));
    listFont.setPixelSize(16);
    imageList_->setFont(listFont);
    imageList_->setModel(&images_);
    imageList_->setShowGrid(true);
    imageList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    imageList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    imageList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    imageList_->setWordWrap(false);
    // The end of a long path tells rows apart; its middle is what can go.
    imageList_->setTextElideMode(Qt::ElideMiddle);
    // Tab leaves the list for the next control; the arrow keys move between rows.
    imageList_->setTabKeyNavigation(false);
    imageList_->setContextMenuPolicy(Qt::CustomContextMenu);
    imageList_->verticalHeader()->hide();
    imageList_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    imageList_->verticalHeader()->setDefaultSectionSize(QFontMetrics(listFont).height() + 4);
    QHeaderView* header = imageList_->horizontalHeader();
    header->setSectionResizeMode(ImageListModel::FilenameColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(ImageListModel::SizeColumn, QHeaderView::Fixed);
    header->setSectionResizeMode(ImageListModel::StatusColumn, QHeaderView::Fixed);
    header->resizeSection(ImageListModel::SizeColumn, 150);
    header->resizeSection(ImageListModel::StatusColumn, 100);
    header->setHighlightSections(false);
    header->setFont(font()); // the 16-pixel text is for the rows only
    imageList_->installEventFilter(this);
    lastUserScroll_.invalidate();
    connect(imageList_->verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
            [this] { lastUserScroll_.start(); });
    layout->addWidget(imageList_, 1);

    QWidget* bottom = makeBar(this, "nextBar", 35);
    nextButton_ = makeButton(bottom, "nextButton", "next", 134);
    nextButton_->setLayoutDirection(Qt::RightToLeft); // icon on the right side
    static_cast<QHBoxLayout*>(bottom->layout())->addStretch();
    bottom->layout()->addWidget(nextButton_);
    layout->addWidget(bottom);

    createMenu();
    connect(addFilesButton_, &QPushButton::clicked, this, &ImagesPage::addFiles);
    connect(addFolderButton_, &QPushButton::clicked, this, &ImagesPage::addFolder);
    connect(imageList_, &QAbstractItemView::doubleClicked, this, &ImagesPage::openSelected);
    connect(nextButton_, &QPushButton::clicked, this, &ImagesPage::nextRequested);
    connect(&images_, &ImageListModel::countChanged, this, &ImagesPage::countChanged);
    connect(&images_, &ImageListModel::checkFailuresShown, this, [this] {
        if (!fitsCheckTexts_) {
            fitsCheckTexts_ = true;
            fitStatusColumn();
        }
    });
    connect(&images_, &ImageListModel::countChanged, this, [this](int count) {
        if (count == 0 && fitsCheckTexts_) {
            fitsCheckTexts_ = false;
            fitStatusColumn();
        }
    });
}

void ImagesPage::createMenu()
{
    listMenu_ = new QMenu(this);
    listMenu_->setObjectName(QStringLiteral("imageListMenu"));
    const auto action = [this](const char* name, const char* icon) {
        QAction* item = listMenu_->addAction(QString());
        item->setObjectName(QLatin1String(name));
        if (icon)
            item->setIcon(namedIcon(icon));
        return item;
    };
    openFileAction_ = action("openFileAction", nullptr);
    propertiesAction_ = action("propertiesAction", nullptr);
    compareAction_ = action("compareAction", nullptr);
    // Shown beside the item; the key itself is handled by the list.
    compareAction_->setShortcut(QKeySequence(Qt::Key_Space));
    compareAction_->setShortcutContext(Qt::WidgetShortcut);
    listMenu_->addSeparator();
    removeFromListAction_ = action("removeFromListAction", "delete");
    // Shown beside the item; the key itself is handled by the list.
    removeFromListAction_->setShortcut(QKeySequence::Delete);
    removeFromListAction_->setShortcutContext(Qt::WidgetShortcut);
    clearListAction_ = action("clearListAction", "clear");
    connect(openFileAction_, &QAction::triggered, this, &ImagesPage::openSelected);
    connect(propertiesAction_, &QAction::triggered, this, &ImagesPage::showPropertiesOfSelected);
    connect(compareAction_, &QAction::triggered, this, &ImagesPage::compareSelected);
    connect(listMenu_, &QMenu::aboutToShow, this, [this] {
        const int row = firstSelectedRow();
        compareAction_->setEnabled(row >= 0 && row < images_.count() &&
                                   !images_.entries()[static_cast<size_t>(row)].enlarged.isEmpty());
    });
    connect(removeFromListAction_, &QAction::triggered, this, &ImagesPage::removeSelected);
    connect(clearListAction_, &QAction::triggered, this, &ImagesPage::clearList);
    connect(imageList_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        listMenu_->popup(imageList_->viewport()->mapToGlobal(pos));
    });
}

void ImagesPage::translate()
{
    addFilesButton_->setText(TranslateText("&Add Files..."));
    addFolderButton_->setText(TranslateText("Add F&older..."));
    nextButton_->setText(TranslateText("&Next"));
    images_.translateHeaders();
    imageList_->SetEmptyHint(
        FillTemplate(TranslateText("Drop images or folders here, or use %s / %s"),
                     {WithoutAccelerator(TranslateText("&Add Files...")),
                      WithoutAccelerator(TranslateText("Add F&older..."))}));
    openFileAction_->setText(TranslateText("&Open File"));
    propertiesAction_->setText(TranslateText("&Properties"));
    compareAction_->setText(TranslateText("Co&mpare"));
    removeFromListAction_->setText(TranslateText("&Delete"));
    clearListAction_->setText(TranslateText("&Clear"));
    fitStatusColumn();
}

void ImagesPage::fitStatusColumn()
{
    const QFontMetrics rows(imageList_->font());
    const QFontMetrics title(imageList_->horizontalHeader()->font());
    int width = title.horizontalAdvance(
        images_.headerData(ImageListModel::StatusColumn, Qt::Horizontal, Qt::DisplayRole)
            .toString());
    for (const char* status : {"Completed", "Failed", "Aborted"})
        width = std::max(width, rows.horizontalAdvance(TranslateText(status)));
    width = std::max(
        width, rows.horizontalAdvance(TranslateText("Processing...") + QStringLiteral(" 100%")));
    if (fitsCheckTexts_) {
        for (const TFileCheck check : {TFileCheck::Missing, TFileCheck::NotAnImage})
            width = std::max(width, rows.horizontalAdvance(CheckStatusText(check)));
    }
    // Room for the cell's margins and the grid line, never narrower than the classic 100.
    imageList_->horizontalHeader()->resizeSection(ImageListModel::StatusColumn,
                                                  std::max(100, width + 16));
}

void ImagesPage::setEditingEnabled(bool enabled)
{
    removeFromListAction_->setEnabled(enabled);
    clearListAction_->setEnabled(enabled);
}

void ImagesPage::followRow(int row)
{
    if (!lastUserScroll_.isValid() || lastUserScroll_.elapsed() > 3000)
        imageList_->scrollTo(images_.index(row, 0));
}

void ImagesPage::focusList()
{
    imageList_->setFocus();
}

QSize ImagesPage::firstStartSize() const
{
    const QString typicalName =
        QStringLiteral("/home/alexandra/Pictures/Holiday 2024/IMG_20240715_142233.jpg");
    const QHeaderView* header = imageList_->horizontalHeader();
    const int width = QFontMetrics(imageList_->font()).horizontalAdvance(typicalName) + 40 +
                      header->sectionSize(ImageListModel::SizeColumn) +
                      header->sectionSize(ImageListModel::StatusColumn) +
                      style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                      2 * imageList_->frameWidth();
    return {width, width * 2 / 3};
}

void ImagesPage::addFiles()
{
    QStringList patterns;
    for (const QString& extension : SupportedImageExtensions())
        patterns << QStringLiteral("*.") + extension;
    // The formats are too many to spell out in the name of the filter.
    const QString filter = TranslateText("Image Files") + QLatin1Char('|') +
                           patterns.join(QLatin1Char(';')) + QLatin1Char('|') +
                           TranslateText("All Files (*.*)") + QStringLiteral("|*.*");
    const QStringList files =
        platform::GetOpenFileNames(window(), QString(), QString(), QtFileFilter(filter));
    // Whatever the user picked is taken, also types the upscaler may refuse.
    if (!files.isEmpty()) {
        images_.appendFiles(files);
        reportLeftOut();
    }
}

void ImagesPage::addFolder()
{
    const QStringList folders = platform::GetExistingDirectories(
        window(), TranslateText("Select folder:"), LastFolder, TranslateText("Select"));
    if (folders.isEmpty())
        return;
    LastFolder = folders.first();
    for (const QString& folder : folders)
        images_.filler().AddFolder(folder);
    reportLeftOut();
}

void ImagesPage::reportLeftOut()
{
    const QString text = LeftOutText(images_.filler().TakeLeftOut());
    if (!text.isEmpty())
        emit statusMessage(text);
}

void ImagesPage::clearList()
{
    images_.clear();
    imageList_->clearSelection();
    QCoreApplication::processEvents();
}

bool ImagesPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == imageList_ && event->type() == QEvent::KeyPress &&
        handleListKey(static_cast<QKeyEvent*>(event)))
        return true;
    return QWidget::eventFilter(watched, event);
}

bool ImagesPage::handleListKey(const QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete)
        removeFromListAction_->trigger();
    const auto modifiers =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (modifiers == Qt::NoModifier && event->key() == Qt::Key_Space) {
        compareSelected();
        return true;
    }
    if (modifiers == Qt::ControlModifier && event->key() == Qt::Key_A) {
        imageList_->selectAll();
        return true;
    }
    return false;
}

int ImagesPage::firstSelectedRow() const
{
    int first = -1;
    for (const QItemSelectionRange& range : imageList_->selectionModel()->selection()) {
        if (first < 0 || range.top() < first)
            first = range.top();
    }
    return first;
}

void ImagesPage::compareSelected()
{
    const int row = firstSelectedRow();
    if (row >= 0 && row < images_.count() &&
        !images_.entries()[static_cast<size_t>(row)].enlarged.isEmpty())
        emit compareRequested(row);
}

void ImagesPage::openSelected()
{
    const int row = firstSelectedRow();
    if (row >= 0 && row < images_.count())
        platform::ShellOpenFile(
            QFileInfo(images_.entries()[static_cast<size_t>(row)].path).absoluteFilePath());
}

void ImagesPage::showPropertiesOfSelected()
{
    const int row = firstSelectedRow();
    if (row < 0 || row >= images_.count())
        return;
    const QString path =
        QFileInfo(images_.entries()[static_cast<size_t>(row)].path).absoluteFilePath();
    platform::ShowFileProperties(path, this, [this, path] {
        platform::MessageBox(window(),
                             TranslateText("No file manager could show the properties of the "
                                           "file. Its path, to copy:") +
                                 QStringLiteral("\n\n") + path,
                             TranslateText("WARNING"), platform::MB_ICONWARNING);
    });
}

void ImagesPage::removeSelected()
{
    std::vector<char> marked(images_.entries().size(), 0);
    for (const QItemSelectionRange& range : imageList_->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            if (static_cast<size_t>(row) < marked.size())
                marked[static_cast<size_t>(row)] = 1;
        }
    }
    images_.removeMarked(marked);
    imageList_->clearSelection();
}
