// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QRegularExpression>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "core/app/FailureText.h"
#include "core/app/OwnFilesHelperProcess.h"
#include "core/app/Paths.h"
#include "core/intake/MediaProbe.h"
#include "core/platform/ChildProcess.h"
#include "core/search/SettingSearch.h"
#include "core/search/SizeBudget.h"
#include "core/video/FfmpegCommand.h"
#include "core/video/VideoEngine.h"
#include "support/Printers.h"
#include "support/TestEnv.h"

namespace {

const QStringList kH264Aac = {"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac"};
const QStringList kAviMp3 = {"-c:v", "mpeg4", "-c:a", "libmp3lame"};

// Makes a 64x64 clip (with a tone unless silent) with the real ffmpeg.
void MakeClip(const QString& path, const QStringList& codecs, bool audio = true, int seconds = 1)
{
    QStringList args = {"-v",
                        "error",
                        "-y",
                        "-f",
                        "lavfi",
                        "-i",
                        QString("testsrc=size=64x64:rate=25:duration=%1").arg(seconds)};
    if (audio)
        args << "-f"
             << "lavfi"
             << "-i" << QString("sine=duration=%1").arg(seconds);
    const auto result =
        platform::RunCapture(FindTool("ffmpeg"), args + codecs << path, 30000, 1 << 20);
    ASSERT_TRUE(result.Succeeded()) << result.output.toStdString();
}

bool ProcessGone(qint64 pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// Valid media: the prober finds a picture and a size.
VideoInfo Probe(const QString& path)
{
    VideoInfo info;
    EXPECT_TRUE(ProbeVideo(path, info)) << path.toStdString();
    return info;
}

struct Reports {
    std::vector<std::string> log;  // "start 1", "done 1", "release 1", ...
    std::map<int, VideoDoneRecord> done;
    std::map<int, VideoFailRecord> failed;
    std::set<int> cancelled;
    std::vector<int> percents;
    std::vector<std::pair<int, int>> timedSpans;
    std::map<int, qint64> processIds;
    std::map<int, QStringList> notes;
};

// Stands in for the main window: records what the engine reports and releases each finished
// task from the test thread's event loop, as the window's message handlers do.
class RecordingSink : public VideoEngineSink {
public:
    void Attach(VideoEngine& engine) { engine_ = &engine; }

    void TaskStarted(int taskId) override { Note("start", taskId); }
    void EncoderStarted(int taskId, qint64 processId, const QString&, const QStringList&) override
    {
        std::lock_guard guard(mutex_);
        reports_.processIds[taskId] = processId;
    }
    void TaskNotes(int taskId, const QStringList& notes) override
    {
        std::lock_guard guard(mutex_);
        reports_.notes[taskId] += notes;
    }
    void TaskProgress(int, int percent) override
    {
        std::lock_guard guard(mutex_);
        reports_.percents.push_back(percent);
    }
    void TaskTimedSpan(int, int fromPercent, int toPercent) override
    {
        std::lock_guard guard(mutex_);
        reports_.timedSpans.emplace_back(fromPercent, toPercent);
    }
    void TaskDone(const VideoDoneRecord& record) override
    {
        Note("done", record.taskId, [&] { reports_.done[record.taskId] = record; });
    }
    void TaskFailed(const VideoFailRecord& record) override
    {
        Note("fail", record.taskId, [&] { reports_.failed[record.taskId] = record; });
    }
    void TaskCancelled(int taskId) override
    {
        Note("cancel", taskId, [&] { reports_.cancelled.insert(taskId); });
    }

    void Release(int taskId)
    {
        Note("release", taskId);
        engine_->Release(taskId);
    }
    Reports Get() const
    {
        std::lock_guard guard(mutex_);
        return reports_;
    }
    size_t Finished() const
    {
        std::lock_guard guard(mutex_);
        return reports_.done.size() + reports_.failed.size() + reports_.cancelled.size();
    }

    std::atomic<bool> autoRelease{true};

private:
    void Note(const char* what, int taskId, const std::function<void()>& store = {})
    {
        {
            std::lock_guard guard(mutex_);
            reports_.log.push_back(std::string(what) + " " + std::to_string(taskId));
            if (store) store();
        }
        // Tied to context_, so nothing runs once the sink is gone.
        if (store && autoRelease)
            QMetaObject::invokeMethod(
                &context_, [this, taskId] { Release(taskId); }, Qt::QueuedConnection);
    }

    VideoEngine* engine_ = nullptr;
    QObject context_;
    mutable std::mutex mutex_;
    Reports reports_;
};

// What the engine's reader hands out, changed by the test between tasks; counts the reads.
class SettingsSource {
public:
    VideoSettings Read()
    {
        std::lock_guard guard(mutex_);
        ++reads_;
        return values_;
    }
    void Change(const std::function<void(VideoSettings&)>& change)
    {
        std::lock_guard guard(mutex_);
        change(values_);
    }
    int Reads() const
    {
        std::lock_guard guard(mutex_);
        return reads_;
    }

private:
    mutable std::mutex mutex_;
    VideoSettings values_;
    int reads_ = 0;
};

struct CodecCase {
    int codec;
    const char* encoder;  // a script in the home folder
};

class VideoEngineTest : public ::testing::Test {
protected:
    // One 2-second source compressed once per case, with its codec and its encoder, in order;
    // the reasons of the failures, empty for a task that did not fail.
    std::vector<QString> FailureReasons(const std::vector<CodecCase>& cases);

    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(sources));
        ASSERT_TRUE(QDir().mkpath(outputs));
        settings.Change([this](VideoSettings& values) { values.outputFolder = outputs; });
        sink.Attach(engine);
    }
    void TearDown() override { engine.Stop(); }

    // A row as intake makes it: the probed facts of the file (or the given ones) under its name.
    int Add(const QString& path, const VideoInfo* facts = nullptr)
    {
        VideoTask task;
        static_cast<VideoInfo&>(task) = facts ? *facts : Probe(path);
        task.filePath = path;
        task.fileName = QFileInfo(path).fileName();
        task.fileDir = QFileInfo(path).absolutePath();
        engine.AddTask(nextId, task);
        return nextId++;
    }
    QString Source(const QString& name) const { return sources + "/" + name; }
    bool WaitFinished(size_t count, int timeoutMs = 30000)
    {
        return testenv::WaitUntil([&] { return sink.Finished() >= count; }, timeoutMs);
    }
    bool WaitLog(size_t entries)
    {
        return testenv::WaitUntil([&] { return sink.Get().log.size() >= entries; }, 30000);
    }
    QStringList OutputFiles() const { return QDir(outputs).entryList(QDir::Files); }

    QString sources = testenv::Home() + "/sources";
    QString outputs = testenv::Home() + "/outputs";
    SettingsSource settings;
    RecordingSink sink;
    VideoEngine engine{sink, [this] { return settings.Read(); }};
    int nextId = 1;
};

TEST_F(VideoEngineTest, QueueKeepsArrivalOrderWithoutDuplicates)
{
    // A paused worker leaves the queue to TakeNext.
    engine.SetPaused(true);
    ASSERT_TRUE(engine.Start());
    EXPECT_TRUE(engine.Enqueue(4));
    EXPECT_FALSE(engine.Enqueue(4));
    engine.EnqueueAll({2, 4, 9, 2});
    EXPECT_EQ(engine.IdleTasks(), (std::vector<int>{4, 2, 9}));
    EXPECT_EQ(engine.TakeNext(), 4);
    EXPECT_TRUE(engine.IsQueued(4));
    engine.Release(4);
    EXPECT_FALSE(engine.IsQueued(4));
    testenv::WaitUntil([] { return false; }, 100);
    EXPECT_TRUE(sink.Get().log.empty());

    CompressParams params;
    params.unique_id = 2;
    engine.SetParams(params);
    params.videoType = 4;
    engine.SetParams(params);
    EXPECT_EQ(engine.ParamList(), std::vector<CompressParams>{params});
    engine.RemoveParams(2);
    EXPECT_TRUE(engine.ParamList().empty());
}

TEST_F(VideoEngineTest, TasksRunInOrderOneAtATimeAfterEachRelease)
{
    MakeClip(Source("a.mp4"), kH264Aac);
    QFile::copy(Source("a.mp4"), Source("b.mp4"));
    QFile::copy(Source("a.mp4"), Source("c.mp4"));
    const int a = Add(Source("a.mp4")), b = Add(Source("b.mp4")), c = Add(Source("c.mp4"));

    sink.autoRelease = false;
    ASSERT_TRUE(engine.Start());
    engine.EnqueueAll({a, b, c});
    ASSERT_TRUE(WaitFinished(1));
    // Until the first is released the second does not start.
    testenv::WaitUntil([] { return false; }, 300);
    EXPECT_EQ(engine.BusyTasks(), std::vector<int>{a});
    EXPECT_EQ(engine.IdleTasks(), (std::vector<int>{b, c}));
    sink.autoRelease = true;
    sink.Release(a);
    ASSERT_TRUE(WaitLog(9));

    const Reports reports = sink.Get();
    EXPECT_EQ(reports.log,
              (std::vector<std::string>{"start 1", "done 1", "release 1", "start 2", "done 2",
                                        "release 2", "start 3", "done 3", "release 3"}));
    for (int id : {a, b, c}) {
        const VideoDoneRecord& record = reports.done.at(id);
        EXPECT_EQ(engine.OutputPath(id), record.outputPath);
        EXPECT_EQ(record.outputSize, QFileInfo(record.outputPath).size());
        EXPECT_EQ(record.sourceSize, engine.FindTask(id)->fileSize);
        EXPECT_EQ(Probe(record.outputPath).width, 64);
        EXPECT_TRUE(ProcessGone(reports.processIds.at(id)));
    }
    EXPECT_EQ(OutputFiles(), (QStringList{"a.mp4", "b.mp4", "c.mp4"}));
    for (int percent : reports.percents) EXPECT_TRUE(percent >= 0 && percent <= 100) << percent;
}

TEST_F(VideoEngineTest, CompressingAgainWritesANewNameAndNeverOverwrites)
{
    MakeClip(Source("clip.mp4"), kH264Aac);
    const int id = Add(Source("clip.mp4"));
    ASSERT_TRUE(engine.Start());
    engine.Enqueue(id);
    ASSERT_TRUE(WaitLog(3));
    const QByteArray first = testenv::ReadFile(outputs + "/clip.mp4");
    ASSERT_FALSE(first.isEmpty());

    // Someone else's file holds the name that would come third.
    ASSERT_TRUE(testenv::WriteFile(outputs + "/clip(3).mp4", "not ours"));
    engine.Enqueue(id);
    ASSERT_TRUE(WaitLog(6));
    EXPECT_EQ(sink.Get().done.at(id).outputPath, outputs + "/clip(2).mp4");
    engine.Enqueue(id);
    ASSERT_TRUE(WaitLog(9));
    EXPECT_EQ(sink.Get().done.at(id).outputPath, outputs + "/clip(4).mp4");

    EXPECT_EQ(testenv::ReadFile(outputs + "/clip.mp4"), first);
    EXPECT_EQ(testenv::ReadFile(outputs + "/clip(3).mp4"), "not ours");
    Probe(outputs + "/clip(2).mp4");
}

struct ContainerCase {
    const char* source;
    QStringList codecs;
    bool audio;
    const char* output;
    const char* audioCodec;
};

void PrintTo(const ContainerCase& c, std::ostream* out)
{
    *out << c.source;
}

class ContainerTest : public VideoEngineTest,
                      public ::testing::WithParamInterface<ContainerCase> {};

TEST_P(ContainerTest, SourceCompressesIntoTheExpectedContainer)
{
    const ContainerCase& c = GetParam();
    MakeClip(Source(c.source), c.codecs, c.audio);
    const int id = Add(Source(c.source));
    ASSERT_TRUE(engine.Start());
    engine.Enqueue(id);
    ASSERT_TRUE(WaitFinished(1));
    const Reports reports = sink.Get();
    ASSERT_TRUE(reports.done.count(id)) << reports.failed.at(id).reason.toStdString();
    EXPECT_EQ(reports.done.at(id).outputPath, outputs + "/" + c.output);
    const VideoInfo info = Probe(outputs + "/" + c.output);
    EXPECT_EQ(info.hasAudio, c.audio ? 1 : 0);
    EXPECT_EQ(info.audioCodec, c.audioCodec);
}

INSTANTIATE_TEST_SUITE_P(
    Containers, ContainerTest,
    ::testing::Values(
        ContainerCase{"movie.avi", kAviMp3, true, "movie.mp4", "aac"},
        ContainerCase{"silent.mp4", {"-c:v", "libx264"}, false, "silent.mp4", ""},
        ContainerCase{
            "vorbis.webm", {"-c:v", "libvpx", "-c:a", "libvorbis"}, true, "vorbis.webm", "vorbis"},
        ContainerCase{
            "opus.webm", {"-c:v", "libvpx-vp9", "-c:a", "libopus"}, true, "opus.webm", "opus"},
        ContainerCase{"clip.ts", kH264Aac, true, "clip.ts", "aac"}),
    [](const auto& info) { return QFileInfo(info.param.source).baseName().toStdString(); });

TEST_F(VideoEngineTest, DamagedSourceFailsAndTheNextTaskStillRuns)
{
    MakeClip(Source("good.mp4"), kH264Aac);
    const VideoInfo facts = Probe(Source("good.mp4"));
    QByteArray garbage(64 * 1024, '\0');
    for (int i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 7919 % 251);
    ASSERT_TRUE(testenv::WriteFile(Source("damaged.mp4"), garbage));
    const int damaged = Add(Source("damaged.mp4"), &facts);
    const int good = Add(Source("good.mp4"));

    ASSERT_TRUE(engine.Start());
    engine.EnqueueAll({damaged, good});
    ASSERT_TRUE(WaitFinished(2));
    const Reports reports = sink.Get();
    ASSERT_TRUE(reports.failed.count(damaged));
    EXPECT_EQ(reports.failed.at(damaged).exitCode, 1);
    EXPECT_TRUE(reports.done.count(good));
    // The failed task left nothing behind.
    EXPECT_EQ(OutputFiles(), QStringList{"good.mp4"});
}

// Encoders that end in ways the real one cannot be made to on demand; "$out" is the output.
struct ScriptCase {
    const char* name;
    const char* script;      // empty: no encoder at the path
    const char* reasonPart;  // empty: the task is done
};

void PrintTo(const ScriptCase& c, std::ostream* out)
{
    *out << c.name;
}

class EncoderOutcomeTest : public VideoEngineTest,
                           public ::testing::WithParamInterface<ScriptCase> {};

TEST_P(EncoderOutcomeTest, DoneNeedsTheMarkerAStatusOfZeroAndAnOutput)
{
    const QString script = testenv::Home() + "/fake-ffmpeg";
    if (*GetParam().script) {
        // "$src" is a real clip, so an encoder that "succeeds" leaves a file that reads back.
        ASSERT_TRUE(testenv::WriteFile(script, "#!/bin/sh\nfor out; do :; done\nsrc='" +
                                                   QFile::encodeName(Source("a.mp4")) + "'\n" +
                                                   GetParam().script + "\n"));
        ::chmod(QFile::encodeName(script).constData(), 0755);
    }
    MakeClip(Source("a.mp4"), kH264Aac);
    const int a = Add(Source("a.mp4")), b = Add(Source("a.mp4"));
    engine.SetEncoder(script);
    ASSERT_TRUE(engine.Start());
    engine.EnqueueAll({a, b});
    ASSERT_TRUE(WaitFinished(2));
    const Reports reports = sink.Get();
    for (int id : {a, b}) {
        if (!*GetParam().reasonPart) {
            ASSERT_TRUE(reports.done.count(id)) << reports.failed.at(id).reason.toStdString();
            EXPECT_EQ(reports.done.at(id).outputSize, QFileInfo(Source("a.mp4")).size());
        } else {
            ASSERT_TRUE(reports.failed.count(id));
            EXPECT_TRUE(reports.failed.at(id).reason.contains(GetParam().reasonPart))
                << reports.failed.at(id).reason.toStdString();
        }
    }
    if (*GetParam().reasonPart) {
        EXPECT_TRUE(OutputFiles().isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, EncoderOutcomeTest,
    ::testing::Values(
        ScriptCase{"Success", "cat \"$src\" > \"$out\"; echo 'muxing overhead: 1.0%'", ""},
        // Status 0 and the marker, but what was written is no video.
        ScriptCase{"UnreadableOutput", "echo data > \"$out\"; echo 'muxing overhead: 1.0%'",
                   "cannot be read back"},
        ScriptCase{"MarkerThenErrorStatus",
                   "echo data > \"$out\"; echo 'muxing overhead: 1%'; echo 'Error closing'; exit 1",
                   "status 1: Error closing"},
        ScriptCase{"NoMarker", "echo data > \"$out\"", "without finishing"},
        ScriptCase{"Crash", "echo data > \"$out\"; kill -SEGV $$", "crashed"},
        ScriptCase{"MarkerWithoutOutput", "echo 'muxing overhead: 1.0%'", "no output"},
        ScriptCase{"Missing", "", "cannot start"},
        // Standard input is the null device, never a terminal or a pipe of ours.
        ScriptCase{"InputIsNull",
                   "[ \"$(readlink /proc/self/fd/0)\" = /dev/null ] || exit 3; "
                   "cat \"$src\" > \"$out\"; echo 'muxing overhead: 1.0%'",
                   ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Feeds the first half of a file into a named pipe and then holds the pipe open, so its reader
// waits for more.
class PipeFeeder {
public:
    PipeFeeder(const QString& fifo, QByteArray content) : fifo_(QFile::encodeName(fifo))
    {
        thread_ = std::thread([this, content = std::move(content)] {
            const int fd = ::open(fifo_.constData(), O_WRONLY);
            if (fd < 0) return;
            for (qsizetype sent = 0; sent < content.size() / 2;) {
                const ssize_t n =
                    ::write(fd, content.constData() + sent, content.size() / 2 - sent);
                if (n <= 0) break;
                sent += n;
            }
            while (!finish_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            ::close(fd);
        });
    }
    ~PipeFeeder()
    {
        finish_ = true;
        // A feeder still waiting in open() for a reader returns once one comes.
        const int unblock = ::open(fifo_.constData(), O_RDONLY | O_NONBLOCK);
        thread_.join();
        if (unblock >= 0) ::close(unblock);
    }

private:
    QByteArray fifo_;
    std::atomic<bool> finish_{false};
    std::thread thread_;
};

// The engine never opens a named pipe as a source, so the pipe goes in on the encoder's side: a
// wrapper hands ffmpeg the pipe where the engine named the (regular) source.
void FeedEncoderFromPipe(VideoEngine& engine, const QString& source, const QString& fifo)
{
    const QString script = testenv::Home() + "/pipe-encoder";
    ASSERT_TRUE(testenv::WriteFile(
        script, "#!/bin/bash\nargs=()\nfor a; do [ \"$a\" = '" + QFile::encodeName(source) +
                    "' ] && a='" + QFile::encodeName(fifo) +
                    "'; args+=(\"$a\"); done\nexec ffmpeg \"${args[@]}\"\n"));
    ::chmod(QFile::encodeName(script).constData(), 0755);
    engine.SetEncoder(script);
}

TEST_F(VideoEngineTest, StopDuringAnEncodeLeavesNoProcessAndNoOutput)
{
    // The encoder is at work, then blocked in a read of the pipe (where SIGTERM alone does not
    // end it) when Stop comes.
    ::signal(SIGPIPE, SIG_IGN);
    MakeClip(Source("full.ts"), kH264Aac, true, 30);
    const VideoInfo facts = Probe(Source("full.ts"));
    ASSERT_TRUE(QFile::copy(Source("full.ts"), Source("stream.ts")));
    const QString fifo = testenv::Home() + "/feed.ts";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    PipeFeeder feeder(fifo, testenv::ReadFile(Source("full.ts")));
    FeedEncoderFromPipe(engine, Source("stream.ts"), fifo);

    const int id = Add(Source("stream.ts"), &facts);
    engine.SetStopGrace(300);
    ASSERT_TRUE(engine.Start());
    engine.Enqueue(id);
    ASSERT_TRUE(testenv::WaitUntil([&] { return !sink.Get().percents.empty(); }, 20000));
    const qint64 pid = sink.Get().processIds.at(id);
    EXPECT_FALSE(ProcessGone(pid));
    EXPECT_EQ(QDir(outputs).entryList(QDir::Files | QDir::Hidden),
              QStringList{".stream.lumo-part.ts"});

    const auto before = std::chrono::steady_clock::now();
    engine.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(3));
    EXPECT_TRUE(ProcessGone(pid));
    EXPECT_TRUE(QDir(outputs).entryList(QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_EQ(sink.Finished(), 0u);  // the stopped task gets no report
}

TEST_F(VideoEngineTest, CancelEndsTheRunningEncoderAndTheQueueGoesOnAfterTheRelease)
{
    // As in the stop above, the encoder is held in a read of the pipe, where SIGTERM alone does
    // not end it.
    ::signal(SIGPIPE, SIG_IGN);
    MakeClip(Source("full.ts"), kH264Aac, true, 30);
    MakeClip(Source("next.mp4"), kH264Aac);
    const VideoInfo facts = Probe(Source("full.ts"));
    ASSERT_TRUE(QFile::copy(Source("full.ts"), Source("stream.ts")));
    const QString fifo = testenv::Home() + "/feed.ts";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    PipeFeeder feeder(fifo, testenv::ReadFile(Source("full.ts")));
    FeedEncoderFromPipe(engine, Source("stream.ts"), fifo);
    ASSERT_TRUE(testenv::WriteFile(outputs + "/earlier.mp4", "an earlier output"));

    const int running = Add(Source("stream.ts"), &facts);
    const int next = Add(Source("next.mp4"));
    engine.SetStopGrace(300);
    sink.autoRelease = false;
    ASSERT_TRUE(engine.Start());
    engine.EnqueueAll({running, next});
    ASSERT_TRUE(testenv::WaitUntil([&] { return !sink.Get().percents.empty(); }, 20000));
    const qint64 pid = sink.Get().processIds.at(running);

    const auto before = std::chrono::steady_clock::now();
    EXPECT_TRUE(engine.Cancel(running));
    ASSERT_TRUE(WaitFinished(1));
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(3));
    EXPECT_TRUE(ProcessGone(pid));
    Reports reports = sink.Get();
    EXPECT_EQ(reports.cancelled, std::set<int>{running});
    EXPECT_TRUE(reports.failed.empty());
    EXPECT_EQ(OutputFiles(), QStringList{"earlier.mp4"}) << "the partial output is removed";

    // A cancelled task holds the queue until it is released, like any other.
    testenv::WaitUntil([] { return false; }, 300);
    EXPECT_EQ(engine.BusyTasks(), std::vector<int>{running});
    EXPECT_EQ(engine.IdleTasks(), std::vector<int>{next});
    sink.autoRelease = true;
    sink.Release(running);
    ASSERT_TRUE(WaitFinished(2));
    reports = sink.Get();
    reports.log.resize(5);  // the last release may be logged or not yet
    EXPECT_EQ(reports.log,
              (std::vector<std::string>{"start 1", "cancel 1", "release 1", "start 2", "done 2"}));
    EXPECT_EQ(OutputFiles(), (QStringList{"earlier.mp4", "next.mp4"}));
    EXPECT_FALSE(engine.Cancel(running)) << "neither waiting nor running any more";
}

TEST_F(VideoEngineTest, CancelOfAWaitingTaskRemovesItWithoutAReport)
{
    MakeClip(Source("a.mp4"), kH264Aac);
    const int a = Add(Source("a.mp4")), b = Add(Source("a.mp4")), c = Add(Source("a.mp4"));
    engine.SetPaused(true);
    ASSERT_TRUE(engine.Start());
    engine.EnqueueAll({a, b, c});
    EXPECT_TRUE(engine.Cancel(b));
    EXPECT_FALSE(engine.IsQueued(b));
    EXPECT_FALSE(engine.Cancel(b));
    EXPECT_EQ(engine.IdleTasks(), (std::vector<int>{a, c}));

    engine.SetPaused(false);
    ASSERT_TRUE(WaitLog(6));
    const Reports reports = sink.Get();
    EXPECT_EQ(reports.log, (std::vector<std::string>{"start 1", "done 1", "release 1", "start 3",
                                                     "done 3", "release 3"}));
    EXPECT_TRUE(reports.cancelled.empty());
}

TEST_F(VideoEngineTest, OddSourceNamesCompressUnderTheirOwnNames)
{
    MakeClip(Source("base.mp4"), kH264Aac);
    MakeClip(Source("base.avi"), kAviMp3);
    const VideoInfo mp4 = Probe(Source("base.mp4")), avi = Probe(Source("base.avi"));
    const QStringList names = {"a b  c.mp4",     "quote\"s 'x'.mp4",
                               "$HOME `id`.mp4", "100% %d.mp4",
                               "a:b.mp4",        "clip[1].mp4",
                               "-y.mp4",         "-lead.avi",
                               "中文 视频.mp4",  "semi;colon & pipe|.mp4",
                               "line\nbreak.mp4"};
    std::vector<int> ids;
    for (const QString& name : names) {
        const bool isAvi = name.endsWith(".avi");
        ASSERT_TRUE(QFile::copy(Source(isAvi ? "base.avi" : "base.mp4"), Source(name)));
        ids.push_back(Add(Source(name), isAvi ? &avi : &mp4));
    }
    ASSERT_TRUE(engine.Start());
    engine.EnqueueAll(ids);
    ASSERT_TRUE(WaitFinished(ids.size(), 60000));
    const Reports reports = sink.Get();
    for (size_t i = 0; i < ids.size(); ++i) {
        SCOPED_TRACE(names[i].toStdString());
        ASSERT_TRUE(reports.done.count(ids[i])) << reports.failed.at(ids[i]).reason.toStdString();
        const QString expected = QString(names[i]).replace(".avi", ".mp4");
        EXPECT_EQ(reports.done.at(ids[i]).outputPath, outputs + "/" + expected);
        EXPECT_EQ(Probe(outputs + "/" + expected).width, 64);
    }
}

TEST_F(VideoEngineTest, RowParametersAndSettingsAreReadWhenATaskStarts)
{
    MakeClip(Source("a.mp4"), kH264Aac);
    const int first = Add(Source("a.mp4")), second = Add(Source("a.mp4"));
    const int ownParams = Add(Source("a.mp4"));
    CompressParams own;
    own.unique_id = ownParams;
    own.videoType = 4;
    own.width = own.height = 32;
    own.channel = 1;
    engine.SetParams(own);
    settings.Change([](VideoSettings& values) {
        values.page.compatibleChecked = true;
        values.settings.videoType = 1;
    });

    sink.autoRelease = false;
    ASSERT_TRUE(engine.Start());
    engine.EnqueueAll({first, second, ownParams});
    ASSERT_TRUE(WaitFinished(1));
    // Changed while the first runs: the second reads the change, the first never saw it.
    EXPECT_EQ(settings.Reads(), 1) << "read once, when the first task started";
    settings.Change([](VideoSettings& values) { values.settings.videoType = 2; });
    sink.autoRelease = true;
    sink.Release(first);
    ASSERT_TRUE(WaitFinished(3));
    EXPECT_EQ(settings.Reads(), 3);

    const Reports reports = sink.Get();
    ASSERT_EQ(reports.done.size(), 3u);
    EXPECT_EQ(reports.done.at(first).outputPath, outputs + "/a.mp4");
    EXPECT_EQ(Probe(outputs + "/a.mp4").videoCodec, "mpeg4");  // compatible MP4
    EXPECT_EQ(reports.done.at(second).outputPath, outputs + "/a.flv");
    EXPECT_EQ(reports.done.at(ownParams).outputPath, outputs + "/a.mkv");
    const VideoInfo sized = Probe(outputs + "/a.mkv");
    EXPECT_EQ(sized.width, 32);
    EXPECT_EQ(sized.audioChannels, 1);
}

// The stream's codec tag as the container stores it ("hvc1", "hev1", "avc1", ...).
QString CodecTag(const QString& path)
{
    const auto result =
        platform::RunCapture(FindTool("ffprobe"),
                             {"-v", "error", "-select_streams", "v:0", "-show_entries",
                              "stream=codec_tag_string", "-of", "csv=p=0", path},
                             30000, 1 << 16);
    return result.output.trimmed();
}

TEST_F(VideoEngineTest, CodecChoiceWritesH265AndAv1AndQualityModeEncodes)
{
    // A lossless source, so that quality mode's file is the smaller one and is kept.
    MakeClip(Source("a.mp4"), {"-c:v", "libx264", "-qp", "0", "-c:a", "aac"});
    const int h265 = Add(Source("a.mp4")), av1 = Add(Source("a.mp4"));
    const int quality = Add(Source("a.mp4"));
    sink.autoRelease = false;
    settings.Change([](VideoSettings& values) {
        values.settings.videoType = 1;
        values.settings.codec = 1;
    });
    ASSERT_TRUE(engine.Start());
    engine.EnqueueAll({h265, av1, quality});
    ASSERT_TRUE(WaitFinished(1, 60000));
    settings.Change([](VideoSettings& values) {
        values.settings.videoType = 4;
        values.settings.codec = 2;
    });
    sink.Release(h265);
    ASSERT_TRUE(WaitFinished(2, 60000));
    settings.Change([](VideoSettings& values) {
        values.settings.codec = 1;
        values.page.qualityMode = true;
    });
    sink.Release(av1);
    ASSERT_TRUE(WaitFinished(3, 60000));

    const Reports reports = sink.Get();
    ASSERT_EQ(reports.done.size(), 3u) << reports.failed.begin()->second.reason.toStdString();
    EXPECT_EQ(reports.done.at(h265).outputPath, outputs + "/a.mp4");
    EXPECT_EQ(Probe(outputs + "/a.mp4").videoCodec, "hevc");
    EXPECT_EQ(CodecTag(outputs + "/a.mp4"), "hvc1");
    EXPECT_EQ(reports.done.at(av1).outputPath, outputs + "/a.mkv");
    EXPECT_EQ(Probe(outputs + "/a.mkv").videoCodec, "av1");
    EXPECT_EQ(reports.done.at(quality).outputPath, outputs + "/a(2).mkv");
    EXPECT_EQ(Probe(outputs + "/a(2).mkv").videoCodec, "hevc");
}

TEST_F(VideoEngineTest, TwoPassRunsTwoEncodersOnOneBarAndRemovesItsPassLog)
{
    MakeClip(Source("a.mp4"), kH264Aac, true, 2);
    const int id = Add(Source("a.mp4"));
    settings.Change([](VideoSettings& values) {
        values.settings.videoType = 1;
        values.page.twoPass = true;
    });
    ASSERT_TRUE(engine.Start());
    engine.Enqueue(id);
    ASSERT_TRUE(WaitFinished(1, 60000));
    const Reports reports = sink.Get();
    ASSERT_TRUE(reports.done.count(id)) << reports.failed.at(id).reason.toStdString();
    EXPECT_EQ(engine.FfmpegProcesses().size(), 2u);
    EXPECT_EQ(Probe(outputs + "/a.mp4").videoCodec, "h264");
    // One bar for both passes: it never goes back and stays within 0..100.
    ASSERT_FALSE(reports.percents.empty());
    EXPECT_TRUE(std::is_sorted(reports.percents.begin(), reports.percents.end()));
    EXPECT_LE(reports.percents.back(), 100);
    // The statistics went to a private folder that is gone with the task; nothing of them is
    // left in the output folder or the working folder.
    EXPECT_TRUE(QDir(PassLogRoot()).exists());
    EXPECT_TRUE(QDir(PassLogRoot())
                    .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                    .isEmpty());
    EXPECT_EQ(OutputFiles(), QStringList{"a.mp4"});
    EXPECT_TRUE(QDir::current().entryList({"ffmpeg2pass*", "x265*.log"}).isEmpty());
}

TEST_F(VideoEngineTest, KeepSmallerDropsAnOutputThatGrew)
{
    // A source with thin audio: the new container's 320 kbit/s audio makes the output larger.
    MakeClip(Source("thin.mp4"), {"-c:v", "libx264", "-b:v", "20k", "-c:a", "aac", "-b:a", "16k"});
    const int grown = Add(Source("thin.mp4")), kept = Add(Source("thin.mp4"));
    settings.Change([](VideoSettings& values) {
        values.settings.videoType = 1;
        values.settings.bitrate = 320000;
    });
    sink.autoRelease = false;
    ASSERT_TRUE(engine.Start());
    engine.EnqueueAll({grown, kept});
    ASSERT_TRUE(WaitFinished(1));
    settings.Change([](VideoSettings& values) { values.keepSmaller = true; });
    sink.Release(grown);
    ASSERT_TRUE(WaitFinished(2));

    const Reports reports = sink.Get();
    ASSERT_EQ(reports.done.size(), 2u);
    // Without the setting the larger output stays, as it always has.
    const VideoDoneRecord& first = reports.done.at(grown);
    EXPECT_FALSE(first.sourceKept);
    EXPECT_GE(first.outputSize, QFileInfo(Source("thin.mp4")).size());
    // With it the output is removed and the report says the source is the smaller file.
    const VideoDoneRecord& second = reports.done.at(kept);
    EXPECT_TRUE(second.sourceKept);
    EXPECT_TRUE(second.outputPath.isEmpty());
    EXPECT_EQ(OutputFiles(), QStringList{"thin.mp4"});
}

TEST_F(VideoEngineTest, QualityModeNeverLeavesAnOutputLargerThanItsSource)
{
    MakeClip(Source("thin.mp4"), {"-c:v", "libx264", "-b:v", "20k", "-c:a", "aac", "-b:a", "16k"});
    const int id = Add(Source("thin.mp4"));
    settings.Change([](VideoSettings& values) {
        values.settings.videoType = 1;
        values.settings.bitrate = 320000;
        values.page.qualityMode = true;
    });
    ASSERT_TRUE(engine.Start());
    engine.Enqueue(id);
    ASSERT_TRUE(WaitFinished(1));
    const Reports reports = sink.Get();
    ASSERT_TRUE(reports.done.count(id));
    EXPECT_TRUE(reports.done.at(id).sourceKept);
    EXPECT_TRUE(OutputFiles().isEmpty());
}

}  // namespace

namespace {

QStringList AllEntries(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

void WriteScript(const QString& path, const QByteArray& body)
{
    ASSERT_TRUE(testenv::WriteFile(path, "#!/bin/bash\n" + body + "\n"));
    ::chmod(QFile::encodeName(path).constData(), 0755);
}

void SetModified(const QString& path, qint64 secondsAgo)
{
    const struct timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - secondsAgo, 0}};
    ASSERT_EQ(
        ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW), 0);
}

// While ffmpeg writes, the output folder holds only a hidden temporary file; the final name
// appears once the file is complete and has been read back.
TEST_F(VideoEngineTest, TheFinalNameAppearsOnlyWhenTheOutputIsComplete)
{
    MakeClip(Source("a.mp4"), kH264Aac);
    const QString listing = testenv::Home() + "/listing";
    WriteScript(testenv::Home() + "/encoder",
                "for out; do :; done\nls -A \"$(dirname \"$out\")\" > '" +
                    QFile::encodeName(listing) + "'\nexec ffmpeg \"$@\"");
    engine.SetEncoder(testenv::Home() + "/encoder");
    const int id = Add(Source("a.mp4"));
    ASSERT_TRUE(engine.Start());
    engine.Enqueue(id);
    ASSERT_TRUE(WaitFinished(1));
    const Reports reports = sink.Get();
    ASSERT_TRUE(reports.done.count(id)) << reports.failed.at(id).reason.toStdString();
    EXPECT_EQ(testenv::ReadFile(listing), ".a.lumo-part.mp4\n");
    EXPECT_EQ(AllEntries(outputs), QStringList{"a.mp4"});
    EXPECT_EQ(reports.done.at(id).outputPath, outputs + "/a.mp4");
    EXPECT_EQ(engine.OutputPath(id), outputs + "/a.mp4");
}

// A disk that fills up mid-way (here a file size limit on the encoder: with its signal ignored
// every write past it fails as on a full disk, with the signal left alone it ends ffmpeg) fails
// the task with the real cause, for every codec, never done, and leaves nothing. x265 prints its
// statistics after the error: they are no reason.
TEST_F(VideoEngineTest, AFileSizeLimitFailsEveryCodecWithTheRealReasonAndLeavesNothing)
{
    WriteScript(testenv::Home() + "/ignoring", "ulimit -f 8; trap '' XFSZ; exec ffmpeg \"$@\"");
    WriteScript(testenv::Home() + "/signalled", "ulimit -f 8; exec ffmpeg \"$@\"");
    const std::vector<CodecCase> cases = {
        {0, "ignoring"}, {1, "ignoring"}, {2, "ignoring"}, {1, "signalled"}};
    const std::vector<QString> reasons = FailureReasons(cases);
    for (size_t i = 0; i < reasons.size(); ++i) {
        SCOPED_TRACE(std::string(cases[i].encoder) + " codec " + std::to_string(cases[i].codec));
        EXPECT_TRUE(reasons[i].contains("File too large")) << reasons[i].toStdString();
        EXPECT_FALSE(reasons[i].contains("encoded ")) << reasons[i].toStdString();
        EXPECT_EQ(ClassifyFailure(reasons[i]), FailureCause::DiskFull) << reasons[i].toStdString();
    }
    EXPECT_EQ(AllEntries(outputs), QStringList());
}

// A really full disk: ffmpeg runs in a mount namespace of its own where an 8 KiB tmpfs covers
// the output folder (skipped where mounting is not allowed).
TEST_F(VideoEngineTest, AFullDiskFailsEveryCodecWithNoSpaceLeft)
{
    const QString probe = testenv::Home() + "/probe";
    ASSERT_TRUE(QDir().mkpath(probe));
    const auto mount = platform::RunCapture(
        "unshare", {"-m", "sh", "-c", "mount -t tmpfs -o size=8k tmpfs \"$0\"", probe}, 10000,
        4096);
    if (!mount.Succeeded()) GTEST_SKIP() << "cannot mount a tmpfs here: " << mount.output.data();
    WriteScript(testenv::Home() + "/full",
                "for out; do :; done\n"
                "exec unshare -m bash -c 'mount -t tmpfs -o size=8k tmpfs \"$0\" && exec ffmpeg "
                "\"$@\"' \"$(dirname \"$out\")\" \"$@\"");
    const std::vector<CodecCase> cases = {{0, "full"}, {1, "full"}, {2, "full"}};
    const std::vector<QString> reasons = FailureReasons(cases);
    for (size_t i = 0; i < reasons.size(); ++i) {
        SCOPED_TRACE("codec " + std::to_string(cases[i].codec));
        EXPECT_TRUE(reasons[i].contains("No space left on device")) << reasons[i].toStdString();
        EXPECT_EQ(ClassifyFailure(reasons[i]), FailureCause::DiskFull) << reasons[i].toStdString();
    }
    EXPECT_EQ(AllEntries(outputs), QStringList());
}

std::vector<QString> VideoEngineTest::FailureReasons(const std::vector<CodecCase>& cases)
{
    EXPECT_TRUE(testenv::MakeVideo(Source("big.mp4"), 2.0, "320x240"));
    std::vector<int> ids;
    for (size_t i = 0; i < cases.size(); ++i) ids.push_back(Add(Source("big.mp4")));
    const auto use = [&](const CodecCase& c) {
        settings.Change([&](VideoSettings& values) {
            values.settings.videoType = 1;
            values.settings.codec = c.codec;
        });
        engine.SetEncoder(testenv::Home() + "/" + c.encoder);
    };
    sink.autoRelease = false;
    use(cases[0]);
    EXPECT_TRUE(engine.Start());
    engine.EnqueueAll(ids);
    std::vector<QString> reasons;
    for (size_t i = 0; i < cases.size(); ++i) {
        if (!WaitFinished(i + 1, 60000)) break;
        const Reports reports = sink.Get();
        EXPECT_TRUE(reports.failed.count(ids[i])) << "reported done";
        reasons.push_back(reports.failed.count(ids[i]) ? reports.failed.at(ids[i]).reason
                                                       : QString());
        if (i + 1 == cases.size()) break;
        use(cases[i + 1]);
        sink.Release(ids[i]);
    }
    EXPECT_EQ(reasons.size(), cases.size()) << "a task did not end";
    return reasons;
}

// A source cut short (an mkv with 30 % of its bytes) encodes "successfully" into a short
// file: the task fails and says why.
TEST_F(VideoEngineTest, ACutSourceFailsAsTruncatedInsteadOfGivingAShortOutput)
{
    ASSERT_TRUE(testenv::MakeVideo(Source("whole.mkv"), 4.0, "160x120"));
    const QByteArray whole = testenv::ReadFile(Source("whole.mkv"));
    ASSERT_TRUE(testenv::WriteFile(Source("cut.mkv"), whole.left(whole.size() * 3 / 10)));
    const VideoInfo facts = Probe(Source("cut.mkv"));
    ASSERT_GE(facts.formatDuration, 3.0f) << "the header still tells the whole duration";
    const int cut = Add(Source("cut.mkv"), &facts);
    const int good = Add(Source("whole.mkv"));
    ASSERT_TRUE(engine.Start());
    engine.EnqueueAll({cut, good});
    ASSERT_TRUE(WaitFinished(2));
    const Reports reports = sink.Get();
    ASSERT_TRUE(reports.failed.count(cut)) << "a short output was reported done";
    EXPECT_TRUE(reports.failed.at(cut).reason.contains("truncated"))
        << reports.failed.at(cut).reason.toStdString();
    ASSERT_TRUE(reports.done.count(good)) << reports.failed.at(good).reason.toStdString();
    EXPECT_EQ(AllEntries(outputs), QStringList{"whole.mkv"});
}

TEST_F(VideoEngineTest, AnOddSizedSourceBecomesAnEvenSizedMp4)
{
    ASSERT_TRUE(testenv::MakeVideo(Source("odd.mkv"), 1.0, "65x47", true,
                                   {"-c:v", "mpeg4", "-pix_fmt", "yuv420p"}));
    settings.Change([](VideoSettings& values) { values.settings.videoType = 1; });
    const int id = Add(Source("odd.mkv"));
    ASSERT_TRUE(engine.Start());
    engine.Enqueue(id);
    ASSERT_TRUE(WaitFinished(1));
    const Reports reports = sink.Get();
    ASSERT_TRUE(reports.done.count(id)) << reports.failed.at(id).reason.toStdString();
    const VideoInfo out = Probe(outputs + "/odd.mp4");
    EXPECT_EQ(out.videoCodec, "h264");
    EXPECT_EQ(out.width, 64);
    EXPECT_EQ(out.height, 46);
}

// A file replaced by a named pipe between adding and compressing is refused at once; ffmpeg
// would wait on the pipe for ever.
TEST_F(VideoEngineTest, ASourceReplacedByANamedPipeFailsWithoutWaiting)
{
    MakeClip(Source("a.mp4"), kH264Aac);
    const int id = Add(Source("a.mp4"));
    ASSERT_TRUE(QFile::remove(Source("a.mp4")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(Source("a.mp4")).constData(), 0600), 0);
    ASSERT_TRUE(engine.Start());
    engine.Enqueue(id);
    ASSERT_TRUE(WaitFinished(1, 5000)) << "the engine waits on the pipe";
    const Reports reports = sink.Get();
    ASSERT_TRUE(reports.failed.count(id));
    EXPECT_TRUE(reports.failed.at(id).reason.contains("named pipe"))
        << reports.failed.at(id).reason.toStdString();
    EXPECT_TRUE(reports.processIds.empty()) << "no encoder was started";
    EXPECT_EQ(AllEntries(outputs), QStringList());
}

// What a killed run recorded as its own goes before a task writes: its partial output and the
// image engine's temporary file. A file named like ours that no run recorded stays, and so
// does a recorded one that is a source of the batch (here the source being compressed).
TEST_F(VideoEngineTest, OnlyWhatAKilledRunRecordedIsRemovedNeverASource)
{
    const QStringList leftovers = {".old.lumo-part.mp4", ".lumo-0123456789abcdef.part"};
    const QStringList kept = {".stray.lumo-part.mp4", ".src.lumo-part.mp4", "user.txt"};
    for (const QString& name : leftovers + kept) {
        if (name == ".src.lumo-part.mp4")
            MakeClip(outputs + "/" + name, kH264Aac);
        else
            ASSERT_TRUE(testenv::WriteFile(outputs + "/" + name, "bytes"));
        SetModified(outputs + "/" + name, 3600);
    }
    {
        testenv::OwnFilesRun killed({outputs + "/.old.lumo-part.mp4",
                                     outputs + "/.lumo-0123456789abcdef.part",
                                     outputs + "/.src.lumo-part.mp4"});
        ASSERT_TRUE(killed.Ready());
        killed.Kill();
    }

    const int id = Add(outputs + "/.src.lumo-part.mp4");
    ASSERT_TRUE(engine.Start());
    engine.Enqueue(id);
    ASSERT_TRUE(WaitFinished(1));
    const Reports reports = sink.Get();
    ASSERT_TRUE(reports.done.count(id)) << reports.failed.at(id).reason.toStdString();
    QStringList expected = kept;
    expected << ".src.lumo-part(2).mp4";
    expected.sort();
    QStringList entries = AllEntries(outputs);
    entries.sort();
    EXPECT_EQ(entries, expected);
    EXPECT_EQ(testenv::ReadFile(outputs + "/user.txt"), "bytes");
}

}  // namespace

// The searches of the engine run on a 320x240, 3-second clip of moving detail with a tone, kept
// nearly lossless so that every output is far smaller than the source.
class VideoSearchTest : public VideoEngineTest {
protected:
    // The card clip fitted under 200 kB through an encoder script: ffmpeg as it is for every run
    // but the outputs (the pass logs, the sound), and for the outputs the given lines, run with
    // $out (the output) and $rate (its -b:v) set, where `encode` runs ffmpeg and logs the output's
    // "rate size" to the tries log. Each try is one such output.
    struct CardFit {
        std::optional<VideoDoneRecord> record;
        QString failure;
        QStringList tries;  // "rate size" of each output the script logged
    };

    CardFit FitCardThrough(const QByteArray& outputLines)
    {
        MakeToneClip(Source("card.mp4"), "testsrc=size=320x240:rate=25", 3);
        const QString log = testenv::Home() + "/tries";
        WriteScript(
            testenv::Home() + "/encoder",
            "for out; do :; done\nrate=0; prev=\nfor a; do [ \"$prev\" = -b:v ] && rate=$a; "
            "prev=$a; done\ncase \"$out\" in *lumo-part*) ;; *) exec ffmpeg \"$@\";; esac\n"
            "tries='" +
                QFile::encodeName(log) +
                "'\nencode() { ffmpeg \"$@\" || exit $?; echo \"$rate $(stat -c %s \"$out\")\" "
                ">> \"$tries\"; }\n" +
                outputLines);
        engine.SetEncoder(testenv::Home() + "/encoder");
        CardFit fit;
        if (!engine.Start()) return fit;
        const int id = RunOnce(Source("card.mp4"), [](VideoSettings& v) { v.maxBytes = 200000; });
        if (!WaitFinished(1, 240000)) return fit;
        const Reports reports = sink.Get();
        if (reports.done.count(id)) fit.record = reports.done.at(id);
        if (reports.failed.count(id)) fit.failure = reports.failed.at(id).reason;
        fit.tries = QString::fromUtf8(testenv::ReadFile(log)).split('\n', Qt::SkipEmptyParts);
        return fit;
    }

    // The output is the first try's file, whole and readable, with the rate that wrote it, and
    // nothing else is left.
    void ExpectTheFirstTryIsTheOutput(const CardFit& fit)
    {
        ASSERT_TRUE(fit.record) << fit.failure.toStdString();
        ASSERT_FALSE(fit.tries.isEmpty());
        const QStringList first = fit.tries.first().split(' ');
        ASSERT_EQ(first.size(), 2);
        ASSERT_LT(first[1].toLongLong(), 200000 * 0.9) << "the first file was expected far under";
        EXPECT_EQ(fit.record->outputSize, first[1].toLongLong());
        EXPECT_EQ(QFileInfo(fit.record->outputPath).size(), fit.record->outputSize);
        EXPECT_EQ(fit.record->fittedBitRate, first[0].toInt());
        EXPECT_EQ(Probe(fit.record->outputPath).width, 320);
        EXPECT_EQ(OutputFiles(), QStringList{"card.mp4"});
        // The task's folders go as its run ends, just after its report.
        EXPECT_TRUE(testenv::WaitUntil([&] { return TaskFolders().isEmpty(); }, 5000));
    }
    void MakeDetailedClip(const QString& path, const QString& filter = "null")
    {
        MakeToneClip(path, "testsrc2=size=320x240:rate=25", 3, filter);
    }
    // A clip of the given picture (a lavfi source, then the filter) with a tone of the same
    // length, nearly lossless.
    void MakeToneClip(const QString& path, const QString& picture, int seconds,
                      const QString& filter = "null")
    {
        const QString length = QString::number(seconds);
        const auto result = platform::RunCapture(FindTool("ffmpeg"),
                                                 {"-v",
                                                  "error",
                                                  "-y",
                                                  "-f",
                                                  "lavfi",
                                                  "-i",
                                                  picture + ":duration=" + length + "," + filter,
                                                  "-f",
                                                  "lavfi",
                                                  "-i",
                                                  "sine=frequency=440:duration=" + length,
                                                  "-c:v",
                                                  "libx264",
                                                  "-preset",
                                                  "ultrafast",
                                                  "-crf",
                                                  "8",
                                                  "-c:a",
                                                  "aac",
                                                  "-shortest",
                                                  path},
                                                 120000, 1 << 20);
        ASSERT_TRUE(result.Succeeded()) << result.output.toStdString();
    }
    QStringList TaskFolders() const
    {
        return QDir(PassLogRoot())
            .entryList({"sound-*", "passlog-*"}, QDir::Dirs | QDir::NoDotAndDotDot);
    }
    // Compresses the clip once to MP4 with the settings changed as given; the task's id.
    int RunOnce(const QString& source, const std::function<void(VideoSettings&)>& change)
    {
        settings.Change([&](VideoSettings& values) {
            values.settings.videoType = 1;
            values.page.qualityMode = true;
            values.look = false;
            values.maxBytes = 0;
            change(values);
        });
        const int id = Add(source);
        engine.Enqueue(id);
        return id;
    }
    QStringList ProbeFolders() const
    {
        return QDir(PassLogRoot()).entryList({"look-*"}, QDir::Dirs | QDir::NoDotAndDotDot);
    }
};

TEST_F(VideoSearchTest, LookReachesTheStrengthsSsimWithFewerBytesThanItsFixedQuality)
{
    MakeDetailedClip(Source("clip.mp4"));
    ASSERT_TRUE(engine.Start());
    const int fixed = RunOnce(Source("clip.mp4"), [](VideoSettings&) {});
    ASSERT_TRUE(WaitFinished(1, 120000));
    const size_t fixedPercents = sink.Get().percents.size();
    const int look = RunOnce(Source("clip.mp4"), [](VideoSettings& v) { v.look = true; });
    ASSERT_TRUE(WaitFinished(2, 240000));
    Reports reports = sink.Get();
    // One bar over the probes and the encode: it rises from the search's first report to 100.
    const std::vector<int> lookPercents(reports.percents.begin() + fixedPercents,
                                        reports.percents.end());
    ASSERT_GE(lookPercents.size(), 3u);
    EXPECT_TRUE(std::adjacent_find(lookPercents.begin(), lookPercents.end(),
                                   std::greater_equal<int>()) == lookPercents.end())
        << testing::PrintToString(lookPercents);
    EXPECT_LT(lookPercents.front(), 50);
    EXPECT_EQ(lookPercents.back(), 100);
    ASSERT_EQ(reports.done.count(fixed), 1u);
    ASSERT_EQ(reports.done.count(look), 1u) << reports.failed[look].reason.toStdString();
    const VideoDoneRecord& searched = reports.done.at(look);
    EXPECT_EQ(reports.done.at(fixed).searchedCrf, 0);
    EXPECT_NEAR(searched.ssim, search::StrengthSsim(0), 0.005);
    EXPECT_GE(searched.ssim, search::StrengthSsim(0));
    EXPECT_GT(searched.searchedCrf, 23);
    EXPECT_LT(searched.outputSize, reports.done.at(fixed).outputSize);
    RecordProperty("fixed_bytes", std::to_string(reports.done.at(fixed).outputSize));
    RecordProperty("look_bytes", std::to_string(searched.outputSize));
    RecordProperty("look_ssim", std::to_string(searched.ssim));
    RecordProperty("look_crf", QString::number(searched.searchedCrf).toStdString());
    // The note gives the figures; the bar never goes back, the probes and the encode share it.
    EXPECT_TRUE(reports.notes.at(look).contains(
        QString("SSIM %1 at CRF %2").arg(searched.ssim, 0, 'f', 3).arg(searched.searchedCrf)))
        << reports.notes.at(look).join(" | ").toStdString();
    EXPECT_TRUE(ProbeFolders().isEmpty());
    // The output is encoded at what the search found: x264 writes its options into the stream.
    QFile output(searched.outputPath);
    ASSERT_TRUE(output.open(QIODevice::ReadOnly));
    // x264 prints its CRF with one decimal: a quarter step such as 27.25 as 27.2 or 27.3.
    const QRegularExpressionMatch written =
        QRegularExpression(" crf=([0-9]+\\.[0-9]) ").match(QString::fromLatin1(output.readAll()));
    ASSERT_TRUE(written.hasMatch());
    EXPECT_NEAR(written.captured(1).toDouble(), searched.searchedCrf, 0.051);
    EXPECT_DOUBLE_EQ(searched.searchedCrf * 4, std::round(searched.searchedCrf * 4))
        << "x264's CRF in quarter steps";
}

TEST_F(VideoSearchTest, LookDoesNotApplyToABitRateEncodeAndSaysSo)
{
    MakeDetailedClip(Source("clip.mp4"));
    ASSERT_TRUE(engine.Start());
    const int id = RunOnce(Source("clip.mp4"), [](VideoSettings& v) {
        v.look = true;
        v.page.qualityMode = false;
    });
    ASSERT_TRUE(WaitFinished(1, 120000));
    Reports reports = sink.Get();
    ASSERT_EQ(reports.done.count(id), 1u);
    EXPECT_EQ(reports.done.at(id).searchedCrf, 0);
    EXPECT_TRUE(reports.notes.at(id).join(" ").contains("constant-quality"));
}

TEST_F(VideoSearchTest, CancelDuringTheSearchLeavesNoProbeFilesAndNoOutput)
{
    MakeDetailedClip(Source("clip.mp4"));
    ASSERT_TRUE(engine.Start());
    const int id = RunOnce(Source("clip.mp4"), [](VideoSettings& v) { v.look = true; });
    // After the first probe: the next one is running or about to.
    ASSERT_TRUE(testenv::WaitUntil([&] { return !sink.Get().percents.empty(); }, 60000));
    ASSERT_FALSE(ProbeFolders().isEmpty());
    ASSERT_TRUE(engine.Cancel(id));
    const auto asked = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFinished(1, 10000));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(1000));
    EXPECT_EQ(sink.Get().cancelled.count(id), 1u);
    EXPECT_TRUE(ProbeFolders().isEmpty());
    EXPECT_TRUE(OutputFiles().isEmpty());
}

TEST_F(VideoSearchTest, SizeLimitIsMetEvenWhenTheFirstTryOvershoots)
{
    // Strong noise: two-pass x264 writes 152387 bytes for the first try's rate under 150000
    // bytes, the retry 141623.
    MakeDetailedClip(Source("noise.mp4"), "noise=alls=100:allf=t+u");
    // 3 s of sound at 128 kbit/s take 48 kB: 66000 bytes leave the picture 30 kbit/s, too
    // little for 320x240.
    MakeDetailedClip(Source("clip.mp4"));
    ASSERT_TRUE(engine.Start());
    const int noisy = RunOnce(Source("noise.mp4"), [](VideoSettings& v) {
        v.maxBytes = 150000;
        v.look = true;  // the size takes precedence
    });
    ASSERT_TRUE(WaitFinished(1, 240000));
    // The retry goes on along the bar: it never goes back, and it ends at 100.
    const std::vector<int> noisyPercents = sink.Get().percents;
    ASSERT_FALSE(noisyPercents.empty());
    EXPECT_TRUE(std::is_sorted(noisyPercents.begin(), noisyPercents.end()))
        << testing::PrintToString(noisyPercents);
    EXPECT_EQ(noisyPercents.back(), 100);
    const int small = RunOnce(Source("clip.mp4"), [](VideoSettings& v) { v.maxBytes = 66000; });
    ASSERT_TRUE(WaitFinished(2, 240000));
    Reports reports = sink.Get();
    for (const auto& [id, limit] : {std::pair{noisy, 150000}, std::pair{small, 66000}}) {
        ASSERT_EQ(reports.done.count(id), 1u) << reports.failed[id].reason.toStdString();
        const VideoDoneRecord& record = reports.done.at(id);
        EXPECT_LE(record.outputSize, limit);
        EXPECT_GE(record.outputSize, limit * 8 / 10);
        EXPECT_EQ(QFileInfo(record.outputPath).size(), record.outputSize);
        EXPECT_EQ(record.searchedCrf, 0);
        RecordProperty("bytes_" + std::to_string(limit), std::to_string(record.outputSize));
    }
    EXPECT_EQ(reports.done.at(noisy).sizeTries, 2) << "the first try was expected to overshoot";
    EXPECT_EQ(Probe(reports.done.at(noisy).outputPath).width, 320);
    // The low rate asks for a smaller picture, and the note says so.
    EXPECT_LT(Probe(reports.done.at(small).outputPath).width, 320);
    EXPECT_TRUE(reports.notes[small].join(" ").contains("the picture is made"));
    EXPECT_TRUE(reports.notes[noisy].join(" ").contains("does not combine"));
}

TEST_F(VideoSearchTest, SizeThatCannotHoldTheSoundFailsBeforeEncoding)
{
    MakeDetailedClip(Source("clip.mp4"));
    ASSERT_TRUE(engine.Start());
    const int id = RunOnce(Source("clip.mp4"), [](VideoSettings& v) { v.maxBytes = 20000; });
    ASSERT_TRUE(WaitFinished(1));
    Reports reports = sink.Get();
    ASSERT_EQ(reports.failed.count(id), 1u);
    EXPECT_TRUE(reports.failed.at(id).reason.contains("sound"))
        << reports.failed.at(id).reason.toStdString();
    EXPECT_TRUE(reports.processIds.empty());
    EXPECT_TRUE(OutputFiles().isEmpty());
}

// The budget counts the tone as AAC really writes it (well under its nominal 128 kbit/s), so
// the file lands close under the limit, in MP4 and in Matroska, without a try over it.
TEST_F(VideoSearchTest, SizeLimitIsFilledCloseUnderWithATonalSound)
{
    MakeDetailedClip(Source("tone.mp4"));
    ASSERT_TRUE(engine.Start());
    // Settings are read when a task starts: the second is changed once the first is done.
    const int mp4 = RunOnce(Source("tone.mp4"), [](VideoSettings& v) { v.maxBytes = 120000; });
    ASSERT_TRUE(WaitFinished(1, 240000));
    const int mkv = RunOnce(Source("tone.mp4"), [](VideoSettings& v) {
        v.maxBytes = 200000;
        v.settings.videoType = 4;
    });
    ASSERT_TRUE(WaitFinished(2, 240000));
    Reports reports = sink.Get();
    for (const auto& [id, limit] : {std::pair{mp4, 120000}, std::pair{mkv, 200000}}) {
        ASSERT_EQ(reports.done.count(id), 1u) << reports.failed[id].reason.toStdString();
        const VideoDoneRecord& record = reports.done.at(id);
        EXPECT_EQ(QFileInfo(record.outputPath).size(), record.outputSize);
        EXPECT_LE(record.outputSize, limit);
        EXPECT_GE(record.outputSize, limit * 0.90) << "after " << record.sizeTries << " tries";
        EXPECT_GT(record.fittedBitRate, 0);
        RecordProperty("bytes_" + std::to_string(limit), std::to_string(record.outputSize));
    }
    EXPECT_TRUE(reports.done.at(mkv).outputPath.endsWith(".mkv"));
    // The task's folders go as its run ends, just after its report.
    EXPECT_TRUE(testenv::WaitUntil([&] { return TaskFolders().isEmpty(); }, 5000));
}

// A still test card cannot use the rate its size allows: the file far under the limit is tried
// again higher, and what stays is a file under the limit with the rate that wrote it.
TEST_F(VideoSearchTest, AFileFarUnderTheLimitIsTriedHigherAndStaysUnderIt)
{
    MakeToneClip(Source("card.mp4"), "testsrc=size=320x240:rate=25", 3);
    ASSERT_TRUE(engine.Start());
    const int id = RunOnce(Source("card.mp4"), [](VideoSettings& v) { v.maxBytes = 200000; });
    ASSERT_TRUE(WaitFinished(1, 240000));
    Reports reports = sink.Get();
    ASSERT_EQ(reports.done.count(id), 1u) << reports.failed[id].reason.toStdString();
    const VideoDoneRecord& record = reports.done.at(id);
    EXPECT_GE(record.sizeTries, 2);
    EXPECT_LE(record.sizeTries, 1 + search::kMaxSizeRetries);
    EXPECT_LE(record.outputSize, 200000);
    EXPECT_EQ(QFileInfo(record.outputPath).size(), record.outputSize);
    EXPECT_EQ(OutputFiles(), QStringList{"card.mp4"}) << "no kept or partial file beside it";
    // The task's folders go as its run ends, just after its report.
    EXPECT_TRUE(testenv::WaitUntil([&] { return TaskFolders().isEmpty(); }, 5000));
    // The bar goes on over the tries and ends at 100.
    EXPECT_TRUE(std::is_sorted(reports.percents.begin(), reports.percents.end()));
    EXPECT_EQ(reports.percents.back(), 100);
    // The time left goes by the picture's tries, not by the sound's quick measure: the sound
    // has no stretch, the first try counts to its own end and each retry takes on from there.
    const auto& spans = reports.timedSpans;
    ASSERT_EQ(spans.size(), 1 + static_cast<size_t>(record.sizeTries))
        << testing::PrintToString(spans);
    EXPECT_EQ(spans[0], std::pair(0, 0));
    EXPECT_EQ(spans[1], std::pair(5, 85));
    for (size_t i = 2; i < spans.size(); ++i) {
        EXPECT_EQ(spans[i].first, spans[i - 1].second);
        EXPECT_GT(spans[i].second, spans[i].first);
        EXPECT_LE(spans[i].second, 100);
    }
}

// The sound is measured by an ffmpeg run of its own before the encode: a cancel ends it within
// a second, before any encoder starts, and leaves no file.
TEST_F(VideoSearchTest, CancelWhileTheSoundIsMeasuredLeavesNothing)
{
    // A minute of sound takes seconds to encode; the picture is a stamp.
    MakeToneClip(Source("long.mp4"), "testsrc=size=64x48:rate=5", 60);
    ASSERT_TRUE(engine.Start());
    const int id = RunOnce(Source("long.mp4"), [](VideoSettings& v) { v.maxBytes = 2'000'000; });
    ASSERT_TRUE(testenv::WaitUntil([&] { return !TaskFolders().isEmpty(); }, 20000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(sink.Get().processIds.empty()) << "the encode started: the measure was too quick";
    ASSERT_TRUE(engine.Cancel(id));
    const auto asked = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFinished(1, 10000));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(1000));
    const Reports reports = sink.Get();
    EXPECT_EQ(reports.cancelled.count(id), 1u);
    EXPECT_TRUE(reports.processIds.empty());
    EXPECT_TRUE(OutputFiles().isEmpty());
    // The task's folders go as its run ends, just after its report.
    EXPECT_TRUE(testenv::WaitUntil([&] { return TaskFolders().isEmpty(); }, 5000));
}

// A try upward that fails does not fail the task: the file that fitted before it is the output.
TEST_F(VideoSearchTest, AFailedUpwardTryLeavesTheFileThatFitted)
{
    // Every output after the first fails.
    const CardFit fit =
        FitCardThrough("[ -s \"$tries\" ] && { echo 'disk gone' >&2; exit 1; }\nencode \"$@\"");
    ExpectTheFirstTryIsTheOutput(fit);
    EXPECT_EQ(fit.tries.size(), 1);
    ASSERT_TRUE(fit.record);
    EXPECT_GE(fit.record->sizeTries, 2) << "the upward try was made";
}

// A try upward that comes out over the limit is never the output: the file that fitted before
// it is brought back.
TEST_F(VideoSearchTest, AnUpwardTryOverTheLimitGivesBackTheFileThatFitted)
{
    // Every output after the first grows by 300 kB.
    const CardFit fit = FitCardThrough(
        "grow=; [ -s \"$tries\" ] && grow=1\nffmpeg \"$@\" || exit $?\n"
        "[ -n \"$grow\" ] && head -c 300000 /dev/zero >> \"$out\"\n"
        "echo \"$rate $(stat -c %s \"$out\")\" >> \"$tries\"");
    ExpectTheFirstTryIsTheOutput(fit);
    ASSERT_GE(fit.tries.size(), 2);
    for (const QString& later : fit.tries.mid(1))
        EXPECT_GT(later.split(' ').value(1).toLongLong(), 200000);
    ASSERT_TRUE(fit.record);
    EXPECT_EQ(fit.record->sizeTries, fit.tries.size());
}
