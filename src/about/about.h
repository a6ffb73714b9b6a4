// The about window: the program's icon, name and version on a black panel over a falling
// character rain, the maker's links and the licence, and a picture hidden behind the panel.
#pragma once

#include "platform/windowdrag.h"

#include <QDialog>
#include <QFont>
#include <QImage>
#include <array>
#include <cstdint>
#include <functional>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QMouseEvent;
class QPushButton;
class QTimer;

// One falling column of the character rain.
struct TDrop {
    std::int32_t column = 0;
    std::int32_t row = 0;
    std::int32_t speed = 1;      // rows advance on frames divisible by it: 1 (fast) to 3
    std::int32_t brightness = 0; // 0 to 99
    QChar character;             // the character drawn last
};

class TAboutBox : public QDialog
{
    Q_OBJECT

public:
    static constexpr int MaxDrops = 5000;

    // `productName` and `version` are shown as the program's name; `webHost` is the maker's host
    // for every link; license.txt is looked for in `programFolder` (ending with '/').
    TAboutBox(const QString& productName, const QString& version, const QString& webHost,
              const QString& programFolder, QWidget* parent = nullptr);
    ~TAboutBox() override;

    // The colours of a drop's head and of the cell above it, for a brightness of 0 to 99.
    static QColor HeadColor(int brightness);
    static QColor TrailColor(int brightness);

    // Pops `menu` up under `button`, unless this very click is the one that just closed it.
    void ShowDropDownMenu(QPushButton* button, QMenu* menu);
    // Renders the logo and the hidden picture for the screen's current pixel ratio.
    void HighDPIImageYukle();

    void InitDrops();
    void AddDrop();
    void StepMatrix();
    void DrawDropChar(TDrop& drop, QChar c);

    // The surface the rain is drawn on (the window's background).
    const QImage& Canvas() const { return outCanvas; }

    // Test seam: the clock that ShowDropDownMenu reads instead of platform::GetTickCount.
    void SetTickSourceForTesting(std::function<std::uint32_t()> tickSource);

    QFrame* PanelEgg = nullptr;
    QLabel* ImageEgg = nullptr;
    QFrame* Panel1 = nullptr;
    QFrame* Bevel1 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Image2 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QTimer* tmTimer = nullptr;
    QTimer* TimerEgg = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Credits1 = nullptr;
    QAction* Howtouninstall1 = nullptr;
    QAction* LicensePrivacyPolicy1 = nullptr;

    // The rain.
    QString MatrixChars;
    std::array<TDrop, MaxDrops> Drops;
    int DropCount = 0;
    std::uint32_t FrameCounter = 0;
    int matrixWidth = 0;
    int matrixHeight = 0;
    int charWidth = 8;
    int charHeight = 12;
    int bitmapWidth = 0;
    int bitmapHeight = 0;

public slots:
    void BitBtn1Click();
    void BitBtn2Click();
    void Label5Click();
    void Credits1Click();
    void Howtouninstall1Click();
    void LicensePrivacyPolicy1Click();
    void Image1DblClick();
    void ImageEggDblClick();
    void TimerEggTimer();
    void tmTimerTimer();
    void FormAfterMonitorDpiChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void CreateComponents();
    void FormCreate();
    void StartMatrix();
    void SetupMatrix();
    void OpenMakerPage(const QString& scheme, const QString& path);
    // When a link opens nothing, says so and shows `target` for the user to copy.
    void ShowUnopened(const QString& text, const QString& target);

    QString productName_;
    QString version_;
    QString webHost_;
    QString programFolder_;

    platform::WindowDrag drag_{this};
    QImage outCanvas;
    QFont rainFont_;

    QPushButton* lastDropDownButton_ = nullptr;
    QMenu* lastDropDownMenu_ = nullptr;
    std::uint32_t lastDropDownClosed_ = 0;
    std::function<std::uint32_t()> tickSource_;
    bool screenWatched_ = false;
};
