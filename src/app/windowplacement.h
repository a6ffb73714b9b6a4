// Where the main window opens: the size, position and maximised state of the last run as
// settings.ini keeps them, checked against the screens there are now.
#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <optional>

struct TWindowPlacement {
    QRect geometry; // the normal (not maximised) geometry
    bool maximized = false;
};

// The setting's text: "x,y,width,height,maximized" ("100,80,960,640,0").
QString WindowPlacementText(const TWindowPlacement& placement);
// The placement a setting names; nothing for a text that is not one, or has no positive size.
std::optional<TWindowPlacement> ParseWindowPlacement(const QString& text);

// The geometry to open at. `stored` where it lies wholly on one of `screens` (their available
// areas, the primary one first); a stored size that fits the primary screen is centred there;
// else `firstStart`, shrunk to the primary screen where it is larger, centred there.
QRect PlaceWindow(const std::optional<QRect>& stored, const QList<QRect>& screens,
                  QSize firstStart);
