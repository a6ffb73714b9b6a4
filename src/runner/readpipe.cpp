#include "readpipe.h"

#include "platform/debugoutput.h"
#include "platform/oserror.h"

#include <QBuffer>
#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

TReadPipe::TReadPipe(int AReadStdout, TCharDecoding AOnCharDecoding)
    : FOnCharDecoding(std::move(AOnCharDecoding)), Fread_stdout(AReadStdout)
{
    Start("TReadPipe");
}

TReadPipe::~TReadPipe()
{
    Terminate();
    WaitFor();
}

void TReadPipe::Terminate()
{
    FTerminated = true;
    FWakeEvent.SetEvent();
}

void TReadPipe::Finish()
{
    FWakeEvent.SetEvent();
}

TReadPipe::TReadResult TReadPipe::ReadBlock(QBuffer& AStream, QByteArray& ABlock)
{
    ABlock.resize(BlockSize);
    const ssize_t count = ::read(Fread_stdout, ABlock.data(), static_cast<size_t>(BlockSize));
    if (count < 0) {
        if (errno == EINTR || errno == EAGAIN)
            return TReadResult::Nothing;
        platform::RaiseOSError(errno, QStringLiteral("read"));
    }
    if (count == 0)
        return TReadResult::PipeEnded;
    if (FTerminated)
        return TReadResult::Dropped;
    ABlock.resize(count);
    AStream.seek(0);
    const QString text = FOnCharDecoding(this, AStream);
    if (!text.isEmpty()) {
        FSyncString.Add(text);
        FEvent.SetEvent();
    }
    return TReadResult::Text;
}

void TReadPipe::Execute()
{
    try {
        QByteArray block;
        block.reserve(BlockSize);
        QBuffer stream(&block);
        stream.open(QIODevice::ReadOnly);
        pollfd fds[2] = {{Fread_stdout, POLLIN, 0}, {FWakeEvent.Handle(), POLLIN, 0}};
        for (;;) {
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                platform::RaiseOSError(errno, QStringLiteral("poll"));
            }
            if (fds[1].revents != 0) {
                if (FTerminated)
                    return;
                // What the pipe holds now is bounded, so this ends even when another process
                // still writes into it.
                int pending = 0;
                if (::ioctl(Fread_stdout, FIONREAD, &pending) < 0)
                    platform::RaiseOSError(errno, QStringLiteral("ioctl"));
                while (pending > 0 && !FTerminated) {
                    if (ReadBlock(stream, block) != TReadResult::Text)
                        return;
                    pending -= static_cast<int>(block.size());
                }
                return;
            }
            if (fds[0].revents != 0) {
                const TReadResult result = ReadBlock(stream, block);
                if (result == TReadResult::Dropped)
                    return;
                if (result == TReadResult::PipeEnded)
                    fds[0].fd = -1; // every writer is gone; wait for the word to end
            }
        }
    } catch (const std::exception& e) {
        platform::OutputDebugString(QStringLiteral("EXCEPTION: TReadPipe Execute ") +
                                    QString::fromUtf8(e.what()));
    }
}
