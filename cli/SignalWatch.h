// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal on the thread that made the watch: the handler
// only notes the signal and writes one byte to a pipe, whose read end the event loop watches. Work
// that keeps the event loop from running (the probes of the intake) asks Caught() between steps.
// One watch at a time; the default handling comes back when it is gone.
class SignalWatch : public QObject {
    Q_OBJECT
public:
    SignalWatch();
    ~SignalWatch() override;

    // True once one of them has arrived.
    static bool Caught();
    // The number of the last one that arrived, 0 before any.
    static int LastSignal();

signals:
    void caught(int signalNumber);

private:
    void Drain();

    QSocketNotifier* notifier_ = nullptr;
};
