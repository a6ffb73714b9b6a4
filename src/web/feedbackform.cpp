#include "feedbackform.h"

#include "i18n/translation.h"
#include "platform/dialogs.h"
#include "web/tahomafont.h"
#include "web/trimblanks.h"

#include <QApplication>
#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

namespace
{

constexpr int MemoMaxLength = 10000;
constexpr int EmailMaxLength = 100;
const QString ScriptPath = QStringLiteral("/php/feedback.php");

QFrame* makeBar(QWidget* parent, const char* name, int height)
{
    auto* bar = new QFrame(parent);
    bar->setObjectName(QLatin1String(name));
    bar->setFixedHeight(height);
    return bar;
}

// "I like it!", or "I like it! (J'aime !)" when the interface shows it translated: the service's
// readers always find the English words first.
QString choiceLine(const QString& english, const QString& caption)
{
    return caption == english ? english
                              : english + QStringLiteral(" (") + caption + QLatin1Char(')');
}

} // namespace

bool IsValidEmail(const QString& address)
{
    static const char pattern[] = "^[a-zA-Z0-9_.+-]+@[a-zA-Z0-9-]+\\.[a-zA-Z0-9-.]*[a-zA-Z0-9]+$";
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED,
                                     0, &errorCode, &errorOffset, nullptr);
    if (!code)
        return false;
    pcre2_match_data* match = pcre2_match_data_create_from_pattern(code, nullptr);
    const QByteArray subject = address.toUtf8();
    const int result = match ? pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject.constData()),
                                           static_cast<PCRE2_SIZE>(subject.size()), 0,
                                           PCRE2_NOTEMPTY, match, nullptr)
                             : PCRE2_ERROR_NOMEMORY;
    pcre2_match_data_free(match);
    pcre2_code_free(code);
    return result >= 0;
}

TFeedbackForm::TFeedbackForm(FeedbackConfig config, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      config_(std::move(config))
{
    setObjectName(QStringLiteral("FeedbackForm"));
    setFont(TahomaFont(11));
    setFixedSize(525, 326);
    setAttribute(Qt::WA_DeleteOnClose, false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel3 = makeBar(this, "Panel3", 46);
    auto* choices = new QHBoxLayout(Panel3);
    choices->setContentsMargins(0, 0, 0, 0);
    choices->setSpacing(0);
    Panel4 = MakeChoicePanel("Panel4", "Image1", ":/pictures/like.svg", &Image1, &Panel4Text);
    Panel5 = MakeChoicePanel("Panel5", "Image2", ":/pictures/dislike.svg", &Image2, &Panel5Text);
    Panel5->setFixedWidth(256);
    choices->addWidget(Panel4, 1);
    choices->addWidget(Panel5);
    layout->addWidget(Panel3);

    auto* middle = new QVBoxLayout;
    middle->setContentsMargins(8, 6, 8, 4);
    middle->setSpacing(4);
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(TahomaFont(16));
    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(TahomaFont(13, true));
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setTabChangesFocus(true);
    middle->addWidget(Label1);
    middle->addWidget(Label2);
    middle->addWidget(Memo1, 1);
    layout->addLayout(middle, 1);

    auto* emailBar = makeBar(this, "Panel1", 30);
    auto* emailRow = new QHBoxLayout(emailBar);
    emailRow->setContentsMargins(8, 2, 8, 2);
    Label3 = new QLabel(emailBar);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setFont(TahomaFont(13));
    Edit1 = new QLineEdit(emailBar);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMaxLength(EmailMaxLength);
    emailRow->addWidget(Label3);
    emailRow->addWidget(Edit1, 1);
    layout->addWidget(emailBar);

    auto* bottom = makeBar(this, "Panel2", 39);
    auto* bottomRow = new QHBoxLayout(bottom);
    bottomRow->setContentsMargins(8, 3, 8, 3);
    BitBtn1 = new QPushButton(bottom);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setFixedSize(172, 33);
    BitBtn1->setFont(TahomaFont(16));
    BitBtn1->setIcon(QIcon(QStringLiteral(":/icons/feedback.png")));
    BitBtn1->setAutoDefault(false);
    bottomRow->addStretch();
    bottomRow->addWidget(BitBtn1);
    layout->addWidget(bottom);

    connect(BitBtn1, &QPushButton::clicked, this, &TFeedbackForm::BitBtn1Click);
    connect(Memo1, &QPlainTextEdit::textChanged, this, [this] {
        if (Memo1->document()->characterCount() - 1 <= MemoMaxLength)
            return;
        QTextCursor cursor = Memo1->textCursor();
        Memo1->setPlainText(Memo1->toPlainText().left(MemoMaxLength));
        cursor.setPosition(MemoMaxLength);
        Memo1->setTextCursor(cursor);
    });

    FormCreate();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

TFeedbackForm::~TFeedbackForm() = default;

QFrame* TFeedbackForm::MakeChoicePanel(const char* name, const char* imageName, const char* picture,
                                       QLabel** image, QLabel** text)
{
    auto* panel = new QFrame(Panel3);
    panel->setObjectName(QLatin1String(name));
    panel->setCursor(Qt::PointingHandCursor);
    panel->setAutoFillBackground(true);
    panel->setFrameShape(QFrame::Panel);
    panel->setLineWidth(2);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(8, 4, 8, 4);
    *image = new QLabel(panel);
    (*image)->setObjectName(QLatin1String(imageName));
    (*image)->setFixedSize(32, 32);
    (*image)->setScaledContents(true);
    if (QFile::exists(QLatin1String(picture)))
        (*image)->setPixmap(QIcon(QLatin1String(picture)).pixmap(QSize(32, 32)));
    *text = new QLabel(panel);
    (*text)->setObjectName(QLatin1String(name) + QStringLiteral("Text"));
    (*text)->setFont(TahomaFont(16));
    (*text)->setAlignment(Qt::AlignCenter);
    (*text)->setTextFormat(Qt::PlainText);
    row->addWidget(*image);
    row->addWidget(*text, 1);
    for (QWidget* part : {static_cast<QWidget*>(panel), static_cast<QWidget*>(*image),
                          static_cast<QWidget*>(*text)})
        part->installEventFilter(this);
    ShowChoice(panel, false);
    return panel;
}

void TFeedbackForm::FormCreate()
{
    setWindowTitle(config_.AppProductName + QLatin1Char(' ') + TranslateText("feedback"));
    Label1->setText(TranslateText("We would really appreciate your feedback."));
    Label2->setText(TranslateText("What did you like or dislike?"));
    Label3->setText(TranslateText("Include my e-mail:"));
    BitBtn1->setText(TranslateText("Send"));
    Panel4Text->setText(TranslateText("I like it!"));
    Panel5Text->setText(TranslateText("I dislike it!"));
}

void TFeedbackForm::ShowChoice(QFrame* panel, bool chosen)
{
    const QPalette style = QApplication::palette();
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window,
                     style.color(chosen ? QPalette::Highlight : QPalette::Button));
    palette.setColor(QPalette::WindowText,
                     style.color(chosen ? QPalette::HighlightedText : QPalette::WindowText));
    panel->setPalette(palette);
    panel->setFrameShadow(chosen ? QFrame::Sunken : QFrame::Raised);
    (panel == Panel4 ? likeChosen_ : dislikeChosen_) = chosen;
}

void TFeedbackForm::Image1MouseDown()
{
    if (likeChosen_) {
        ShowChoice(Panel4, false);
        return;
    }
    ShowChoice(Panel4, true);
    if (dislikeChosen_)
        ShowChoice(Panel5, false);
}

void TFeedbackForm::Image2MouseDown()
{
    if (dislikeChosen_) {
        ShowChoice(Panel5, false);
        return;
    }
    ShowChoice(Panel5, true);
    if (likeChosen_)
        ShowChoice(Panel4, false);
}

bool TFeedbackForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == Panel4 || watched == Image1 || watched == Panel4Text) {
            Image1MouseDown();
            return true;
        }
        if (watched == Panel5 || watched == Image2 || watched == Panel5Text) {
            Image2MouseDown();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QString TFeedbackForm::FeedbackText() const
{
    QString text;
    if (likeChosen_)
        text = choiceLine(QStringLiteral("I like it!"), Panel4Text->text()) + QLatin1Char('\r');
    else if (dislikeChosen_)
        text = choiceLine(QStringLiteral("I dislike it!"), Panel5Text->text()) + QLatin1Char('\r');
    QString memo = TrimBlanks(Memo1->toPlainText());
    memo.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text + memo;
}

void TFeedbackForm::BitBtn1Click()
{
    const QString feedback = FeedbackText();
    if (TrimBlanks(Memo1->toPlainText()).isEmpty()) {
        Memo1->setFocus();
        platform::Beep();
        return;
    }
    const QString address = TrimBlanks(Edit1->text());
    if (!address.isEmpty() && !IsValidEmail(address)) {
        Edit1->setFocus();
        platform::MessageBox(this, TranslateText("Invalid e-mail address!"),
                             TranslateText("Failure"), platform::MB_ICONERROR);
        return;
    }

    QStringList fields = {
        QStringLiteral("cmd=feedback"), QStringLiteral("appname=") + config_.AppTitle,
        QStringLiteral("version=") + config_.AppVersion, QStringLiteral("feedback=") + feedback};
    if (!address.isEmpty())
        fields << QStringLiteral("email=") + address;

    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString answer;
    try {
        answer = PostForm(QStringLiteral("https://") + config_.Host + ScriptPath, fields,
                          config_.Timeouts);
    } catch (const std::exception&) {
        try {
            answer = PostForm(QStringLiteral("http://") + config_.Host + ScriptPath, fields,
                              config_.Timeouts);
        } catch (const std::exception&) {
            answer.clear();
        }
    }
    QApplication::restoreOverrideCursor();

    if (TrimBlanks(answer) == QStringLiteral("OK")) {
        platform::MessageBox(this,
                             TranslateText("Your feedback is received.") + QStringLiteral("\r\r") +
                                 TranslateText("Thank you!"),
                             TranslateText("Success"), platform::MB_ICONINFORMATION);
        accept();
        return;
    }
    platform::MessageBox(
        this,
        TranslateText("Something went wrong. Your feedback could not be delivered.") +
            QStringLiteral("\r\r") + TranslateText("Please try again later."),
        TranslateText("Failure"), platform::MB_ICONERROR);
}
