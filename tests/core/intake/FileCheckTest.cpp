// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <limits.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "core/intake/DeepPath.h"
#include "core/intake/FileCheck.h"
#include "core/intake/MediaScan.h"
#include "support/Printers.h"
#include "support/TestEnv.h"

namespace {

class FileCheckTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return dir.path() + "/" + name; }
    QByteArray Native(const QByteArray& name) const
    {
        return QFile::encodeName(dir.path()) + "/" + name;
    }

    QTemporaryDir dir{testenv::Home() + "/in-XXXXXX"};
};

// Only regular files are taken, a link counting as what it points to; the others are refused
// with a reason, and nothing is opened on the way (opening a named pipe would block).
TEST_F(FileCheckTest, OnlyRegularFilesAreTaken)
{
    ASSERT_TRUE(testenv::WriteFile(Path("real.png"), "bytes"));
    ASSERT_TRUE(QFile::link(Path("real.png"), Path("link.png")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(Path("x.png")).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkpath(Path("folder.mp4")));
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = QFile::encodeName(Path("s.mp4"));
    ASSERT_LT(socketPath.size(), static_cast<qsizetype>(sizeof address.sun_path));
    std::strcpy(address.sun_path, socketPath.constData());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    EXPECT_EQ(NotRegularFileReason(Path("real.png")), "");
    EXPECT_EQ(NotRegularFileReason(Path("link.png")), "");
    EXPECT_EQ(NotRegularFileReason(Path("x.png")), "a named pipe (FIFO), not a regular file");
    EXPECT_EQ(NotRegularFileReason("/dev/null"), "a device, not a regular file");
    EXPECT_EQ(NotRegularFileReason(Path("s.mp4")), "a socket, not a regular file");
    EXPECT_EQ(NotRegularFileReason(Path("folder.mp4")), "a folder, not a regular file");
    EXPECT_EQ(NotRegularFileReason(Path("gone.mp4")), "No such file or directory");
    // The engines leave a missing file to their readers.
    EXPECT_EQ(SpecialFileReason(Path("gone.mp4")), "");
    EXPECT_EQ(SpecialFileReason(Path("x.png")), "a named pipe (FIFO), not a regular file");

    // A folder scan leaves the special entries out and reports them instead; a folder with a
    // media name is scanned as before.
    EXPECT_EQ(ScanFolderForImages(dir.path()), (QStringList{"link.png", "real.png"}));
    EXPECT_EQ(ScanFolderForVideos(dir.path()), QStringList{"folder.mp4"});
    const std::vector<NotTaken> images = EntriesNotTaken(dir.path(), false);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].name, "x.png");
    const std::vector<NotTaken> videos = EntriesNotTaken(dir.path(), true);
    ASSERT_EQ(videos.size(), 1u);
    EXPECT_EQ(videos[0].name, "s.mp4");
    std::vector<NotTaken> both = images;
    both.insert(both.end(), videos.begin(), videos.end());
    EXPECT_EQ(NotTakenNotice(both),
              "These files were not added:\nx.png: a named pipe (FIFO), not a regular file\n"
              "s.mp4: a socket, not a regular file");
    ::close(sock);
}

// A name that is not valid UTF-8 cannot be used through the program's text names: it is listed
// by its bytes instead of being dropped (or becoming a name that points nowhere).
TEST_F(FileCheckTest, NamesThatAreNotUtf8AreReportedByName)
{
    const int fd = ::open(Native("\xff\xfe.png").constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ::close(::open(Native("caf\xe9.MP4").constData(), O_WRONLY | O_CREAT | O_EXCL, 0644));
    ::close(::open(Native("\xff.txt").constData(), O_WRONLY | O_CREAT | O_EXCL, 0644));
    ASSERT_TRUE(testenv::WriteFile(Path("fine é.png"), "bytes"));

    EXPECT_FALSE(NameRoundTrips("\xff\xfe.png"));
    EXPECT_TRUE(NameRoundTrips("fine \xc3\xa9.png"));
    EXPECT_EQ(ShownName("\xff\xfe.png"), "\\xff\\xfe.png");
    EXPECT_EQ(ShownName("caf\xe9 \xc3\xa9.mp4"), "caf\\xe9 é.mp4");

    EXPECT_EQ(UnnameableEntries(dir.path(), false), QStringList{"\\xff\\xfe.png"});
    EXPECT_EQ(UnnameableEntries(dir.path(), true), QStringList{"caf\\xe9.MP4"});
    ASSERT_EQ(EntriesNotTaken(dir.path(), false).size(), 1u);
    EXPECT_EQ(EntriesNotTaken(dir.path(), false)[0].reason,
              "its name is not valid UTF-8; rename the file to compress it");
    // The scan keeps the names it can use and leaves the others to the report.
    EXPECT_EQ(ScanFolderForImages(dir.path()), QStringList{"fine é.png"});
    EXPECT_EQ(ScanFolderForVideos(dir.path()), QStringList());
    // Qt cannot name them either, so its temporary folder could not remove them.
    for (const char* name : {"\xff\xfe.png", "caf\xe9.MP4", "\xff.txt"})
        ::unlink(Native(name).constData());
}

// A link to a folder that carries a media name is neither scanned (it may lead to "/") nor
// left out silently; a real folder with such a name is scanned as before.
TEST_F(FileCheckTest, LinksToFoldersAreNamedNotScanned)
{
    ASSERT_TRUE(QDir().mkpath(Path("real.mp4")));
    ASSERT_EQ(::symlink("/", QFile::encodeName(Path("root.mp4")).constData()), 0);
    ASSERT_EQ(::symlink("real.mp4", QFile::encodeName(Path("near.png")).constData()), 0);
    EXPECT_EQ(ScanFolderForVideos(dir.path()), QStringList{"real.mp4"});
    EXPECT_EQ(ScanFolderForImages(dir.path()), QStringList());
    for (const bool videos : {true, false}) {
        const std::vector<NotTaken> entries = EntriesNotTaken(dir.path(), videos);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].name, videos ? "root.mp4" : "near.png");
        EXPECT_EQ(entries[0].reason, FolderLinkReason());
    }
}

// A path the user names is refused with the real reason when something is there: bytes that
// are not UTF-8 (found under the process's own argument) or a path past PATH_MAX (found part
// by part). Missing paths, long or not, are left to the caller's "no such file".
TEST_F(FileCheckTest, UnusablePathsSayWhyInsteadOfMissing)
{
    const testenv::DeepPath deep(dir.path(), "clip.mp4");
    ASSERT_TRUE(deep.Made());
    const QByteArray native = QFile::encodeName(deep.File());
    ASSERT_GE(native.size(), PATH_MAX);
    EXPECT_TRUE(EntryExistsByParts(native));
    EXPECT_TRUE(EntryExistsByParts(QFile::encodeName(deep.Folder())));
    EXPECT_FALSE(EntryExistsByParts(native + "x"));
    EXPECT_TRUE(EntryExistsByParts("/"));

    const NotTaken tooLong = UnusablePath(deep.File());
    EXPECT_EQ(tooLong.name, deep.File());
    EXPECT_EQ(tooLong.reason, QString("the path is too long (%1 bytes; the system takes at most "
                                      "4095)")
                                  .arg(native.size()));
    EXPECT_EQ(UnusablePath(deep.File() + "x").reason, "");
    EXPECT_EQ(UnusablePath(Path("missing.mp4")).reason, "");
    ASSERT_TRUE(testenv::WriteFile(Path("here.mp4"), "bytes"));
    EXPECT_EQ(UnusablePath(Path("here.mp4")).reason, "");
    // Not an argument of this process: nothing to find it by.
    EXPECT_EQ(UnusablePath(Path(QString("caf") + QChar::ReplacementCharacter + ".mp4")).reason, "");
}

}  // namespace
