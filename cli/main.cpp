// lumocompress-cli: the desktop program's two compression engines, driven from a terminal.
#include <QCoreApplication>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "BatchJob.h"
#include "CliOptions.h"
#include "ConsoleView.h"
#include "SignalWatch.h"
#include "core/app/Language.h"
#include "core/app/Logging.h"
#include "core/app/Paths.h"

namespace {

constexpr int kUsageError = 2;

void WriteAll(int fd, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    qsizetype offset = 0;
    while (offset < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + offset, bytes.size() - offset);
        if (n <= 0) return;
        offset += n;
    }
}

int Complain(const QString& message, int status)
{
    WriteAll(STDERR_FILENO, QStringLiteral("lumocompress-cli: ") + message + u'\n');
    return status;
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
    // Failure sentences come from the engines in the interface language of the user's locale.
    language::Install(app, language::MessagesLocale());

    const QString userFile = UserSettingsFile();
    const RunValues defaults = RunValues::FromSettingsFile(userFile);
    const ParsedCommandLine parsed = ParseCommandLine(app.arguments().mid(1), defaults);
    switch (parsed.action) {
        case ParsedCommandLine::Action::UsageError:
            return Complain(parsed.error, kUsageError);
        case ParsedCommandLine::Action::Help:
            WriteAll(STDOUT_FILENO, HelpText(defaults, userFile));
            return 0;
        case ParsedCommandLine::Action::Version:
            WriteAll(STDOUT_FILENO, QStringLiteral("lumocompress-cli " LUMO_VERSION "\n"));
            return 0;
        case ParsedCommandLine::Action::Run:
            break;
    }
    const CliOptions& options = parsed.options;
    logging::Start({QStringLiteral("lumocompress-cli.log"), options.verbose});

    const int output = TakeStandardOutput(options.verbose);

    // Resolved (and created) once up front, as the window does when it opens.
    const QString outputFolder = ResolveOutputFolder(options.values.outputDir);
    const QFileInfo folder(outputFolder);
    if (!folder.isDir() || !folder.isWritable())
        return Complain(QStringLiteral("cannot write to the output folder ") + outputFolder,
                        kUsageError);

    // A settings file that cannot be read was reported on stderr when the values were read.

    SignalWatch signalWatch;
    const ConsoleView::Mode mode = options.json         ? ConsoleView::Mode::Json
                                   : IsTerminal(output) ? ConsoleView::Mode::Terminal
                                                        : ConsoleView::Mode::Plain;
    ConsoleView view(output, mode);
    BatchJob job(options, outputFolder, view);

    if (!job.Intake(&SignalWatch::Caught))
        return Complain(QStringLiteral("stopped before any file was compressed"), 1);
    if (job.Items().empty())
        return Complain(QStringLiteral("no video or image found; nothing to do"), 0);

    int status = 0;
    QObject::connect(&job, &BatchJob::finished, &app, [&](int code, const QString& message) {
        status = code;
        if (!message.isEmpty()) Complain(message, code);
        QCoreApplication::exit(code);
    });
    QObject::connect(&signalWatch, &SignalWatch::caught, &job, &BatchJob::Interrupt);
    job.Start();
    app.exec();
    return status;
}
