#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "app/Paths.h"
#include "app/Settings.h"
#include "intake/MediaProbe.h"
#include "platform/ChildProcess.h"
#include "support/TestEnv.h"
#include "video/TestPrinters.h"
#include "video/VideoEngine.h"

namespace {

// Makes a one-second 64x64 clip (with a tone unless silent) with the real ffmpeg.
void MakeClip(const QString& path, const QStringList& codecs, bool audio = true,
              int seconds = 1)
{
    QStringList args = {"-v", "error", "-y", "-f", "lavfi", "-i",
                        QString("testsrc=size=64x64:rate=25:duration=%1").arg(seconds)};
    if (audio) args << "-f" << "lavfi" << "-i" << QString("sine=duration=%1").arg(seconds);
    args << codecs << path;
    const auto result = platform::RunCapture(FindTool("ffmpeg"), args, 30000, 1 << 20);
    ASSERT_TRUE(result.Succeeded()) << result.output.toStdString();
}

const QStringList kH264Aac = {"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac"};

bool ProcessGone(qint64 pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// Stands in for the main window: records what the engine reports and releases each finished
// task from the event loop of the test's thread, as the window's message handlers do.
class RecordingSink : public VideoEngineSink {
public:
    explicit RecordingSink(VideoEngine& engine) : engine_(engine) {}

    void TaskStarted(int taskId) override { Note("start", taskId); }
    void EncoderStarted(int taskId, qint64 processId, const QString&, const QStringList&) override
    {
        std::lock_guard guard(mutex_);
        processIds_[taskId] = processId;
    }
    void TaskProgress(int taskId, int percent) override
    {
        std::lock_guard guard(mutex_);
        percents_.push_back(percent);
    }
    void TaskDone(const VideoDoneRecord& record) override
    {
        {
            std::lock_guard guard(mutex_);
            done_[record.taskId] = record;
        }
        Note("done", record.taskId);
        PostRelease(record.taskId);
    }
    void TaskFailed(const VideoFailRecord& record) override
    {
        {
            std::lock_guard guard(mutex_);
            failed_[record.taskId] = record;
        }
        Note("fail", record.taskId);
        PostRelease(record.taskId);
    }

    void Release(int taskId)
    {
        Note("release", taskId);
        engine_.Release(taskId);
    }

    std::atomic<bool> autoRelease{true};

    std::vector<std::string> Log() const
    {
        std::lock_guard guard(mutex_);
        return log_;
    }
    size_t Finished() const
    {
        std::lock_guard guard(mutex_);
        return done_.size() + failed_.size();
    }
    std::optional<VideoDoneRecord> Done(int taskId) const
    {
        std::lock_guard guard(mutex_);
        const auto it = done_.find(taskId);
        return it == done_.end() ? std::nullopt : std::optional(it->second);
    }
    std::optional<VideoFailRecord> Failed(int taskId) const
    {
        std::lock_guard guard(mutex_);
        const auto it = failed_.find(taskId);
        return it == failed_.end() ? std::nullopt : std::optional(it->second);
    }
    std::vector<int> Percents() const
    {
        std::lock_guard guard(mutex_);
        return percents_;
    }
    std::map<int, qint64> ProcessIds() const
    {
        std::lock_guard guard(mutex_);
        return processIds_;
    }

private:
    void Note(const char* what, int taskId)
    {
        std::lock_guard guard(mutex_);
        log_.push_back(std::string(what) + " " + std::to_string(taskId));
    }
    void PostRelease(int taskId)
    {
        if (!autoRelease) return;
        // Tied to context_, so nothing runs once the sink is gone.
        QMetaObject::invokeMethod(&context_, [this, taskId] { Release(taskId); },
                                  Qt::QueuedConnection);
    }

    VideoEngine& engine_;
    QObject context_;
    mutable std::mutex mutex_;
    std::vector<std::string> log_;
    std::map<int, VideoDoneRecord> done_;
    std::map<int, VideoFailRecord> failed_;
    std::vector<int> percents_;
    std::map<int, qint64> processIds_;
};

class VideoEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(sources));
        ASSERT_TRUE(WriteSetting(settings::kOutputDir, outputs));
    }
    void TearDown() override { engine.Stop(); }

    // A row as intake makes it: the probed facts of the file under its own name.
    int Add(const QString& path, const VideoInfo* facts = nullptr)
    {
        VideoTask task;
        if (facts) {
            static_cast<VideoInfo&>(task) = *facts;
        } else {
            EXPECT_TRUE(ProbeVideo(path, task)) << path.toStdString();
        }
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
    bool WaitIdle(int timeoutMs = 5000)
    {
        return testenv::WaitUntil([&] { return !engine.HasBusyTasks(); }, timeoutMs);
    }
    QStringList OutputFiles() const { return QDir(outputs).entryList(QDir::Files); }

    // Valid media: the prober finds a picture and a size.
    static VideoInfo Probe(const QString& path)
    {
        VideoInfo info;
        EXPECT_TRUE(ProbeVideo(path, info)) << path.toStdString();
        return info;
    }

    QString sources = testenv::Home() + "/sources";
    QString outputs = testenv::Home() + "/outputs";
    VideoEngine engine;
    RecordingSink sink{engine};
    int nextId = 1;
};

TEST_F(VideoEngineTest, QueueKeepsArrivalOrderWithoutDuplicates)
{
    EXPECT_TRUE(engine.Enqueue(4));
    EXPECT_FALSE(engine.Enqueue(4));
    engine.EnqueueAll({2, 4, 9, 2});
    EXPECT_EQ(engine.IdleTasks(), (std::vector<int>{4, 2, 9}));
    EXPECT_EQ(engine.TakeNext(), 4);
    EXPECT_TRUE(engine.IsQueued(4));
    EXPECT_EQ(engine.BusyTasks(), std::vector<int>{4});
    engine.Release(4);
    EXPECT_FALSE(engine.IsQueued(4));
    EXPECT_EQ(engine.IdleTasks(), (std::vector<int>{2, 9}));

    CompressParams params;
    params.unique_id = 2;
    params.videoType = 3;
    engine.SetParams(params);
    params.videoType = 4;
    engine.SetParams(params);
    ASSERT_EQ(engine.ParamList().size(), 1u);
    EXPECT_EQ(engine.FindParams(2)->videoType, 4);
    engine.RemoveParams(2);
    EXPECT_FALSE(engine.FindParams(2));
}

TEST_F(VideoEngineTest, TasksRunInOrderOneAtATimeAfterEachRelease)
{
    MakeClip(Source("a.mp4"), kH264Aac);
    QFile::copy(Source("a.mp4"), Source("b.mp4"));
    QFile::copy(Source("a.mp4"), Source("c.mp4"));
    const int a = Add(Source("a.mp4"));
    const int b = Add(Source("b.mp4"));
    const int c = Add(Source("c.mp4"));

    sink.autoRelease = false;
    ASSERT_TRUE(engine.Start(sink));
    engine.EnqueueAll({a, b, c});
    ASSERT_TRUE(WaitFinished(1));
    // Until the first is released the second does not start.
    testenv::WaitUntil([] { return false; }, 300);
    EXPECT_EQ(engine.BusyTasks(), std::vector<int>{a});
    EXPECT_EQ(engine.IdleTasks(), (std::vector<int>{b, c}));
    sink.autoRelease = true;
    sink.Release(a);
    ASSERT_TRUE(WaitFinished(3));
    ASSERT_TRUE(WaitIdle());

    const std::vector<std::string> expected = {"start 1", "done 1", "release 1",
                                               "start 2", "done 2", "release 2",
                                               "start 3", "done 3", "release 3"};
    EXPECT_EQ(sink.Log(), expected);
    for (int id : {a, b, c}) {
        const auto record = sink.Done(id);
        ASSERT_TRUE(record);
        EXPECT_EQ(engine.OutputPath(id), record->outputPath);
        EXPECT_EQ(record->outputSize, QFileInfo(record->outputPath).size());
        EXPECT_EQ(record->sourceSize, engine.FindTask(id)->fileSize);
        EXPECT_GT(record->durationMs, 900);
        EXPECT_EQ(Probe(record->outputPath).width, 64);
    }
    EXPECT_EQ(OutputFiles(), (QStringList{"a.mp4", "b.mp4", "c.mp4"}));
    for (int percent : sink.Percents()) {
        EXPECT_GE(percent, 0);
        EXPECT_LE(percent, 100);
    }
    const std::vector<qint64> processes = engine.FfmpegProcesses();
    ASSERT_EQ(processes.size(), 3u);
    for (qint64 pid : processes) EXPECT_TRUE(ProcessGone(pid));
}

TEST_F(VideoEngineTest, CompressingAgainWritesANewNameAndNeverOverwrites)
{
    MakeClip(Source("clip.mp4"), kH264Aac);
    const int id = Add(Source("clip.mp4"));
    ASSERT_TRUE(engine.Start(sink));

    engine.Enqueue(id);
    ASSERT_TRUE(WaitFinished(1));
    ASSERT_TRUE(WaitIdle());
    const QString first = outputs + "/clip.mp4";
    ASSERT_EQ(sink.Done(id)->outputPath, first);
    const QByteArray firstContent = testenv::ReadFile(first);

    // Someone else's file holds the name that would come third.
    ASSERT_TRUE(testenv::WriteFile(outputs + "/clip(3).mp4", "not ours"));
    engine.Enqueue(id);
    ASSERT_TRUE(testenv::WaitUntil([&] { return sink.Log().size() >= 6; }, 30000));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(sink.Done(id)->outputPath, outputs + "/clip(2).mp4");
    engine.Enqueue(id);
    ASSERT_TRUE(testenv::WaitUntil([&] { return sink.Log().size() >= 9; }, 30000));
    EXPECT_EQ(sink.Done(id)->outputPath, outputs + "/clip(4).mp4");
    EXPECT_EQ(engine.OutputPath(id), outputs + "/clip(4).mp4");

    EXPECT_EQ(testenv::ReadFile(first), firstContent);
    EXPECT_EQ(testenv::ReadFile(outputs + "/clip(3).mp4"), "not ours");
    Probe(outputs + "/clip(2).mp4");
}

TEST_F(VideoEngineTest, AviBecomesMp4)
{
    MakeClip(Source("movie.avi"), {"-c:v", "mpeg4", "-c:a", "libmp3lame"});
    const int id = Add(Source("movie.avi"));
    ASSERT_TRUE(engine.Start(sink));
    engine.Enqueue(id);
    ASSERT_TRUE(WaitFinished(1));
    ASSERT_TRUE(sink.Done(id)) << sink.Failed(id)->reason.toStdString();
    EXPECT_EQ(sink.Done(id)->outputPath, outputs + "/movie.mp4");
    const VideoInfo info = Probe(outputs + "/movie.mp4");
    EXPECT_EQ(info.videoCodec, "h264");
    EXPECT_EQ(info.audioCodec, "aac");
}

struct KeptCase {
    const char* name;
    QStringList codecs;
    bool audio;
    const char* audioCodec;
};

void PrintTo(const KeptCase& c, std::ostream* out) { *out << c.name; }

class KeptContainerTest : public VideoEngineTest, public ::testing::WithParamInterface<KeptCase> {};

TEST_P(KeptContainerTest, CompressesInTheSourceContainer)
{
    const KeptCase& c = GetParam();
    MakeClip(Source(c.name), c.codecs, c.audio);
    const int id = Add(Source(c.name));
    ASSERT_TRUE(engine.Start(sink));
    engine.Enqueue(id);
    ASSERT_TRUE(WaitFinished(1));
    ASSERT_TRUE(sink.Done(id)) << sink.Failed(id)->reason.toStdString();
    EXPECT_EQ(sink.Done(id)->outputPath, outputs + "/" + c.name);
    const VideoInfo info = Probe(outputs + "/" + c.name);
    EXPECT_EQ(info.hasAudio, c.audio ? 1 : 0);
    EXPECT_EQ(info.audioCodec, c.audioCodec);
}

INSTANTIATE_TEST_SUITE_P(
    Containers, KeptContainerTest,
    ::testing::Values(
        KeptCase{"silent.mp4", {"-c:v", "libx264", "-preset", "ultrafast"}, false, ""},
        KeptCase{"vorbis.webm", {"-c:v", "libvpx", "-c:a", "libvorbis"}, true, "vorbis"},
        KeptCase{"opus.webm", {"-c:v", "libvpx-vp9", "-c:a", "libopus"}, true, "opus"},
        KeptCase{"clip.ts", {"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac"}, true,
                 "aac"}),
    [](const auto& info) { return QFileInfo(info.param.name).baseName().toStdString(); });

TEST_F(VideoEngineTest, DamagedSourceFailsAndTheNextTaskStillRuns)
{
    MakeClip(Source("good.mp4"), kH264Aac);
    const VideoInfo facts = Probe(Source("good.mp4"));
    QByteArray garbage(64 * 1024, '\0');
    for (int i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 7919 % 251);
    ASSERT_TRUE(testenv::WriteFile(Source("damaged.mp4"), garbage));
    const int damaged = Add(Source("damaged.mp4"), &facts);
    const int good = Add(Source("good.mp4"));

    ASSERT_TRUE(engine.Start(sink));
    engine.EnqueueAll({damaged, good});
    ASSERT_TRUE(WaitFinished(2));
    const auto failure = sink.Failed(damaged);
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->exitCode, 0);
    EXPECT_FALSE(failure->reason.isEmpty());
    EXPECT_TRUE(sink.Done(good));
    // The failed task left nothing behind.
    EXPECT_EQ(OutputFiles(), QStringList{"good.mp4"});
}

TEST_F(VideoEngineTest, MissingEncoderFailsEachTaskAndTheQueueGoesOn)
{
    MakeClip(Source("a.mp4"), kH264Aac);
    const int a = Add(Source("a.mp4"));
    const int b = Add(Source("a.mp4"));
    engine.SetEncoder(testenv::Home() + "/no-such-ffmpeg");
    ASSERT_TRUE(engine.Start(sink));
    engine.EnqueueAll({a, b});
    ASSERT_TRUE(WaitFinished(2));
    EXPECT_TRUE(sink.Failed(a)->reason.startsWith("cannot start"));
    EXPECT_TRUE(sink.Failed(b));
    EXPECT_TRUE(OutputFiles().isEmpty());
}

// Encoders that misbehave in ways the real one cannot be made to on demand.
struct ScriptCase {
    const char* name;
    const char* script;  // /bin/sh; "$out" is the output path
    bool done;
    const char* reasonPart;
};

void PrintTo(const ScriptCase& c, std::ostream* out) { *out << c.name; }

class EncoderOutcomeTest : public VideoEngineTest,
                           public ::testing::WithParamInterface<ScriptCase> {};

TEST_P(EncoderOutcomeTest, DoneNeedsTheMarkerAStatusOfZeroAndAnOutput)
{
    const QString script = testenv::Home() + "/fake-ffmpeg";
    ASSERT_TRUE(testenv::WriteFile(
        script, QByteArray("#!/bin/sh\nfor out; do :; done\n") + GetParam().script + "\n"));
    ::chmod(QFile::encodeName(script).constData(), 0755);
    MakeClip(Source("a.mp4"), kH264Aac);
    const int id = Add(Source("a.mp4"));
    engine.SetEncoder(script);
    ASSERT_TRUE(engine.Start(sink));
    engine.Enqueue(id);
    ASSERT_TRUE(WaitFinished(1));
    if (GetParam().done) {
        ASSERT_TRUE(sink.Done(id)) << sink.Failed(id)->reason.toStdString();
        EXPECT_EQ(sink.Done(id)->outputSize, 5);
    } else {
        ASSERT_TRUE(sink.Failed(id));
        EXPECT_TRUE(sink.Failed(id)->reason.contains(GetParam().reasonPart))
            << sink.Failed(id)->reason.toStdString();
        EXPECT_TRUE(OutputFiles().isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, EncoderOutcomeTest,
    ::testing::Values(
        ScriptCase{"Success", "echo data > \"$out\"; echo 'muxing overhead: 1.0%'", true, ""},
        ScriptCase{"MarkerThenErrorStatus",
                   "echo data > \"$out\"; echo 'muxing overhead: 1.0%'; echo 'Error closing'; "
                   "exit 1",
                   false, "status 1: Error closing"},
        ScriptCase{"NoMarker", "echo data > \"$out\"; echo 'Duration: 00:00:01.00,'", false,
                   "without finishing"},
        ScriptCase{"Crash", "echo data > \"$out\"; kill -SEGV $$", false, "crashed"},
        ScriptCase{"MarkerWithoutOutput", "echo 'muxing overhead: 1.0%'", false, "no output"},
        // Standard input is the null device, never a terminal or a pipe of ours.
        ScriptCase{"InputIsNull",
                   "[ \"$(readlink /proc/self/fd/0)\" = /dev/null ] || exit 3; "
                   "echo data > \"$out\"; echo 'muxing overhead: 1.0%'",
                   true, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Feeds the first part of a file into a named pipe and then holds the pipe open, so its reader
// waits for more.
class PipeFeeder {
public:
    PipeFeeder(const QString& fifo, QByteArray content) : fifo_(QFile::encodeName(fifo))
    {
        thread_ = std::thread([this, content = std::move(content)] {
            const int fd = ::open(fifo_.constData(), O_WRONLY);
            if (fd < 0) return;
            for (qsizetype sent = 0; sent < content.size();) {
                const ssize_t n = ::write(fd, content.constData() + sent, content.size() - sent);
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

TEST_F(VideoEngineTest, StopDuringAnEncodeLeavesNoProcessAndNoOutput)
{
    // The encoder reads from a pipe that is fed half a clip and then held open, so it is still
    // at work, blocked in a read (where SIGTERM alone does not end it), when Stop comes.
    ::signal(SIGPIPE, SIG_IGN);
    MakeClip(Source("full.ts"), kH264Aac, true, 30);
    const VideoInfo facts = Probe(Source("full.ts"));
    const QByteArray content = testenv::ReadFile(Source("full.ts"));
    const QString fifo = Source("stream.ts");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    PipeFeeder feeder(fifo, content.left(content.size() / 2));

    const int id = Add(fifo, &facts);
    engine.SetStopGrace(300);
    ASSERT_TRUE(engine.Start(sink));
    engine.Enqueue(id);
    ASSERT_TRUE(testenv::WaitUntil([&] { return !sink.Percents().empty(); }, 20000));
    const qint64 pid = sink.ProcessIds().at(id);
    EXPECT_FALSE(ProcessGone(pid));
    EXPECT_EQ(OutputFiles(), QStringList{"stream.ts"});

    const auto before = std::chrono::steady_clock::now();
    engine.Stop();
    const auto took = std::chrono::steady_clock::now() - before;

    EXPECT_TRUE(ProcessGone(pid));
    EXPECT_TRUE(OutputFiles().isEmpty()) << OutputFiles().join(", ").toStdString();
    EXPECT_LT(took, std::chrono::seconds(3));
    // The stopped task gets no report.
    EXPECT_EQ(sink.Finished(), 0u);
}

TEST_F(VideoEngineTest, OddSourceNamesCompressUnderTheirOwnNames)
{
    MakeClip(Source("base.mp4"), kH264Aac);
    MakeClip(Source("base.avi"), {"-c:v", "mpeg4", "-c:a", "libmp3lame"});
    const VideoInfo mp4 = Probe(Source("base.mp4"));
    const VideoInfo avi = Probe(Source("base.avi"));
    const std::vector<std::pair<QString, QString>> names = {
        {"a b  c.mp4", "a b  c.mp4"},
        {"quote\"s 'x'.mp4", "quote\"s 'x'.mp4"},
        {"$HOME `id`.mp4", "$HOME `id`.mp4"},
        {"100% %d.mp4", "100% %d.mp4"},
        {"a:b.mp4", "a:b.mp4"},
        {"clip[1].mp4", "clip[1].mp4"},
        {"-y.mp4", "-y.mp4"},
        {"-lead.avi", "-lead.mp4"},
        {"中文 视频.mp4", "中文 视频.mp4"},
        {"semi;colon & pipe|.mp4", "semi;colon & pipe|.mp4"},
        {"line\nbreak.mp4", "line\nbreak.mp4"},
    };
    std::vector<int> ids;
    for (const auto& [name, output] : names) {
        const bool isAvi = name.endsWith(".avi");
        ASSERT_TRUE(QFile::copy(Source(isAvi ? "base.avi" : "base.mp4"), Source(name)));
        ids.push_back(Add(Source(name), isAvi ? &avi : &mp4));
    }
    ASSERT_TRUE(engine.Start(sink));
    engine.EnqueueAll(ids);
    ASSERT_TRUE(WaitFinished(ids.size(), 60000));
    for (size_t i = 0; i < ids.size(); ++i) {
        SCOPED_TRACE(names[i].first.toStdString());
        const auto record = sink.Done(ids[i]);
        ASSERT_TRUE(record) << sink.Failed(ids[i])->reason.toStdString();
        EXPECT_EQ(record->outputPath, outputs + "/" + names[i].second);
        EXPECT_EQ(Probe(record->outputPath).width, 64);
    }
    EXPECT_EQ(OutputFiles().size(), names.size());
}

TEST_F(VideoEngineTest, RowParametersAndSettingsAreReadWhenATaskStarts)
{
    MakeClip(Source("a.mp4"), kH264Aac);
    const int first = Add(Source("a.mp4"));
    const int second = Add(Source("a.mp4"));
    const int ownParams = Add(Source("a.mp4"));
    CompressParams own;
    own.unique_id = ownParams;
    own.videoType = 4;
    own.width = 32;
    own.height = 32;
    own.channel = 1;
    own.sampleRate = 22050;
    own.bitrate = 32000;
    engine.SetParams(own);
    MainPageSnapshot page;
    page.compatibleChecked = true;
    engine.SetMainPage(page);
    WriteSetting(settings::kVideoType, 1);

    sink.autoRelease = false;
    ASSERT_TRUE(engine.Start(sink));
    engine.EnqueueAll({first, second, ownParams});
    ASSERT_TRUE(WaitFinished(1));
    // Changed while the first runs: the second reads the change, the first never saw it.
    WriteSetting(settings::kVideoType, 2);
    sink.autoRelease = true;
    sink.Release(first);
    ASSERT_TRUE(WaitFinished(3));

    ASSERT_TRUE(sink.Done(first));
    EXPECT_EQ(sink.Done(first)->outputPath, outputs + "/a.mp4");
    EXPECT_EQ(Probe(outputs + "/a.mp4").videoCodec, "mpeg4");  // compatible MP4
    ASSERT_TRUE(sink.Done(second));
    EXPECT_EQ(sink.Done(second)->outputPath, outputs + "/a.flv");
    ASSERT_TRUE(sink.Done(ownParams));
    EXPECT_EQ(sink.Done(ownParams)->outputPath, outputs + "/a.mkv");
    const VideoInfo sized = Probe(outputs + "/a.mkv");
    EXPECT_EQ(sized.width, 32);
    EXPECT_EQ(sized.height, 32);
    EXPECT_EQ(sized.audioChannels, 1);
    EXPECT_EQ(sized.audioSampleRate, 22050);
}

}  // namespace
