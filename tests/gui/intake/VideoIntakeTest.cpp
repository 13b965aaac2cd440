// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "core/app/TextUtil.h"
#include "core/app/UserAccount.h"
#include "core/intake/DeepPath.h"
#include "core/intake/MediaScan.h"
#include "core/video/VideoEngine.h"
#include "gui/app/MainWnd.h"
#include "gui/intake/OpenPaths.h"
#include "gui/platform/Shell.h"
#include "gui/skinlib/Controls.h"
#include "gui/skinlib/SkinList.h"
#include "support/FakeShell.h"
#include "support/GuiTestEnv.h"

namespace {

constexpr char kDamaged[] = "文件可能已经损坏!";

TEST(VideoScanTest, KnownExtensionsAreVideosInAnyCase)
{
    for (const char* yes :
         {"mp4", "MP4", "Mp4", "mP4", "rmvb", "RMVB", "m3u8", "M3U8", "3g2", "mxf", "ts", "Ts"})
        EXPECT_TRUE(IsVideoExtension(yes)) << yes;
    for (const char* no : {"txt", "", "mp", "mp44", "jpg"})
        EXPECT_FALSE(IsVideoExtension(no)) << no;

    EXPECT_EQ(EntryExtension("a.b.mkv"), "mkv");
    EXPECT_EQ(EntryExtension("noextension"), "");
    EXPECT_EQ(EntryExtension("x." + QString(19, 'a')), QString(19, 'a'));
    EXPECT_EQ(EntryExtension("x." + QString(20, 'a')), "") << "too long to be an extension";
    EXPECT_TRUE(VideoDialogFilter().startsWith("视频文件(*.mp4 *.flv *.wmv"));
    EXPECT_TRUE(VideoDialogFilter().endsWith("*.divx *.mxf)"));
}

TEST(VideoScanTest, DurationsShowWholeHoursMinutesAndSeconds)
{
    EXPECT_EQ(FormatDuration(3725.9), "01:02:05");
    EXPECT_EQ(FormatDuration(0.0), "00:00:00");
    EXPECT_EQ(FormatDuration(59.999), "00:00:59");
    EXPECT_EQ(FormatDuration(360000.0), "100:00:00");
    EXPECT_EQ(FormatDuration(-1.0), "00:00:00");
}

TEST(VideoScanTest, TheFolderScanTakesNamesInOrderWithoutEnteringSubfolders)
{
    QTemporaryDir dir;
    for (const char* name : {"b.mp4", "A.MKV", "c.Mp4", "notes.txt", "d.webm"})
        testenv::WriteFile(dir.path() + "/" + name, "x");
    QDir(dir.path()).mkpath("sub.avi/inner.mp4");
    EXPECT_EQ(ScanFolderForVideos(dir.path()),
              (QStringList{"A.MKV", "b.mp4", "c.Mp4", "d.webm", "sub.avi"}));
    EXPECT_TRUE(ScanFolderForVideos(dir.path() + "/missing").isEmpty());

    const VideoTask atRoot = MakeVideoTask("/", "x.mp4");
    EXPECT_EQ(atRoot.filePath, "/x.mp4");
    EXPECT_EQ(atRoot.fileDir, "/");
    const VideoTask inFolder = MakeVideoTask("/videos", "x.mp4");
    EXPECT_EQ(inFolder.filePath, "/videos/x.mp4");
    EXPECT_EQ(inFolder.fileDir, "/videos");
}

class VideoIntakeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = new CMainWnd;
        window->Create();
        window->show();
        list = window->FindControl<SkinList>("videoList");
    }
    void TearDown() override { delete window.data(); }

    QString Label(int row, const char* name) const
    {
        return list->RowAt(row)->findChild<QLabel*>(name)->text();
    }
    QString Video(const QString& name, double seconds = 1.0, bool audio = true)
    {
        const QString path = media.path() + "/" + name;
        EXPECT_TRUE(testenv::MakeVideo(path, seconds, "64x48", audio)) << qPrintable(path);
        return path;
    }
    // Rows come as the background probes end.
    bool WaitForRows(int count)
    {
        return testenv::WaitUntil([&] { return list->Count() == count; }, 15000);
    }
    void ClickAddFiles() { window->FindControl<QAbstractButton>("add-video-file")->click(); }
    void ClickAddFolder() { window->FindControl<QAbstractButton>("add-video-dir")->click(); }

    QTemporaryDir media;
    testenv::FakeShell shell;
    QPointer<CMainWnd> window;
    SkinList* list = nullptr;
};

TEST_F(VideoIntakeTest, FilesFromTheDialogBecomeRowsInTheDialogsOrder)
{
    const QString first = Video("first clip.mp4", 2.0);
    shell.files = {first};
    ClickAddFiles();
    ASSERT_TRUE(WaitForRows(1));
    QWidget* row = list->RowAt(0);
    EXPECT_EQ(row->objectName(), "item-0");
    EXPECT_EQ(Label(0, "fileNameLabel"), "first clip.mp4");
    EXPECT_EQ(Label(0, "ratioLabel"), "64 x 48");
    EXPECT_EQ(Label(0, "framerateLabel"), "25.00");
    EXPECT_EQ(Label(0, "durationLabel"), "00:00:02");
    EXPECT_EQ(Label(0, "fileSizeLabel"), FormatSize(QFileInfo(first).size()));
    EXPECT_TRUE(row->findChild<QAbstractButton*>("videocheckBox")->isChecked());
    for (const char* name : {"videocheckBox", "compressBtn", "videoMenuBtn"})
        EXPECT_EQ(skin::GetTag(row->findChild<QWidget*>(name)), 0) << name;
    EXPECT_FALSE(window->FindControl("video-empty")->isVisible());

    const auto record = window->videoEngine().FindTask(0);
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->filePath, first);
    EXPECT_EQ(record->fileDir, media.path() + "/");
    EXPECT_EQ(record->fileSize, QFileInfo(first).size());

    // Five more, the dialog's order kept, ids rising by one; the same file may come again.
    QStringList five;
    for (const char* name : {"e.mp4", "b.mp4", "d.mp4", "a.mp4"}) five << Video(name);
    five << first;
    shell.files = five;
    ClickAddFiles();
    ASSERT_TRUE(WaitForRows(6));
    for (int i = 1; i <= 5; ++i) {
        EXPECT_EQ(list->RowAt(i)->objectName(), QStringLiteral("item-%1").arg(i));
        EXPECT_EQ(window->videoEngine().FindTask(i)->filePath, five[i - 1]);
    }
    EXPECT_TRUE(shell.lastFilter.startsWith("视频文件("));
}

TEST_F(VideoIntakeTest, TheDamagedFilesOfAChoiceAreNamedInOneNoticeAfterItsRows)
{
    const QString good = Video("good.mp4");
    const QString bad = media.path() + "/bad.mp4";
    const QString worse = media.path() + "/worse.avi";
    testenv::WriteFile(bad, QByteArray(4096, '\x42'));
    testenv::WriteFile(worse, "not a video");
    shell.files = {bad, good, worse, bad};
    testenv::AutoAnswer prompts("PromptBoxDialog", "msgConfirm",
                                [this] { return QString::number(list->Count()); });
    ClickAddFiles();
    ASSERT_TRUE(testenv::WaitUntil([&] { return !prompts.texts().isEmpty(); }, 15000));
    testenv::WaitUntil([] { return false; }, 300);
    EXPECT_EQ(prompts.texts(), QStringList{QString(kDamaged) + "\nbad.mp4\nworse.avi"})
        << "one notice naming each damaged file once";
    EXPECT_EQ(prompts.notes(), QStringList{"1"}) << "after the good file's row";
    ASSERT_EQ(list->Count(), 1);
    EXPECT_EQ(list->RowAt(0)->objectName(), "item-0") << "a refused file takes no id";
}

TEST_F(VideoIntakeTest, SpecialFilesAreNamedInTheDamagedFilesNoticeInTheWindowsLanguage)
{
    const QString good = Video("good.mp4");
    const QString bad = media.path() + "/bad.mp4";
    testenv::WriteFile(bad, "not a video");
    const QString pipe = media.path() + "/pipe.mp4";
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    shell.files = {good, pipe, bad};
    testenv::AutoAnswer prompts("PromptBoxDialog", "msgConfirm", [] {
        // A notice that comes by itself takes the keyboard, so Enter answers it.
        const auto focus = [] {
            QWidget* widget = QApplication::focusWidget();
            return widget ? widget->objectName() : QString();
        };
        testenv::WaitUntil([&] { return focus() == "msgConfirm"; }, 1000);
        return focus();
    });
    ClickAddFiles();
    ASSERT_TRUE(testenv::WaitUntil([&] { return !prompts.texts().isEmpty(); }, 15000));
    testenv::WaitUntil([] { return false; }, 300);
    EXPECT_EQ(
        prompts.texts(),
        QStringList{QString(kDamaged) +
                    "\nbad.mp4\n\n以下文件没有添加:\npipe.mp4: 这是命名管道(FIFO),不是普通文件"})
        << "one notice for the whole choice";
    EXPECT_EQ(prompts.notes(), QStringList{"msgConfirm"});
    EXPECT_EQ(list->Count(), 1);

    // Only special files: nothing to read, so the notice comes at once.
    shell.files = {pipe};
    ClickAddFiles();
    ASSERT_TRUE(testenv::WaitUntil([&] { return prompts.texts().size() == 2; }));
    EXPECT_TRUE(prompts.texts().back().startsWith("以下文件没有添加:\npipe.mp4"));
}

TEST_F(VideoIntakeTest, AnOggTheoraRowShowsItsFrameRate)
{
    const QString path = media.path() + "/clip.ogv";
    ASSERT_TRUE(testenv::MakeVideo(path, 1.0, "64x48", false, {"-c:v", "libtheora"}));
    shell.files = {path};
    ClickAddFiles();
    ASSERT_TRUE(WaitForRows(1));
    EXPECT_EQ(Label(0, "framerateLabel"), "25.00");
}

TEST_F(VideoIntakeTest, AFolderGivesItsVideosInNameOrderAndOneNotice)
{
    QDir(media.path()).mkpath("folder/old.mkv");
    const QString folder = media.path() + "/folder";
    ASSERT_TRUE(testenv::MakeVideo(folder + "/clip.MP4"));
    ASSERT_TRUE(testenv::MakeVideo(folder + "/film.Mp4"));
    ASSERT_TRUE(testenv::MakeVideo(folder + "/zebra.mp4"));
    testenv::WriteFile(folder + "/notes.txt", "not a video");

    // A file first, then the folder: one row per file, nothing repeated.
    shell.files = {Video("single.mp4")};
    ClickAddFiles();
    ASSERT_TRUE(WaitForRows(1));

    shell.folder = folder;
    testenv::AutoAnswer prompts("PromptBoxDialog", "msgConfirm",
                                [this] { return QString::number(list->Count()); });
    ClickAddFolder();
    EXPECT_EQ(shell.lastTitle, "选择视频存放目录");
    ASSERT_TRUE(testenv::WaitUntil([&] { return !prompts.texts().isEmpty(); }, 15000));
    EXPECT_EQ(prompts.texts(), QStringList{QString(kDamaged) + "\nold.mkv"}) << "the subfolder";
    EXPECT_EQ(prompts.notes(), QStringList{"4"});
    ASSERT_EQ(list->Count(), 4);
    EXPECT_EQ(Label(1, "fileNameLabel"), "clip.MP4");
    EXPECT_EQ(Label(2, "fileNameLabel"), "film.Mp4");
    EXPECT_EQ(Label(3, "fileNameLabel"), "zebra.mp4");
    EXPECT_EQ(window->videoEngine().FindTask(1)->fileDir, folder);
    EXPECT_EQ(window->videoEngine().FindTask(1)->filePath, folder + "/clip.MP4");
    EXPECT_EQ(window->videoEngine().TaskIds(), (std::vector<int>{0, 1, 2, 3}));
}

TEST_F(VideoIntakeTest, CancelledChoosersAddNothing)
{
    ClickAddFiles();
    ClickAddFolder();
    EXPECT_EQ(list->Count(), 0);
    EXPECT_TRUE(window->FindControl("video-empty")->isVisible());
}

TEST_F(VideoIntakeTest, NamesThatAShellWouldMangleShowAndProbeIntact)
{
    const QString name = QStringLiteral("a 'quoted' \"clip\" $HOME 视频 😀\nline.mp4");
    shell.files = {Video(name)};
    ClickAddFiles();
    ASSERT_TRUE(WaitForRows(1));
    EXPECT_EQ(Label(0, "fileNameLabel"), name);
    EXPECT_EQ(Label(0, "ratioLabel"), "64 x 48");
    EXPECT_EQ(Label(0, "durationLabel"), "00:00:01");
}

}  // namespace

namespace {

// Drops local files on the window as a file manager would.
void Drop(QWidget* window, const QStringList& paths)
{
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    const QPointF at(window->width() / 2.0, window->height() / 2.0);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &drop);
    ASSERT_TRUE(drop.isAccepted());
}

TEST_F(VideoIntakeTest, DroppedFilesGoToTheirListsAndAFolderToThePageOnShow)
{
    const QString clip = Video("dropped.MP4");
    // Taken by what it holds: a JPEG, whatever the case or spelling of its name.
    const QString photo = media.path() + "/Photo.Jpeg";
    ASSERT_TRUE(testenv::Convert({"rose:", "JPEG:" + photo}));
    testenv::WriteFile(media.path() + "/notes.txt", "not a video or an image");
    QDir(media.path()).mkpath("more");
    ASSERT_TRUE(testenv::MakeVideo(media.path() + "/more/inner.mp4"));

    {
        // The text file is named in a notice, with the reason.
        testenv::AutoAnswer notice("PromptBoxDialog", "msgConfirm");
        Drop(window.data(), {clip, photo, media.path() + "/notes.txt"});
        ASSERT_TRUE(testenv::WaitUntil([this] { return list->Count() == 1; }));
        ASSERT_TRUE(testenv::WaitUntil([&] { return !notice.texts().isEmpty(); }));
        ASSERT_EQ(notice.texts().size(), 1);
        EXPECT_TRUE(notice.texts()[0].contains("notes.txt")) << notice.texts()[0].toStdString();
        EXPECT_TRUE(notice.texts()[0].contains("text/plain")) << notice.texts()[0].toStdString();
    }
    auto* images = window->FindControl<SkinList>("image-list");
    EXPECT_EQ(images->Count(), 1);
    EXPECT_EQ(Label(0, "fileNameLabel"), "dropped.MP4");

    // Only an image, dropped on the video page: the image page comes forward.
    Drop(window.data(), {photo});
    ASSERT_TRUE(testenv::WaitUntil([&] { return images->Count() == 2; }));
    EXPECT_EQ(window->FindControl<QStackedWidget>("main-tab")->currentIndex(), 1);

    // A folder gives what the page on show lists: here, images (there are none in it).
    Drop(window.data(), {media.path() + "/more"});
    testenv::WaitUntil([] { return false; }, 200);
    EXPECT_EQ(list->Count(), 1);
    window->FindControl<QAbstractButton>("compress-video")->click();
    Drop(window.data(), {media.path() + "/more"});
    ASSERT_TRUE(testenv::WaitUntil([this] { return list->Count() == 2; }, 15000));
    EXPECT_EQ(Label(1, "fileNameLabel"), "inner.mp4");
}

// The ffprobe processes whose parent is this test (zombies included).
int ProberChildren()
{
    int count = 0;
    const QByteArray self = QByteArray::number(::getpid());
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QByteArray stat = testenv::ReadFile("/proc/" + pid + "/stat");
        const qsizetype close = stat.lastIndexOf(')');
        if (close < 0 || !stat.mid(stat.indexOf('(') + 1).startsWith("ffprobe")) continue;
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        if (fields.size() > 1 && fields[1] == self) ++count;
    }
    return count;
}

TEST_F(VideoIntakeTest, TheWindowStaysLiveWhileAFolderIsReadAndRowsKeepTheFilesOrder)
{
    constexpr int kVideos = 30;
    const QString folder = media.path() + "/many";
    QDir(media.path()).mkpath("many");
    QStringList names;
    for (int i = 0; i < kVideos; ++i) {
        // Longer clips first, so that later files tend to be read before earlier ones.
        names << QStringLiteral("clip%1.mp4").arg(i, 2, 10, QChar('0'));
        ASSERT_TRUE(testenv::MakeVideo(folder + "/" + names.last(), i < 4 ? 1.5 : 0.2));
    }
    testenv::WriteFile(folder + "/clip07b.mp4", QByteArray(3000, '\x13'));  // damaged

    auto* reading = window->FindControl<QLabel>("video-reading");
    ASSERT_NE(reading, nullptr);
    EXPECT_FALSE(reading->isVisible());

    // The event loop must keep turning: a timer counts its ticks and measures the longest wait
    // between two of them.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, sinceTick.restart());
        ++ticks;
    });
    testenv::AutoAnswer prompts("PromptBoxDialog", "msgConfirm");
    shell.folder = folder;
    QElapsedTimer total;
    total.start();
    sinceTick.start();
    ticker.start(10);
    ClickAddFolder();
    longestGap = std::max(longestGap, sinceTick.elapsed());
    EXPECT_TRUE(reading->isVisible());
    EXPECT_EQ(reading->text(), QStringLiteral("正在读取 %1 个文件…").arg(kVideos + 1));

    ASSERT_TRUE(testenv::WaitUntil([&] { return !prompts.texts().isEmpty(); }, 30000));
    const qint64 totalMs = total.elapsed();
    ticker.stop();
    std::printf(
        "adding %d videos took %lld ms; %d ticks of 10 ms; longest event-loop gap %lld ms\n",
        kVideos + 1, static_cast<long long>(totalMs), ticks, static_cast<long long>(longestGap));
    EXPECT_LT(longestGap, 200);
    // A loop blocked by the reading would tick once or twice in all that time.
    EXPECT_GE(ticks, totalMs / 10 / 4);

    EXPECT_EQ(prompts.texts(), QStringList{QString(kDamaged) + "\nclip07b.mp4"});
    ASSERT_EQ(list->Count(), kVideos);
    for (int i = 0; i < kVideos; ++i) EXPECT_EQ(Label(i, "fileNameLabel"), names[i]) << i;
    EXPECT_FALSE(reading->isVisible());
}

TEST_F(VideoIntakeTest, StartingAllWhileFilesAreReadTakesThemInOnceTheyAreRows)
{
    ASSERT_TRUE(UserAccount::Instance().SignInWithMobile("13800138000"));
    testenv::AutoAnswer prompts("PromptBoxDialog", "msgConfirm");
    window->videoEngine().SetPaused(true);
    shell.files = {Video("one.mp4"), Video("two.mp4"), Video("three.mp4")};
    ClickAddFiles();
    ASSERT_EQ(list->Count(), 0) << "the rows come from the background";
    window->FindControl<QAbstractButton>("all-compress")->click();

    ASSERT_TRUE(WaitForRows(3));
    ASSERT_TRUE(testenv::WaitUntil([&] { return window->videoEngine().IdleTasks().size() == 3; }))
        << "each row read after the click waits in the batch";
    EXPECT_EQ(prompts.texts(), QStringList{}) << "no word of an empty list";
}

TEST_F(VideoIntakeTest, ClosingTheWindowWhileFilesAreReadKillsTheProbers)
{
    // A prober that never answers: an "ffprobe" first on PATH that only waits (named pipes no
    // longer reach the prober; a folder scan leaves them out).
    const QString tools = media.path() + "/slow-tools";
    ASSERT_TRUE(testenv::WriteFile(tools + "/ffprobe", "#!/bin/sh\nwhile :; do sleep 0.1; done\n"));
    QFile::setPermissions(tools + "/ffprobe", QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(tools) + ":" + path);
    const QString folder = media.path() + "/waiting";
    QDir(media.path()).mkpath("waiting");
    for (const char* name : {"a.mp4", "b.mp4", "c.mp4"})
        ASSERT_TRUE(testenv::WriteFile(folder + "/" + name, "x"));
    shell.folder = folder;
    ClickAddFolder();
    const bool started = testenv::WaitUntil([] { return ProberChildren() > 0; }, 5000);
    qputenv("PATH", path);
    ASSERT_TRUE(started);
    EXPECT_TRUE(window->FindControl<QLabel>("video-reading")->isVisible());

    QElapsedTimer timer;
    timer.start();
    delete window.data();
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(ProberChildren(), 0) << "killed and reaped";
    testenv::WaitUntil([] { return false; }, 200);  // nothing arrives for the gone window
}

TEST(OpenPathsTest, ArgumentsBecomeAbsolutePathsAndOptionsAreSkipped)
{
    const QString here = QDir::currentPath();
    EXPECT_EQ(PathsFromArguments({"-x", "--flag=1", "a b.mp4", "/abs/c.png", "",
                                  "file:///tmp/%E8%A7%86.mp4", "d.gif"}),
              (QStringList{here + "/a b.mp4", "/abs/c.png", QString::fromUtf8("/tmp/视.mp4"),
                           here + "/d.gif"}));
}

TEST_F(VideoIntakeTest, OpenedPathsGoToTheirListsAndThePageOfTheFirstKindShows)
{
    QDir(media.path()).mkpath("photos");
    ASSERT_TRUE(testenv::Convert({"-size", "8x8", "xc:blue", media.path() + "/photos/b.png"}));
    ASSERT_TRUE(testenv::MakeVideo(media.path() + "/photos/inside.mp4", 0.2));
    const QString clip = Video("clip.mp4", 0.2);
    auto* images = window->FindControl<SkinList>("image-list");
    auto* tab = window->FindControl<QStackedWidget>("main-tab");

    // A folder first that holds images and a video: it counts as video; both lists fill.
    window->OpenPaths({media.path() + "/photos", media.path() + "/missing.mp4", clip});
    EXPECT_EQ(tab->currentIndex(), 0);
    ASSERT_TRUE(WaitForRows(2));
    EXPECT_EQ(Label(0, "fileNameLabel"), "inside.mp4");
    EXPECT_EQ(Label(1, "fileNameLabel"), "clip.mp4");
    EXPECT_EQ(images->Count(), 1);

    // An image first: the image page comes forward.
    window->OpenPaths({media.path() + "/photos/b.png", clip});
    EXPECT_EQ(tab->currentIndex(), 1);
    ASSERT_TRUE(WaitForRows(3));
    EXPECT_EQ(images->Count(), 2);
}

// Paths named from outside the window that are there but cannot be opened by name are named
// with the reason in a notice instead of being dropped: a real file past PATH_MAX, and a link to
// "/" with a video's name in a folder (never followed, never probed).
TEST_F(VideoIntakeTest, OpenedPathsThatCannotBeOpenedAreNamedInANotice)
{
    const testenv::DeepPath deep(media.path(), "deep.mp4");
    ASSERT_TRUE(deep.Made());
    ASSERT_EQ(::symlink("/", QFile::encodeName(media.path() + "/root.mp4").constData()), 0);
    testenv::AutoAnswer prompts("PromptBoxDialog", "msgConfirm");

    window->OpenPaths({deep.File()});
    ASSERT_TRUE(testenv::WaitUntil([&] { return prompts.texts().size() == 1; }));
    EXPECT_EQ(prompts.texts()[0],
              QString("以下文件没有添加:\n%1: 路径太长(%2 字节,系统最多接受 4095 字节)")
                  .arg(deep.File())
                  .arg(QFile::encodeName(deep.File()).size()));

    window->OpenPaths({media.path()});
    ASSERT_TRUE(testenv::WaitUntil([&] { return prompts.texts().size() == 2; }));
    EXPECT_EQ(prompts.texts()[1], "以下文件没有添加:\nroot.mp4: 这是指向文件夹的链接,不是文件");
    EXPECT_EQ(list->Count(), 0);
}

// The program started with a file named by bytes that are not UTF-8 (Latin-1 "été.mp4"): the
// notice names it by those bytes. The start is real: this test runs itself again with the raw
// bytes on its command line, and the second run opens its own arguments.
TEST_F(VideoIntakeTest, AStartArgumentThatIsNotUtf8IsNamedByItsBytes)
{
    if (qEnvironmentVariableIsSet("LUMO_TEST_OPENED_BY_BYTES")) {
        testenv::AutoAnswer prompts("PromptBoxDialog", "msgConfirm");
        window->OpenPaths(PathsFromArguments(QCoreApplication::arguments().mid(1)));
        ASSERT_TRUE(testenv::WaitUntil([&] { return prompts.texts().size() == 1; }));
        EXPECT_EQ(prompts.texts()[0],
                  "以下文件没有添加:\n" + qEnvironmentVariable("LUMO_TEST_OPENED_BY_BYTES") +
                      "/\\xe9t\\xe9.mp4: 文件名不是有效的 UTF-8 编码,请重命名后再压缩");
        EXPECT_EQ(list->Count(), 0);
        return;
    }
    const QByteArray latin1 = QFile::encodeName(media.path()) + "/\xe9t\xe9.mp4";
    ASSERT_TRUE(testenv::MakeVideo(media.path() + "/clip.mp4", 0.2));
    ASSERT_EQ(
        ::rename(QFile::encodeName(media.path() + "/clip.mp4").constData(), latin1.constData()), 0);
    QProcess self;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LUMO_TEST_OPENED_BY_BYTES", media.path());
    self.setProcessEnvironment(environment);
    self.start("sh",
               {"-c", R"sh(exec "$0" --gtest_filter="$1" "$2/$(printf '\351t\351.mp4')")sh",
                QCoreApplication::applicationFilePath(),
                "VideoIntakeTest.AStartArgumentThatIsNotUtf8IsNamedByItsBytes", media.path()});
    ASSERT_TRUE(self.waitForFinished(60000));
    const QByteArray output = self.readAll();
    EXPECT_EQ(self.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
    ::unlink(latin1.constData());
}

}  // namespace
