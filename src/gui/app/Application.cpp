// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/app/Application.h"

#include <sys/socket.h>
#include <unistd.h>
#include <QApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "core/app/Language.h"
#include "core/app/Logging.h"
#include "core/app/TextUtil.h"
#include "core/intake/FileCheck.h"
#include "core/platform/SingleInstance.h"
#include "gui/app/MainWnd.h"
#include "gui/app/QtTranslations.h"
#include "gui/intake/OpenPaths.h"
#include "gui/skinlib/SkinBuilder.h"

namespace {

// A signal handler may only write to a descriptor; the event loop reads the other end.
int g_signalPipe[2] = {-1, -1};

void OnTerminationSignal(int signal)
{
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] ssize_t written = ::write(g_signalPipe[0], &byte, 1);
}

bool InstallTerminationHandlers()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) return false;
    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // A closed session or terminal (SIGHUP) ends the program as cleanly as SIGTERM.
    return sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0 &&
           sigaction(SIGHUP, &action, nullptr) == 0;
}

bool AskedForVerbose(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--verbose") == 0) return true;
    return false;
}

}  // namespace

int RunApplication(int argc, char** argv)
{
    // Past a file size limit (ulimit -f) writes fail with EFBIG and the task reports it; the
    // default action would end the program mid-write. Ignored rather than caught so that the
    // encoders it starts inherit it.
    std::signal(SIGXFSZ, SIG_IGN);
    // Before the application object, so that the platform's first warnings are kept too.
    logging::Start({QStringLiteral("lumocompress.log"), AskedForVerbose(argc, argv)});
    QApplication app(argc, argv);
    QApplication::setApplicationName("LumoCompress");
    // The installed menu entry's name: desktops match the window to its entry and icon by it.
    QGuiApplication::setDesktopFileName("io.lumocompress.LumoCompress");
    QApplication::setQuitOnLastWindowClosed(false);
    // The program's texts follow the user's locale; Qt's own dialogs speak Chinese with a Chinese
    // interface and stay in their own English with an English one.
    const QLocale locale = language::MessagesLocale();
    if (language::Install(app, locale) == language::Interface::Chinese)
        qttranslations::Install(app, locale);

    // Files and folders to open ("open with" passes them); options are ignored.
    const QStringList paths = PathsFromArguments(QCoreApplication::arguments().mid(1));

    SingleInstance instance;
    if (!instance.Acquire()) {
        // As the system's bytes: a name that is not UTF-8 reaches the running window intact.
        QList<QByteArray> native;
        for (const QString& path : paths) native << NativePath(path);
        instance.HandOver(native);
        return 0;
    }

    QString error;
    if (!skin::LoadResources(&error)) {
        qCritical("the skin cannot be loaded: %s", qPrintable(error));
        return 1;
    }

    QPointer<CMainWnd> window = new CMainWnd;
    try {
        window->Create();
    } catch (const std::exception& e) {
        qCritical("the main window cannot be built: %s", e.what());
        delete window;
        return 1;
    }
    QObject::connect(&instance, &SingleInstance::activationRequested, window, [&window] {
        window->BringToFront();
        DebugPrint("instance: brought forward (minimised: %d)\n", window->isMinimized() ? 1 : 0);
        std::fflush(stdout);
    });
    QObject::connect(&instance, &SingleInstance::filesHanded, window,
                     [&window](const QList<QByteArray>& handed) {
                         QStringList paths;
                         for (const QByteArray& native : handed) paths << HandedPath(native);
                         window->OpenPaths(paths);
                     });

    if (InstallTerminationHandlers()) {
        auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [&window] {
            char byte = 0;
            [[maybe_unused]] ssize_t got = ::read(g_signalPipe[1], &byte, 1);
            if (window)
                window->Shutdown();
            else
                QCoreApplication::quit();
        });
    }

    window->CenterWindow();
    window->ShowWindow(true);
    if (!paths.isEmpty())
        QTimer::singleShot(0, window, [&window, paths] { window->OpenPaths(paths); });
    const int code = app.exec();
    std::fflush(stdout);
    return code;
}
