#include "runnerthread.h"

#include "runner/commandline.h"
#include "runner/consolerunner.h"
#include "runner/processtimer.h"
#include "runner/readpipe.h"

#include "platform/debugoutput.h"

#include <QBuffer>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

extern char** environ;

namespace
{

QString SystemMessage(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

[[noreturn]] void RaisePipeError(int error)
{
    throw ECreatePipeError(QStringLiteral("Error creating Pipe: %1").arg(SystemMessage(error)));
}

// A descriptor of ours, closed when it goes out of scope unless it was closed before.
class TDescriptor
{
public:
    TDescriptor() = default;
    ~TDescriptor()
    {
        if (FHandle >= 0)
            ::close(FHandle);
    }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;

    int Get() const { return FHandle; }
    void Reset(int AHandle)
    {
        if (FHandle >= 0 && FHandle != AHandle)
            ::close(FHandle);
        FHandle = AHandle;
    }
    // Closes now, raising the pipe error when the system reports a failure.
    void Close()
    {
        const int handle = FHandle;
        FHandle = -1;
        if (::close(handle) != 0 && errno != EINTR)
            RaisePipeError(errno);
    }

private:
    int FHandle = -1;
};

// `handle`, or a close-on-exec copy of it numbered above the standard descriptors, so that
// setting up the child's 0, 1 and 2 never overwrites a pipe end that is still to be placed.
int AboveStandard(int handle)
{
    if (handle > STDERR_FILENO)
        return handle;
    const int moved = ::fcntl(handle, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (moved < 0)
        RaisePipeError(errno);
    return moved;
}

void MakePipe(TDescriptor& ARead, TDescriptor& AWrite)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        RaisePipeError(errno);
    ARead.Reset(ends[0]);
    AWrite.Reset(ends[1]);
    ARead.Reset(AboveStandard(ARead.Get()));
    AWrite.Reset(AboveStandard(AWrite.Get()));
}

void MakeNonBlocking(int handle)
{
    const int flags = ::fcntl(handle, F_GETFL);
    if (flags < 0 || ::fcntl(handle, F_SETFL, flags | O_NONBLOCK) != 0)
        RaisePipeError(errno);
}

// A write to a child that no longer reads raised SIGPIPE for this thread, where it is blocked;
// take it back so that it never reaches anyone.
void DiscardPendingSigPipe()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    const timespec now{0, 0};
    while (::sigtimedwait(&set, nullptr, &now) == SIGPIPE) {
    }
}

} // namespace

TRunnerThread::TRunnerThread(TConsoleRunner* AOwner, const QString& ACl, const QString& ACurrDir,
                             QStringList& ALines, QStringList* AOl, TProcessTimer& ATimer,
                             std::int32_t AMtab, std::int32_t AMtalo, TNewLineEvent AOnl,
                             TNewCharEvent AOnc, TEndNotification Ot, TTerminateProcessEvent AOtp,
                             std::int32_t Ap, bool Aito, const QStringList& AEnv,
                             TCharDecoding AOnCharDecoding, TCharEncoding AOnCharEncoding)
    : FCommandLine(ACl), FCurrentDir(ACurrDir), FEnvironment(AEnv), FInputToOutput(Aito),
      FLines(ALines), FMaxTimeAfterBeginning(AMtab), FMaxTimeAfterLastOutput(AMtalo),
      FOnCharDecoding(std::move(AOnCharDecoding)), FOnCharEncoding(std::move(AOnCharEncoding)),
      FOnNewChar(std::move(AOnc)), FOnNewLine(std::move(AOnl)),
      FOnTerminateProcess(std::move(AOtp)), FOnEnd(std::move(Ot)), FOutputLines(AOl),
      FOwner(AOwner), FPriority(Ap), FTimer(ATimer)
{
    if (!FEnvironment.isEmpty()) {
        for (char** entry = environ; *entry != nullptr; ++entry)
            FInheritedEnvironment.emplace_back(*entry);
    }
    StoreEndStatus(esStill_Active);
    Start("TRunnerThread");
}

TRunnerThread::~TRunnerThread()
{
    WaitFor();
}

void TRunnerThread::Terminate()
{
    FTerminated = true;
    FTerminateEvent.SetEvent();
}

void TRunnerThread::Detach()
{
    {
        std::lock_guard lock(FLinkLock);
        FDetached = true;
    }
    FLinkChanged.notify_all();
}

void TRunnerThread::StoreEndStatus(TEndStatus AValue)
{
    FOwner->FEndStatus.exchange(AValue);
}

void TRunnerThread::Post(std::function<void()> AWork)
{
    std::lock_guard lock(FLinkLock);
    if (!FDetached)
        QMetaObject::invokeMethod(FOwner, std::move(AWork), Qt::QueuedConnection);
}

void TRunnerThread::Execute()
{
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    try {
        Work();
    } catch (const std::exception& e) {
        platform::OutputDebugString(QStringLiteral("EXCEPTION: TRunnerThread ") +
                                    QString::fromUtf8(e.what()));
        StoreEndStatus(esError);
        FFatalException = std::current_exception();
    } catch (...) {
        platform::OutputDebugString(QStringLiteral("EXCEPTION: TRunnerThread unknown error"));
        StoreEndStatus(esError);
        FFatalException = std::current_exception();
    }
    Post([this] { FOnEnd(this); });
}

void TRunnerThread::Work()
{
    TDescriptor outputRead, outputWrite, errorWrite, inputRead, inputWrite;
    MakePipe(outputRead, outputWrite);
    const int errorCopy = ::fcntl(outputWrite.Get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (errorCopy < 0)
        RaisePipeError(errno);
    errorWrite.Reset(errorCopy);
    MakePipe(inputRead, inputWrite);

    TChildStartInfo info;
    info.Arguments = SplitCommandLine(FCommandLine);
    info.CurrentDir = FCurrentDir;
    if (!FEnvironment.isEmpty()) {
        // Added after the inherited entries; nothing inherited is replaced or removed.
        info.Environment = FInheritedEnvironment;
        for (const QString& entry : FEnvironment)
            info.Environment.push_back(entry.toLocal8Bit());
    }
    info.Priority = FPriority;
    info.StdIn = inputRead.Get();
    info.StdOut = outputWrite.Get();
    info.StdErr = errorWrite.Get();
    if (const int error = FProcess.Start(info)) {
        const QString reason = SystemMessage(error);
        throw ECreateProcessError(
            QStringLiteral("Error creating Process: %1 - (%2)").arg(FCommandLine, reason), reason);
    }
    const TProcessInformation started{FProcess.Handle(), 0,
                                      static_cast<std::uint32_t>(FProcess.ProcessId()),
                                      static_cast<std::uint32_t>(FProcess.ProcessId())};
    TConsoleRunner* owner = FOwner;
    Post([owner, started] { owner->FProcessInformation = started; });

    outputWrite.Close();
    inputRead.Close();
    errorWrite.Close();
    MakeNonBlocking(outputRead.Get());
    MakeNonBlocking(inputWrite.Get());

    TReadPipe reader(outputRead.Get(),
                     [this](QObject*, QIODevice& ABuf) { return FOnCharDecoding(this, ABuf); });
    PendingLine.clear();
    PartialAnnounced = false;
    FExitCode = FProcess.ExitCode();
    try {
        RunLoop(reader, inputWrite.Get());
        if (FExitCode != STILL_ACTIVE) {
            StoreEndStatus(esProcess);
            FCanTerminate = false;
        } else {
            FCanTerminate = true;
            StoreEndStatus(FTerminated ? esStop : esTime);
            DoTerminateProcess();
        }
        if (FCanTerminate)
            WaitForMultipleObjects({TWaitObject(FProcess.Handle())}, 1000);
        FExitCode = FProcess.ExitCode();
        if (FExitCode != STILL_ACTIVE && !FTerminated) {
            // Whatever the child wrote before it ended is delivered before the end is.
            reader.Finish();
            reader.WaitFor();
            while (!FTerminated && reader.ReadString().Length() > 0)
                DoReadOutput(reader);
        }
        if (!PendingLine.isEmpty()) {
            Deliver({{TDelivery::LineEnded, otEntireLine, PendingLine, {}}});
        }
    } catch (...) {
        if (FCanTerminate)
            WaitForMultipleObjects({TWaitObject(FProcess.Handle())}, 1000);
        FExitCode = FProcess.ExitCode();
        FProcess.Close();
        throw;
    }
    FProcess.Close();
    reader.Terminate();
    reader.WaitFor();
}

bool TRunnerThread::LimitReached() const
{
    return (FMaxTimeAfterBeginning > 0 && FTimer.SinceBeginning() > FMaxTimeAfterBeginning) ||
           (FMaxTimeAfterLastOutput > 0 && FTimer.SinceLastOutput() > FMaxTimeAfterLastOutput);
}

void TRunnerThread::RunLoop(TReadPipe& AReader, int AWriteEnd)
{
    for (;;) {
        const int index = WaitForMultipleObjects({AReader.Event(), FInputLines.Event(),
                                                  TWaitObject(FProcess.Handle()), FTerminateEvent,
                                                  FTimer.Event()},
                                                 INFINITE);
        switch (index) {
        case 0:
            while (!FTerminated && AReader.ReadString().Length() > 0)
                DoReadOutput(AReader);
            break;
        case 1:
            if (FInputLines.Count() > 0 && !FTerminated)
                DoSendLine(AWriteEnd);
            if (FInputLines.Count() > 0)
                FInputLines.Event().SetEvent();
            break;
        case 2:
            FExitCode = FProcess.ExitCode();
            break;
        default:
            break;
        }
        if (FTerminated || FExitCode != STILL_ACTIVE || LimitReached())
            return;
    }
}

void TRunnerThread::EndLine(TDeliveries& AOut, QString& ALine)
{
    if (FOnNewLine) {
        AOut.push_back({TDelivery::LineEnded, otEntireLine, std::move(ALine), {}});
    } else if (!AOut.empty() && AOut.back().Kind == TDelivery::LinesAddMany) {
        AOut.back().Batch.append(std::move(ALine));
    } else {
        AOut.push_back({TDelivery::LinesAddMany, otEntireLine, {}, {std::move(ALine)}});
    }
    ALine = QString();
    // The line that was announced in part is complete now; an echo of input must not take it
    // for a partial line any more.
    PartialAnnounced = false;
}

void TRunnerThread::DoReadOutput(TReadPipe& AReader)
{
    TSyncString& readString = AReader.ReadString();
    const QString text = readString.Value();
    const qsizetype count = text.size();
    readString.Delete(1, count); // text added since Value() stays for the next turn
    if (count == 0)
        return;

    TDeliveries out;
    const bool reportChars = static_cast<bool>(FOnNewChar);
    const QChar* chars = text.constData();
    qsizetype charsFrom = 0;   // first character not yet handed to OnNewChar
    qsizetype segmentFrom = 0; // first character not yet put into the line
    QString line = PendingLine;
    bool lineEnded = false;
    bool segmentHasNul = false;
    auto takeSegment = [&](qsizetype end) {
        if (!segmentHasNul) {
            if (line.isEmpty())
                line = QString(chars + segmentFrom, end - segmentFrom); // no spare capacity
            else
                line.append(chars + segmentFrom, end - segmentFrom);
            return;
        }
        for (qsizetype k = segmentFrom; k < end; ++k) {
            if (chars[k].unicode() != 0) // a NUL never becomes part of a line
                line.append(chars[k]);
        }
        segmentHasNul = false;
    };
    auto takeChars = [&](qsizetype end) {
        if (reportChars && end > charsFrom)
            out.push_back(
                {TDelivery::NewChars, otEntireLine, text.mid(charsFrom, end - charsFrom), {}});
        charsFrom = end;
    };

    for (qsizetype i = 0; i < count; ++i) {
        const char16_t c = chars[i].unicode();
        if (c > u'\r')
            continue;
        if (c == 0) {
            segmentHasNul = true;
            continue;
        }
        if (c != u'\r' && c != u'\n')
            continue;
        // A stop ends the scan before the next line is reported; the flag is looked at per line
        // rather than per character, which keeps the scan of a flood of output fast.
        if (FTerminated.load(std::memory_order_relaxed)) {
            takeChars(i);
            if (lineEnded)
                FTimer.NewOutput();
            Deliver(std::move(out));
            return;
        }
        if (c == u'\n' && i > 0 && chars[i - 1].unicode() == u'\r') {
            segmentFrom = i + 1; // the line feed of a CR LF pair
            continue;
        }
        takeChars(i + 1);
        takeSegment(i);
        segmentFrom = i + 1;
        EndLine(out, line);
        lineEnded = true;
    }
    takeChars(count);
    takeSegment(count);
    if (lineEnded)
        FTimer.NewOutput();
    PendingLine = line;
    if (!PendingLine.isEmpty()) {
        // A copy of its own: the worker goes on appending to PendingLine, and a string shared
        // with the user-interface thread would be changed in place once that thread let go.
        if (FOnNewLine)
            out.push_back({TDelivery::NewLine,
                           otBeginningOfLine,
                           QString(PendingLine.constData(), PendingLine.size()),
                           {}});
        PartialAnnounced = true;
    }
    Deliver(std::move(out));
}

void TRunnerThread::Deliver(TDeliveries&& AItems)
{
    if (AItems.empty())
        return;
    // Shared, so that handing the work over never copies the items; it runs once, so the lines
    // can move on into the lists.
    Post([this, items = std::make_shared<TDeliveries>(std::move(AItems))] {
        // A handler may destroy the component; then the rest is not delivered.
        const QPointer<TConsoleRunner> alive(FOwner);
        for (TDelivery& item : *items) {
            switch (item.Kind) {
            case TDelivery::NewChars:
                for (QChar c : item.Text) {
                    FOnNewChar(FOwner, c);
                    if (!alive)
                        return;
                }
                break;
            case TDelivery::LineEnded:
                if (FOutputLines != nullptr)
                    FOutputLines->append(item.Text);
                FLines.append(item.Text);
                if (FOnNewLine) {
                    FOnNewLine(FOwner, item.Text, otEntireLine);
                    if (!alive)
                        return;
                }
                break;
            case TDelivery::LinesAddMany:
                if (FOutputLines != nullptr)
                    FOutputLines->append(item.Batch);
                FLines.append(std::move(item.Batch));
                break;
            case TDelivery::NewLine:
                FOnNewLine(FOwner, item.Text, item.Type);
                if (!alive)
                    return;
                break;
            case TDelivery::OutputLinesAdd:
                if (FOutputLines != nullptr)
                    FOutputLines->append(item.Text);
                break;
            }
        }
    });
}

void TRunnerThread::DoSendLine(int AWriteEnd)
{
    QString entry = FInputLines.Strings(0);
    if (entry.startsWith(QLatin1Char('_')))
        entry.append(QStringLiteral("\r\n"));
    entry.remove(0, 1);
    if (entry.isEmpty()) {
        FInputLines.Delete(0);
        return;
    }
    QByteArray bytes;
    {
        QBuffer stream(&bytes);
        stream.open(QIODevice::WriteOnly);
        FOnCharEncoding(this, entry, stream);
    }
    // The result of the write is not looked at; a child that has stopped reading simply does
    // not get the text, and a full pipe is waited for only until the run is stopped.
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(AWriteEnd, bytes.constData() + written,
                                      static_cast<size_t>(bytes.size() - written));
        if (count > 0) {
            written += count;
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && errno == EAGAIN) {
            pollfd fds[2] = {{AWriteEnd, POLLOUT, 0}, {FTerminateEvent.Handle(), POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                break;
            if (fds[1].revents != 0)
                break;
            continue;
        }
        if (count < 0 && errno == EPIPE)
            DiscardPendingSigPipe();
        break;
    }

    if (FInputToOutput) {
        if (FOutputLines != nullptr) {
            if (PartialAnnounced) {
                // The echo completes the line announced in part. It becomes a new entry: the
                // entries already in the list are complete lines and stay as they are.
                PendingLine += entry;
                Deliver({{TDelivery::OutputLinesAdd, otEntireLine, PendingLine, {}}});
                PartialAnnounced = false;
            } else {
                Deliver({{TDelivery::OutputLinesAdd, otEntireLine, entry, {}}});
            }
        }
        if (FOnNewLine)
            Deliver({{TDelivery::NewLine, otEntireLine, PendingLine, {}}});
        PendingLine.clear();
    }
    FInputLines.Delete(0);
}

void TRunnerThread::DoTerminateProcess()
{
    FCanTerminate = true;
    if (FOnTerminateProcess) {
        bool answered = false;
        bool canTerminate = true;
        Post([this, &answered, &canTerminate] {
            const QPointer<TConsoleRunner> alive(FOwner);
            bool value = true;
            FOnTerminateProcess(FOwner, value);
            if (!alive)
                return; // the worker has gone on without the answer
            {
                std::lock_guard lock(FLinkLock);
                canTerminate = value;
                answered = true;
            }
            FLinkChanged.notify_all();
        });
        std::unique_lock lock(FLinkLock);
        FLinkChanged.wait(lock, [&] { return answered || FDetached; });
        FCanTerminate = canTerminate;
    }
    if (FCanTerminate)
        FProcess.Kill();
}
