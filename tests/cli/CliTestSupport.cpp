// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

namespace clitest {

QString Program()
{
    return QStringLiteral(LUMO_BINARY_DIR "/lumocompress-cli");
}

QStringList CliResult::ErrLines() const
{
    return QString::fromUtf8(err).split(u'\n', Qt::SkipEmptyParts);
}

QStringList CliResult::FailureLines() const
{
    QStringList lines;
    for (const QString& line : ErrLines())
        if (!line.startsWith(QLatin1String("start ")) && !line.startsWith(u' ')) lines << line;
    return lines;
}

QList<QJsonObject> CliResult::JsonLines() const
{
    QList<QJsonObject> objects;
    for (const QByteArray& line : out.split('\n')) {
        if (line.isEmpty()) continue;
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        EXPECT_TRUE(document.isObject()) << "not a JSON object: " << line.toStdString();
        objects << document.object();
    }
    return objects;
}

CliResult RunCli(const QStringList& arguments, const QString& folder, int timeoutMs)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(Program(), arguments);
    CliResult run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "lumocompress-cli did not end in time";
    }
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

namespace {

QByteArray RunTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    const bool ended = process.waitForFinished(60000);
    EXPECT_TRUE(ended && process.exitCode() == 0)
        << program.toStdString() << ": " << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput();
}

}  // namespace

void MakeImage(const QString& picture, const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    RunTool("convert", {picture, path});
}

QString ImageSize(const QString& path)
{
    return QString::fromUtf8(RunTool("identify", {"-format", "%wx%h", path + "[0]"}));
}

StreamFacts Probe(const QString& path)
{
    const QByteArray json =
        RunTool("ffprobe", {"-v", "error", "-show_streams", "-show_format", "-of", "json", path});
    const QJsonObject report = QJsonDocument::fromJson(json).object();
    StreamFacts facts;
    facts.container = report["format"].toObject()["format_name"].toString();
    for (const QJsonValue& value : report["streams"].toArray()) {
        const QJsonObject stream = value.toObject();
        if (stream["codec_type"] == "video" && facts.videoCodec.isEmpty()) {
            facts.videoCodec = stream["codec_name"].toString();
            facts.width = stream["width"].toInt();
            facts.height = stream["height"].toInt();
        } else if (stream["codec_type"] == "audio" && facts.channels == 0) {
            facts.channels = stream["channels"].toInt();
            facts.sampleRate = stream["sample_rate"].toString().toInt();
        }
    }
    return facts;
}

namespace {

// The state letter and parent of /proc/<pid>/stat; the name is in parentheses and may hold
// blanks, so the fields are counted from its closing one.
bool ReadStat(pid_t pid, char* state, pid_t* parent, QString* name)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray stat = file.readAll();
    const qsizetype open = stat.indexOf('(');
    const qsizetype close = stat.lastIndexOf(')');
    if (open < 0 || close < open) return false;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    if (fields.size() < 2) return false;
    *name = QString::fromUtf8(stat.mid(open + 1, close - open - 1));
    *state = fields[0].isEmpty() ? '?' : fields[0][0];
    *parent = fields[1].toInt();
    return true;
}

}  // namespace

std::vector<ChildProcess> ChildrenOf(pid_t parent)
{
    std::vector<ChildProcess> children;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool number = false;
        const pid_t pid = entry.toInt(&number);
        if (!number) continue;
        char state = 0;
        pid_t ppid = 0;
        QString name;
        if (ReadStat(pid, &state, &ppid, &name) && ppid == parent && state != 'Z')
            children.push_back({pid, name});
    }
    return children;
}

bool ProcessAlive(pid_t pid)
{
    char state = 0;
    pid_t parent = 0;
    QString name;
    return ReadStat(pid, &state, &parent, &name) && state != 'Z' && state != 'X';
}

QStringList Names(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

QByteArray Bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace clitest
