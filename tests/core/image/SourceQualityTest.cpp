// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/SourceQuality.h"

#include "core/image/ImagePipeline.h"
#include "core/image/ImageTestSupport.h"

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <signal.h>

#include <cerrno>

using namespace imagetest;

namespace {

struct QualityCase {
    const char* name;
    const char* sourceFormat;
    bool identifierPresent;
    int strength;
    const char* written;
};

class JpegQuality : public ImageFolderTest, public ::testing::WithParamInterface<QualityCase> {};

TEST_P(JpegQuality, LowersTheSourcesQualityOrAHundredWhenUnknown)
{
    const QualityCase& c = GetParam();
    Save(MakeImage("logo:"), c.sourceFormat, Src("logo.jpg"), 92);
    ImageParams params = Params("logo.jpg");
    params.compressType = c.strength;
    params.identifyPath = c.identifierPresent ? IdentifyProgram() : QString();

    const ImageRunResult result = ImagePipeline::Run(params);
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    EXPECT_EQ(Identify(result.done->outputPath, "%m %Q"), c.written);
}

INSTANTIATE_TEST_SUITE_P(
    Strengths, JpegQuality,
    ::testing::Values(QualityCase{"General", "JPEG", true, 0, "JPEG 73"},
                      QualityCase{"Deep", "JPEG", true, 1, "JPEG 59"},
                      QualityCase{"Limit", "JPEG", true, 2, "JPEG 50"},
                      QualityCase{"GeneralNoIdentifier", "JPEG", false, 0, "JPEG 80"},
                      QualityCase{"DeepNoIdentifier", "JPEG", false, 1, "JPEG 65"},
                      QualityCase{"LimitNoIdentifier", "JPEG", false, 2, "JPEG 55"},
                      // No quality set: the source's own stays.
                      QualityCase{"OtherStrength", "JPEG", true, 3, "JPEG 92"},
                      // A PNG has no quality; the identifier says 0.
                      QualityCase{"PngSource", "PNG", true, 0, "JPEG 80"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImageFolderTest, QualityLineWithoutDigitsFailsTheRun)
{
    const QString fake = TmpDir() + "/identify";
    WriteBytes(fake, "#!/bin/sh\necho 'Quality: high'\n");
    QFile::setPermissions(fake, QFile::permissions(fake) | QFileDevice::ExeOwner);
    Save(MakeImage("logo:"), "JPEG", Src("logo.jpg"), 92);
    ImageParams params = Params("logo.jpg");
    params.identifyPath = fake;

    EXPECT_FALSE(ImagePipeline::Run(params).Succeeded());
    EXPECT_TRUE(Entries(OutDir()).isEmpty());
    EXPECT_THROW(SourceQuality::Parse("Quality:\n92\n"), std::invalid_argument);  // next line
}

TEST_F(ImageFolderTest, FortyEightMegapixelJpegGetsItsRealQualityQuickly)
{
    const auto made = platform::RunCapture(
        "convert", {"-size", "8000x6000", "xc:gray", "-quality", "60", Src("big.jpg")}, 60000,
        4096);
    ASSERT_TRUE(made.Succeeded()) << made.output.constData();

    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(SourceQuality::Read(IdentifyProgram(), Src("big.jpg")), 60);
    EXPECT_LT(clock.elapsed(), 1000);
}

TEST_F(ImageFolderTest, IdentifierThatOverrunsIsKilledAndReaped)
{
    WriteBytes(Src("x.png"), "data");
    QElapsedTimer clock;
    clock.start();
    const auto run =
        platform::RunCapture("/bin/sh", {"-c", "echo $$; exec sleep 30"}, 300, 4096, Src("x.png"));
    EXPECT_TRUE(run.started && run.timedOut);
    EXPECT_LT(clock.elapsed(), 3000);
    const pid_t pid = static_cast<pid_t>(run.output.trimmed().toLongLong());
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(::kill(pid, 0) == -1 && errno == ESRCH) << "child " << pid << " is still there";
}

}  // namespace
