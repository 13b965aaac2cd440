// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/app/Logging.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include <atomic>
#include <memory>
#include <mutex>

#include <glog/logging.h>

namespace logging {

// ------------------------------------------------------------------------------ RotatingFile

namespace {

bool WriteWhole(int fd, const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= n;
    }
    return true;
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

RotatingFile::RotatingFile(const QString& path, qint64 maxBytes, int keptFiles)
    : path_(path), maxBytes_(maxBytes), keptFiles_(std::max(0, keptFiles))
{
}

RotatingFile::~RotatingFile()
{
    if (fd_ >= 0) ::close(fd_);
}

QString RotatingFile::OlderFile(const QString& path, int n)
{
    return n == 0 ? path : path + u'.' + QString::number(n);
}

bool RotatingFile::Reopen()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = ::open(QFile::encodeName(path_).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC,
                 0600);
    return fd_ >= 0;
}

void RotatingFile::Rotate()
{
    if (keptFiles_ == 0) {
        ::unlink(QFile::encodeName(path_).constData());
        return;
    }
    // Each rename replaces its target, so the oldest file simply goes.
    for (int n = keptFiles_; n >= 1; --n) {
        ::rename(QFile::encodeName(OlderFile(path_, n - 1)).constData(),
                 QFile::encodeName(OlderFile(path_, n)).constData());
    }
}

bool RotatingFile::Append(const QByteArray& bytes)
{
    if (fd_ < 0 && !Reopen()) return false;
    const QByteArray name = QFile::encodeName(path_);
    struct stat mine = {};
    struct stat named = {};
    // Another process may have rotated the file since the last write: follow the name.
    if (::fstat(fd_, &mine) != 0 || ::stat(name.constData(), &named) != 0 ||
        !SameFile(mine, named)) {
        if (!Reopen() || ::fstat(fd_, &mine) != 0) return false;
    }
    if (mine.st_size > 0 && mine.st_size + bytes.size() > maxBytes_) {
        // The lock keeps two processes from rotating the same file twice: the second finds the
        // name taken by a new file and only follows it.
        ::flock(fd_, LOCK_EX);
        if (::stat(name.constData(), &named) == 0 && SameFile(mine, named)) Rotate();
        ::flock(fd_, LOCK_UN);
        if (!Reopen()) return false;
    }
    return WriteWhole(fd_, bytes.constData(), bytes.size());
}

// ------------------------------------------------------------------------------ formatting

namespace {

char LevelLetter(Level level)
{
    switch (level) {
        case Level::Debug:
            return 'D';
        case Level::Info:
            return 'I';
        case Level::Warning:
            return 'W';
        case Level::Error:
            return 'E';
    }
    return '?';
}

QString Now()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

}  // namespace

QByteArray FormatLines(Level level, std::string_view text, std::string_view origin,
                       const QString& timestamp)
{
    QByteArray head = timestamp.toUtf8();
    head += ' ';
    head += LevelLetter(level);
    head += ' ';
    if (!origin.empty()) {
        head.append(origin.data(), static_cast<qsizetype>(origin.size()));
        head += ": ";
    }
    QByteArray lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        // Blank lines say nothing in a log; a line of only spaces neither.
        const std::string_view line = text.substr(start, end - start);
        if (line.find_first_not_of(" \t") != std::string_view::npos) {
            lines += head;
            lines.append(line.data(), static_cast<qsizetype>(line.size()));
            lines += '\n';
        }
        start = end + 1;
    }
    return lines;
}

// ------------------------------------------------------------------------------ the set-up

namespace {

struct State {
    std::mutex mutex;
    std::unique_ptr<RotatingFile> file;
    bool verbose = false;
    std::atomic<bool> started = false;
    int glogThreshold = 0;
};

// Never destroyed: a message may come from a static destructor at exit.
State& TheState()
{
    static State* state = new State;
    return *state;
}

void WriteLocked(State& state, Level level, const QByteArray& lines)
{
    if (lines.isEmpty()) return;
    if (state.file) state.file->Append(lines);
    if (state.verbose || level >= Level::Warning)
        WriteWhole(STDERR_FILENO, lines.constData(), lines.size());
}

void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    Level level = Level::Debug;
    switch (type) {
        case QtDebugMsg:
            level = Level::Debug;
            break;
        case QtInfoMsg:
            level = Level::Info;
            break;
        case QtWarningMsg:
            level = Level::Warning;
            break;
        case QtCriticalMsg:
        case QtFatalMsg:
            level = Level::Error;
            break;
    }
    const std::string_view category = context.category ? context.category : "";
    const std::string_view origin = category == "default" ? std::string_view("qt") : category;
    Write(level, message.toStdString(), origin);
}

class GlogSink : public google::LogSink {
public:
    void send(google::LogSeverity severity, const char* /*fullFilename*/, const char* baseFilename,
              int line, const google::LogMessageTime& /*time*/, const char* message,
              size_t length) override
    {
        Level level = Level::Error;
        if (severity == google::GLOG_INFO) level = Level::Info;
        if (severity == google::GLOG_WARNING) level = Level::Warning;
        const std::string origin = std::string(baseFilename) + ':' + std::to_string(line);
        // Called under glog's own lock; Write takes only ours and never logs.
        Write(level, std::string_view(message, length), origin);
    }
};

GlogSink& TheGlogSink()
{
    static GlogSink* sink = new GlogSink;
    return *sink;
}

// glog keeps its messages to our sink: no files of its own, nothing on the terminal.
void TakeOverGlog(State& state)
{
    static const char kName[] = "lumocompress";
    if (!google::IsGoogleLoggingInitialized()) google::InitGoogleLogging(kName);
    for (const google::LogSeverity severity :
         {google::GLOG_INFO, google::GLOG_WARNING, google::GLOG_ERROR, google::GLOG_FATAL})
        google::SetLogDestination(severity, "");
    FLAGS_logtostderr = false;
    FLAGS_logtostdout = false;
    FLAGS_alsologtostderr = false;
    state.glogThreshold = FLAGS_stderrthreshold;
    FLAGS_stderrthreshold = google::NUM_SEVERITIES;
    google::AddLogSink(&TheGlogSink());
}

}  // namespace

QString Folder()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    // The base directory rules: a relative path is to be ignored.
    if (base.isEmpty() || QDir::isRelativePath(base)) base = QDir::homePath() + "/.local/state";
    return QDir::cleanPath(base) + "/LumoCompress";
}

bool Start(const Setup& setup)
{
    const QString path =
        QDir::isAbsolutePath(setup.fileName) ? setup.fileName : Folder() + u'/' + setup.fileName;
    QDir().mkpath(QFileInfo(path).absolutePath());

    State& state = TheState();
    const bool again = state.started.exchange(true);
    {
        std::lock_guard guard(state.mutex);
        state.file = std::make_unique<RotatingFile>(path, setup.maxBytes, setup.keptFiles);
        state.verbose = setup.verbose;
    }
    if (!again) {
        qInstallMessageHandler(&OnQtMessage);
        TakeOverGlog(state);
    }
    const QByteArray first =
        FormatLines(Level::Info, "started, pid " + std::to_string(::getpid()), "log", Now());
    std::lock_guard guard(state.mutex);
    if (state.file->Append(first)) {
        if (state.verbose) WriteWhole(STDERR_FILENO, first.constData(), first.size());
        return true;
    }
    state.file.reset();
    const QByteArray refused =
        FormatLines(Level::Warning, "cannot write " + path.toStdString(), "log", Now());
    WriteWhole(STDERR_FILENO, refused.constData(), refused.size());
    return false;
}

void Stop()
{
    State& state = TheState();
    if (!state.started.exchange(false)) return;
    qInstallMessageHandler(nullptr);
    google::RemoveLogSink(&TheGlogSink());
    FLAGS_stderrthreshold = state.glogThreshold;
    std::lock_guard guard(state.mutex);
    state.file.reset();
    state.verbose = false;
}

bool Started()
{
    return TheState().started.load();
}

QString FilePath()
{
    State& state = TheState();
    std::lock_guard guard(state.mutex);
    return state.file ? state.file->path() : QString();
}

void Write(Level level, std::string_view text, std::string_view origin)
{
    const QByteArray lines = FormatLines(level, text, origin, Now());
    State& state = TheState();
    std::lock_guard guard(state.mutex);
    WriteLocked(state, level, lines);
}

}  // namespace logging
