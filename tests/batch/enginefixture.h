// A batch engine against the fake upscaler, watched through its signals, and a fixture with the
// upscaler's folder, a private trash and a log of the upscaler's command lines.
#pragma once

#include "batch/batchengine.h"
#include "platform/instancefolder.h"
#include "support/testenv.h"
#include "support/waitfor.h"

#include <QFile>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

// A batch may take a while under the sanitizers.
template <typename Condition> bool waitFor(Condition done, int milliseconds = 60000)
{
    return testenv::WaitFor(done, milliseconds);
}

// What one engine reported.
struct Reports {
    QList<int> started;
    std::map<int, TImageResult> finished;
    int stopped = 0;
    std::vector<TBatchSummary> summaries;

    QString outcomes() const
    {
        QString text;
        for (const auto& [index, result] : finished)
            text += QLatin1Char("CFAS"[static_cast<int>(result.outcome)]);
        return text;
    }
};

// A batch engine with its own instance folder, watched through its signals.
struct Engine {
    explicit Engine(const QString& tempParent) : folder(tempParent), engine(folder.Path())
    {
        QObject::connect(&engine, &TBatchEngine::ImageStarted,
                         [this](int index, const QString&) { seen.started << index; });
        QObject::connect(&engine, &TBatchEngine::ImageFinished,
                         [this](int index, const TImageResult& r) { seen.finished[index] = r; });
        QObject::connect(&engine, &TBatchEngine::Stopped, [this] { ++seen.stopped; });
        QObject::connect(&engine, &TBatchEngine::Finished,
                         [this](const TBatchSummary& s) { seen.summaries.push_back(s); });
    }
    // `origins[i]`: the folder image i was listed from; missing or empty: added by itself.
    void start(const TBatchOptions& options, const QStringList& images,
               const QStringList& origins = {})
    {
        seen = {};
        engine.Start(
            options, [images, origins](int fromRow) -> std::optional<TBatchEngine::TQueuedImage> {
                if (fromRow >= images.size())
                    return std::nullopt;
                return TBatchEngine::TQueuedImage{fromRow, images[fromRow], origins.value(fromRow)};
            });
    }
    bool ended() const { return !seen.summaries.empty() || seen.stopped > 0; }

    platform::TInstanceFolder folder;
    TBatchEngine engine;
    Reports seen;
};

// A program folder with the fake upscaler and its models, a private trash, and a log of the
// upscaler's command lines.
class BatchEngineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        upscalerFolder = testenv::NewFolder(QStringLiteral("realesrgan")) + QLatin1Char('/');
        testenv::LayOutUpscalerFolder(upscalerFolder, QStringLiteral(GRANDORA_FAKE_UPSCALER));
        savedData_ = qgetenv("XDG_DATA_HOME");
        const QString dataHome = testenv::NewFolder(QStringLiteral("data"));
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome));
        trash = dataHome + QStringLiteral("/Trash/");
        argsLog = testenv::NewFolder(QStringLiteral("log")) + QStringLiteral("/args.txt");
        qputenv("GRANDORA_FAKE_UPSCALER_LOG", QFile::encodeName(argsLog));
        tempParent = testenv::NewFolder(QStringLiteral("tmp")) + QLatin1Char('/');
        folder = testenv::NewFolder(QStringLiteral("photos")) + QLatin1Char('/');
        options.imageType = TImageType::Photo;
        options.upscalerFolder = upscalerFolder;
    }
    void TearDown() override
    {
        qputenv("XDG_DATA_HOME", savedData_);
        for (const char* name : {"GRANDORA_FAKE_UPSCALER_LOG", "GRANDORA_FAKE_UPSCALER_MODE",
                                 "GRANDORA_FAKE_UPSCALER_DELAY_MS"})
            qunsetenv(name);
    }
    // Runs a whole batch on a new engine and returns it when the batch has ended.
    std::unique_ptr<Engine> run(const QStringList& images, const QStringList& origins = {})
    {
        auto engine = std::make_unique<Engine>(tempParent);
        engine->start(options, images, origins);
        EXPECT_TRUE(waitFor([&] { return engine->ended() && !engine->engine.IsBusy(); }));
        EXPECT_TRUE(testenv::FolderEntries(engine->folder.Path()).isEmpty() ||
                    testenv::FolderEntries(engine->folder.Path()) ==
                        QStringList{QStringLiteral(".owner")})
            << "the upscaler's output is never left behind";
        return engine;
    }
    QStringList upscalerRuns() const
    {
        return QString::fromUtf8(testenv::ReadFile(argsLog))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QString upscalerFolder, trash, argsLog, tempParent, folder;
    QByteArray savedData_;
    TBatchOptions options;
};
