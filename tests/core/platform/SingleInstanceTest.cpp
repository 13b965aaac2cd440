#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <atomic>
#include <thread>

#include "core/platform/SingleInstance.h"
#include "support/TestEnv.h"

namespace {

TEST(SingleInstanceTest, OnlyTheFirstAcquiresAndTheLockOutlivesNoOwner)
{
    auto first = std::make_unique<SingleInstance>("lumo-test");
    ASSERT_TRUE(first->Acquire());
    SingleInstance second("lumo-test");
    EXPECT_FALSE(second.Acquire());

    first.reset();  // the owner goes: the next start becomes the first
    SingleInstance third("lumo-test");
    EXPECT_TRUE(third.Acquire());
}

TEST(SingleInstanceTest, AnAskWithNoFirstRunningGivesUpInTime)
{
    SingleInstance lonely("lumo-test-none");
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(lonely.ActivateRunning(300));
    EXPECT_LT(timer.elapsed(), 2000);
}

TEST(SingleInstanceTest, HandedOverPathsArriveIntactBeforeTheCallToComeForward)
{
    SingleInstance first("lumo-test-hand");
    ASSERT_TRUE(first.Acquire());
    QStringList events;
    QObject::connect(&first, &SingleInstance::filesHanded,
                     [&](const QStringList& paths) { events << paths; });
    QObject::connect(&first, &SingleInstance::activationRequested, [&] { events << "forward"; });

    const QStringList paths{"/media/a b.mp4", "/tmp/line\nbreak 视频 $HOME 'q' \"d\".mp4",
                            "/tmp/-dash", "/tmp/open activate"};
    std::atomic<int> answered{-1};
    std::thread later([&] {
        SingleInstance second("lumo-test-hand");
        answered = second.HandOver(paths, 3000) ? 1 : 0;
    });
    ASSERT_TRUE(testenv::WaitUntil([&] { return answered != -1; }, 4000));
    later.join();
    EXPECT_EQ(answered, 1);
    ASSERT_TRUE(testenv::WaitUntil([&] { return events.contains("forward"); }));
    EXPECT_EQ(events, paths + QStringList{"forward"});
}

}  // namespace
