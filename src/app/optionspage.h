// The second page of the main window: what a batch does, turned into a value and back, with the
// option rules applied, and Back and Start / STOP below.
#pragma once

#include "optionchoices.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimer;

class OptionsPage : public QWidget
{
    Q_OBJECT

public:
    // `upscalerFolder` holds the models: which image types are installed and which offer Fast.
    explicit OptionsPage(const QString& upscalerFolder, QWidget* parent = nullptr);

    // Captions and items in the loaded language; the choices stay.
    void translate();
    void setChoices(const TOptionChoices& choices);
    TOptionChoices choices() const;
    // While a batch runs every option stays off, whatever the rules allow.
    void setLocked(bool locked);
    // The button shows STOP while a batch runs, else Start.
    void setRunning(bool running);
    // Off while a stopped upscaler has not ended yet.
    void setStartEnabled(bool enabled);
    // Clicks Start / STOP, which does nothing while the button is off.
    void pressStartStop();
    void focusFirst();
    void focusDestination();
    // A typed destination, quality or copy name waits for the typing to pause before it counts as
    // edited; these say it now, or never.
    void flushPendingEdits();
    void dropPendingEdits();

protected:
    // Models installed or removed while the program runs show when the page comes back.
    void showEvent(QShowEvent* event) override;

signals:
    // The user changed one choice; choices() has it.
    void choiceEdited(TChoiceField field);
    void backRequested();
    // Enlarge a part of the chosen image with the options as they are.
    void previewRequested();
    void startStopRequested();

private:
    void createControls();
    void applyRules();
    void edited(TChoiceField field);
    void browseDestination();

    QString upscalerFolder_;
    bool locked_ = false;
    // The speed the user chose; the box shows Best quality where the type has no fast model.
    TSpeed speedChoice_ = TSpeed::BestQuality;

    QLabel* imageTypeLabel_ = nullptr;
    QComboBox* imageTypeBox_ = nullptr;
    QLabel* actionLabel_ = nullptr;
    QComboBox* actionBox_ = nullptr;
    QLabel* destinationLabel_ = nullptr;
    QComboBox* destinationBox_ = nullptr;
    QPushButton* browseButton_ = nullptr;
    QLabel* originalFilesLabel_ = nullptr;
    QRadioButton* recycleOriginalsButton_ = nullptr;
    QRadioButton* deleteOriginalsButton_ = nullptr;
    QLabel* scaleLabel_ = nullptr;
    QComboBox* scaleBox_ = nullptr;
    QLabel* formatLabel_ = nullptr;
    QComboBox* formatBox_ = nullptr;
    QLabel* qualityLabel_ = nullptr;
    QSpinBox* qualityBox_ = nullptr;
    QLabel* speedLabel_ = nullptr;
    QComboBox* speedBox_ = nullptr;
    QLabel* engineLabel_ = nullptr;
    QComboBox* engineBox_ = nullptr;
    QCheckBox* keepMetadataBox_ = nullptr;
    QCheckBox* keepFolderStructureBox_ = nullptr;
    QLabel* copyNameLabel_ = nullptr;
    QLineEdit* copyNameEdit_ = nullptr;
    QLabel* nameTakenLabel_ = nullptr;
    QComboBox* nameTakenBox_ = nullptr;
    QPushButton* backButton_ = nullptr;
    QPushButton* previewButton_ = nullptr;
    QPushButton* startStopButton_ = nullptr;
    QTimer* destinationPause_ = nullptr;
    QTimer* qualityPause_ = nullptr;
    QTimer* copyNamePause_ = nullptr;
};
