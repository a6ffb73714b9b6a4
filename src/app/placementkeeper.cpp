#include "placementkeeper.h"

#include "windowplacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>

PlacementKeeper::PlacementKeeper(QWidget* window, const QString& key, TRead read, TWrite write)
    : QObject(window), window_(window), key_(key), read_(std::move(read)), write_(std::move(write)),
      pause_(new QTimer(this))
{
    setObjectName(QStringLiteral("placementKeeper"));
    pause_->setObjectName(QStringLiteral("placementPause"));
    pause_->setSingleShot(true);
    pause_->setInterval(500);
    connect(pause_, &QTimer::timeout, this, &PlacementKeeper::store);
    window_->installEventFilter(this);
}

void PlacementKeeper::restore(QSize firstStart)
{
    const std::optional<TWindowPlacement> stored =
        ParseWindowPlacement(read_ ? read_(key_) : QString());
    QList<QRect> screens;
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        screens << primary->availableGeometry();
    for (const QScreen* screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    window_->setGeometry(
        PlaceWindow(stored ? std::optional(stored->geometry) : std::nullopt, screens, firstStart));
    if (stored && stored->maximized)
        window_->setWindowState(window_->windowState() | Qt::WindowMaximized);
    pause_->stop();
}

void PlacementKeeper::flush()
{
    if (pause_->isActive())
        store();
}

void PlacementKeeper::drop()
{
    pause_->stop();
}

void PlacementKeeper::store()
{
    pause_->stop();
    if (!write_)
        return;
    const bool maximized = window_->isMaximized();
    const QString text = WindowPlacementText(
        {maximized ? window_->normalGeometry() : window_->geometry(), maximized});
    // Showing a window moves it where it already is; that is no change to write.
    if (!read_ || text != read_(key_))
        write_(key_, text);
}

bool PlacementKeeper::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_) {
        switch (event->type()) {
        case QEvent::Resize:
        case QEvent::Move:
        case QEvent::WindowStateChange:
            if (window_->isVisible())
                pause_->start();
            break;
        case QEvent::Close:
            flush();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}
