#include "runner/inputlines.h"
#include "runner/readpipe.h"
#include "runner/syncevent.h"
#include "runner/syncstring.h"

#include <QIODevice>
#include <QTest>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace
{

TEST(SyncEvent, ResetRulesAndLowestIndexFirst)
{
    TEvent automatic(false);
    TEvent manual(true);
    EXPECT_EQ(WaitForMultipleObjects({automatic, manual}, 0), WAIT_TIMEOUT);
    automatic.SetEvent();
    automatic.SetEvent();
    manual.SetEvent();
    EXPECT_EQ(WaitForMultipleObjects({automatic, manual}, 0), 0);
    EXPECT_EQ(WaitForMultipleObjects({automatic, manual}, 0), 1) << "two sets make one wake";
    EXPECT_EQ(WaitForMultipleObjects({automatic, manual}, 0), 1) << "manual reset stays set";
    manual.ResetEvent();
    EXPECT_EQ(WaitForMultipleObjects({automatic, manual}, 20), WAIT_TIMEOUT);
}

TEST(SyncString, DeletingWhatWasTakenKeepsWhatCameMeanwhile)
{
    TSyncString text;
    text.Add(QStringLiteral("abc"));
    const QString taken = text.Value();
    text.Add(QStringLiteral("def")); // the reader appends while the worker works on "abc"
    text.Delete(1, taken.size());
    EXPECT_EQ(text.Value(), QStringLiteral("def"));
    EXPECT_EQ(text.Length(), 3);
    text.Delete(2, 1);
    EXPECT_EQ(text.Value(), QStringLiteral("df"));
    text.SetValue(QStringLiteral("new"));
    EXPECT_EQ(text.Value(), QStringLiteral("new"));

    // Under contention nothing is lost or doubled.
    TSyncString shared;
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i)
            shared.Add(QStringLiteral("x"));
    });
    qsizetype collected = 0;
    while (collected < 20000) {
        const qsizetype n = shared.Value().size();
        shared.Delete(1, n);
        collected += n;
    }
    writer.join();
    EXPECT_EQ(collected, 20000);
    EXPECT_EQ(shared.Length(), 0);
}

TEST(InputLines, AddSetsTheEventOnlyAfterTheLockIsFree)
{
    TInputLines lines;
    EXPECT_EQ(lines.Add(QStringLiteral("_first")), 0);
    EXPECT_EQ(WaitForMultipleObjects({lines.Event()}, 0), 0);

    lines.LockList();
    std::thread adder([&] { lines.Add(QStringLiteral(" second")); });
    EXPECT_EQ(WaitForMultipleObjects({lines.Event()}, 100), WAIT_TIMEOUT);
    EXPECT_EQ(lines.LockList().size(), 1);
    lines.UnlockList();
    lines.UnlockList();
    EXPECT_EQ(WaitForMultipleObjects({lines.Event()}, 5000), 0);
    adder.join();
    EXPECT_EQ(lines.Count(), 2);
    EXPECT_EQ(lines.Strings(1), QStringLiteral(" second"));
    lines.Delete(0);
    EXPECT_EQ(lines.Strings(0), QStringLiteral(" second"));
    lines.SetStrings(0, QStringLiteral("_changed"));
    EXPECT_EQ(lines.LockList(), QStringList{QStringLiteral("_changed")});
    lines.UnlockList();
}

struct PipeFixture {
    PipeFixture()
    {
        EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    }
    ~PipeFixture()
    {
        ::close(ends[0]);
        ::close(ends[1]);
    }
    void Write(const QByteArray& bytes)
    {
        ASSERT_EQ(::write(ends[1], bytes.constData(), static_cast<size_t>(bytes.size())),
                  bytes.size());
    }
    int ends[2];
};

QString Latin1(QObject*, QIODevice& buffer)
{
    return QString::fromLatin1(buffer.readAll());
}

TEST(ReadPipe, HandsOverEachReadAndEndsWhenTerminated)
{
    PipeFixture pipe;
    TReadPipe reader(pipe.ends[0], Latin1);
    pipe.Write("abc");
    ASSERT_EQ(WaitForMultipleObjects({reader.Event()}, 5000), 0);
    EXPECT_EQ(reader.ReadString().Value(), QStringLiteral("abc"));

    reader.Terminate(); // blocked in its wait for more
    EXPECT_TRUE(reader.WaitFor(5000));
    pipe.Write("late");
    QTest::qWait(20);
    EXPECT_EQ(reader.ReadString().Value(), QStringLiteral("abc"));
}

TEST(ReadPipe, FinishReadsWhatThePipeHoldsThoughAWriterKeepsItOpen)
{
    PipeFixture pipe;
    ASSERT_GE(::fcntl(pipe.ends[1], F_SETPIPE_SZ, 1 << 20), 1 << 20);
    QByteArray bytes;
    for (int i = 0; bytes.size() < 3 * TReadPipe::BlockSize + 5; ++i)
        bytes += QByteArray::number(i) + '\n';
    TReadPipe reader(pipe.ends[0], Latin1);
    pipe.Write(bytes);
    reader.Finish();
    ASSERT_TRUE(reader.WaitFor(5000)) << "the open write end must not keep it waiting";
    EXPECT_EQ(reader.ReadString().Value(), QString::fromLatin1(bytes));
}

} // namespace
