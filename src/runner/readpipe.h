// TReadPipe: the thread that blocks on the child's output pipe, decodes every block it reads and
// leaves the text for the worker in a TSyncString.
#pragma once

#include "runner/runnertypes.h"
#include "runner/runtimethread.h"
#include "runner/syncevent.h"
#include "runner/syncstring.h"

#include <atomic>

class TReadPipe final : public TRuntimeThread
{
    Q_OBJECT

public:
    // Largest block read at once. Big blocks keep a flood of output cheap; a handler of the
    // decoding still sees each block as it was read.
    static constexpr qsizetype BlockSize = qsizetype{64} * 1024;

    // Starts reading AReadStdout, which the reader does not own; ADecoding runs on the reader's
    // thread with the reader as sender.
    TReadPipe(int AReadStdout, TCharDecoding AOnCharDecoding);
    // Ends the thread first if it still runs.
    ~TReadPipe() override;

    // Ends the reader now; what it reads from here on is dropped.
    void Terminate();
    // Ends the reader once it has read what the pipe holds at this moment, for a child that has
    // ended: everything it wrote is in the pipe by then, even when another process keeps the
    // pipe open.
    void Finish();

    // Set (automatic reset) after every text added to ReadString.
    TEvent& Event() { return FEvent; }
    TSyncString& ReadString() { return FSyncString; }

protected:
    void Execute() override;

private:
    enum class TReadResult { Text, Nothing, PipeEnded, Dropped };
    TReadResult ReadBlock(class QBuffer& AStream, QByteArray& ABlock);

    TEvent FEvent{false};
    TCharDecoding FOnCharDecoding;
    int Fread_stdout;
    // Wakes the blocked read; set by Terminate and Finish.
    TEvent FWakeEvent{true};
    std::atomic<bool> FTerminated{false};
    TSyncString FSyncString;
};
