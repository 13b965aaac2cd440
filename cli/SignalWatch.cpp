// SPDX-License-Identifier: GPL-3.0-or-later
#include "SignalWatch.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {

int g_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_caught = 0;

void OnSignal(int signalNumber)
{
    const int saved = errno;
    g_caught = signalNumber;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a wake-up; losing this byte loses nothing.
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

void IgnorePipe(int) {}

void Handle(int signalNumber, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signalNumber, &action, nullptr);
}

}  // namespace

SignalWatch::SignalWatch()
{
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalWatch::Drain);
    Handle(SIGINT, &OnSignal);
    Handle(SIGTERM, &OnSignal);
    // A closed terminal ends the run as cleanly as SIGTERM does.
    Handle(SIGHUP, &OnSignal);
    // A reader that went away (a pipe into head) makes writes fail instead of ending the run
    // with its encoder still going. Caught rather than ignored, so children start with the
    // default again.
    Handle(SIGPIPE, &IgnorePipe);
}

SignalWatch::~SignalWatch()
{
    if (!notifier_) return;
    Handle(SIGINT, SIG_DFL);
    Handle(SIGTERM, SIG_DFL);
    Handle(SIGHUP, SIG_DFL);
    Handle(SIGPIPE, SIG_DFL);
    delete notifier_;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

bool SignalWatch::Caught()
{
    return g_caught != 0;
}

int SignalWatch::LastSignal()
{
    return g_caught;
}

void SignalWatch::Drain()
{
    unsigned char byte = 0;
    while (::read(g_pipe[0], &byte, 1) == 1) emit caught(byte);
}
