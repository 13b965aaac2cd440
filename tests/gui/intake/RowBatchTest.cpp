// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QStringList>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "gui/intake/RowBatch.h"

namespace {

// A batch on a clock the test moves, recording what it shows.
class RowBatchTest : public ::testing::Test {
protected:
    RowBatch batch{[this](const QString& text) { shown << text; }, [this] { return nowMs; }};
    qint64 nowMs = 50000;
    QStringList shown;
};

TEST_F(RowBatchTest, CountsEndedRowsAndEndsWithTheLastOne)
{
    batch.Queued(1, 1000);
    batch.Queued(2, 1000);
    batch.Queued(2, 1000);  // queued again while it waits: still one row
    EXPECT_EQ(shown.back(), "已完成 0/2");
    batch.Ended(1);
    EXPECT_EQ(batch.EndedCount(), 1);
    EXPECT_TRUE(batch.Active());
    batch.Ended(2);
    EXPECT_FALSE(batch.Active());
    EXPECT_EQ(shown.back(), "") << "an empty text hides the batch";
    batch.Ended(2);  // a stale report changes nothing
    EXPECT_EQ(batch.Total(), 0);
}

TEST_F(RowBatchTest, EstimatesTheRestByTheBytesDoneSoFar)
{
    batch.Queued(1, 3000);
    batch.Queued(2, 1000);
    nowMs += 500;
    batch.Progress(1, 50);
    EXPECT_FALSE(batch.SecondsLeft().has_value()) << "half a second is too little to go by";
    nowMs += 1000;
    batch.Progress(1, 50);
    // 1500 of 4000 bytes in 1.5 s: 2500 bytes take 2.5 s more, shown rounded up.
    ASSERT_TRUE(batch.SecondsLeft().has_value());
    EXPECT_EQ(*batch.SecondsLeft(), 3);
    EXPECT_EQ(shown.back(), "已完成 0/2 · 剩余约 0:03");

    nowMs += 1500;
    batch.Ended(1);
    // 3000 of 4000 in 3 s.
    EXPECT_EQ(*batch.SecondsLeft(), 1);
    EXPECT_EQ(shown.back(), "已完成 1/2 · 剩余约 0:01");
}

// A size-limited video measures its sound first, at a pace that says nothing of its encode: that
// part neither counts as the batch's work nor gives an estimate, and the one shown before it
// counts down meanwhile.
TEST_F(RowBatchTest, APartOfTheBarNotInStepWithTheTimeIsLeftOutOfTheEstimate)
{
    // Four seconds of sound over the row's first 5 percent: no estimate from that.
    batch.Queued(1, 1000);
    batch.TimedSpan(1, 0, 0);
    nowMs += 4000;
    batch.Progress(1, 5);
    EXPECT_FALSE(batch.SecondsLeft().has_value());
    // Its encode takes the bar from 5 to 85, where it is expected to end: half of that in 2 s
    // leaves 2 s, where the whole 6 s and the bar's 45 % would have said 8.
    batch.TimedSpan(1, 5, 85);
    nowMs += 2000;
    batch.Progress(1, 45);
    ASSERT_TRUE(batch.SecondsLeft().has_value());
    EXPECT_EQ(*batch.SecondsLeft(), 2);
    batch.Ended(1);

    // In the next batch an estimate already shown counts down with the clock meanwhile.
    batch.Queued(2, 1000);
    batch.Queued(3, 1000);
    nowMs += 2000;
    batch.Ended(2);
    EXPECT_EQ(*batch.SecondsLeft(), 2);
    batch.TimedSpan(3, 0, 0);
    nowMs += 1500;
    batch.Progress(3, 3);
    EXPECT_EQ(*batch.SecondsLeft(), 1);
    nowMs += 1000;
    batch.Progress(3, 4);
    EXPECT_EQ(*batch.SecondsLeft(), 0);
}

TEST_F(RowBatchTest, ACancelledRowLeavesTheBatchAndARequeuedOneCountsAnew)
{
    batch.Queued(1, 1000);
    batch.Queued(2, 1000);
    batch.Queued(3, 1000);
    batch.Ended(1);
    batch.Dropped(3);
    EXPECT_EQ(shown.back(), "已完成 1/2");
    batch.Queued(1, 1000);  // the finished row compressed again in the same batch
    EXPECT_EQ(shown.back(), "已完成 0/2");
    batch.Dropped(2);
    batch.Dropped(1);
    EXPECT_FALSE(batch.Active());
    EXPECT_EQ(shown.back(), "");

    // The next batch starts its clock afresh.
    nowMs += 60000;
    batch.Queued(4, 1000);
    nowMs += 2000;
    batch.Progress(4, 25);
    EXPECT_EQ(*batch.SecondsLeft(), 6);
}

TEST_F(RowBatchTest, TheEstimateFollowsAChangeOfPaceWithoutSwinging)
{
    // One video compressed at 4 % a second; at 10 s a second one as large joins the batch, and
    // the measured rest jumps from about 15 s to 40 s.
    batch.Queued(1, 1000);
    std::vector<qint64> shownLeft;
    for (int second = 1; second <= 20; ++second) {
        nowMs += 1000;
        if (second == 10) batch.Queued(2, 1000);
        batch.Progress(1, std::min(100, 4 * second));
        shownLeft.push_back(*batch.SecondsLeft());
    }
    EXPECT_EQ(shownLeft[8], 16) << "a steady pace is shown as measured (9 s * 64/36)";
    // The jump is taken in steps: a tenth of it a second, never all at once.
    for (size_t i = 9; i < shownLeft.size(); ++i)
        EXPECT_LE(std::abs(shownLeft[i] - shownLeft[i - 1]), 3) << "second " << i + 1;
    // Ten seconds on it has gone most of the way from the old pace (6 s left by then) to the
    // measured one (20 s * 1200/800 = 30 s).
    EXPECT_GE(shownLeft.back(), 20);
    EXPECT_LE(shownLeft.back(), 30);
}

}  // namespace
