// Real artwork through the Artwork models in the built-in engine, and the judgement of the results:
// large flat areas and hard black outlines, enlarged correctly, are neither empty nor damaged.
#include "batch/outputcheck.h"
#include "support/testenv.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QProcess>
#include <gtest/gtest.h>

#include <cstdio>

namespace
{

const QString Models = QStringLiteral(GRANDORA_BIN_DIR "/realesrgan/models");

// An icon of the desktop's theme at `side` pixels, its transparency filled with `background`.
QImage flattenedIcon(const QString& path, int side, const QColor& background)
{
    const QImage icon =
        QImage(path).scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QImage flat(icon.size(), QImage::Format_RGB888);
    flat.fill(background);
    QPainter painter(&flat);
    painter.drawImage(0, 0, icon);
    return flat;
}

// Black ink on white paper: outlines, hatching and a filled shape.
QImage lineDrawing()
{
    QImage image(112, 96, QImage::Format_RGB888);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 2));
    painter.drawEllipse(QRectF(10, 10, 56, 56));
    painter.drawRect(QRectF(60, 40, 40, 46));
    for (int x = 64; x < 100; x += 5)
        painter.drawLine(QPointF(x, 44), QPointF(x + 8, 82));
    QPainterPath leaf;
    leaf.moveTo(20, 80);
    leaf.cubicTo(30, 60, 50, 70, 40, 90);
    painter.fillPath(leaf, Qt::black);
    painter.drawLine(QPointF(38, 30), QPointF(38, 46));
    return image;
}

TEST(DrawingJudgement, ArtworkEnlargedByTheArtworkModelsIsJudgedAlike)
{
    const QString icons = QStringLiteral("/usr/share/icons/Adwaita/");
    struct TIcon {
        const char* path; // under the theme's folder
        int side;
    };
    const TIcon themeIcons[] = {
        {"48x48/legacy/applications-graphics.png", 48},
        {"48x48/legacy/face-smile-big.png", 48},
        {"256x256/status/user-trash-full.png", 96},
        {"256x256/places/user-trash.png", 128},
    };
    for (const TIcon& icon : themeIcons)
        if (!QFileInfo::exists(icons + QLatin1String(icon.path)))
            GTEST_SKIP() << "the icon theme is missing (scripts/setup-deps installs it)";
    const char* models[] = {"realesrgan-x4plus-anime", "realesr-animevideov3-x4"};
    for (const char* model : models)
        if (!QFileInfo::exists(Models + QLatin1Char('/') + QLatin1String(model) +
                               QStringLiteral(".bin")))
            GTEST_SKIP() << "the Artwork models are not provisioned in " << Models.toStdString()
                         << " (scripts/get-upscaler provisions them)";

    const QString in = testenv::NewFolder(QStringLiteral("drawings"));
    std::vector<std::pair<QString, QImage>> drawings{
        {QStringLiteral("line-drawing"), lineDrawing()}};
    for (const TIcon& icon : themeIcons) {
        const QString name = QFileInfo(QLatin1String(icon.path)).completeBaseName() +
                             QStringLiteral("-%1").arg(icon.side);
        const QString path = icons + QLatin1String(icon.path);
        drawings.emplace_back(name + QStringLiteral("-on-white"),
                              flattenedIcon(path, icon.side, Qt::white));
        drawings.emplace_back(name + QStringLiteral("-on-black"),
                              flattenedIcon(path, icon.side, Qt::black));
    }
    for (const auto& [name, image] : drawings)
        ASSERT_TRUE(image.save(in + QLatin1Char('/') + name + QStringLiteral(".png")));

    for (const char* model : models) {
        const QString out = testenv::NewFolder(QStringLiteral("enlarged-") + QLatin1String(model));
        QProcess engine;
        engine.setProcessChannelMode(QProcess::MergedChannels);
        engine.start(QStringLiteral(GRANDORA_ENLARGE),
                     {QStringLiteral("-i"), in, QStringLiteral("-o"), out, QStringLiteral("-n"),
                      QLatin1String(model), QStringLiteral("-m"), Models});
        ASSERT_TRUE(engine.waitForFinished(600000));
        ASSERT_EQ(engine.exitCode(), 0) << engine.readAll().toStdString();
        for (const auto& [name, image] : drawings) {
            const QImage enlarged(out + QLatin1Char('/') + name + QStringLiteral(".png"));
            ASSERT_EQ(enlarged.size(), image.size() * 4) << name.toStdString();
            const TLikenessFigures figures = MeasureLikeness(image, enlarged);
            std::printf("%s, %s: likeness %.1f dB (damaged below %.0f), %d of %d dark squares "
                        "came back bright\n",
                        model, qPrintable(name), figures.likeness, LeastLikeness,
                        figures.turnedBright, figures.darkSquares);
            EXPECT_EQ(JudgeLikeness(figures), TLikeness::Alike)
                << model << ", " << name.toStdString();
        }
    }
}

} // namespace
