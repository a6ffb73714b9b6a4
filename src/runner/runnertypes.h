// The statuses, handler types and exceptions shared by the console runner and its threads.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <stdexcept>

class QChar;
class QIODevice;
class QObject;
class TConsoleRunner;

// How a run ended; the ordinals are part of the component's contract.
enum TEndStatus : std::int32_t {
    esStop = 0,         // stopped with Stop while the child still ran
    esProcess = 1,      // the child ended by itself
    esStill_Active = 2, // a run is in progress
    esNone = 3,         // no run yet
    esError = 4,        // the run ended with an exception
    esTime = 5,         // a time limit ran out and the child was ended
};

enum TOutputType : std::int32_t {
    otEntireLine = 0,      // a line ended by a line break, or the final text of a run
    otBeginningOfLine = 1, // the not yet ended text of a line, reported after a read
};

// Priority classes as Priority takes them; the child gets the matching nice value.
enum TPriorityClass : std::int32_t {
    IDLE_PRIORITY_CLASS = 0x40,
    BELOW_NORMAL_PRIORITY_CLASS = 0x4000,
    NORMAL_PRIORITY_CLASS = 0x20,
    ABOVE_NORMAL_PRIORITY_CLASS = 0x8000,
    HIGH_PRIORITY_CLASS = 0x80,
    REALTIME_PRIORITY_CLASS = 0x100,
};

// The child of the last run. hProcess is a process descriptor that the worker closes when the run
// ends, so afterwards only the ids are of use. A Linux process has no separate thread handle; its
// main thread's id equals the process id.
struct TProcessInformation {
    int hProcess = 0;
    int hThread = 0;
    std::uint32_t dwProcessId = 0;
    std::uint32_t dwThreadId = 0;
};

using TNotifyEvent = std::function<void(TConsoleRunner* ASender)>;
using TNewLineEvent =
    std::function<void(TConsoleRunner* ASender, const QString& ANewLine, TOutputType AOutputType)>;
using TNewCharEvent = std::function<void(TConsoleRunner* ASender, QChar ANewChar)>;
using TErrorEvent =
    std::function<void(TConsoleRunner* ASender, const std::exception& AE, bool& AHandled)>;
using TTerminateProcessEvent = std::function<void(TConsoleRunner* ASender, bool& ACanTerminate)>;
// ABuf holds the bytes of one read, positioned at its start; the result is their text.
using TCharDecoding = std::function<QString(QObject* ASender, QIODevice& ABuf)>;
// Appends the bytes of AChars to AOutBuf.
using TCharEncoding =
    std::function<void(QObject* ASender, const QString& AChars, QIODevice& AOutBuf)>;

// The runner's exceptions carry fixed English messages that are never translated.
class EConsoleRunner : public std::runtime_error
{
public:
    // Usage errors: Execute during a run, an empty command line, SendLine while idle.
    explicit EConsoleRunner(const QString& message) : std::runtime_error(message.toStdString()) {}
};

class ECreatePipeError : public std::runtime_error
{
public:
    // A pipe or descriptor operation of the worker failed.
    explicit ECreatePipeError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

class ECreateProcessError : public std::runtime_error
{
public:
    // The child could not be started; `reason` is the system's word for why, on its own, for
    // callers that tell a user without the command line around it.
    explicit ECreateProcessError(const QString& message, const QString& reason = {})
        : std::runtime_error(message.toStdString()), reason_(reason)
    {
    }
    const QString& Reason() const { return reason_; }

private:
    QString reason_;
};

class EProcessTimer : public std::runtime_error
{
public:
    // The once-a-second timer could not be started or stopped.
    explicit EProcessTimer(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// The class name of an exception as the error box shows it ("ECreateProcessError", ...).
QString ExceptionClassName(const std::exception& e);
