#include "mainwindow.h"

#include "about/about.h"
#include "about/versioninfo.h"
#include "application.h"
#include "appvalues.h"
#include "batch/placementjournal.h"
#include "batchcontroller.h"
#include "comparisonwindow.h"
#include "i18n/languageselection.h"
#include "i18n/shownnumbers.h"
#include "i18n/translateform.h"
#include "i18n/translation.h"
#include "imagecheck.h"
#include "imagelistmodel.h"
#include "imagespage.h"
#include "optionspage.h"
#include "placementkeeper.h"
#include "platform/desktopstatus.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/instancefolder.h"
#include "platform/shell.h"
#include "platform/trash.h"
#include "previewpanel.h"
#include "restartlist.h"
#include "resultdialog.h"
#include "web/checker.h"
#include "web/feedbackform.h"
#include "web/newversion.h"
#include "widgetkit.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace
{

constexpr int imagesPageIndex = 0;
constexpr int optionsPageIndex = 1;
const QString launcherName = QStringLiteral("grandora.desktop");

} // namespace

MainWindow::MainWindow(QStringList arguments, QWidget* parent)
    : QMainWindow(parent), arguments_(std::move(arguments))
{
    setObjectName(QStringLiteral("mainWindow"));
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setAcceptDrops(true);
    createComponents();
    try {
        loadStartValues();
    } catch (const std::exception& error) {
        // The window still opens with the steps done so far.
        ShowUnhandledError(error);
    }
    placement_->restore(imagesPage_->firstStartSize());
    // Only now: a message box during the start runs the event loop, and the given images must
    // land in a list that is ready for them.
    updateCheckTimer_->start();
    startArgumentsTimer_->start();
}

MainWindow::~MainWindow()
{
    optionsPage_->flushPendingEdits();
    placement_->flush();
    // A running upscaler, a batch's or a preview's, ends before the handlers its end would reach,
    // and the folder it writes into, are gone.
    delete batch_;
    batch_ = nullptr;
    delete previewWindow_;
}

void MainWindow::createComponents()
{
    upscalerFolder_ = platform::ProgramDataFolder() + QStringLiteral("realesrgan/");
    images_ = new ImageListModel(this);
    images_->setObjectName(QStringLiteral("imageListModel"));

    auto* central = new QWidget(this);
    auto* centralLayout = new QVBoxLayout(central);
    centralLayout->setContentsMargins(0, 0, 0, 0);
    centralLayout->setSpacing(0);
    pages_ = new QTabWidget(central);
    pages_->setObjectName(QStringLiteral("pages"));
    imagesPage_ = new ImagesPage(*images_, pages_);
    optionsPage_ = new OptionsPage(upscalerFolder_, pages_);
    pages_->addTab(imagesPage_, QString());
    pages_->addTab(optionsPage_, QString());
    centralLayout->addWidget(pages_);

    progressBar_ = new QProgressBar(central);
    progressBar_->setObjectName(QStringLiteral("progressBar"));
    progressBar_->setFixedHeight(17);
    progressBar_->setTextVisible(false);
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    centralLayout->addWidget(progressBar_);
    setCentralWidget(central);

    statusBar()->setObjectName(QStringLiteral("statusBar"));
    statusText_ = new QLabel(statusBar());
    statusText_->setObjectName(QStringLiteral("statusText"));
    statusText_->setMinimumWidth(50);
    statusText_->setTextFormat(Qt::PlainText);
    statusBar()->addWidget(statusText_, 1);
    statusProgress_ = new QLabel(statusBar());
    statusProgress_->setObjectName(QStringLiteral("statusProgress"));
    statusProgress_->setTextFormat(Qt::PlainText);
    statusBar()->addPermanentWidget(statusProgress_);

    createMenus();

    updateCheckTimer_ = new QTimer(this);
    updateCheckTimer_->setObjectName(QStringLiteral("updateCheckTimer"));
    updateCheckTimer_->setInterval(1000);
    connect(updateCheckTimer_, &QTimer::timeout, this, &MainWindow::pollUpdateCheck);
    startArgumentsTimer_ = new QTimer(this);
    startArgumentsTimer_->setObjectName(QStringLiteral("startArgumentsTimer"));
    startArgumentsTimer_->setSingleShot(true);
    startArgumentsTimer_->setInterval(1);
    connect(startArgumentsTimer_, &QTimer::timeout, this, &MainWindow::takeStartArguments);
    placement_ = new PlacementKeeper(
        this, QStringLiteral("WindowPlacement"),
        [this](const QString& key) { return settings_.Read(key); },
        [this](const QString& key, const QString& value) { settings_.Write(key, value); });

    images_->filler().IncludeSubfolders = [this] { return includeSubfoldersAction_->isChecked(); };
    connect(imagesPage_, &ImagesPage::countChanged, this, &MainWindow::updateImagesTabTitle);
    connect(imagesPage_, &ImagesPage::statusMessage, this, &MainWindow::setStatusText);
    // The words a batch ended with describe the list it left; rows that come or go make them
    // stale, and a cleared list takes them along.
    connect(images_, &ImageListModel::countChanged, this, [this] {
        if (!batch_ || batch_->isBusy())
            return;
        statusText_->clear();
        progressBar_->setValue(progressBar_->minimum());
        progressBar_->setPalette(QPalette());
    });
    connect(imagesPage_, &ImagesPage::nextRequested, this, &MainWindow::showOptionsPage);
    connect(imagesPage_, &ImagesPage::compareRequested, this, &MainWindow::compareRow);
    connect(optionsPage_, &OptionsPage::previewRequested, this, &MainWindow::showPreview);
    connect(optionsPage_, &OptionsPage::backRequested, this, &MainWindow::showImagesPage);
    connect(optionsPage_, &OptionsPage::startStopRequested, this,
            &MainWindow::onStartStopRequested);
    connect(optionsPage_, &OptionsPage::choiceEdited, this, &MainWindow::onChoiceEdited);
    connectBatch();
}

void MainWindow::connectBatch()
{
    // What instances that died left is settled first: placements they cut off are finished or
    // undone, their folders cleared. Running instances keep theirs.
    TPlacementJournal::Recover(TPlacementJournal::Folder());
    platform::TInstanceFolder::RemoveAbandoned();
    instanceFolder_ = std::make_unique<platform::TInstanceFolder>();
    batch_ = new BatchController(*images_, instanceFolder_->Path(), upscalerFolder_, this);
    batch_->setObjectName(QStringLiteral("batchController"));
    connect(batch_, &BatchController::started, this, [this] {
        optionsPage_->setRunning(true);
        setBatchControlsEnabled(false);
        progressBar_->setRange(0, 1000);
        progressBar_->setPalette(QPalette()); // running: the bar's own colours
    });
    // A stopped batch's bar stays where it stopped, in the colour of a paused task, so that it
    // cannot be taken for one that still runs.
    connect(batch_, &BatchController::stopped, this, [this] {
        QPalette stopped = progressBar_->palette();
        stopped.setColor(QPalette::Highlight, QColor(0xd0, 0x90, 0x10));
        progressBar_->setPalette(stopped);
    });
    connect(batch_, &BatchController::statusMessage, this, &MainWindow::setStatusText);
    connect(batch_, &BatchController::progressChanged, this, &MainWindow::showProgress);
    connect(batch_, &BatchController::imageStarted, imagesPage_, &ImagesPage::followRow);
    connect(batch_, &BatchController::idle, this, &MainWindow::onBatchIdle);
    connect(batch_, &BatchController::finished, this, &MainWindow::onBatchFinished);
}

void MainWindow::createMenus()
{
    auto action = [](QMenu* menu, const char* name, const char* icon) {
        QAction* item = menu->addAction(QString());
        item->setObjectName(QLatin1String(name));
        if (icon)
            item->setIcon(namedIcon(icon));
        return item;
    };
    fileMenu_ = menuBar()->addMenu(QString());
    fileMenu_->setObjectName(QStringLiteral("fileMenu"));
    clearListAction_ = action(fileMenu_, "fileClearAction", "clear");
    fileMenu_->addSeparator();
    addFilesAction_ = action(fileMenu_, "addFilesAction", "add");
    addFolderAction_ = action(fileMenu_, "addFolderAction", "folder_add");
    fileMenu_->addSeparator();
    exitAction_ = action(fileMenu_, "exitAction", "exit");

    settingsMenu_ = menuBar()->addMenu(QString());
    settingsMenu_->setObjectName(QStringLiteral("settingsMenu"));
    includeSubfoldersAction_ = action(settingsMenu_, "includeSubfoldersAction", nullptr);
    includeSubfoldersAction_->setCheckable(true);
    includeSubfoldersAction_->setChecked(true);
    settingsMenu_->addSeparator();
    resetToDefaultsAction_ = action(settingsMenu_, "resetToDefaultsAction", nullptr);

    helpMenu_ = menuBar()->addMenu(QString());
    helpMenu_->setObjectName(QStringLiteral("helpMenu"));
    onlineHelpAction_ = action(helpMenu_, "onlineHelpAction", "help");
    addFilesAction_->setShortcut(QKeySequence::Open);
    addFolderAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    exitAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    onlineHelpAction_->setShortcut(QKeySequence(Qt::Key_F1));
    onlineHelpAction_->setShortcutContext(Qt::ApplicationShortcut);
    helpMenu_->addSeparator();
    updateNotificationsAction_ = action(helpMenu_, "updateNotificationsAction", nullptr);
    updateNotificationsAction_->setCheckable(true);
    updateNotificationsAction_->setChecked(true);
    updateNotificationsAction_->setEnabled(false);
    helpMenu_->addSeparator();
    languageAction_ = action(helpMenu_, "languageAction", "flag");
    sendFeedbackAction_ = action(helpMenu_, "sendFeedbackAction", "feedback");
    aboutAction_ = action(helpMenu_, "aboutAction", "about");

    connect(clearListAction_, &QAction::triggered, imagesPage_, &ImagesPage::clearList);
    connect(addFilesAction_, &QAction::triggered, imagesPage_, &ImagesPage::addFiles);
    connect(addFolderAction_, &QAction::triggered, imagesPage_, &ImagesPage::addFolder);
    connect(exitAction_, &QAction::triggered, this, [this] {
        if (close())
            QApplication::quit();
    });
    connect(resetToDefaultsAction_, &QAction::triggered, this, &MainWindow::resetToDefaults);
    connect(onlineHelpAction_, &QAction::triggered, this, &MainWindow::openOnlineHelp);
    connect(aboutAction_, &QAction::triggered, this, &MainWindow::showAbout);
    connect(updateNotificationsAction_, &QAction::triggered, this,
            &MainWindow::onUpdateNotificationsToggled);
    connect(sendFeedbackAction_, &QAction::triggered, this, &MainWindow::sendFeedback);
    connect(languageAction_, &QAction::triggered, this, &MainWindow::chooseLanguage);

    // Start and STOP from either page; hidden on the images page, the button still answers.
    startStopAction_ = new QAction(this);
    startStopAction_->setObjectName(QStringLiteral("startStopAction"));
    startStopAction_->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    addAction(startStopAction_);
    connect(startStopAction_, &QAction::triggered, optionsPage_, &OptionsPage::pressStartStop);
    // Enter on the images page goes on to the options once there is something to enlarge. The
    // page's tab counts as the page; on the options page Enter is left to their controls.
    nextKeyAction_ = new QAction(this);
    nextKeyAction_->setObjectName(QStringLiteral("nextKeyAction"));
    nextKeyAction_->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    addAction(nextKeyAction_);
    connect(pages_, &QTabWidget::currentChanged, nextKeyAction_,
            [this](int page) { nextKeyAction_->setEnabled(page == imagesPageIndex); });
    connect(nextKeyAction_, &QAction::triggered, this, [this] {
        if (images_->count() > 0)
            showOptionsPage();
    });
}

void MainWindow::loadStartValues()
{
    const QString executable = platform::ExecutablePath();
    const TEXEVersionData version = ReadEXEVersionData(executable);
    AppCompanyName = version.CompanyName;
    AppProductName = version.ProductName;
    const std::uint32_t versionMS = ReadFileVersionMS(executable);
    AppVersion = QStringLiteral("%1.%2").arg(versionMS >> 16).arg(versionMS & 0xFFFF);
    AppTitle = AppCompanyName + QStringLiteral(" - ") + AppProductName;
    setWindowTitle(AppTitle);

    settings_.Open(
        ChooseSettingsFolder(platform::ExecutableFolder(), AppCompanyName, AppProductName));
    LoadLanguage(settings_.Read(QStringLiteral("LanguageFile")));
    settings_.ReportUnreadableFile();

    translate();
    optionsPage_->setChoices(
        LoadChoices([this](const QString& key) { return settings_.Read(key); }, upscalerFolder_));
    pages_->setCurrentIndex(imagesPageIndex);
}

void MainWindow::translate()
{
    fileMenu_->setTitle(TranslateText("&File"));
    clearListAction_->setText(TranslateText("&Clear"));
    addFilesAction_->setText(TranslateText("&Add Files..."));
    addFolderAction_->setText(TranslateText("Add F&older..."));
    exitAction_->setText(TranslateText("E&xit"));
    settingsMenu_->setTitle(TranslateText("&Settings"));
    includeSubfoldersAction_->setText(TranslateText("&Include Subfolders"));
    resetToDefaultsAction_->setText(TranslateText("&Reset to Defaults..."));
    helpMenu_->setTitle(TranslateText("&Help"));
    onlineHelpAction_->setText(TranslateText("Online &Help"));
    updateNotificationsAction_->setText(TranslateText("&Update Notifications"));
    languageAction_->setText(TranslateText("&Language..."));
    sendFeedbackAction_->setText(TranslateText("Send &Feedback..."));
    aboutAction_->setText(TranslateText("&About..."));
    updateImagesTabTitle(images_->count());
    pages_->setTabText(optionsPageIndex, TranslateText("Options"));
    imagesPage_->translate();
    optionsPage_->translate();
}

void MainWindow::updateImagesTabTitle(int count)
{
    pages_->setTabText(imagesPageIndex, TranslateText("Images") + QStringLiteral(" [") +
                                            ShownNumber(count) + QLatin1Char(']'));
}

void MainWindow::showOptionsPage()
{
    if (images_->count() > 0) {
        pages_->setCurrentIndex(optionsPageIndex);
        optionsPage_->focusFirst();
    } else {
        platform::Beep();
    }
}

void MainWindow::compareRow(int row)
{
    if (row < 0 || row >= images_->count())
        return;
    const TImageEntry& entry = images_->entries()[static_cast<size_t>(row)];
    std::optional<QString> original;
    if (entry.original == TImageEntry::TOriginal::Kept)
        original = QFileInfo(entry.path).absoluteFilePath();
    else if (entry.original == TImageEntry::TOriginal::Trashed)
        original = platform::FindTrashedOriginal(QFileInfo(entry.path).absoluteFilePath(),
                                                 entry.placedAfter);
    auto* window = new ComparisonWindow(
        [this](const QString& key) { return settings_.Read(key); },
        [this](const QString& key, const QString& value) { settings_.Write(key, value); }, this);
    window->setObjectName(QStringLiteral("comparisonWindow"));
    if (original)
        window->compare(*original, OriginalCaption(), entry.enlarged, EnlargedCaption());
    else
        window->showAlone(entry.enlarged, EnlargedCaption(), DeletedOriginalNote());
    window->show();
}

void MainWindow::showPreview()
{
    const int selected = imagesPage_->firstSelectedRow();
    const int row = selected >= 0 ? selected : 0;
    if (row >= images_->count()) {
        platform::Beep();
        return;
    }
    if (!previewWindow_) {
        previewWindow_ = new ComparisonWindow(
            [this](const QString& key) { return settings_.Read(key); },
            [this](const QString& key, const QString& value) { settings_.Write(key, value); },
            this);
        previewWindow_->setObjectName(QStringLiteral("previewWindow"));
        new PreviewPanel(instanceFolder_->Path().isEmpty()
                             ? QString()
                             : instanceFolder_->Path() + QStringLiteral("preview/"),
                         upscalerFolder_, previewWindow_);
    }
    previewWindow_->findChild<PreviewPanel*>()->preview(
        QFileInfo(images_->entries()[static_cast<size_t>(row)].path).absoluteFilePath(),
        optionsPage_->choices());
    previewWindow_->show();
    previewWindow_->raise();
    previewWindow_->activateWindow();
}

void MainWindow::showImagesPage()
{
    pages_->setCurrentIndex(imagesPageIndex);
    imagesPage_->focusList();
}

void MainWindow::onChoiceEdited(TChoiceField field)
{
    const auto [key, value] = StoredChoice(optionsPage_->choices(), field);
    settings_.Write(key, value);
}

void MainWindow::onStartStopRequested()
{
    if (batch_->isRunning()) {
        batch_->stop();
        optionsPage_->setRunning(false);
        // "Start" comes back when the stopped upscaler has really ended.
        if (batch_->isBusy())
            optionsPage_->setStartEnabled(false);
        return;
    }
    const TOptionChoices choices = optionsPage_->choices();
    TStartCheck check = CheckStart(images_->entries(), choices, upscalerFolder_);
    // Asked once per Start, and only of a batch that can start: nothing can bring these back.
    if (check.refusal == TStartRefusal::None && choices.action == TAction::ResizeOriginal &&
        choices.disposal == TDisposal::DeletePermanently) {
        const TImageEntries& entries = images_->entries();
        // Rows the check refused are not tried, and lose nothing.
        const auto count =
            std::count_if(entries.begin(), entries.end(), [](const TImageEntry& entry) {
                return !entry.completed && !IsCheckFailure(entry.check);
            });
        const QString question =
            count == 1 ? TranslateText("The original of 1 image will be deleted permanently, not "
                                       "moved to the trash. Continue?")
                       : FillTemplate(TranslateText("The originals of %s images will be deleted "
                                                    "permanently, not moved to the trash. "
                                                    "Continue?"),
                                      {ShownNumber(count)});
        if (count > 0 &&
            askConfirmation(question, TranslateText("Confirmation"), true) != platform::IDYES)
            return;
    }
    if (check.refusal == TStartRefusal::None)
        check = batch_->start(choices);
    if (check.refusal == TStartRefusal::None)
        return;
    platform::MessageBox(this, check.message, TranslateText("WARNING"), platform::MB_ICONWARNING);
    switch (check.refusal) {
    case TStartRefusal::NoImages:
        pages_->setCurrentIndex(imagesPageIndex);
        break;
    case TStartRefusal::NoDestination:
    case TStartRefusal::DestinationNotWritable:
        optionsPage_->focusDestination();
        break;
    default:
        break;
    }
}

void MainWindow::setBatchControlsEnabled(bool enabled)
{
    // The batch addresses the list by row: entries may be added during it, not removed.
    imagesPage_->setEditingEnabled(enabled);
    clearListAction_->setEnabled(enabled);
    optionsPage_->setLocked(!enabled);
    resetToDefaultsAction_->setEnabled(enabled);
    languageAction_->setEnabled(enabled);
}

void MainWindow::onBatchIdle()
{
    optionsPage_->setStartEnabled(true);
    setBatchControlsEnabled(true);
    statusProgress_->clear();
    platform::SetLauncherProgress(launcherName, 0, false);
}

void MainWindow::showProgress(double overall, const QString& text)
{
    progressBar_->setValue(qRound(overall * progressBar_->maximum()));
    statusProgress_->setText(text);
    platform::SetLauncherProgress(launcherName, overall, true);
}

void MainWindow::onBatchFinished(const TBatchSummary& summary, const QString& resultsFolder)
{
    optionsPage_->setRunning(false);
    progressBar_->setValue(progressBar_->maximum());
    if (!isActiveWindow())
        platform::ShowNotification(
            AppProductName, TranslateText("The batch has ended"),
            FillTemplate(TranslateText("%s completed, %s failed"),
                         {ShownNumber(summary.completed), ShownNumber(summary.failed)}));
    ResultDialog dialog(summary, resultsFolder, this);
    const int last = batch_->lastCompletedRow();
    if (last >= 0)
        dialog.offerComparison();
    ShowResultDialog(dialog);
    if (dialog.comparisonChosen())
        compareRow(last);
}

void MainWindow::setStatusText(const QString& text)
{
    statusText_->setText(text);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (batch_->isRunning()) {
        if (askConfirmation(TranslateText("A batch is running. Stop it and quit?"),
                            TranslateText("Confirmation")) != platform::IDYES) {
            event->ignore();
            return;
        }
        onStartStopRequested();
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::openOnlineHelp()
{
    const QString slug = AppProductName.toLower().replace(QLatin1Char(' '), QLatin1Char('-'));
    const QUrl address(QStringLiteral("http://%1/help/%2/").arg(MakerWebHost(), slug));
    platform::ShellOpen(address, this, [this, address] {
        platform::MessageBox(this,
                             TranslateText("Nothing on this computer could open the page. Its "
                                           "address, to copy:") +
                                 QStringLiteral("\n\n") + address.toString(),
                             TranslateText("WARNING"), platform::MB_ICONWARNING);
    });
}

void MainWindow::showAbout()
{
    // The box deletes itself when it closes.
    auto* box = new TAboutBox(AppProductName, AppVersion, MakerWebHost(),
                              platform::ProgramDataFolder(), this);
    box->exec();
}

void MainWindow::chooseLanguage()
{
    TTranslateForm form(this, {settings_.Folder(),
                               [this](const QString& file) {
                                   settings_.Write(QStringLiteral("LanguageFile"), file);
                               },
                               [this](const QString& message, const QString& caption) {
                                   return askConfirmation(message, caption);
                               },
                               MakerWebHost(), [this] { return restartArguments(); }});
    form.exec();
}

QStringList MainWindow::restartArguments() const
{
    if (images_->count() == 0)
        return {};
    return WriteRestartList(images_->entries(), pages_->currentIndex(), platform::TempFolder());
}

void MainWindow::resetToDefaults()
{
    if (askConfirmation(TranslateText("Restart Application?"), TranslateText("Confirmation")) !=
        platform::IDYES)
        return;
    // A typed destination or quality must not bring the old settings back.
    optionsPage_->dropPendingEdits();
    placement_->drop();
    QFile::remove(settings_.Folder() + QStringLiteral("settings.ini"));
    QCoreApplication::processEvents();
    platform::StartDetached(platform::ExecutablePath(), {});
    QApplication::quit();
}

void MainWindow::pollUpdateCheck()
{
    if (!checker_) {
        CheckerConfig config;
        config.AppTitle = AppTitle;
        config.AppVersion = AppVersion;
        config.Host = MakerWebHost();
        config.StorePath = CheckerStorePath(AppCompanyName, AppProductName);
        config.ShowImportant = [this](const QString& text, const QString& caption) {
            platform::MessageBox(this, text, caption, platform::MB_ICONWARNING);
        };
        checker_ = std::make_unique<TChecker>(std::move(config));
        return;
    }
    if (!checker_->CheckFinished())
        return;
    updateCheckTimer_->stop();
    updateNotificationsAction_->setEnabled(true);
    if (checker_->ShowUpdate() == 0)
        updateNotificationsAction_->setChecked(false);
    if (checker_->NewVersionFound() && !newVersionNotice_)
        newVersionNotice_ =
            new TNewVer(this, AppProductName, checker_->NewVersion(), checker_->CurrentURL(),
                        QStringLiteral("http://%1/").arg(MakerWebHost()));
}

void MainWindow::onUpdateNotificationsToggled()
{
    // The menu item has already toggled its check mark; the choice counts from the next start.
    if (checker_)
        checker_->WriteShowUpdate(updateNotificationsAction_->isChecked() ? 1 : 0);
}

void MainWindow::sendFeedback()
{
    TFeedbackForm form({AppTitle, AppProductName, AppVersion, MakerWebHost()}, this);
    form.exec();
}

void MainWindow::takeStartArguments()
{
    const TStartArguments start = ParseStartArguments(arguments_, platform::TempFolder());
    if (!start.restartList.isEmpty()) {
        if (const std::optional<TRestartList> list = TakeRestartList(start.restartList)) {
            for (TImageEntry image : list->images) {
                image.status = image.completed ? TranslateText("Completed") : QString();
                images_->appendEntry(image);
            }
            images_->filler().MakeAdditionVisible();
            if (list->page == optionsPageIndex && images_->count() > 0)
                showOptionsPage();
        }
    }
    reportSkippedNames(images_->filler().AddNames(start.names));
}

void MainWindow::reportSkippedNames(const QStringList& names)
{
    TLeftOut leftOut = images_->filler().TakeLeftOut();
    leftOut.notImages = names;
    if (const QString text = LeftOutText(leftOut); !text.isEmpty())
        setStatusText(text);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); }))
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    QStringList names;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            names << url.toLocalFile();
    }
    event->acceptProposedAction();
    // The drag source waits until the drop returns; a long folder scan must not hold it.
    QMetaObject::invokeMethod(
        this,
        [this, names] {
            reportSkippedNames(images_->filler().AddNames(names));
            pages_->setCurrentIndex(imagesPageIndex);
        },
        Qt::QueuedConnection);
}

int MainWindow::askConfirmation(const QString& message, const QString& caption, bool noIsDefault)
{
    const bool onTop = windowFlags() & Qt::WindowStaysOnTopHint;
    if (onTop) {
        setWindowFlag(Qt::WindowStaysOnTopHint, false);
        show();
    }
    const int answer = platform::AskYesNo(this, message, caption, TranslateText("Yes"),
                                          TranslateText("No"), noIsDefault);
    if (onTop) {
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
        show();
    }
    return answer;
}
