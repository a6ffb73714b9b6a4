// The main window: the menus, the images and options pages, the progress and status bars, and
// what happens around a batch: start-up, the update check, placement, drops, closing.
#pragma once

#include "settingsstore.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <QPointer>
#include <memory>

class BatchController;
class ComparisonWindow;
class ImageListModel;
class ImagesPage;
class OptionsPage;
class PlacementKeeper;
class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QTabWidget;
class QTimer;
class TChecker;
class TNewVer;
struct TBatchSummary;
enum class TChoiceField;
namespace platform
{
class TInstanceFolder;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // `arguments`: what the program was started with, after its own name.
    explicit MainWindow(QStringList arguments = QCoreApplication::arguments().mid(1),
                        QWidget* parent = nullptr);
    ~MainWindow() override;

protected:
    // Closing while a batch runs asks first; a "yes" stops the batch as STOP does.
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private slots:
    // One tick of the update check: it starts on the first and is followed up once it is done.
    void pollUpdateCheck();

private:
    void createComponents();
    void createMenus();
    void loadStartValues();
    void translate();
    void connectBatch();

    void showOptionsPage();
    // A completed row's original and enlarged image in a comparison window; only the enlarged
    // one when the original is gone for good.
    void compareRow(int row);
    // A part of the selected image, or of the first listed one, enlarged with the options as
    // they are, in the preview window; a second preview there is compared with the first.
    void showPreview();
    void showImagesPage();
    void updateImagesTabTitle(int count);
    void onChoiceEdited(TChoiceField field);
    void onStartStopRequested();
    void onBatchIdle();
    void onBatchFinished(const TBatchSummary& summary, const QString& resultsFolder);
    void showProgress(double overall, const QString& text);
    // Every control that changes what a batch does to files: off while a batch runs.
    void setBatchControlsEnabled(bool enabled);

    void takeStartArguments();
    // Tells in the status bar which dropped or given names are not images the program takes.
    void reportSkippedNames(const QStringList& names);
    void setStatusText(const QString& text);
    // A Yes/No confirmation with translated captions; the window's stay-on-top style is lifted
    // while it shows. Returns platform::IDYES or platform::IDNO.
    int askConfirmation(const QString& message, const QString& caption, bool noIsDefault = false);
    void openOnlineHelp();
    void showAbout();
    void chooseLanguage();
    void sendFeedback();
    void resetToDefaults();
    void onUpdateNotificationsToggled();
    // The arguments that hand the image list and page to the instance a language change starts.
    QStringList restartArguments() const;

    QStringList arguments_;
    // settings.ini, opened at start.
    TSettingsStore settings_;
    // The upscaler's folder with its models, beside the program.
    QString upscalerFolder_;
    // This instance's own folder for the upscaler's output, removed when the window goes.
    std::unique_ptr<platform::TInstanceFolder> instanceFolder_;

    ImageListModel* images_ = nullptr;
    QPointer<ComparisonWindow> previewWindow_;
    BatchController* batch_ = nullptr;
    QTabWidget* pages_ = nullptr;
    ImagesPage* imagesPage_ = nullptr;
    OptionsPage* optionsPage_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QLabel* statusText_ = nullptr;
    QLabel* statusProgress_ = nullptr; // "3 / 31" and the time left while a batch runs
    QTimer* updateCheckTimer_ = nullptr;
    QTimer* startArgumentsTimer_ = nullptr;
    // The window's size, position and maximised state in settings.ini.
    PlacementKeeper* placement_ = nullptr;

    QMenu* fileMenu_ = nullptr;
    QAction* clearListAction_ = nullptr;
    QAction* addFilesAction_ = nullptr;
    QAction* addFolderAction_ = nullptr;
    QAction* exitAction_ = nullptr;
    QMenu* settingsMenu_ = nullptr;
    QAction* includeSubfoldersAction_ = nullptr;
    QAction* resetToDefaultsAction_ = nullptr;
    QMenu* helpMenu_ = nullptr;
    QAction* onlineHelpAction_ = nullptr;
    QAction* updateNotificationsAction_ = nullptr;
    QAction* languageAction_ = nullptr;
    QAction* sendFeedbackAction_ = nullptr;
    QAction* aboutAction_ = nullptr;
    // Keys without a menu item: Ctrl+Return starts or stops, Enter on the images page is Next.
    QAction* startStopAction_ = nullptr;
    QAction* nextKeyAction_ = nullptr;

    // The update check of this run and the notice it may raise.
    std::unique_ptr<TChecker> checker_;
    TNewVer* newVersionNotice_ = nullptr;
};
