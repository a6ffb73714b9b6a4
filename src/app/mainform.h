// The main window: the image list page, the options page, the menus, the progress and status bars
// and the start-up sequence that brings them up.
#pragma once

#include "batch/batchoptions.h"
#include "batch/batchprogress.h"
#include "imagelist.h"
#include "imagerecords.h"
#include "settingsstore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QKeyEvent;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStatusBar;
class QTabWidget;
class QTimer;
class QWidget;
class ImageListModel;
class TImageListView;
class TBatchEngine;
class TChecker;
class TNewVer;
struct TBatchSummary;
struct TImageResult;
namespace platform
{
class TInstanceFolder;
}

class TAppForm : public QMainWindow
{
    Q_OBJECT

public:
    // `arguments`: what the program was started with, after its own name.
    explicit TAppForm(QStringList arguments = QCoreApplication::arguments().mid(1),
                      QWidget* parent = nullptr);
    ~TAppForm() override;

    // X scaled from the design's pixels per inch to the screen's.
    int ScaleDimension(int x) const;
    // Shrinks the label's font point by point until its text, as shown, fits `maximumWidth`
    // (never below 1).
    static void ShrinkToMaximumFontSize(QLabel* label, int maximumWidth);

    // A Yes/No confirmation with translated captions; the window's stay-on-top style is lifted
    // while it shows. Returns platform::IDYES or platform::IDNO.
    int AskConfirmation(const QString& message, const QString& caption);

    // Stores the language file chosen in the language dialog.
    void SetLanguageFile(const QString& fileName);

    void SetStatusText(const QString& text);
    QString StatusText() const;

    // The folder "Open Folder Location..." of the result window opens: the first image's folder
    // when results went beside the originals, else the destination; empty when there is none.
    QString ResultsFolder() const;

    // What a batch started now would do, read from the option widgets.
    TBatchOptions CurrentOptions() const;

    // Components, named as the rest of the program and the tests know them.
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QPushButton* ButtonFiles = nullptr;
    QPushButton* ButtonFolder = nullptr;
    TImageListView* ListView1 = nullptr;
    ImageListModel* ListModel = nullptr;
    QPushButton* ButtonNext = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QComboBox* ComboBoxModel = nullptr;
    QComboBox* ComboBoxAction = nullptr;
    QComboBox* ComboBoxDestination = nullptr;
    QPushButton* ButtonBrowse = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QComboBox* ComboBoxScale = nullptr;
    QComboBox* ComboBoxFormat = nullptr;
    QSpinBox* SpinEditQuality = nullptr;
    QComboBox* ComboBoxSpeed = nullptr;
    QCheckBox* CheckBoxMetadata = nullptr;
    QPushButton* ButtonBack = nullptr;
    QPushButton* ButtonProcess = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* StatusPanel = nullptr;
    QLabel* StatusProgress = nullptr; // "3 / 31" and the time left while a batch runs
    QTimer* TimerChecker = nullptr;
    QTimer* TimerParam = nullptr;
    // Typing a destination writes settings.ini once the typing pauses, not at every keystroke.
    QTimer* TimerDestination = nullptr;
    // Likewise for the JPEG quality, whose arrows step one at a time.
    QTimer* TimerQuality = nullptr;
    // Moving or resizing the window writes settings.ini once the change pauses.
    QTimer* TimerPlacement = nullptr;
    // This instance's own folder for the upscaler's output, removed when the window goes.
    std::unique_ptr<platform::TInstanceFolder> InstanceFolder;
    // Runs the batch, one image at a time.
    TBatchEngine* Batch = nullptr;

    QMenu* File1 = nullptr;
    QAction* Clear2 = nullptr;
    QAction* AddFiles1 = nullptr;
    QAction* AddFolder1 = nullptr;
    QAction* Exit1 = nullptr;
    QMenu* Settings1 = nullptr;
    QAction* IncludeSubfolders1 = nullptr;
    QAction* ResettoDefaults1 = nullptr;
    QMenu* Help1 = nullptr;
    QAction* Help2 = nullptr;
    QAction* UpdateNotifications1 = nullptr;
    QAction* Language1 = nullptr;
    QAction* SendFeedback1 = nullptr;
    QAction* About1 = nullptr;

    QMenu* PopupMenu1 = nullptr;
    QAction* Open1 = nullptr;
    QAction* Properties1 = nullptr;
    QAction* Delete1 = nullptr;
    QAction* Clear1 = nullptr;
    // Keys without a menu item: Ctrl+Return starts or stops, Enter on the images page is Next.
    QAction* StartStop1 = nullptr;
    QAction* NextKey1 = nullptr;

    // The update check of this run, started by TimerChecker's first tick, and the notice it may
    // raise.
    std::unique_ptr<TChecker> Checker;
    TNewVer* NewVer = nullptr;

    // The images of the list, in the order they were added.
    TImageRecords ImageRecords;
    // Adds files to the list and keeps the count and caption in step.
    ImageListFiller ImageAdder{ImageRecords};
    // settings.ini, opened at start.
    TSettingsStore SettingsIni;

public slots:
    void ButtonNextClick();
    void ButtonBackClick();
    void Exit1Click();
    void Help2Click();
    void About1Click();
    void Language1Click();
    void ResettoDefaults1Click();
    void TimerCheckerTimer();
    void UpdateNotifications1Click();
    void SendFeedback1Click();
    void TimerParamTimer();
    void ComboBoxModelChange();
    void ComboBoxActionChange();
    void ComboBoxDegistirResizeOriginal();
    void ComboBoxDegistirCreateCopies();
    void ComboBoxDestinationChange();
    void RadioButton1Click();
    void RadioButton2Click();
    void ComboBoxScaleChange();
    void ComboBoxFormatChange();
    void SpinEditQualityChange();
    void ComboBoxSpeedChange();
    void CheckBoxMetadataClick();
    void onEngineChosen();
    void ButtonFilesClick();
    void ButtonFolderClick();
    void ListView1DblClick();
    void Open1Click();
    void Properties1Click();
    void Delete1Click();
    void Clear1Click();
    void KacItemVarGuncelle();
    void ButtonProcessClick();
    void ButtonBrowseClick();
    // The batch engine's reports: an image starts, an image has its result, a stopped batch's
    // upscaler has ended, the batch is done (the idle face and the result window).
    void ResizeImageAI(int index, const QString& inputfile);
    void BatchImageProgress(int index, double fraction);
    void ConsoleRunner1Terminated(int index, const TImageResult& result);
    void BatchStopped();
    void Bitti(const TBatchSummary& summary);

protected:
    // Closing while a batch runs asks first; a "yes" stops the batch as STOP does.
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Keys of the list: true when the key was handled and the view must not see it.
    bool ListView1KeyDown(const QKeyEvent* event);
    // The first selected row, or -1.
    int ItemIndex() const;

    void CreateComponents();
    QWidget* CreateImagesPage();
    QWidget* CreateOptionsPage();
    void CreateMenus();
    void FormCreate();
    void TranslateCaptions();
    void FillOptionLists();
    void RestoreOptions();
    void ApplyActionLayout(bool resizeOriginal);
    void CreateBatchEngine();
    // The arguments that hand the image list and page to the instance a language change starts.
    QStringList RestartArguments() const;
    // The size of the first start: full paths of typical length show.
    QSize FirstStartSize() const;
    // The window's size, position and maximised state from settings.ini, where they fit a
    // screen of today, and back into it.
    void RestorePlacement();
    void StorePlacement();
    // Writes the destination in the box to settings.ini.
    void StoreDestination();
    // Writes the JPEG quality in the box to settings.ini.
    void StoreQuality();
    // The options that depend on others: the destination and the output format only for copies,
    // the quality only for JPEG copies, Fast only where the image type has a fast model.
    void ApplyOptionRules();
    // Tells in the status bar which dropped or given names are not images the program takes.
    void ReportSkippedNames(const QStringList& names);
    void SetBatchFace(bool running);
    void SetImageStatus(int index, const QString& status);
    // Delete and Clear: off while a batch runs.
    void SetBatchCommandsEnabled(bool enabled);
    // Every control that changes what a batch does to files: off while a batch runs.
    void SetOptionsEnabled(bool enabled);
    // Back from a batch: commands and options on, no progress shown outside the window.
    void ReturnToIdle();
    // The progress bar, "n / N" with the time left, and the launcher icon, from Progress.
    void ShowProgress();
    // The Status column as wide as the longest status of the language.
    void FitStatusColumn();

    TBatchProgress Progress;
    size_t rowsKnownToProgress_ = 0;
    // When the user last scrolled the list; the running row is not pulled into view then.
    QElapsedTimer lastUserScroll_;
    // Names to add at start, or the list that a language restart hands over.
    QStringList arguments_;
    // Set while a batch runs: every option control stays off, whatever the rules allow.
    bool optionsLocked_ = false;
    // The speed the user chose. It outlasts an image type without a fast model, whose box shows
    // "Best quality", so that going back to a type with one brings Fast back.
    TSpeed speedChoice_ = TSpeed::BestQuality;
    QLabel* engineLabel_ = nullptr;
    QComboBox* engineBox_ = nullptr;
};
