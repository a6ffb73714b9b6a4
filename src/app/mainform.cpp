#include "mainform.h"

#include "about/about.h"
#include "about/versioninfo.h"
#include "application.h"
#include "appvalues.h"
#include "batch/batchengine.h"
#include "batch/batchsummary.h"
#include "batch/imageformats.h"
#include "batch/placementjournal.h"
#include "i18n/languageselection.h"
#include "i18n/translateform.h"
#include "i18n/translation.h"
#include "imagelistmodel.h"
#include "imagelistview.h"
#include "imagerecords.h"
#include "platform/desktopstatus.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/instancefolder.h"
#include "platform/shell.h"
#include "platform/tickcount.h"
#include "restartlist.h"
#include "resultform.h"
#include "settingsstore.h"
#include "web/checker.h"
#include "web/feedbackform.h"
#include "web/newversion.h"
#include "windowplacement.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace
{

QIcon namedIcon(const char* name)
{
    return QIcon(QStringLiteral(":/icons/%1.png").arg(QLatin1String(name)));
}

QPushButton* makeButton(QWidget* parent, const char* objectName, const char* icon, int width)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(QLatin1String(objectName));
    button->setIcon(namedIcon(icon));
    button->setFixedWidth(width);
    return button;
}

// A bar of fixed height at the top or bottom of a page.
QWidget* makeBar(QWidget* parent, const char* objectName, int height)
{
    auto* bar = new QWidget(parent);
    bar->setObjectName(QLatin1String(objectName));
    bar->setFixedHeight(height);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(4, 4, 4, 4);
    return bar;
}

// What settings.ini keeps for the items of the Scale, Output format and Speed boxes, in their
// order: names that no language changes. A scale's name is its factor.
const QStringList scaleSettings = {QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")};
const QStringList formatSettings = {QStringLiteral("Same"), QStringLiteral("PNG"),
                                    QStringLiteral("JPEG"), QStringLiteral("WebP")};
const QStringList speedSettings = {QStringLiteral("Best"), QStringLiteral("Fast")};
// The Engine box's items carry their engine; settings.ini keeps these names for them.
constexpr TEngine engineItems[] = {TEngine::Automatic, TEngine::BuiltIn, TEngine::Upscaler};
const QStringList engineSettings = {QStringLiteral("Automatic"), QStringLiteral("BuiltIn"),
                                    QStringLiteral("Upscaler")};
constexpr TOutputFormat formatItems[] = {TOutputFormat::SameAsOriginal, TOutputFormat::Png,
                                         TOutputFormat::Jpeg, TOutputFormat::WebP};

int formatItemOf(TOutputFormat format)
{
    return static_cast<int>(std::find(std::begin(formatItems), std::end(formatItems), format) -
                            std::begin(formatItems));
}

// The item that the stored value names, or `fallback` for a value that names none.
int storedItem(const QString& stored, const QStringList& settings, int fallback)
{
    const qsizetype item = settings.indexOf(stored);
    return item >= 0 ? static_cast<int>(item) : fallback;
}

} // namespace

TAppForm::TAppForm(QStringList arguments, QWidget* parent)
    : QMainWindow(parent), arguments_(std::move(arguments))
{
    setObjectName(QStringLiteral("AppForm"));
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setAcceptDrops(true);
    CreateComponents();
    ImageAdder.IncludeSubfolders = [this] { return IncludeSubfolders1->isChecked(); };
    ImageAdder.ShowCount = [this] {
        if (Batch->IsRunning() && ImageRecords.size() > rowsKnownToProgress_) {
            // Images added during a batch join it.
            Progress.Grow(static_cast<int>(ImageRecords.size() - rowsKnownToProgress_));
            rowsKnownToProgress_ = ImageRecords.size();
            ShowProgress();
        }
        ListModel->SetItemCount();
        KacItemVarGuncelle();
    };
    try {
        FormCreate();
    } catch (const std::exception& error) {
        // The window still opens with the steps done so far.
        ShowUnhandledError(error);
    }
    RestorePlacement();
}

TAppForm::~TAppForm()
{
    if (TimerDestination->isActive())
        StoreDestination();
    if (TimerQuality->isActive())
        StoreQuality();
    if (TimerPlacement->isActive())
        StorePlacement();
    // A running upscaler is ended before the handlers that its end would reach, and the folder
    // it writes into, are gone.
    delete Batch;
    Batch = nullptr;
}

void TAppForm::CreateComponents()
{
    auto* central = new QWidget(this);
    auto* centralLayout = new QVBoxLayout(central);
    centralLayout->setContentsMargins(0, 0, 0, 0);
    centralLayout->setSpacing(0);

    PageControl1 = new QTabWidget(central);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    TabSheet1 = CreateImagesPage();
    TabSheet2 = CreateOptionsPage();
    PageControl1->addTab(TabSheet1, QString());
    PageControl1->addTab(TabSheet2, QString());
    centralLayout->addWidget(PageControl1);

    ProgressBar1 = new QProgressBar(central);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setFixedHeight(17);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    centralLayout->addWidget(ProgressBar1);
    setCentralWidget(central);

    StatusBar1 = statusBar();
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusPanel = new QLabel(StatusBar1);
    StatusPanel->setObjectName(QStringLiteral("StatusPanel"));
    StatusPanel->setMinimumWidth(50);
    StatusPanel->setTextFormat(Qt::PlainText);
    StatusBar1->addWidget(StatusPanel, 1);
    StatusProgress = new QLabel(StatusBar1);
    StatusProgress->setObjectName(QStringLiteral("StatusProgress"));
    StatusProgress->setTextFormat(Qt::PlainText);
    StatusBar1->addPermanentWidget(StatusProgress);

    CreateMenus();

    TimerChecker = new QTimer(this);
    TimerChecker->setObjectName(QStringLiteral("TimerChecker"));
    TimerChecker->setInterval(1000);
    connect(TimerChecker, &QTimer::timeout, this, &TAppForm::TimerCheckerTimer);
    TimerParam = new QTimer(this);
    TimerParam->setObjectName(QStringLiteral("TimerParam"));
    TimerParam->setInterval(1);
    connect(TimerParam, &QTimer::timeout, this, &TAppForm::TimerParamTimer);
    TimerChecker->start();
    TimerParam->start();
    TimerDestination = new QTimer(this);
    TimerDestination->setObjectName(QStringLiteral("TimerDestination"));
    TimerDestination->setSingleShot(true);
    TimerDestination->setInterval(500);
    connect(TimerDestination, &QTimer::timeout, this, &TAppForm::StoreDestination);
    TimerQuality = new QTimer(this);
    TimerQuality->setObjectName(QStringLiteral("TimerQuality"));
    TimerQuality->setSingleShot(true);
    TimerQuality->setInterval(500);
    connect(TimerQuality, &QTimer::timeout, this, &TAppForm::StoreQuality);
    TimerPlacement = new QTimer(this);
    TimerPlacement->setObjectName(QStringLiteral("TimerPlacement"));
    TimerPlacement->setSingleShot(true);
    TimerPlacement->setInterval(500);
    connect(TimerPlacement, &QTimer::timeout, this, &TAppForm::StorePlacement);

    CreateBatchEngine();
}

void TAppForm::CreateBatchEngine()
{
    // What instances that died left is settled first: placements they cut off are finished or
    // undone, their folders cleared. Running instances keep theirs.
    TPlacementJournal::Recover(TPlacementJournal::Folder());
    platform::TInstanceFolder::RemoveAbandoned();
    InstanceFolder = std::make_unique<platform::TInstanceFolder>();
    Batch = new TBatchEngine(InstanceFolder->Path(), this);
    Batch->setObjectName(QStringLiteral("Batch"));
    connect(Batch, &TBatchEngine::ImageStarted, this, &TAppForm::ResizeImageAI);
    connect(Batch, &TBatchEngine::ImageProgress, this, &TAppForm::BatchImageProgress);
    connect(Batch, &TBatchEngine::ImageFinished, this, &TAppForm::ConsoleRunner1Terminated);
    connect(Batch, &TBatchEngine::Stopped, this, &TAppForm::BatchStopped);
    connect(Batch, &TBatchEngine::Finished, this, &TAppForm::Bitti);
}

QWidget* TAppForm::CreateImagesPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet1"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    QWidget* top = makeBar(page, "Panel1", 33);
    ButtonFiles = makeButton(top, "ButtonFiles", "add", 180);
    ButtonFolder = makeButton(top, "ButtonFolder", "folder_add", 180);
    top->layout()->addWidget(ButtonFiles);
    top->layout()->addWidget(ButtonFolder);
    static_cast<QHBoxLayout*>(top->layout())->addStretch();
    layout->addWidget(top);

    ListView1 = new TImageListView(page);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    QFont listFont(QStringLiteral("Tahoma"));
    listFont.setPixelSize(16);
    ListView1->setFont(listFont);
    ListModel = new ImageListModel(ImageRecords, this);
    ListView1->setModel(ListModel);
    ListView1->setShowGrid(true);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setWordWrap(false);
    // The end of a long path tells rows apart; its middle is what can go.
    ListView1->setTextElideMode(Qt::ElideMiddle);
    // Tab leaves the list for the next control; the arrow keys move between rows.
    ListView1->setTabKeyNavigation(false);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    ListView1->verticalHeader()->hide();
    ListView1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ListView1->verticalHeader()->setDefaultSectionSize(QFontMetrics(listFont).height() + 4);
    QHeaderView* header = ListView1->horizontalHeader();
    header->setSectionResizeMode(ImageListModel::FilenameColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(ImageListModel::SizeColumn, QHeaderView::Fixed);
    header->setSectionResizeMode(ImageListModel::StatusColumn, QHeaderView::Fixed);
    header->resizeSection(ImageListModel::SizeColumn, 150);
    header->resizeSection(ImageListModel::StatusColumn, 100);
    header->setHighlightSections(false);
    header->setFont(font()); // the 16-pixel text is for the rows only
    ListView1->installEventFilter(this);
    lastUserScroll_.invalidate();
    connect(ListView1->verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
            [this] { lastUserScroll_.start(); });
    layout->addWidget(ListView1, 1);

    QWidget* bottom = makeBar(page, "Panel2", 35);
    ButtonNext = makeButton(bottom, "ButtonNext", "next", 134);
    ButtonNext->setLayoutDirection(Qt::RightToLeft); // icon on the right side
    static_cast<QHBoxLayout*>(bottom->layout())->addStretch();
    bottom->layout()->addWidget(ButtonNext);
    layout->addWidget(bottom);

    connect(ButtonFiles, &QPushButton::clicked, this, &TAppForm::ButtonFilesClick);
    connect(ButtonFolder, &QPushButton::clicked, this, &TAppForm::ButtonFolderClick);
    connect(ListView1, &QAbstractItemView::doubleClicked, this, &TAppForm::ListView1DblClick);
    connect(ButtonNext, &QPushButton::clicked, this, &TAppForm::ButtonNextClick);
    return page;
}

QWidget* TAppForm::CreateOptionsPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet2"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* options = new QWidget(page);
    auto* grid = new QGridLayout(options);
    grid->setContentsMargins(16, 20, 16, 8);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(14);
    auto makeLabel = [&](const char* name) {
        auto* label = new QLabel(options);
        label->setObjectName(QLatin1String(name));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return label;
    };
    auto makeCombo = [&](const char* name, bool editable) {
        auto* combo = new QComboBox(options);
        combo->setObjectName(QLatin1String(name));
        combo->setEditable(editable);
        combo->setInsertPolicy(QComboBox::NoInsert);
        return combo;
    };
    Label3 = makeLabel("Label3");
    Label4 = makeLabel("Label4");
    Label5 = makeLabel("Label5");
    Label6 = makeLabel("Label6");
    ComboBoxModel = makeCombo("ComboBoxModel", false);
    ComboBoxAction = makeCombo("ComboBoxAction", false);
    ComboBoxDestination = makeCombo("ComboBoxDestination", true);
    ComboBoxDestination->setEnabled(false);
    ButtonBrowse = makeButton(options, "ButtonBrowse", "folder", 110);
    ButtonBrowse->setEnabled(false);
    RadioButton1 = new QRadioButton(options);
    RadioButton1->setObjectName(QStringLiteral("RadioButton1"));
    RadioButton1->setChecked(true);
    RadioButton2 = new QRadioButton(options);
    RadioButton2->setObjectName(QStringLiteral("RadioButton2"));
    Label7 = makeLabel("Label7");
    Label8 = makeLabel("Label8");
    Label9 = makeLabel("Label9");
    Label10 = makeLabel("Label10");
    ComboBoxScale = makeCombo("ComboBoxScale", false);
    ComboBoxFormat = makeCombo("ComboBoxFormat", false);
    SpinEditQuality = new QSpinBox(options);
    SpinEditQuality->setObjectName(QStringLiteral("SpinEditQuality"));
    SpinEditQuality->setRange(1, 100);
    SpinEditQuality->setValue(TBatchOptions().jpegQuality);
    ComboBoxSpeed = makeCombo("ComboBoxSpeed", false);
    engineLabel_ = makeLabel("engineLabel");
    engineBox_ = makeCombo("engineBox", false);
    CheckBoxMetadata = new QCheckBox(options);
    CheckBoxMetadata->setObjectName(QStringLiteral("CheckBoxMetadata"));
    CheckBoxMetadata->setChecked(TBatchOptions().keepMetadata);
    // Their accelerators reach the controls beside them.
    Label7->setBuddy(ComboBoxScale);
    Label8->setBuddy(ComboBoxFormat);
    Label9->setBuddy(SpinEditQuality);
    Label10->setBuddy(ComboBoxSpeed);
    engineLabel_->setBuddy(engineBox_);

    grid->addWidget(Label3, 0, 0);
    grid->addWidget(ComboBoxModel, 0, 1, 1, 2);
    grid->addWidget(Label4, 1, 0);
    grid->addWidget(ComboBoxAction, 1, 1, 1, 2);
    grid->addWidget(Label5, 2, 0);
    grid->addWidget(ComboBoxDestination, 2, 1);
    grid->addWidget(ButtonBrowse, 2, 2);
    grid->addWidget(Label6, 3, 0);
    grid->addWidget(RadioButton1, 3, 1, 1, 2);
    grid->addWidget(RadioButton2, 4, 1, 1, 2);
    grid->addWidget(Label7, 5, 0);
    grid->addWidget(ComboBoxScale, 5, 1, 1, 2);
    grid->addWidget(Label8, 6, 0);
    grid->addWidget(ComboBoxFormat, 6, 1, 1, 2);
    grid->addWidget(Label9, 7, 0);
    grid->addWidget(SpinEditQuality, 7, 1, Qt::AlignLeft);
    grid->addWidget(Label10, 8, 0);
    grid->addWidget(ComboBoxSpeed, 8, 1, 1, 2);
    grid->addWidget(engineLabel_, 9, 0);
    grid->addWidget(engineBox_, 9, 1, 1, 2);
    grid->addWidget(CheckBoxMetadata, 10, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    // Top to bottom, left to right, whichever of the controls show.
    QWidget* order[] = {ComboBoxModel,   ComboBoxAction, ComboBoxDestination, ButtonBrowse,
                        RadioButton1,    RadioButton2,   ComboBoxScale,       ComboBoxFormat,
                        SpinEditQuality, ComboBoxSpeed,  engineBox_,          CheckBoxMetadata};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    grid->setRowStretch(11, 1);
    layout->addWidget(options, 1);

    QWidget* bottom = makeBar(page, "Panel3", 35);
    ButtonBack = makeButton(bottom, "ButtonBack", "previous", 134);
    ButtonProcess = makeButton(bottom, "ButtonProcess", "tick_button", 134);
    bottom->layout()->addWidget(ButtonBack);
    static_cast<QHBoxLayout*>(bottom->layout())->addStretch();
    bottom->layout()->addWidget(ButtonProcess);
    layout->addWidget(bottom);

    connect(ButtonBack, &QPushButton::clicked, this, &TAppForm::ButtonBackClick);
    connect(ButtonProcess, &QPushButton::clicked, this, &TAppForm::ButtonProcessClick);
    connect(ButtonBrowse, &QPushButton::clicked, this, &TAppForm::ButtonBrowseClick);
    connect(ComboBoxModel, &QComboBox::activated, this, &TAppForm::ComboBoxModelChange);
    connect(ComboBoxAction, &QComboBox::activated, this, &TAppForm::ComboBoxActionChange);
    connect(ComboBoxDestination, &QComboBox::editTextChanged, this,
            &TAppForm::ComboBoxDestinationChange);
    connect(RadioButton1, &QRadioButton::clicked, this, &TAppForm::RadioButton1Click);
    connect(RadioButton2, &QRadioButton::clicked, this, &TAppForm::RadioButton2Click);
    connect(ComboBoxScale, &QComboBox::activated, this, &TAppForm::ComboBoxScaleChange);
    connect(ComboBoxFormat, &QComboBox::activated, this, &TAppForm::ComboBoxFormatChange);
    connect(SpinEditQuality, &QSpinBox::valueChanged, this, &TAppForm::SpinEditQualityChange);
    connect(ComboBoxSpeed, &QComboBox::activated, this, &TAppForm::ComboBoxSpeedChange);
    connect(engineBox_, &QComboBox::activated, this, &TAppForm::onEngineChosen);
    connect(CheckBoxMetadata, &QCheckBox::clicked, this, &TAppForm::CheckBoxMetadataClick);
    return page;
}

void TAppForm::CreateMenus()
{
    auto action = [this](QMenu* menu, const char* name, const char* icon) {
        QAction* item = menu->addAction(QString());
        item->setObjectName(QLatin1String(name));
        if (icon)
            item->setIcon(namedIcon(icon));
        return item;
    };
    File1 = menuBar()->addMenu(QString());
    File1->setObjectName(QStringLiteral("File1"));
    Clear2 = action(File1, "Clear2", "clear");
    File1->addSeparator();
    AddFiles1 = action(File1, "AddFiles1", "add");
    AddFolder1 = action(File1, "AddFolder1", "folder_add");
    File1->addSeparator();
    Exit1 = action(File1, "Exit1", "exit");

    Settings1 = menuBar()->addMenu(QString());
    Settings1->setObjectName(QStringLiteral("Settings1"));
    IncludeSubfolders1 = action(Settings1, "IncludeSubfolders1", nullptr);
    IncludeSubfolders1->setCheckable(true);
    IncludeSubfolders1->setChecked(true);
    Settings1->addSeparator();
    ResettoDefaults1 = action(Settings1, "ResettoDefaults1", nullptr);

    Help1 = menuBar()->addMenu(QString());
    Help1->setObjectName(QStringLiteral("Help1"));
    Help2 = action(Help1, "Help2", "help");
    AddFiles1->setShortcut(QKeySequence::Open);
    AddFolder1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    Exit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    Help2->setShortcut(QKeySequence(Qt::Key_F1));
    Help2->setShortcutContext(Qt::ApplicationShortcut);
    Help1->addSeparator();
    UpdateNotifications1 = action(Help1, "UpdateNotifications1", nullptr);
    UpdateNotifications1->setCheckable(true);
    UpdateNotifications1->setChecked(true);
    UpdateNotifications1->setEnabled(false);
    Help1->addSeparator();
    Language1 = action(Help1, "Language1", "flag");
    SendFeedback1 = action(Help1, "SendFeedback1", "feedback");
    About1 = action(Help1, "About1", "about");

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Open1 = action(PopupMenu1, "Open1", nullptr);
    Properties1 = action(PopupMenu1, "Properties1", nullptr);
    PopupMenu1->addSeparator();
    Delete1 = action(PopupMenu1, "Delete1", "delete");
    // Shown beside the item; the key itself is handled by the list.
    Delete1->setShortcut(QKeySequence::Delete);
    Delete1->setShortcutContext(Qt::WidgetShortcut);
    Clear1 = action(PopupMenu1, "Clear1", "clear");

    connect(Clear2, &QAction::triggered, Clear1, &QAction::trigger);
    connect(AddFiles1, &QAction::triggered, ButtonFiles, &QPushButton::click);
    connect(AddFolder1, &QAction::triggered, ButtonFolder, &QPushButton::click);
    connect(Exit1, &QAction::triggered, this, &TAppForm::Exit1Click);
    connect(ResettoDefaults1, &QAction::triggered, this, &TAppForm::ResettoDefaults1Click);
    connect(Help2, &QAction::triggered, this, &TAppForm::Help2Click);
    connect(About1, &QAction::triggered, this, &TAppForm::About1Click);
    connect(UpdateNotifications1, &QAction::triggered, this, &TAppForm::UpdateNotifications1Click);
    connect(SendFeedback1, &QAction::triggered, this, &TAppForm::SendFeedback1Click);
    connect(Open1, &QAction::triggered, this, &TAppForm::Open1Click);
    connect(Properties1, &QAction::triggered, this, &TAppForm::Properties1Click);
    connect(Delete1, &QAction::triggered, this, &TAppForm::Delete1Click);
    connect(Language1, &QAction::triggered, this, &TAppForm::Language1Click);
    connect(Clear1, &QAction::triggered, this, &TAppForm::Clear1Click);

    // Start and STOP from either page; hidden on the images page, the button still answers.
    StartStop1 = new QAction(this);
    StartStop1->setObjectName(QStringLiteral("StartStop1"));
    StartStop1->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    addAction(StartStop1);
    connect(StartStop1, &QAction::triggered, ButtonProcess, &QPushButton::click);
    // Enter on the images page goes on to the options once there is something to enlarge. The
    // page's tab counts as the page; on the options page Enter is left to their controls.
    NextKey1 = new QAction(this);
    NextKey1->setObjectName(QStringLiteral("NextKey1"));
    NextKey1->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    addAction(NextKey1);
    connect(PageControl1, &QTabWidget::currentChanged, NextKey1,
            [this](int page) { NextKey1->setEnabled(page == 0); });
    connect(NextKey1, &QAction::triggered, this, [this] {
        if (ListModel->rowCount() > 0)
            ButtonNextClick();
    });

    connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PopupMenu1->popup(ListView1->viewport()->mapToGlobal(pos));
    });
}

void TAppForm::FormCreate()
{
    const QString executable = platform::ExecutablePath();
    const TEXEVersionData version = ReadEXEVersionData(executable);
    AppCompanyName = version.CompanyName;
    AppProductName = version.ProductName;
    const std::uint32_t versionMS = ReadFileVersionMS(executable);
    AppVersion = QStringLiteral("%1.%2").arg(versionMS >> 16).arg(versionMS & 0xFFFF);
    AppTitle = AppCompanyName + QStringLiteral(" - ") + AppProductName;
    setWindowTitle(AppTitle);

    SettingsIni.Open(
        ChooseSettingsFolder(platform::ExecutableFolder(), AppCompanyName, AppProductName));

    LoadLanguage(SettingsIni.Read(QStringLiteral("LanguageFile")));
    SettingsIni.ReportUnreadableFile();

    TranslateCaptions();
    FitStatusColumn();
    const int labelWidth = ScaleDimension(105);
    for (QLabel* label : {Label3, Label4, Label5, Label6, Label7, Label8, Label9, Label10}) {
        ShrinkToMaximumFontSize(label, labelWidth);
        label->setFixedWidth(labelWidth);
    }
    FillOptionLists();
    RestoreOptions();

    PageControl1->setCurrentIndex(0);
    Clear1->trigger();
}

void TAppForm::TranslateCaptions()
{
    File1->setTitle(TranslateText("&File"));
    AddFiles1->setText(TranslateText("&Add Files..."));
    AddFolder1->setText(TranslateText("Add F&older..."));
    Exit1->setText(TranslateText("E&xit"));
    Settings1->setTitle(TranslateText("&Settings"));
    IncludeSubfolders1->setText(TranslateText("&Include Subfolders"));
    ResettoDefaults1->setText(TranslateText("&Reset to Defaults..."));
    Help1->setTitle(TranslateText("&Help"));
    Help2->setText(TranslateText("Online &Help"));
    UpdateNotifications1->setText(TranslateText("&Update Notifications"));
    Language1->setText(TranslateText("&Language..."));
    SendFeedback1->setText(TranslateText("Send &Feedback..."));
    About1->setText(TranslateText("&About..."));
    ButtonFiles->setText(TranslateText("&Add Files..."));
    ButtonFolder->setText(TranslateText("Add F&older..."));
    ButtonNext->setText(TranslateText("&Next"));
    ButtonBack->setText(TranslateText("&Back"));
    ButtonProcess->setText(TranslateText("S&tart"));
    ButtonBrowse->setText(TranslateText("B&rowse..."));
    PageControl1->setTabText(0, TranslateText("Images") + QStringLiteral(" [0]"));
    PageControl1->setTabText(1, TranslateText("Options"));
    ListModel->TranslateHeaders();
    ListView1->SetEmptyHint(
        FillTemplate(TranslateText("Drop images or folders here, or use %s / %s"),
                     {WithoutAccelerator(TranslateText("&Add Files...")),
                      WithoutAccelerator(TranslateText("Add F&older..."))}));
    Label3->setText(TranslateText("Image Type:"));
    Label4->setText(TranslateText("Action:"));
    Label5->setText(TranslateText("Destination:"));
    Label6->setText(TranslateText("Original Files:"));
    Label7->setText(TranslateText("Sc&ale:"));
    Label8->setText(TranslateText("&Output format:"));
    Label9->setText(TranslateText("JPEG &quality:"));
    Label10->setText(TranslateText("S&peed:"));
    engineLabel_->setText(TranslateText("E&ngine:"));
    CheckBoxMetadata->setText(TranslateText("&Keep metadata"));
    CheckBoxMetadata->setToolTip(
        TranslateText("Keep the original's date, camera, location and colour profile"));
}

void TAppForm::FillOptionLists()
{
    ComboBoxModel->clear();
    ComboBoxModel->addItems({TranslateText("Artwork"), TranslateText("Photo")});
    ComboBoxModel->setCurrentIndex(0);
    ComboBoxAction->clear();
    ComboBoxAction->addItems(
        {TranslateText("Resize Original"), TranslateText("Resize and Create Copies")});
    ComboBoxAction->setCurrentIndex(1);
    {
        const QSignalBlocker quiet(ComboBoxDestination);
        ComboBoxDestination->clear();
        ComboBoxDestination->addItem(TranslateText("Same Folder as Original"));
        ComboBoxDestination->setCurrentIndex(0);
    }
    ComboBoxScale->clear();
    for (const QString& factor : scaleSettings)
        ComboBoxScale->addItem(FillTemplate(TranslateText("%sx"), {factor}));
    ComboBoxScale->setCurrentIndex(
        storedItem(QString::number(TBatchOptions().scale), scaleSettings, 0));
    ComboBoxFormat->clear();
    // The formats go by their own names in every language.
    ComboBoxFormat->addItems({TranslateText("Same as original"), QStringLiteral("PNG"),
                              QStringLiteral("JPEG"), QStringLiteral("WebP")});
    ComboBoxFormat->setCurrentIndex(formatItemOf(TBatchOptions().outputFormat));
    ComboBoxSpeed->clear();
    ComboBoxSpeed->addItems({TranslateText("Best quality"), TranslateText("Fast")});
    const TEngine engine = CurrentOptions().engine;
    engineBox_->clear();
    engineBox_->addItem(TranslateText("Automatic"), static_cast<int>(TEngine::Automatic));
    engineBox_->addItem(TranslateText("Built-in (CPU)"), static_cast<int>(TEngine::BuiltIn));
    engineBox_->addItem(TranslateText("Upscaler (Vulkan)"), static_cast<int>(TEngine::Upscaler));
    engineBox_->setCurrentIndex(engineBox_->findData(static_cast<int>(engine)));
    RadioButton1->setText(TranslateText("Send to Recycle Bin"));
    RadioButton2->setText(TranslateText("Delete permanently"));
    Open1->setText(TranslateText("&Open File"));
    Properties1->setText(TranslateText("&Properties"));
    Delete1->setText(TranslateText("&Delete"));
    Clear1->setText(TranslateText("&Clear"));
    Clear2->setText(TranslateText("&Clear"));
}

void TAppForm::RestoreOptions()
{
    // Selecting by code raises no change handler, so restoring writes nothing back.
    const std::optional<TImageType> model =
        ImageTypeFromSetting(SettingsIni.Read(QStringLiteral("Model")), TranslationsInAllLanguages);
    if (model) {
        ComboBoxModel->setCurrentIndex(*model == TImageType::Artwork ? 0 : 1);
    } else {
        // A new user starts with a type that works with the models that are there.
        const QString upscaler = CurrentOptions().upscalerFolder;
        if (!MissingModelFiles(upscaler, TImageType::Artwork).isEmpty() &&
            MissingModelFiles(upscaler, TImageType::Photo).isEmpty())
            ComboBoxModel->setCurrentIndex(1);
    }
    ApplyActionLayout(SettingsIni.Read(QStringLiteral("Action")) ==
                      QStringLiteral("ResizeOriginal"));
    const QString destination = SettingsIni.Read(QStringLiteral("Destination"));
    if (!destination.isEmpty() && QFileInfo(destination).isDir()) {
        const QSignalBlocker quiet(ComboBoxDestination);
        ComboBoxDestination->setEditText(destination);
    }
    if (SettingsIni.Read(QStringLiteral("OriginalFiles")) == QStringLiteral("DeletePermanently"))
        RadioButton2->setChecked(true);

    ComboBoxScale->setCurrentIndex(storedItem(SettingsIni.Read(QStringLiteral("Scale")),
                                              scaleSettings, ComboBoxScale->currentIndex()));
    ComboBoxFormat->setCurrentIndex(storedItem(SettingsIni.Read(QStringLiteral("OutputFormat")),
                                               formatSettings, ComboBoxFormat->currentIndex()));
    bool number = false;
    const int quality = SettingsIni.Read(QStringLiteral("JpegQuality")).toInt(&number);
    if (number && quality >= SpinEditQuality->minimum() && quality <= SpinEditQuality->maximum()) {
        const QSignalBlocker quiet(SpinEditQuality);
        SpinEditQuality->setValue(quality);
    }
    if (storedItem(SettingsIni.Read(QStringLiteral("Speed")), speedSettings, 0) == 1)
        speedChoice_ = TSpeed::Fast;
    const qsizetype engine = engineSettings.indexOf(SettingsIni.Read(QStringLiteral("Engine")));
    if (engine >= 0)
        engineBox_->setCurrentIndex(engineBox_->findData(static_cast<int>(engineItems[engine])));
    const QString keepMetadata = SettingsIni.Read(QStringLiteral("KeepMetadata"));
    if (keepMetadata == QStringLiteral("0") || keepMetadata == QStringLiteral("1"))
        CheckBoxMetadata->setChecked(keepMetadata == QStringLiteral("1"));
    ApplyOptionRules();
}

void TAppForm::ApplyActionLayout(bool resizeOriginal)
{
    ComboBoxAction->setCurrentIndex(resizeOriginal ? 0 : 1);
    Label6->setVisible(resizeOriginal);
    RadioButton1->setVisible(resizeOriginal);
    RadioButton2->setVisible(resizeOriginal);
    ApplyOptionRules();
}

void TAppForm::ApplyOptionRules()
{
    const TBatchOptions options = CurrentOptions();
    const bool open = !optionsLocked_;
    const bool copies = options.action == TAction::CreateCopies;
    ComboBoxDestination->setEnabled(open && copies);
    ButtonBrowse->setEnabled(open && copies);
    // Replacing keeps the original's name, and with it the format that the name promises.
    const QString keepsFormat =
        copies ? QString() : TranslateText("A replaced original always keeps its own format");
    ComboBoxFormat->setEnabled(open && copies);
    ComboBoxFormat->setToolTip(keepsFormat);
    SpinEditQuality->setEnabled(open && copies && options.outputFormat == TOutputFormat::Jpeg);
    SpinEditQuality->setToolTip(keepsFormat);
    const bool fast = FastModelInstalled(options.upscalerFolder, options.imageType);
    ComboBoxSpeed->setCurrentIndex(fast && speedChoice_ == TSpeed::Fast ? 1 : 0);
    ComboBoxSpeed->setEnabled(open && fast);
    ComboBoxSpeed->setToolTip(
        fast ? QString() : TranslateText("No fast model is installed for this image type"));
}

int TAppForm::ScaleDimension(int x) const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int screenDpi = screen ? qRound(screen->logicalDotsPerInch()) : 96;
    const int windowDpi = logicalDpiX() > 0 ? logicalDpiX() : 96;
    return platform::MulDiv(x, screenDpi, windowDpi);
}

void TAppForm::ShrinkToMaximumFontSize(QLabel* label, int maximumWidth)
{
    QFont font = label->font();
    for (int round = 0; round < 10001; ++round) {
        // An accelerator's "&" takes no room: it underlines the letter after it.
        const int width = QFontMetrics(font).size(Qt::TextShowMnemonic, label->text()).width();
        if (width <= maximumWidth || font.pointSize() <= 1)
            break;
        font.setPointSize(font.pointSize() - 1);
    }
    label->setFont(font);
}

QSize TAppForm::FirstStartSize() const
{
    // Room for a path of typical length beside the size and status columns.
    const QString typicalName =
        QStringLiteral("/home/alexandra/Pictures/Holiday 2024/IMG_20240715_142233.jpg");
    const QHeaderView* header = ListView1->horizontalHeader();
    const int width = QFontMetrics(ListView1->font()).horizontalAdvance(typicalName) + 40 +
                      header->sectionSize(ImageListModel::SizeColumn) +
                      header->sectionSize(ImageListModel::StatusColumn) +
                      style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                      2 * ListView1->frameWidth();
    return {width, width * 2 / 3};
}

void TAppForm::RestorePlacement()
{
    const std::optional<TWindowPlacement> stored =
        ParseWindowPlacement(SettingsIni.Read(QStringLiteral("WindowPlacement")));
    QList<QRect> screens;
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        screens << primary->availableGeometry();
    for (const QScreen* screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    setGeometry(PlaceWindow(stored ? std::optional(stored->geometry) : std::nullopt, screens,
                            FirstStartSize()));
    if (stored && stored->maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
    TimerPlacement->stop();
}

void TAppForm::StorePlacement()
{
    TimerPlacement->stop();
    const QString text =
        WindowPlacementText({isMaximized() ? normalGeometry() : geometry(), isMaximized()});
    // Showing the window moves it where it already is; that is no change to write.
    if (text != SettingsIni.Read(QStringLiteral("WindowPlacement")))
        SettingsIni.Write(QStringLiteral("WindowPlacement"), text);
}

void TAppForm::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (isVisible())
        TimerPlacement->start();
}

void TAppForm::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    if (isVisible())
        TimerPlacement->start();
}

void TAppForm::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isVisible())
        TimerPlacement->start();
}

void TAppForm::SetLanguageFile(const QString& fileName)
{
    SettingsIni.Write(QStringLiteral("LanguageFile"), fileName);
}

void TAppForm::SetStatusText(const QString& text)
{
    StatusPanel->setText(text);
}

QString TAppForm::StatusText() const
{
    return StatusPanel->text();
}

void TAppForm::ButtonNextClick()
{
    if (ListModel->rowCount() > 0) {
        PageControl1->setCurrentIndex(1);
        ComboBoxModel->setFocus();
    } else {
        platform::Beep();
    }
}

void TAppForm::ButtonBackClick()
{
    PageControl1->setCurrentIndex(0);
    ListView1->setFocus();
}

void TAppForm::Exit1Click()
{
    if (close())
        QApplication::quit();
}

void TAppForm::closeEvent(QCloseEvent* event)
{
    if (Batch->IsRunning()) {
        if (AskConfirmation(TranslateText("A batch is running. Stop it and quit?"),
                            TranslateText("Confirmation")) != platform::IDYES) {
            event->ignore();
            return;
        }
        ButtonProcessClick();
    }
    QMainWindow::closeEvent(event);
}

void TAppForm::Help2Click()
{
    const QString slug = AppProductName.toLower().replace(QLatin1Char(' '), QLatin1Char('-'));
    platform::ShellOpen(QUrl(QStringLiteral("http://%1/help/%2/").arg(MakerWebHost(), slug)));
}

void TAppForm::About1Click()
{
    // The box deletes itself when it closes.
    auto* box = new TAboutBox(AppProductName, AppVersion, MakerWebHost(),
                              platform::ProgramDataFolder(), this);
    box->exec();
}

void TAppForm::Language1Click()
{
    TTranslateForm form(this, {SettingsIni.Folder(),
                               [this](const QString& file) { SetLanguageFile(file); },
                               [this](const QString& message, const QString& caption) {
                                   return AskConfirmation(message, caption);
                               },
                               MakerWebHost(), [this] { return RestartArguments(); }});
    form.exec();
}

QStringList TAppForm::RestartArguments() const
{
    if (ImageRecords.empty())
        return {};
    return WriteRestartList(ImageRecords, PageControl1->currentIndex(), platform::TempFolder());
}

void TAppForm::ResettoDefaults1Click()
{
    if (AskConfirmation(TranslateText("Restart Application?"), TranslateText("Confirmation")) !=
        platform::IDYES)
        return;
    // A typed destination or quality must not bring the old settings back.
    TimerDestination->stop();
    TimerQuality->stop();
    TimerPlacement->stop();
    QFile::remove(SettingsIni.Folder() + QStringLiteral("settings.ini"));
    QCoreApplication::processEvents();
    platform::StartDetached(platform::ExecutablePath(), {});
    QApplication::quit();
}

void TAppForm::TimerCheckerTimer()
{
    if (!Checker) {
        CheckerConfig config;
        config.AppTitle = AppTitle;
        config.AppVersion = AppVersion;
        config.Host = MakerWebHost();
        config.StorePath = CheckerStorePath(AppCompanyName, AppProductName);
        config.ShowImportant = [this](const QString& text, const QString& caption) {
            platform::MessageBox(this, text, caption, platform::MB_ICONWARNING);
        };
        Checker = std::make_unique<TChecker>(std::move(config));
        return;
    }
    if (!Checker->CheckFinished())
        return;
    TimerChecker->stop();
    UpdateNotifications1->setEnabled(true);
    if (Checker->ShowUpdate() == 0)
        UpdateNotifications1->setChecked(false);
    if (Checker->NewVersionFound() && !NewVer)
        NewVer = new TNewVer(this, AppProductName, Checker->NewVersion(), Checker->CurrentURL(),
                             QStringLiteral("http://%1/").arg(MakerWebHost()));
}

void TAppForm::UpdateNotifications1Click()
{
    // The menu item has already toggled its check mark; the choice counts from the next start.
    if (Checker)
        Checker->WriteShowUpdate(UpdateNotifications1->isChecked() ? 1 : 0);
}

void TAppForm::SendFeedback1Click()
{
    TFeedbackForm form({AppTitle, AppProductName, AppVersion, MakerWebHost()}, this);
    form.exec();
}

void TAppForm::TimerParamTimer()
{
    TimerParam->stop();
    const TStartArguments start = ParseStartArguments(arguments_, platform::TempFolder());
    if (!start.restartList.isEmpty()) {
        if (const std::optional<TRestartList> list = TakeRestartList(start.restartList)) {
            for (const TMyRecord& image : list->images) {
                AppendImage(ImageRecords, image.FName);
                ImageRecords.back().FCompleted = image.FCompleted;
                if (image.FCompleted)
                    ImageRecords.back().FStatus = TranslateText("Completed");
            }
            ImageAdder.MakeAdditionVisible();
            if (list->page == 1 && !ImageRecords.empty())
                ButtonNextClick();
        }
    }
    ReportSkippedNames(ImageAdder.AddNames(start.names));
}

void TAppForm::ReportSkippedNames(const QStringList& names)
{
    if (names.size() == 1)
        SetStatusText(
            FillTemplate(TranslateText("Not an image the program can enlarge: %s"), names));
    else if (names.size() > 1)
        SetStatusText(
            FillTemplate(TranslateText("%s names skipped: not images the program can enlarge"),
                         {QString::number(names.size())}));
}

void TAppForm::ButtonFilesClick()
{
    QStringList patterns;
    for (const QString& extension : SupportedImageExtensions())
        patterns << QStringLiteral("*.") + extension;
    // The formats are too many to spell out in the name of the filter.
    const QString filter = TranslateText("Image Files") + QLatin1Char('|') +
                           patterns.join(QLatin1Char(';')) + QLatin1Char('|') +
                           TranslateText("All Files (*.*)") + QStringLiteral("|*.*");
    const QStringList files =
        platform::GetOpenFileNames(this, QString(), QString(), QtFileFilter(filter));
    if (files.isEmpty())
        return;
    // Whatever the user picked is taken, also types the upscaler may refuse.
    for (const QString& file : files)
        AppendImage(ImageRecords, file);
    ImageAdder.MakeAdditionVisible();
}

void TAppForm::ButtonFolderClick()
{
    const QStringList folders = platform::GetExistingDirectories(
        this, TranslateText("Select folder:"), LastFolder, TranslateText("Select"));
    if (folders.isEmpty())
        return;
    LastFolder = folders.first();
    for (const QString& folder : folders)
        ImageAdder.AddMyFolder(folder);
}

void TAppForm::dragEnterEvent(QDragEnterEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); }))
        event->acceptProposedAction();
}

void TAppForm::dropEvent(QDropEvent* event)
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
            ReportSkippedNames(ImageAdder.AddNames(names));
            PageControl1->setCurrentIndex(0);
        },
        Qt::QueuedConnection);
}

bool TAppForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ListView1 && event->type() == QEvent::KeyPress &&
        ListView1KeyDown(static_cast<QKeyEvent*>(event)))
        return true;
    return QMainWindow::eventFilter(watched, event);
}

bool TAppForm::ListView1KeyDown(const QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete)
        Delete1->trigger();
    const auto modifiers =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (modifiers == Qt::ControlModifier && event->key() == Qt::Key_A) {
        ListView1->selectAll();
        return true;
    }
    return false;
}

int TAppForm::ItemIndex() const
{
    int first = -1;
    for (const QItemSelectionRange& range : ListView1->selectionModel()->selection()) {
        if (first < 0 || range.top() < first)
            first = range.top();
    }
    return first;
}

void TAppForm::ListView1DblClick()
{
    Open1Click();
}

void TAppForm::Open1Click()
{
    const int row = ItemIndex();
    if (row >= 0 && static_cast<size_t>(row) < ImageRecords.size())
        platform::ShellOpenFile(
            QFileInfo(ImageRecords[static_cast<size_t>(row)].FName).absoluteFilePath());
}

void TAppForm::Properties1Click()
{
    const int row = ItemIndex();
    if (row >= 0 && static_cast<size_t>(row) < ImageRecords.size())
        platform::ShowFileProperties(
            QFileInfo(ImageRecords[static_cast<size_t>(row)].FName).absoluteFilePath());
}

void TAppForm::Delete1Click()
{
    std::vector<char> marked(ImageRecords.size(), 0);
    for (const QItemSelectionRange& range : ListView1->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            if (static_cast<size_t>(row) < marked.size())
                marked[static_cast<size_t>(row)] = 1;
        }
    }
    DeleteRecordsAt(ImageRecords, marked);
    ListModel->SetItemCount();
    ListView1->viewport()->update();
    ListView1->clearSelection();
    KacItemVarGuncelle();
}

void TAppForm::ComboBoxModelChange()
{
    SettingsIni.Write(QStringLiteral("Model"), ImageTypeSettingName(CurrentOptions().imageType));
    ApplyOptionRules();
}

void TAppForm::ComboBoxActionChange()
{
    if (CurrentOptions().action == TAction::ResizeOriginal)
        ComboBoxDegistirResizeOriginal();
    else
        ComboBoxDegistirCreateCopies();
}

void TAppForm::ComboBoxDegistirResizeOriginal()
{
    ApplyActionLayout(true);
    SettingsIni.Write(QStringLiteral("Action"), QStringLiteral("ResizeOriginal"));
}

void TAppForm::ComboBoxDegistirCreateCopies()
{
    ApplyActionLayout(false);
    SettingsIni.Write(QStringLiteral("Action"), QStringLiteral("CreateCopies"));
}

void TAppForm::ComboBoxDestinationChange()
{
    TimerDestination->start();
}

void TAppForm::StoreDestination()
{
    TimerDestination->stop();
    SettingsIni.Write(QStringLiteral("Destination"), ComboBoxDestination->currentText());
}

void TAppForm::RadioButton1Click()
{
    SettingsIni.Write(QStringLiteral("OriginalFiles"), QStringLiteral("SendToRecycleBin"));
}

void TAppForm::RadioButton2Click()
{
    SettingsIni.Write(QStringLiteral("OriginalFiles"), QStringLiteral("DeletePermanently"));
}

void TAppForm::ComboBoxScaleChange()
{
    SettingsIni.Write(QStringLiteral("Scale"), scaleSettings.value(ComboBoxScale->currentIndex()));
}

void TAppForm::ComboBoxFormatChange()
{
    SettingsIni.Write(QStringLiteral("OutputFormat"),
                      formatSettings.value(ComboBoxFormat->currentIndex()));
    ApplyOptionRules();
}

void TAppForm::SpinEditQualityChange()
{
    TimerQuality->start();
}

void TAppForm::StoreQuality()
{
    TimerQuality->stop();
    SettingsIni.Write(QStringLiteral("JpegQuality"), QString::number(SpinEditQuality->value()));
}

void TAppForm::ComboBoxSpeedChange()
{
    speedChoice_ = ComboBoxSpeed->currentIndex() == 1 ? TSpeed::Fast : TSpeed::BestQuality;
    SettingsIni.Write(QStringLiteral("Speed"), speedSettings.value(ComboBoxSpeed->currentIndex()));
}

void TAppForm::onEngineChosen()
{
    const auto engine =
        std::find(std::begin(engineItems), std::end(engineItems), CurrentOptions().engine);
    SettingsIni.Write(QStringLiteral("Engine"),
                      engineSettings.value(static_cast<int>(engine - std::begin(engineItems))));
}

void TAppForm::CheckBoxMetadataClick()
{
    SettingsIni.Write(QStringLiteral("KeepMetadata"),
                      CheckBoxMetadata->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

void TAppForm::Clear1Click()
{
    ImageRecords.clear();
    ListModel->SetItemCount();
    ListModel->ImageListHazirla();
    ListView1->viewport()->update();
    ListView1->clearSelection();
    KacItemVarGuncelle();
    QCoreApplication::processEvents();
}

void TAppForm::KacItemVarGuncelle()
{
    PageControl1->setTabText(0, TranslateText("Images") +
                                    QStringLiteral(" [%1]").arg(ImageRecords.size()));
}

TBatchOptions TAppForm::CurrentOptions() const
{
    TBatchOptions options;
    options.imageType =
        ComboBoxModel->currentIndex() == 0 ? TImageType::Artwork : TImageType::Photo;
    options.action =
        ComboBoxAction->currentIndex() == 0 ? TAction::ResizeOriginal : TAction::CreateCopies;
    options.disposal =
        RadioButton1->isChecked() ? TDisposal::RecycleBin : TDisposal::DeletePermanently;
    // The first item of the box stands for "beside the original"; anything else is a folder.
    const QString destination = ComboBoxDestination->currentText();
    if (destination != ComboBoxDestination->itemText(0))
        options.destination = destination;
    options.upscalerFolder = platform::ProgramDataFolder() + QStringLiteral("realesrgan/");
    // A box left empty by a start that failed half-way hands the default on.
    options.scale =
        scaleSettings.value(ComboBoxScale->currentIndex(), QString::number(options.scale)).toInt();
    const int format = ComboBoxFormat->currentIndex();
    if (format >= 0 && format < static_cast<int>(std::size(formatItems)))
        options.outputFormat = formatItems[format];
    options.jpegQuality = SpinEditQuality->value();
    if (speedChoice_ == TSpeed::Fast &&
        FastModelInstalled(options.upscalerFolder, options.imageType))
        options.speed = TSpeed::Fast;
    options.keepMetadata = CheckBoxMetadata->isChecked();
    // A box not filled yet hands on the program's own default: each computer picks its engine.
    options.engine = engineBox_->currentIndex() >= 0
                         ? static_cast<TEngine>(engineBox_->currentData().toInt())
                         : TEngine::Automatic;
    return options;
}

void TAppForm::SetBatchFace(bool running)
{
    ButtonProcess->setText(running ? TranslateText("S&TOP") : TranslateText("S&tart"));
    ButtonProcess->setIcon(namedIcon(running ? "stop" : "tick_button"));
}

void TAppForm::SetImageStatus(int index, const QString& status)
{
    if (index < 0 || static_cast<size_t>(index) >= ImageRecords.size())
        return;
    ImageRecords[static_cast<size_t>(index)].FStatus = status;
    ListModel->RefreshRow(index);
}

void TAppForm::ButtonProcessClick()
{
    if (Batch->IsRunning()) {
        Batch->Stop();
        SetBatchFace(false);
        SetStatusText(TranslateText("Aborted"));
        // "Start" comes back when the stopped upscaler has really ended.
        if (Batch->IsBusy())
            ButtonProcess->setEnabled(false);
        else
            ReturnToIdle();
        return;
    }

    const auto warn = [this](const QString& text) {
        platform::MessageBox(this, text, TranslateText("WARNING"), platform::MB_ICONWARNING);
    };
    if (ImageRecords.empty()) {
        warn(TranslateText("No image files have been added!"));
        PageControl1->setCurrentIndex(0);
        return;
    }
    // What is enlarged already is never enlarged again: after a STOP, Start goes on with the rest.
    const auto waiting = std::count_if(ImageRecords.begin(), ImageRecords.end(),
                                       [](const TMyRecord& record) { return !record.FCompleted; });
    if (waiting == 0) {
        warn(TranslateText("Every image in the list has been enlarged already."));
        return;
    }
    const TBatchOptions options = CurrentOptions();
    // An emptied box names no folder at all, which is not the same as "beside the original".
    const bool noFolder =
        options.action == TAction::CreateCopies && ComboBoxDestination->currentText().isEmpty();
    switch (noFolder ? TDestinationCheck::Missing : PrepareDestination(options)) {
    case TDestinationCheck::Ready:
        break;
    case TDestinationCheck::Missing:
        warn(TranslateText("Directory does not exist!"));
        ComboBoxDestination->setFocus();
        return;
    case TDestinationCheck::NotWritable:
        warn(TranslateText("Unable to write to directory!"));
        ComboBoxDestination->setFocus();
        return;
    }
    const QStringList missingModel =
        MissingModelFiles(options.upscalerFolder, options.imageType, options.speed);
    if (!missingModel.isEmpty()) {
        QStringList names;
        for (const QString& file : missingModel)
            names << QFileInfo(file).fileName();
        warn(FillTemplate(
            TranslateText("The model of this image type is missing: %s. Its files belong in the "
                          "folder %s"),
            {names.join(QStringLiteral(", ")), ModelFolder(options.upscalerFolder)}));
        return;
    }

    SetBatchFace(true);
    for (size_t i = 0; i < ImageRecords.size(); ++i) {
        if (!ImageRecords[i].FCompleted) {
            ImageRecords[i].FReason.clear();
            SetImageStatus(static_cast<int>(i), QString());
        }
    }
    SetBatchCommandsEnabled(false);
    SetOptionsEnabled(false);
    Progress.Begin(static_cast<int>(waiting));
    rowsKnownToProgress_ = ImageRecords.size();
    ProgressBar1->setRange(0, 1000);
    ShowProgress();
    Batch->Start(options, [this](int fromRow) -> std::optional<TBatchEngine::TQueuedImage> {
        for (auto row = static_cast<size_t>(std::max(fromRow, 0)); row < ImageRecords.size();
             ++row) {
            if (!ImageRecords[row].FCompleted)
                return TBatchEngine::TQueuedImage{static_cast<int>(row), ImageRecords[row].FName};
        }
        return std::nullopt;
    });
}

void TAppForm::SetBatchCommandsEnabled(bool enabled)
{
    // The batch addresses ImageRecords by index: entries may be added during it, not removed.
    Delete1->setEnabled(enabled);
    Clear1->setEnabled(enabled);
    Clear2->setEnabled(enabled);
}

void TAppForm::SetOptionsEnabled(bool enabled)
{
    optionsLocked_ = !enabled;
    for (QWidget* control :
         std::initializer_list<QWidget*>{ComboBoxModel, ComboBoxAction, RadioButton1, RadioButton2,
                                         ComboBoxScale, engineBox_, CheckBoxMetadata})
        control->setEnabled(enabled);
    ResettoDefaults1->setEnabled(enabled);
    Language1->setEnabled(enabled);
    ApplyOptionRules();
}

void TAppForm::ReturnToIdle()
{
    ButtonProcess->setEnabled(true);
    SetBatchCommandsEnabled(true);
    SetOptionsEnabled(true);
    StatusProgress->clear();
    platform::SetLauncherProgress(QStringLiteral("grandora.desktop"), 0, false);
}

void TAppForm::ShowProgress()
{
    ProgressBar1->setValue(qRound(Progress.Overall() * ProgressBar1->maximum()));
    const int current = std::min(Progress.Done() + 1, Progress.Total());
    QString text = QStringLiteral("%1 / %2").arg(current).arg(Progress.Total());
    if (const std::optional<std::uint32_t> left = Progress.TimeLeft())
        text += QStringLiteral("  \u00b7  ") + TimeLeftText(*left);
    StatusProgress->setText(text);
    platform::SetLauncherProgress(QStringLiteral("grandora.desktop"), Progress.Overall(), true);
}

void TAppForm::FitStatusColumn()
{
    const QFontMetrics rows(ListView1->font());
    const QFontMetrics title(ListView1->horizontalHeader()->font());
    int width = title.horizontalAdvance(
        ListModel->headerData(ImageListModel::StatusColumn, Qt::Horizontal, Qt::DisplayRole)
            .toString());
    for (const char* status : {"Completed", "Failed", "Aborted"})
        width = std::max(width, rows.horizontalAdvance(TranslateText(status)));
    width = std::max(
        width, rows.horizontalAdvance(TranslateText("Processing...") + QStringLiteral(" 100%")));
    // Room for the cell's margins and the grid line, never narrower than the classic 100.
    ListView1->horizontalHeader()->resizeSection(ImageListModel::StatusColumn,
                                                 std::max(100, width + 16));
}

void TAppForm::ResizeImageAI(int index, const QString& inputfile)
{
    Progress.Started();
    SetImageStatus(index, TranslateText("Processing..."));
    SetStatusText(FillTemplate(TranslateText("Resizing %s..."), {inputfile}));
    // The list follows the work unless the user is looking elsewhere.
    if (!lastUserScroll_.isValid() || lastUserScroll_.elapsed() > 3000)
        ListView1->scrollTo(ListModel->index(index, 0));
    ShowProgress();
}

void TAppForm::BatchImageProgress(int index, double fraction)
{
    Progress.Advanced(fraction);
    SetImageStatus(index, TranslateText("Processing...") +
                              QStringLiteral(" %1%").arg(static_cast<int>(fraction * 100)));
    ShowProgress();
}

void TAppForm::ConsoleRunner1Terminated(int index, const TImageResult& result)
{
    if (index >= 0 && static_cast<size_t>(index) < ImageRecords.size()) {
        TMyRecord& record = ImageRecords[static_cast<size_t>(index)];
        record.FCompleted = result.outcome == TImageOutcome::Completed;
        // What a completed image lost shows where a failed one's reason would.
        record.FReason = record.FCompleted ? result.note : result.reason;
    }
    switch (result.outcome) {
    case TImageOutcome::Completed:
        SetImageStatus(index, TranslateText("Completed"));
        if (!result.note.isEmpty())
            SetStatusText(result.note);
        break;
    case TImageOutcome::Failed:
        SetImageStatus(index, TranslateText("Failed"));
        SetStatusText(result.reason);
        break;
    case TImageOutcome::Aborted:
        SetImageStatus(index, TranslateText("Aborted"));
        return;
    }
    Progress.Finished(result.pixels, result.outcome == TImageOutcome::Completed,
                      result.milliseconds);
    ShowProgress();
}

void TAppForm::BatchStopped()
{
    ReturnToIdle();
}

void TAppForm::Bitti(const TBatchSummary& summary)
{
    SetBatchFace(false);
    ReturnToIdle();
    ProgressBar1->setValue(ProgressBar1->maximum());
    const QString failed = QString::number(summary.failed);
    QString ending;
    if (summary.failed == 0)
        ending = TranslateText("Completed");
    else if (!summary.commonFailure.isEmpty())
        ending = FillTemplate(TranslateText("%s failed: %s"), {failed, summary.commonFailure});
    else
        ending = FillTemplate(TranslateText("%s failed; the reasons are on the rows"), {failed});
    if (summary.noted == 1)
        ending += QStringLiteral(" \u00b7 ") + summary.lastNote;
    else if (summary.noted > 1)
        ending += QStringLiteral(" \u00b7 ") +
                  FillTemplate(TranslateText("%s notes, the last: %s"),
                               {QString::number(summary.noted), summary.lastNote});
    if (!summary.advice.isEmpty())
        ending += QStringLiteral(" \u00b7 ") + summary.advice;
    SetStatusText(ending);
    if (!isActiveWindow())
        platform::ShowNotification(AppProductName, TranslateText("The batch has ended"),
                                   FillTemplate(TranslateText("%s completed, %s failed"),
                                                {QString::number(summary.completed), failed}));
    const QString elapsed = ElapsedText(summary.elapsedMs);

    TFormResult form(this, [this] { return ResultsFolder(); });
    form.Label4->setText(QString::number(summary.completed));
    form.Label5->setText(elapsed);
    form.Label3->setVisible(summary.totalOutputBytes != 0);
    form.Label6->setVisible(summary.totalOutputBytes != 0);
    const TSizeChange change = SizeChangeText(summary.totalInputBytes, summary.totalOutputBytes);
    form.Label3->setText(change.caption);
    form.Label6->setText(change.value);
    for (QLabel* label : {form.Label3, form.Label4, form.Label5, form.Label6})
        label->adjustSize();
    form.ShowOtherCounts(summary.failed, summary.aborted);
    ShowResultWindow(form);
}

QString TAppForm::ResultsFolder() const
{
    const TBatchOptions options = CurrentOptions();
    if (options.action == TAction::ResizeOriginal || options.destination.isEmpty()) {
        return ImageRecords.empty() ? QString()
                                    : QFileInfo(ImageRecords.front().FName).absolutePath();
    }
    return options.destination;
}

void TAppForm::ButtonBrowseClick()
{
    const QStringList chosen = platform::GetExistingDirectories(
        this, TranslateText("Select folder:"), LastFolder, TranslateText("Select"));
    if (chosen.isEmpty() || chosen.front().isEmpty())
        return;
    LastFolder = chosen.front();
    // Setting the text runs the change handler; a chosen folder is stored at once.
    ComboBoxDestination->setEditText(LastFolder);
    StoreDestination();
}

int TAppForm::AskConfirmation(const QString& message, const QString& caption)
{
    const bool onTop = windowFlags() & Qt::WindowStaysOnTopHint;
    if (onTop) {
        setWindowFlag(Qt::WindowStaysOnTopHint, false);
        show();
    }
    const int answer =
        platform::AskYesNo(this, message, caption, TranslateText("Yes"), TranslateText("No"));
    if (onTop) {
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
        show();
    }
    return answer;
}
