#include "resultform.h"

#include "i18n/translation.h"
#include "mainform.h"
#include "platform/shell.h"
#include "platform/tickcount.h"

#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>

namespace
{

std::function<void(TFormResult&)>& resultWindowHook()
{
    static std::function<void(TFormResult&)> hook;
    return hook;
}

} // namespace

TFormResult::TFormResult(QWidget* parent, std::function<QString()> resultsFolder)
    : QDialog(parent), resultsFolder_(std::move(resultsFolder))
{
    setObjectName(QStringLiteral("FormResult"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setFixedSize(ScaleDimension(365), ScaleDimension(151));

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(ScaleDimension(8), ScaleDimension(8), ScaleDimension(64),
                        ScaleDimension(64));
    // The program's own picture, drawn from its vector form so it stays sharp at any scale.
    Image1->setPixmap(QIcon(QStringLiteral(":/pictures/grandora.svg"))
                          .pixmap(Image1->size(), Image1->devicePixelRatioF()));
    Image1->setAttribute(Qt::WA_TranslucentBackground);

    auto makeLabel = [this](const char* name, const QString& text, int x, int row) {
        auto* label = new QLabel(text, this);
        label->setObjectName(QLatin1String(name));
        label->setTextFormat(Qt::PlainText);
        label->move(ScaleDimension(x), ScaleDimension(14 + row * 20));
        label->adjustSize();
        label->installEventFilter(this);
        return label;
    };
    Label1 = makeLabel("Label1", QStringLiteral("Processed Image Files:"), 78, 0);
    Label2 = makeLabel("Label2", QStringLiteral("Elapsed Time:"), 78, 1);
    Label3 = makeLabel("Label3", QStringLiteral("Savings on Disk Space:"), 78, 2);
    Label4 = makeLabel("Label4", QStringLiteral("0"), 250, 0);
    Label5 = makeLabel("Label5", QStringLiteral("0.000 seconds"), 250, 1);
    Label6 = makeLabel("Label6", QStringLiteral("0 byte"), 250, 2);
    Label7 = makeLabel("Label7", QStringLiteral("Failed Image Files:"), 78, 3);
    Label8 = makeLabel("Label8", QStringLiteral("0"), 250, 3);
    Label9 = makeLabel("Label9", QStringLiteral("Aborted Image Files:"), 78, 4);
    Label10 = makeLabel("Label10", QStringLiteral("0"), 250, 4);
    for (QLabel* label : {Label7, Label8, Label9, Label10})
        label->hide();
    Image1->installEventFilter(this);

    Button1 = new QPushButton(this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setIcon(QIcon(QStringLiteral(":/icons/folder.png")));
    Button1->setGeometry(ScaleDimension(78), ScaleDimension(84), ScaleDimension(280),
                         ScaleDimension(25));
    Button2 = new QPushButton(this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(ScaleDimension(78), ScaleDimension(116), ScaleDimension(280),
                         ScaleDimension(25));
    // Escape closes the window through QDialog's own key handling.
    connect(Button1, &QPushButton::clicked, this, &TFormResult::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TFormResult::Button2Click);

    FormCreate();
}

void TFormResult::FormCreate()
{
    setWindowTitle(TranslateText("Result"));
    Button1->setText(TranslateText("Open Folder Location..."));
    Button2->setText(TranslateText("Close"));
    Label1->setText(TranslateText("Processed Image Files:"));
    Label2->setText(TranslateText("Elapsed Time:"));
    Label3->setText(TranslateText("Savings on Disk Space:"));
    Label7->setText(TranslateText("Failed Image Files:"));
    Label9->setText(TranslateText("Aborted Image Files:"));
    for (QLabel* label : {Label1, Label2, Label3, Label7, Label9}) {
        TAppForm::ShrinkToMaximumFontSize(label, ScaleDimension(165));
        label->adjustSize();
    }
}

void TFormResult::ShowOtherCounts(int failed, int aborted)
{
    int row = 3;
    const auto place = [&](QLabel* caption, QLabel* value, int count) {
        caption->setVisible(count != 0);
        value->setVisible(count != 0);
        if (count == 0)
            return;
        value->setText(QString::number(count));
        value->adjustSize();
        caption->move(ScaleDimension(78), ScaleDimension(14 + row * 20));
        value->move(ScaleDimension(250), ScaleDimension(14 + row * 20));
        ++row;
    };
    place(Label7, Label8, failed);
    place(Label9, Label10, aborted);
    const int extra = ScaleDimension((row - 3) * 20);
    Button1->move(ScaleDimension(78), ScaleDimension(84) + extra);
    Button2->move(ScaleDimension(78), ScaleDimension(116) + extra);
    setFixedSize(ScaleDimension(365), ScaleDimension(151) + extra);
}

int TFormResult::ScaleDimension(int x) const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int screenDpi = screen ? qRound(screen->logicalDotsPerInch()) : 96;
    return platform::MulDiv(x, screenDpi, 96);
}

void TFormResult::Button1Click()
{
    const QString folder = resultsFolder_ ? resultsFolder_() : QString();
    if (!folder.isEmpty())
        platform::ShellOpenFile(folder);
}

void TFormResult::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (const QScreen* where = screen())
        move(where->availableGeometry().center() - rect().center());
}

void TFormResult::Button2Click()
{
    close();
}

bool TFormResult::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != Button1 && watched != Button2 && drag_.HandleMouse(event))
        return true;
    return QDialog::eventFilter(watched, event);
}

void TFormResult::mousePressEvent(QMouseEvent* event)
{
    drag_.HandleMouse(event);
}

void TFormResult::mouseMoveEvent(QMouseEvent* event)
{
    drag_.HandleMouse(event);
}

void TFormResult::mouseReleaseEvent(QMouseEvent* event)
{
    drag_.HandleMouse(event);
}

void ShowResultWindow(TFormResult& form)
{
    if (resultWindowHook())
        resultWindowHook()(form);
    else
        form.exec();
}

void SetResultWindowHookForTesting(std::function<void(TFormResult&)> hook)
{
    resultWindowHook() = std::move(hook);
}
