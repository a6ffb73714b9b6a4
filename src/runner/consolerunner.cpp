#include "consolerunner.h"

#include "runner/processtimer.h"
#include "runner/runnerthread.h"

#include "platform/debugoutput.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFileInfo>
#include <QIODevice>
#include <QPointer>

TConsoleRunner::TConsoleRunner(QObject* AOwner) : QObject(AOwner), FDecoder(QStringDecoder::System)
{
}

TConsoleRunner::~TConsoleRunner()
{
    if (FThread) {
        // The worker may be waiting for an answer from this thread; it must not wait for us now,
        // and nothing it would still post may reach us.
        FThread->Detach();
        Stop();
        FThread->WaitFor();
        FThread.reset();
    }
}

void TConsoleRunner::SetOnCharDecoding(TCharDecoding AValue)
{
    if (FThread)
        throw EConsoleRunner(QStringLiteral("ConsoleRunner still running"));
    FOnCharDecoding = std::move(AValue);
}

void TConsoleRunner::SetOnCharEncoding(TCharEncoding AValue)
{
    if (FThread)
        throw EConsoleRunner(QStringLiteral("ConsoleRunner still running"));
    FOnCharEncoding = std::move(AValue);
}

void TConsoleRunner::Execute()
{
    if (FThread)
        throw EConsoleRunner(QStringLiteral("ConsoleRunner still running"));
    if (FCommandLine.isEmpty())
        throw EConsoleRunner(QStringLiteral("No Commandline to execute"));
    if (!FTimer)
        FTimer = std::make_unique<TProcessTimer>();
    FLines.clear();
    FTimer->Beginning();
    FDecoder = QStringDecoder(QStringDecoder::System);
    try {
        FThread = std::make_unique<TRunnerThread>(
            this, FCommandLine, FCurrentDir, FLines, FOutputLines, *FTimer, FMaxTimeAfterBeginning,
            FMaxTimeAfterLastOutput, OnNewLine, OnNewChar,
            [this](TRunnerThread* ASender) { WorkerFinished(ASender); }, OnTerminateProcess,
            FPriority, FInputToOutput, FEnvironment,
            [this](QObject* ASender, QIODevice& ABuf) { return DecodeOutput(ASender, ABuf); },
            [this](QObject* ASender, const QString& AChars, QIODevice& AOutBuf) {
                EncodeInput(ASender, AChars, AOutBuf);
            });
    } catch (...) {
        FTimer->Ending(); // no run started, so none will end it
        throw;
    }
}

void TConsoleRunner::Stop()
{
    if (FThread)
        FThread->Terminate();
}

void TConsoleRunner::SendLine(const QString& AValue, bool AEol)
{
    if (!FThread)
        throw EConsoleRunner(QStringLiteral("ConsoleRunner not running"));
    FThread->InputLines().Add((AEol ? QStringLiteral("_") : QStringLiteral(" ")) + AValue);
}

QString TConsoleRunner::DecodeOutput(QObject* /*ASender*/, QIODevice& ABuf)
{
    if (FOnCharDecoding)
        return FOnCharDecoding(this, ABuf);
    const qint64 size = ABuf.size();
    if (size <= 0)
        return {};
    if (auto* buffer = qobject_cast<QBuffer*>(&ABuf)) {
        // Decoded in place, without a copy of the bytes.
        const QByteArrayView bytes = QByteArrayView(buffer->data()).sliced(buffer->pos());
        buffer->seek(buffer->size());
        return FDecoder.decode(bytes);
    }
    return FDecoder.decode(ABuf.read(size));
}

void TConsoleRunner::EncodeInput(QObject* /*ASender*/, const QString& AChars, QIODevice& AOutBuf)
{
    if (FOnCharEncoding) {
        FOnCharEncoding(this, AChars, AOutBuf);
        return;
    }
    if (!AChars.isEmpty())
        AOutBuf.write(AChars.toLocal8Bit());
}

void TConsoleRunner::WorkerFinished(TRunnerThread* ASender)
{
    FExitCode = ASender->ExitCode();
    FTimer->Ending();
    // The worker has posted this as its last act; its thread is about to return, if it has not.
    const std::exception_ptr failure = ASender->FatalException();
    FThread.reset();

    const QPointer<TConsoleRunner> alive(this);
    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& E) {
            if (OnExecuteError) {
                bool handled = false;
                try {
                    OnExecuteError(this, E, handled);
                } catch (const std::exception& raised) {
                    if (alive)
                        ShowWorkerError(raised);
                    handled = true;
                }
                if (!alive)
                    return;
                if (!handled)
                    ShowWorkerError(E);
            } else {
                ShowWorkerError(E);
            }
        }
    }
    if (alive && OnTerminated)
        OnTerminated(this);
}

void TConsoleRunner::ShowWorkerError(const std::exception& E)
{
    const QString text =
        ExceptionClassName(E) + QStringLiteral("\r\n") + QString::fromUtf8(E.what());
    const QString caption = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    if (WorkerErrorBox)
        WorkerErrorBox(text, caption, WorkerErrorBoxFlags);
    else
        platform::OutputDebugString(caption + QStringLiteral(": ") + text);
}
