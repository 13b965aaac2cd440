#include "image/OutputFile.h"

#include "image/ImageTestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

using namespace imagetest;

namespace {

QByteArray Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST_F(ImageFolderTest, DanglingLinkCountsAsTaken)
{
    ASSERT_TRUE(QFile::link(OutDir() + "/nowhere", Out("photo.jpg")));
    const QByteArray data("new");
    EXPECT_EQ(OutputFile::SaveNew(OutDir(), "photo", "jpg", data.constData(), data.size()),
              Out("photo(2).jpg"));
    EXPECT_FALSE(QFile::exists(OutDir() + "/nowhere"));
    EXPECT_EQ(Read(Out("photo(2).jpg")), data);
}

TEST_F(ImageFolderTest, ConcurrentSavesOfOneNameNeverShareAFile)
{
    constexpr int kWriters = 8;
    std::vector<QString> paths(kWriters);
    std::vector<QByteArray> contents(kWriters);
    {
        std::vector<std::jthread> writers;
        for (int i = 0; i < kWriters; ++i) {
            contents[i] = QByteArray(100000 + i, char('a' + i));
            writers.emplace_back([&, i] {
                paths[i] = OutputFile::SaveNew(OutDir(), "shot", "png", contents[i].constData(),
                                               contents[i].size());
            });
        }
    }
    QStringList expected{"shot.png"};
    for (int n = 2; n <= kWriters; ++n) expected << QStringLiteral("shot(%1).png").arg(n);
    expected.sort();
    EXPECT_EQ(Entries(OutDir()), expected);  // no temporary file left either
    for (int i = 0; i < kWriters; ++i) EXPECT_EQ(Read(paths[i]), contents[i]) << i;
}

TEST_F(ImageFolderTest, SaveIntoAMissingFolderThrows)
{
    EXPECT_THROW(OutputFile::SaveNew(OutDir() + "/missing", "a", "png", "x", 1),
                 std::runtime_error);
    EXPECT_TRUE(Entries(OutDir()).isEmpty());
}

}  // namespace
