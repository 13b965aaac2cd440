#include "gui/app/Application.h"

#include <QApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

#include "gui/app/MainWnd.h"
#include "gui/app/QtTranslations.h"
#include "core/app/TextUtil.h"
#include "core/platform/SingleInstance.h"
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
    return sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0;
}

}  // namespace

int RunApplication(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("LumoCompress");
    // The installed menu entry's name: desktops match the window to its entry and icon by it.
    QGuiApplication::setDesktopFileName("io.lumocompress.LumoCompress");
    QApplication::setQuitOnLastWindowClosed(false);
    qttranslations::Install(app);

    SingleInstance instance;
    if (!instance.Acquire()) {
        instance.ActivateRunning();
        return 0;
    }

    QString error;
    if (!skin::LoadResources(&error)) {
        std::fprintf(stderr, "lumocompress: the skin cannot be loaded: %s\n", qPrintable(error));
        return 1;
    }

    QPointer<CMainWnd> window = new CMainWnd;
    try {
        window->Create();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lumocompress: the main window cannot be built: %s\n", e.what());
        delete window;
        return 1;
    }
    QObject::connect(&instance, &SingleInstance::activationRequested, window, [&window] {
        window->BringToFront();
        DebugPrint("instance: brought forward (minimised: %d)\n", window->isMinimized() ? 1 : 0);
        std::fflush(stdout);
    });

    if (InstallTerminationHandlers()) {
        auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [&window] {
            char byte = 0;
            [[maybe_unused]] ssize_t got = ::read(g_signalPipe[1], &byte, 1);
            if (window) window->Shutdown();
            else QCoreApplication::quit();
        });
    }

    window->CenterWindow();
    window->ShowWindow(true);
    const int code = app.exec();
    std::fflush(stdout);
    return code;
}
