// TRunnerThread: the worker of one run. It makes the pipes, starts the child, moves output,
// input, time-outs and the stop request in one wait loop, ends the child and posts everything the
// user sees to the user-interface thread in the order it happened.
#pragma once

#include "runner/childprocess.h"
#include "runner/inputlines.h"
#include "runner/runnertypes.h"
#include "runner/runtimethread.h"
#include "runner/syncevent.h"

#include <QPointer>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class TConsoleRunner;
class TProcessTimer;
class TReadPipe;

class TRunnerThread final : public TRuntimeThread
{
    Q_OBJECT

public:
    using TEndNotification = std::function<void(TRunnerThread* ASender)>;

    // Starts the worker at once. ALines and AOl are touched only on the user-interface thread;
    // AEnv is copied.
    TRunnerThread(TConsoleRunner* AOwner, const QString& ACl, const QString& ACurrDir,
                  QStringList& ALines, QStringList* AOl, TProcessTimer& ATimer, std::int32_t AMtab,
                  std::int32_t AMtalo, TNewLineEvent AOnl, TNewCharEvent AOnc, TEndNotification Ot,
                  TTerminateProcessEvent AOtp, std::int32_t Ap, bool Aito, const QStringList& AEnv,
                  TCharDecoding AOnCharDecoding, TCharEncoding AOnCharEncoding);
    ~TRunnerThread() override;

    // Asks the worker to end: the child is killed if it still runs.
    void Terminate();
    // The owner is going away: from now on nothing is posted to it and nothing waits for it.
    void Detach();

    TInputLines& InputLines() { return FInputLines; }
    std::uint32_t ExitCode() const { return FExitCode; }
    // The exception that ended the run, if one did.
    std::exception_ptr FatalException() const { return FFatalException; }

protected:
    void Execute() override;

private:
    // One step of what the user-interface thread is to do, in the order the worker decided it.
    struct TDelivery {
        // LineEnded: the line goes into the lists, then to OnNewLine when one is set.
        enum TKind : std::uint8_t { NewChars, LineEnded, LinesAddMany, NewLine, OutputLinesAdd };
        TKind Kind;
        TOutputType Type;
        QString Text;      // the characters, or the line
        QStringList Batch; // LinesAddMany: lines that follow each other with nothing in between
    };
    using TDeliveries = std::vector<TDelivery>;

    void Work();
    void RunLoop(TReadPipe& AReader, int AWriteEnd);
    void DoReadOutput(TReadPipe& AReader);
    void DoSendLine(int AWriteEnd);
    void DoTerminateProcess();
    void EndLine(TDeliveries& AOut, QString& ALine);
    void StoreEndStatus(TEndStatus AValue);
    // Posts AWork to the owner's thread unless the owner is gone.
    void Post(std::function<void()> AWork);
    void Deliver(TDeliveries&& AItems);
    bool LimitReached() const;

    QString FCommandLine;
    QString FCurrentDir;
    QStringList FEnvironment;
    // The environment the child inherits, taken when the run starts.
    std::vector<QByteArray> FInheritedEnvironment;
    TInputLines FInputLines;
    bool FInputToOutput;
    QStringList& FLines;
    std::int32_t FMaxTimeAfterBeginning;
    std::int32_t FMaxTimeAfterLastOutput;
    TCharDecoding FOnCharDecoding;
    TCharEncoding FOnCharEncoding;
    TNewCharEvent FOnNewChar;
    TNewLineEvent FOnNewLine;
    TTerminateProcessEvent FOnTerminateProcess;
    TEndNotification FOnEnd;
    QStringList* FOutputLines;
    TConsoleRunner* FOwner;
    std::int32_t FPriority;
    TChildProcess FProcess;
    TEvent FTerminateEvent{true};
    TProcessTimer& FTimer;
    std::atomic<std::uint32_t> FExitCode{STILL_ACTIVE};
    bool FCanTerminate = false;
    std::atomic<bool> FTerminated{false};
    std::exception_ptr FFatalException;

    // Loop state of the run.
    QString PendingLine;
    bool PartialAnnounced = false;

    // Guards posting against the owner's destruction, and the wait for a handler's answer.
    std::mutex FLinkLock;
    std::condition_variable FLinkChanged;
    bool FDetached = false;
};
