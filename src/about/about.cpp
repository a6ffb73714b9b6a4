#include "about.h"

#include "i18n/translation.h"
#include "platform/dialogs.h"
#include "platform/shell.h"
#include "platform/tickcount.h"

#include <QAction>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QSvgRenderer>
#include <QTimer>
#include <QUrl>
#include <QWindow>

namespace
{

// A click on the Info button that closes its open menu arrives this soon after the menu closed.
constexpr std::uint32_t menuReopenGuardMs = 100;

// Tahoma where it is installed; a metric-alike sans otherwise.
QFont tahoma(int pixelSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(pixelSize);
    return font;
}

void paintBlack(QWidget* widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, Qt::white);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void setTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

int random(int bound)
{
    return static_cast<int>(QRandomGenerator::global()->bounded(bound));
}

// brightness 0-99 scaled to 0-255, then tinted towards green.
QColor tint(int level)
{
    return QColor(level * 150 / 255, level, level * 100 / 255);
}

} // namespace

TAboutBox::TAboutBox(const QString& productName, const QString& version, const QString& webHost,
                     const QString& programFolder, QWidget* parent)
    : QDialog(parent), productName_(productName), version_(version), webHost_(webHost),
      programFolder_(programFolder), tickSource_(&platform::GetTickCount)
{
    setObjectName(QStringLiteral("AboutBox"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(446, 374);
    setFont(tahoma(11));
    // The rain is painted from outCanvas; nothing of the style may show through.
    setAttribute(Qt::WA_OpaquePaintEvent);
    paintBlack(this);
    CreateComponents();
    FormCreate();
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TAboutBox::~TAboutBox() = default;

void TAboutBox::CreateComponents()
{
    PanelEgg = new QFrame(this);
    PanelEgg->setObjectName(QStringLiteral("PanelEgg"));
    PanelEgg->setGeometry(0, 0, 324, 220);
    paintBlack(PanelEgg);
    PanelEgg->hide();
    ImageEgg = new QLabel(PanelEgg);
    ImageEgg->setObjectName(QStringLiteral("ImageEgg"));
    ImageEgg->setGeometry(2, 0, 320, 220);
    ImageEgg->setScaledContents(true);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(48, 42, 350, 291);
    paintBlack(Panel1);
    Panel1->setFont(tahoma(11));

    Bevel1 = new QFrame(Panel1);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setGeometry(9, 122, 34, 34);
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Plain);
    setTextColor(Bevel1, QColor(0x60, 0x60, 0x60));

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(10, 123, 32, 32);
    Image1->setAlignment(Qt::AlignCenter);

    Label2 = new QLabel(Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(49, 122, 290, 40);
    Label2->setFont(tahoma(16));
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextColor(Label2, Qt::white);

    Label5 = new QLabel(Panel1);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->setGeometry(0, 291 - 18, 350, 16);
    QFont linkFont;
    linkFont.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans")});
    linkFont.setPixelSize(11);
    linkFont.setUnderline(true);
    Label5->setFont(linkFont);
    Label5->setAlignment(Qt::AlignCenter);
    Label5->setCursor(Qt::PointingHandCursor);
    setTextColor(Label5, QColor(0x00, 0xFF, 0x00));

    Image2 = new QLabel(Panel1);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(3, 0, 344, 105);
    Image2->setScaledContents(true);

    // The buttons keep the window's own colours whatever the desktop style.
    const QString buttonStyle =
        QStringLiteral("QPushButton { color: white; background: #1c1c1c; border: 1px solid #5a5a5a;"
                       " border-radius: 3px; padding: 0 10px; }"
                       "QPushButton:hover { background: #2c2c2c; }"
                       "QPushButton:pressed { background: #0c0c0c; }"
                       "QPushButton:focus { border-color: #00c000; }");
    BitBtn2 = new QPushButton(Panel1);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(177, 226, 122, 33);
    BitBtn2->setFont(tahoma(16));
    BitBtn2->setStyleSheet(buttonStyle);
    BitBtn2->setIcon(QIcon(QStringLiteral(":/pictures/arrow.svg")));
    // Right to left puts the arrow after the caption, where a drop-down arrow belongs.
    BitBtn2->setLayoutDirection(Qt::RightToLeft);

    BitBtn1 = new QPushButton(Panel1);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(49, 226, 122, 33);
    BitBtn1->setFont(tahoma(16));
    BitBtn1->setStyleSheet(buttonStyle);
    BitBtn1->setDefault(true);
    // The tab order follows creation; OK comes first as the default button.
    setTabOrder(BitBtn1, BitBtn2);

    tmTimer = new QTimer(this);
    tmTimer->setObjectName(QStringLiteral("tmTimer"));
    tmTimer->setInterval(50);
    TimerEgg = new QTimer(this);
    TimerEgg->setObjectName(QStringLiteral("TimerEgg"));
    TimerEgg->setInterval(5);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Credits1 = PopupMenu1->addAction(QString());
    Credits1->setObjectName(QStringLiteral("Credits1"));
    Howtouninstall1 = PopupMenu1->addAction(QString());
    Howtouninstall1->setObjectName(QStringLiteral("Howtouninstall1"));
    LicensePrivacyPolicy1 = PopupMenu1->addAction(QString());
    LicensePrivacyPolicy1->setObjectName(QStringLiteral("LicensePrivacyPolicy1"));

    connect(BitBtn1, &QPushButton::clicked, this, &TAboutBox::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TAboutBox::BitBtn2Click);
    connect(Credits1, &QAction::triggered, this, &TAboutBox::Credits1Click);
    connect(Howtouninstall1, &QAction::triggered, this, &TAboutBox::Howtouninstall1Click);
    connect(LicensePrivacyPolicy1, &QAction::triggered, this,
            &TAboutBox::LicensePrivacyPolicy1Click);
    connect(tmTimer, &QTimer::timeout, this, &TAboutBox::tmTimerTimer);
    connect(TimerEgg, &QTimer::timeout, this, &TAboutBox::TimerEggTimer);

    for (QWidget* widget : {static_cast<QWidget*>(ImageEgg), static_cast<QWidget*>(Panel1),
                            static_cast<QWidget*>(Image1), static_cast<QWidget*>(Label2),
                            static_cast<QWidget*>(Image2), static_cast<QWidget*>(Label5),
                            static_cast<QWidget*>(BitBtn1), static_cast<QWidget*>(BitBtn2)})
        widget->installEventFilter(this);
}

void TAboutBox::FormCreate()
{
    MatrixChars = QStringLiteral("zel");
    StartMatrix();
    setWindowTitle(FillTemplate(TranslateText("About %s"), {productName_}));
    Image1->setPixmap(QIcon(QStringLiteral(":/pictures/grandora.svg"))
                          .pixmap(QSize(32, 32), devicePixelRatioF()));
    Label2->setText(productName_ + QLatin1Char(' ') + version_);
    Label5->setText(webHost_);
    Label5->setToolTip(QStringLiteral("http://%1/").arg(webHost_));
    BitBtn1->setText(TranslateText("OK"));
    BitBtn2->setText(TranslateText("Info"));
    Credits1->setText(TranslateText("Acknowledgements..."));
    Howtouninstall1->setText(TranslateText("How to uninstall..."));
    LicensePrivacyPolicy1->setText(TranslateText("License..."));
    HighDPIImageYukle();
    PanelEgg->move((width() - PanelEgg->width()) / 2, (height() - PanelEgg->height()) / 2);
}

void TAboutBox::HighDPIImageYukle()
{
    const qreal ratio = devicePixelRatioF();
    const auto render = [ratio](const QString& file, QSize size) {
        QPixmap pixmap(size * ratio);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        QSvgRenderer(file).render(&painter);
        painter.end();
        pixmap.setDevicePixelRatio(ratio);
        return pixmap;
    };
    Image2->clear();
    Image2->setPixmap(render(QStringLiteral(":/pictures/zelmora-logo.svg"), QSize(344, 105)));
    ImageEgg->clear();
    ImageEgg->setPixmap(render(QStringLiteral(":/pictures/cat.svg"), QSize(320, 214)));
}

void TAboutBox::FormAfterMonitorDpiChanged()
{
    HighDPIImageYukle();
    SetupMatrix();
    Image1->setPixmap(QIcon(QStringLiteral(":/pictures/grandora.svg"))
                          .pixmap(QSize(32, 32), devicePixelRatioF()));
}

void TAboutBox::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The native window exists only now; follow it to screens of another pixel ratio.
    if (!screenWatched_ && windowHandle()) {
        connect(windowHandle(), &QWindow::screenChanged, this,
                &TAboutBox::FormAfterMonitorDpiChanged);
        screenWatched_ = true;
    }
}

void TAboutBox::SetTickSourceForTesting(std::function<std::uint32_t()> tickSource)
{
    tickSource_ = std::move(tickSource);
}

void TAboutBox::ShowDropDownMenu(QPushButton* button, QMenu* menu)
{
    // The mouse press that closes an open menu also clicks the button under it; that click must
    // not open the menu again at once.
    if (button == lastDropDownButton_ && menu == lastDropDownMenu_ &&
        std::uint32_t(tickSource_() - lastDropDownClosed_) < menuReopenGuardMs) {
        lastDropDownButton_ = nullptr;
        lastDropDownMenu_ = nullptr;
        return;
    }
    menu->exec(button->mapToGlobal(QPoint(0, button->height())));
    lastDropDownClosed_ = tickSource_();
    lastDropDownButton_ = button;
    lastDropDownMenu_ = menu;
}

void TAboutBox::BitBtn1Click()
{
    close();
}

void TAboutBox::BitBtn2Click()
{
    ShowDropDownMenu(BitBtn2, PopupMenu1);
}

void TAboutBox::OpenMakerPage(const QString& scheme, const QString& path)
{
    const QUrl address(scheme + QStringLiteral("://") + webHost_ + path);
    platform::ShellOpen(address, this, [this, address] {
        ShowUnopened(TranslateText("Nothing on this computer could open the page. Its address, "
                                   "to copy:"),
                     address.toString());
    });
}

void TAboutBox::ShowUnopened(const QString& text, const QString& target)
{
    platform::MessageBox(this, text + QStringLiteral("\n\n") + target, TranslateText("WARNING"),
                         platform::MB_ICONWARNING);
}

void TAboutBox::Label5Click()
{
    OpenMakerPage(QStringLiteral("http"), QStringLiteral("/"));
}

void TAboutBox::Credits1Click()
{
    OpenMakerPage(QStringLiteral("https"), QStringLiteral("/blog/credits-and-acknowledgements/"));
}

void TAboutBox::Howtouninstall1Click()
{
    OpenMakerPage(QStringLiteral("http"),
                  QStringLiteral("/blog/how-to-uninstall-zelmora-software/"));
}

void TAboutBox::LicensePrivacyPolicy1Click()
{
    const QString path = programFolder_ + QStringLiteral("license.txt");
    if (QFileInfo(path).isFile())
        platform::ShellOpenFile(path, this, [this, path] {
            ShowUnopened(TranslateText("Nothing on this computer could open the file. Its path, "
                                       "to copy:"),
                         path);
        });
    else
        platform::MessageBox(this, TranslateText("File not found!"), TranslateText("License"),
                             platform::MB_ICONERROR | platform::MB_OK);
}

void TAboutBox::Image1DblClick()
{
    if (TimerEgg->isActive())
        return;
    PanelEgg->show();
    PanelEgg->stackUnder(Panel1);
    TimerEgg->start();
}

void TAboutBox::TimerEggTimer()
{
    Panel1->move(Panel1->x() + 5, Panel1->y());
    if (Panel1->x() > width())
        TimerEgg->stop();
}

void TAboutBox::ImageEggDblClick()
{
    if (TimerEgg->isActive())
        return;
    PanelEgg->hide();
    Panel1->move((width() - Panel1->width()) / 2, Panel1->y());
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event)
{
    const bool draggable = watched == ImageEgg || watched == Panel1 || watched == Image1 ||
                           watched == Label2 || watched == Image2;
    if (draggable)
        drag_.HandleMouse(event);
    switch (event->type()) {
    case QEvent::MouseButtonRelease:
        if (watched == Label5 && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
            Label5->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint()))
            Label5Click();
        break;
    case QEvent::MouseButtonDblClick:
        if (watched == Image1)
            Image1DblClick();
        else if (watched == ImageEgg)
            ImageEggDblClick();
        break;
    case QEvent::KeyPress:
        if ((watched == BitBtn1 || watched == BitBtn2) &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            close();
            return true;
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutBox::mousePressEvent(QMouseEvent* event)
{
    drag_.HandleMouse(event);
}

void TAboutBox::mouseMoveEvent(QMouseEvent* event)
{
    drag_.HandleMouse(event);
}

void TAboutBox::mouseReleaseEvent(QMouseEvent* event)
{
    drag_.HandleMouse(event);
}

QColor TAboutBox::HeadColor(int brightness)
{
    return tint(brightness * 255 / 100);
}

QColor TAboutBox::TrailColor(int brightness)
{
    return tint(brightness * 255 / 100 / 3);
}

void TAboutBox::StartMatrix()
{
    FrameCounter = 0;
    bitmapWidth = frameGeometry().width();
    bitmapHeight = frameGeometry().height();
    SetupMatrix();
    tmTimer->setInterval(50);
    tmTimer->start();
}

void TAboutBox::SetupMatrix()
{
    // The canvas has the screen's pixels, so the rain is as sharp as the text around it.
    const qreal ratio = devicePixelRatioF();
    outCanvas = QImage(size() * ratio, QImage::Format_RGB32);
    outCanvas.setDevicePixelRatio(ratio);
    outCanvas.fill(Qt::black);
    rainFont_ = tahoma(12);
    // Plain pixels in exactly the head and trail colours, as the rain has always looked.
    rainFont_.setStyleStrategy(QFont::NoAntialias);
    charWidth = 8;
    charHeight = 12;
    matrixWidth = bitmapWidth / charWidth;
    matrixHeight = bitmapHeight / charHeight;
    InitDrops();
}

void TAboutBox::InitDrops()
{
    DropCount = 0;
    for (int i = 0; i < matrixWidth * 2; ++i)
        AddDrop();
}

void TAboutBox::AddDrop()
{
    // An empty matrix (a window narrower than one cell) has no column to give a drop.
    if (DropCount >= MaxDrops || matrixWidth <= 0 || matrixHeight <= 0)
        return;
    TDrop& drop = Drops[static_cast<size_t>(DropCount)];
    drop.column = DropCount % matrixWidth;
    drop.row = random(matrixHeight);
    drop.speed = 1 + random(3);
    drop.brightness = random(100);
    drop.character = QChar();
    ++DropCount;
}

void TAboutBox::StepMatrix()
{
    for (int i = 0; i < DropCount; ++i) {
        TDrop& drop = Drops[static_cast<size_t>(i)];
        DrawDropChar(drop, MatrixChars.at(random(static_cast<int>(MatrixChars.size()))));
        if (FrameCounter % static_cast<std::uint32_t>(drop.speed) == 0) {
            ++drop.row;
            if (drop.row > matrixHeight + 1) {
                drop.row = 0;
                drop.speed = 1 + random(3);
                drop.brightness = random(100);
            }
        }
    }
    ++FrameCounter;
}

void TAboutBox::DrawDropChar(TDrop& drop, QChar c)
{
    drop.character = c;
    const int x = drop.column * charWidth;
    int eraseRow = drop.row - 40;
    while (eraseRow < 0)
        eraseRow += matrixHeight + 1;

    QPainter painter(&outCanvas);
    painter.fillRect(x, eraseRow * charHeight, charWidth, charHeight, Qt::black);
    painter.setFont(rainFont_);
    const int baseline = painter.fontMetrics().ascent();
    // Each character covers its cell as opaque text does, so a new character never sits on top
    // of the one drawn there before.
    const auto drawCell = [&](int row, const QColor& color) {
        painter.fillRect(x, row * charHeight, charWidth, charHeight, Qt::black);
        painter.setPen(color);
        painter.drawText(x, row * charHeight + baseline, QString(drop.character));
    };
    if (drop.row > 0)
        drawCell(drop.row - 1, TrailColor(drop.brightness));
    drawCell(drop.row, HeadColor(drop.brightness));
}

void TAboutBox::tmTimerTimer()
{
    StepMatrix();
    update();
}

void TAboutBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.drawImage(0, 0, outCanvas);
}

void TAboutBox::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    SetupMatrix();
}
