#include "newversion.h"

#include "i18n/translation.h"
#include "platform/shell.h"
#include "web/tahomafont.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace
{

constexpr int ClientWidth = 320;
constexpr int ClientHeight = 68;
constexpr int EdgeDistance = 5;
constexpr int AnimationMs = 100;

QTimer* makeTimer(QObject* parent, const char* name, int intervalMs)
{
    auto* timer = new QTimer(parent);
    timer->setObjectName(QLatin1String(name));
    timer->setInterval(intervalMs);
    return timer;
}

} // namespace

TNewVer::TNewVer(QWidget* mainWindow, const QString& productName, const QString& newVersion,
                 const QString& downloadUrl, const QString& homePage)
    : QWidget(mainWindow, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                              Qt::WindowDoesNotAcceptFocus),
      mainWindow_(mainWindow), downloadUrl_(downloadUrl), homePage_(homePage)
{
    setObjectName(QStringLiteral("NewVer"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setFont(TahomaFont(11));
    setFixedSize(ClientWidth, ClientHeight);

    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::Box);
    Panel1 = frame;
    Panel1->setObjectName(QStringLiteral("Panel1"));
    outer->addWidget(Panel1);

    auto* row = new QHBoxLayout(Panel1);
    row->setContentsMargins(1, 1, 1, 1);
    row->setSpacing(0);
    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(60, 60);
    Image1->setAlignment(Qt::AlignCenter);
    row->addWidget(Image1);

    Panel2 = new QWidget(Panel1);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    auto* column = new QVBoxLayout(Panel2);
    column->setContentsMargins(2, 4, 2, 2);
    column->setSpacing(0);
    Label1 = new QLabel(Panel2);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont heading = TahomaFont(13);
    heading.setBold(true);
    Label1->setFont(heading);
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label1->setTextFormat(Qt::PlainText);
    column->addWidget(Label1);
    Label2 = new QLabel(Panel2);
    Label2->setObjectName(QStringLiteral("Label2"));
    QFont link = TahomaFont(13);
    link.setUnderline(true);
    Label2->setFont(link);
    Label2->setAlignment(Qt::AlignCenter);
    Label2->setWordWrap(true);
    Label2->setTextFormat(Qt::PlainText);
    Label2->setCursor(Qt::PointingHandCursor);
    column->addWidget(Label2, 1);
    row->addWidget(Panel2, 1);

    Panel3 = new QWidget(Panel1);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setFixedWidth(22);
    auto* buttonColumn = new QVBoxLayout(Panel3);
    buttonColumn->setContentsMargins(0, 0, 0, 0);
    Button1 = new QToolButton(Panel3);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setFixedSize(22, 22);
    Button1->setAutoRaise(true);
    Button1->setFocusPolicy(Qt::NoFocus);
    Button1->setCursor(Qt::PointingHandCursor);
    Button1->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    buttonColumn->addWidget(Button1);
    buttonColumn->addStretch();
    row->addWidget(Panel3);

    TimerStart = makeTimer(this, "TimerStart", 1);
    TimerStart->setSingleShot(true);
    TimerClose = makeTimer(this, "TimerClose", 1000);
    TimerLink = makeTimer(this, "TimerLink", 100);
    connect(TimerStart, &QTimer::timeout, this, &TNewVer::TimerStartTimer);
    connect(TimerClose, &QTimer::timeout, this, &TNewVer::TimerCloseTimer);
    connect(TimerLink, &QTimer::timeout, this, &TNewVer::TimerLinkTimer);
    connect(Button1, &QToolButton::clicked, this, &TNewVer::Button1Click);

    for (QWidget* handle : {static_cast<QWidget*>(this), Panel1, static_cast<QWidget*>(Image1),
                            static_cast<QWidget*>(Label1), Panel3})
        handle->installEventFilter(this);
    Label2->installEventFilter(this);

    FormCreate(productName, newVersion);
    TimerStart->start();
    TimerClose->start();
    TimerLink->start();
}

void TNewVer::FormCreate(const QString& productName, const QString& newVersion)
{
    const QIcon icon = QApplication::windowIcon();
    if (!icon.isNull())
        Image1->setPixmap(icon.pixmap(48, 48));
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    move(area.x() + area.width() - width() - EdgeDistance, area.y() + EdgeDistance);
    Label1->setText(TranslateText("UPDATE AVAILABLE"));
    Label2->setText(TranslateText("Click to download") + QLatin1Char(' ') + productName +
                    QLatin1Char(' ') + newVersion);
    TimerLinkTimer();
}

QUrl TNewVer::LinkAddress() const
{
    // Only a web address is opened: anything else the service might send (a file, a program,
    // a script scheme) gives way to the maker's home page.
    const QUrl announced(downloadUrl_, QUrl::StrictMode);
    const QString scheme = announced.scheme().toLower();
    if (announced.isValid() && !announced.host().isEmpty() &&
        (scheme == QStringLiteral("http") || scheme == QStringLiteral("https")))
        return announced;
    return QUrl(homePage_);
}

void TNewVer::AnimateFromCentre(bool show)
{
    const QRect full = geometry();
    const QRect centre(full.center(), QSize(1, 1));
    auto* animation = new QPropertyAnimation(this, "geometry", this);
    animation->setDuration(AnimationMs);
    animation->setStartValue(show ? centre : full);
    animation->setEndValue(show ? full : centre);
    setMinimumSize(1, 1);
    connect(animation, &QPropertyAnimation::finished, this, [this, full, show] {
        if (!show)
            close();
        setGeometry(full);
        setFixedSize(ClientWidth, ClientHeight);
    });
    if (show)
        setGeometry(centre);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void TNewVer::TimerStartTimer()
{
    TimerStart->stop();
    show();
    AnimateFromCentre(true);
    if (mainWindow_ && mainWindow_->isVisible() && !mainWindow_->isMinimized())
        mainWindow_->activateWindow();
}

void TNewVer::TimerCloseTimer()
{
    --NoticeCountdown;
    if (NoticeCountdown != 0)
        return;
    TimerClose->stop();
    if (isVisible())
        AnimateFromCentre(false);
}

void TNewVer::TimerLinkTimer()
{
    const bool hovered = Label2->rect().contains(Label2->mapFromGlobal(QCursor::pos()));
    const QColor colour =
        QApplication::palette().color(hovered ? QPalette::Highlight : QPalette::WindowText);
    QPalette palette = Label2->palette();
    if (palette.color(QPalette::WindowText) == colour)
        return;
    palette.setColor(QPalette::WindowText, colour);
    Label2->setPalette(palette);
}

void TNewVer::Label2Click()
{
    platform::ShellOpen(LinkAddress());
    close();
}

void TNewVer::Button1Click()
{
    close();
}

bool TNewVer::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
        type != QEvent::MouseButtonRelease)
        return QWidget::eventFilter(watched, event);
    auto* mouse = static_cast<QMouseEvent*>(event);

    // The link takes clicks and is no drag handle.
    if (watched == Label2) {
        if (type == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton &&
            Label2->rect().contains(mouse->position().toPoint()))
            Label2Click();
        return true;
    }

    return drag_.HandleMouse(event);
}
