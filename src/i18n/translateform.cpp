#include "translateform.h"

#include "languageselection.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "restartscript.h"
#include "translation.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QUrl>

QString TranslateFromList(const QString& key, const QStringList& lines)
{
    const QString prefix = QLatin1Char('{') + key + QLatin1Char('}');
    for (const QString& line : lines) {
        if (line.startsWith(prefix))
            return line.mid(line.indexOf(QLatin1Char('}')) + 1);
    }
    return key;
}

QString LanguageDisplayName(const QString& entry, const QStringList& lines)
{
    const auto info = [&lines](const char* key) {
        const QString name = QString::fromUtf8(key);
        const QString value = TranslateFromList(name, lines);
        return value == name ? QString() : value.trimmed();
    };
    const QString own = info("INFO:Language Name");
    const QString english = info("INFO:English Name");
    if (own.isEmpty())
        return english.isEmpty() ? entry : english;
    if (english.isEmpty() || english == own)
        return own;
    return own + QStringLiteral(" \u2013 ") + english;
}

QString FlagPictureName(const QString& entry)
{
    static const std::pair<const char*, const char*> flags[] = {
        {"English", "english"},
        {"German", "de"},
        {"French", "fr"},
        {"Turkish", "tr"},
        {"Albanian", "al"},
        {"Arabic", "sa"},
        {"Bulgarian", "bg"},
        {"ChineseSimplified", "cn"},
        {"ChineseTraditional", "tw"},
        {"Czech", "cz"},
        {"Dutch", "nl"},
        {"Finnish", "fi"},
        {"Greek", "gr"},
        {"Hebrew", "il"},
        {"Hungarian", "hu"},
        {"Italian", "it"},
        {"Japanese", "jp"},
        {"Korean", "kr"},
        {"Persian", "ir"},
        {"Polish", "pl"},
        {"PortugueseBrazil", "br"},
        {"PortuguesePortugal", "pt"},
        {"Romanian", "ro"},
        {"Russian", "ru"},
        {"Slovenian", "si"},
        {"Spanish", "es"},
        {"Swedish", "se"},
        {"Ukrainian", "ua"},
        {"Vietnamese", "vi"},
        {"Slovak", "sk"},
        {"Abkhazian", "ab"},
        {"Norwegian", "no"},
        {"Catalan", "ca"},
    };
    for (const auto& [language, picture] : flags) {
        if (entry == QLatin1String(language))
            return QLatin1String(picture);
    }
    return QStringLiteral("xx");
}

namespace
{

constexpr int FlagListWidth = 16;
constexpr int ItemHeight = 18;

QPixmap flagPixmap(const QString& entry)
{
    return QPixmap(QStringLiteral(":/flags/%1.png").arg(FlagPictureName(entry)));
}

// Draws a language entry as its flag followed by its name, over the background the view has
// prepared for it (the selection colours for the selected entry).
class ComboBox1DrawItem : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        QStyleOptionViewItem background = option;
        initStyleOption(&background, index);
        const QString text = background.text;
        background.text.clear();
        background.icon = QIcon();
        background.features &= ~QStyleOptionViewItem::HasDecoration;
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

        const QRect rect = option.rect;
        const QPixmap flag = flagPixmap(index.data(Qt::UserRole).toString());
        painter->drawPixmap(rect.left(), rect.top() + (rect.height() - flag.height()) / 2, flag);
        const bool selected = option.state & QStyle::State_Selected;
        painter->setPen(
            option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->setFont(option.font);
        painter->drawText(rect.adjusted(FlagListWidth + 4, 0, 0, 0),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return {QStyledItemDelegate::sizeHint(option, index).width() + FlagListWidth + 4,
                ItemHeight};
    }
};

QFont tahoma(int pixelSize)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(pixelSize);
    return font;
}

// Inserts the language `entry` under the name `shown` where the box's case-blind alphabetical
// order of the shown names puts it.
void addSorted(QComboBox* box, const QString& entry, const QString& shown)
{
    int at = 0;
    while (at < box->count() &&
           QString::compare(box->itemText(at), shown, Qt::CaseInsensitive) <= 0)
        ++at;
    box->insertItem(at, QIcon(flagPixmap(entry)), shown, entry);
}

// Long translations of a label get a smaller font rather than being cut off.
void fitLabel(QLabel* label)
{
    QFont font = label->font();
    while (font.pixelSize() > 8 &&
           QFontMetrics(font).horizontalAdvance(label->text()) > label->width())
        font.setPixelSize(font.pixelSize() - 1);
    label->setFont(font);
}

QStringList readLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {};
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    return QString::fromUtf8(bytes).split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
}

} // namespace

TTranslateForm::TTranslateForm(QWidget* parent, TranslateFormContext context)
    : QDialog(parent), context_(std::move(context))
{
    setObjectName(QStringLiteral("TranslateForm"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(tahoma(16));
    setFixedSize(622, 227);
    CreateComponents();
    FormCreate();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TTranslateForm::CreateComponents()
{
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 5, 252, 22);

    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(false);
    ComboBox1->setFont(tahoma(13));
    ComboBox1->setIconSize(QSize(FlagListWidth, FlagListWidth));
    ComboBox1->setItemDelegate(new ComboBox1DrawItem(ComboBox1));
    ComboBox1->setGeometry(263, 4, 355, 24);
    ComboBox1->addItem(QIcon(flagPixmap(QStringLiteral("English"))), QStringLiteral("English"),
                       QStringLiteral("English"));

    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(8, 33, 252, 22);

    RichEdit1 = new QPlainTextEdit(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setReadOnly(true);
    RichEdit1->setLineWrapMode(QPlainTextEdit::NoWrap);
    RichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette boxPalette = RichEdit1->palette();
    boxPalette.setColor(QPalette::Base, boxPalette.color(QPalette::Button));
    RichEdit1->setPalette(boxPalette);
    RichEdit1->setGeometry(263, 32, 355, 151);
    RichEdit1->setContextMenuPolicy(Qt::CustomContextMenu);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Copy1 = PopupMenu1->addAction(QIcon(QStringLiteral(":/icons/copy.png")), QString());
    Copy1->setObjectName(QStringLiteral("Copy1"));
    SelectAll1 = PopupMenu1->addAction(QString());
    SelectAll1->setObjectName(QStringLiteral("SelectAll1"));

    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setGeometry(0, height() - 40, width(), 1);
    Panel2->setAutoFillBackground(true);
    QPalette linePalette = Panel2->palette();
    linePalette.setColor(QPalette::Window, linePalette.color(QPalette::Mid));
    Panel2->setPalette(linePalette);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, height() - 39, width(), 39);

    Label3 = new QLabel(Panel1);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setGeometry(8, 8, 420, 22);
    QFont linkFont = Label3->font();
    linkFont.setUnderline(true);
    Label3->setFont(linkFont);
    QPalette linkPalette = Label3->palette();
    linkPalette.setColor(QPalette::WindowText, Qt::blue);
    Label3->setPalette(linkPalette);
    Label3->setCursor(Qt::PointingHandCursor);
    Label3->installEventFilter(this);

    Button1 = new QPushButton(Panel1);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setIcon(QIcon(QStringLiteral(":/icons/tick_button.png")));
    Button1->setGeometry(width() - 172 - 4, 4, 172, 31);
    Button1->setDefault(true);

    connect(Button1, &QPushButton::clicked, this, &TTranslateForm::Button1Click);
    connect(Copy1, &QAction::triggered, this, &TTranslateForm::Copy1Click);
    connect(SelectAll1, &QAction::triggered, this, &TTranslateForm::SelectAll1Click);
    connect(RichEdit1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PopupMenu1->popup(RichEdit1->viewport()->mapToGlobal(pos));
    });
}

void TTranslateForm::FormCreate()
{
    setWindowTitle(TranslateText("Language"));
    Label1->setText(TranslateText("User Interface Language:"));
    Label2->setText(TranslateText("Translated by:"));
    Button1->setText(TranslateText("OK"));
    fitLabel(Label1);
    fitLabel(Label2);
    Label3->setText(TranslateText("Contribute to Translation"));
    Label3->setToolTip(TranslationPageUrl());
    fitLabel(Label3);
    Label3->adjustSize();
    Copy1->setText(TranslateText("Copy"));
    SelectAll1->setText(TranslateText("Select All"));

    for (const QString& fileName : LanguageFileList) {
        const qsizetype suffix = fileName.indexOf(QStringLiteral(".lang.txt"));
        // A file without the suffix could never be chosen: storing its entry plus the suffix
        // would name a file that does not exist.
        if (suffix > 0) {
            const QString entry = fileName.left(suffix);
            addSorted(ComboBox1, entry,
                      LanguageDisplayName(entry,
                                          readLines(LanguageFolder + QLatin1Char('/') + fileName)));
        }
    }
    // No entry is empty, so with no language loaded the layout's "English" stays selected.
    const auto exact = Qt::MatchExactly | Qt::MatchCaseSensitive;
    const int current = ComboBox1->findData(LanguageName, Qt::UserRole, exact);
    ComboBox1->setCurrentIndex(
        current >= 0 ? current
                     : ComboBox1->findData(QStringLiteral("English"), Qt::UserRole, exact));
    ComboBox1Change();
    InitialLanguage = ComboBox1->currentData().toString();
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, &TTranslateForm::ComboBox1Change);
}

QString TTranslateForm::TranslationPageUrl() const
{
    return QStringLiteral("https://%1/translation/").arg(context_.webHost);
}

void TTranslateForm::ComboBox1Change()
{
    const QString entry = ComboBox1->currentData().toString();
    QString translators;
    if (entry == QStringLiteral("English")) {
        translators = QStringLiteral("Zelmora");
    } else {
        const QStringList lines =
            readLines(LanguageFolder + QLatin1Char('/') + entry + QStringLiteral(".lang.txt"));
        if (!lines.isEmpty())
            translators = TranslateFromList(QStringLiteral("INFO:Translated By"), lines);
    }
    QStringList names;
    for (const QString& name : translators.split(QLatin1Char(',')))
        names.append(TrimSpacesAndControls(name));
    RichEdit1->setPlainText(names.join(QLatin1Char('\n')));
}

void TTranslateForm::Button1Click()
{
    const QString selected = ComboBox1->currentData().toString();
    if (selected == InitialLanguage) {
        accept();
        return;
    }
    if (context_.askConfirmation(TranslateText("Restart Application?"),
                                 TranslateText("Confirmation")) != 6)
        return;
    const QStringList arguments =
        context_.restartArguments ? context_.restartArguments() : QStringList();
    context_.setLanguageFile(selected + QStringLiteral(".lang.txt"));
    QCoreApplication::processEvents();
    const QString script =
        WriteRestartScript(context_.settingsFolder, platform::ExecutablePath(), arguments);
    QCoreApplication::processEvents();
    // A script that does not start leaves the user to start the program by hand; it ends all
    // the same, since the stored language only applies to a new run.
    platform::StartDetached(QStringLiteral("/bin/sh"), {script});
    QCoreApplication::processEvents();
    accept();
    QCoreApplication::quit();
}

void TTranslateForm::Label3Click()
{
    platform::ShellOpen(QUrl(TranslationPageUrl()));
}

void TTranslateForm::Copy1Click()
{
    RichEdit1->copy();
}

void TTranslateForm::SelectAll1Click()
{
    RichEdit1->selectAll();
}

bool TTranslateForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Label3 && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            Label3->rect().contains(mouse->position().toPoint())) {
            Label3Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
