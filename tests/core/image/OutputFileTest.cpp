// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/OutputFile.h"

#include "core/image/ImageTestSupport.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace imagetest;

namespace {

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
    for (int i = 0; i < kWriters; ++i) EXPECT_EQ(ReadBytes(paths[i]), contents[i]) << i;
}

}  // namespace
