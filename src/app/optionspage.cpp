#include "optionspage.h"

#include "batch/copynaming.h"
#include "i18n/shownnumbers.h"
#include "i18n/translation.h"
#include "imagelist.h"
#include "platform/dialogs.h"
#include "widgetkit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

namespace
{

template <typename T> void selectItem(QComboBox* box, T value)
{
    const QSignalBlocker quiet(box);
    box->setCurrentIndex(box->findData(static_cast<int>(value)));
}

template <typename T> T itemOf(const QComboBox* box, T fallback)
{
    return box->currentIndex() >= 0 ? static_cast<T>(box->currentData().toInt()) : fallback;
}

// A tooltip that names files and a folder runs wider than the window as one line. As rich text it
// wraps, and the table gives it room enough not to break every name.
QString wrappingTip(const QString& text)
{
    return text.isEmpty() ? QString()
                          : QStringLiteral("<table width=\"%1\"><tr><td>%2</td></tr></table>")
                                .arg(scaleDimension(420))
                                .arg(text.toHtmlEscaped());
}

// A typed value counts once the typing pauses this long.
constexpr int typingPauseMs = 500;

} // namespace

OptionsPage::OptionsPage(const QString& upscalerFolder, QWidget* parent)
    : QWidget(parent), upscalerFolder_(upscalerFolder)
{
    setObjectName(QStringLiteral("optionsPage"));
    createControls();
    destinationPause_ = new QTimer(this);
    destinationPause_->setObjectName(QStringLiteral("destinationPause"));
    destinationPause_->setSingleShot(true);
    destinationPause_->setInterval(typingPauseMs);
    connect(destinationPause_, &QTimer::timeout, this,
            [this] { emit choiceEdited(TChoiceField::Destination); });
    qualityPause_ = new QTimer(this);
    qualityPause_->setObjectName(QStringLiteral("qualityPause"));
    qualityPause_->setSingleShot(true);
    qualityPause_->setInterval(typingPauseMs);
    connect(qualityPause_, &QTimer::timeout, this,
            [this] { emit choiceEdited(TChoiceField::JpegQuality); });
    copyNamePause_ = new QTimer(this);
    copyNamePause_->setObjectName(QStringLiteral("copyNamePause"));
    copyNamePause_->setSingleShot(true);
    copyNamePause_->setInterval(typingPauseMs);
    connect(copyNamePause_, &QTimer::timeout, this,
            [this] { emit choiceEdited(TChoiceField::CopyName); });

    connect(backButton_, &QPushButton::clicked, this, &OptionsPage::backRequested);
    connect(startStopButton_, &QPushButton::clicked, this, &OptionsPage::startStopRequested);
    connect(previewButton_, &QPushButton::clicked, this, [this] {
        flushPendingEdits();
        emit previewRequested();
    });
    connect(browseButton_, &QPushButton::clicked, this, &OptionsPage::browseDestination);
    connect(imageTypeBox_, &QComboBox::activated, this,
            [this] { edited(TChoiceField::ImageType); });
    connect(actionBox_, &QComboBox::activated, this, [this] { edited(TChoiceField::Action); });
    // Whether the tree can be kept depends on the text, so the rules follow every keystroke.
    connect(destinationBox_, &QComboBox::editTextChanged, this, [this] {
        destinationPause_->start();
        applyRules();
    });
    connect(keepFolderStructureBox_, &QCheckBox::clicked, this,
            [this] { edited(TChoiceField::KeepFolderStructure); });
    connect(copyNameEdit_, &QLineEdit::textEdited, copyNamePause_, qOverload<>(&QTimer::start));
    connect(nameTakenBox_, &QComboBox::activated, this,
            [this] { edited(TChoiceField::WhenNameTaken); });
    connect(recycleOriginalsButton_, &QRadioButton::clicked, this,
            [this] { edited(TChoiceField::Disposal); });
    connect(deleteOriginalsButton_, &QRadioButton::clicked, this,
            [this] { edited(TChoiceField::Disposal); });
    connect(scaleBox_, &QComboBox::activated, this, [this] { edited(TChoiceField::Scale); });
    connect(formatBox_, &QComboBox::activated, this,
            [this] { edited(TChoiceField::OutputFormat); });
    connect(qualityBox_, &QSpinBox::valueChanged, qualityPause_, qOverload<>(&QTimer::start));
    connect(speedBox_, &QComboBox::activated, this, [this] {
        speedChoice_ = itemOf(speedBox_, TSpeed::BestQuality);
        edited(TChoiceField::Speed);
    });
    connect(engineBox_, &QComboBox::activated, this, [this] { edited(TChoiceField::Engine); });
    connect(keepMetadataBox_, &QCheckBox::clicked, this,
            [this] { edited(TChoiceField::KeepMetadata); });
    setChoices(TOptionChoices());
}

void OptionsPage::createControls()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* options = new QWidget(this);
    auto* grid = new QGridLayout(options);
    grid->setContentsMargins(16, 20, 16, 8);
    grid->setHorizontalSpacing(10);
    // Tight enough that every option fits the window's smallest height.
    grid->setVerticalSpacing(8);
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
    auto makeRadio = [&](const char* name) {
        auto* radio = new QRadioButton(options);
        radio->setObjectName(QLatin1String(name));
        return radio;
    };
    imageTypeLabel_ = makeLabel("imageTypeLabel");
    actionLabel_ = makeLabel("actionLabel");
    destinationLabel_ = makeLabel("destinationLabel");
    originalFilesLabel_ = makeLabel("originalFilesLabel");
    imageTypeBox_ = makeCombo("imageTypeBox", false);
    imageTypeBox_->addItem(QString(), static_cast<int>(TImageType::Artwork));
    imageTypeBox_->addItem(QString(), static_cast<int>(TImageType::Photo));
    actionBox_ = makeCombo("actionBox", false);
    actionBox_->addItem(QString(), static_cast<int>(TAction::ResizeOriginal));
    actionBox_->addItem(QString(), static_cast<int>(TAction::CreateCopies));
    destinationBox_ = makeCombo("destinationBox", true);
    // Its one item stands for "beside the originals"; any other text is a folder.
    destinationBox_->addItem(QString());
    browseButton_ = makeButton(options, "browseButton", "folder", 110);
    recycleOriginalsButton_ = makeRadio("recycleOriginalsButton");
    deleteOriginalsButton_ = makeRadio("deleteOriginalsButton");
    scaleLabel_ = makeLabel("scaleLabel");
    formatLabel_ = makeLabel("formatLabel");
    qualityLabel_ = makeLabel("qualityLabel");
    speedLabel_ = makeLabel("speedLabel");
    engineLabel_ = makeLabel("engineLabel");
    scaleBox_ = makeCombo("scaleBox", false);
    for (const int scale : {2, 3, 4})
        scaleBox_->addItem(QString(), scale);
    formatBox_ = makeCombo("formatBox", false);
    for (const TOutputFormat format : {TOutputFormat::SameAsOriginal, TOutputFormat::Png,
                                       TOutputFormat::Jpeg, TOutputFormat::WebP})
        formatBox_->addItem(QString(), static_cast<int>(format));
    qualityBox_ = new QSpinBox(options);
    qualityBox_->setObjectName(QStringLiteral("qualityBox"));
    qualityBox_->setRange(1, 100);
    speedBox_ = makeCombo("speedBox", false);
    speedBox_->addItem(QString(), static_cast<int>(TSpeed::BestQuality));
    speedBox_->addItem(QString(), static_cast<int>(TSpeed::Fast));
    engineBox_ = makeCombo("engineBox", false);
    for (const TEngine engine : {TEngine::Automatic, TEngine::BuiltIn, TEngine::Upscaler})
        engineBox_->addItem(QString(), static_cast<int>(engine));
    keepMetadataBox_ = new QCheckBox(options);
    keepMetadataBox_->setObjectName(QStringLiteral("keepMetadataBox"));
    keepFolderStructureBox_ = new QCheckBox(options);
    keepFolderStructureBox_->setObjectName(QStringLiteral("keepFolderStructureBox"));
    copyNameLabel_ = makeLabel("copyNameLabel");
    copyNameEdit_ = new QLineEdit(options);
    copyNameEdit_->setObjectName(QStringLiteral("copyNameEdit"));
    nameTakenLabel_ = makeLabel("nameTakenLabel");
    // Too long for one line beside the others in most languages.
    nameTakenLabel_->setWordWrap(true);
    nameTakenBox_ = makeCombo("nameTakenBox", false);
    for (const TNameTaken choice : {TNameTaken::AddNumber, TNameTaken::Skip, TNameTaken::Replace})
        nameTakenBox_->addItem(QString(), static_cast<int>(choice));
    copyNameLabel_->setBuddy(copyNameEdit_);
    nameTakenLabel_->setBuddy(nameTakenBox_);
    // Their accelerators reach the controls beside them.
    scaleLabel_->setBuddy(scaleBox_);
    formatLabel_->setBuddy(formatBox_);
    qualityLabel_->setBuddy(qualityBox_);
    speedLabel_->setBuddy(speedBox_);
    engineLabel_->setBuddy(engineBox_);

    grid->addWidget(imageTypeLabel_, 0, 0);
    grid->addWidget(imageTypeBox_, 0, 1, 1, 2);
    grid->addWidget(actionLabel_, 1, 0);
    grid->addWidget(actionBox_, 1, 1, 1, 2);
    grid->addWidget(destinationLabel_, 2, 0);
    grid->addWidget(destinationBox_, 2, 1);
    grid->addWidget(browseButton_, 2, 2);
    grid->addWidget(keepFolderStructureBox_, 3, 1, 1, 2);
    grid->addWidget(originalFilesLabel_, 4, 0);
    grid->addWidget(recycleOriginalsButton_, 4, 1, 1, 2);
    grid->addWidget(deleteOriginalsButton_, 5, 1, 1, 2);
    grid->addWidget(copyNameLabel_, 6, 0);
    grid->addWidget(copyNameEdit_, 6, 1, 1, 2);
    grid->addWidget(nameTakenLabel_, 7, 0);
    grid->addWidget(nameTakenBox_, 7, 1, 1, 2);
    grid->addWidget(scaleLabel_, 8, 0);
    grid->addWidget(scaleBox_, 8, 1, 1, 2);
    grid->addWidget(formatLabel_, 9, 0);
    grid->addWidget(formatBox_, 9, 1, 1, 2);
    grid->addWidget(qualityLabel_, 10, 0);
    grid->addWidget(qualityBox_, 10, 1, Qt::AlignLeft);
    grid->addWidget(speedLabel_, 11, 0);
    grid->addWidget(speedBox_, 11, 1, 1, 2);
    grid->addWidget(engineLabel_, 12, 0);
    grid->addWidget(engineBox_, 12, 1, 1, 2);
    grid->addWidget(keepMetadataBox_, 13, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    // Top to bottom, left to right, whichever of the controls show.
    QWidget* order[] = {imageTypeBox_,
                        actionBox_,
                        destinationBox_,
                        browseButton_,
                        keepFolderStructureBox_,
                        recycleOriginalsButton_,
                        deleteOriginalsButton_,
                        copyNameEdit_,
                        nameTakenBox_,
                        scaleBox_,
                        formatBox_,
                        qualityBox_,
                        speedBox_,
                        engineBox_,
                        keepMetadataBox_};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    grid->setRowStretch(14, 1);
    layout->addWidget(options, 1);

    QWidget* bottom = makeBar(this, "startBar", 35);
    backButton_ = makeButton(bottom, "backButton", "previous", 134);
    previewButton_ = makeButton(bottom, "previewButton", "preview", 134);
    startStopButton_ = makeButton(bottom, "startStopButton", "tick_button", 134);
    bottom->layout()->addWidget(backButton_);
    static_cast<QHBoxLayout*>(bottom->layout())->addStretch();
    bottom->layout()->addWidget(previewButton_);
    bottom->layout()->addWidget(startStopButton_);
    layout->addWidget(bottom);
}

void OptionsPage::translate()
{
    imageTypeLabel_->setText(TranslateText("Image Type:"));
    actionLabel_->setText(TranslateText("Action:"));
    destinationLabel_->setText(TranslateText("Destination:"));
    originalFilesLabel_->setText(TranslateText("Original Files:"));
    scaleLabel_->setText(TranslateText("Sc&ale:"));
    formatLabel_->setText(TranslateText("&Output format:"));
    qualityLabel_->setText(TranslateText("JPEG &quality:"));
    speedLabel_->setText(TranslateText("S&peed:"));
    engineLabel_->setText(TranslateText("E&ngine:"));
    copyNameLabel_->setText(TranslateText("&Copy name:"));
    nameTakenLabel_->setText(TranslateText("&When the copy's name is taken:"));
    const int labelWidth = scaleDimension(105);
    for (QLabel* label :
         {imageTypeLabel_, actionLabel_, destinationLabel_, originalFilesLabel_, copyNameLabel_,
          scaleLabel_, formatLabel_, qualityLabel_, speedLabel_, engineLabel_}) {
        shrinkFontToFit(label, labelWidth);
        label->setFixedWidth(labelWidth);
    }
    // It wraps instead; only a single word too wide for the column makes it smaller.
    nameTakenLabel_->setFont(font());
    QFont wrapped = nameTakenLabel_->font();
    for (const QString& word : nameTakenLabel_->text().split(QLatin1Char(' '))) {
        while (wrapped.pointSize() > 1 &&
               QFontMetrics(wrapped).size(Qt::TextShowMnemonic, word).width() > labelWidth)
            wrapped.setPointSize(wrapped.pointSize() - 1);
    }
    nameTakenLabel_->setFont(wrapped);
    nameTakenLabel_->setFixedWidth(labelWidth);
    const TOptionChoices current = choices();
    actionBox_->setItemText(0, TranslateText("Resize Original"));
    actionBox_->setItemText(1, TranslateText("Resize and Create Copies"));
    {
        // A new caption is no choice of the user's: nothing may be stored for it.
        const QSignalBlocker quiet(destinationBox_);
        destinationBox_->setItemText(0, TranslateText("Same Folder as Original"));
    }
    for (int item = 0; item < scaleBox_->count(); ++item)
        scaleBox_->setItemText(
            item,
            FillTemplate(TranslateText("%sx"), {ShownNumber(scaleBox_->itemData(item).toInt())}));
    // The formats go by their own names in every language.
    formatBox_->setItemText(0, TranslateText("Same as original"));
    formatBox_->setItemText(1, QStringLiteral("PNG"));
    formatBox_->setItemText(2, QStringLiteral("JPEG"));
    formatBox_->setItemText(3, QStringLiteral("WebP"));
    speedBox_->setItemText(0, TranslateText("Best quality"));
    speedBox_->setItemText(1, TranslateText("Fast"));
    engineBox_->setItemText(0, TranslateText("Automatic"));
    engineBox_->setItemText(1, TranslateText("Built-in (CPU)"));
    engineBox_->setItemText(2, TranslateText("Upscaler (Vulkan)"));
    recycleOriginalsButton_->setText(TranslateText("Send to Recycle Bin"));
    deleteOriginalsButton_->setText(TranslateText("Delete permanently"));
    keepMetadataBox_->setText(TranslateText("&Keep metadata"));
    keepFolderStructureBox_->setText(TranslateText("Keep fol&der structure"));
    keepFolderStructureBox_->setToolTip(
        TranslateText("Copies of images added with a folder go into a folder of the same name in "
                      "the destination, with the subfolders below it"));
    copyNameEdit_->setToolTip(FillTemplate(
        TranslateText("Fields: %s. The extension follows the output format."), {CopyNameFields()}));
    nameTakenBox_->setItemText(0, TranslateText("Add a number"));
    nameTakenBox_->setItemText(1, TranslateText("Skip the image"));
    nameTakenBox_->setItemText(2, TranslateText("Replace the file"));
    keepMetadataBox_->setToolTip(
        TranslateText("Keep the original's date, camera, location and colour profile"));
    browseButton_->setText(TranslateText("B&rowse..."));
    backButton_->setText(TranslateText("&Back"));
    previewButton_->setText(TranslateText("Pre&view"));
    previewButton_->setToolTip(
        TranslateText("Enlarge a small part of the image with these options and compare it"));
    setRunning(false);
    // The caption of "beside the originals" has changed with the language.
    setChoices(current);
}

void OptionsPage::setChoices(const TOptionChoices& choices)
{
    selectItem(imageTypeBox_, choices.imageType);
    selectItem(actionBox_, choices.action);
    {
        const QSignalBlocker quiet(destinationBox_);
        if (choices.besideOriginals)
            destinationBox_->setCurrentIndex(0);
        else
            destinationBox_->setEditText(choices.destinationFolder);
    }
    (choices.disposal == TDisposal::DeletePermanently ? deleteOriginalsButton_
                                                      : recycleOriginalsButton_)
        ->setChecked(true);
    selectItem(scaleBox_, choices.scale);
    selectItem(formatBox_, choices.outputFormat);
    {
        const QSignalBlocker quiet(qualityBox_);
        qualityBox_->setValue(choices.jpegQuality);
    }
    speedChoice_ = choices.speed;
    selectItem(engineBox_, choices.engine);
    keepMetadataBox_->setChecked(choices.keepMetadata);
    keepFolderStructureBox_->setChecked(choices.keepFolderStructure);
    if (copyNameEdit_->text() != choices.copyName)
        copyNameEdit_->setText(choices.copyName);
    selectItem(nameTakenBox_, choices.whenNameTaken);
    applyRules();
}

TOptionChoices OptionsPage::choices() const
{
    TOptionChoices choices;
    choices.imageType = itemOf(imageTypeBox_, choices.imageType);
    choices.action = itemOf(actionBox_, choices.action);
    const QString destination = destinationBox_->currentText();
    choices.besideOriginals = destination == destinationBox_->itemText(0);
    if (!choices.besideOriginals)
        choices.destinationFolder = destination;
    choices.disposal =
        deleteOriginalsButton_->isChecked() ? TDisposal::DeletePermanently : TDisposal::RecycleBin;
    choices.scale = itemOf(scaleBox_, choices.scale);
    choices.outputFormat = itemOf(formatBox_, choices.outputFormat);
    choices.jpegQuality = qualityBox_->value();
    choices.speed = speedChoice_;
    choices.engine = itemOf(engineBox_, choices.engine);
    choices.keepMetadata = keepMetadataBox_->isChecked();
    choices.keepFolderStructure = keepFolderStructureBox_->isChecked();
    choices.copyName = copyNameEdit_->text();
    choices.whenNameTaken = itemOf(nameTakenBox_, choices.whenNameTaken);
    return choices;
}

void OptionsPage::applyRules()
{
    const TOptionChoices current = choices();
    const QString noFastModel = NoFastModelTip(current.imageType, current.scale, upscalerFolder_);
    const TOptionRules rules = OptionRulesOf(current, noFastModel.isEmpty());
    for (int item = 0; item < imageTypeBox_->count(); ++item) {
        const TImageTypeItem shown = ImageTypeItemOf(
            static_cast<TImageType>(imageTypeBox_->itemData(item).toInt()), upscalerFolder_);
        imageTypeBox_->setItemText(item, shown.caption);
        imageTypeBox_->setItemData(item, wrappingTip(shown.toolTip), Qt::ToolTipRole);
    }
    imageTypeBox_->setToolTip(imageTypeBox_->currentData(Qt::ToolTipRole).toString());
    const bool open = !locked_;
    for (QWidget* control : std::initializer_list<QWidget*>{
             imageTypeBox_, actionBox_, recycleOriginalsButton_, deleteOriginalsButton_, scaleBox_,
             engineBox_, keepMetadataBox_})
        control->setEnabled(open);
    originalFilesLabel_->setVisible(rules.disposalShown);
    recycleOriginalsButton_->setVisible(rules.disposalShown);
    deleteOriginalsButton_->setVisible(rules.disposalShown);
    destinationBox_->setEnabled(open && rules.destinationEnabled);
    browseButton_->setEnabled(open && rules.destinationEnabled);
    keepFolderStructureBox_->setEnabled(open && rules.folderStructureEnabled);
    for (QWidget* control : std::initializer_list<QWidget*>{copyNameLabel_, copyNameEdit_,
                                                            nameTakenLabel_, nameTakenBox_})
        control->setEnabled(open && rules.copyNamingEnabled);
    // Replacing keeps the original's name, and with it the format that the name promises.
    const QString keepsFormat =
        rules.formatEnabled ? QString()
                            : TranslateText("A replaced original always keeps its own format");
    formatBox_->setEnabled(open && rules.formatEnabled);
    formatBox_->setToolTip(keepsFormat);
    qualityBox_->setEnabled(open && rules.qualityEnabled);
    qualityBox_->setToolTip(keepsFormat);
    selectItem(speedBox_, rules.shownSpeed);
    speedBox_->setEnabled(open && rules.fastOffered);
    speedBox_->setToolTip(wrappingTip(noFastModel));
}

void OptionsPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    applyRules();
}

void OptionsPage::edited(TChoiceField field)
{
    applyRules();
    emit choiceEdited(field);
}

void OptionsPage::setLocked(bool locked)
{
    locked_ = locked;
    applyRules();
}

void OptionsPage::setRunning(bool running)
{
    startStopButton_->setText(running ? TranslateText("S&TOP") : TranslateText("S&tart"));
    startStopButton_->setIcon(namedIcon(running ? "stop" : "tick_button"));
}

void OptionsPage::setStartEnabled(bool enabled)
{
    startStopButton_->setEnabled(enabled);
}

void OptionsPage::pressStartStop()
{
    startStopButton_->click();
}

void OptionsPage::focusFirst()
{
    imageTypeBox_->setFocus();
}

void OptionsPage::focusDestination()
{
    destinationBox_->setFocus();
}

void OptionsPage::flushPendingEdits()
{
    if (destinationPause_->isActive()) {
        destinationPause_->stop();
        emit choiceEdited(TChoiceField::Destination);
    }
    if (qualityPause_->isActive()) {
        qualityPause_->stop();
        emit choiceEdited(TChoiceField::JpegQuality);
    }
    if (copyNamePause_->isActive()) {
        copyNamePause_->stop();
        emit choiceEdited(TChoiceField::CopyName);
    }
}

void OptionsPage::dropPendingEdits()
{
    destinationPause_->stop();
    qualityPause_->stop();
    copyNamePause_->stop();
}

void OptionsPage::browseDestination()
{
    const QStringList chosen = platform::GetExistingDirectories(
        window(), TranslateText("Select folder:"), LastFolder, TranslateText("Select"));
    if (chosen.isEmpty() || chosen.front().isEmpty())
        return;
    LastFolder = chosen.front();
    // A chosen folder counts at once, not after a pause.
    destinationBox_->setEditText(LastFolder);
    destinationPause_->stop();
    emit choiceEdited(TChoiceField::Destination);
}
