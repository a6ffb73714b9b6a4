// A top-level window's size, place and maximised state kept under one key of settings.ini: put
// back where they fit a screen of today, and written again once moving or resizing pauses.
#pragma once

#include <QObject>
#include <QSize>
#include <QString>
#include <functional>

class QTimer;
class QWidget;

class PlacementKeeper : public QObject
{
    Q_OBJECT

public:
    using TRead = std::function<QString(const QString&)>;
    using TWrite = std::function<void(const QString&, const QString&)>;

    // Watches `window`, whose child it becomes.
    PlacementKeeper(QWidget* window, const QString& key, TRead read, TWrite write);

    // Places the window as stored; with nothing stored that fits, `firstStart` centred on the
    // primary screen.
    void restore(QSize firstStart);
    // Writes a change that still waits for its pause.
    void flush();
    // Forgets a change that waits: nothing more is written for it.
    void drop();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void store();

    QWidget* window_;
    QString key_;
    TRead read_;
    TWrite write_;
    QTimer* pause_;
};
