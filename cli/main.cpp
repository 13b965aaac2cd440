// SPDX-License-Identifier: GPL-3.0-or-later
// lumocompress-cli: the desktop program's two compression engines, driven from a terminal.
#include <QCoreApplication>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "BatchJob.h"
#include "CliOptions.h"
#include "ConsoleView.h"
#include "SignalWatch.h"
#include "core/app/Language.h"
#include "core/app/Logging.h"
#include "core/app/Paths.h"

namespace {

constexpr int kUsageError = 2;

// 0, or the errno of the write that failed.
int WriteAll(int fd, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    qsizetype offset = 0;
    while (offset < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + offset, bytes.size() - offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        offset += n;
    }
    return 0;
}

int Complain(const QString& message, int status)
{
    WriteAll(STDERR_FILENO, QStringLiteral("lumocompress-cli: ") + message + u'\n');
    return status;
}

// Text for standard output; a failed write (a full disk, a closed pipe) is an error.
int Answer(const QString& text)
{
    const int error = WriteAll(STDOUT_FILENO, text);
    if (error == 0) return 0;
    return Complain(QStringLiteral("cannot write to standard output: ") +
                        QString::fromLocal8Bit(std::strerror(error)),
                    1);
}

// The status of a run a signal stopped, as a shell reports a command the signal ended.
int SignalStatus()
{
    return 128 + SignalWatch::LastSignal();
}

// The engines' diagnostics go to the log (see core/app/Logging.h); whatever still prints on
// standard output must not mix with the run's own output, which keeps a copy of the original
// descriptor. Standard output itself goes to stderr with --verbose, else nowhere.
int TakeStandardOutput(bool verbose)
{
    std::fflush(stdout);
    const int output = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    const int sink = verbose ? STDERR_FILENO : ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (sink >= 0) ::dup2(sink, STDOUT_FILENO);
    if (!verbose && sink >= 0) ::close(sink);
    // Diagnostics from both workers then reach stderr whole lines at a time.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    return output < 0 ? STDOUT_FILENO : output;
}

bool IsTerminal(int fd)
{
    const QByteArray term = qgetenv("TERM");
    return ::isatty(fd) && term != "dumb";
}

}  // namespace

int main(int argc, char** argv)
{
    // Past a file size limit (ulimit -f) a write then fails with EFBIG, which is reported and its
    // partial file removed, instead of the signal ending the run without a word. Ignored, not
    // caught, so that the encoders started from here report it the same way.
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication app(argc, argv);
    // Failure sentences come from the engines in the interface language of the user's locale;
    // a locale that names no language (C, POSIX) gets English.
    language::Install(app, language::ForCommandLine(language::MessagesLocale()));

    const QString userFile = UserSettingsFile();
    const RunValues defaults = RunValues::FromSettingsFile(userFile);
    const ParsedCommandLine parsed = ParseCommandLine(app.arguments().mid(1), defaults);
    switch (parsed.action) {
        case ParsedCommandLine::Action::UsageError:
            return Complain(parsed.error, kUsageError);
        case ParsedCommandLine::Action::Help:
            return Answer(HelpText(defaults, userFile));
        case ParsedCommandLine::Action::Version:
            return Answer(QStringLiteral("lumocompress-cli " LUMO_VERSION "\n"));
        case ParsedCommandLine::Action::Run:
            break;
    }
    const CliOptions& options = parsed.options;
    logging::Start({QStringLiteral("lumocompress-cli.log"), options.verbose});

    const int output = TakeStandardOutput(options.verbose);

    // Resolved (and created) once up front, as the window does when it opens; a dry run only
    // names it.
    const QString outputFolder = options.dryRun ? PlannedOutputFolder(options.values.outputDir)
                                                : ResolveOutputFolder(options.values.outputDir);
    const QFileInfo folder(outputFolder);
    if (!options.dryRun && (!folder.isDir() || !folder.isWritable()))
        return Complain(QStringLiteral("cannot write to the output folder ") + outputFolder,
                        kUsageError);

    // A settings file that cannot be read was reported on stderr when the values were read.

    SignalWatch signalWatch;
    // The progress is drawn in place where it goes, on standard error, when that is a terminal.
    const ConsoleView::Mode mode = options.json                ? ConsoleView::Mode::Json
                                   : IsTerminal(STDERR_FILENO) ? ConsoleView::Mode::Terminal
                                                               : ConsoleView::Mode::Plain;
    ConsoleView view(output, STDERR_FILENO, mode, options.quiet);
    BatchJob job(options, outputFolder, view);

    // Results that could not be written are an error whatever became of the files.
    const auto concluded = [&view](int status) {
        if (view.OutputError() == 0) return status;
        return Complain(QStringLiteral("cannot write to standard output: ") +
                            QString::fromLocal8Bit(std::strerror(view.OutputError())),
                        status != 0 ? status : 1);
    };

    if (!job.Intake(&SignalWatch::Caught))
        return Complain(QStringLiteral("stopped before any file was compressed"), SignalStatus());
    if (job.Items().empty())
        return concluded(Complain(QStringLiteral("no video or image found; nothing to do"), 0));
    if (options.dryRun) return concluded(job.DryRun());

    int status = 0;
    QObject::connect(&job, &BatchJob::finished, &app, [&](int code, const QString& message) {
        status = SignalWatch::Caught() ? SignalStatus() : code;
        if (!message.isEmpty()) Complain(message, status);
        QCoreApplication::exit(status);
    });
    QObject::connect(&signalWatch, &SignalWatch::caught, &job, &BatchJob::Interrupt);
    job.Start();
    app.exec();
    return concluded(status);
}
