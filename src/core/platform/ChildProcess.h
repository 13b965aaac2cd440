// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class QProcess;

// The program's one way of running another program. Both forms take a program path and an
// argument vector and never go through a shell, so arguments with blanks, quotes, "$", line
// breaks or any script reach the child exactly as given. The child's standard output and
// standard error are merged into one stream. The child inherits no descriptor of this process
// beyond its standard three: every other descriptor is marked close-on-exec in the child before
// the program is executed, whoever opened it.
//
// Neither form needs an event loop: they wait with blocking calls, so they work on the UI thread
// (for short runs) and on worker threads alike.
namespace platform {

// What RunCapture learnt about one run.
struct CaptureResult {
    bool started = false;     // the program was found and executed
    bool timedOut = false;    // it overran the time limit and was killed
    bool normalExit = false;  // it ended by itself rather than by a signal (or our kill)
    int exitCode = -1;        // its exit status; meaningful when normalExit
    QByteArray output;        // stdout and stderr as they came, at most maxBytes of it
    bool truncated = false;   // the child wrote more than maxBytes; the rest was read and dropped
    QString errorText;        // why it could not start, for diagnostics

    // Started, ended by itself within the time with status 0, and nothing dropped.
    bool Succeeded() const
    {
        return started && !timedOut && normalExit && exitCode == 0 && !truncated;
    }
};

// Runs the program to its end and collects its output. The output is read while the child runs,
// so a report larger than any pipe buffer never blocks the child. A child still running after
// timeoutMs (counted from the call) is killed and reaped before the call returns; its output up
// to then is kept. The child's standard input is /dev/null.
// inputFile, when given, is the child's standard input (otherwise the null device).
CaptureResult RunCapture(const QString& program, const QStringList& arguments, int timeoutMs,
                         qint64 maxBytes, const QString& inputFile = QString());

// Prepares a QProcess the way every child of the program is started: standard output and error
// merged, and no descriptor of ours inherited (Qt 6.4's QProcess passes on every descriptor
// that lacks close-on-exec), and the child killed (SIGKILL) when this process dies, so no
// encoder outlives the program, however it ends.
void ConfigureChild(QProcess& process);

// A long-running child whose output is read piece by piece as it comes, for jobs such as an
// encoder whose console output drives a progress bar.
//
// Threads: one thread owns an instance and makes every call except RequestStop (the underlying
// QProcess must be used from the thread that started it). RequestStop may be called from any
// thread; the owner carries the stop out inside its current or next Read.
//
// Lifecycle: Start, then Read until it answers Ended, then ask how the child ended. The child is
// always reaped: by Read when it ends, by Stop, or at the latest by the destructor, which stops
// a child that is still running.
class ChildProcess {
public:
    enum class ReadStatus {
        Data,     // chunk holds new output
        Timeout,  // nothing came within the wait; the child is still running
        Ended,    // the child has ended (or never started) and all its output has been read
    };

    ChildProcess();
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // How a stop proceeds: when politeRequest is not empty it is written to the child's standard
    // input first (an encoder's "q", say) and the child gets graceMs to end; then it is sent
    // SIGTERM and gets graceMs again; then SIGKILL. The defaults: no polite request, 3000 ms.
    // Set before Start.
    void SetStopSteps(const QByteArray& politeRequest, int graceMs);
    // The child's standard input: this file instead of a pipe (QProcess::nullDevice() for none,
    // so the child never reads a terminal's keys). Write and a polite request then reach
    // nothing. Set before Start.
    void SetInputFile(const QString& path);

    // Starts the program (standard input a pipe unless SetInputFile, see Write) and waits until
    // it is executed.
    // False when it could not be (missing, not executable); ErrorText says why. An instance is
    // started at most once.
    bool Start(const QString& program, const QStringList& arguments);

    // Waits up to timeoutMs for output and returns what has arrived (everything available, in
    // one chunk). Output already waiting is returned at once. After the child has ended, the
    // output it left behind is still returned as Data before Read answers Ended. A pending
    // RequestStop is carried out here (see Stop), and the wait does not outlast the stop.
    ReadStatus Read(QByteArray& chunk, int timeoutMs);

    // How ReadToEnd ended.
    enum class ReadEnd {
        Ended,   // the child ended (or never started)
        Silent,  // the child wrote nothing for the silence limit and was killed
    };
    // Reads until the child has ended, handing each piece of output to onOutput as it comes (on
    // the calling thread). A child that writes nothing for silenceMs (0: no limit) is killed
    // and reaped; what it wrote before is still handed on. A RequestStop is carried out on the
    // way, as in Read.
    ReadEnd ReadToEnd(const std::function<void(const QByteArray&)>& onOutput, int silenceMs);

    // Writes to the child's standard input; false when it is not running or the write failed.
    bool Write(const QByteArray& data);

    // Stops the child in the steps set by SetStopSteps and reaps it. Blocks for at most twice
    // the grace time plus the kill. Output the child wrote before it ended can still be read.
    // Nothing happens when the child is not running.
    void Stop();

    // Kills the child at once (SIGKILL, no steps) and reaps it; not counted as a stop.
    void Kill();

    // Asks the owner thread to Stop; callable from any thread. Read notices it within 100 ms.
    void RequestStop();
    bool StopRequested() const;

    bool IsRunning() const;
    qint64 ProcessId() const;  // 0 when not running
    QString ErrorText() const;

    // After Read answered Ended (or after Stop): whether the child ended by itself, its exit
    // status, and whether it ended because Stop (or the destructor) made it.
    bool NormalExit() const;
    int ExitCode() const;
    bool WasStopped() const;

private:
    bool WaitForEnd(int timeoutMs);

    std::unique_ptr<QProcess> process_;
    QByteArray politeRequest_;
    QString inputFile_;
    int graceMs_ = 3000;
    bool started_ = false;
    bool stopped_ = false;
    std::atomic<bool> stopRequested_{false};
};

}  // namespace platform
