// SPDX-License-Identifier: GPL-3.0-or-later
// The image output takes its source's file times when asked, and keeps its own otherwise.

#include <gtest/gtest.h>

#include <QFile>

#include "core/image/ImagePipeline.h"
#include "core/image/ImageTestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

using namespace imagetest;

namespace {

class KeepDatesImageTest : public ImageFolderTest {};

struct stat StatOf(const QString& path)
{
    struct stat info {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    return info;
}

}  // namespace

TEST_F(KeepDatesImageTest, OutputTakesTheSourcesTimesOnlyWhenAsked)
{
    ImagePipeline::InitializeLibrary();
    for (const char* format : {"PNG", "JPEG"}) {
        SCOPED_TRACE(format);
        const QString name = QString("in.") + (QString(format) == "PNG" ? "png" : "jpg");
        Save(MakeImage("rose:"), format, Src(name));
        const struct timespec past[2] = {{1262304000, 111111111}, {1230768000, 222222222}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(Src(name)).constData(), past, 0), 0);

        // Reading the source moves its access time: the output takes the one the run found.
        ImageParams params = Params(name);
        params.keepDates = true;
        const ImageRunResult kept = ImagePipeline::Run(params);
        ASSERT_TRUE(kept.Succeeded()) << kept.failure;
        const struct stat info = StatOf(kept.done->outputPath);
        EXPECT_EQ(info.st_mtim.tv_sec, past[1].tv_sec);
        EXPECT_EQ(info.st_mtim.tv_nsec, past[1].tv_nsec);
        EXPECT_EQ(info.st_atim.tv_sec, past[0].tv_sec);
        EXPECT_EQ(info.st_atim.tv_nsec, past[0].tv_nsec);

        // Without the choice the output is dated when it was written.
        params.keepDates = false;
        const ImageRunResult plain = ImagePipeline::Run(params);
        ASSERT_TRUE(plain.Succeeded()) << plain.failure;
        EXPECT_GT(StatOf(plain.done->outputPath).st_mtim.tv_sec, std::time(nullptr) - 600);
    }
}
