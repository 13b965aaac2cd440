// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/intake/MediaScan.h"
#include "core/intake/ProbeQueue.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// The ffprobe processes whose parent is this test.
int ProberChildren()
{
    int count = 0;
    const QString self = QString::number(::getpid());
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QByteArray stat = testenv::ReadFile("/proc/" + pid + "/stat");
        // "pid (comm) state ppid ..."
        const qsizetype close = stat.lastIndexOf(')');
        if (close < 0 || !stat.mid(stat.indexOf('(') + 1).startsWith("ffprobe")) continue;
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        if (fields.size() > 1 && fields[1] == self.toLatin1()) ++count;
    }
    return count;
}

struct Heard {
    std::vector<std::pair<int, QString>> probed;  // batch, file name
    std::vector<QString> refused;
    std::vector<int> batchEnds;
    std::vector<int> pendingCounts;
    // The number of files handed back when each batch ended.
    std::vector<size_t> probedAtBatchEnd;
};

class ProbeQueueTest : public ::testing::Test {
protected:
    std::unique_ptr<ProbeQueue> Make(int workers)
    {
        return std::make_unique<ProbeQueue>(
            ProbeQueue::Reports{
                [this](int batch, const VideoTask& task, bool usable) {
                    heard.probed.emplace_back(batch, task.fileName);
                    if (usable) {
                        EXPECT_EQ(task.width, 64) << qPrintable(task.fileName);
                    } else {
                        heard.refused.push_back(task.fileName);
                    }
                },
                [this](int batch) {
                    heard.batchEnds.push_back(batch);
                    heard.probedAtBatchEnd.push_back(heard.probed.size());
                },
                [this](int pending) { heard.pendingCounts.push_back(pending); },
            },
            workers);
    }
    std::vector<VideoTask> Tasks(const QStringList& names)
    {
        std::vector<VideoTask> tasks;
        for (const QString& name : names) tasks.push_back(MakeVideoTask(dir.path(), name));
        return tasks;
    }
    // A named pipe: the prober opens it and waits for a writer that never comes.
    void Fifo(const QString& name)
    {
        ASSERT_EQ(::mkfifo(QFile::encodeName(dir.path() + "/" + name).constData(), 0600), 0);
    }

    QTemporaryDir dir;
    Heard heard;
};

TEST_F(ProbeQueueTest, ResultsComeInTheFilesOrderWhateverOrderTheProbesEndIn)
{
    // A long clip first: it takes the prober longest, so later files finish before it.
    ASSERT_TRUE(testenv::MakeVideo(dir.path() + "/a.mp4", 1.5));
    for (const char* name : {"b.mp4", "c.mp4", "e.mp4"})
        ASSERT_TRUE(testenv::MakeVideo(dir.path() + "/" + name, 0.2));
    testenv::WriteFile(dir.path() + "/d.mp4", QByteArray(2048, '\x42'));

    auto queue = Make(3);
    EXPECT_EQ(queue->Add({}), 0) << "an empty choice is no batch";
    const int first = queue->Add(Tasks({"a.mp4", "b.mp4", "c.mp4"}));
    const int second = queue->Add(Tasks({"d.mp4", "e.mp4"}));
    EXPECT_EQ(queue->Pending(), 5);
    ASSERT_TRUE(testenv::WaitUntil([&] { return heard.batchEnds.size() == 2; }, 15000));

    const std::vector<std::pair<int, QString>> expected{
        {first, "a.mp4"}, {first, "b.mp4"}, {first, "c.mp4"}, {second, "d.mp4"}, {second, "e.mp4"}};
    EXPECT_EQ(heard.probed, expected);
    EXPECT_EQ(heard.refused, std::vector<QString>{"d.mp4"});
    EXPECT_EQ(heard.batchEnds, (std::vector<int>{first, second}));
    EXPECT_EQ(heard.probedAtBatchEnd, (std::vector<size_t>{3, 5}))
        << "a batch ends right after its own last file";
    EXPECT_EQ(heard.pendingCounts, (std::vector<int>{3, 5, 4, 3, 2, 1, 0}));
    EXPECT_EQ(queue->Pending(), 0);
}

TEST_F(ProbeQueueTest, ResultsHeldUpByASlowFirstFileComeBackWithTheEventLoopTurning)
{
    // The first file holds its prober until the time limit; the others are read meanwhile and
    // wait for it. Each report costs what building a row costs.
    Fifo("slow.mp4");
    QStringList names{"slow.mp4"};
    for (int i = 0; i < 12; ++i) {
        names << QStringLiteral("clip%1.mp4").arg(i, 2, 10, QChar('0'));
        ASSERT_TRUE(testenv::MakeVideo(dir.path() + "/" + names.last(), 0.2));
    }
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(0);
    std::vector<int> ticksAtReport;
    ProbeQueue queue(
        ProbeQueue::Reports{
            [&](int, const VideoTask&, bool) {
                ticksAtReport.push_back(ticks);
                QThread::msleep(10);
            },
            nullptr,
            nullptr,
        },
        4);
    queue.Add(Tasks(names));
    ASSERT_TRUE(testenv::WaitUntil([&] { return queue.Pending() == 0; }, 15000));
    ASSERT_EQ(ticksAtReport.size(), 13u);

    // The longest run of reports with no tick between them is about one slice's worth.
    size_t longestRun = 1;
    size_t run = 1;
    for (size_t i = 1; i < ticksAtReport.size(); ++i) {
        run = ticksAtReport[i] == ticksAtReport[i - 1] ? run + 1 : 1;
        longestRun = std::max(longestRun, run);
    }
    QString seen;
    for (int at : ticksAtReport) seen += QString::number(at) + ' ';
    EXPECT_LE(longestRun, static_cast<size_t>(ProbeQueue::kHandBackSliceMs / 10 + 2))
        << "ticks at each report: " << seen.toStdString();
    EXPECT_GT(ticksAtReport.back(), ticksAtReport[1]) << "the window was not held up";
}

TEST_F(ProbeQueueTest, StoppingKillsTheProbersThatHangAndReportsNothingMore)
{
    Fifo("hang1.mp4");
    Fifo("hang2.mp4");
    ASSERT_TRUE(testenv::MakeVideo(dir.path() + "/later.mp4", 0.2));
    auto queue = Make(2);
    queue->Add(Tasks({"hang1.mp4", "hang2.mp4", "later.mp4"}));
    ASSERT_TRUE(testenv::WaitUntil([] { return ProberChildren() == 2; }, 5000));

    QElapsedTimer timer;
    timer.start();
    queue->Stop();
    EXPECT_LT(timer.elapsed(), 1500) << "the probers are killed, not waited for";
    EXPECT_EQ(ProberChildren(), 0) << "killed and reaped";
    EXPECT_EQ(queue->Pending(), 0);
    EXPECT_EQ(heard.pendingCounts.back(), 0);

    queue->Add(Tasks({"later.mp4"}));
    testenv::WaitUntil([] { return false; }, 300);
    EXPECT_TRUE(heard.probed.empty());
    EXPECT_TRUE(heard.batchEnds.empty());
}

TEST_F(ProbeQueueTest, DestroyingTheQueueMidProbeLeavesNoProberBehind)
{
    Fifo("hang.mp4");
    auto queue = Make(1);
    queue->Add(Tasks({"hang.mp4"}));
    ASSERT_TRUE(testenv::WaitUntil([] { return ProberChildren() == 1; }, 5000));
    heard.pendingCounts.clear();
    queue.reset();
    EXPECT_EQ(ProberChildren(), 0);
    EXPECT_TRUE(heard.pendingCounts.empty()) << "a queue going away tells its owner nothing";
}

}  // namespace
