// The notice that announces another version after the update check: a small borderless window in
// the top right corner that never takes the focus, can be dragged, links to the download and
// closes itself after eleven seconds.
#pragma once

#include "platform/windowdrag.h"

#include <QWidget>

class QLabel;
class QTimer;
class QToolButton;

class TNewVer : public QWidget
{
    Q_OBJECT

public:
    // `mainWindow` keeps the keyboard focus; `downloadUrl` is what the service announced and
    // `homePage` is opened instead when that is not an http or https address.
    TNewVer(QWidget* mainWindow, const QString& productName, const QString& newVersion,
            const QString& downloadUrl, const QString& homePage);

    // The address the link opens.
    QUrl LinkAddress() const;

    // Components, named as the tests know them.
    QWidget* Panel1 = nullptr;
    QLabel* Image1 = nullptr;
    QWidget* Panel2 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QWidget* Panel3 = nullptr;
    QToolButton* Button1 = nullptr;
    QTimer* TimerStart = nullptr;
    QTimer* TimerClose = nullptr;
    QTimer* TimerLink = nullptr;

    // Ticks of TimerClose left until the notice closes itself.
    qint64 NoticeCountdown = 11;

public slots:
    void TimerStartTimer();
    void TimerCloseTimer();
    void TimerLinkTimer();
    void Label2Click();
    void Button1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate(const QString& productName, const QString& newVersion);
    void AnimateFromCentre(bool show);

    QWidget* mainWindow_;
    QString downloadUrl_;
    QString homePage_;
    platform::WindowDrag drag_{this};
};
