#include "runner/processtimer.h"
#include "runner/runnertypes.h"

#include <QTest>
#include <gtest/gtest.h>
#include <thread>

namespace
{

bool EventIsSet(TEvent& event)
{
    return WaitForMultipleObjects({event}, 0) == 0;
}

TEST(ProcessTimer, CountsTicksAndResetsOnlyWhatItShould)
{
    TProcessTimer timer(10);
    timer.Beginning();
    ASSERT_TRUE(QTest::qWaitFor([&] { return timer.SinceBeginning() >= 3; }, 5000));
    timer.NewOutput();
    EXPECT_LT(timer.SinceLastOutput(), timer.SinceBeginning());
    EXPECT_TRUE(EventIsSet(timer.Event()));
    EXPECT_FALSE(EventIsSet(timer.Event())) << "the wait resets the event";

    // A second Beginning while enabled keeps the one schedule and starts both counts again.
    QTest::qWait(30);
    timer.Beginning();
    EXPECT_TRUE(timer.Enabled());
    EXPECT_LE(timer.SinceBeginning(), 1);

    timer.Ending();
    const auto frozen = std::make_pair(timer.SinceBeginning(), timer.SinceLastOutput());
    QTest::qWait(60);
    EXPECT_EQ(std::make_pair(timer.SinceBeginning(), timer.SinceLastOutput()), frozen);
    EXPECT_FALSE(timer.Enabled());
    timer.Ending(); // disabled already: nothing happens
    EXPECT_FALSE(timer.Enabled());
}

TEST(ProcessTimer, TwoTimersCountOnlyTheirOwnTicks)
{
    TProcessTimer fast(5);
    TProcessTimer slow(100000);
    fast.Beginning();
    slow.Beginning();
    ASSERT_TRUE(QTest::qWaitFor([&] { return fast.SinceBeginning() >= 5; }, 5000));
    EXPECT_EQ(slow.SinceBeginning(), 0);
    EXPECT_FALSE(EventIsSet(slow.Event()));
    slow.Tick();
    EXPECT_EQ(slow.SinceBeginning(), 1);
    EXPECT_EQ(slow.SinceLastOutput(), 1);
    EXPECT_TRUE(EventIsSet(slow.Event()));
}

TEST(ProcessTimer, ThreadWithoutEventLoopCannotStartIt)
{
    // Qt warns about the refused timer; the test is about the exception.
    QString message;
    bool enabled = true;
    std::thread([&] {
        TProcessTimer timer;
        try {
            timer.Beginning();
        } catch (const EProcessTimer& e) {
            message = QString::fromUtf8(e.what());
        }
        enabled = timer.Enabled();
    }).join();
    EXPECT_EQ(message, QStringLiteral("could not start timer"));
    EXPECT_FALSE(enabled);
}

} // namespace
