// SPDX-License-Identifier: GPL-3.0-or-later
// lumo-service: the LumoCompress service for one machine or a small network. Listens on
// 127.0.0.1 unless told otherwise; ends on SIGINT or SIGTERM.
#include <pthread.h>
#include <sys/stat.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include "Service.h"

int main(int argc, char** argv)
{
    ServiceOptions options;
    std::string error;
    bool showUsage = false;
    if (!options.Parse(argc, argv, error, showUsage)) {
        std::fprintf(stderr, "lumo-service: %s\n\n%s", error.c_str(), ServiceOptions::Usage());
        return 2;
    }
    if (showUsage) {
        std::fputs(ServiceOptions::Usage(), stdout);
        return 0;
    }

    struct stat feedback {};
    if (::stat(options.feedbackFile.c_str(), &feedback) == 0 && !S_ISREG(feedback.st_mode))
        std::fprintf(stderr, "lumo-service: %s is no regular file; feedback sent will be refused\n",
                     options.feedbackFile.c_str());

    // The signals are taken by one thread, which stops the server; every other thread
    // (the server's workers included) inherits the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    Service service(options);
    const int port = service.Bind();
    if (port < 0) {
        std::fprintf(stderr, "lumo-service: cannot listen on %s:%d\n", options.host.c_str(),
                     options.port);
        return 1;
    }
    std::printf("lumo-service listening on http://%s:%d\n", options.host.c_str(), port);
    std::fflush(stdout);

    std::atomic<bool> finished{false};
    std::thread waiter([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        // Repeated until Run returns: a signal taken while the loop was starting is not lost.
        while (!finished) {
            service.Stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    const bool ok = service.Run();
    finished = true;
    // Run also returns when listening fails; wake the waiter so it can be joined.
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    return ok ? 0 : 1;
}
