#include <gtest/gtest.h>

#include <QElapsedTimer>

#include "core/platform/SingleInstance.h"

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

}  // namespace
