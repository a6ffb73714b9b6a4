#include "windowplacement.h"

#include <QStringList>

QString WindowPlacementText(const TWindowPlacement& placement)
{
    const QRect& r = placement.geometry;
    return QStringLiteral("%1,%2,%3,%4,%5")
        .arg(r.x())
        .arg(r.y())
        .arg(r.width())
        .arg(r.height())
        .arg(placement.maximized ? 1 : 0);
}

std::optional<TWindowPlacement> ParseWindowPlacement(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 5)
        return std::nullopt;
    int values[5];
    for (int i = 0; i < 5; ++i) {
        bool ok = false;
        values[i] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    if (values[2] <= 0 || values[3] <= 0 || (values[4] != 0 && values[4] != 1))
        return std::nullopt;
    return TWindowPlacement{QRect(values[0], values[1], values[2], values[3]), values[4] == 1};
}

QRect PlaceWindow(const std::optional<QRect>& stored, const QList<QRect>& screens, QSize firstStart)
{
    if (screens.isEmpty())
        return stored.value_or(QRect(QPoint(0, 0), firstStart));
    if (stored) {
        for (const QRect& screen : screens) {
            if (screen.contains(*stored))
                return *stored;
        }
    }
    const QRect& primary = screens.front();
    // A window from a screen that is gone comes back on this one, as large as it was where it
    // fits.
    QSize size =
        stored && primary.width() >= stored->width() && primary.height() >= stored->height()
            ? stored->size()
            : firstStart.boundedTo(primary.size());
    QRect placed(QPoint(0, 0), size);
    placed.moveCenter(primary.center());
    return placed;
}
