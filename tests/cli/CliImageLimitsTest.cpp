// SPDX-License-Identifier: GPL-3.0-or-later
// The real lumocompress-cli on images against the limits of the process it runs in: a file size
// limit (RLIMIT_FSIZE) and the image memory budget, measured as the child's peak resident size.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "cli/CliTestSupport.h"
#include "core/image/ImagePipeline.h"

using namespace clitest;

namespace {

struct MeasuredRun {
    bool signalled = false;
    int exitCode = -1;
    long peakKib = 0;  // the child's peak resident size
    QByteArray out;
    QByteArray err;
};

// Runs the program in folder with extra environment entries ("NAME=value") and, when
// fileSizeLimit is set, that RLIMIT_FSIZE; waits for it and takes its resource usage.
MeasuredRun RunMeasured(const QStringList& arguments, const QString& folder,
                        const QStringList& environment, rlim_t fileSizeLimit = RLIM_INFINITY)
{
    std::vector<std::string> argStore{Program().toStdString()};
    for (const QString& argument : arguments) argStore.push_back(argument.toStdString());
    std::vector<std::string> envStore;
    for (char** entry = environ; *entry; ++entry) envStore.emplace_back(*entry);
    for (const QString& entry : environment) envStore.push_back(entry.toStdString());
    std::vector<char*> argv, envp;
    for (std::string& a : argStore) argv.push_back(a.data());
    for (std::string& e : envStore) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const std::string outPath = (folder + "/.run-out").toStdString();
    const std::string errPath = (folder + "/.run-err").toStdString();
    const std::string where = folder.toStdString();

    // The limit applies to the child alone: the test writes its files freely.
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 ||
            ::chdir(where.c_str()) != 0)
            ::_exit(126);
        // Only what the child itself writes counts: its output files are opened already.
        const rlimit limit{fileSizeLimit, fileSizeLimit};
        if (fileSizeLimit != RLIM_INFINITY && ::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    MeasuredRun run;
    if (pid < 0) {
        ADD_FAILURE() << "fork: " << std::strerror(errno);
        return run;
    }
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    run.signalled = WIFSIGNALED(status);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakKib = usage.ru_maxrss;
    run.out = Bytes(QString::fromStdString(outPath));
    run.err = Bytes(QString::fromStdString(errPath));
    QFile::remove(QString::fromStdString(outPath));
    QFile::remove(QString::fromStdString(errPath));
    return run;
}

QList<QJsonObject> Results(const MeasuredRun& run)
{
    CliResult parsed;
    parsed.out = run.out;
    return parsed.JsonLines();
}

class CliImageLimitsTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return root_.path() + "/" + name; }
    QTemporaryDir root_;
};

// Past the limit a write fails with EFBIG instead of SIGXFSZ ending the run: the image reports
// the system's words, its partial file goes, and the run goes on with the next image.
TEST_F(CliImageLimitsTest, AFileSizeLimitFailsTheImageAndTheRunGoesOn)
{
    MakeImage("plasma:[300x300]", Path("in/big.png"));  // hundreds of kilobytes however packed
    MakeImage("xc:red[8x8]", Path("in/small.png"));
    ASSERT_TRUE(QDir().mkpath(Path("out")));

    const MeasuredRun run = RunMeasured({"--json", "--image-workers", "1", "--output", Path("out"),
                                         Path("in/big.png"), Path("in/small.png")},
                                        root_.path(), {}, 19 * 1024);
    ASSERT_FALSE(run.signalled) << "ended by a signal: " << run.err.toStdString();
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();

    QJsonObject big, small;
    for (const QJsonObject& line : Results(run)) {
        if (line.value("source").toString().endsWith("big.png")) big = line;
        if (line.value("source").toString().endsWith("small.png")) small = line;
    }
    EXPECT_EQ(big.value("result").toString(), "failed");
    const QString detail = big.value("detail").toString() + big.value("error").toString();
    EXPECT_TRUE(detail.contains(QString::fromLocal8Bit(std::strerror(EFBIG))))
        << detail.toStdString();
    EXPECT_EQ(small.value("result").toString(), "done");
    EXPECT_EQ(Names(Path("out")), QStringList{"small.png"}) << "a partial file was left";
}

// Several workers on images whose encoders take several times their decoded pixels: together
// they stay within the budget, which the child is given small so that small images show what
// the whole budget does with large ones.
TEST_F(CliImageLimitsTest, ImagesSideBySideStayWithinTheMemoryBudget)
{
    constexpr int kBudgetMib = 150;
    QStringList arguments{"--json", "--image-workers", "3",        "--image-format",
                          "avif",   "--output",        Path("out")};
    MakeImage(QStringLiteral("plasma:[1100x1100]"), Path("in/photo0.png"));
    for (int i = 0; i < 3; ++i) {
        const QString path = Path(QStringLiteral("in/photo%1.png").arg(i));
        if (i > 0) {
            ASSERT_TRUE(QFile::copy(Path("in/photo0.png"), path));
        }
        arguments << path;
    }
    ASSERT_TRUE(QDir().mkpath(Path("out")));

    const MeasuredRun run = RunMeasured(
        arguments, root_.path(),
        {QStringLiteral("%1=%2").arg(ImagePipeline::kMemoryLimitVariable).arg(kBudgetMib)});
    ASSERT_FALSE(run.signalled) << run.err.toStdString();
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_EQ(Names(Path("out")).size(), 3);
    EXPECT_LT(run.peakKib, kBudgetMib * 1024L) << "peak " << run.peakKib / 1024 << " MiB";
}

}  // namespace
