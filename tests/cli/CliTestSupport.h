// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/Printers.h"

#include <QByteArray>
#include <QDir>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/types.h>

#include <ostream>
#include <vector>

// Helpers of the command-line program's tests: the real executable run on files made here with
// the real ffmpeg and ImageMagick.
namespace clitest {

QString Program();  // the built lumocompress-cli

struct CliResult {
    int exitCode = -1;
    bool crashed = false;
    QByteArray out;
    QByteArray err;
    QStringList ErrLines() const;
    // The stderr lines without the plain progress ("start ..." and indented percentages).
    QStringList FailureLines() const;
    QList<QJsonObject> JsonLines() const;  // every stdout line parsed; a bad line fails the test
};

// Runs the program with the arguments in folder and waits for it (the test's private HOME and
// XDG folders are inherited).
CliResult RunCli(const QStringList& arguments, const QString& folder, int timeoutMs = 120000);

// A test with a private folder holding "in/" for the sources and "out/" for the outputs.
class InOutFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root_.isValid());
        QDir().mkpath(In(""));
        QDir().mkpath(Out(""));
    }
    QString In(const QString& name) const { return root_.path() + "/in/" + name; }
    QString Out(const QString& name) const { return root_.path() + "/out/" + name; }

    QTemporaryDir root_;
};

// ImageMagick's built-in picture ("rose:", "logo:") or a picture description such as
// "xc:red[40x30]" written to path, its format from the extension.
void MakeImage(const QString& picture, const QString& path);
// "WxH" of an image as the identifier reads it.
QString ImageSize(const QString& path);

// What ffprobe reports of a file's first video and audio streams and its container.
struct StreamFacts {
    QString container;  // format_name
    QString videoCodec;
    int width = 0;
    int height = 0;
    int channels = 0;
    int sampleRate = 0;
};
StreamFacts Probe(const QString& path);

struct ChildProcess {
    pid_t pid;
    QString name;
};
// The live children of a process, from /proc.
std::vector<ChildProcess> ChildrenOf(pid_t parent);
bool ProcessAlive(pid_t pid);  // running or stopped, not a zombie and not gone

// The names in a folder, sorted.
QStringList Names(const QString& folder);
QByteArray Bytes(const QString& path);

}  // namespace clitest
