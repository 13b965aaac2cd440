#include "image/SourceQuality.h"

#include "image/ImagePipeline.h"
#include "image/ImageTestSupport.h"

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <signal.h>

#include <cerrno>
#include <stdexcept>

using namespace imagetest;

namespace {

// ---- Quality written for a JPEG source --------------------------------------------------------

struct QualityCase {
    bool identifierPresent;
    int strength;
    const char* written;
};

class JpegQuality : public ImageFolderTest, public ::testing::WithParamInterface<QualityCase> {};

TEST_P(JpegQuality, LowersTheSourcesQualityOrAHundredWithoutTheIdentifier)
{
    const QualityCase& c = GetParam();
    Save(Builtin("logo:"), "JPEG", Src("logo.jpg"), 92);
    ImageParams params = Params("logo.jpg");
    params.compressType = c.strength;
    params.identifyPath = c.identifierPresent ? IdentifyProgram() : QString();

    const ImageRunResult result = ImagePipeline::Run(params);
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    EXPECT_EQ(Identify(result.done->outputPath, "%Q"), c.written);
}

INSTANTIATE_TEST_SUITE_P(Strengths, JpegQuality,
                         ::testing::Values(QualityCase{true, 0, "73"}, QualityCase{true, 1, "59"},
                                           QualityCase{true, 2, "50"}, QualityCase{false, 0, "80"},
                                           QualityCase{false, 1, "65"}, QualityCase{false, 2, "55"},
                                           // No quality set: the source's own stays.
                                           QualityCase{true, 3, "92"}),
                         [](const auto& info) {
                             return std::string(info.param.identifierPresent ? "Identified"
                                                                             : "NoIdentifier") +
                                    "Strength" + std::to_string(info.param.strength);
                         });

TEST_F(ImageFolderTest, PngSourceWrittenAsJpegStartsFromAHundred)
{
    // The identifier knows no quality of a PNG and says 0.
    Save(Builtin("logo:"), "PNG", Src("logo.png"));
    ImageParams params = Params("logo.png");
    params.imageType = 1;
    params.identifyPath = IdentifyProgram();

    const ImageRunResult result = ImagePipeline::Run(params);
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    EXPECT_EQ(Identify(result.done->outputPath, "%m %Q"), "JPEG 80");
}

TEST_F(ImageFolderTest, QualityLineWithoutDigitsFailsTheRun)
{
    const QString fake = TmpDir() + "/identify";
    QFile script(fake);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho 'Quality: high'\n");
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    script.close();
    Save(Builtin("logo:"), "JPEG", Src("logo.jpg"), 92);
    ImageParams params = Params("logo.jpg");
    params.identifyPath = fake;

    EXPECT_FALSE(ImagePipeline::Run(params).Succeeded());
    EXPECT_TRUE(Entries(OutDir()).isEmpty());
}

TEST_F(ImageFolderTest, FortyEightMegapixelJpegGetsItsRealQualityQuickly)
{
    const auto made = platform::RunCapture(
        QStringLiteral("convert"), {"-size", "8000x6000", "xc:gray", "-quality", "60", Src("big.jpg")},
        60000, 4096);
    ASSERT_TRUE(made.Succeeded()) << made.output.constData();

    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(SourceQuality::Read(IdentifyProgram(), Src("big.jpg")), 60);
    EXPECT_LT(clock.elapsed(), 1000);
}

// ---- Reading the report -----------------------------------------------------------------------

TEST(SourceQualityParse, TakesTheFirstQualityLineUpToItsEnd)
{
    EXPECT_EQ(SourceQuality::Parse("Quality: 92\n"), 92);
    EXPECT_EQ(SourceQuality::Parse("Image: x\r\nQuality: 85\r\nQuality: 70\n"), 85);
    EXPECT_EQ(SourceQuality::Parse("Quality: 9 1\n"), 91);  // blanks are left out
    EXPECT_EQ(SourceQuality::Parse("Quality: 88%\n"), 88);  // trailing text ignored
    EXPECT_EQ(SourceQuality::Parse("Geometry: 10x10\n"), std::nullopt);
    EXPECT_EQ(SourceQuality::Parse(""), std::nullopt);
}

TEST(SourceQualityParse, NoNumberOnTheQualityLineThrows)
{
    // A number on the next line does not count.
    EXPECT_THROW(SourceQuality::Parse("Quality:\n92\n"), std::invalid_argument);
    EXPECT_THROW(SourceQuality::Parse("Quality: n/a"), std::invalid_argument);
    EXPECT_THROW(SourceQuality::Parse("Quality: 99999999999"), std::out_of_range);
}

// ---- Running the identifier -------------------------------------------------------------------

TEST_F(ImageFolderTest, RunWithInputFeedsTheFileAndReadsWhileTheChildRuns)
{
    // Three megabytes through cat: far more than a pipe holds.
    QByteArray data(3 << 20, '\0');
    for (qsizetype i = 0; i < data.size(); ++i) data[i] = char(i * 7 + i / 4096);
    QFile file(Src("data.bin"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
    file.close();

    const auto run = SourceQuality::RunWithInput("/bin/cat", {}, Src("data.bin"), 20000, 8 << 20);
    EXPECT_TRUE(run.Succeeded());
    EXPECT_TRUE(run.output == data);

    const auto missing = SourceQuality::RunWithInput("/bin/cat", {}, Src("none"), 20000, 1024);
    EXPECT_FALSE(missing.started);
}

TEST_F(ImageFolderTest, RunWithInputKillsAndReapsAnOverrunningChild)
{
    Save(Solid(4, 4, "red"), "PNG", Src("x.png"));
    QElapsedTimer clock;
    clock.start();
    const auto run = SourceQuality::RunWithInput("/bin/sh", {"-c", "echo $$; exec sleep 30"},
                                                 Src("x.png"), 300, 4096);
    EXPECT_TRUE(run.started && run.timedOut);
    EXPECT_LT(clock.elapsed(), 3000);
    const pid_t pid = static_cast<pid_t>(run.output.trimmed().toLongLong());
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(::kill(pid, 0) == -1 && errno == ESRCH) << "child " << pid << " is still there";
}

}  // namespace
