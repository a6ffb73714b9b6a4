// TConsoleRunner: a non-visual component that runs one console program at a time with redirected
// standard streams and reports its output, its errors and its end on the user-interface thread.
#pragma once

#include "runner/commandline.h"
#include "runner/runnertypes.h"

#include <QObject>
#include <QString>
#include <QStringDecoder>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <memory>

class TProcessTimer;
class TRunnerThread;

class TConsoleRunner : public QObject
{
    Q_OBJECT

public:
    explicit TConsoleRunner(QObject* AOwner = nullptr);
    // Ends a run in progress: the child is killed and nothing more is delivered to this object.
    ~TConsoleRunner() override;

    // Starts CommandLine; returns at once. Raises EConsoleRunner "ConsoleRunner still running"
    // during a run and "No Commandline to execute" when CommandLine is empty.
    void Execute();
    // Asks the run in progress to end (the child is killed); does not wait. Idle: nothing.
    void Stop();
    // Queues AValue for the child's standard input, with CR LF after it when AEol is true.
    // Raises EConsoleRunner "ConsoleRunner not running" while idle.
    void SendLine(const QString& AValue, bool AEol);

    // Design-time settings.
    QString CommandLine() const { return FCommandLine; }
    void SetCommandLine(const QString& AValue) { FCommandLine = AValue; }
    QString CurrentDir() const { return FCurrentDir; }
    void SetCurrentDir(const QString& AValue) { FCurrentDir = AValue; }
    // name=value entries appended to the inherited environment of the child.
    QStringList& Environment() { return FEnvironment; }
    bool InputToOutput() const { return FInputToOutput; }
    void SetInputToOutput(bool AValue) { FInputToOutput = AValue; }
    std::int32_t MaxTimeAfterBeginning() const { return FMaxTimeAfterBeginning; }
    void SetMaxTimeAfterBeginning(std::int32_t AValue) { FMaxTimeAfterBeginning = AValue; }
    std::int32_t MaxTimeAfterLastOutput() const { return FMaxTimeAfterLastOutput; }
    void SetMaxTimeAfterLastOutput(std::int32_t AValue) { FMaxTimeAfterLastOutput = AValue; }
    // Both raise EConsoleRunner "ConsoleRunner still running" during a run, because they are
    // called on the runner's own threads.
    const TCharDecoding& OnCharDecoding() const { return FOnCharDecoding; }
    void SetOnCharDecoding(TCharDecoding AValue);
    const TCharEncoding& OnCharEncoding() const { return FOnCharEncoding; }
    void SetOnCharEncoding(TCharEncoding AValue);

    // Events, all called on the user-interface thread. OnNewLine, OnNewChar and
    // OnTerminateProcess are taken when Execute starts a run; OnExecuteError and OnTerminated
    // when it ends.
    TErrorEvent OnExecuteError;
    TNewCharEvent OnNewChar;
    TNewLineEvent OnNewLine;
    TNotifyEvent OnTerminated;
    TTerminateProcessEvent OnTerminateProcess;

    // Run-time state.
    TEndStatus EndStatus() const { return static_cast<TEndStatus>(FEndStatus.load()); }
    std::uint32_t ExitCode() const { return FExitCode; }
    bool IsRunning() const { return FThread != nullptr; }
    const QStringList& Lines() const { return FLines; }
    // A second list that receives every output line; it belongs to the caller and may be unset.
    QStringList* OutputLines() const { return FOutputLines; }
    void SetOutputLines(QStringList* AValue) { FOutputLines = AValue; }
    std::int32_t Priority() const { return FPriority; }
    void SetPriority(std::int32_t AValue) { FPriority = AValue; }
    const TProcessInformation& ProcessInformation() const { return FProcessInformation; }
    // The running program's process id, else 0.
    std::uint32_t ProcessId() const { return IsRunning() ? FProcessInformation.dwProcessId : 0; }

    // Shows the error box of an error that ended a run and that no OnExecuteError handler took:
    // text, caption and message-box flags. The runner has no windows of its own, so whoever owns
    // it hands over the program's message box here; while it is unset the error goes to the
    // debugger output.
    using TWorkerErrorBox =
        std::function<void(const QString& AText, const QString& ACaption, unsigned AFlags)>;
    TWorkerErrorBox WorkerErrorBox;

    // Turns the bytes of one read from the child into text; runs on the reader thread. Without
    // an OnCharDecoding handler it decodes the locale's character set and carries a multi-byte
    // sequence cut by the end of one read over to the next.
    virtual QString DecodeOutput(QObject* ASender, QIODevice& ABuf);
    // Turns text to send into bytes appended to AOutBuf; runs on the worker thread.
    virtual void EncodeInput(QObject* ASender, const QString& AChars, QIODevice& AOutBuf);

protected:
    // Error box flags: task-modal, error icon, OK button.
    static constexpr unsigned WorkerErrorBoxFlags = 0x2010;
    virtual void ShowWorkerError(const std::exception& E);

private:
    friend class TRunnerThread;

    void WorkerFinished(TRunnerThread* ASender);

    QString FCommandLine;
    QString FCurrentDir;
    QStringList FEnvironment;
    std::uint32_t FExitCode = 0;
    bool FInputToOutput = false;
    QStringList FLines;
    std::int32_t FMaxTimeAfterBeginning = 0;
    std::int32_t FMaxTimeAfterLastOutput = 0;
    TCharDecoding FOnCharDecoding;
    TCharEncoding FOnCharEncoding;
    QStringList* FOutputLines = nullptr;
    std::int32_t FPriority = NORMAL_PRIORITY_CLASS;
    std::unique_ptr<TRunnerThread> FThread;
    std::unique_ptr<TProcessTimer> FTimer;
    std::atomic<std::int32_t> FEndStatus{esNone};
    TProcessInformation FProcessInformation;
    // State of the default decoding, reset at every Execute; only the reader of the run uses it.
    QStringDecoder FDecoder;
};
